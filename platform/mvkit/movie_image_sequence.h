#pragma once
// A numbered image sequence ("shot001.png", "shot002.png", ...) as a movie of one video track, each
// image one frame referring to its file.
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"

#include <memory>
#include <string>
#include <vector>

// The files of the sequence that `firstPath` starts: the same name before and after the number, the
// numbers counting up by one from the first's (the first gap ends it). Just the file itself when its
// name holds no number.
std::vector<std::string> MVImageSequenceFiles(const std::string& firstPath);

// A new movie showing the sequence, each image for `frameDuration` units of `timeScale`. PNG and JPEG
// images are taken; the first image gives the picture size. Fails when the first file is missing or
// is not such an image.
std::shared_ptr<MVMovie> MVMovieWithImageSequence(
    const std::string& firstPath, int64_t frameDuration, int32_t timeScale, HXError* outError);
