#pragma once
// MVTrack: one track of a movie — its header settings, its edit list mapping movie time to media time,
// its references to other tracks, its user data and metadata, and its media.
//
// Track times are in the movie's time scale, media times in the media's. A track keeps its identity for
// its whole life: removing it from its movie leaves the object valid (undo puts it back).
#include "platform/basekit/property_list.h"
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/time.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class MVMovie;

// One segment of the edit list: `duration` in movie units, `mediaTime` in media units (−1: an empty
// segment), `mediaRate` 16.16.
struct MVTrackEdit {
    int64_t duration = 0;
    int64_t mediaTime = 0;
    int32_t mediaRate = 0x10000;
    bool operator==(const MVTrackEdit&) const = default;
};

// nextInterestingTime flags.
inline constexpr uint16_t MVNextTimeMediaSample = 0x1;
inline constexpr uint16_t MVNextTimeMediaEdit = 0x2;
inline constexpr uint16_t MVNextTimeSyncSample = 0x8;
inline constexpr uint16_t MVNextTimeStep = 0x10;
inline constexpr uint16_t MVNextTimeEdgeOK = 0x4000;
inline constexpr uint16_t MVNextTimeIgnoreActiveSegment = 0x8000;

// The track's load settings, kept in its 'load' atom: the range to preload (movie time; a start of −1
// preloads the whole track), when to preload, and the media's default hints.
inline constexpr uint32_t MVTrackPreloadAlways = 1;
inline constexpr uint32_t MVTrackPreloadOnlyIfEnabled = 2;
inline constexpr uint32_t MVMediaHintDontPurge = 1 << 2;
struct MVTrackLoadSettings {
    int32_t preloadTime = 0;
    int32_t preloadDuration = 0;
    uint32_t preloadFlags = 0;
    uint32_t defaultHints = 0;
    bool operator==(const MVTrackLoadSettings&) const = default;
};

struct MVInterestingTime {
    int64_t time = -1; // −1: none
    int64_t duration = 0;
};

// Track attribute keys (attributeForKey / setAttributeForKey).
inline constexpr const char* MVTrackEnabledAttribute = "MVTrackEnabledAttribute";
// Whether the closed captions the track carries are shown (a boolean; see MVMovie::closedCaptionTrack).
inline constexpr const char* MVTrackClosedCaptionDisplayAttribute = "MVTrackClosedCaptionDisplayAttribute";
inline constexpr const char* MVTrackIDAttribute = "MVTrackIDAttribute";
inline constexpr const char* MVTrackLayerAttribute = "MVTrackLayerAttribute";
inline constexpr const char* MVTrackVolumeAttribute = "MVTrackVolumeAttribute";
inline constexpr const char* MVTrackBalanceAttribute = "MVTrackBalanceAttribute";
inline constexpr const char* MVTrackLanguageAttribute = "MVTrackLanguageAttribute";
inline constexpr const char* MVTrackDisplayNameAttribute = "MVTrackDisplayNameAttribute";
inline constexpr const char* MVTrackRangeAttribute = "MVTrackRangeAttribute";
inline constexpr const char* MVTrackMatrixAttribute = "MVTrackMatrixAttribute";
inline constexpr const char* MVTrackDimensionsAttribute = "MVTrackDimensionsAttribute";
inline constexpr const char* MVTrackMediaTypeAttribute = "MVTrackMediaTypeAttribute";
inline constexpr const char* MVTrackChapterlistAttribute = "MVTrackChapterlistAttribute";
inline constexpr const char* MVMediaTypeAttribute = "MVMediaTypeAttribute";
inline constexpr const char* MVTrackSourceDimensionsAttribute = "MVTrackSourceDimensionsAttribute";
inline constexpr const char* MVTrackSourcePositionAttribute = "MVTrackSourcePositionAttribute";
inline constexpr const char* MVTrackHrefAttribute = "MVTrackHrefAttribute";
inline constexpr const char* MVTrackMaskAttribute = "MVTrackMaskAttribute";
inline constexpr const char* MVTrackOperationColorAttribute = "MVTrackOperationColorAttribute";
inline constexpr const char* MVTrackTransferModeAttribute = "MVTrackTransferModeAttribute";
inline constexpr const char* MVTrackNeverPurgeTrackAttribute = "MVTrackNeverPurgeTrackAttribute";
inline constexpr const char* MVTrackPreloadTrackAttribute = "MVTrackPreloadTrackAttribute";
inline constexpr const char* MVTrackSingleFieldVideoAttribute = "MVTrackSingleFieldVideoAttribute";
inline constexpr const char* MVTrackHighQualityVideoAttribute = "MVTrackHighQualityVideoAttribute";
inline constexpr const char* MVTrackDeinterlaceVideoAttribute = "MVTrackDeinterlaceVideoAttribute";
inline constexpr const char* MVTrackContentsAttribute = "MVTrackContentsAttribute";
// A streaming track's figures, measured once a second (numbers; 0 for other tracks): the data rate in
// bits per second, the packets lost in percent, the seconds of media held ahead of the playhead.
inline constexpr const char* MVTrackStreamingBitsPerSecondAttribute = "MVTrackStreamingBitsPerSecondAttribute";
inline constexpr const char* MVTrackStreamingPercentLostAttribute = "MVTrackStreamingPercentLostAttribute";
inline constexpr const char* MVTrackStreamingBufferDurationAttribute = "MVTrackStreamingBufferDurationAttribute";

