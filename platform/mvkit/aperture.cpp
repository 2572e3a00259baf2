#include "platform/mvkit/aperture.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"

#include <array>
#include <cstring>

namespace {

uint32_t be32(const MVBytes& b, size_t at)
{
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
}

// The size a 'tapt' atom gives for `type` ('clef', 'prof' or 'enof': version and flags, then 16.16 width
// and height).
std::optional<std::pair<double, double>> conformedSize(const MVTrack& track, uint32_t type)
{
    for (const auto& atom : track.storedDescription().unknownChildren) {
        if (atom.type != MVFourCC("tapt"))
            continue;
        const MVBytes& p = atom.payload;
        for (size_t at = 0; at + 8 <= p.size();) {
            uint32_t size = be32(p, at);
            if (size < 8 || size > p.size() - at)
                break;
            if (be32(p, at + 4) == type && size >= 20) {
                double width = be32(p, at + 12) / 65536.0, height = be32(p, at + 16) / 65536.0;
                if (width > 0 && height > 0)
                    return std::make_pair(width, height);
            }
            at += size;
        }
    }
    return std::nullopt;
}

} // namespace

MVApertureMode MVApertureModeForName(const std::string& name)
{
    if (name == MVMovieApertureModeClassic)
        return MVApertureMode::Classic;
    if (name == MVMovieApertureModeProduction)
        return MVApertureMode::Production;
    if (name == MVMovieApertureModeEncodedPixels)
        return MVApertureMode::EncodedPixels;
    return MVApertureMode::Clean;
}

const char* MVApertureModeName(MVApertureMode mode)
{
    switch (mode) {
    case MVApertureMode::Classic:
        return MVMovieApertureModeClassic;
    case MVApertureMode::Production:
        return MVMovieApertureModeProduction;
    case MVApertureMode::EncodedPixels:
        return MVMovieApertureModeEncodedPixels;
    case MVApertureMode::Clean:
        break;
    }
    return MVMovieApertureModeClean;
}

std::optional<std::pair<double, double>> MVTrackApertureDimensions(const MVTrack& track, MVApertureMode mode)
{
    if (mode == MVApertureMode::Classic || track.mediaType() != MVFourCC("vide") || !track.media()
        || track.media()->sampleDescriptions().empty())
        return std::nullopt;
    static constexpr std::array<uint32_t, 4> kConformed { 0, MVFourCC("clef"), MVFourCC("prof"), MVFourCC("enof") };
    if (auto size = conformedSize(track, kConformed[size_t(mode)]))
        return size;
    const MVSampleDescription& description = track.media()->sampleDescriptions().front();
    auto video = MVParseVideoSampleDescription(description);
    if (!video || video->width == 0 || video->height == 0)
        return std::nullopt;
    MVApertureGeometry g = MVApertureGeometryForDescription(description, video->width, video->height, mode);
    if (g.displayWidth <= 0 || g.displayHeight <= 0)
        return std::nullopt;
    return std::make_pair(g.displayWidth, g.displayHeight);
}
