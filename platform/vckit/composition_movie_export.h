#pragma once
// Rendering a composition into a movie file: `seconds` of it at a fixed frame rate, each frame drawn
// with Cairo, encoded as Motion JPEG with libavcodec and written as a self-contained movie by the media
// layer's movie writer. A failure leaves no file behind (the writer only renames a finished file into
// place).
#include "platform/basekit/error.h"
#include "platform/vckit/composition.h"

#include <string>

inline constexpr double VCCompositionMovieFrameRate = 30;
// The longest movie rendered in one go, in seconds.
inline constexpr double VCCompositionMovieMaximumDuration = 3600;

// Width or height 0 takes the composition's canvas size; sizes are rounded down to even numbers (at
// least 2). `seconds` must be above 0 and at most the maximum.
bool VCCompositionWriteMovieFile(const VCComposition& composition, const std::string& moviePath,
    unsigned width, unsigned height, double seconds, HXError* outError = nullptr, bool safeMode = false);
// The same for a composition file.
bool VCCompositionFileWriteMovieFile(const std::string& compositionPath, const std::string& moviePath,
    unsigned width, unsigned height, double seconds, HXError* outError = nullptr);
