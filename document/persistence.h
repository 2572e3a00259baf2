#pragma once
// MVPPersistence: the movie's own playback settings kept inside its file. On save the document writes
// them into the movie's metadata ('mdta' reverse-DNS keys: the sound and picture adjustments of the
// movie and of each sound track, version stamps) and user data (four-char codes: the window position,
// looping, selection-only and all-frames play, the full-screen settings). When a movie is installed the
// sound and picture settings are applied back. Numbers are big-endian, floats IEEE single precision,
// flags one byte 0/1.
//
// Every value is written by removing every item with its key and then adding one item.
#include "platform/mvkit/movie.h"

#include <cstddef>
#include <cstdint>
#include <string>

class MVPMovieDocument;

// Reverse-DNS keys.
inline constexpr const char* MVPPersistenceAudioGainKey = "com.zantrel.movara.player.movie.audio.gain";
inline constexpr const char* MVPPersistenceAudioTrebleKey = "com.zantrel.movara.player.movie.audio.treble";
inline constexpr const char* MVPPersistenceAudioBassKey = "com.zantrel.movara.player.movie.audio.bass";
inline constexpr const char* MVPPersistenceAudioBalanceKey = "com.zantrel.movara.player.movie.audio.balance";
inline constexpr const char* MVPPersistenceAudioPitchShiftKey
    = "com.zantrel.movara.player.movie.audio.pitchshift";
inline constexpr const char* MVPPersistenceAudioMuteKey = "com.zantrel.movara.player.movie.audio.mute";
inline constexpr const char* MVPPersistenceVisualBrightnessKey
    = "com.zantrel.movara.player.movie.visual.brightness";
inline constexpr const char* MVPPersistenceVisualColorKey = "com.zantrel.movara.player.movie.visual.color";
inline constexpr const char* MVPPersistenceVisualTintKey = "com.zantrel.movara.player.movie.visual.tint";
inline constexpr const char* MVPPersistenceVisualContrastKey
    = "com.zantrel.movara.player.movie.visual.contrast";
inline constexpr const char* MVPPersistencePlayerVersionKey = "com.zantrel.movara.player.version";
inline constexpr const char* MVPPersistenceFrameworkVersionKey = "com.zantrel.movara.version";

// Data types of the items.
inline constexpr uint32_t MVPPersistenceRawDataType = 0;
inline constexpr uint32_t MVPPersistenceUTF8DataType = 1;
inline constexpr uint32_t MVPPersistenceFloat32DataType = 23;

// The two key spaces.
inline constexpr uint32_t MVPPersistenceReverseDNSKeyType = 0x6d647461; // 'mdta'
inline constexpr uint32_t MVPPersistenceUserDataKeyType = 0x75647461; // 'udta'

// The store the core calls work on: a movie's or a track's metadata ('mdta') and user data ('udta').
struct MVPMetaDataContainer {
    MVMetadata* metadata = nullptr;
    MVUserData* userData = nullptr;
    static MVPMetaDataContainer forMovie(MVMovie& movie) { return { &movie.metadata(), &movie.userData() }; }
    static MVPMetaDataContainer forTrack(MVTrack& track) { return { &track.metadata(), &track.userData() }; }
};

class MVPPersistence {
public:
    MVPPersistence() = delete;

    // Writes every setting of the document's movie.
    static void saveMetaDataItemsFromMovie(MVPMovieDocument& document);
    // Applies the stored sound and picture settings to the document's movie and its sound tracks.
    static void applyMetaDataItemsToMovie(MVPMovieDocument& document);

