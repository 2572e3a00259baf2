#pragma once
// MVMovie: a movie — its tracks, time scale, header settings, selection, user data and metadata — opened
// from a movie file or made empty, edited with undo, and saved self-contained, as a reference movie or
// by updating its file in place.
//
// Notifications go to HXNotificationCenter::defaultCenter() with the movie as object (notifications.h).
// The playback settings (rate, volume, play modes, sound and picture adjustments) are stored here and
// reach the movie's playback (MVMoviePlayback) at once when it has one; a playback made later starts
// from them. Stepping and jumping go through the playback too, or move the stored time without one.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"
#include "platform/basekit/url.h"
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/time.h"
#include "platform/mvkit/track.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct MVImportedSubtitles;
struct MVImportedChapter;

class HXUndoManager;
class MVHotspot;
class MVMovieDelegate;
class MVImportContinuation;
class MVMovieLoader;
class MVPlaybackFeed;
class MVPlaybackSupply;
class MVStream;
class MVStreamSession;
struct MVStreamingStatistics;
class MVNode;
class MVPanoramaController;

// Movie attribute keys.
inline constexpr const char* MVMovieFileNameAttribute = "MVMovieFileNameAttribute";
inline constexpr const char* MVMovieURLAttribute = "MVMovieURLAttribute";
inline constexpr const char* MVMovieDataReferenceAttribute = "MVMovieDataReferenceAttribute";
inline constexpr const char* MVMovieDelegateAttribute = "MVMovieDelegateAttribute";
inline constexpr const char* MVMovieUsesPreferredLanguageAttribute = "MVMovieUsesPreferredLanguageAttribute";
inline constexpr const char* MVMovieApertureModeAttribute = "MVMovieApertureModeAttribute";
inline constexpr const char* MVMovieApertureModeClean = "clean";
inline constexpr const char* MVMovieApertureModeClassic = "classic";
inline constexpr const char* MVMovieOpenAsyncOKAttribute = "MVMovieOpenAsyncOKAttribute";
inline constexpr const char* MVMoviePosterTimeAttribute = "MVMoviePosterTimeAttribute";
inline constexpr const char* MVMovieCurrentTimeAttribute = "MVMovieCurrentTimeAttribute";
inline constexpr const char* MVMovieDurationAttribute = "MVMovieDurationAttribute";
inline constexpr const char* MVMovieTimeScaleAttribute = "MVMovieTimeScaleAttribute";
inline constexpr const char* MVMovieSelectionAttribute = "MVMovieSelectionAttribute";
inline constexpr const char* MVMoviePreferredRateAttribute = "MVMoviePreferredRateAttribute";
inline constexpr const char* MVMoviePreferredVolumeAttribute = "MVMoviePreferredVolumeAttribute";
inline constexpr const char* MVMovieRateAttribute = "MVMovieRateAttribute";
inline constexpr const char* MVMovieVolumeAttribute = "MVMovieVolumeAttribute";
inline constexpr const char* MVMovieMutedAttribute = "MVMovieMutedAttribute";
inline constexpr const char* MVMovieHasVideoAttribute = "MVMovieHasVideoAttribute";
inline constexpr const char* MVMovieHasAudioAttribute = "MVMovieHasAudioAttribute";
inline constexpr const char* MVMovieHasDurationAttribute = "MVMovieHasDurationAttribute";
inline constexpr const char* MVMovieIsInteractiveAttribute = "MVMovieIsInteractiveAttribute";
inline constexpr const char* MVMovieNaturalSizeAttribute = "MVMovieNaturalSizeAttribute";
inline constexpr const char* MVMovieDisplayNameAttribute = "MVMovieDisplayNameAttribute";
inline constexpr const char* MVMovieEditableAttribute = "MVMovieEditableAttribute";
inline constexpr const char* MVMovieLoadStateAttribute = "MVMovieLoadStateAttribute";
inline constexpr const char* MVMovieDataSizeAttribute = "MVMovieDataSizeAttribute";

