#pragma once
// Composing the pictures of several visual tracks into the movie's picture.
//
// Each track's picture fills the track's box (0, 0, width, height), which its matrix places in movie
// space; the movie's picture is the part of movie space its box covers. Pictures are drawn back to
// front (the track of the highest layer first) with the track's graphics mode: copy (also dither
// copy and composition), blend (each channel weighed by the operation colour), transparent (pixels of
// the operation colour are left out), and the alpha modes (drawn over what is behind them by their
// alpha; straight alpha blend also weighed by the operation colour). A track's mask, stretched over its
// box, lets the picture show where it is light and hides it where it is dark, in every mode.
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/playback/frame_converter.h"

#include <array>
#include <cstdint>
#include <span>

typedef struct _cairo_surface cairo_surface_t;

// Graphics modes of the video media header.
enum MVGraphicsMode : uint16_t {
    MVGraphicsModeCopy = 0x0000,
    MVGraphicsModeDitherCopy = 0x0040,
    MVGraphicsModeBlend = 0x0020,
    MVGraphicsModeTransparent = 0x0024,
    MVGraphicsModeStraightAlpha = 0x0100,
    MVGraphicsModePremulWhiteAlpha = 0x0101,
    MVGraphicsModePremulBlackAlpha = 0x0102,
    MVGraphicsModeComposition = 0x0103,
    MVGraphicsModeStraightAlphaBlend = 0x0104,
};

// A 2-D affine transform as the movie file's matrix holds it (row vectors): x' = a·x + c·y + tx,
// y' = b·x + d·y + ty, in movie space (y down).
struct MVAffine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const MVAffine&) const = default;
    // No turn, no shear and no flip: the box stays an upright rectangle the same way round.
    bool isUprightScale() const { return b == 0 && c == 0 && a > 0 && d > 0; }
};
// The matrix record's transform (16.16 entries; the perspective column is ignored).
MVAffine MVAffineForMatrixRecord(const MVMatrixRecord& matrix);

struct MVPictureBox {
    double x = 0, y = 0, width = 0, height = 0;
    bool isEmpty() const { return !(width > 0 && height > 0); }
    bool operator==(const MVPictureBox&) const = default;
};
// The bounding box of the track box `width` × `height` under `matrix`.
MVPictureBox MVPictureBoxForTrack(double width, double height, const MVAffine& matrix);
MVPictureBox MVPictureBoxUnion(const MVPictureBox& a, const MVPictureBox& b);

struct MVCompositedPicture {
    const MVImageBuffer* image = nullptr; // the track's picture at any size, stretched over its box
    double trackWidth = 0;
    double trackHeight = 0;
    MVAffine matrix;
    uint16_t graphicsMode = MVGraphicsModeCopy;
    std::array<uint16_t, 3> opColor { 0x8000, 0x8000, 0x8000 }; // red, green, blue
    const MVImageBuffer* mask = nullptr; // B, G, R, A like the pictures; its luminance is the coverage
};

// Draws `pictures` (back to front) onto `canvas` (a Cairo ARGB32 image surface), the rectangle `box`
// of movie space filling the canvas. What no picture covers is left as it was.
void MVComposePictures(
    cairo_surface_t* canvas, const MVPictureBox& box, std::span<const MVCompositedPicture> pictures);
