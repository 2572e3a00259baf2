#pragma once
// Audio channel layouts of sound tracks: which speaker each channel of a track feeds.
//
// A layout is stored as the 'chan' extension of the track's sound sample descriptions: a 32-bit version
// and flags (0), then the layout record, big-endian: a 32-bit layout tag, a 32-bit channel bitmap, a
// 32-bit count of channel descriptions, and per channel 20 bytes (a 32-bit channel label, 32-bit flags
// and three 32-bit float coordinates). The layout library below names labels, expands tags and
// bitmaps into descriptions, and finds the tag of a list of descriptions.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class MVTrack;

// Layout tags.
inline constexpr uint32_t MVChannelLayoutTagUseChannelDescriptions = 0;
inline constexpr uint32_t MVChannelLayoutTagUseChannelBitmap = 0x10000;
inline constexpr uint32_t MVChannelLayoutTagMono = 0x640001;
inline constexpr uint32_t MVChannelLayoutTagStereo = 0x650002;
// Channel labels.
inline constexpr uint32_t MVChannelLabelUnused = 0;
inline constexpr uint32_t MVChannelLabelMono = 42;
inline constexpr uint32_t MVChannelLabelDiscrete0 = 0x10000; // discrete channel N is 0x10000 + N
inline constexpr uint32_t MVChannelLabelUnknown = 0xFFFFFFFF;

struct MVAudioChannelDescription {
    uint32_t label = MVChannelLabelUnused;
    uint32_t flags = 0;
    std::array<float, 3> coordinates {};
    bool operator==(const MVAudioChannelDescription&) const = default;
};

struct MVAudioChannelLayout {
    uint32_t tag = MVChannelLayoutTagUseChannelDescriptions;
    uint32_t bitmap = 0;
    std::vector<MVAudioChannelDescription> descriptions;
    bool operator==(const MVAudioChannelLayout&) const = default;
};

// The record's bytes (without the version and flags); nothing for a record shorter than its count says.
std::optional<MVAudioChannelLayout> MVAudioChannelLayoutFromRecord(const MVBytes& record);
MVBytes MVAudioChannelLayoutRecord(const MVAudioChannelLayout& layout);

// The layout stored with a sound description, with one description per channel: a tag or bitmap the
// library knows is expanded. Nothing when it stores none, or one the library cannot expand.
std::optional<MVAudioChannelLayout> MVAudioChannelLayoutOfDescription(const MVSampleDescription& description);

// The channel count of the track's first sound description; nothing for a track without one.
std::optional<int> MVTrackAudioChannelCount(const MVTrack& track);
// The layout stored with the track's first sound description; nothing when there is none.
std::optional<MVAudioChannelLayout> MVTrackAudioChannelLayout(const MVTrack& track);
// Stores the layout with every sound description of the track; false when it has none.
bool MVTrackSetAudioChannelLayout(MVTrack& track, const MVAudioChannelLayout& layout);

// The layout library. The name of a label (nothing for a label it does not know); the descriptions of
// a layout tag or of a channel bitmap (nothing for tags it does not know); the tag of a list of
// descriptions (nothing when no known tag has exactly those labels in that order).
std::optional<std::string> MVAudioChannelLabelName(uint32_t label);
std::optional<MVAudioChannelLayout> MVAudioChannelLayoutForTag(uint32_t tag);
std::optional<MVAudioChannelLayout> MVAudioChannelLayoutForBitmap(uint32_t bitmap);
std::optional<uint32_t> MVAudioChannelLayoutTagForDescriptions(const std::vector<MVAudioChannelDescription>& descriptions);
