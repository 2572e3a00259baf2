#pragma once
// MVSampleDataCache: sample bytes held in memory, so a track plays without reading its file again — the
// data a track preloads, and what a track whose media is never purged has read.
//
// Bytes are kept by the file they came from (its device and inode as well as its path: a file saved
// over ours under the same name is another file) and their place in it, up to a limit in bytes; past
// it nothing more is kept. Any thread may use it.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class MVSampleDataCache {
public:
    explicit MVSampleDataCache(uint64_t limit)
        : _limit(limit)
    {
    }

    // Where a file's bytes are kept: its path and identity.
    static std::string fileKey(const std::string& path, int fd);

    // The `size` bytes at `offset` of `file` into `out`, when a kept run holds all of them.
    bool read(const std::string& file, uint64_t offset, uint32_t size, MVBytes& out) const;
    // Whether every byte of the range is kept.
    bool holds(const std::string& file, uint64_t offset, uint64_t size) const;
    // Keeps a run of bytes starting at `offset`; false (nothing kept) when it would pass the limit.
    bool keep(const std::string& file, uint64_t offset, MVBytes bytes);

    uint64_t keptBytes() const;
    uint64_t limit() const { return _limit; }

private:
    // The start and bytes of the run holding [offset, offset + size); null bytes for none.
    std::pair<uint64_t, const MVBytes*> runHolding(const std::string& file, uint64_t offset, uint64_t size) const;

    const uint64_t _limit;
    mutable std::mutex _mutex;
    std::map<std::string, std::map<uint64_t, MVBytes>> _runs; // by file, then by offset
    uint64_t _kept = 0;
};
