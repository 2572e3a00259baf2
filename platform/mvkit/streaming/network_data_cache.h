#pragma once
// MVNetworkDataCache: the bytes of a movie file at a network location, fetched on a thread of its own
// into a cache file that has them at their own offsets. Bytes arrive from the start on; when a reader
// wants bytes further on (a seek into what has not arrived, a movie header at the end) and the server
// allows ranges, fetching goes there first, then fills the holes. A connection that drops is taken up
// again where it stopped; every network wait ends at a deadline.
//
// Readers of the cache file ask first whether their bytes are there (hasRange, or through the cache
// registered for the file's path): a sample that has not arrived is an error at once, never a wait.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/streaming/network_deadline.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class MVNetworkDataCache : public std::enable_shared_from_this<MVNetworkDataCache> {
public:
    struct Options {
        double connectTimeout = 15; // to connect, and to get an answer to a request
        double stallTimeout = 10; // no byte for this long: the connection is taken as lost
        int reconnects = 3; // connections taken up again after a drop before giving up
        // Of those, after a server that stopped sending without closing: it is asked once more, then
        // the transfer fails (a server that stalls is told within twice stallTimeout).
        int stallReconnects = 1;
    };
    struct State {
        int64_t length = -1; // the file's length; −1 while unknown
        bool seekable = false; // the server answers requests for ranges
        uint64_t prefix = 0; // bytes present from offset 0 without a gap
        uint64_t received = 0; // bytes received in all
        bool complete = false; // every byte is there
        bool failed = false; // nothing more will arrive
        bool reconnecting = false; // the connection dropped and is being taken up again
        HXError error;
    };

    // Starts fetching `url` into `cachePath`; `onChange` is called on the fetching thread (never
    // with the cache's lock held) whenever bytes arrived or the transfer ended.
    static std::shared_ptr<MVNetworkDataCache> start(const std::string& url, const std::string& cachePath,
        Options options, std::function<void()> onChange);
    // The cache that holds the file at `path`, when one does.
    static std::shared_ptr<MVNetworkDataCache> cacheForPath(const std::string& path);
    ~MVNetworkDataCache();

    // Stops fetching and waits for the thread.
    void cancel();
    const std::string& cachePath() const { return _cachePath; }
    const std::string& url() const { return _url; }

    State state() const;
    bool hasRange(uint64_t offset, uint64_t size) const;
    // The end of the run of present bytes that holds `offset` (`offset` itself when it is missing).
    uint64_t presentEnd(uint64_t offset) const;
    // Bytes at `offset` are wanted next.
    void want(uint64_t offset);
    // Reads present bytes; missing ones fail (and are wanted).
    bool read(uint64_t offset, void* into, size_t length);
    // A byte source over the cache for the movie file reader.
    std::unique_ptr<MVByteSource> byteSource();

private:
    MVNetworkDataCache(std::string url, std::string cachePath, Options options, std::function<void()> onChange);
    void run();
    // Opens the location at `offset`; `outReason` says why not.
    bool connect(uint64_t offset, std::string* outReason);
    void addRange(uint64_t offset, uint64_t size);
    // The next offset to fetch from, given where the connection stands; nullopt when nothing is missing.
    std::optional<uint64_t> nextOffset(uint64_t position);

    const std::string _url;
    const std::string _cachePath;
    const Options _options;
    std::function<void()> _onChange;
    int _fd = -1;
    struct AVIOContext* _io = nullptr;
    MVNetworkDeadline _network;

    mutable std::mutex _mutex;
    std::map<uint64_t, uint64_t> _ranges; // start → end, disjoint and not touching
    int64_t _length = -1;
    bool _seekable = false;
    bool _unreachable = false; // the last connection failed before the server answered
    bool _reconnecting = false;
    uint64_t _received = 0;
    bool _complete = false;
    bool _failed = false;
    HXError _error;
    std::optional<uint64_t> _wanted;
    std::thread _thread;
};
