#include "platform/mvkit/streaming/network_data_cache.h"

#include "platform/mvkit/movie_delegate.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<MVNetworkDataCache>>& registry()
{
    static auto* caches = new std::map<std::string, std::weak_ptr<MVNetworkDataCache>>;
    return *caches;
}

HXError fetchError(const std::string& text, const std::string& url)
{
    HXError e = HXError::withDescription(HXOSStatusErrorDomain, -2000, text);
    e.userInfo()[HXURLErrorKey] = url;
    return e;
}

// Bytes this far ahead of the transfer are reached by reading on rather than by a new request.
constexpr uint64_t kReadOnDistance = 256 * 1024;

class CacheByteSource : public MVByteSource {
public:
    explicit CacheByteSource(std::shared_ptr<MVNetworkDataCache> cache)
        : _cache(std::move(cache))
    {
    }
    uint64_t size() const override
    {
        auto s = _cache->state();
        return s.length >= 0 ? uint64_t(s.length) : s.prefix;
    }
    bool read(uint64_t offset, void* into, size_t length) const override
    {
        return _cache->read(offset, into, length);
    }

private:
    std::shared_ptr<MVNetworkDataCache> _cache;
};

} // namespace

std::shared_ptr<MVNetworkDataCache> MVNetworkDataCache::start(
    const std::string& url, const std::string& cachePath, Options options, std::function<void()> onChange)
{
    std::shared_ptr<MVNetworkDataCache> cache(new MVNetworkDataCache(url, cachePath, options, std::move(onChange)));
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(cachePath).parent_path(), ec);
    cache->_fd = ::open(cachePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    {
        std::lock_guard lock(registryMutex);
        registry()[cachePath] = cache;
    }
    cache->_thread = std::thread([raw = cache.get()] { raw->run(); });
    return cache;
}

std::shared_ptr<MVNetworkDataCache> MVNetworkDataCache::cacheForPath(const std::string& path)
{
    std::lock_guard lock(registryMutex);
    auto it = registry().find(path);
    return it == registry().end() ? nullptr : it->second.lock();
}

MVNetworkDataCache::MVNetworkDataCache(
    std::string url, std::string cachePath, Options options, std::function<void()> onChange)
    : _url(std::move(url))
    , _cachePath(std::move(cachePath))
    , _options(options)
    , _onChange(std::move(onChange))
{
}

MVNetworkDataCache::~MVNetworkDataCache()
{
    cancel();
    {
        std::lock_guard lock(registryMutex);
        if (auto it = registry().find(_cachePath); it != registry().end() && it->second.expired())
            registry().erase(it);
    }
    if (_fd >= 0)
        ::close(_fd);
}

void MVNetworkDataCache::cancel()
{
    _network.cancel();
    if (_thread.joinable() && _thread.get_id() != std::this_thread::get_id())
        _thread.join();
}

// ---- What is present

MVNetworkDataCache::State MVNetworkDataCache::state() const
{
    std::lock_guard lock(_mutex);
    State s;
    s.length = _length;
    s.seekable = _seekable;
    auto first = _ranges.find(0);
    s.prefix = first == _ranges.end() ? 0 : first->second;
    s.received = _received;
    s.complete = _complete;
    s.failed = _failed;
    s.reconnecting = _reconnecting;
    s.error = _error;
    return s;
}

bool MVNetworkDataCache::hasRange(uint64_t offset, uint64_t size) const
{
    std::lock_guard lock(_mutex);
    auto it = _ranges.upper_bound(offset);
    if (it == _ranges.begin())
        return size == 0;
    --it;
    return it->second >= offset + size;
}

uint64_t MVNetworkDataCache::presentEnd(uint64_t offset) const
{
    std::lock_guard lock(_mutex);
    auto it = _ranges.upper_bound(offset);
    if (it == _ranges.begin())
        return offset;
    --it;
    return it->second > offset ? it->second : offset;
}

void MVNetworkDataCache::addRange(uint64_t offset, uint64_t size)
{
    std::lock_guard lock(_mutex);
    uint64_t start = offset, end = offset + size;
    auto it = _ranges.upper_bound(start);
    if (it != _ranges.begin()) {
        auto before = std::prev(it);
        if (before->second >= start) {
            start = before->first;
            end = std::max(end, before->second);
            it = _ranges.erase(before);
        }
    }
    while (it != _ranges.end() && it->first <= end) {
        end = std::max(end, it->second);
        it = _ranges.erase(it);
    }
    _ranges[start] = end;
    _received += size;
}

void MVNetworkDataCache::want(uint64_t offset)
{
    std::lock_guard lock(_mutex);
    _wanted = offset;
}

