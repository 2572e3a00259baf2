#include "platform/mvkit/playback/frame_converter.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// How far past the end of a line libswscale's converters may write (blocks of up to 32 pixels of 4 bytes,
// and then some).
constexpr size_t kLineOverrun = 256;

uint32_t be32(const MVBytes& b, size_t at)
{
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
}

} // namespace

MVApertureGeometry MVApertureGeometryForDescription(
    const MVSampleDescription& description, int codedWidth, int codedHeight, MVApertureMode mode)
{
    MVApertureGeometry g;
    g.cropWidth = g.displayWidth = std::max(0, codedWidth);
    g.cropHeight = g.displayHeight = std::max(0, codedHeight);
    if (mode == MVApertureMode::Classic || mode == MVApertureMode::EncodedPixels || codedWidth <= 0
        || codedHeight <= 0)
        return g;
    double aspect = 1.0;
    if (auto pasp = MVSampleDescriptionExtension(description, MVFourCC("pasp")); pasp && pasp->size() >= 8) {
        uint32_t h = be32(*pasp, 0), v = be32(*pasp, 4);
        if (h > 0 && v > 0)
            aspect = double(h) / v;
    }
    if (mode == MVApertureMode::Clean) {
        if (auto clap = MVSampleDescriptionExtension(description, MVFourCC("clap"));
            clap && clap->size() >= 32) {
            auto ratio = [&](size_t at) -> std::optional<double> {
                int32_t n = int32_t(be32(*clap, at));
                int32_t d = int32_t(be32(*clap, at + 4));
                if (d <= 0)
                    return std::nullopt;
                return double(n) / d;
            };
            auto w = ratio(0), h = ratio(8), x = ratio(16), y = ratio(24);
            if (w && h && x && y && *w > 0 && *h > 0 && *w <= codedWidth && *h <= codedHeight) {
                double left = (codedWidth - *w) / 2 + *x;
                double top = (codedHeight - *h) / 2 + *y;
                if (left >= 0 && top >= 0 && left + *w <= codedWidth && top + *h <= codedHeight) {
                    g.cropX = left, g.cropY = top, g.cropWidth = *w, g.cropHeight = *h;
                }
            }
        }
    }
    g.displayWidth = g.cropWidth * aspect;
    g.displayHeight = g.cropHeight;
    return g;
}

MVFrameConverter::~MVFrameConverter()
{
    sws_freeContext(_sws);
}

bool MVFrameConverter::convert(const MVDecodedFrame& frame, MVImageBuffer& out)
{
    MVApertureGeometry g;
    g.cropWidth = g.displayWidth = frame.width();
    g.cropHeight = g.displayHeight = frame.height();
    return convert(frame, g, frame.width(), frame.height(), out);
}

bool MVFrameConverter::convert(const MVDecodedFrame& decoded, const MVApertureGeometry& geometry, int width,
    int height, MVImageBuffer& out)
{
    const AVFrame* frame = decoded.avFrame();
    if (width < 1 || height < 1 || frame->width < 1 || frame->height < 1 || frame->format < 0)
        return false;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL))
        return false;
    // The crop, on whole chroma samples so every plane's pointer moves by whole samples.
    const int stepX = 1 << desc->log2_chroma_w, stepY = 1 << desc->log2_chroma_h;
    int cropX = std::clamp(int(geometry.cropX) / stepX * stepX, 0, frame->width - 1);
    int cropY = std::clamp(int(geometry.cropY) / stepY * stepY, 0, frame->height - 1);
    int cropW = std::clamp(int(std::lround(geometry.cropWidth)), 1, frame->width - cropX);
    int cropH = std::clamp(int(std::lround(geometry.cropHeight)), 1, frame->height - cropY);
    if (geometry.cropWidth <= 0 || geometry.cropHeight <= 0)
        cropX = cropY = 0, cropW = frame->width, cropH = frame->height;

    const uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int p = 0; p < 4 && frame->data[p]; ++p) {
        int shiftX = (p == 1 || p == 2) ? desc->log2_chroma_w : 0;
        int shiftY = (p == 1 || p == 2) ? desc->log2_chroma_h : 0;
        int pixelStep = desc->comp[0].step;
        for (int c = 0; c < desc->nb_components; ++c)
            if (desc->comp[c].plane == p)
                pixelStep = desc->comp[c].step;
        planes[p] = frame->data[p] + ptrdiff_t(cropY >> shiftY) * frame->linesize[p]
            + ptrdiff_t(cropX >> shiftX) * pixelStep;
        strides[p] = frame->linesize[p];
    }
    int sourceHeight = cropH;
    if (_singleField && cropH >= 2 * stepY) {
        // Every other line: the first field, at half the height.
        for (int p = 0; p < 4; ++p)
            strides[p] *= 2;
        sourceHeight = cropH / 2;
    }
    const int flags = _highQuality ? (SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT) : SWS_BILINEAR;
    _sws = sws_getCachedContext(_sws, cropW, sourceHeight, AVPixelFormat(frame->format), width, height,
        AV_PIX_FMT_BGRA, flags, nullptr, nullptr, nullptr);
    if (!_sws)
        return false;
    // YUV pictures tagged BT.709 (or in full range) are read so; untagged ones as BT.601, as players
    // and libswscale read them.
    const std::array<int, 8> colorKey { cropW, sourceHeight, frame->format, width, height, flags,
        int(frame->colorspace), int(frame->color_range) };
    const bool newContext = colorKey != _colorKey;
    if (newContext) {
        _colorKey = colorKey;
        _alphaFilled = false;
    }
    if (newContext && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3) {
        int* inverse = nullptr;
        int* table = nullptr;
        int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
        if (sws_getColorspaceDetails(_sws, &inverse, &sourceRange, &table, &destinationRange, &brightness,
                &contrast, &saturation)
            >= 0) {
            const int space = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
            const bool full = sourceRange || frame->color_range == AVCOL_RANGE_JPEG;
            sws_setColorspaceDetails(_sws, sws_getCoefficients(space), full ? 1 : 0, table, destinationRange,
                brightness, contrast, saturation);
        }
    }
    out.width = width;
    out.height = height;
    out.bytesPerRow = width * 4;
    // Every byte is written below: a buffer used again is not cleared first. libswscale writes a line in
    // blocks of pixels, some past the line's end: the buffer holds room for that after the last line
    // (which a buffer of exactly the picture's size would not, and the heap after it would be overwritten).
    const size_t bytes = size_t(out.bytesPerRow) * size_t(height);
    if (out.pixels.capacity() < bytes + kLineOverrun) {
        std::vector<uint8_t> larger;
        larger.reserve(bytes + kLineOverrun);
        out.pixels.swap(larger);
    }
    out.pixels.resize(bytes);
    // Until libswscale is seen to fill the alpha of this context, none is left from an earlier picture.
    const bool checkAlpha = !(desc->flags & AV_PIX_FMT_FLAG_ALPHA) && !_alphaFilled;
    if (checkAlpha)
        for (size_t i = 3; i < out.pixels.size(); i += 4)
            out.pixels[i] = 0;
    uint8_t* dst[4] = { out.pixels.data(), nullptr, nullptr, nullptr };
    int dstStrides[4] = { out.bytesPerRow, 0, 0, 0 };
    if (sws_scale(_sws, planes, strides, 0, sourceHeight, dst, dstStrides) <= 0)
        return false;
    // Pictures without alpha come out opaque. libswscale fills the alpha of most conversions itself:
    // once a context has been seen to, its pictures are not gone over again.
    if (checkAlpha) {
        uint8_t* bytes = out.pixels.data();
        const size_t count = out.pixels.size() / 4;
        bool opaque = true;
        for (size_t i = 0; i < count; ++i)
            opaque = opaque && bytes[i * 4 + 3] == 0xFF;
        if (opaque) {
            _alphaFilled = true;
        } else {
            for (size_t i = 0; i < count; ++i)
                bytes[i * 4 + 3] = 0xFF;
        }
    }
    if (_deinterlace && !_singleField && frame->interlaced_frame)
        blendFields(out);
    if (!_adjustments.isNeutral())
        applyAdjustments(_adjustments, out);
    return true;
}

