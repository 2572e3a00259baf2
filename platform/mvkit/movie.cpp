#include "platform/mvkit/movie.h"

#include "platform/mvkit/aperture.h"
#include "platform/mvkit/movie_delegate.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/picture_compositor.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/movie_loader.h"
#include "platform/mvkit/panorama/panorama_atoms.h"
#include "platform/mvkit/stream.h"
#include "platform/mvkit/streaming/stream_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

const std::set<std::string> movieFileExtensions = { "mov", "qt", "mp4", "m4v", "m4a", "m4b", "3gp", "3g2",
    "mqv", "mkv", "mka", "webm", "avi", "wav", "mp3", "mp2", "aac", "ac3", "aif", "aiff", "aifc", "caf",
    "flac", "ogg", "ogv", "oga", "opus", "ts", "m2t", "m2ts", "mts", "mpg", "mpeg", "m1v", "m2v", "vob",
    "flv", "wmv", "asf", "dv", "mxf", "sdp", "m3u8", "mpd" };

// Network movies are fetched into the user's cache folder ($XDG_CACHE_HOME/movara-player/Network).
std::filesystem::path networkCacheDirectory()
{
    return std::filesystem::path(HXUserCacheDirectory()) / "Network";
}

// A header the model can take: no media with more samples than a media may hold.
bool usableDescription(const MVMovieDescription& movie, HXError* outError)
{
    for (auto& t : movie.tracks) {
        if (MVMedia::expandedSampleCount(t.media.information.sampleTable) > MVMedia::maximumSampleCount) {
            if (outError)
                *outError = HXError::withDescription(HXOSStatusErrorDomain, MVStatusFileTooLarge,
                    "A track of the movie has more samples than can be handled.");
            return false;
        }
    }
    return true;
}

// What the reader or the import left out of a usable file goes to the log: the warnings (damaged parts,
// streams that cannot play) also to the user once the window is up (openWarnings), the notes (samples
// past the end of a file cut short, streams with nothing to play) only here.
void logReadWarnings(const MVMovieFileDescription& file, const std::string& path)
{
    for (const auto& w : file.warnings)
        HXLog(path + ": " + w);
    for (const auto& n : file.notes)
        HXLog(path + ": " + n);
}

HXError unsupported(const std::string& text)
{
    return HXError::withDescription(HXOSStatusErrorDomain, -2102, text);
}

} // namespace

std::shared_ptr<MVMovie> MVMovie::movie()
{
    return std::shared_ptr<MVMovie>(new MVMovie());
}

// Undo actions hold the movie weakly, so those left behind when it goes do nothing; the undo manager
// may already be gone by then, so it is not touched here.
MVMovie::~MVMovie()
{
    if (_stream)
        _stream->cancel();
}

std::shared_ptr<MVMovie> MVMovie::movieWithDescription(
    const MVMovieFileDescription& file, const std::string& filePath)
{
    if (!usableDescription(file.movie, nullptr))
        return nullptr;
    auto m = movie();
    m->loadFromFile(file, filePath);
    return m;
}

void MVMovie::loadFromFile(const MVMovieFileDescription& file, const std::string& path)
{
    const auto& d = file.movie;
    _header = d.header;
    _timeScale
        = d.header.timeScale > 0 && d.header.timeScale <= INT32_MAX ? int32_t(d.header.timeScale) : 600;
    _preferredRate = float(d.header.preferredRate) / 65536.0f;
    _preferredVolume = float(d.header.preferredVolume) / 256.0f;
    _volume = _preferredVolume;
    _matrix = d.header.matrix;
    _posterTime = MVMakeTime(d.header.posterTime, _timeScale);
    _currentTime = MVMakeTime(d.header.currentTime, _timeScale);
    _selection = { MVMakeTime(d.header.selectionTime, _timeScale),
        MVMakeTime(d.header.selectionDuration, _timeScale) };
    _preview
        = { MVMakeTime(d.header.previewTime, _timeScale), MVMakeTime(d.header.previewDuration, _timeScale) };
    if (d.userData)
        _userData = *d.userData;
    if (d.metadata)
        _metadata = *d.metadata;
    _unknownMovieAtoms = d.unknownChildren;
    _fileType = file.fileType;
    _filePath = path;
    _openedFile = file;
    _openedFile.movie = {};
    _tracks.clear();
    auto self = shared_from_this();
    for (auto& td : d.tracks) {
        auto t = MVTrack::trackWithDescription(td, _timeScale, path);
        t->setMovie(self);
        _tracks.push_back(t);
    }
    resolveReferences();
}

void MVMovie::resolveReferences()
{
    for (auto& t : _tracks) {
        std::vector<MVTrack::References> refs;
        for (auto& r : t->unresolvedReferences()) {
            MVTrack::References resolved { r.type, {} };
            for (auto id : r.trackIDs)
                if (auto target = trackByID(id))
                    resolved.tracks.push_back(target);
            if (!resolved.tracks.empty())
                refs.push_back(std::move(resolved));
        }
        t->setReferences(std::move(refs));
    }
}

