#include "platform/vckit/composition_movie_export.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <memory>

namespace {

HXError renderError(const std::string& text)
{
    return HXError::withDescription(VCCompositionErrorDomain, VCCompositionRenderError, text);
}

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

} // namespace

bool VCCompositionWriteMovieFile(const VCComposition& composition, const std::string& moviePath,
    unsigned width, unsigned height, double seconds, HXError* outError, bool safeMode)
{
    auto fail = [&](const std::string& text) {
        if (outError)
            *outError = renderError(text);
        return false;
    };
    if (!(seconds > 0) || seconds > VCCompositionMovieMaximumDuration)
        return fail("The length of the movie is not valid.");
    if (width == 0)
        width = unsigned(std::lround(composition.canvasSize().width));
    if (height == 0)
        height = unsigned(std::lround(composition.canvasSize().height));
    if (width > 8192 || height > 8192)
        return fail("The movie would be too large.");
    int w = std::max(2, int(width) & ~1), h = std::max(2, int(height) & ~1);

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!codec)
        return fail("No picture encoder is available.");
    std::unique_ptr<AVCodecContext, CodecDeleter> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return fail("Out of memory.");
    context->width = w;
    context->height = h;
    context->pix_fmt = AV_PIX_FMT_YUVJ420P;
    context->time_base = AVRational { 1, int(VCCompositionMovieFrameRate) };
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * 3;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return fail("The picture encoder cannot be opened.");
    frame->format = context->pix_fmt;
    frame->width = w;
    frame->height = h;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return fail("Out of memory.");
    // Full-range 4:2:0, as the JPEG frames carry it.
    std::unique_ptr<SwsContext, ScaleDeleter> scale(sws_getContext(
        w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (scale) {
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(scale.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    if (!scale || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return fail("Out of memory.");

    const int32_t timeScale = 600;
    const int64_t frameDuration = int64_t(timeScale / VCCompositionMovieFrameRate);
    auto movie = MVMovie::movie();
    movie->setTimeScale(timeScale);
    auto track = movie->newTrack(MVFourCC("vide"), timeScale, w, h);
    MVVideoSampleDescription video;
    video.width = uint16_t(w);
    video.height = uint16_t(h);
    video.temporalQuality = 0;
    video.spatialQuality = 0x200;
    video.compressorName = "Photo - JPEG";
    MVSampleDescription description;
    description.format = MVFourCC("jpeg");
    description.data = MVSerializeVideoSampleDescription(video);
    MVBytes descriptionBytes = MVSampleDescriptionBytes(description);
    auto media = track->media();

    const int64_t frameCount = std::max<int64_t>(1, std::llround(seconds * VCCompositionMovieFrameRate));
    auto drain = [&]() -> bool {
        for (;;) {
            int r = avcodec_receive_packet(context.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            MVBytes bytes(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
            if (media->addSample(bytes, frameDuration, 1, descriptionBytes, 0, outError) < 0)
                return false;
        }
    };
    media->beginEdits();
    for (int64_t i = 0; i < frameCount; ++i) {
        cairo_t* cr = cairo_create(surface.get());
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        composition.renderAtTime(
            cr, HXMakeRect(0, 0, w, h), double(i) / VCCompositionMovieFrameRate, safeMode);
        cairo_destroy(cr);
        cairo_surface_flush(surface.get());
        const uint8_t* source[1] = { cairo_image_surface_get_data(surface.get()) };
        int stride[1] = { cairo_image_surface_get_stride(surface.get()) };
        if (av_frame_make_writable(frame.get()) < 0)
            return fail("Out of memory.");
        sws_scale(scale.get(), source, stride, 0, h, frame->data, frame->linesize);
        frame->pts = i;
        if (avcodec_send_frame(context.get(), frame.get()) < 0 || !drain())
            return fail("A frame of the composition could not be encoded.");
    }
    if (avcodec_send_frame(context.get(), nullptr) < 0 || !drain())
        return fail("A frame of the composition could not be encoded.");
    media->endEdits();
    if (!track->insertMedia(0, 0, media->duration()))
        return fail("The movie could not be made.");
    HXError writeError;
    if (!movie->writeToFile(moviePath, {}, &writeError)) {
        if (outError)
            *outError = writeError;
        return false;
    }
    return true;
}

bool VCCompositionFileWriteMovieFile(const std::string& compositionPath, const std::string& moviePath,
    unsigned width, unsigned height, double seconds, HXError* outError)
{
    auto composition = VCComposition::compositionWithFile(compositionPath, outError);
    return composition
        && VCCompositionWriteMovieFile(*composition, moviePath, width, height, seconds, outError);
}