// Writing attributes.
inline constexpr const char* MVMovieFlatten = "MVMovieFlatten";
inline constexpr const char* MVMovieExport = "MVMovieExport";
// YES: tracks of codecs no movie-file description names (imported WavPack, RealVideo, ...) are written
// with the program's own description, which only this program reads. For files no other program reads
// (the movie an export re-encodes); without it such a save fails and names the track.
inline constexpr const char* MVMovieKeepsOwnDescriptions = "MVMovieKeepsOwnDescriptions";

enum class MVMovieLoopingMode { None, Loop, BackAndForth };

// What kind of movie it is, as the controls tell them apart.
enum MVMovieType : unsigned {
    MVMovieTypeLocal = 1, // its data is all here
    MVMovieTypeLoading = 2, // a movie file still arriving over the network (played as it arrives), or
                            // a long local file whose frames past its first part are still being read
    MVMovieTypeLiveStream = 3, // a stream without end
    MVMovieTypeStoredStream = 4, // a stream of a stored movie: it has a duration
};

inline constexpr uint32_t MVMovieControllerTypeNone = 0x6E6F6E65; // 'none'
inline constexpr uint32_t MVMovieControllerTypeStandard = 0x00737464; // "\0std"

// Load states.
enum MVMovieLoadState : int64_t {
    MVMovieLoadStateError = -1,
    MVMovieLoadStateLoading = 1000,
    MVMovieLoadStateLoaded = 2000,
    MVMovieLoadStatePlayable = 10000,
    MVMovieLoadStatePlaythroughOK = 20000,
    MVMovieLoadStateComplete = 100000,
};

// Progress of a long operation (a save, the rest of a long file read in): open, then percent (0..1)
// messages, then close. A nonzero answer cancels.
enum class MVMovieProgressMessage { Open, Percent, Close };
// What is being done, by the numbers the progress sheet knows.
enum class MVMovieProgressOperation { Flatten = 1, Import = 11, Export = 12 };
using MVMovieProgressProc
    = std::function<int(MVMovieProgressMessage message, MVMovieProgressOperation operation, double fraction)>;

// A snapshot of the edits of all tracks (and which tracks the movie has) to return to later.
struct MVMovieEditState {
    struct TrackState {
        std::shared_ptr<MVTrack> track;
        std::vector<MVTrackEdit> edits;
        MVMedia::State media;
    };
    std::vector<TrackState> tracks;
    MVTimeRange selection;
    int32_t timeScale = 600;
};

class MVMovie : public std::enable_shared_from_this<MVMovie> {
public:
    // Opening.
    static std::shared_ptr<MVMovie> movie(); // empty, time scale 600
    static std::shared_ptr<MVMovie> movieWithAttributes(
        const HXPropertyList::Dictionary& attributes, HXError* outError);
    static std::shared_ptr<MVMovie> movieWithFile(const std::string& path, HXError* outError);
    static std::shared_ptr<MVMovie> movieWithURL(const HXURL& url, HXError* outError);
    static std::shared_ptr<MVMovie> movieWithDataReference(
        const MVDataReference& reference, HXError* outError);
    // A movie from its format representation (a serialised header); relative references resolve
    // against `baseFilePath`.
    static std::shared_ptr<MVMovie> movieWithData(
        const MVBytes& data, HXError* outError, const std::string& baseFilePath = {});
    // Whether a movie can be made from `url` (a file the media layer reads, or a network location of
    // a protocol it plays); `outReason` says why not.
    static bool canInitWithURL(const HXURL& url, std::string* outReason = nullptr);
    // Whether `url` is a network location whose name tells nothing of what it sends (no movie file
    // extension: "http://host/live", "rtsp://host/camera"): its server is asked first (MVURLProbe)
    // before a movie is made of it. Files, known extensions and pushed streams (rtp, udp) are not asked.
    static bool urlNeedsProbe(const HXURL& url);
    static bool canInitWithFile(const std::string& path);
    // The movie of a stored description (the model's builder; `filePath` is the file holding it); null
    // when a track has more samples than a media may hold.
    static std::shared_ptr<MVMovie> movieWithDescription(
        const MVMovieFileDescription& file, const std::string& filePath);

    ~MVMovie();