// The media type of a streaming track.
inline constexpr uint32_t MVMediaTypeStream = 0x7374726D; // 'strm'

class MVStream;
class MVTrack : public std::enable_shared_from_this<MVTrack> {
public:
    // A new track over `media` (shared with nobody else), enabled, with an empty edit list.
    static std::shared_ptr<MVTrack> trackWithMedia(std::shared_ptr<MVMedia> media, uint32_t trackID);
    // A track from its stored description.
    static std::shared_ptr<MVTrack> trackWithDescription(
        const MVTrackDescription& description, int32_t movieTimeScale, const std::string& movieFilePath);

    std::shared_ptr<MVMovie> movie() const { return _movie.lock(); }
    const std::shared_ptr<MVMedia>& media() const { return _media; }
    uint32_t trackID() const { return _trackID; }
    uint32_t mediaType() const { return _media ? _media->mediaType() : 0; }
    bool isVisual() const;
    bool hasAudio() const;
    // 1-based position in the movie; 0 when not in a movie.
    int index() const;
    // The streams of a streaming track; none for other tracks. streamAtIndex is 1-based.
    std::vector<std::shared_ptr<MVStream>> streams() const;
    std::shared_ptr<MVStream> streamAtIndex(int index) const;

    bool isEnabled() const { return _header.flags & MVTrackEnabledFlag; }
    void setEnabled(bool enabled);
    int16_t layer() const { return _header.layer; }
    void setLayer(int16_t layer);
    int16_t alternateGroup() const { return _header.alternateGroup; }
    void setAlternateGroup(int16_t group);
    float volume() const { return float(_header.volume) / 256.0f; }
    void setVolume(float volume);
    // Sound adjustments of the track, kept for playback. Every change of these, of the volume and of
    // the balance posts "MVTrackAudioPropertyDidChangeNotification", so the running playback hears it.
    float gain() const { return _gain; }
    void setGain(float gain);
    float bass() const { return _bass; }
    void setBass(float bass);
    float treble() const { return _treble; }
    void setTreble(float treble);
    bool isMuted() const { return _muted; }
    void setMuted(bool muted);
    const MVMatrixRecord& matrix() const { return _header.matrix; }
    void setMatrix(const MVMatrixRecord& matrix);
    // The box's size: the stored dimensions, or those of the movie's aperture mode (aperture.h).
    double width() const { return _apertureDimensions ? _apertureDimensions->first : _header.width / 65536.0; }
    double height() const { return _apertureDimensions ? _apertureDimensions->second : _header.height / 65536.0; }
    // Stores new dimensions (the box then has them in every aperture mode until the mode is set again).
    void setDimensions(double width, double height);
    // The size the movie's aperture mode gives the box; nothing for the stored dimensions. Not an edit:
    // the stored dimensions are what a save writes.
    void setApertureDimensions(std::optional<std::pair<double, double>> size) { _apertureDimensions = size; }
    uint16_t language() const { return _media ? _media->language() : 0; }
    void setLanguage(uint16_t language);
    // The language as three ISO 639-2/T letters in the three high bytes ("eng" → 0x656E6700); 0 for a
    // classic language number.
    uint32_t isoLanguageCode() const;
    // The extended language tag ("en-US") of the media's 'elng' atom; empty when there is none.
    std::string extendedLanguageTagString() const;
    bool isExcludedFromAutoSelection() const { return _excludedFromAutoSelection; }
    void setExcludedFromAutoSelection(bool flag) { _excludedFromAutoSelection = flag; }
    const MVTrackHeader& header() const { return _header; }

    // Edit list.
    const std::vector<MVTrackEdit>& edits() const { return _edits; }
    void setEdits(std::vector<MVTrackEdit> edits);
    // Duration in movie units (the sum of the segments) and the range {0, duration} at the movie's scale.
    int64_t duration() const;
    MVTimeRange range() const;
    int32_t timeScale() const; // the movie's
    // Inserts `mediaDuration` media units from `mediaTime` at `trackTime`, played at `rate`.
    bool insertMedia(int64_t trackTime, int64_t mediaTime, int64_t mediaDuration, double rate = 1.0);
    bool insertEmptySegment(int64_t trackTime, int64_t duration);
    bool deleteSegment(int64_t trackTime, int64_t duration);
    // Inserts ready-made segments at `trackTime` (empty time is added first when it lies past the end).
    bool insertEdits(int64_t trackTime, const std::vector<MVTrackEdit>& edits);
    // Scales the segment [trackTime, trackTime + oldDuration) to last `newDuration`.
    bool scaleSegment(int64_t trackTime, int64_t oldDuration, int64_t newDuration);
    // The media time shown at `trackTime`, −1 in an empty segment or outside the track.
    int64_t trackTimeToMediaTime(int64_t trackTime) const;
    // The first track time that shows `mediaTime`, −1 when no segment shows it.
    int64_t mediaTimeToTrackTime(int64_t mediaTime) const;
    MVInterestingTime nextInterestingTime(int64_t trackTime, uint16_t flags, double rate = 1.0) const;
    // The edit segments between `start` and `start + duration`, cut at those edges.
    std::vector<MVTrackEdit> editsInRange(int64_t start, int64_t duration) const;

