#include "platform/mvkit/export/jpeg_encoder.h"

#include "platform/drawing/bitmap_image_rep.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

std::optional<HXData> MVJPEGRepresentationOfBitmap(const HXBitmapImageRep& bitmap, double compression)
{
    int w = bitmap.pixelsWide(), h = bitmap.pixelsHigh();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (w <= 0 || h <= 0 || !codec)
        return std::nullopt;
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* sws = nullptr;
    std::optional<HXData> out;
    do {
        if (!enc || !frame || !packet)
            break;
        enc->width = w;
        enc->height = h;
        enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
        enc->time_base = { 1, 25 };
        // The quantiser scale: 2 (best) to 31 (smallest).
        double q = 2 + (1 - std::clamp(compression, 0.0, 1.0)) * 29;
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = int(std::lround(q * FF_QP2LAMBDA));
        if (avcodec_open2(enc, codec, nullptr) < 0)
            break;
        frame->format = enc->pix_fmt;
        frame->width = w;
        frame->height = h;
        frame->quality = enc->global_quality;
        if (av_frame_get_buffer(frame, 0) < 0)
            break;
        std::vector<uint8_t> rgba = bitmap.RGBAData();
        sws = sws_getContext(
            w, h, AV_PIX_FMT_RGBA, w, h, enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!sws)
            break;
        const uint8_t* src[1] = { rgba.data() };
        int srcStride[1] = { 4 * w };
        sws_scale(sws, src, srcStride, 0, h, frame->data, frame->linesize);
        if (avcodec_send_frame(enc, frame) < 0 || avcodec_send_frame(enc, nullptr) < 0)
            break;
        if (avcodec_receive_packet(enc, packet) < 0)
            break;
        out = HXData(std::vector<uint8_t>(packet->data, packet->data + packet->size));
    } while (false);
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    return out;
}