    // Where the movie came from.
    const std::string& fileName() const { return _filePath; }
    std::optional<HXURL> URL() const;
    const MVDataReference& initialDataReference() const { return _initialDataReference; }
    void setDefaultDataReference(const MVDataReference& reference) { _defaultDataReference = reference; }
    // Makes the movie the movie of that file (after it was written elsewhere, by another process): its
    // file name, and the file an in-place update writes to. A reference that is no movie file leaves the
    // movie without a file to update.
    void setDataReference(const MVDataReference& reference);
    const MVDataReference& defaultDataReference() const { return _defaultDataReference; }
    std::string displayName() const;
    void setDisplayName(const std::string& name) { _displayName = name; }
    // The object that follows the movie's links and shows its network diagnoses (movie_delegate.h); the
    // movie does not keep it alive.
    std::shared_ptr<MVMovieDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<MVMovieDelegate>& delegate) { _delegate = delegate; }
    // Requests of the movie's own content to whoever shows it (its links "#close", "#fullscreen" and
    // "#exitfullscreen", movie_links.h): MVMovieCloseWindowRequestNotification,
    // MVMovieEnterFullScreenRequestNotification and MVMovieExitFullScreenRequestNotification.
    void requestCloseWindow() { postNotification(MVMovieCloseWindowRequestNotification); }
    void requestEnterFullScreen() { postNotification(MVMovieEnterFullScreenRequestNotification); }
    void requestExitFullScreen() { postNotification(MVMovieExitFullScreenRequestNotification); }
    // A track turned, resized, moved, switched on or off: when the movie's box is no longer `before`,
    // MVMovieNaturalSizeDidChangeNotification tells whoever shows the movie.
    void noteNaturalSizeMayHaveChanged(std::pair<double, double> before)
    {
        if (naturalSize() != before)
            postNotification(MVMovieNaturalSizeDidChangeNotification);
    }
    // Every distinct data reference of the movie's media, in track order.
    std::vector<MVDataReference> dataReferences() const;

    // Tracks.
    const std::vector<std::shared_ptr<MVTrack>>& tracks() const { return _tracks; }
    int trackCount() const { return int(_tracks.size()); }
    std::shared_ptr<MVTrack> trackAtIndex(int index) const; // 1-based
    std::shared_ptr<MVTrack> trackByID(uint32_t trackID) const;
    std::vector<std::shared_ptr<MVTrack>> tracksOfMediaType(uint32_t mediaType) const;
    // A new track with an empty media of `mediaType` at `mediaTimeScale`.
    std::shared_ptr<MVTrack> newTrack(
        uint32_t mediaType, int32_t mediaTimeScale, double width = 0, double height = 0);
    // Adds an existing track (a removed one, or one of another movie: then its media is cloned).
    void insertTrack(const std::shared_ptr<MVTrack>& track, int index = 0); // 0: at the end
    void removeTrack(const std::shared_ptr<MVTrack>& track);
    bool hasVideo() const;
    bool hasAudio() const;
    bool hasDuration() const { return durationValue() > 0; }

    // Times.
    int32_t timeScale() const { return _timeScale; }
    void setTimeScale(int32_t scale);
    MVTime duration() const { return MVMakeTime(durationValue(), _timeScale); }
    int64_t durationValue() const;
    MVTime posterTime() const { return _posterTime; }
    void setPosterTime(MVTime time);
    // The current time: while the movie's playback plays, the time it has reached; else the time the movie
    // was last set to (or stopped at).
    MVTime currentTime() const;
    // The time the movie was last set to, whatever its playback is doing.
    MVTime storedCurrentTime() const { return _currentTime; }
    void setCurrentTime(MVTime time);
    MVTimeRange selection() const { return _selection; }
    void setSelection(MVTimeRange selection);
    MVTimeRange previewRange() const { return _preview; }
    void setPreviewRange(MVTimeRange range) { _preview = range; }
    MVTime maxTimeLoaded() const;
    // The next interesting time over all enabled tracks (or only those of `mediaTypes` when given), in
    // movie units; −1 for none.
    int64_t nextInterestingTime(
        int64_t time, uint16_t flags, const std::vector<uint32_t>& mediaTypes = {}, double rate = 1.0) const;

    // Languages and subtitles. Sound tracks offered by language (none unless there are two or more);
    // the tracks of alternate groups; subtitle tracks (subtitle and text media, chapter tracks excepted).
    std::vector<std::shared_ptr<MVTrack>> audioLanguageTracks() const;
    std::vector<std::shared_ptr<MVTrack>> alternateTracks() const;
    std::vector<std::shared_ptr<MVTrack>> subtitleTracks() const;
    bool hasSubtitles() const { return !subtitleTracks().empty(); }
    // Some subtitle track is enabled.
    bool subtitlesVisible() const;
    // NO disables every subtitle track; YES enables the first one when none is.
    void setSubtitlesVisible(bool visible);
    // Closed captions: those of the first enabled closed-caption track ('clcp'), else those the first
    // enabled video track carries in its pictures (H.264, HEVC and MPEG-2 A/53 caption data, looked for in
    // its first pictures once). Nothing when the movie has none.
    std::shared_ptr<MVTrack> closedCaptionTrack() const;
    bool hasClosedCaptions() const { return closedCaptionTrack() != nullptr; }
    // The carrier's MVTrackClosedCaptionDisplayAttribute.
    bool closedCaptionsVisible() const;
    // Shows or hides them (nothing without captions); posts MVMovieClosedCaptionsDidChangeNotification
    // when that changes. Not an edit of the movie.
    void setClosedCaptionsVisible(bool visible);
    // Plays `track` among its alternates: it is enabled, the other tracks of its alternate group (of
    // the sound tracks, when it has no group) are disabled.
    void setMovieLanguage(const std::shared_ptr<MVTrack>& track);
    // The same for the first track of each alternate group in `language` (a classic number or packed code).
    void setLanguage(int64_t language);
    // Shows `track` as the subtitles, hiding the other subtitle tracks; null hides them all.
    void setSubtitles(const std::shared_ptr<MVTrack>& track);
    void setSubtitlesLanguage(int64_t language);

    // Text search over the movie's text tracks. `trackIndex` (1-based, among all tracks) and `startTime`
    // say where to start, `offset` the character (byte) offset in the text shown there. Flags: 2 the case
    // must match, 4 search backward, 8 wrap around past the end (or the start). Without a hit the time
    // is indefinite, the track index 0 and the offset −1.
    struct TextHit {
        MVTime time = MVIndefiniteTime;
        int trackIndex = 0;
        int32_t offset = -1;
    };
    TextHit findText(
        const std::string& text, int trackIndex, MVTime startTime, int32_t offset, int flags) const;
    MVTime timeForText(
        const std::string& text, int trackIndex, MVTime startTime, int32_t offset, int flags) const
    {
        return findText(text, trackIndex, startTime, offset, flags).time;
    }
    int trackIndexForText(
        const std::string& text, int trackIndex, MVTime startTime, int32_t offset, int flags) const
    {
        return findText(text, trackIndex, startTime, offset, flags).trackIndex;
    }
    int32_t offsetForText(
        const std::string& text, int trackIndex, MVTime startTime, int32_t offset, int flags) const
    {
        return findText(text, trackIndex, startTime, offset, flags).offset;
    }
    // The start of the frame shown at `time`: the latest sample start at or before it over the enabled
    // tracks (the time itself when none starts before it).
    MVTime frameStartTime(MVTime time) const;

    // Header settings.
    float preferredRate() const { return _preferredRate; }
    void setPreferredRate(float rate);
    float preferredVolume() const { return _preferredVolume; }
    void setPreferredVolume(float volume);
    const MVMatrixRecord& matrix() const { return _matrix; }
    void setMatrix(const MVMatrixRecord& matrix);
    // The size of the box the enabled visual tracks cover, each placed by its matrix (width, height).
    std::pair<double, double> naturalSize() const;
    // The size the movie is shown at: that box placed by the movie's own matrix as well.
    std::pair<double, double> currentSize() const;

    // Playback settings: stored, notified, and applied to the movie's playback when it has one.
    float rate() const { return _rate; }
    void setRate(float rate);
    // Plays at the preferred rate; a movie stopped at the end it plays towards starts again from its other
    // end.
    void play();
    void stop() { setRate(0); }
    bool isPlaying() const { return _rate != 0; }
    float volume() const { return _volume; }
    void setVolume(float volume);
    bool isMuted() const { return _muted; }
    void setMuted(bool muted);
    bool preferredMuted() const { return _preferredMuted; }
    void setPreferredMuted(bool muted);
    // Sound adjustments: balance −1 (left) … 1 (right); bass and treble in decibels; gain linear; pitch
    // in cents (−1200 … 1200, the speed unchanged).
    float balance() const { return _balance; }
    void setBalance(float balance);
    float bass() const { return _bass; }
    void setBass(float bass);
    float treble() const { return _treble; }
    void setTreble(float treble);
    float gain() const { return _gain; }
    void setGain(float gain);
    float pitch() const { return _pitch; }
    void setPitch(float pitch);
    // Picture adjustments: brightness −1 … 1 (0 neutral), saturation and contrast ≥ 0 (1 neutral), hue in
    // degrees (0 neutral).
    float visualBrightness() const { return _visual[0]; }
    void setVisualBrightness(float value);
    float visualSaturation() const { return _visual[1]; }
    void setVisualSaturation(float value);
    float visualHue() const { return _visual[2]; }
    void setVisualHue(float value);
    float visualContrast() const { return _visual[3]; }
    void setVisualContrast(float value);
    MVMovieLoopingMode loopingMode() const { return _loopingMode; }
    void setLoopingMode(MVMovieLoopingMode mode);
    bool playsSelectionOnly() const { return _playsSelectionOnly; }
    void setPlaysSelectionOnly(bool flag);
    bool playsAllFrames() const { return _playsAllFrames; }
    void setPlaysAllFrames(bool flag);
    // The looping mode as the two switches of the controls: looping, and looping back and forth
    // (which is a kind of looping; switching it off leaves plain looping on).
    bool loops() const { return _loopingMode != MVMovieLoopingMode::None; }
    void setLoops(bool flag);
    bool loopsBackAndForth() const { return _loopingMode == MVMovieLoopingMode::BackAndForth; }
    void setLoopsBackAndForth(bool flag);
    // At the end of the movie in the direction of play (at its start when playing backward); the second
    // asks about the range that plays (the selection when only the selection plays).
    bool isDone() const;
    bool isDoneConsideringPlaySelectionOnly() const;

    // Stepping and jumping. Each stops the movie. A step goes to the next (previous) frame of the
    // visual tracks, or by a thirtieth of a second in a movie without pictures; the ends are those of
    // the range that plays.
    void step(int frames);
    void stepForward() { step(1); }
    void stepBackward() { step(-1); }
    void stepFrameForward() { step(1); }
    void stepFrameBackward() { step(-1); }
    void stepByTime(MVTime delta);
    void gotoBeginning();
    void gotoEnd();
    void gotoPosterTime() { setCurrentTime(_posterTime); }
    bool hasTimeCodeTrack() const;
    // The controller type as a four-char code ('none' 0x6E6F6E65, standard 0x00737464).
    uint32_t controllerType() const { return _controllerType; }
    void setControllerType(uint32_t type);

    // Load state and status.
    int64_t loadState() const { return _loadState; }
    // A long file opened from its first part (its tracks end early; the rest is read on a thread of
    // its own): waits for the rest and gives the tracks all their samples now. Everything that edits,
    // copies or writes the movie calls this first; nothing happens when the movie is complete. While
    // it waits, the progress procedure hears of it as an import; false when its answer cancelled the
    // wait (the movie then keeps its first part, with a load error).
    bool finishLoading() const;
    // Whether the rest of such a file is still to come.
    bool isCompletingIndex() const { return _deferredLoad != nullptr; }
    MVMovieType movieType() const;
    // A stream that plays as it arrives (it has a streaming track).
    bool isStreaming() const { return _stream != nullptr; }
    // The streams of a streaming track of this movie (none for other tracks).
    std::vector<std::shared_ptr<MVStream>> streamsOfTrack(const MVTrack& track) const;
    // What the network session of a streaming movie measured last (null for other movies).
    std::shared_ptr<const MVStreamingStatistics> streamingStatistics() const;
    // What the player needs of a movie still arriving (null when all of it is here), and the feed of
    // a stream's pictures and sound (null for other movies).
    std::shared_ptr<MVPlaybackSupply> playbackSupply() const;
    std::shared_ptr<MVPlaybackFeed> playbackFeed() const;
    const HXError& loadError() const { return _loadError; }
    // What opening the file skipped or could not use (streams an import left out, damaged parts); the
    // movie plays without them.
    const std::vector<std::string>& openWarnings() const { return _openedFile.warnings; }
    // The movie's status: what keeps it from playing as it should — the load error, else what its
    // playback found (a track whose samples no decoder here can read); no error when it plays well.
    HXError status() const { return _loadError.code() != 0 ? _loadError : _playbackStatus; }
    // Set by the playback whenever it takes the movie's tracks over (no error when every track plays).
    void setPlaybackStatus(const HXError& status) { _playbackStatus = status; }

    // The aperture mode by its name ("classic", "clean", "production", "encodedPixels"; aperture.h), as
    // MVMovieApertureModeAttribute also sets it: every video track's box takes that mode's size, and
    // MVMovieApertureModeDidChangeNotification (and MVMovieNaturalSizeDidChangeNotification when the
    // movie's size changes with it) is posted.
    void setApertureMode(const std::string& name);

    // Attributes by name.
    HXPropertyList::Dictionary movieAttributes() const;
    HXPropertyList attributeForKey(const std::string& key) const;
    void setAttributeForKey(const HXPropertyList& value, const std::string& key);

    // User data and metadata of the movie (see user_data.h, metadata.h for the item operations).
    MVUserData& userData() { return _userData; }
    const MVUserData& userData() const { return _userData; }
    MVMetadata& metadata() { return _metadata; }
    const MVMetadata& metadata() const { return _metadata; }

    // Editing. The selection-based operations act on selection(); each registers its undo with the
    // undo manager (when there is one and the movie is editable) and posts MVMovieEditedNotification.
    bool isEditable() const { return _editable; }
    // Posts MVMovieEditabilityDidChangeNotification when the value changes. A stream is never editable:
    // it has no samples of its own.
    void setEditable(bool editable);
    HXUndoManager* undoManager() const { return _undoManager; }
    void setUndoManager(HXUndoManager* manager);
    // A new movie holding the selected segment.
    std::shared_ptr<MVMovie> copySelection() const;
    std::shared_ptr<MVMovie> cut();
    std::shared_ptr<MVMovie> copy() const;
    void clear();
    // Keeps only the selection.
    void trim();
    // Inserts `source` (all of it) at the start of the selection, replacing the selection when it is
    // not empty. The media of another movie is referenced where it is, or added to a matching track.
    bool paste(const std::shared_ptr<MVMovie>& source);
    // Adds `source` in parallel at the selection start (new tracks or matching tracks' empty places).
    bool add(const std::shared_ptr<MVMovie>& source);
    // Adds `source` in parallel, scaled to the selection's duration.
    bool addScaled(const std::shared_ptr<MVMovie>& source);
    // The segment operations at movie level, all tracks at once.
    bool insertSegment(const std::shared_ptr<MVMovie>& source, MVTimeRange sourceRange, MVTime at);
    bool insertEmptySegment(MVTimeRange range);
    bool deleteSegment(MVTimeRange range);
    bool scaleSegment(MVTimeRange range, MVTime newDuration);

    MVMovieEditState newEditState() const;
    void useEditState(const MVMovieEditState& state);

    // Registers the undo of an edit made from outside the movie's own calls (chapters, text import)
    // back to `before`, and posts MVMovieEditedNotification.
    void registerEdit(MVMovieEditState before, const std::string& actionName)
    {
        edited(std::move(before), actionName);
    }

    bool hasChanged() const { return _changed; }
    void setChanged(bool changed) { _changed = changed; }
    // Marks the movie changed and posts MVMovieEditedNotification.
    void movieChanged();

    // Saving.
    void setProgressProc(MVMovieProgressProc proc) { _progressProc = std::move(proc); }
    const MVMovieProgressProc& progressProc() const { return _progressProc; }
    // `MVMovieFlatten` YES (the default): self-contained; NO: a reference movie. Fails for a movie with a
    // track of a codec no movie file can describe (see MVMovieKeepsOwnDescriptions): such a movie is
    // exported instead.
    bool writeToFile(
        const std::string& path, const HXPropertyList::Dictionary& attributes, HXError* outError);
    bool writeToDataReference(
        const MVDataReference& reference, const HXPropertyList::Dictionary& attributes, HXError* outError);
    bool canUpdateMovieFile() const;
    bool updateMovieFile(HXError* outError);
    // The serialised header as a reference movie to the movie's data.
    MVBytes movieFormatRepresentation() const;
    // The bytes of all samples the movie's edits show (what a self-contained save copies).
    int64_t dataSize() const;
    // Whether the header alone (the format representation) carries the whole movie: not when some
    // samples live only in memory.
    bool canSerialize() const;

    // The movie as stored: what the writers build from.
    MVMovieHeader headerForWriting() const;
    // Used after saving a file the movie reads its data from, and after an in-place update. The undo
    // actions stay only when `keepUndo` (an in-place update leaves every old sample where it was).
    void adoptFile(const std::string& path, const MVMovieFileDescription& file, bool keepUndo = false);

    // The next free track ID.
    uint32_t nextTrackID() const;

    // Panoramas (panorama/panorama_controller.h). A VR movie is one whose node and panorama tracks make
    // at least one node; it has a VR controller unless its controller type is 'none'. The view starts at
    // the default node. For any other movie the questions answer nothing (0, empty, null) and the
    // requests do nothing.
    bool isVRMovie() const { return panoramaController() != nullptr; }
    bool hasVRController() const;
    // The movie's panorama controller, made from its tracks on first use and again after they change.
    std::shared_ptr<MVPanoramaController> panoramaController() const;
    std::vector<std::shared_ptr<MVNode>> nodes() const;
    std::shared_ptr<MVNode> currentNode() const;
    // Goes to the node with `nodeID` at its default view; false when there is none.
    bool goToNode(uint32_t nodeID);
    void gotoPreviousNode();
    float panAngle() const;
    void setPanAngle(float degrees);
    float tiltAngle() const;
    void setTiltAngle(float degrees);
    float fieldOfView() const;
    void setFieldOfView(float degrees);
    float zoomRate() const;
    void setZoomRate(float rate);
    float panTiltSpeed() const;
    void setPanTiltSpeed(float speed);
    // Zooms out (positive), in (negative) or stops (0); see MVPanoramaController::zoom.
    void zoom(float direction);
    // Moves the view one step towards `angle` degrees (0 right, 90 up, 180 left, 270 down).
    void nudge(float angle);
    bool hotspotsVisible() const;
    void setHotspotsVisible(bool visible);
    int hotspotCount() const;
    // The current node's extent of kind 0 pan, 1 tilt, 2 field of view: {minimum, maximum}.
    std::pair<float, float> constraints(int kind) const;