void MVFrameConverter::blendFields(MVImageBuffer& image)
{
    // Each row becomes the average of itself and the row below: both fields in every row.
    for (int y = 0; y + 1 < image.height; ++y) {
        uint8_t* row = image.pixels.data() + size_t(y) * size_t(image.bytesPerRow);
        const uint8_t* below = row + image.bytesPerRow;
        for (int x = 0; x < image.width * 4; ++x)
            row[x] = uint8_t((row[x] + below[x] + 1) / 2);
    }
}

void MVFrameConverter::applyAdjustments(const MVPictureAdjustments& a, MVImageBuffer& image)
{
    // One affine map in RGB: hue rotation about the grey axis and saturation (Rec. 709 luma weights),
    // then contrast around mid-grey, then brightness.
    const double wr = 0.2126, wg = 0.7152, wb = 0.0722;
    const double s = std::max(0.0f, a.saturation);
    const double angle = a.hue * M_PI / 180.0;
    const double cosA = std::cos(angle), sinA = std::sin(angle);
    // Hue rotation matrix (the usual luminance-preserving form).
    const double h[3][3] = {
        { wr + cosA * (1 - wr) + sinA * -wr, wg + cosA * -wg + sinA * -wg,
            wb + cosA * -wb + sinA * (1 - wb) },
        { wr + cosA * -wr + sinA * 0.143, wg + cosA * (1 - wg) + sinA * 0.140,
            wb + cosA * -wb + sinA * -0.283 },
        { wr + cosA * -wr + sinA * -(1 - wr), wg + cosA * -wg + sinA * wg, wb + cosA * (1 - wb) + sinA * wb },
    };
    const double w[3] = { wr, wg, wb };
    const double c = std::max(0.0f, a.contrast);
    std::array<std::array<float, 4>, 3> m {};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double hs = 0; // (saturation × hue)[i][j]
            for (int k = 0; k < 3; ++k)
                hs += ((1 - s) * w[k] + (i == k ? s : 0)) * h[k][j];
            m[size_t(i)][size_t(j)] = float(hs * c);
        }
        m[size_t(i)][3] = float((0.5 - 0.5 * c + a.brightness) * 255.0);
    }
    for (size_t p = 0; p + 3 < image.pixels.size(); p += 4) {
        // Memory order B, G, R.
        const float r = image.pixels[p + 2], g = image.pixels[p + 1], b = image.pixels[p];
        const float alpha = image.pixels[p + 3];
        float out[3];
        for (int i = 0; i < 3; ++i)
            out[i] = std::clamp(m[size_t(i)][0] * r + m[size_t(i)][1] * g + m[size_t(i)][2] * b
                    + m[size_t(i)][3] * (alpha / 255.0f),
                0.0f, alpha);
        image.pixels[p + 2] = uint8_t(std::lround(out[0]));
        image.pixels[p + 1] = uint8_t(std::lround(out[1]));
        image.pixels[p] = uint8_t(std::lround(out[2]));
    }
}
