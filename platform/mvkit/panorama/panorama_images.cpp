#include "platform/mvkit/panorama/panorama_images.h"

#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/node.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/video_track_decoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <cstring>

namespace {

// No panorama needs more than this many pixels per picture (a 16384 × 8192 cylinder); larger ones are
// damage or a denial of memory.
constexpr int64_t kMaximumPixels = int64_t(1) << 27;
constexpr int kMaximumFrames = 256;

HXError badPanorama(const std::string& text)
{
    return HXError::withDescription(HXOSStatusErrorDomain, MVStatusBadPanorama, text);
}

std::shared_ptr<MVTrack> panoramaTrack(const MVMovie& movie)
{
    auto tracks = movie.tracksOfMediaType(MVPanoramaMediaType);
    return tracks.empty() ? nullptr : tracks.front();
}

// The frames `track` shows from `start` for `duration` movie units, in time order, at most `count`.
std::vector<std::shared_ptr<MVDecodedFrame>> framesOfNode(
    const MVTrack& track, int64_t start, int64_t duration, size_t count, HXError* outError)
{
    std::vector<std::shared_ptr<MVDecodedFrame>> frames;
    auto decoder
        = MVVideoTrackDecoder::decoderWithSource(std::make_shared<MVMediaSampleSource>(track), outError, 1);
    if (!decoder)
        return frames;
    const int64_t end = start + std::max<int64_t>(duration, 1);
    for (int64_t t = start; t < end && frames.size() < count;) {
        auto frame = decoder->frameAtTime(t, outError);
        if (!frame)
            return {};
        frames.push_back(frame);
        int64_t next = decoder->nextChangeAfter(t);
        if (next <= t)
            break;
        t = next;
    }
    return frames;
}

bool sane(uint32_t width, uint32_t height, uint16_t columns, uint16_t rows)
{
    return width > 0 && height > 0 && columns > 0 && rows > 0 && columns * rows <= kMaximumFrames
        && int64_t(width) * int64_t(height) <= kMaximumPixels && width % columns == 0 && height % rows == 0;
}

// Copies `tile` (`tileWidth` × `tileHeight` of `bytesPerPixel`) into `image` at (x, y).
void place(const uint8_t* tile, int tileStride, int tileWidth, int tileHeight, int bytesPerPixel,
    std::vector<uint8_t>& image, int imageStride, int x, int y)
{
    for (int row = 0; row < tileHeight; ++row)
        std::memcpy(image.data() + size_t(y + row) * size_t(imageStride) + size_t(x) * size_t(bytesPerPixel),
            tile + size_t(row) * size_t(tileStride), size_t(tileWidth) * size_t(bytesPerPixel));
}

// The node's picture: the frames of its grid put together. Frames of another size than a grid cell are
// scaled to it.
std::optional<MVImageBuffer> assemblePicture(const std::vector<std::shared_ptr<MVDecodedFrame>>& frames,
    uint32_t width, uint32_t height, uint16_t columns, uint16_t rows)
{
    const int cellWidth = int(width / columns), cellHeight = int(height / rows);
    MVImageBuffer image;
    image.width = int(width);
    image.height = int(height);
    image.bytesPerRow = int(width) * 4;
    image.pixels.assign(size_t(image.bytesPerRow) * height, 0);
    MVFrameConverter converter;
    converter.setHighQuality(true);
    for (size_t k = 0; k < frames.size(); ++k) {
        MVApertureGeometry g;
        g.cropWidth = frames[k]->width();
        g.cropHeight = frames[k]->height();
        g.displayWidth = cellWidth;
        g.displayHeight = cellHeight;
        MVImageBuffer cell;
        if (!converter.convert(*frames[k], g, cellWidth, cellHeight, cell))
            return std::nullopt;
        place(cell.pixels.data(), cell.bytesPerRow, cellWidth, cellHeight, 4, image.pixels, image.bytesPerRow,
            int(k % columns) * cellWidth, int(k / columns) * cellHeight);
    }
    return image;
}

// The hot-spot map: the IDs of grey or indexed pictures, as stored (no scaling may mix IDs).
std::optional<MVPanoramaSource::IDMap> assembleMap(const std::vector<std::shared_ptr<MVDecodedFrame>>& frames,
    uint32_t width, uint32_t height, uint16_t columns, uint16_t rows)
{
    const int cellWidth = int(width / columns), cellHeight = int(height / rows);
    MVPanoramaSource::IDMap map;
    map.width = int(width);
    map.height = int(height);
    map.ids.assign(size_t(width) * height, 0);
    for (size_t k = 0; k < frames.size(); ++k) {
        const AVFrame* f = frames[k]->avFrame();
        if (f->width != cellWidth || f->height != cellHeight)
            return std::nullopt;
        if (f->format != AV_PIX_FMT_GRAY8 && f->format != AV_PIX_FMT_PAL8)
            return std::nullopt;
        place(f->data[0], f->linesize[0], cellWidth, cellHeight, 1, map.ids, map.width,
            int(k % columns) * cellWidth, int(k / columns) * cellHeight);
    }
    return map;
}

// A cube's picture, six faces stacked in one column, as its faces.
template<class Picture> std::vector<Picture> cubeFaces(const Picture& whole, int bytesPerPixel);

template<> std::vector<MVImageBuffer> cubeFaces(const MVImageBuffer& whole, int)
{
    std::vector<MVImageBuffer> faces(6);
    const int side = whole.height / 6;
    for (int k = 0; k < 6; ++k) {
        MVImageBuffer& f = faces[size_t(k)];
        f.width = whole.width;
        f.height = side;
        f.bytesPerRow = whole.bytesPerRow;
        auto begin = whole.pixels.begin() + ptrdiff_t(k) * side * whole.bytesPerRow;
        f.pixels.assign(begin, begin + ptrdiff_t(side) * whole.bytesPerRow);
    }
    return faces;
}

template<> std::vector<MVPanoramaSource::IDMap> cubeFaces(const MVPanoramaSource::IDMap& whole, int)
{
    std::vector<MVPanoramaSource::IDMap> faces(6);
    const int side = whole.height / 6;
    for (int k = 0; k < 6; ++k) {
        auto& f = faces[size_t(k)];
        f.width = whole.width;
        f.height = side;
        auto begin = whole.ids.begin() + ptrdiff_t(k) * side * whole.width;
        f.ids.assign(begin, begin + ptrdiff_t(side) * whole.width);
    }
    return faces;
}

} // namespace

