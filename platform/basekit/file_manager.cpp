#include "platform/basekit/file_manager.h"

#include "platform/basekit/error.h"
#include "platform/basekit/strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(HXError* error, int err, const std::string& context)
{
    if (error)
        *error = HXError::posix(err, context);
    return false;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

bool copyFile(const std::string& source, const std::string& destination, mode_t mode, HXError* error)
{
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(error, errno, source);
    int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (out < 0) {
        int err = errno;
        ::close(in);
        return fail(error, err, destination);
    }
    char buffer[65536];
    bool ok = true;
    int err = 0;
    while (true) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false, err = errno;
            break;
        }
        if (n == 0)
            break;
        if (!writeAll(out, std::string_view(buffer, size_t(n)))) {
            ok = false, err = errno;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && ok)
        ok = false, err = errno;
    if (!ok) {
        ::unlink(destination.c_str());
        return fail(error, err, destination);
    }
    return true;
}

bool copyTree(const std::string& source, const std::string& destination, HXError* error)
{
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0)
        return fail(error, errno, source);
    if (S_ISLNK(st.st_mode)) {
        std::string target(size_t(st.st_size) + 256, '\0');
        ssize_t n = ::readlink(source.c_str(), target.data(), target.size());
        if (n < 0)
            return fail(error, errno, source);
        target.resize(size_t(n));
        if (::symlink(target.c_str(), destination.c_str()) != 0)
            return fail(error, errno, destination);
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(destination.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
            return fail(error, errno, destination);
        auto names = HXFileManager::defaultManager().contentsOfDirectoryAtPath(source, error);
        if (!names)
            return false;
        for (const auto& name : *names)
            if (!copyTree(source + "/" + name, destination + "/" + name, error))
                return false;
        ::chmod(destination.c_str(), st.st_mode & 07777);
        return true;
    }
    if (!S_ISREG(st.st_mode))
        return fail(error, ENOTSUP, source);
    return copyFile(source, destination, st.st_mode, error);
}

bool removeTree(const std::string& path, HXError* error)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return fail(error, errno, path);
    if (S_ISDIR(st.st_mode)) {
        auto names = HXFileManager::defaultManager().contentsOfDirectoryAtPath(path, error);
        if (!names)
            return false;
        for (const auto& name : *names)
            if (!removeTree(path + "/" + name, error))
                return false;
        if (::rmdir(path.c_str()) != 0)
            return fail(error, errno, path);
        return true;
    }
    if (::unlink(path.c_str()) != 0)
        return fail(error, errno, path);
    return true;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback under home.
std::string xdgFolder(const char* variable, const char* fallback)
{
    std::string value = environment(variable);
    if (!value.empty() && value.front() == '/')
        return value;
    return HXString::stringByAppendingPathComponent(HXHomeDirectory(), fallback);
}

// A folder from $XDG_CONFIG_HOME/user-dirs.dirs (lines like XDG_VIDEOS_DIR="$HOME/Videos").
std::string userDirectory(const char* key, const char* fallback)
{
    std::ifstream in(xdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    std::string line;
    std::string prefix = std::string(key) + "=";
    while (std::getline(in, line)) {
        line = HXString::trimWhitespace(line);
        if (!HXString::hasPrefix(line, prefix))
            continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (HXString::hasPrefix(value, "$HOME"))
            value = HXHomeDirectory() + value.substr(5);
        if (!value.empty() && value.front() == '/')
            return HXString::stringByStandardizingPath(value);
    }
    return HXString::stringByAppendingPathComponent(HXHomeDirectory(), fallback);
}

} // namespace

HXFileManager& HXFileManager::defaultManager()
{
    static HXFileManager manager;
    return manager;
}

bool HXFileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool HXFileManager::isDirectoryAtPath(const std::string& path) const
{
    bool directory = false;
    return fileExistsAtPath(path, &directory) && directory;
}

