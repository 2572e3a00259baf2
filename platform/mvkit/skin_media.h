#pragma once
// Skins: a movie may carry a skin track, whose one sample gives the shape of the window the movie plays
// in (the clip region) and the part of it that moves the window when dragged (the drag region). Both are
// lists of rectangles in the movie's natural coordinates, measured from the top-left corner (y grows
// downwards).
//
// The skin sample, all numbers big-endian: a sequence of chunks, each
//     uint32 size (of the whole chunk), fourcc type, uint32 count, count × (int32 x, y, width, height)
// with the types 'clip' (required, not empty) and 'drag' (optional); chunks of other types are skipped.
// A sample that breaks any of these rules is refused as a whole: the movie then has no skin.
#include "platform/basekit/error.h"
#include "platform/drawing/region.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class MVMedia;
class MVMovie;
class MVTrack;

// The media type and sample format of skin tracks.
inline constexpr uint32_t MVSkinMediaType = 0x736B696E; // 'skin'
// The media characteristic of a track whose media carries skin data.
inline constexpr const char* MVMediaCharacteristicHasSkinData = "MVMediaCharacteristicHasSkinData";

// The two regions of a skin, in natural coordinates (y down).
struct MVSkinData {
    HXRegion clip;
    HXRegion drag;
    bool operator==(const MVSkinData&) const = default;
};

// Coordinates beyond this many points either way are refused.
inline constexpr int32_t MVSkinMaximumCoordinate = 1 << 16;
// A region of more rectangles than this is refused.
inline constexpr uint32_t MVSkinMaximumRectCount = 1u << 16;

// The sample bytes for `skin`; its regions' rectangles are written as they are.
std::vector<uint8_t> MVSkinSampleBytes(const MVSkinData& skin);
// The skin in `bytes`, or nothing (with `outError` when given) when they break the format.
std::optional<MVSkinData> MVSkinDataFromSampleBytes(
    const std::vector<uint8_t>& bytes, HXError* outError = nullptr);

// Whether the track's media has `characteristic` (only the skin characteristic is known here).
bool MVTrackHasMediaCharacteristic(const MVTrack& track, const std::string& characteristic);
// The last track of `movie` with `characteristic`, or null.
std::shared_ptr<MVTrack> MVMovieLastTrackWithMediaCharacteristic(
    const MVMovie& movie, const std::string& characteristic);

// Copies of the skin media's regions (its first sample); nothing when the media has no valid skin.
std::optional<HXRegion> MVMediaCopySkinClipRegion(const MVMedia& media);
std::optional<HXRegion> MVMediaCopySkinDragRegion(const MVMedia& media);
// The whole skin of the media, or nothing.
std::optional<MVSkinData> MVMediaSkinData(const MVMedia& media, HXError* outError = nullptr);

// The movie shows a skin: its last skin track carries valid skin data.
bool MVMovieHasSkin(const MVMovie& movie);
// Adds a skin track that lasts the whole movie (at least one unit). Refuses an empty clip region.
std::shared_ptr<MVTrack> MVMovieAddSkinTrack(
    MVMovie& movie, const MVSkinData& skin, HXError* outError = nullptr);