std::shared_ptr<MVPanoramaSource> MVLoadPanoramaSource(
    const MVMovie& movie, const MVNode& node, HXError* outError)
{
    const MVPanoramaSampleData& d = node.panorama();
    auto fail = [&](const std::string& text) -> std::shared_ptr<MVPanoramaSource> {
        if (outError)
            *outError = badPanorama(text);
        return nullptr;
    };
    auto pano = panoramaTrack(movie);
    auto images = pano ? pano->referenceTrack(MVPanoramaImageReference, int(d.imageReferenceIndex)) : nullptr;
    if (!images)
        return fail("The panorama's picture track is missing.");
    if (!sane(d.imageWidth, d.imageHeight, d.imageColumns, d.imageRows))
        return fail("The panorama's picture has an impossible size.");
    const bool cubic = d.panoramaType == MVPanoramaTypeCube;
    if (cubic && (d.imageHeight != d.imageWidth * 6))
        return fail("A cubic panorama's picture is not six square faces.");
    const size_t count = size_t(d.imageColumns) * d.imageRows;
    HXError error;
    auto frames = framesOfNode(*images, node.time(), node.duration(), count, &error);
    if (frames.size() != count) {
        if (outError)
            *outError = error.code() != 0 ? error : badPanorama("The panorama's pictures are missing.");
        return nullptr;
    }
    auto picture = assemblePicture(frames, d.imageWidth, d.imageHeight, d.imageColumns, d.imageRows);
    if (!picture)
        return fail("The panorama's pictures cannot be converted.");

    auto source = std::make_shared<MVPanoramaSource>();
    source->cubic = cubic;
    source->pan = node.panRange();
    source->tilt = node.tiltRange();
    if (cubic)
        source->faces = cubeFaces(*picture, 4);
    else
        source->faces.push_back(std::move(*picture));

    // Hot spots are an extra: without their pictures the node still shows, it just has nothing to click.
    auto spots = d.hotspotReferenceIndex > 0
        ? pano->referenceTrack(MVPanoramaHotspotReference, int(d.hotspotReferenceIndex))
        : nullptr;
    if (spots && sane(d.hotspotWidth, d.hotspotHeight, d.hotspotColumns, d.hotspotRows)
        && (!cubic || d.hotspotHeight == d.hotspotWidth * 6)) {
        const size_t spotCount = size_t(d.hotspotColumns) * d.hotspotRows;
        auto spotFrames = framesOfNode(*spots, node.time(), node.duration(), spotCount, nullptr);
        if (spotFrames.size() == spotCount)
            if (auto map
                = assembleMap(spotFrames, d.hotspotWidth, d.hotspotHeight, d.hotspotColumns, d.hotspotRows)) {
                // Values that name none of the node's hot spots are no hot spot (a grey that is not quite
                // black, say): nothing to outline or click there.
                bool known[256] = {};
                for (const auto& h : node.hotspots())
                    if (h->hotspotID() < 256)
                        known[h->hotspotID()] = true;
                for (auto& id : map->ids)
                    if (!known[id])
                        id = 0;
                if (cubic)
                    source->hotspotMaps = cubeFaces(*map, 1);
                else
                    source->hotspotMaps.push_back(std::move(*map));
            }
    }
    return source;
}