std::shared_ptr<MVMovie> MVMovie::movieWithFile(const std::string& path, HXError* outError)
{
    // A stream description or a playlist on disk names a stream: it plays as one.
    if (auto url = HXURL::fileURLWithPath(path); MVStreamSession::isStreamURL(url.absoluteString()))
        return movieWithURL(url, outError);
    HXError readError;
    auto file = MVReadMovieFile(path, &readError);
    std::vector<MVImportedSubtitles> subtitles;
    std::vector<MVImportedChapter> chapters;
    std::vector<std::shared_ptr<void>> leases;
    std::shared_ptr<MVImportContinuation> continuation;
    double statedSeconds = 0;
    if (!file && readError.domain() == HXOSStatusErrorDomain && readError.code() == MVStatusNotAMovieFile) {
        // Not a movie file: other containers come in through the import. Streams it leaves out stay
        // with the file's warnings (and in the log), so the user hears which and why.
        HXError importError;
        if (auto imported = MVImportMovieFile(path, &importError, MVMovieImportOptions())) {
            continuation = std::move(imported->continuation);
            statedSeconds = imported->statedDuration;
            file = std::move(imported->file);
            subtitles = std::move(imported->subtitles);
            chapters = std::move(imported->chapters);
            leases = std::move(imported->cacheLeases);
            for (const auto& problem : imported->problems)
                file->warnings.push_back(problem);
            for (const auto& note : imported->notes)
                file->notes.push_back(note);
        } else if (importError.code() == MVStatusUnsupportedImport) {
            // A file libavformat reads but nothing of which plays: the reason is the import's.
            if (importError.localizedDescription().find("could not be opened as a movie")
                == std::string::npos)
                readError = importError;
            readError.userInfo()[HXFilePathErrorKey] = path;
        }
    }
    if (file && file->movie.tracks.empty() && subtitles.empty()
        && (!file->warnings.empty() || !file->notes.empty())) {
        // A header damaged so badly that nothing of it is usable is an error, not an empty movie.
        std::string text = "The movie file is damaged:";
        for (auto& w : file->warnings)
            text += " " + w + ";";
        for (auto& n : file->notes)
            text += " " + n + ";";
        readError = HXError::withDescription(HXOSStatusErrorDomain, MVStatusBadMovieFile, text);
        readError.userInfo()[HXFilePathErrorKey] = path;
        file.reset();
    }
    if (file && !usableDescription(file->movie, &readError))
        file.reset();
    if (file)
        logReadWarnings(*file, path);
    if (!file) {
        if (outError)
            *outError = readError;
        return nullptr;
    }
    auto m = movieWithDescription(*file, path);
    // A movie file whose chapters are only listed in its user data gets a chapter track of them.
    if (chapters.empty() && file->movie.userData && !MVMovieChapterTrack(*m))
        for (auto& c : MVChapterList(*file->movie.userData))
            chapters.push_back({ c.start / 10, std::move(c.title) });
    MVAddSubtitleTracks(*m, subtitles);
    m->_importCacheLeases = std::move(leases);
    m->_initialDataReference = MVDataReference::dataReferenceWithReferenceToFile(path);
    m->_defaultDataReference = m->_initialDataReference;
    m->_changed = false;
    // A local file is complete as soon as it is open, unless the rest of a long one is still being read;
    // observers hear of it from the run loop.
    std::weak_ptr<MVMovie> weak = m;
    HXRunLoop::performOnMainThread([weak] {
        auto movie = weak.lock();
        if (!movie)
            return;
        if (movie->_deferredLoad)
            movie->postNotification(MVMovieLoadStateDidChangeNotification,
                { { MVMovieLoadStateNotificationParameter, int64_t(MVMovieLoadStatePlayable) } });
        else
            movie->setLoadState(MVMovieLoadStateComplete);
    });
    // Started after the news above is queued, so that the news of the rest comes after it.
    if (continuation) {
        m->_loadState = MVMovieLoadStatePlayable;
        m->startDeferredLoad(std::move(continuation), statedSeconds, path);
    }
    // The last chapter lasts to the end: while the rest of a long file is read, as long as the file says.
    MVAddImportedChapters(*m, chapters);
    return m;
}

std::shared_ptr<MVMovie> MVMovie::movieWithURL(const HXURL& url, HXError* outError)
{
    const bool streamURL = MVStreamSession::isStreamURL(url.absoluteString());
    if (url.isFileURL() && !streamURL)
        return movieWithFile(url.path(), outError);
    std::string reason;
    if (!canInitWithURL(url, &reason)) {
        if (outError)
            *outError = unsupported(reason);
        return nullptr;
    }
    // The movie exists at once, empty and loading; the loader or the stream session fills it in from
    // the run loop.
    auto m = movie();
    m->_initialDataReference = MVDataReference::dataReferenceWithReferenceToURL(url);
    m->_displayName = url.lastPathComponent();
    m->_loadState = MVMovieLoadStateLoading;
    if (streamURL) {
        m->startStream(url.absoluteString());
    } else {
        std::string name = std::to_string(std::hash<std::string> {}(url.absoluteString()));
        std::string extension = url.pathExtension().empty() ? "mov" : url.pathExtension();
        auto cache = networkCacheDirectory() / (name + "." + extension);
        // A second movie of the same location (still open) gets a file of its own.
        for (int n = 2; MVNetworkDataCache::cacheForPath(cache.string()); ++n)
            cache = networkCacheDirectory() / (name + "-" + std::to_string(n) + "." + extension);
        m->_loader = MVMovieLoader::start(m, url.absoluteString(), cache.string());
    }
    // Observers hear of the start from the run loop, once they had a chance to listen.
    std::weak_ptr<MVMovie> weak = m;
    HXRunLoop::performOnMainThread([weak, fetching = !streamURL] {
        auto movie = weak.lock();
        if (!movie || movie->_loadState != MVMovieLoadStateLoading)
            return;
        movie->postNotification(MVMovieLoadStateDidChangeNotification,
            { { MVMovieLoadStateNotificationParameter, int64_t(MVMovieLoadStateLoading) } });
        if (fetching && movie->_lastStatus.empty())
            movie->postStatus(MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode,
                MVMovieStreamingStatusConnecting, "Connecting\u2026");
    });
    return m;
}

