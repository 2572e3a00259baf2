#include "export/password_store.h"

#include "platform/basekit/property_list.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string itemKey(const MVPInternetPasswordItem& item)
{
    auto code = [](uint32_t c) {
        return std::string { char(c >> 24), char(c >> 16), char(c >> 8), char(c) };
    };
    return code(item.protocol) + "|" + code(item.authenticationType) + "|" + item.server + "|"
        + std::to_string(item.port) + "|" + item.path + "|" + item.account;
}

} // namespace

MVPPasswordStore& MVPPasswordStore::defaultStore()
{
    static MVPPasswordStore store(defaultPath());
    return store;
}

std::string MVPPasswordStore::defaultPath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::filesystem::path folder;
    if (data && *data == '/') {
        folder = data;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::filesystem::path(home && *home ? home : "/") / ".local" / "share";
    }
    return (folder / "movara-player" / "Passwords.plist").string();
}

MVPPasswordStore::MVPPasswordStore(std::string path)
    : _path(std::move(path))
{
}

std::optional<std::string> MVPPasswordStore::findInternetPassword(const MVPInternetPasswordItem& item) const
{
    // A store that cannot be read holds no password.
    auto items = HXPropertyList::readFromFile(_path);
    if (!items || !items->isDictionary())
        return std::nullopt;
    const auto& found = (*items)[itemKey(item)];
    if (!found.isData())
        return std::nullopt;
    return std::string(found.dataValue().view());
}

bool MVPPasswordStore::addInternetPassword(
    const MVPInternetPasswordItem& item, const std::string& password, HXError* error)
{
    auto fail = [&](int code) {
        if (error)
            *error = HXError::posix(code, _path);
        return false;
    };
    std::filesystem::path file(_path);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    ::chmod(file.parent_path().c_str(), 0700);
    auto items = HXPropertyList::readFromFile(_path);
    HXPropertyList store
        = items && items->isDictionary() ? *items : HXPropertyList(HXPropertyList::Dictionary {});
    store.mutableDictionary()[itemKey(item)] = HXData(std::string_view(password));
    auto xml = store.xmlData();
    if (!xml)
        return fail(EINVAL);
    // Written beside the store, readable by the user alone from the start, then renamed over it.
    std::string temporary = _path + ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(errno);
    size_t written = 0;
    while (written < xml->size()) {
        ssize_t n = ::write(fd, xml->data() + written, xml->size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int code = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(code);
        }
        written += size_t(n);
    }
    bool synced = ::fsync(fd) == 0;
    bool closed = ::close(fd) == 0;
    if (!synced || !closed || ::rename(temporary.c_str(), _path.c_str()) != 0) {
        int code = errno;
        ::unlink(temporary.c_str());
        return fail(code);
    }
    return true;
}
