#pragma once
// MVFrameConverter: decoded pictures to 32-bit images for drawing, through libswscale, with the
// picture adjustments and the aperture of the sample description applied.
//
// Images are 8-bit B, G, R, A bytes in memory order (premultiplied; video is opaque), rows
// `bytesPerRow` apart: the layout of a Cairo ARGB32 surface on a little-endian machine.
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/playback/decoder.h"

#include <array>
#include <cstdint>
#include <vector>

struct SwsContext;

struct MVImageBuffer {
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
    std::vector<uint8_t> pixels;
};

// Brightness −1…1 (added), contrast ≥ 0 (around mid-grey), saturation ≥ 0, hue in degrees; the neutral
// values change nothing.
struct MVPictureAdjustments {
    float brightness = 0;
    float contrast = 1;
    float saturation = 1;
    float hue = 0;
    bool isNeutral() const { return brightness == 0 && contrast == 1 && saturation == 1 && hue == 0; }
    bool operator==(const MVPictureAdjustments&) const = default;
};

// How the stored picture maps to the picture shown: classic and encoded-pixels show every coded
// pixel as a square; production applies the pixel aspect ratio ('pasp'); clean also crops to the clean
// aperture ('clap').
enum class MVApertureMode { Classic, Clean, Production, EncodedPixels };

struct MVApertureGeometry {
    // The part of the coded picture shown.
    double cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
    // Its size on screen.
    double displayWidth = 0, displayHeight = 0;
};

// The geometry of a picture of `codedWidth` × `codedHeight` under `mode`, from the description's
// 'clap' and 'pasp' atoms (ignored when absent or invalid).
MVApertureGeometry MVApertureGeometryForDescription(
    const MVSampleDescription& description, int codedWidth, int codedHeight, MVApertureMode mode);

class MVFrameConverter {
public:
    MVFrameConverter() = default;
    ~MVFrameConverter();
    MVFrameConverter(const MVFrameConverter&) = delete;
    MVFrameConverter& operator=(const MVFrameConverter&) = delete;

    // High quality: bicubic scaling with accurate rounding; otherwise bilinear.
    void setHighQuality(bool flag) { _highQuality = flag; }
    bool highQuality() const { return _highQuality; }
    // Blend the two fields of interlaced pictures into one.
    void setDeinterlace(bool flag) { _deinterlace = flag; }
    bool deinterlace() const { return _deinterlace; }
    // Show one field only (the first), each of its lines twice as high.
    void setSingleField(bool flag) { _singleField = flag; }
    bool singleField() const { return _singleField; }
    void setAdjustments(const MVPictureAdjustments& adjustments) { _adjustments = adjustments; }
    const MVPictureAdjustments& adjustments() const { return _adjustments; }

    // The part `geometry` crops of `frame`, scaled to `width` × `height`. False for a frame that is not
    // a picture or a size below 1.
    bool convert(const MVDecodedFrame& frame, const MVApertureGeometry& geometry, int width, int height,
        MVImageBuffer& out);
    // The whole frame at its coded size.
    bool convert(const MVDecodedFrame& frame, MVImageBuffer& out);

    // The adjustments applied to an image in place (exposed for tests and still images).
    static void applyAdjustments(const MVPictureAdjustments& adjustments, MVImageBuffer& image);
    static void blendFields(MVImageBuffer& image);

private:
    SwsContext* _sws = nullptr;
    // The context's settings when its colours were last set up.
    std::array<int, 8> _colorKey {};
    // This context's pictures came out of libswscale opaque already.
    bool _alphaFilled = false;
    bool _highQuality = false;
    bool _deinterlace = false;
    bool _singleField = false;
    MVPictureAdjustments _adjustments;
};
