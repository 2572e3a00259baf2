#pragma once
// HXBitmapImageRep: pixels in memory. The pixels live in a cairo ARGB32 image surface (premultiplied,
// native-endian 32-bit words), so a representation can be drawn, drawn into and handed to cairo directly.
// Pixel access below speaks straight (non-premultiplied) RGBA with row 0 at the top.
#include "platform/basekit/error.h"
#include "platform/drawing/color.h"
#include "platform/drawing/geometry.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXGraphicsContext;

struct HXRGBAPixel {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const HXRGBAPixel&) const = default;
};

enum class HXBitmapImageFileType { PNG };

class HXBitmapImageRep {
public:
    // Largest width or height accepted, in pixels (keeps a bad size from asking for gigabytes).
    static constexpr int maximumPixelExtent = 32767;

    // A transparent bitmap; null when a side is not positive or above maximumPixelExtent.
    static std::shared_ptr<HXBitmapImageRep> initWithSize(int pixelsWide, int pixelsHigh);
    // A copy of RGBA pixels (4 bytes a pixel, rows top first, `bytesPerRow` apart, at least 4 × width);
    // `premultiplied` says whether the colour is already multiplied by alpha. Null for bad arguments.
    static std::shared_ptr<HXBitmapImageRep> initWithRGBAData(
        const uint8_t* data, int pixelsWide, int pixelsHigh, size_t bytesPerRow, bool premultiplied = false);
    // Decodes PNG bytes; null (and an HXFileReadCorruptFileError) for anything else.
    static std::shared_ptr<HXBitmapImageRep> imageRepWithData(const HXData& data, HXError* error = nullptr);
    // Reads a PNG file; null and an error (no such file, or corrupt) when that fails.
    static std::shared_ptr<HXBitmapImageRep> imageRepWithContentsOfFile(
        const std::string& path, HXError* error = nullptr);
    // Wraps an image surface (ARGB32 shared as it stands; other formats copied into ARGB32). Null for a
    // surface that is not an image surface or is in an error state.
    static std::shared_ptr<HXBitmapImageRep> imageRepWithCairoSurface(cairo_surface_t* surface);

    ~HXBitmapImageRep();
    HXBitmapImageRep(const HXBitmapImageRep&) = delete;
    HXBitmapImageRep& operator=(const HXBitmapImageRep&) = delete;
    std::shared_ptr<HXBitmapImageRep> copy() const;

    int pixelsWide() const;
    int pixelsHigh() const;
    size_t bytesPerRow() const;
    int samplesPerPixel() const { return 4; }
    int bitsPerSample() const { return 8; }
    int bitsPerPixel() const { return 32; }
    bool hasAlpha() const { return true; }

    // Size in points: the pixel size unless set otherwise (a 2× bitmap is half its pixel size).
    HXSize size() const { return _size; }
    void setSize(const HXSize& size) { _size = size; }

    // Straight RGBA of one pixel, (0, 0) the top-left; out of range reads transparent black and writes
    // nothing.
    HXRGBAPixel pixelAt(int x, int y) const;
    void setPixel(const HXRGBAPixel& pixel, int x, int y);
    // The same as colours in device RGB; colorAtX gives nullopt out of range.
    std::optional<HXColor> colorAtX(int x, int y) const;
    void setColor(const HXColor& color, int x, int y);
    // All pixels as tightly packed straight RGBA, rows top first.
    std::vector<uint8_t> RGBAData() const;

    // Raw premultiplied ARGB32 words, row after row `bytesPerRow` apart. Call markDirty after changing them.
    unsigned char* bitmapData();
    void markDirty();

    // Encoded forms. PNG (straight RGBA, 8 bits a sample) reads back to the very pixels written.
    std::optional<HXData> representationUsingType(HXBitmapImageFileType type) const;
    // Writes PNG to `path` through a temporary file in the same folder, renamed over the target only when
    // complete; on failure nothing is left behind and `error` tells why.
    bool writeToFile(const std::string& path, HXError* error = nullptr) const;

    // The surface, for drawing it with cairo (the counterpart of an image object of the window server).
    cairo_surface_t* cairoSurface() const { return _surface; }
    // A context drawing into the bitmap: origin at the bottom left unless flipped, scaled so that the
    // context's size in points is size().
    std::shared_ptr<HXGraphicsContext> graphicsContext(bool flipped = false);

private:
    explicit HXBitmapImageRep(cairo_surface_t* surface);

    cairo_surface_t* _surface = nullptr;
    HXSize _size;
};