    // Track references by type ('chap', 'sync', 'fall', ...), 1-based index.
    int referenceCount(uint32_t type) const;
    std::shared_ptr<MVTrack> referenceTrack(uint32_t type, int index) const;
    // Sets reference `index` (1-based; count + 1 appends); a null track removes it.
    void setReference(const std::shared_ptr<MVTrack>& track, uint32_t type, int index);
    std::vector<uint32_t> referenceTypes() const;

    // User data and metadata of the track (see user_data.h, metadata.h for the item operations).
    MVUserData& userData() { return _userData; }
    const MVUserData& userData() const { return _userData; }
    MVMetadata& metadata() { return _metadata; }
    const MVMetadata& metadata() const { return _metadata; }
    void noteUserDataChanged();
    // Posts "MVTrackAudioPropertyDidChangeNotification" for the sound setting `code` ("volu", "mute", ...;
    // "tlay" when the channel layout changed).
    void audioPropertyChanged(const char* code);
    // Posts "MVTrackPropertyDidChangeNotification" for the setting `code` ("enab", "layr", "matr", ...).
    void propertyChanged(const char* code);

    // Attributes by name. Values: times and ranges as MVStringFromTime text ({"time", "duration"}),
    // sizes as {"width", "height"}, positions as {"x", "y"}, the matrix as nine integers as stored,
    // colours as three integers, the chapter list as the referenced track's ID (0: none). Keys the
    // model does not interpret are kept as given.
    HXPropertyList attributeForKey(const std::string& key) const;
    void setAttributeForKey(const HXPropertyList& value, const std::string& key);

    // The stored parts the model does not interpret ('load', 'tapt', ...), kept for writing back.
    const MVTrackDescription& storedDescription() const { return _stored; }
    // The payload of the track's stored child atom of `type` ('load', 'matt', ...); setting nothing
    // removes it. Setting marks the movie changed.
    std::optional<MVBytes> storedTrackAtom(uint32_t type) const;
    void setStoredTrackAtom(uint32_t type, const std::optional<MVBytes>& payload);

    // Load settings ('load'). The media is never purged from memory once read (the cache hint), and
    // preloaded before it plays when a preload range is set.
    MVTrackLoadSettings loadSettings() const;
    void setLoadSettings(const MVTrackLoadSettings& settings);
    bool neverPurgeHint() const { return loadSettings().defaultHints & MVMediaHintDontPurge; }
    void setNeverPurgeHint(bool flag);
    // The preload flags (0: no preload).
    uint32_t preloadHint() const { return loadSettings().preloadFlags; }
    void setPreloadHint(uint32_t flags);
    // Preloads the range (a start of −1 preloads the whole track) always.
    void setPreloadRange(MVTime start, MVTime duration);
    // The mask ('matt'): a PNG image whose light parts show the track; empty removes it, bytes that are
    // not PNG change nothing.
    // attributeForKey(MVTrackMaskAttribute) answers the image's bytes.
    void setMaskImage(const MVBytes& png);

    // Used by the movie.
    void setMovie(const std::shared_ptr<MVMovie>& movie) { _movie = movie; }
    void setTrackID(uint32_t trackID) { _trackID = trackID; }
    void setMedia(std::shared_ptr<MVMedia> media) { _media = std::move(media); }
    struct References {
        uint32_t type;
        std::vector<std::weak_ptr<MVTrack>> tracks;
    };
    const std::vector<References>& references() const { return _references; }
    void setReferences(std::vector<References> references) { _references = std::move(references); }
    // Stored track IDs of references, resolved by the movie once all tracks exist.
    const std::vector<MVTrackReference>& unresolvedReferences() const { return _stored.references; }

private:
    MVTrack() = default;
    void changed();
    void postSettingChanged(const char* name, const char* parameter, const char* code);
    template<class T> void storeAudioProperty(T& field, T value, const char* code);
    // Splits the edit at `trackTime` so an edit starts there; answers its index (edits().size() at the end).
    size_t splitAt(int64_t trackTime);
    int32_t movieScale() const;

    std::weak_ptr<MVMovie> _movie;
    std::shared_ptr<MVMedia> _media;
    uint32_t _trackID = 0;
    MVTrackHeader _header;
    std::optional<std::pair<double, double>> _apertureDimensions;
    std::vector<MVTrackEdit> _edits;
    std::vector<References> _references;
    MVUserData _userData;
    MVMetadata _metadata;
    MVTrackDescription _stored;
    int32_t _detachedScale = 600; // the movie scale while not in a movie
    HXPropertyList::Dictionary _otherAttributes;
    float _gain = 1.0f, _bass = 0, _treble = 0;
    bool _excludedFromAutoSelection = false;
    bool _muted = false;
};
