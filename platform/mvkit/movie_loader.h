#pragma once
// MVMovieLoader: a movie file at a network location, played while it arrives. Its bytes go into a
// cache file (MVNetworkDataCache); as soon as the movie header is there (at the start, or fetched from
// the end where the server allows ranges) the movie gets its tracks and is playable, and from then on
// the loader tells how far the movie has arrived: maxTimeLoaded, the load states, and for the player
// how far it can play from any time before it must wait. Seeking into what has not arrived asks for
// those bytes first.
//
// Data of another container is imported once it has all arrived (a file of known length: it keeps all
// an import gives, its subtitles too); data without an end (no length told) and playlists are handed
// to a stream session instead, which plays them as they arrive.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/playback/playback_supply.h"
#include "platform/mvkit/streaming/network_data_cache.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class MVMovie;

class MVMovieLoader : public MVPlaybackSupply, public std::enable_shared_from_this<MVMovieLoader> {
public:
    // Starts fetching `url` for `movie`; the cache file goes to `cachePath`.
    static std::shared_ptr<MVMovieLoader> start(
        const std::shared_ptr<MVMovie>& movie, const std::string& url, const std::string& cachePath);
    ~MVMovieLoader() override;
    // Stops the transfer and waits for it.
    void cancel();
    const std::string& cachePath() const { return _cachePath; }
    bool hasHeader() const { return _haveHeader; }

    // The movie time up to which every sample of every enabled track has arrived, from the start.
    int64_t maxTimeLoaded();
    MVNetworkDataCache::State cacheState() const
    {
        return _cache ? _cache->state() : MVNetworkDataCache::State {};
    }

    // MVPlaybackSupply (movie units).
    int64_t availableUntil(int64_t time) override;
    bool isFinished() const override;
    void want(int64_t time) override;
    void stalled(bool stalled) override;

private:
    MVMovieLoader() = default;
    // On the main thread, whenever bytes arrived or the transfer ended.
    void update();
    // Looks for the movie header in what arrived: true when found (and given to the movie).
    enum class HeaderSearch { Found, Waiting, NotAMovieFile };
    HeaderSearch findHeader();
    // Whether what arrived is an HLS playlist or a DASH manifest (which name the stream rather than hold
    // it); nothing while too little of it is here to tell, unless `whole`.
    std::optional<bool> isPlaylist(bool whole);
    void indexSamples();
    void updateLoadStates();
    // Imports the whole file on a thread of its own; the movie gets what it found on the main thread.
    void startImport();
    // A file to import: imported once all of it arrived, or the movie fails when the transfer did.
    void awaitImport(MVMovie& movie, const MVNetworkDataCache::State& state);

    // A track's samples in decode order as the player reads them: movie time each starts at, and
    // where its bytes are; `reach` is the furthest byte any sample up to it ends at.
    struct SampleSpan {
        int64_t movieTime;
        uint64_t offset;
        uint32_t size;
        uint64_t reach;
        bool sync;
    };
    struct TrackIndex {
        std::vector<SampleSpan> samples;
        int64_t end = 0; // movie time the track ends at
    };

    // The sample (decode order) shown at movie time `time`, and the sync sample decoding starts from.
    static size_t sampleAt(const TrackIndex& track, int64_t time);
    static size_t syncSampleAtOrBefore(const TrackIndex& track, size_t sample);

    std::weak_ptr<MVMovie> _movie;
    std::string _url;
    std::string _cachePath;
    std::shared_ptr<MVNetworkDataCache> _cache;
    std::shared_ptr<std::atomic<bool>> _updatePending = std::make_shared<std::atomic<bool>>(false);
    bool _haveHeader = false;
    bool _handedOver = false;
    bool _importing = false; // a file of another container, imported once it is all here
    std::thread _importThread;
    bool _ended = false;
    std::vector<TrackIndex> _index;
    int64_t _duration = 0;
    int32_t _timeScale = 600;
    int64_t _maxTimeLoaded = 0;
    uint64_t _maxTimeLoadedAt = UINT64_MAX; // the prefix it was computed for
    double _startTime = 0;
    bool _waiting = false;
    bool _missingAtPlayhead = false;
};