    // Savers.
    static void saveMovieLocation(MVPMovieDocument& document);
    static void saveMoviePrintToVideo(MVPMovieDocument& document);
    static void saveMoviePTVBackgroundColor(MVPMovieDocument& document);
    static void saveMoviePTVDisplayID(MVPMovieDocument& document);
    static void saveMovieLooping(MVMovie& movie);
    static void saveMoviePlayOnlySelection(MVMovie& movie);
    static void saveMoviePlayAllFrames(MVMovie& movie);
    static void saveMovieAudioGain(MVMovie& movie);
    static void saveMovieAudioTreble(MVMovie& movie);
    static void saveMovieAudioBass(MVMovie& movie);
    static void saveMovieAudioBalance(MVMovie& movie);
    static void saveMovieAudioPitchShift(MVMovie& movie);
    static void saveMovieAudioMute(MVMovie& movie);
    static void saveMovieBrightness(MVMovie& movie);
    static void saveMovieColor(MVMovie& movie);
    static void saveMovieTint(MVMovie& movie);
    static void saveMovieContrast(MVMovie& movie);
    static void saveTrackAudioGain(MVTrack& track);
    static void saveTrackAudioTreble(MVTrack& track);
    static void saveTrackAudioBass(MVTrack& track);
    static void saveTrackAudioBalance(MVTrack& track);
    static void saveTrackAudioMute(MVTrack& track);
    static void saveVersionStamps(MVMovie& movie);

    // Readers: the stored value, 0 (NO) when the item is absent.
    static float movieAudioGain(const MVMovie& movie);
    static float movieAudioTreble(const MVMovie& movie);
    static float movieAudioBass(const MVMovie& movie);
    static float movieAudioBalance(const MVMovie& movie);
    static float movieAudioPitchShift(const MVMovie& movie);
    static bool movieAudioMute(const MVMovie& movie);
    static float movieBrightness(const MVMovie& movie);
    static float movieColor(const MVMovie& movie);
    static float movieTint(const MVMovie& movie);
    static float movieContrast(const MVMovie& movie);
    static float trackAudioGain(const MVTrack& track);
    static float trackAudioTreble(const MVTrack& track);
    static float trackAudioBass(const MVTrack& track);
    static float trackAudioBalance(const MVTrack& track);
    static bool trackAudioMute(const MVTrack& track);

    // Presence: at least one item with the key (reverse-DNS, or a four-char code for the default form).
    static bool hasMovieMetaDataItem(const std::string& key, const MVMovie& movie);
    static bool hasTrackMetaDataItem(const std::string& key, const MVTrack& track);
    static bool hasMovieDefaultMetaDataItem(const std::string& code, const MVMovie& movie);

    // Generic access. Readers copy at most `outValSize` bytes of the first item's value and answer
    // whether an item exists; writers with a null value only remove.
    static bool movieMetaDataItemValueForKey(
        const std::string& key, void* outVal, size_t outValSize, const MVMovie& movie);
    static bool trackMetaDataItemValueForKey(
        const std::string& key, void* outVal, size_t outValSize, const MVTrack& track);
    static void setMovieMetaDataItemValue(
        const void* value, size_t actualSize, const std::string& key, uint32_t dataType, MVMovie& movie);
    static void setTrackMetaDataItemValue(
        const void* value, size_t actualSize, const std::string& key, uint32_t dataType, MVTrack& track);
    static bool movieDefaultMetaDataItemValueForKey(
        const std::string& code, void* outVal, size_t outValSize, const MVMovie& movie);
    static void setDefaultMovieMetaDataItemValue(
        const void* value, size_t actualSize, const std::string& code, uint32_t dataType, MVMovie& movie);

    // Core. A container without stores answers NO / does nothing.
    static bool metaDataItemValueForKey(const MVPMetaDataContainer& container, const std::string& itemKey,
        uint32_t keyType, void* outVal, size_t outValSize);
    static void setMetaDataItemValueForKey(const MVPMetaDataContainer& container, const void* value,
        size_t actualSize, const std::string& key, uint32_t dataType, uint32_t keyType);

    // Applies the looping, selection-only and all-frames items ('LOOP', 'SelO', 'AllF') the movie's file
    // holds, so that they survive a save and a reopen.
    static void applyStoredPlaybackModes(MVMovie& movie);

    // The version stamps as written.
    static std::string playerVersionString();
    static std::string frameworkVersionString();
};
