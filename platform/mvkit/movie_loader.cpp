#include "platform/mvkit/movie_loader.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string_view>

namespace {

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

uint32_t bigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The atoms a movie file may begin with.
bool isLeadingAtom(uint32_t type)
{
    static const uint32_t types[] = { MVFourCC("ftyp"), MVFourCC("moov"), MVFourCC("mdat"), MVFourCC("free"),
        MVFourCC("skip"), MVFourCC("wide"), MVFourCC("pnot"), MVFourCC("PICT"), MVFourCC("uuid"),
        MVFourCC("pdin"), MVFourCC("junk") };
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

bool isPrintable(uint32_t type)
{
    for (int i = 0; i < 4; ++i) {
        uint8_t c = uint8_t(type >> (24 - 8 * i));
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

// The cache seen as a file that ends with the movie header: the reader walks no further.
class HeaderSource : public MVByteSource {
public:
    HeaderSource(std::unique_ptr<MVByteSource> source, uint64_t size)
        : _source(std::move(source))
        , _size(size)
    {
    }
    uint64_t size() const override { return _size; }
    bool read(uint64_t offset, void* into, size_t length) const override
    {
        return offset + length <= _size && _source->read(offset, into, length);
    }

private:
    std::unique_ptr<MVByteSource> _source;
    uint64_t _size;
};

} // namespace

std::shared_ptr<MVMovieLoader> MVMovieLoader::start(
    const std::shared_ptr<MVMovie>& movie, const std::string& url, const std::string& cachePath)
{
    auto loader = std::shared_ptr<MVMovieLoader>(new MVMovieLoader());
    loader->_movie = movie;
    loader->_url = url;
    loader->_cachePath = cachePath;
    loader->_startTime = steadyNow();
    std::weak_ptr<MVMovieLoader> weak = loader;
    // Arrivals are told on the fetching thread; the main thread looks once for all that came meanwhile.
    // The fetching thread never holds the loader itself: were it the last to let go, the loader (and
    // the cache whose thread it is) would end on that thread, which cannot wait for itself.
    auto pending = loader->_updatePending;
    loader->_cache = MVNetworkDataCache::start(url, cachePath, {}, [weak, pending] {
        if (pending->exchange(true))
            return;
        HXRunLoop::performOnMainThread([weak] {
            if (auto self = weak.lock())
                self->update();
        });
    });
    return loader;
}

MVMovieLoader::~MVMovieLoader()
{
    cancel();
    // A file the movie never took its tracks from (the transfer failed, it was no movie, or a stream
    // session plays what it names) holds nothing anybody reads again.
    if (!_haveHeader && !_cachePath.empty()) {
        std::error_code ec;
        std::filesystem::remove(_cachePath, ec);
    }
}

void MVMovieLoader::cancel()
{
    if (_cache)
        _cache->cancel();
    if (_importThread.joinable() && _importThread.get_id() != std::this_thread::get_id())
        _importThread.join();
}

void MVMovieLoader::update()
{
    *_updatePending = false;
    auto movie = _movie.lock();
    if (!movie || _handedOver)
        return;
    const auto state = _cache->state();
    if (!_haveHeader && _importing) {
        awaitImport(*movie, state);
        return;
    }
    if (!_haveHeader) {
        if (state.reconnecting && !state.failed)
            movie->postStatus(MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode,
                MVMovieStreamingStatusReconnecting, "Reconnecting\u2026");
        else if (state.received > 0)
            movie->postStatus(MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode,
                MVMovieStreamingStatusNegotiating, "Negotiating\u2026");
        HeaderSearch search = findHeader();
        if (search == HeaderSearch::Waiting && (state.complete || state.failed)) {
            if (state.failed) {
                _ended = true;
                movie->networkTransferFailed(state.error);
                return;
            }
            search = HeaderSearch::NotAMovieFile;
        }
        const auto playlist = search == HeaderSearch::NotAMovieFile
            ? isPlaylist(state.complete || state.failed)
            : std::optional<bool>(false);
        if (!playlist)
            return;
        if (*playlist) {
            // A playlist, whatever its location is called: a stream session plays what it lists.
            _handedOver = true;
            _cache->cancel();
            movie->networkNotAMovieFile();
            return;
        }
        if (search == HeaderSearch::NotAMovieFile && state.length >= 0) {
            // Another container, of known length: imported once it is all here (the transfer may have
            // ended, either way, already).
            _importing = true;
            awaitImport(*movie, state);
            return;
        }
        if (search == HeaderSearch::NotAMovieFile) {
            // Data without an end: a stream session reads whatever it is, as it comes.
            _handedOver = true;
            _cache->cancel();
            movie->networkNotAMovieFile();
            return;
        }
        if (search == HeaderSearch::Waiting)
            return;
    }
    updateLoadStates();
    // While the player waits for data the display says whether the connection is being taken up again.
    if (_waiting && !_ended && !state.failed)
        movie->postStatus(MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode,
            state.reconnecting ? MVMovieStreamingStatusReconnecting : MVMovieStreamingStatusWaiting,
            state.reconnecting ? "Reconnecting\u2026" : "Waiting for data\u2026");
    if (state.failed && !_ended) {
        _ended = true;
        movie->networkTransferFailed(state.error);
        // Already waiting for what will not come: stop there.
        if (_waiting)
            movie->stop();
    }
    // Data that was missing where the movie stands arrived: show it.
    if (!movie->isPlaying()) {
        const int64_t now = MVTimeInScaleFloor(movie->currentTime(), movie->timeScale()).timeValue;
        const bool missing = !state.complete && availableUntil(now) <= now && now < _duration;
        if (_missingAtPlayhead && !missing)
            if (auto playback = MVMoviePlayback::existingPlaybackForMovie(movie.get());
                playback && playback->movie() == movie)
                playback->player().reloadPictures();
        _missingAtPlayhead = missing;
    }
}

void MVMovieLoader::awaitImport(MVMovie& movie, const MVNetworkDataCache::State& state)
{
    if (state.failed && !_ended) {
        _ended = true;
        movie.networkTransferFailed(state.error);
    } else if (state.complete && !_importThread.joinable()) {
        startImport();
    }
}

std::optional<bool> MVMovieLoader::isPlaylist(bool whole)
{
    // An HLS playlist starts with its tag; a DASH manifest is XML whose root element comes within its
    // first lines.
    static constexpr std::string_view kPlaylistTag = "#EXTM3U";
    char start[1024];
    const uint64_t present = std::min<uint64_t>(_cache->presentEnd(0), sizeof start);
    if (present < kPlaylistTag.size() || !_cache->read(0, start, size_t(present)))
        return false;
    const std::string_view text(start, size_t(present));
    if (text.starts_with(kPlaylistTag))
        return true;
    const size_t open = text.find_first_not_of("\xEF\xBB\xBF \t\r\n");
    if (open == std::string_view::npos || !text.substr(open).starts_with("<"))
        return false;
    if (text.find("<MPD") != std::string_view::npos)
        return true;
    // XML whose root element has not come yet: wait for it.
    if (!whole && present < sizeof start)
        return std::nullopt;
    return false;
}

MVMovieLoader::HeaderSearch MVMovieLoader::findHeader()
{
    auto movie = _movie.lock();
    const auto state = _cache->state();
    uint64_t offset = 0;
    for (int atoms = 0; atoms < 10000; ++atoms) {
        if (state.length >= 0 && offset >= uint64_t(state.length))
            return HeaderSearch::NotAMovieFile; // every atom seen, no header among them
        uint8_t header[16];
        if (!_cache->hasRange(offset, 8)) {
            if (offset > 0)
                _cache->want(offset);
            return HeaderSearch::Waiting;
        }
        _cache->read(offset, header, 8);
        uint64_t size = bigEndian32(header);
        const uint32_t type = bigEndian32(header + 4);
        if (!isPrintable(type) || (offset == 0 && !isLeadingAtom(type)))
            return HeaderSearch::NotAMovieFile;
        if (size == 1) {
            if (!_cache->hasRange(offset, 16))
                return HeaderSearch::Waiting;
            _cache->read(offset, header, 16);
            size = (uint64_t(bigEndian32(header + 8)) << 32) | bigEndian32(header + 12);
        } else if (size == 0) {
            if (state.length < 0)
                return HeaderSearch::Waiting;
            size = uint64_t(state.length) - offset;
        }
        if (size < 8)
            return HeaderSearch::NotAMovieFile;
        if (type == MVFourCC("moof"))
            return HeaderSearch::NotAMovieFile; // fragments: played as a stream as they arrive
        if (type == MVFourCC("moov")) {
            if (!_cache->hasRange(offset, size)) {
                _cache->want(_cache->presentEnd(offset));
                return HeaderSearch::Waiting;
            }
            HXError error;
            MVMovieFileReadOptions options;
            options.fileMayGrow = true;
            HeaderSource source(_cache->byteSource(), offset + size);
            auto file = MVReadMovieFile(source, &error, options);
            uint64_t samples = 0;
            if (file)
                for (const auto& t : file->movie.tracks)
                    samples += MVMedia::expandedSampleCount(t.media.information.sampleTable);
            // A header that announces fragments holds only the first of them (if any): the rest come
            // after it, so the movie plays as a stream as they arrive.
            const bool fragmented = file
                && std::any_of(file->movie.unknownChildren.begin(), file->movie.unknownChildren.end(),
                    [](const MVRawAtom& a) { return a.type == MVFourCC("mvex"); });
            if (!file || samples == 0 || fragmented)
                return HeaderSearch::NotAMovieFile;
            file->fileSize = state.length >= 0 ? uint64_t(state.length) : offset + size;
            if (!movie)
                return HeaderSearch::Waiting;
            _haveHeader = true;
            movie->networkHeaderArrived(*file, _cachePath, {}, {}, {});
            indexSamples();
            return HeaderSearch::Found;
        }
        offset += size;
    }
    return HeaderSearch::NotAMovieFile;
}

void MVMovieLoader::startImport()
{
    std::weak_ptr<MVMovieLoader> weak = weak_from_this();
    _importThread = std::thread([weak, path = _cachePath] {
        HXError error;
        auto imported = MVImportMovieFile(path, &error);
        HXRunLoop::performOnMainThread([weak, path, error, imported = std::move(imported)]() mutable {
            auto self = weak.lock();
            auto movie = self ? self->_movie.lock() : nullptr;
            if (!movie)
                return;
            if (!imported || (imported->file.movie.tracks.empty() && imported->subtitles.empty())) {
                self->_ended = true;
                movie->networkTransferFailed(error.code()
                        ? error
                        : HXError::withDescription(HXOSStatusErrorDomain, -2100, "The data is not a movie."));
                return;
            }
            for (const auto& problem : imported->problems)
                imported->file.warnings.push_back(problem);
            for (const auto& note : imported->notes)
                imported->file.notes.push_back(note);
            self->_haveHeader = true;
            movie->networkHeaderArrived(imported->file, path, imported->subtitles,
                std::move(imported->cacheLeases), imported->chapters);
            self->indexSamples();
            self->updateLoadStates();
        });
    });
}

void MVMovieLoader::indexSamples()
{
    auto movie = _movie.lock();
    if (!movie)
        return;
    _index.clear();
    _duration = movie->durationValue();
    _timeScale = movie->timeScale();
    for (const auto& track : movie->tracks()) {
        const auto& media = track->media();
        if (!track->isEnabled() || !media || media->sampleCount() == 0)
            continue;
        // Only the samples of this file: others are not fetched here.
        const MVDataReference* reference = media->dataReferenceForDescription(1);
        if (!reference || reference->referenceFilePath() != _cachePath)
            continue;
        TrackIndex index;
        index.end = track->duration();
        uint64_t reach = 0;
        int64_t last = 0;
        const auto& records = media->samples();
        index.samples.reserve(records.size());
        for (int64_t i = 0; i < media->sampleCount(); ++i) {
            const auto& r = records[size_t(i)];
            int64_t t = track->mediaTimeToTrackTime(media->sampleTime(i));
            if (t < 0)
                t = last;
            last = t;
            reach = std::max(reach, r.dataOffset + r.size);
            index.samples.push_back({ t, r.dataOffset, r.size, reach, r.sync });
        }
        _index.push_back(std::move(index));
    }
}

int64_t MVMovieLoader::maxTimeLoaded()
{
    if (!_haveHeader)
        return 0;
    const auto state = _cache->state();
    if (state.complete)
        return _duration;
    if (state.prefix == _maxTimeLoadedAt)
        return _maxTimeLoaded;
    int64_t loaded = _duration;
    for (const auto& track : _index) {
        auto it = std::partition_point(track.samples.begin(), track.samples.end(),
            [&](const SampleSpan& s) { return s.reach <= state.prefix; });
        loaded = std::min(loaded, it == track.samples.end() ? track.end : it->movieTime);
    }
    _maxTimeLoaded = std::max<int64_t>(0, loaded);
    _maxTimeLoadedAt = state.prefix;
    return _maxTimeLoaded;
}

size_t MVMovieLoader::sampleAt(const TrackIndex& track, int64_t time)
{
    auto after = std::upper_bound(track.samples.begin(), track.samples.end(), time,
        [](int64_t t, const SampleSpan& s) { return t < s.movieTime; });
    return after == track.samples.begin() ? 0 : size_t(after - track.samples.begin()) - 1;
}

size_t MVMovieLoader::syncSampleAtOrBefore(const TrackIndex& track, size_t sample)
{
    while (sample > 0 && !track.samples[sample].sync)
        --sample;
    return sample;
}

int64_t MVMovieLoader::availableUntil(int64_t time)
{
    if (!_haveHeader)
        return time;
    if (_cache->state().complete)
        return std::max(time, _duration);
    // Within what arrived from the start it is quick.
    if (time < maxTimeLoaded())
        return maxTimeLoaded();
    int64_t until = _duration;
    for (const auto& track : _index) {
        if (track.samples.empty() || time >= track.end)
            continue;
        const size_t at = sampleAt(track, time);
        const size_t from = syncSampleAtOrBefore(track, at);
        // A minute ahead at most: enough to decide whether playing can go on.
        const int64_t horizon = time + 60 * int64_t(_timeScale);
        size_t k = from;
        while (k < track.samples.size() && track.samples[k].movieTime <= horizon
            && _cache->hasRange(track.samples[k].offset, track.samples[k].size))
            ++k;
        int64_t trackUntil;
        if (k <= at)
            trackUntil = time;
        else if (k == track.samples.size())
            trackUntil = track.end;
        else
            trackUntil = track.samples[k].movieTime;
        until = std::min(until, trackUntil);
    }
    return std::max(time, until);
}

bool MVMovieLoader::isFinished() const
{
    return _cache && _cache->state().complete;
}

void MVMovieLoader::want(int64_t time)
{
    if (!_haveHeader)
        return;
    std::optional<uint64_t> first;
    for (const auto& track : _index) {
        if (track.samples.empty() || time >= track.end)
            continue;
        const auto& s = track.samples[syncSampleAtOrBefore(track, sampleAt(track, time))];
        if (!_cache->hasRange(s.offset, s.size))
            first = std::min(first.value_or(UINT64_MAX), s.offset);
    }
    if (first) {
        _cache->want(*first);
        // Its pictures are decoded again once the data is there.
        _missingAtPlayhead = true;
    }
}

void MVMovieLoader::stalled(bool stalled)
{
    _waiting = stalled;
    auto movie = _movie.lock();
    if (!movie)
        return;
    if (_ended && stalled) {
        // Nothing more will come: stop where the data ends; the error stays on show.
        std::weak_ptr<MVMovie> weak = movie;
        HXRunLoop::main().perform([weak] {
            if (auto m = weak.lock())
                m->stop();
        });
        return;
    }
    if (_ended)
        return;
    const int64_t flags = MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode;
    if (stalled)
        movie->postStatus(flags, MVMovieStreamingStatusWaiting, "Waiting for data\u2026");
    else
        movie->postStatus(flags, MVMovieStreamingStatusReady, "");
}

void MVMovieLoader::updateLoadStates()
{
    auto movie = _movie.lock();
    if (!movie)
        return;
    const auto state = _cache->state();
    if (movie->loadState() >= MVMovieLoadStateComplete)
        return;
    if (state.complete) {
        if (movie->loadState() < MVMovieLoadStatePlaythroughOK)
            movie->setLoadState(MVMovieLoadStatePlaythroughOK);
        movie->setLoadState(MVMovieLoadStateComplete);
        return;
    }
    if (movie->loadState() >= MVMovieLoadStatePlaythroughOK || state.length <= 0)
        return;
    // Playing through is safe once the rest arrives, at the rate so far, before the movie gets there.
    const double elapsed = std::max(0.001, steadyNow() - _startTime);
    const double rate = double(state.received) / elapsed;
    const double remainingBytes
        = double(uint64_t(state.length) - std::min<uint64_t>(state.prefix, uint64_t(state.length)));
    const int64_t now = MVTimeInScaleFloor(movie->currentTime(), movie->timeScale()).timeValue;
    const double remainingPlay = double(_duration - now) / movie->timeScale();
    if (rate > 0 && elapsed > 1.0 && remainingBytes / rate < remainingPlay)
        movie->setLoadState(MVMovieLoadStatePlaythroughOK);
}