bool MVNetworkDataCache::read(uint64_t offset, void* into, size_t length)
{
    if (!hasRange(offset, length)) {
        want(offset);
        return false;
    }
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(_fd, static_cast<char*>(into) + done, length - done, off_t(offset + done));
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

std::unique_ptr<MVByteSource> MVNetworkDataCache::byteSource()
{
    return std::make_unique<CacheByteSource>(shared_from_this());
}

std::optional<uint64_t> MVNetworkDataCache::nextOffset(uint64_t position)
{
    const uint64_t here = presentEnd(position);
    std::lock_guard lock(_mutex);
    const bool knownLength = _length >= 0;
    const uint64_t length = knownLength ? uint64_t(_length) : UINT64_MAX;
    if (!_seekable)
        return position < length ? std::optional<uint64_t>(position) : std::nullopt;
    if (_wanted) {
        const uint64_t w = *_wanted;
        _wanted.reset();
        if (w < length) {
            // The end of the run of present bytes at the wanted offset: where the missing ones begin.
            auto it = _ranges.upper_bound(w);
            uint64_t missing = w;
            if (it != _ranges.begin() && std::prev(it)->second > w)
                missing = std::prev(it)->second;
            if (missing < length && !(missing >= here && missing - here < kReadOnDistance))
                return missing;
        }
    }
    if (here < length)
        return here;
    // The end is reached: fill the first hole.
    auto first = _ranges.find(0);
    uint64_t hole = first == _ranges.end() ? 0 : first->second;
    if (hole < length)
        return hole;
    return std::nullopt;
}

// ---- Fetching

bool MVNetworkDataCache::connect(uint64_t offset, std::string* outReason)
{
    if (_io)
        avio_closep(&_io);
    AVIOInterruptCB callback = _network.callback();
    AVDictionary* options = nullptr;
    if (offset > 0)
        av_dict_set_int(&options, "offset", int64_t(offset), 0);
    _network.arm(_options.connectTimeout);
    int result = avio_open2(&_io, _url.c_str(), AVIO_FLAG_READ, &callback, &options);
    av_dict_free(&options);
    _unreachable = result < 0 && (_network.timedOut() || MVNetworkDeadline::isUnreachable(result));
    if (result < 0) {
        *outReason = MVNetworkDeadline::openFailureReason(
            result, _network.timedOut(), _options.connectTimeout, _url);
        return false;
    }
    int64_t size = avio_size(_io);
    std::lock_guard lock(_mutex);
    _seekable = (_io->seekable & AVIO_SEEKABLE_NORMAL) != 0;
    if (size > 0 && _length < 0) {
        _length = size;
        if (_fd >= 0)
            (void)!::ftruncate(_fd, off_t(size));
    }
    return true;
}

void MVNetworkDataCache::run()
{
    HXError error;
    uint64_t position = 0;
    uint64_t received = 0; // what had arrived at the last drop
    int drops = 0;
    int stalls = 0; // of the drops, those where the server stopped sending
    bool ok = _fd >= 0;
    std::string reason;
    if (!ok)
        error = fetchError("The movie cannot be fetched: its cache file cannot be made.", _url);
    else if (!(ok = connect(0, &reason))) {
        error = fetchError("The movie cannot be fetched: " + reason + ".", _url);
        if (_unreachable)
            error.userInfo()[MVNetworkUnreachableErrorKey] = true; // the movie offers a diagnosis
    }
    std::vector<unsigned char> buffer(1 << 16);
    while (ok && !_network.cancelled()) {
        auto next = nextOffset(position);
        if (!next) {
            std::lock_guard lock(_mutex);
            _complete = true;
            break;
        }
        if (*next != position) {
            _network.arm(_options.connectTimeout);
            if (avio_seek(_io, int64_t(*next), SEEK_SET) < 0 && !connect(*next, &reason)) {
                error = fetchError("The movie stopped arriving: " + reason + ".", _url);
                ok = false;
                break;
            }
            position = *next;
        }
        _network.arm(_options.stallTimeout);
        int n = avio_read_partial(_io, buffer.data(), int(buffer.size()));
        if (_network.cancelled())
            break;
        if (n > 0) {
            if (::pwrite(_fd, buffer.data(), size_t(n), off_t(position)) != n) {
                error = fetchError("The movie's data cannot be stored: " + std::string(std::strerror(errno)) + ".", _url);
                ok = false;
                break;
            }
            addRange(position, uint64_t(n));
            position += uint64_t(n);
            // Only bytes not had before make up for a drop: a server that starts over from the beginning
            // every time, and stops at the same place, is given up on.
            if (state().prefix > received && drops > 0) {
                drops = stalls = 0;
                received = state().prefix;
            }
            {
                std::lock_guard lock(_mutex);
                _reconnecting = false;
            }
            if (_onChange)
                _onChange();
            continue;
        }
        bool ended = n == AVERROR_EOF || n == 0;
        {
            std::lock_guard lock(_mutex);
            if (ended && _length < 0) {
                // The length was not told: the end of the data tells it.
                _length = int64_t(position);
                continue;
            }
            if (ended && uint64_t(_length) <= position)
                continue; // the end: fill what is missing, if anything is
        }
        // The connection dropped (or ended early): take it up again where it stopped.
        // (A connection that closes before the length it told comes as an input/output error.)
        std::string why = _network.timedOut()
            ? "no data arrived for " + MVNetworkDeadline::secondsText(_options.stallTimeout)
            : ended || n == AVERROR(EIO) ? "the server ended the transfer early"
                                         : MVNetworkDeadline::errorClause(n);
        error = fetchError("The movie stopped arriving: " + why + ".", _url);
        received = std::max(received, state().prefix);
        const bool stalled = _network.timedOut();
        if (++drops > _options.reconnects || (stalled && ++stalls > _options.stallReconnects)) {
            ok = false;
            break;
        }
        {
            std::lock_guard lock(_mutex);
            _reconnecting = true;
        }
        if (_onChange)
            _onChange();
        uint64_t from = _seekable ? position : 0;
        if (!connect(from, &reason)) {
            if (_network.cancelled())
                break;
            // Asked again, the server answered no longer: that answer is the reason.
            error = fetchError("The movie stopped arriving: " + reason + ".", _url);
            ok = false;
            break;
        }
        position = from;
    }
    if (_io)
        avio_closep(&_io);
    if (_network.cancelled())
        return;
    {
        std::lock_guard lock(_mutex);
        if (!ok && !_complete) {
            _failed = true;
            _error = error;
        }
    }
    if (_onChange)
        _onChange();
}