void MVMovie::networkHeaderArrived(const MVMovieFileDescription& file, const std::string& cachePath,
    const std::vector<MVImportedSubtitles>& subtitles, std::vector<std::shared_ptr<void>> cacheLeases,
    const std::vector<MVImportedChapter>& chapters)
{
    if (_loadState == MVMovieLoadStateError || _loadState >= MVMovieLoadStateLoaded)
        return;
    HXError error;
    if (!usableDescription(file.movie, &error)) {
        if (_loader)
            _loader->cancel();
        _loadError = error;
        setLoadState(MVMovieLoadStateError);
        return;
    }
    logReadWarnings(file, cachePath);
    loadFromFile(file, cachePath);
    MVAddSubtitleTracks(*this, subtitles);
    MVAddImportedChapters(*this, chapters);
    _importCacheLeases = std::move(cacheLeases);
    // The movie is not its cache file: saving replaces nothing in place.
    _filePath.clear();
    _openedFile = {};
    // The movie has its tracks and its size before anyone hears it is playable.
    postNotification(MVMovieEditedNotification);
    postNotification(MVMovieNaturalSizeDidChangeNotification);
    setLoadState(MVMovieLoadStateLoaded);
    setLoadState(MVMovieLoadStatePlayable);
    postStatus(MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode, MVMovieStreamingStatusReady, "");
}

void MVMovie::networkTransferFailed(const HXError& error)
{
    if (_loadState < MVMovieLoadStatePlayable) {
        _loadError = error;
        setLoadState(MVMovieLoadStateError);
        return;
    }
    // The part that arrived still plays; the display says why the rest does not come.
    postStatus(MVMovieStatusFlagError, 0, error.localizedDescription());
}

void MVMovie::networkNotAMovieFile()
{
    auto url = _initialDataReference.referenceURL();
    if (!url)
        return;
    // The loader goes after its work: this runs inside it.
    HXRunLoop::main().perform([loader = std::move(_loader)] { (void)loader; });
    startStream(url->absoluteString());
}

void MVMovie::startStream(const std::string& url)
{
    _editable = false;
    std::weak_ptr<MVMovie> weak = weak_from_this();
    MVStreamSession::Delegate delegate;
    delegate.status = [weak](long code, const std::string& text) {
        if (auto m = weak.lock())
            m->postStatus(MVMovieStatusFlagStreaming | MVMovieStatusFlagHasCode, code, text);
    };
    delegate.ready = [weak](const MVStreamSession::Layout& layout) {
        auto m = weak.lock();
        if (!m || !m->_stream)
            return;
        // One streaming track carries the streams.
        auto media = MVMedia::media(MVFourCC("strm"), m->_timeScale);
        auto track = MVTrack::trackWithMedia(media, 1);
        // Its sound is heard at full volume, like a sound track's (set before it belongs to the movie:
        // nothing was edited).
        if (std::any_of(layout.streams.begin(), layout.streams.end(),
                [](const MVStream::Description& d) { return d.mediaType == MVFourCC("soun"); }))
            track->setVolume(1.0f);
        track->setMovie(m);
        track->setEnabled(true);
        if (layout.width > 0 && layout.height > 0)
            track->setDimensions(layout.width, layout.height);
        m->_tracks = { track };
        m->_streams.clear();
        for (const auto& d : layout.streams)
            m->_streams.push_back(std::make_shared<MVStream>(d, m->_stream->statistics()));
        m->setLoadState(MVMovieLoadStateLoaded);
        m->postNotification(MVMovieEditedNotification);
        m->postNotification(MVMovieNaturalSizeDidChangeNotification);
    };
    delegate.prerolled = [weak] {
        auto m = weak.lock();
        if (!m)
            return;
        m->setLoadState(MVMovieLoadStatePlayable);
        m->postNotification(
            MVMoviePrerollCompleteNotification, { { MVMovieErrorNotificationParameter, int64_t(0) } });
    };
    delegate.failed = [weak](const HXError& error) {
        if (auto m = weak.lock())
            m->streamFailed(error);
    };
    MVStreamSession::Options options;
    options.timeScale = _timeScale;
    _stream = MVStreamSession::start(url, options, std::move(delegate));
}

void MVMovie::streamFailed(const HXError& error)
{
    if (_loadState < MVMovieLoadStatePlayable) {
        _loadError = error;
        setLoadState(MVMovieLoadStateError);
        return;
    }
    // Stopped first: the display shows the error, not what it shows for a stopped stream.
    setRate(0);
    postStatus(MVMovieStatusFlagError, 0, error.localizedDescription());
}

void MVMovie::postStatus(int64_t flags, int64_t code, const std::string& text)
{
    std::string key = std::to_string(flags) + "/" + std::to_string(code) + "/" + text;
    if (key == _lastStatus && code != MVMovieStreamingStatusPlaying)
        return;
    _lastStatus = key;
    postNotification(MVMovieStatusStringPostedNotification,
        { { MVMovieStatusFlagsNotificationParameter, flags },
            { MVMovieStatusCodeNotificationParameter, code },
            { MVMovieStatusStringNotificationParameter, text } });
}

MVMovieType MVMovie::movieType() const
{
    if (_stream)
        return _stream->isLive() ? MVMovieTypeLiveStream : MVMovieTypeStoredStream;
    // A long file whose rest is still being read loads like a movie that arrives: the timeline shows
    // how far it can play.
    if (_loader || _deferredLoad)
        return MVMovieTypeLoading;
    return MVMovieTypeLocal;
}

std::vector<std::shared_ptr<MVStream>> MVMovie::streamsOfTrack(const MVTrack& track) const
{
    if (!_stream || track.mediaType() != MVFourCC("strm"))
        return {};
    return _streams;
}

std::shared_ptr<const MVStreamingStatistics> MVMovie::streamingStatistics() const
{
    return _stream ? _stream->statistics() : nullptr;
}

std::shared_ptr<MVPlaybackSupply> MVMovie::playbackSupply() const
{
    if (_stream)
        return _stream;
    if (_loader && _loader->hasHeader() && !_loader->isFinished())
        return _loader;
    return firstPartSupply();
}

std::shared_ptr<MVPlaybackFeed> MVMovie::playbackFeed() const
{
    return _stream && !_tracks.empty() ? _stream : nullptr;
}

