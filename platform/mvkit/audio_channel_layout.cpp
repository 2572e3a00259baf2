#include "platform/mvkit/audio_channel_layout.h"

#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/track.h"

#include <bit>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t kChanType = MVFourCC("chan");
constexpr uint32_t kSoundType = MVFourCC("soun");

uint32_t readBE32(const MVBytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
}

void appendBE32(MVBytes& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(uint8_t(v >> shift));
}

// The labels of the layout tags the library knows, in channel order.
const std::map<uint32_t, std::vector<uint32_t>>& knownTags()
{
    static const std::map<uint32_t, std::vector<uint32_t>> tags {
        { MVChannelLayoutTagMono, { 42 } },
        { MVChannelLayoutTagStereo, { 1, 2 } },
        { 0x670002, { 38, 39 } }, // matrix stereo
        { 0x6C0004, { 1, 2, 5, 6 } }, // quadraphonic
        { 0x790006, { 1, 2, 3, 4, 5, 6 } }, // 5.1
        { 0x7E0008, { 1, 2, 3, 4, 5, 6, 7, 8 } }, // 7.1 with front centre speakers
        { 0x800008, { 1, 2, 3, 4, 5, 6, 33, 34 } }, // 7.1 with rear speakers
    };
    return tags;
}

MVAudioChannelLayout layoutOfLabels(const std::vector<uint32_t>& labels)
{
    MVAudioChannelLayout layout;
    for (uint32_t label : labels)
        layout.descriptions.push_back({ label, 0, {} });
    return layout;
}

// The first sound description of the track's media and its parsed fields.
const MVSampleDescription* firstSoundDescription(const MVTrack& track)
{
    const auto& media = track.media();
    if (!media || media->mediaType() != kSoundType || media->sampleDescriptions().empty())
        return nullptr;
    return &media->sampleDescriptions().front();
}

} // namespace

std::optional<MVAudioChannelLayout> MVAudioChannelLayoutFromRecord(const MVBytes& record)
{
    if (record.size() < 12)
        return std::nullopt;
    MVAudioChannelLayout layout;
    layout.tag = readBE32(record, 0);
    layout.bitmap = readBE32(record, 4);
    uint32_t count = readBE32(record, 8);
    if (count > (record.size() - 12) / 20)
        return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = 12 + size_t(i) * 20;
        MVAudioChannelDescription d;
        d.label = readBE32(record, at);
        d.flags = readBE32(record, at + 4);
        for (size_t c = 0; c < 3; ++c)
            d.coordinates[c] = std::bit_cast<float>(readBE32(record, at + 8 + c * 4));
        layout.descriptions.push_back(d);
    }
    return layout;
}

MVBytes MVAudioChannelLayoutRecord(const MVAudioChannelLayout& layout)
{
    MVBytes out;
    appendBE32(out, layout.tag);
    appendBE32(out, layout.bitmap);
    appendBE32(out, uint32_t(layout.descriptions.size()));
    for (const auto& d : layout.descriptions) {
        appendBE32(out, d.label);
        appendBE32(out, d.flags);
        for (float c : d.coordinates)
            appendBE32(out, std::bit_cast<uint32_t>(c));
    }
    return out;
}

std::optional<MVAudioChannelLayout> MVAudioChannelLayoutOfDescription(const MVSampleDescription& description)
{
    auto sound = MVParseSoundSampleDescription(description);
    if (!sound)
        return std::nullopt;
    for (const auto& extension : sound->extensions) {
        if (extension.type != kChanType || extension.payload.size() < 4)
            continue;
        auto layout = MVAudioChannelLayoutFromRecord(MVBytes(extension.payload.begin() + 4, extension.payload.end()));
        if (!layout || layout->tag == MVChannelLayoutTagUseChannelDescriptions)
            return layout;
        auto expanded = layout->tag == MVChannelLayoutTagUseChannelBitmap ? MVAudioChannelLayoutForBitmap(layout->bitmap)
                                                                          : MVAudioChannelLayoutForTag(layout->tag);
        if (!expanded && !layout->descriptions.empty())
            return layout; // a tag we do not know, with its channels described as well
        return expanded;
    }
    return std::nullopt;
}

std::optional<int> MVTrackAudioChannelCount(const MVTrack& track)
{
    const auto* description = firstSoundDescription(track);
    if (!description)
        return std::nullopt;
    auto sound = MVParseSoundSampleDescription(*description);
    if (!sound)
        return std::nullopt;
    return int(sound->channelCount);
}