bool HXFileManager::isReadableFileAtPath(const std::string& path) const
{
    return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

bool HXFileManager::isWritableFileAtPath(const std::string& path) const
{
    return !path.empty() && ::access(path.c_str(), W_OK) == 0;
}

bool HXFileManager::isDeletableFileAtPath(const std::string& path) const
{
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return false;
    std::string parent = HXString::stringByDeletingLastPathComponent(path);
    if (parent.empty())
        parent = ".";
    return ::access(parent.c_str(), W_OK | X_OK) == 0;
}

bool HXFileManager::createDirectoryAtPath(
    const std::string& path, bool withIntermediateDirectories, HXError* error)
{
    if (path.empty())
        return fail(error, ENOENT, path);
    if (!withIntermediateDirectories) {
        if (::mkdir(path.c_str(), 0777) != 0)
            return fail(error, errno, path);
        return true;
    }
    std::string current = path.front() == '/' ? "/" : "";
    for (const auto& part : HXString::pathComponents(path)) {
        if (part == "/")
            continue;
        current = current.empty() ? part : HXString::stringByAppendingPathComponent(current, part);
        if (::mkdir(current.c_str(), 0777) != 0 && errno != EEXIST)
            return fail(error, errno, current);
        if (!isDirectoryAtPath(current))
            return fail(error, ENOTDIR, current);
    }
    return true;
}

bool HXFileManager::removeItemAtPath(const std::string& path, HXError* error)
{
    if (path.empty())
        return fail(error, ENOENT, path);
    return removeTree(path, error);
}

bool HXFileManager::moveItemAtPath(const std::string& source, const std::string& destination, HXError* error)
{
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0)
        return fail(error, errno, source);
    if (::lstat(destination.c_str(), &st) == 0)
        return fail(error, EEXIST, destination);
    // renameat2(RENAME_NOREPLACE) would close the window between the check and the rename, but is
    // not supported by every file system; a link-based move cannot handle folders.
    if (::rename(source.c_str(), destination.c_str()) == 0)
        return true;
    if (errno != EXDEV)
        return fail(error, errno, destination);
    if (!copyTree(source, destination, error)) {
        removeTree(destination, nullptr);
        return false;
    }
    return removeTree(source, error);
}

bool HXFileManager::copyItemAtPath(const std::string& source, const std::string& destination, HXError* error)
{
    struct stat st;
    if (::lstat(destination.c_str(), &st) == 0)
        return fail(error, EEXIST, destination);
    if (!copyTree(source, destination, error)) {
        if (::lstat(destination.c_str(), &st) == 0)
            removeTree(destination, nullptr);
        return false;
    }
    return true;
}

std::optional<std::string> HXFileManager::contentsAtPath(const std::string& path, HXError* error) const
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            fail(error, err, path);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, size_t(n));
    }
    ::close(fd);
    return bytes;
}

bool HXFileManager::writeToFile(
    const std::string& path, std::string_view bytes, bool atomically, HXError* error)
{
    if (!atomically) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return fail(error, errno, path);
        bool ok = writeAll(fd, bytes);
        int err = errno;
        if (::close(fd) != 0 && ok)
            ok = false, err = errno;
        return ok || fail(error, err, path);
    }

    // A temporary file beside the target, so that the rename stays within one file system.
    std::string folder = HXString::stringByDeletingLastPathComponent(path);
    if (folder.empty())
        folder = ".";
    std::string name = HXString::lastPathComponent(path);
    std::string temporary = folder + "/." + name + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(error, errno, path);
    // Keep the mode of the file being replaced; a new file gets the usual mode under the umask.
    struct stat st;
    mode_t mode;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok)
        ok = false, err = errno;
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0)
        ok = false, err = errno;
    if (!ok) {
        ::unlink(temporary.c_str());
        return fail(error, err, path);
    }
    // Make the rename itself durable.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool HXFileManager::createFileExclusively(const std::string& path, std::string_view bytes, HXError* error)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(error, errno, path);
    bool ok = writeAll(fd, bytes);
    int err = errno;
    if (::close(fd) != 0 && ok)
        ok = false, err = errno;
    if (!ok) {
        ::unlink(path.c_str());
        return fail(error, err, path);
    }
    return true;
}

