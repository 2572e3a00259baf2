#include "platform/mvkit/import/import_cache.h"

#include "platform/basekit/file_manager.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace {

struct Lease {
    int fd = -1;
    ~Lease()
    {
        if (fd >= 0)
            ::close(fd); // releases the lock
    }
};

struct Entry {
    std::filesystem::path path;
    uint64_t size = 0;
    int64_t usedAt = 0; // seconds
};

int64_t now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Removes `path` unless a movie holds it.
bool evict(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    bool removed = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

// An unfinished file ("<name>.part<pid>") whose writer is gone, or that nobody finished in a day.
bool abandoned(const std::string& name, int64_t modified)
{
    size_t at = name.rfind(".part");
    if (at == std::string::npos)
        return false;
    long pid = std::strtol(name.c_str() + at + 5, nullptr, 10);
    bool writerGone = pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
    return writerGone || now() - modified > 24 * 3600;
}

uint64_t freeSpace(const std::filesystem::path& dir)
{
    struct statvfs fs { };
    if (::statvfs(dir.c_str(), &fs) != 0)
        return UINT64_MAX; // unknown: the budget alone bounds the folder
    return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize);
}

std::vector<Entry> entries(const std::filesystem::path& dir, bool removeAbandoned)
{
    std::vector<Entry> out;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(dir, ec)) {
        struct stat info { };
        if (::lstat(item.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        std::string name = item.path().filename().string();
        if (removeAbandoned && abandoned(name, info.st_mtim.tv_sec)) {
            ::unlink(item.path().c_str());
            continue;
        }
        out.push_back({ item.path(), uint64_t(info.st_size), int64_t(info.st_mtim.tv_sec) });
    }
    return out;
}

} // namespace

std::filesystem::path MVImportCache::directory()
{
    return std::filesystem::path(HXUserCacheDirectory()) / "Import";
}

std::shared_ptr<void> MVImportCache::lease(const std::string& path)
{
    auto lease = std::make_shared<Lease>();
    lease->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (lease->fd < 0 || ::flock(lease->fd, LOCK_SH | LOCK_NB) != 0)
        return nullptr;
    // A cleaner may have removed the entry between the open and the lock: the lease must be on the file
    // that is still there.
    struct stat held { }, named { };
    if (::fstat(lease->fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino
        || held.st_dev != named.st_dev)
        return nullptr;
    ::futimens(lease->fd, nullptr); // used now
    return lease;
}

bool MVImportCache::makeRoom(uint64_t bytes, std::string* why, uint64_t budget)
{
    auto dir = directory();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    auto list = entries(dir, true);
    const int64_t oldest = now() - int64_t(maximumAgeDays) * 24 * 3600;
    uint64_t total = 0;
    for (auto it = list.begin(); it != list.end();) {
        bool isEntry = it->path.extension() == ".mov";
        if (isEntry && it->usedAt < oldest && evict(it->path)) {
            it = list.erase(it);
            continue;
        }
        total += it->size;
        // Unfinished files of running imports count, but only finished entries can go.
        it = isEntry ? std::next(it) : list.erase(it);
    }
    std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.usedAt < b.usedAt; });
    uint64_t available = freeSpace(dir);
    auto short_ = [&] {
        return total + bytes > budget || available < bytes + minimumFreeSpace;
    };
    for (auto it = list.begin(); it != list.end() && short_(); ++it)
        if (evict(it->path)) {
            total -= std::min(total, it->size);
            available = available == UINT64_MAX ? available : available + it->size;
        }
    if (available < bytes + minimumFreeSpace) {
        if (why)
            *why = "the disk has no room for " + std::to_string((bytes + (1 << 20) - 1) >> 20)
                + " MB of rewritten samples in " + dir.string();
        return false;
    }
    return true;
}

uint64_t MVImportCache::size()
{
    uint64_t total = 0;
    for (const auto& e : entries(directory(), false))
        total += e.size;
    return total;
}