private:
    friend class MVMovieLoader;
    MVMovie() = default;
    void networkHeaderArrived(const MVMovieFileDescription& file, const std::string& cachePath,
        const std::vector<MVImportedSubtitles>& subtitles, std::vector<std::shared_ptr<void>> cacheLeases,
        const std::vector<MVImportedChapter>& chapters);
    void networkTransferFailed(const HXError& error);
    void networkNotAMovieFile();
    // A stream session for `url`: the movie gets its streaming track once the streams are known.
    void startStream(const std::string& url);
    void streamFailed(const HXError& error);
    // Posts MVMovieStatusStringPostedNotification (a repeat of the last one is not posted again).
    void postStatus(int64_t flags, int64_t code, const std::string& text);
    void postNotification(const char* name, HXPropertyList::Dictionary userInfo = {});
    void setLoadState(int64_t state);
    // A load that failed because the server could not be reached: the delegate may show a diagnosis.
    void offerNetworkDiagnosis();
    // The settings reach the playback, when the movie has one.
    void applyPlaybackSettings();
    int64_t playRangeStart() const;
    int64_t playRangeEnd() const;
    void registerUndoForEditState(MVMovieEditState before, const std::string& actionName);
    void edited(MVMovieEditState before, const std::string& actionName);
    int64_t movieUnits(MVTime time) const;
    std::shared_ptr<MVTrack> trackForPaste(const std::shared_ptr<MVTrack>& sourceTrack, size_t ordinal);
    void resolveReferences();
    void deleteSegmentQuietly(MVTimeRange range);
    int64_t insertSegmentQuietly(
        const std::shared_ptr<MVMovie>& source, int64_t srcStart, int64_t srcLength, int64_t where);
    bool addTracksQuietly(const std::shared_ptr<MVMovie>& source, int64_t where, int64_t scaledLength);
    void loadFromFile(const MVMovieFileDescription& file, const std::string& path);

    std::vector<std::shared_ptr<MVTrack>> _tracks;
    int32_t _timeScale = 600;
    MVMovieHeader _header;
    float _preferredRate = 1.0f;
    float _preferredVolume = 1.0f;
    MVMatrixRecord _matrix;
    MVTime _posterTime = MVMakeTime(0, 600);
    MVTime _currentTime = MVMakeTime(0, 600);
    MVTimeRange _selection = { MVMakeTime(0, 600), MVMakeTime(0, 600) };
    MVTimeRange _preview = { MVMakeTime(0, 600), MVMakeTime(0, 600) };
    float _rate = 0;
    float _volume = 1.0f;
    bool _muted = false;
    bool _preferredMuted = false;
    float _balance = 0, _bass = 0, _treble = 0, _gain = 1.0f, _pitch = 0;
    float _visual[4] = { 0, 1, 0, 1 }; // brightness, saturation, hue, contrast
    MVMovieLoopingMode _loopingMode = MVMovieLoopingMode::None;
    bool _playsSelectionOnly = false;
    bool _playsAllFrames = false;
    uint32_t _controllerType = MVMovieControllerTypeStandard;
    int64_t _loadState = MVMovieLoadStateComplete;
    HXError _loadError;
    HXError _playbackStatus;
    // Video tracks looked at for captions in their pictures, and what was found.
    mutable std::vector<std::pair<std::weak_ptr<MVTrack>, bool>> _captionCarriers;
    MVUserData _userData;
    MVMetadata _metadata;
    std::optional<MVFileTypeHeader> _fileType;
    std::vector<MVRawAtom> _unknownMovieAtoms;
    std::string _filePath; // the movie file it was opened from (empty: none)
    MVMovieFileDescription _openedFile; // its layout, for updating in place
    MVDataReference _initialDataReference;
    MVDataReference _defaultDataReference;
    std::string _displayName;
    HXUndoManager* _undoManager = nullptr;
    bool _editable = true;
    bool _changed = false;
    MVMovieProgressProc _progressProc;
    HXPropertyList::Dictionary _otherAttributes;
    std::shared_ptr<MVMovieLoader> _loader; // a network movie being fetched
    std::shared_ptr<MVStreamSession> _stream; // a stream played as it arrives
    std::vector<std::shared_ptr<MVStream>> _streams; // the streams of its streaming track
    std::string _lastStatus; // the last status posted, to post each once
    std::vector<std::shared_ptr<void>> _importCacheLeases; // rewritten samples of an import, kept while open
    // The rest of a long file, read on a thread of its own (movie_deferred_load.cpp).
    struct DeferredLoad;
    mutable std::shared_ptr<DeferredLoad> _deferredLoad;
    void startDeferredLoad(
        std::shared_ptr<MVImportContinuation> continuation, double statedSeconds, const std::string& path);
    void applyDeferredLoad(DeferredLoad& load);
    std::shared_ptr<MVPlaybackSupply> firstPartSupply() const;
    int64_t statedDurationWhileLoading() const; // movie units; 0 when complete
    int64_t firstPartEndWhileLoading() const; // movie units: where the tracks end until then
    // The panorama, and what its tracks were when it was made (it is made again when they change).
    mutable std::shared_ptr<MVPanoramaController> _panorama;
    mutable std::vector<uintptr_t> _panoramaKey;
    std::weak_ptr<MVMovieDelegate> _delegate;
};
