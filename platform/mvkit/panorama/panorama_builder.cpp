#include "platform/mvkit/panorama/panorama_builder.h"

#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/panorama_images.h"

#include <algorithm>

namespace {

constexpr int32_t kTimeScale = 600;
constexpr int64_t kNodeDuration = 600; // one second per node

uint32_t bigEndian32(const MVBytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

uint16_t bigEndian16(const MVBytes& b, size_t at)
{
    return uint16_t((b[at] << 8) | b[at + 1]);
}

std::optional<MVEncodedPictureInfo> pngInfo(const MVBytes& b)
{
    static const uint8_t signature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    if (b.size() < 33 || !std::equal(signature, signature + 8, b.begin())
        || bigEndian32(b, 12) != MVFourCC("IHDR"))
        return std::nullopt;
    MVEncodedPictureInfo info;
    info.format = MVFourCC("png ");
    info.width = int(bigEndian32(b, 16));
    info.height = int(bigEndian32(b, 20));
    switch (b[25]) { // colour type
    case 0:
        info.depth = b[24] == 8 ? 40 : 24; // only 8-bit grey holds one ID per pixel
        break;
    case 4:
    case 6:
        info.depth = 32;
        break;
    default:
        info.depth = 24;
    }
    return info;
}

std::optional<MVEncodedPictureInfo> jpegInfo(const MVBytes& b)
{
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return std::nullopt;
    size_t at = 2;
    while (at + 4 <= b.size()) {
        if (b[at] != 0xFF)
            return std::nullopt;
        uint8_t marker = b[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        uint16_t length = bigEndian16(b, at + 2);
        const bool startOfFrame
            = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (at + 9 > b.size())
                return std::nullopt;
            MVEncodedPictureInfo info;
            info.format = MVFourCC("jpeg");
            info.height = bigEndian16(b, at + 5);
            info.width = bigEndian16(b, at + 7);
            info.depth = at + 9 < b.size() && b[at + 9] == 1 ? 40 : 24;
            return info;
        }
        if (length < 2)
            return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

MVBytes videoDescription(const MVEncodedPictureInfo& info)
{
    MVVideoSampleDescription v;
    v.width = uint16_t(info.width);
    v.height = uint16_t(info.height);
    v.depth = int16_t(info.depth);
    v.compressorName = info.format == MVFourCC("png ") ? "PNG" : "Photo - JPEG";
    v.temporalQuality = 0;
    v.spatialQuality = 0x200; // normal
    MVSampleDescription d;
    d.format = info.format;
    d.data = MVSerializeVideoSampleDescription(v);
    return MVSampleDescriptionBytes(d);
}

HXError invalid(const std::string& text)
{
    return HXError::withDescription(HXOSStatusErrorDomain, MVStatusBadPanorama, text);
}

// The common format of a grid's pictures; nothing when they differ or are not pictures.
std::optional<MVEncodedPictureInfo> gridInfo(const std::vector<MVBytes>& frames, size_t cells)
{
    if (frames.size() != cells || frames.empty())
        return std::nullopt;
    auto first = MVEncodedPictureInfoForData(frames.front());
    if (!first || first->width <= 0 || first->height <= 0 || first->width > 0xFFFF || first->height > 0xFFFF)
        return std::nullopt;
    for (const auto& f : frames) {
        auto info = MVEncodedPictureInfoForData(f);
        if (!info || info->format != first->format || info->width != first->width
            || info->height != first->height)
            return std::nullopt;
    }
    return first;
}

// Appends one node's frames to `track`'s media and shows them at `time` for one node duration.
bool addFrames(MVTrack& track, const std::vector<MVBytes>& frames, const MVEncodedPictureInfo& info,
    int64_t time, HXError* outError)
{
    auto media = track.media();
    const MVBytes description = videoDescription(info);
    const int64_t count = int64_t(frames.size());
    int64_t start = -1;
    for (int64_t k = 0; k < count; ++k) {
        // The node's second shared out; the last frame takes what is left.
        int64_t duration = kNodeDuration / count + (k == count - 1 ? kNodeDuration % count : 0);
        int64_t at = media->addSample(frames[size_t(k)], duration, 1, description, 0, outError);
        if (at < 0)
            return false;
        if (start < 0)
            start = at;
    }
    if (track.duration() < time)
        track.insertEmptySegment(track.duration(), time - track.duration());
    return track.insertMedia(time, start, kNodeDuration);
}

} // namespace

std::optional<MVEncodedPictureInfo> MVEncodedPictureInfoForData(const MVBytes& data)
{
    if (auto info = pngInfo(data))
        return info;
    return jpegInfo(data);
}

std::shared_ptr<MVMovie> MVMakePanoramaMovie(const std::vector<MVPanoramaNodePictures>& nodes,
    uint32_t defaultNodeID, int viewWidth, int viewHeight, HXError* outError)
{
    auto fail = [&](const std::string& text) -> std::shared_ptr<MVMovie> {
        if (outError)
            *outError = invalid(text);
        return nullptr;
    };
    if (nodes.empty())
        return fail("A panorama needs at least one node.");
    if (viewWidth < 1 || viewHeight < 1 || viewWidth > 0xFFFF || viewHeight > 0xFFFF)
        return fail("The panorama's window size is impossible.");

    auto movie = MVMovie::movie();
    auto nodeTrack = movie->newTrack(MVNodeMediaType, kTimeScale, viewWidth, viewHeight);
    auto panoTrack = movie->newTrack(MVPanoramaMediaType, kTimeScale);
    auto imageTrack = movie->newTrack(MVFourCC("vide"), kTimeScale);
    imageTrack->setEnabled(false);
    std::shared_ptr<MVTrack> hotspotTrack;
    if (std::any_of(nodes.begin(), nodes.end(), [](const auto& n) { return !n.hotspotFrames.empty(); })) {
        hotspotTrack = movie->newTrack(MVFourCC("vide"), kTimeScale);
        hotspotTrack->setEnabled(false);
    }

    MVPanoramaWorld world;
    world.defaultNodeID = defaultNodeID ? defaultNodeID : nodes.front().information.nodeID;
    for (const auto& n : nodes)
        world.nodes.push_back({ n.information.nodeID, n.information.nodeType, n.information.name });
    MVSampleDescription nodeDescription;
    nodeDescription.format = MVNodeMediaType;
    nodeDescription.data = MVSerializePanoramaWorld(world);
    MVSampleDescription panoDescription;
    panoDescription.format = MVPanoramaMediaType;

    int64_t time = 0;
    int maxCellWidth = 0, maxCellHeight = 0;
    for (const auto& n : nodes) {
        if (n.information.nodeID == 0)
            return fail("A panorama node needs an ID.");
        const bool cubic = n.panorama.panoramaType == MVPanoramaTypeCube;
        // The picture grid, and the hot-spot grid when there is one: their sizes go to the panorama data.
        struct Grid {
            const std::vector<MVBytes>& frames;
            uint16_t columns, rows;
            uint32_t *width, *height;
            uint16_t *dataColumns, *dataRows;
        };
        MVPanoramaSampleData d = n.panorama;
        d.imageReferenceIndex = 1;
        d.hotspotReferenceIndex = n.hotspotFrames.empty() ? 0 : 1;
        const Grid grids[] = {
            { n.imageFrames, n.imageColumns, n.imageRows, &d.imageWidth, &d.imageHeight, &d.imageColumns,
                &d.imageRows },
            { n.hotspotFrames, n.hotspotColumns, n.hotspotRows, &d.hotspotWidth, &d.hotspotHeight,
                &d.hotspotColumns, &d.hotspotRows },
        };
        for (int k = 0; k < (n.hotspotFrames.empty() ? 1 : 2); ++k) {
            const Grid& g = grids[k];
            const bool spots = k == 1;
            auto info = gridInfo(g.frames, size_t(g.columns) * g.rows);
            if (!info || (spots && (info->format != MVFourCC("png ") || info->depth != 40)))
                return fail(spots
                        ? "A node's hot-spot pictures must be 8-bit grey PNG pictures of one size that "
                          "fill its grid."
                        : "A node's pictures must be PNG or JPEG pictures of one size that fill its grid.");
            *g.dataColumns = g.columns;
            *g.dataRows = g.rows;
            *g.width = uint32_t(info->width) * g.columns;
            *g.height = uint32_t(info->height) * g.rows;
            if (cubic && *g.height != *g.width * 6)
                return fail("A cubic node's pictures must be six square faces in one column.");
            if (!addFrames(spots ? *hotspotTrack : *imageTrack, g.frames, *info, time, outError))
                return nullptr;
            maxCellWidth = std::max(maxCellWidth, info->width);
            maxCellHeight = std::max(maxCellHeight, info->height);
        }

        auto nodeMedia = nodeTrack->media();
        if (nodeMedia->addSample(MVSerializeNodeInformation(n.information), kNodeDuration, 1,
                MVSampleDescriptionBytes(nodeDescription), 0, outError)
            < 0)
            return nullptr;
        auto panoMedia = panoTrack->media();
        if (panoMedia->addSample(MVSerializePanoramaSample(d), kNodeDuration, 1,
                MVSampleDescriptionBytes(panoDescription), 0, outError)
            < 0)
            return nullptr;
        time += kNodeDuration;
    }
    nodeTrack->insertMedia(0, 0, nodeTrack->media()->duration());
    panoTrack->insertMedia(0, 0, panoTrack->media()->duration());
    imageTrack->setDimensions(maxCellWidth, maxCellHeight);
    if (hotspotTrack)
        hotspotTrack->setDimensions(maxCellWidth, maxCellHeight);
    panoTrack->setReference(imageTrack, MVPanoramaImageReference, 1);
    if (hotspotTrack) {
        if (hotspotTrack->duration() < time)
            hotspotTrack->insertEmptySegment(hotspotTrack->duration(), time - hotspotTrack->duration());
        panoTrack->setReference(hotspotTrack, MVPanoramaHotspotReference, 1);
    }
    movie->setChanged(false);
    return movie;
}
