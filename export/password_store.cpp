#include "export/password_store.h"

#include "platform/basekit/property_list.h"
#include "platform/basekit/secret_store.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string fourCharCode(uint32_t c)
{
    return std::string { char(c >> 24), char(c >> 16), char(c >> 8), char(c) };
}

std::string itemKey(const MVPInternetPasswordItem& item)
{
    return fourCharCode(item.protocol) + "|" + fourCharCode(item.authenticationType) + "|" + item.server + "|"
        + std::to_string(item.port) + "|" + item.path + "|" + item.account;
}

HXSecretStore::Attributes keyringAttributes(const MVPInternetPasswordItem& item)
{
    return { { "protocol", fourCharCode(item.protocol) }, { "authenticationType", fourCharCode(item.authenticationType) },
        { "server", item.server }, { "port", std::to_string(item.port) }, { "path", item.path },
        { "account", item.account } };
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

MVPPasswordStore::MVPPasswordStore(std::string path, bool useKeyring)
    : _path(std::move(path))
    , _useKeyring(useKeyring)
{
}

std::optional<std::string> MVPPasswordStore::findInternetPassword(const MVPInternetPasswordItem& item) const
{
    if (_useKeyring) {
        std::string password, message;
        switch (HXSecretStore::lookupPassword(keyringSchema, keyringAttributes(item), password, &message)) {
        case HXSecretStore::Status::Done:
            return password;
        case HXSecretStore::Status::NotFound:
            return std::nullopt;
        case HXSecretStore::Status::Failed:
            // A look-up that fails finds nothing.
            HXLog("The keyring could not be searched for a password: " + message);
            return std::nullopt;
        case HXSecretStore::Status::NoService:
            break;
        }
    }
    return findInFile(itemKey(item));
}

bool MVPPasswordStore::addInternetPassword(
    const MVPInternetPasswordItem& item, const std::string& password, HXError* error)
{
    if (_useKeyring) {
        std::string message;
        std::string label = "Movara Player: " + item.account + "@" + item.server;
        switch (HXSecretStore::storePassword(keyringSchema, keyringAttributes(item), label, password, &message)) {
        case HXSecretStore::Status::Done:
            // A copy an earlier session kept in the file goes: the keyring holds it now.
            if (findInFile(itemKey(item)))
                addToFile(itemKey(item), std::nullopt, nullptr);
            return true;
        case HXSecretStore::Status::NotFound:
        case HXSecretStore::Status::Failed:
            if (error)
                *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileWriteUnknownError,
                    "The keyring did not keep the password: " + message);
            return false;
        case HXSecretStore::Status::NoService:
            HXLog("No keyring (Secret Service) runs in this session: the password is kept in " + _path
                + ", readable by you alone.");
            break;
        }
    }
    return addToFile(itemKey(item), password, error);
}

std::optional<std::string> MVPPasswordStore::findInFile(const std::string& key) const
{
    // A store that cannot be read holds no password.
    auto items = HXPropertyList::readFromFile(_path);
    if (!items || !items->isDictionary())
        return std::nullopt;
    const auto& found = (*items)[key];
    if (!found.isData())
        return std::nullopt;
    return std::string(found.dataValue().view());
}

// Adds the item, or removes it when `password` is empty.
bool MVPPasswordStore::addToFile(const std::string& key, const std::optional<std::string>& password, HXError* error)
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
    if (password)
        store.mutableDictionary()[key] = HXData(std::string_view(*password));
    else
        store.mutableDictionary().erase(key);
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
