#pragma once
// A visual track's place in the movie: its matrix as stored data, rotation and flips about the centre of
// the box it covers, its displayed size and offset, and its mask image.
//
// Matrix data is the stored 3 × 3 matrix: nine big-endian 32-bit numbers a, b, u, c, d, v, tx, ty, w
// (16.16 fixed point, u, v and w 2.30); a point (x, y) of the track goes to (a x + c y + tx, b x + d y + ty).
#include "platform/basekit/property_list.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>

class MVTrack;
class MVDataReference;

MVBytes MVMatrixData(const MVMatrixRecord& matrix);
// Nothing for data that is not 36 bytes.
std::optional<MVMatrixRecord> MVMatrixFromData(const MVBytes& data);

MVBytes MVTrackCurrentMatrixAsData(const MVTrack& track);
// The identity matrix: the track at its natural size at the movie's origin.
MVBytes MVTrackDefaultMatrixAsData();
bool MVTrackSetMatrixData(MVTrack& track, const MVBytes& data);

// Turns the track by `radians` (clockwise on the screen) about the centre of its box, or about the point
// (x, y) of the movie.
void MVTrackRotate(MVTrack& track, double radians);
void MVTrackRotateAbout(MVTrack& track, double radians, double x, double y);
// Applies the linear map (a, b, c, d) about the point (x, y) of the movie: a point at (px, py) from it goes
// to (a px + c py, b px + d py) from it.
void MVTrackTransformAbout(MVTrack& track, double a, double b, double c, double d, double x, double y);
// Mirrors the track left to right (flipX) or top to bottom (flipY) within its box.
void MVTrackFlipX(MVTrack& track);
void MVTrackFlipY(MVTrack& track);

// The box the track covers in the movie: its origin (the offsets) and size (the displayed size).
struct MVTrackBox {
    double x = 0, y = 0, width = 0, height = 0;
};
MVTrackBox MVTrackDisplayedBox(const MVTrack& track);
// Scales the track so its box is `width` wide (or `height` high), from the box's origin; with
// `preserveAspect` the other side scales alike. Sizes must be positive.
bool MVTrackSetDisplayedWidth(MVTrack& track, double width, bool preserveAspect);
bool MVTrackSetDisplayedHeight(MVTrack& track, double height, bool preserveAspect);
void MVTrackSetOffset(MVTrack& track, double x, double y);

// The mask: an image whose light parts show the track, kept as PNG data with the track.
std::optional<HXData> MVTrackMaskData(const MVTrack& track);
bool MVTrackHasMask(const MVTrack& track);
// Reads the image the reference names (a file or bytes in memory); false (mask unchanged) when it is no
// image.
bool MVTrackSetMaskWithDataRef(MVTrack& track, const MVDataReference& reference);
void MVTrackClearMask(MVTrack& track);
// Inverts the mask's light and dark; false without a mask.
bool MVTrackInvertMask(MVTrack& track);
