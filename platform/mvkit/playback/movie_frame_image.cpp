#include "platform/mvkit/playback/movie_frame_image.h"

#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/video_track_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

std::shared_ptr<HXImage> MVMovieFrameImageAtTime(
    const std::shared_ptr<MVMovie>& movie, MVTime time, HXSize size, MVApertureMode mode, HXError* outError)
{
    if (!movie || !MVTimeIsNumeric(time))
        return nullptr;
    if (size.width <= 0 || size.height <= 0) {
        auto [w, h] = movie->naturalSize();
        size = HXMakeSize(w, h);
    }
    const int width = int(std::lround(size.width)), height = int(std::lround(size.height));
    const int64_t at = MVTimeInScaleFloor(time, movie->timeScale()).timeValue;

    std::vector<std::shared_ptr<MVTrack>> visuals;
    for (const auto& track : movie->tracks())
        if (track->isEnabled() && track->mediaType() == MVFourCC("vide"))
            visuals.push_back(track);
    std::stable_sort(
        visuals.begin(), visuals.end(), [](const auto& a, const auto& b) { return a->layer() > b->layer(); });

    std::shared_ptr<HXBitmapImageRep> rep;
    MVFrameConverter converter;
    converter.setHighQuality(true);
    MVImageBuffer buffer;
    for (const auto& track : visuals) {
        auto decoder = MVVideoTrackDecoder::decoderWithSource(
            std::make_shared<MVMediaSampleSource>(*track), outError, 1);
        if (!decoder)
            continue;
        auto frame = decoder->frameAtTime(at, outError);
        if (!frame)
            continue;
        if (width < 1 || height < 1)
            return nullptr;
        const auto& descriptions = track->media()->sampleDescriptions();
        MVApertureGeometry geometry;
        if (!descriptions.empty())
            geometry = MVApertureGeometryForDescription(
                descriptions.front(), frame->width(), frame->height(), mode);
        else
            geometry.cropWidth = frame->width(), geometry.cropHeight = frame->height();
        if (!converter.convert(*frame, geometry, width, height, buffer))
            continue;
        if (!rep && !(rep = HXBitmapImageRep::initWithSize(width, height)))
            return nullptr;
        unsigned char* pixels = rep->bitmapData();
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels + size_t(y) * rep->bytesPerRow(),
                buffer.pixels.data() + size_t(y) * size_t(buffer.bytesPerRow), size_t(width) * 4);
    }
    if (!rep)
        return nullptr;
    rep->markDirty();
    return HXImage::initWithBitmapImageRep(rep);
}