std::optional<MVAudioChannelLayout> MVTrackAudioChannelLayout(const MVTrack& track)
{
    const auto* description = firstSoundDescription(track);
    if (!description)
        return std::nullopt;
    // The media is sound, so its descriptions are read as sound descriptions (guessing the kind from
    // the bytes can take a long sound description for a video one).
    auto sound = MVParseSoundSampleDescription(*description);
    if (!sound)
        return std::nullopt;
    for (const auto& extension : sound->extensions) {
        if (extension.type == kChanType && extension.payload.size() >= 4)
            return MVAudioChannelLayoutFromRecord(MVBytes(extension.payload.begin() + 4, extension.payload.end()));
    }
    return std::nullopt;
}

bool MVTrackSetAudioChannelLayout(MVTrack& track, const MVAudioChannelLayout& layout)
{
    const auto& media = track.media();
    if (!media || media->mediaType() != kSoundType)
        return false;
    MVBytes payload(4, 0);
    MVBytes record = MVAudioChannelLayoutRecord(layout);
    payload.insert(payload.end(), record.begin(), record.end());
    auto state = media->state();
    bool changed = false;
    for (auto& description : state.descriptions) {
        auto sound = MVParseSoundSampleDescription(description);
        if (!sound)
            continue;
        std::erase_if(sound->extensions, [](const MVRawAtom& a) { return a.type == kChanType; });
        sound->extensions.push_back({ kChanType, payload });
        description.data = MVSerializeSoundSampleDescription(*sound);
        changed = true;
    }
    if (!changed)
        return false;
    media->restoreState(state);
    track.noteUserDataChanged();
    track.audioPropertyChanged("tlay");
    return true;
}

std::optional<std::string> MVAudioChannelLabelName(uint32_t label)
{
    static const std::map<uint32_t, const char*> names {
        { 0, "Unused" },
        { 1, "Left" },
        { 2, "Right" },
        { 3, "Center" },
        { 4, "LFE Screen" },
        { 5, "Left Surround" },
        { 6, "Right Surround" },
        { 7, "Left Center" },
        { 8, "Right Center" },
        { 9, "Center Surround" },
        { 10, "Left Surround Direct" },
        { 11, "Right Surround Direct" },
        { 12, "Top Center Surround" },
        { 33, "Rear Surround Left" },
        { 34, "Rear Surround Right" },
        { 35, "Left Wide" },
        { 36, "Right Wide" },
        { 37, "LFE 2" },
        { 38, "Left Total" },
        { 39, "Right Total" },
        { 42, "Mono" },
        { MVChannelLabelUnknown, "Unknown" },
    };
    auto it = names.find(label);
    if (it != names.end())
        return std::string(it->second);
    if (label >= MVChannelLabelDiscrete0 && label <= MVChannelLabelDiscrete0 + 0xFFFF)
        return "Discrete " + std::to_string(label - MVChannelLabelDiscrete0);
    return std::nullopt;
}

std::optional<MVAudioChannelLayout> MVAudioChannelLayoutForTag(uint32_t tag)
{
    auto it = knownTags().find(tag);
    if (it == knownTags().end())
        return std::nullopt;
    auto layout = layoutOfLabels(it->second);
    layout.tag = tag;
    return layout;
}

std::optional<MVAudioChannelLayout> MVAudioChannelLayoutForBitmap(uint32_t bitmap)
{
    if (bitmap == 0)
        return std::nullopt;
    std::vector<uint32_t> labels;
    for (uint32_t bit = 0; bit < 32; ++bit)
        if (bitmap & (1u << bit))
            labels.push_back(bit + 1);
    auto layout = layoutOfLabels(labels);
    layout.tag = MVChannelLayoutTagUseChannelBitmap;
    layout.bitmap = bitmap;
    return layout;
}

std::optional<uint32_t> MVAudioChannelLayoutTagForDescriptions(const std::vector<MVAudioChannelDescription>& descriptions)
{
    for (const auto& [tag, labels] : knownTags()) {
        if (labels.size() != descriptions.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < labels.size() && same; ++i)
            same = labels[i] == descriptions[i].label;
        if (same)
            return tag;
    }
    return std::nullopt;
}
