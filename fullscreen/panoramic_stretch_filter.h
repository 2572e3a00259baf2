#pragma once
// MVPPanoramicStretchFilter: squeezes the middle of a picture and leaves its edges, so that once the movie
// view stretches the picture over a wider display the middle keeps its true proportions and the stretch is
// carried by the edges.
//
// Per axis, an output coordinate p takes the source at
//     f(p) = c + (p - c) × (s + (1 - s) × |u|^e),   u = (p - c) / d limited to -1 ... 1,
// with the centre c, the half extent d of the affected zone, the scale s at the centre and the fall-off
// exponent e. For s > 1 the formula turns back on itself near the edges once s > 1 + 1/e (a 4:3 movie on
// a 16:9 display already has s = 1.33, a square one 1.78): the picture would fold over into mirrored
// bands. The exponent is therefore lowered to 1 / (s - 1) where needed, which keeps f rising everywhere
// while the centre, the scale at the centre and the edges stay as they are. An axis whose inputs cannot
// describe a mapping (no zone, a scale or exponent that is not positive, anything not finite) is left as
// it is.
//
// The mapping is separable, so a frame is remapped with one source position per column and one per row,
// sampled bilinearly (clamped at the edges). Pixels are 32-bit words of four 8-bit channels in any order,
// premultiplied or not: every channel is interpolated alike.
#include "platform/basekit/property_list.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

inline constexpr const char* MVPPanoramicStretchFilterName = "MVPPanoramicStretch";
inline constexpr const char* MVPPanoramicStretchFilterInputImageKey = "inputImage";
inline constexpr const char* MVPPanoramicStretchFilterOutputImageKey = "outputImage";
inline constexpr const char* MVPPanoramicStretchFilterInputCenterKey = "inputCenter";
inline constexpr const char* MVPPanoramicStretchFilterInputDistanceKey = "inputDistance";
inline constexpr const char* MVPPanoramicStretchFilterInputScaleKey = "inputScale";
inline constexpr const char* MVPPanoramicStretchFilterInputIntensityKey = "inputIntensity";

// The intensity the presentation uses, the square root of 2 as a 32-bit float.
inline constexpr double MVPPanoramicStretchDefaultIntensity = double(1.4142135f);

// The inputs of one axis.
struct MVPPanoramicStretchAxis {
    double center = 0;
    double distance = 0;
    double scale = 1;
    double intensity = MVPPanoramicStretchDefaultIntensity;

    // Whether the axis maps anything: a usable zone and scale, and a scale other than 1.
    bool isIdentity() const;
    // The exponent actually used (see above).
    double effectiveIntensity() const;
    // f(p), in double precision.
    double map(double p) const;
};

// Remaps a frame of `width` × `height` pixels (rows top first, `srcBytesPerRow` / `dstBytesPerRow` apart)
// into a destination of the same size. Coordinates are those of the picture with its origin at the
// bottom left, pixel centres at half-integers.
void MVPPanoramicStretchApply(const uint8_t* src, size_t srcBytesPerRow, uint8_t* dst, size_t dstBytesPerRow,
    int width, int height, const MVPPanoramicStretchAxis& x, const MVPPanoramicStretchAxis& y);

class MVPPanoramicStretchFilter {
public:
    // The inputs start at their attribute defaults.
    MVPPanoramicStretchFilter();

    // The input attributes: per input its type ("HIAttributeTypePosition" or "HIAttributeTypeOffset"),
    // identity (when it has one) and default, each vector as an array of two reals.
    static HXPropertyList customAttributes();

    // Inputs by key: the four vectors (x, y), and the image. Unknown keys are ignored.
    void setValueForKey(const HXPoint& vector, const std::string& key);
    void setValueForKey(const std::shared_ptr<HXBitmapImageRep>& image, const std::string& key);
    HXPoint inputCenter() const { return _inputCenter; }
    HXPoint inputDistance() const { return _inputDistance; }
    HXPoint inputScale() const { return _inputScale; }
    HXPoint inputIntensity() const { return _inputIntensity; }
    const std::shared_ptr<HXBitmapImageRep>& inputImage() const { return _inputImage; }

    // The four vectors under their input keys, as the region callback receives them.
    HXPropertyList userInfo() const;
    // The part of the source that the destination rectangle `destRect` needs: its edges mapped through
    // the axes described by `userInfo`, in single precision.
    static HXRect regionOf(int sampler, const HXRect& destRect, const HXPropertyList& userInfo);

    // The filtered picture, the size of the input; null without an input image.
    std::shared_ptr<HXBitmapImageRep> outputImage() const;

private:
    std::shared_ptr<HXBitmapImageRep> _inputImage;
    HXPoint _inputCenter { 150, 150 };
    HXPoint _inputScale { 1, 1 };
    HXPoint _inputIntensity { MVPPanoramicStretchDefaultIntensity, MVPPanoramicStretchDefaultIntensity };
    HXPoint _inputDistance { 150, 150 };
};

// The inputs a presentation sets for each frame: centre the middle of the picture's extent, distance half
// the extent, scale the view's stretch across relative to up ((view w / natural w) / (view h / natural h),
// 1), intensity the square root of 2. A natural or view size without area gives the identity scale.
void MVPPanoramicStretchSetInputsForFrame(
    MVPPanoramicStretchFilter& filter, HXSize extent, HXSize viewSize, HXSize naturalSize);