std::shared_ptr<MVMovie> MVMovie::movieWithDataReference(const MVDataReference& reference, HXError* outError)
{
    switch (reference.kind()) {
    case MVDataReference::Kind::File:
        return movieWithFile(reference.referenceFilePath(), outError);
    case MVDataReference::Kind::URL:
        return movieWithURL(*reference.referenceURL(), outError);
    case MVDataReference::Kind::Memory: {
        // A whole movie file in memory: its header must point at data inside the same block.
        const auto& bytes = *reference.data();
        size_t pos = 0;
        while (bytes.size() - pos >= 8) {
            uint64_t size = (uint64_t(bytes[pos]) << 24) | (uint64_t(bytes[pos + 1]) << 16)
                | (uint64_t(bytes[pos + 2]) << 8) | bytes[pos + 3];
            uint32_t type = (uint32_t(bytes[pos + 4]) << 24) | (uint32_t(bytes[pos + 5]) << 16)
                | (uint32_t(bytes[pos + 6]) << 8) | bytes[pos + 7];
            if (size < 8 || size > bytes.size() - pos)
                break;
            if (type == MVFourCC("moov")) {
                auto d = MVParseMovieAtom({ bytes.data() + pos, size_t(size) }, outError);
                if (!d || !usableDescription(*d, outError))
                    return nullptr;
                MVMovieFileDescription file;
                file.movie = std::move(*d);
                auto m = movie();
                m->loadFromFile(file, {});
                // Self references mean the memory block.
                for (auto& t : m->_tracks) {
                    auto state = t->media()->state();
                    for (auto& r : state.dataReferences)
                        if (r.isNone())
                            r = reference;
                    t->media()->restoreState(state);
                }
                m->_filePath.clear();
                m->_initialDataReference = reference;
                return m;
            }
            pos += size_t(size);
        }
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, -2100, "The data is not a movie.");
        return nullptr;
    }
    default:
        if (outError)
            *outError
                = HXError::withDescription(HXOSStatusErrorDomain, -50, "The data reference names nothing.");
        return nullptr;
    }
}

std::shared_ptr<MVMovie> MVMovie::movieWithData(
    const MVBytes& data, HXError* outError, const std::string& baseFilePath)
{
    auto d = MVParseMovieAtom(data, outError);
    if (!d || !usableDescription(*d, outError))
        return nullptr;
    MVMovieFileDescription file;
    file.movie = std::move(*d);
    auto m = movie();
    m->loadFromFile(file, baseFilePath);
    m->_filePath.clear();
    return m;
}

std::shared_ptr<MVMovie> MVMovie::movieWithAttributes(
    const HXPropertyList::Dictionary& attributes, HXError* outError)
{
    auto get = [&attributes](const char* key) -> const HXPropertyList* {
        auto it = attributes.find(key);
        return it == attributes.end() ? nullptr : &it->second;
    };
    std::shared_ptr<MVMovie> m;
    if (auto v = get(MVMovieFileNameAttribute)) {
        m = movieWithFile(v->stringValue(), outError);
    } else if (auto v = get(MVMovieURLAttribute)) {
        auto url = HXURL::URLWithString(v->stringValue());
        if (!url) {
            if (outError)
                *outError = HXError::withDescription(HXOSStatusErrorDomain, -50, "The URL is not valid.");
            return nullptr;
        }
        m = movieWithURL(*url, outError);
    } else if (auto v = get(MVMovieDataReferenceAttribute)) {
        // A data reference travels in attributes as its type and stored bytes.
        auto type = MVOSTypeForString((*v)["type"].stringValue());
        m = movieWithDataReference(
            MVDataReference::dataReferenceWithReference((*v)["data"].dataValue().bytes, type), outError);
    } else {
        m = movie();
    }
    if (!m)
        return nullptr;
    for (auto& [key, value] : attributes) {
        if (key == MVMovieFileNameAttribute || key == MVMovieURLAttribute
            || key == MVMovieDataReferenceAttribute)
            continue;
        m->setAttributeForKey(value, key);
    }
    return m;
}

bool MVMovie::canInitWithFile(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty())
        ext.erase(0, 1);
    std::transform(
        ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (movieFileExtensions.count(ext) > 0)
        return true;
    // Any other file libavformat recognises by its contents.
    return MVImportCanReadFile(path);
}

