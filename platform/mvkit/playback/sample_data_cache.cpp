#include "platform/mvkit/playback/sample_data_cache.h"

#include <cstring>
#include <sys/stat.h>

std::string MVSampleDataCache::fileKey(const std::string& path, int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return path;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + path;
}

std::pair<uint64_t, const MVBytes*> MVSampleDataCache::runHolding(
    const std::string& file, uint64_t offset, uint64_t size) const
{
    auto f = _runs.find(file);
    if (f == _runs.end())
        return { 0, nullptr };
    auto it = f->second.upper_bound(offset);
    if (it == f->second.begin())
        return { 0, nullptr };
    --it;
    const uint64_t start = it->first, length = it->second.size();
    if (offset - start > length || size > length - (offset - start))
        return { 0, nullptr };
    return { start, &it->second };
}

bool MVSampleDataCache::read(const std::string& file, uint64_t offset, uint32_t size, MVBytes& out) const
{
    std::lock_guard lock(_mutex);
    auto [start, run] = runHolding(file, offset, size);
    if (!run)
        return false;
    out.assign(run->begin() + ptrdiff_t(offset - start), run->begin() + ptrdiff_t(offset - start + size));
    return true;
}

bool MVSampleDataCache::holds(const std::string& file, uint64_t offset, uint64_t size) const
{
    std::lock_guard lock(_mutex);
    return runHolding(file, offset, size).second != nullptr;
}

bool MVSampleDataCache::keep(const std::string& file, uint64_t offset, MVBytes bytes)
{
    std::lock_guard lock(_mutex);
    if (bytes.empty() || runHolding(file, offset, bytes.size()).second)
        return true;
    if (bytes.size() > _limit - _kept)
        return false;
    auto& runs = _runs[file];
    auto [it, inserted] = runs.try_emplace(offset);
    if (!inserted) {
        // A shorter run at the same place gives way to the longer one.
        _kept -= it->second.size();
    }
    _kept += bytes.size();
    it->second = std::move(bytes);
    return true;
}

uint64_t MVSampleDataCache::keptBytes() const
{
    std::lock_guard lock(_mutex);
    return _kept;
}
