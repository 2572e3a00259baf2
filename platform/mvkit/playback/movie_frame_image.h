#pragma once
// Still pictures of a movie: the pictures of its enabled visual tracks at a time, back to front, as one
// image (posters, thumbnails, frame images for scripting). Decoded now, on the calling thread, with
// decoders of their own, so the movie's playback is not disturbed.
#include "platform/drawing/image.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/frame_converter.h"

#include <memory>

// The image at `time`, `size` points large (the movie's natural size when zero); null when nothing is
// shown there or the pictures cannot be decoded (`outError` set then).
std::shared_ptr<HXImage> MVMovieFrameImageAtTime(const std::shared_ptr<MVMovie>& movie, MVTime time,
    HXSize size = {}, MVApertureMode mode = MVApertureMode::Clean, HXError* outError = nullptr);