namespace {

std::string lowercased(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

bool MVMovie::canInitWithURL(const HXURL& url, std::string* outReason)
{
    if (url.isFileURL()) {
        if (MVStreamSession::isStreamURL(url.absoluteString()) || canInitWithFile(url.path()))
            return true;
        if (outReason)
            *outReason = "The file is not a movie the player can open.";
        return false;
    }
    const std::string scheme = lowercased(url.scheme());
    // Movie files and HLS come over HTTP; streams over RTSP, RTP and UDP.
    if (scheme == "http" || scheme == "https" || scheme == "rtsp" || scheme == "rtp" || scheme == "udp")
        return true;
    if (outReason)
        *outReason = scheme.empty() ? "The location names no protocol."
                                    : "Movies cannot be opened from " + scheme
                + " locations: the player plays http, https, rtsp, rtp and udp locations.";
    return false;
}

bool MVMovie::urlNeedsProbe(const HXURL& url)
{
    const std::string scheme = lowercased(url.scheme());
    if (scheme != "http" && scheme != "https" && scheme != "rtsp")
        return false;
    const std::string extension = lowercased(url.pathExtension());
    return movieFileExtensions.count(extension) == 0 && extension != "m3u";
}

std::optional<HXURL> MVMovie::URL() const
{
    if (!_filePath.empty())
        return HXURL::fileURLWithPath(_filePath);
    return _initialDataReference.referenceURL();
}

std::string MVMovie::displayName() const
{
    if (!_displayName.empty())
        return _displayName;
    if (!_filePath.empty())
        return std::filesystem::path(_filePath).filename().string();
    return {};
}

std::vector<MVDataReference> MVMovie::dataReferences() const
{
    std::vector<MVDataReference> out;
    for (auto& t : _tracks)
        for (auto& r : t->media()->dataReferences())
            if (std::find(out.begin(), out.end(), r) == out.end())
                out.push_back(r);
    return out;
}

std::shared_ptr<MVTrack> MVMovie::trackAtIndex(int index) const
{
    if (index < 1 || size_t(index) > _tracks.size())
        return nullptr;
    return _tracks[size_t(index) - 1];
}

std::shared_ptr<MVTrack> MVMovie::trackByID(uint32_t trackID) const
{
    for (auto& t : _tracks)
        if (t->trackID() == trackID)
            return t;
    return nullptr;
}

std::vector<std::shared_ptr<MVTrack>> MVMovie::tracksOfMediaType(uint32_t mediaType) const
{
    std::vector<std::shared_ptr<MVTrack>> out;
    for (auto& t : _tracks)
        if (t->mediaType() == mediaType)
            out.push_back(t);
    return out;
}

uint32_t MVMovie::nextTrackID() const
{
    uint32_t next = 1;
    for (auto& t : _tracks)
        next = std::max(next, t->trackID() + 1);
    return next;
}

std::shared_ptr<MVTrack> MVMovie::newTrack(
    uint32_t mediaType, int32_t mediaTimeScale, double width, double height)
{
    finishLoading();
    auto t = MVTrack::trackWithMedia(MVMedia::media(mediaType, mediaTimeScale), nextTrackID());
    if (width > 0 || height > 0)
        t->setDimensions(width, height);
    insertTrack(t);
    return t;
}

void MVMovie::insertTrack(const std::shared_ptr<MVTrack>& track, int index)
{
    finishLoading();
    if (!track || std::find(_tracks.begin(), _tracks.end(), track) != _tracks.end())
        return;
    auto owner = track->movie();
    if (owner && owner.get() != this) {
        // A track of another movie comes over as a copy over a copy of its media.
        auto copy = MVTrack::trackWithMedia(track->media()->clone(), nextTrackID());
        copy->setEdits(track->edits());
        copy->setEnabled(track->isEnabled());
        copy->setDimensions(track->width(), track->height());
        copy->setVolume(track->volume());
        copy->userData() = track->userData();
        insertTrack(copy, index);
        return;
    }
    if (trackByID(track->trackID()))
        track->setTrackID(nextTrackID());
    track->setMovie(shared_from_this());
    if (index < 1 || size_t(index) > _tracks.size())
        _tracks.push_back(track);
    else
        _tracks.insert(_tracks.begin() + index - 1, track);
    _changed = true;
}

void MVMovie::removeTrack(const std::shared_ptr<MVTrack>& track)
{
    finishLoading();
    auto it = std::find(_tracks.begin(), _tracks.end(), track);
    if (it == _tracks.end())
        return;
    _tracks.erase(it);
    track->setMovie(nullptr);
    _changed = true;
}

bool MVMovie::hasVideo() const
{
    if (std::any_of(_streams.begin(), _streams.end(), [](auto& s) { return s->isVideo(); }))
        return true;
    return std::any_of(
        _tracks.begin(), _tracks.end(), [](auto& t) { return t->mediaType() == MVFourCC("vide"); });
}

bool MVMovie::hasAudio() const
{
    return std::any_of(_tracks.begin(), _tracks.end(), [](auto& t) { return t->hasAudio(); });
}

int64_t MVMovie::durationValue() const
{
    if (_stream)
        return _stream->durationValue();
    // While the rest of a long file is read, it is as long as the file says.
    int64_t d = statedDurationWhileLoading();
    for (auto& t : _tracks)
        d = std::max(d, t->duration());
    return d;
}

int64_t MVMovie::movieUnits(MVTime time) const
{
    if (!MVTimeIsNumeric(time))
        return 0;
    return MVTimeInScale(time, _timeScale).timeValue;
}

void MVMovie::setTimeScale(int32_t scale)
{
    finishLoading();
    if (scale <= 0 || scale == _timeScale)
        return;
    for (auto& t : _tracks) {
        auto edits = t->edits();
        for (auto& e : edits)
            e.duration = MVTimeInScale(MVMakeTime(e.duration, _timeScale), scale).timeValue;
        t->setEdits(edits);
    }
    _timeScale = scale;
    _changed = true;
}

void MVMovie::setPosterTime(MVTime time)
{
    MVTime old = _posterTime;
    _posterTime = time;
    if (_undoManager && !MVTimeEqual(old, time)) {
        std::weak_ptr<MVMovie> weak = weak_from_this();
        _undoManager->registerUndo(this, [weak, old] {
            if (auto m = weak.lock())
                m->setPosterTime(old);
        });
    }
    _changed = true;
}

namespace {

// The movie's playback, when it has a living one (one left over from an earlier movie at the same
// address is not its).
std::shared_ptr<MVMoviePlayback> livePlayback(const MVMovie* movie)
{
    auto playback = MVMoviePlayback::existingPlaybackForMovie(movie);
    return playback && playback->movie().get() == movie ? playback : nullptr;
}

} // namespace

MVTime MVMovie::currentTime() const
{
    if (_rate != 0)
        if (auto playback = livePlayback(this); playback && playback->isPlaying())
            return playback->currentTime();
    return _currentTime;
}

void MVMovie::setCurrentTime(MVTime time)
{
    _currentTime = time;
    // The playback first: while it plays, the movie's time is the playback's, and observers read it.
    if (auto playback = livePlayback(this))
        playback->followMovieTime();
    postNotification(MVMovieTimeDidChangeNotification);
}

void MVMovie::setSelection(MVTimeRange selection)
{
    _selection = selection;
    postNotification(MVMovieSelectionDidChangeNotification);
}

MVTime MVMovie::maxTimeLoaded() const
{
    if (_loader && _loadState != MVMovieLoadStateError)
        return MVMakeTime(_loader->maxTimeLoaded(), _timeScale);
    if (_deferredLoad)
        return MVMakeTime(firstPartEndWhileLoading(), _timeScale);
    if (_stream || _loadState >= MVMovieLoadStatePlaythroughOK)
        return duration();
    return MVMakeTime(0, _timeScale);
}

int64_t MVMovie::nextInterestingTime(
    int64_t time, uint16_t flags, const std::vector<uint32_t>& mediaTypes, double rate) const
{
    std::optional<int64_t> best;
    for (auto& t : _tracks) {
        if (!t->isEnabled())
            continue;
        if (!mediaTypes.empty()
            && std::find(mediaTypes.begin(), mediaTypes.end(), t->mediaType()) == mediaTypes.end())
            continue;
        auto r = t->nextInterestingTime(time, flags, rate);
        if (r.time < 0)
            continue;
        if (!best || (rate >= 0 ? r.time < *best : r.time > *best))
            best = r.time;
    }
    return best.value_or(-1);
}

void MVMovie::setPreferredRate(float rate)
{
    _preferredRate = rate;
    _changed = true;
}

void MVMovie::setPreferredVolume(float volume)
{
    _preferredVolume = volume;
    _changed = true;
}

void MVMovie::setMatrix(const MVMatrixRecord& matrix)
{
    _matrix = matrix;
    _changed = true;
    postNotification(MVMovieSizeDidChangeNotification);
}

std::pair<double, double> MVMovie::naturalSize() const
{
    // The box every enabled visual track covers, each placed by its matrix. A panorama's node track
    // stands for the window its views are drawn in.
    MVPictureBox box;
    for (auto& t : _tracks)
        if ((t->isVisual() || t->mediaType() == MVNodeMediaType) && t->isEnabled())
            box = MVPictureBoxUnion(
                box, MVPictureBoxForTrack(t->width(), t->height(), MVAffineForMatrixRecord(t->matrix())));
    return { box.width, box.height };
}

void MVMovie::setApertureMode(const std::string& name)
{
    auto before = naturalSize();
    HXPropertyList old = attributeForKey(MVMovieApertureModeAttribute);
    _otherAttributes[MVMovieApertureModeAttribute] = name;
    // Each video track's box takes the mode's size; the pictures are drawn into it by the same mode.
    MVApertureMode mode = MVApertureModeForName(name);
    for (auto& track : _tracks)
        if (track->mediaType() == MVFourCC("vide"))
            track->setApertureDimensions(MVTrackApertureDimensions(*track, mode));
    if (naturalSize() != before)
        postNotification(MVMovieNaturalSizeDidChangeNotification);
    if (!old.isString() || old.stringValue() != name)
        postNotification(MVMovieApertureModeDidChangeNotification);
}

void MVMovie::setEditable(bool editable)
{
    editable = editable && !_stream;
    if (editable == _editable)
        return;
    _editable = editable;
    postNotification(MVMovieEditabilityDidChangeNotification);
}

std::pair<double, double> MVMovie::currentSize() const
{
    auto [width, height] = naturalSize();
    MVPictureBox box = MVPictureBoxForTrack(width, height, MVAffineForMatrixRecord(_matrix));
    return { box.width, box.height };
}

void MVMovie::setRate(float rate)
{
    if (rate == _rate)
        return;
    _rate = rate;
    postNotification(
        MVMovieRateDidChangeNotification, { { MVMovieRateDidChangeNotificationParameter, double(rate) } });
    // After everyone heard of the rate (the player may wait for data at once): the stream's status.
    if (_stream)
        _stream->setPlaying(rate != 0);
}

void MVMovie::setVolume(float volume)
{
    if (volume == _volume)
        return;
    _volume = volume;
    postNotification(MVMovieVolumeDidChangeNotification);
}

void MVMovie::setMuted(bool muted)
{
    if (muted == _muted)
        return;
    _muted = muted;
    postNotification(MVMovieMutedDidChangeNotification);
}

// Sound and picture settings: stored, and announced when they change.
namespace {
template<class T> bool store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void MVMovie::setPreferredMuted(bool muted)
{
    if (store(_preferredMuted, muted))
        _changed = true;
}

void MVMovie::setBalance(float balance)
{
    if (store(_balance, std::clamp(balance, -1.0f, 1.0f))) {
        applyPlaybackSettings();
        postNotification(MVMovieBalanceDidChangeNotification);
    }
}

void MVMovie::setBass(float bass)
{
    if (store(_bass, bass)) {
        applyPlaybackSettings();
        postNotification(MVMovieBassDidChangeNotification);
    }
}

void MVMovie::setTreble(float treble)
{
    if (store(_treble, treble)) {
        applyPlaybackSettings();
        postNotification(MVMovieTrebleDidChangeNotification);
    }
}

void MVMovie::setGain(float gain)
{
    if (store(_gain, std::max(0.0f, gain))) {
        applyPlaybackSettings();
        postNotification(MVMovieGainDidChangeNotification);
    }
}

void MVMovie::setPitch(float pitch)
{
    if (store(_pitch, std::isfinite(pitch) ? std::clamp(pitch, -1200.0f, 1200.0f) : 0.0f))
        applyPlaybackSettings();
}

void MVMovie::setVisualBrightness(float value)
{
    if (store(_visual[0], value)) {
        applyPlaybackSettings();
        postNotification(MVMovieVisualAdjustmentsDidChangeNotification);
    }
}

void MVMovie::setVisualSaturation(float value)
{
    if (store(_visual[1], value)) {
        applyPlaybackSettings();
        postNotification(MVMovieVisualAdjustmentsDidChangeNotification);
    }
}

void MVMovie::setVisualHue(float value)
{
    if (store(_visual[2], value)) {
        applyPlaybackSettings();
        postNotification(MVMovieVisualAdjustmentsDidChangeNotification);
    }
}

void MVMovie::setVisualContrast(float value)
{
    if (store(_visual[3], value)) {
        applyPlaybackSettings();
        postNotification(MVMovieVisualAdjustmentsDidChangeNotification);
    }
}

void MVMovie::setLoopingMode(MVMovieLoopingMode mode)
{
    if (store(_loopingMode, mode)) {
        applyPlaybackSettings();
        postNotification(MVMovieLoopingDidChangeNotification);
    }
}

void MVMovie::setPlaysSelectionOnly(bool flag)
{
    if (store(_playsSelectionOnly, flag)) {
        applyPlaybackSettings();
        postNotification(MVMovieLoopingDidChangeNotification);
    }
}

void MVMovie::setPlaysAllFrames(bool flag)
{
    if (store(_playsAllFrames, flag))
        applyPlaybackSettings();
}

void MVMovie::setLoops(bool flag)
{
    if (flag != loops())
        setLoopingMode(flag ? MVMovieLoopingMode::Loop : MVMovieLoopingMode::None);
}

void MVMovie::setLoopsBackAndForth(bool flag)
{
    if (flag)
        setLoopingMode(MVMovieLoopingMode::BackAndForth);
    else if (loopsBackAndForth())
        setLoopingMode(MVMovieLoopingMode::Loop);
}

void MVMovie::applyPlaybackSettings()
{
    if (auto playback = livePlayback(this))
        playback->applyMovieSettings();
}

// ---- Stepping and jumping

int64_t MVMovie::playRangeStart() const
{
    if (_playsSelectionOnly && _selection.duration.timeValue > 0)
        return std::clamp<int64_t>(movieUnits(_selection.time), 0, durationValue());
    return 0;
}

int64_t MVMovie::playRangeEnd() const
{
    if (_playsSelectionOnly && _selection.duration.timeValue > 0)
        return std::clamp<int64_t>(
            movieUnits(MVTimeAdd(_selection.time, _selection.duration)), 0, durationValue());
    return durationValue();
}

bool MVMovie::isDone() const
{
    if (auto playback = livePlayback(this))
        return playback->isDone();
    int64_t now = movieUnits(_currentTime);
    return _rate < 0 ? now <= 0 : now >= durationValue();
}

bool MVMovie::isDoneConsideringPlaySelectionOnly() const
{
    if (auto playback = livePlayback(this))
        return playback->isDoneConsideringPlaySelectionOnly();
    int64_t now = movieUnits(_currentTime);
    return _rate < 0 ? now <= playRangeStart() : now >= playRangeEnd();
}

void MVMovie::play()
{
    if (auto playback = livePlayback(this)) {
        playback->play();
        return;
    }
    const float rate = _preferredRate != 0 ? _preferredRate : 1.0f;
    if (!isPlaying()) {
        const int64_t now = movieUnits(_currentTime);
        if (rate > 0 && now >= playRangeEnd())
            setCurrentTime(MVMakeTime(playRangeStart(), _timeScale));
        else if (rate < 0 && now <= playRangeStart())
            setCurrentTime(MVMakeTime(playRangeEnd(), _timeScale));
    }
    setRate(rate);
}

void MVMovie::step(int frames)
{
    if (frames == 0)
        return;
    if (auto playback = livePlayback(this)) {
        playback->step(frames);
        return;
    }
    stop();
    // Without a playback the model knows the frames: sample starts of the visual tracks.
    const int64_t fallback = std::max<int64_t>(1, _timeScale / 30);
    const bool hasPictures = !tracksOfMediaType(MVFourCC("vide")).empty();
    int64_t t = movieUnits(_currentTime);
    for (int i = 0; i < std::abs(frames); ++i) {
        int64_t next;
        if (frames > 0) {
            next = hasPictures ? nextInterestingTime(t, MVNextTimeMediaSample, { MVFourCC("vide") }) : -1;
            if (next <= t)
                next = hasPictures ? durationValue() : t + fallback;
        } else {
            // The start of the frame that holds the unit before the frame shown (at the very end the
            // last frame is shown).
            auto frameAt = [&](int64_t time) {
                return nextInterestingTime(
                    time, MVNextTimeMediaSample | MVNextTimeEdgeOK, { MVFourCC("vide") }, -1.0);
            };
            int64_t shown = t >= durationValue() && t > 0 ? frameAt(durationValue() - 1) : t;
            next = hasPictures && shown > 0 ? frameAt(shown - 1) : t - fallback;
            if (next < 0)
                next = 0;
        }
        next = std::clamp<int64_t>(next, 0, durationValue());
        if (next == t)
            break;
        t = next;
    }
    setCurrentTime(MVMakeTime(t, _timeScale));
}

void MVMovie::stepByTime(MVTime delta)
{
    if (!MVTimeIsNumeric(delta))
        return;
    if (auto playback = livePlayback(this)) {
        playback->stepByTime(delta);
        return;
    }
    stop();
    setCurrentTime(MVMakeTime(
        std::clamp<int64_t>(movieUnits(_currentTime) + movieUnits(delta), 0, durationValue()), _timeScale));
}

void MVMovie::gotoBeginning()
{
    if (auto playback = livePlayback(this))
        playback->gotoBeginning();
    else
        setCurrentTime(MVMakeTime(playRangeStart(), _timeScale));
}

void MVMovie::gotoEnd()
{
    if (auto playback = livePlayback(this))
        playback->gotoEnd();
    else
        setCurrentTime(MVMakeTime(playRangeEnd(), _timeScale));
}

bool MVMovie::hasTimeCodeTrack() const
{
    return !tracksOfMediaType(MVFourCC("tmcd")).empty();
}

void MVMovie::setControllerType(uint32_t type)
{
    if (store(_controllerType, type)) {
        _changed = true;
        postNotification(MVMovieControllerDidChangeNotification);
    }
}

void MVMovie::setLoadState(int64_t state)
{
    if (state == _loadState && state != MVMovieLoadStateComplete)
        return;
    _loadState = state;
    if (state == MVMovieLoadStateError)
        offerNetworkDiagnosis();
    postNotification(
        MVMovieLoadStateDidChangeNotification, { { MVMovieLoadStateNotificationParameter, state } });
}

void MVMovie::offerNetworkDiagnosis()
{
    // Before the failure is announced: whoever shows the diagnosis shows it instead of the bare error.
    auto it = _loadError.userInfo().find(MVNetworkUnreachableErrorKey);
    if (it == _loadError.userInfo().end() || !it->second.boolValue())
        return;
    auto url = _initialDataReference.referenceURL();
    if (auto delegate = this->delegate(); delegate && url)
        delegate->moviePostNetworkDiagnosticUI(*this, std::make_shared<MVNetDiagnostic>(*url, _loadError));
}

void MVMovie::postNotification(const char* name, HXPropertyList::Dictionary userInfo)
{
    auto self = weak_from_this().lock();
    if (self)
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(name, self, std::move(userInfo)));
    else
        HXNotificationCenter::defaultCenter().postNotificationName(name, this, std::move(userInfo));
}

void MVMovie::movieChanged()
{
    _changed = true;
    postNotification(MVMovieEditedNotification);
}

void MVMovie::setUndoManager(HXUndoManager* manager)
{
    if (_undoManager && _undoManager != manager)
        _undoManager->removeAllActionsWithTarget(this);
    _undoManager = manager;
}

HXPropertyList::Dictionary MVMovie::movieAttributes() const
{
    HXPropertyList::Dictionary d = _otherAttributes;
    for (const char* key : { MVMovieFileNameAttribute, MVMoviePosterTimeAttribute,
             MVMovieCurrentTimeAttribute, MVMovieDurationAttribute, MVMovieTimeScaleAttribute,
             MVMoviePreferredRateAttribute, MVMoviePreferredVolumeAttribute, MVMovieRateAttribute,
             MVMovieVolumeAttribute, MVMovieMutedAttribute, MVMovieHasVideoAttribute,
             MVMovieHasAudioAttribute, MVMovieHasDurationAttribute, MVMovieDisplayNameAttribute,
             MVMovieEditableAttribute, MVMovieLoadStateAttribute, MVMovieDataSizeAttribute }) {
        auto v = attributeForKey(key);
        if (!v.isNull())
            d[key] = v;
    }
    return d;
}

HXPropertyList MVMovie::attributeForKey(const std::string& key) const
{
    if (key == MVMovieFileNameAttribute)
        return _filePath.empty() ? HXPropertyList() : HXPropertyList(_filePath);
    if (key == MVMovieURLAttribute) {
        auto url = URL();
        return url ? HXPropertyList(url->absoluteString()) : HXPropertyList();
    }
    if (key == MVMoviePosterTimeAttribute)
        return MVStringFromTime(_posterTime);
    if (key == MVMovieCurrentTimeAttribute)
        return MVStringFromTime(_currentTime);
    if (key == MVMovieDurationAttribute)
        return MVStringFromTime(duration());
    if (key == MVMovieTimeScaleAttribute)
        return int64_t(_timeScale);
    if (key == MVMovieSelectionAttribute)
        return HXPropertyList::Dictionary { { "time", MVStringFromTime(_selection.time) },
            { "duration", MVStringFromTime(_selection.duration) } };
    if (key == MVMoviePreferredRateAttribute)
        return double(_preferredRate);
    if (key == MVMoviePreferredVolumeAttribute)
        return double(_preferredVolume);
    if (key == MVMovieRateAttribute)
        return double(_rate);
    if (key == MVMovieVolumeAttribute)
        return double(_volume);
    if (key == MVMovieMutedAttribute)
        return _muted;
    if (key == MVMovieHasVideoAttribute)
        return hasVideo();
    if (key == MVMovieHasAudioAttribute)
        return hasAudio();
    if (key == MVMovieHasDurationAttribute)
        return hasDuration();
    if (key == MVMovieIsInteractiveAttribute)
        return false;
    if (key == MVMovieDisplayNameAttribute)
        return displayName();
    if (key == MVMovieEditableAttribute)
        return _editable;
    if (key == MVMovieLoadStateAttribute)
        return _loadState;
    if (key == MVMovieDataSizeAttribute)
        return dataSize();
    if (key == MVMovieNaturalSizeAttribute) {
        auto [w, h] = naturalSize();
        return HXPropertyList::Dictionary { { "width", w }, { "height", h } };
    }
    auto it = _otherAttributes.find(key);
    return it == _otherAttributes.end() ? HXPropertyList() : it->second;
}

void MVMovie::setAttributeForKey(const HXPropertyList& value, const std::string& key)
{
    auto time = [&value]() { return MVTimeFromString(value.stringValue()); };
    if (key == MVMoviePosterTimeAttribute) {
        if (auto t = time())
            setPosterTime(*t);
    } else if (key == MVMovieCurrentTimeAttribute) {
        if (auto t = time())
            setCurrentTime(*t);
    } else if (key == MVMovieSelectionAttribute) {
        auto t = MVTimeFromString(value["time"].stringValue());
        auto d = MVTimeFromString(value["duration"].stringValue());
        if (t && d)
            setSelection({ *t, *d });
    } else if (key == MVMoviePreferredRateAttribute) {
        setPreferredRate(float(value.realValue()));
    } else if (key == MVMoviePreferredVolumeAttribute) {
        setPreferredVolume(float(value.realValue()));
    } else if (key == MVMovieRateAttribute) {
        setRate(float(value.realValue()));
    } else if (key == MVMovieVolumeAttribute) {
        setVolume(float(value.realValue()));
    } else if (key == MVMovieMutedAttribute) {
        setMuted(value.boolValue());
    } else if (key == MVMovieDisplayNameAttribute) {
        setDisplayName(value.stringValue());
    } else if (key == MVMovieEditableAttribute) {
        setEditable(value.boolValue());
    } else if (key == MVMovieApertureModeAttribute) {
        setApertureMode(value.stringValue());
    } else if (key == MVMovieTimeScaleAttribute) {
        setTimeScale(int32_t(value.integerValue()));
    } else if (key == MVMovieHasVideoAttribute || key == MVMovieHasAudioAttribute
        || key == MVMovieHasDurationAttribute || key == MVMovieDurationAttribute
        || key == MVMovieLoadStateAttribute || key == MVMovieDataSizeAttribute
        || key == MVMovieFileNameAttribute || key == MVMovieURLAttribute) {
        // Derived; not settable.
    } else {
        _otherAttributes[key] = value;
    }
}
