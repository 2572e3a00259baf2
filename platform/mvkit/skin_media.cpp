// Skin tracks: their sample format, the regions they give, and adding one to a movie.
#include "platform/mvkit/skin_media.h"

#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"

#include <cmath>

namespace {

constexpr uint32_t kClipChunk = 0x636C6970; // 'clip'
constexpr uint32_t kDragChunk = 0x64726167; // 'drag'

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

uint32_t getU32(const std::vector<uint8_t>& in, size_t at)
{
    return uint32_t(in[at]) << 24 | uint32_t(in[at + 1]) << 16 | uint32_t(in[at + 2]) << 8 | in[at + 3];
}

void putChunk(std::vector<uint8_t>& out, uint32_t type, const HXRegion& region)
{
    auto rects = region.rects();
    putU32(out, uint32_t(12 + 16 * rects.size()));
    putU32(out, type);
    putU32(out, uint32_t(rects.size()));
    for (const auto& r : rects)
        for (double v : { r.origin.x, r.origin.y, r.size.width, r.size.height })
            putU32(out, uint32_t(int32_t(std::lround(v))));
}

HXError skinError(const std::string& text)
{
    return HXError::withDescription(
        HXOSStatusErrorDomain, MVStatusBadMovieFile, "The skin data " + text + ".");
}

} // namespace

std::vector<uint8_t> MVSkinSampleBytes(const MVSkinData& skin)
{
    std::vector<uint8_t> out;
    putChunk(out, kClipChunk, skin.clip);
    if (!skin.drag.isEmpty())
        putChunk(out, kDragChunk, skin.drag);
    return out;
}

std::optional<MVSkinData> MVSkinDataFromSampleBytes(const std::vector<uint8_t>& bytes, HXError* outError)
{
    auto fail = [&](const std::string& text) -> std::optional<MVSkinData> {
        if (outError)
            *outError = skinError(text);
        return std::nullopt;
    };
    std::optional<HXRegion> clip, drag;
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8)
            return fail("ends inside a chunk header");
        uint32_t size = getU32(bytes, at), type = getU32(bytes, at + 4);
        if (size < 8 || size > bytes.size() - at)
            return fail("has a chunk whose size does not fit");
        if (type == kClipChunk || type == kDragChunk) {
            if (size < 12)
                return fail("has a region chunk without a count");
            uint32_t count = getU32(bytes, at + 8);
            if (count > MVSkinMaximumRectCount || size != 12 + uint64_t(count) * 16)
                return fail("has a region whose rectangle count does not match its size");
            std::optional<HXRegion>& slot = type == kClipChunk ? clip : drag;
            if (slot)
                return fail("has a region twice");
            std::vector<HXRect> rects;
            rects.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                size_t p = at + 12 + size_t(i) * 16;
                int32_t v[4];
                for (int k = 0; k < 4; ++k)
                    v[k] = int32_t(getU32(bytes, p + size_t(k) * 4));
                if (v[2] <= 0 || v[3] <= 0)
                    return fail("has an empty or inverted rectangle");
                for (int k = 0; k < 4; ++k)
                    if (v[k] > MVSkinMaximumCoordinate || v[k] < -MVSkinMaximumCoordinate)
                        return fail("has a rectangle out of range");
                rects.push_back(HXMakeRect(v[0], v[1], v[2], v[3]));
            }
            slot = HXRegion::regionWithRects(rects);
        }
        at += size;
    }
    if (!clip || clip->isEmpty())
        return fail("has no window shape");
    return MVSkinData { *clip, drag.value_or(HXRegion()) };
}

bool MVTrackHasMediaCharacteristic(const MVTrack& track, const std::string& characteristic)
{
    return characteristic == MVMediaCharacteristicHasSkinData && track.mediaType() == MVSkinMediaType;
}

std::shared_ptr<MVTrack> MVMovieLastTrackWithMediaCharacteristic(
    const MVMovie& movie, const std::string& characteristic)
{
    const auto& tracks = movie.tracks();
    for (auto it = tracks.rbegin(); it != tracks.rend(); ++it)
        if (*it && MVTrackHasMediaCharacteristic(**it, characteristic))
            return *it;
    return nullptr;
}

std::optional<MVSkinData> MVMediaSkinData(const MVMedia& media, HXError* outError)
{
    if (media.mediaType() != MVSkinMediaType || media.sampleCount() < 1) {
        if (outError)
            *outError = skinError("is missing");
        return std::nullopt;
    }
    auto bytes = media.sampleBytes(0, outError);
    if (!bytes)
        return std::nullopt;
    return MVSkinDataFromSampleBytes(*bytes, outError);
}

std::optional<HXRegion> MVMediaCopySkinClipRegion(const MVMedia& media)
{
    auto skin = MVMediaSkinData(media);
    return skin ? std::optional<HXRegion>(skin->clip) : std::nullopt;
}

std::optional<HXRegion> MVMediaCopySkinDragRegion(const MVMedia& media)
{
    auto skin = MVMediaSkinData(media);
    if (!skin || skin->drag.isEmpty())
        return std::nullopt;
    return skin->drag;
}

bool MVMovieHasSkin(const MVMovie& movie)
{
    auto track = MVMovieLastTrackWithMediaCharacteristic(movie, MVMediaCharacteristicHasSkinData);
    return track && track->media() && MVMediaSkinData(*track->media()).has_value();
}

std::shared_ptr<MVTrack> MVMovieAddSkinTrack(MVMovie& movie, const MVSkinData& skin, HXError* outError)
{
    if (skin.clip.isEmpty()) {
        if (outError)
            *outError = skinError("has no window shape");
        return nullptr;
    }
    int64_t duration = std::max<int64_t>(1, movie.durationValue());
    auto track = movie.newTrack(MVSkinMediaType, movie.timeScale());
    if (!track)
        return nullptr;
    MVSampleDescription description;
    description.format = MVSkinMediaType;
    auto media = track->media();
    if (media->addSample(
            MVSkinSampleBytes(skin), duration, 1, MVSampleDescriptionBytes(description), 0, outError)
            < 0
        || !track->insertMedia(0, 0, duration)) {
        movie.removeTrack(track);
        return nullptr;
    }
    track->setEnabled(false);
    return track;
}
