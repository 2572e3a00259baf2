#pragma once
// The folder where imports keep samples they had to rewrite ($XDG_CACHE_HOME/movara-player/Import), and
// its upkeep, so that opening movies never fills the user's disk.
//
// An entry is a movie of one rewritten stream. Its modification time is when a movie last used it. A
// movie that refers to entries holds a lease on them (a shared lock on each file, seen by every process
// of the user), and cleaning never removes a leased entry. Cleaning removes files left unfinished by a
// run that ended, entries unused for a month, and then the least recently used ones until the folder
// holds no more than its budget and the disk keeps a reserve free.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class MVImportCache {
public:
    static constexpr uint64_t defaultBudget = uint64_t(2) << 30; // bytes the folder may hold
    static constexpr uint64_t minimumFreeSpace = uint64_t(1) << 30; // the disk keeps at least this free
    static constexpr int maximumAgeDays = 30;

    static std::filesystem::path directory();

    // Holds the entry at `path` against cleaning (and marks it used) for as long as the lease lives.
    // Nothing when the entry is gone or being removed.
    static std::shared_ptr<void> lease(const std::string& path);

    // Cleans the folder and makes room for `bytes` more within `budget` (one movie's samples larger than
    // the budget may take the whole folder). False, with the reason in `why`, when even an empty folder
    // leaves the disk less than its reserve.
    static bool makeRoom(uint64_t bytes, std::string* why, uint64_t budget = defaultBudget);

    // The folder's size in bytes, unfinished files included.
    static uint64_t size();
};