std::optional<std::vector<std::string>> HXFileManager::contentsOfDirectoryAtPath(
    const std::string& path, HXError* error) const
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        fail(error, errno, path);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (struct dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<HXFileAttributes> HXFileManager::attributesOfItemAtPath(
    const std::string& path, HXError* error) const
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    HXFileAttributes attributes;
    attributes.isSymbolicLink = S_ISLNK(st.st_mode);
    if (attributes.isSymbolicLink) {
        struct stat target;
        if (::stat(path.c_str(), &target) == 0)
            st = target;
    }
    attributes.size = uint64_t(st.st_size);
    attributes.isDirectory = S_ISDIR(st.st_mode);
    attributes.permissions = st.st_mode & 07777;
    attributes.modificationDate = HXDate::fromUnixTime(double(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9);
    return attributes;
}

std::optional<uint64_t> HXFileManager::fileSizeAtPath(const std::string& path) const
{
    auto attributes = attributesOfItemAtPath(path);
    if (!attributes)
        return std::nullopt;
    return attributes->size;
}

std::optional<HXDate> HXFileManager::modificationDateAtPath(const std::string& path) const
{
    auto attributes = attributesOfItemAtPath(path);
    if (!attributes)
        return std::nullopt;
    return attributes->modificationDate;
}

std::string HXFileManager::displayNameAtPath(const std::string& path) const
{
    return HXString::lastPathComponent(path);
}

std::string HXFileManager::currentDirectoryPath() const
{
    std::string buffer(4096, '\0');
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

bool HXFileManager::changeCurrentDirectoryPath(const std::string& path)
{
    return ::chdir(path.c_str()) == 0;
}

// ---- Special folders ----------------------------------------------------------------------------

std::string HXHomeDirectory()
{
    return HXString::stringByExpandingTildeInPath("~");
}

std::string HXTemporaryDirectory()
{
    std::string value = environment("TMPDIR");
    if (!value.empty() && value.front() == '/')
        return HXString::stringByStandardizingPath(value);
    return "/tmp";
}

std::string HXUserConfigDirectory()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config") + "/movara-player";
}

std::string HXUserCacheDirectory()
{
    return xdgFolder("XDG_CACHE_HOME", ".cache") + "/movara-player";
}

std::string HXMoviesDirectory()
{
    return userDirectory("XDG_VIDEOS_DIR", "Videos");
}

std::string HXDesktopDirectory()
{
    return userDirectory("XDG_DESKTOP_DIR", "Desktop");
}

std::vector<std::string> HXSearchPathForDirectoriesInDomains(
    unsigned directory, unsigned domainMask, bool expandTilde)
{
    std::vector<std::string> libraries;
    if (domainMask & HXUserDomainMask) {
        std::string data = environment("XDG_DATA_HOME");
        libraries.push_back(!data.empty() && data.front() == '/' ? data
                : expandTilde                                    ? HXHomeDirectory() + "/.local/share"
                                                                 : "~/.local/share");
    }
    if (domainMask & HXLocalDomainMask) {
        std::string dirs = environment("XDG_DATA_DIRS");
        if (dirs.empty())
            dirs = "/usr/local/share:/usr/share";
        for (const auto& dir : HXString::componentsSeparatedByString(dirs, ":"))
            if (!dir.empty() && dir.front() == '/')
                libraries.push_back(HXString::stringByStandardizingPath(dir));
    }
    std::vector<std::string> result;
    for (const auto& library : libraries) {
        std::string path;
        switch (directory) {
        case HXLibraryDirectory:
        case HXAllLibrariesDirectory:
            path = library;
            break;
        case HXApplicationSupportDirectory:
            path = library + "/Application Support";
            break;
        default:
            continue;
        }
        if (std::find(result.begin(), result.end(), path) == result.end())
            result.push_back(path);
    }
    return result;
}
