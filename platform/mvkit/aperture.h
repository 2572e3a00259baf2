#pragma once
// A movie's aperture mode (how its pictures are cropped and shaped) by name, and the size of a video
// track's box in each mode.
//
// The movie keeps the mode as MVMovieApertureModeAttribute ("classic", "clean", "production",
// "encodedPixels"). Setting it gives every video track the dimensions of that mode: the clean aperture
// ('clap') at the pixel aspect ratio ('pasp') for clean, the whole picture at that ratio for production,
// the coded pixels for encoded pixels, and the track's stored dimensions for classic. A track conformed
// by its writer carries these sizes in a 'tapt' atom ('clef', 'prof', 'enof'), which then win. The
// movie view draws the pictures by the same mode (MVApertureGeometryForDescription).
#include "platform/mvkit/playback/frame_converter.h"

#include <optional>
#include <string>
#include <utility>

class MVTrack;

inline constexpr const char* MVMovieApertureModeProduction = "production";
inline constexpr const char* MVMovieApertureModeEncodedPixels = "encodedPixels";

// The mode of a name; clean for a name that is none of the four.
MVApertureMode MVApertureModeForName(const std::string& name);
const char* MVApertureModeName(MVApertureMode mode);

// The size of `track`'s box in `mode`; nothing for classic, for a track that is not video, or when its
// description tells nothing of its pictures' size.
std::optional<std::pair<double, double>> MVTrackApertureDimensions(const MVTrack& track, MVApertureMode mode);
