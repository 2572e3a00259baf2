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

// The extensions of the still images a sequence may be made of: the formats libavcodec decodes that movie
// files have a code for (PNG, JPEG, TIFF, Targa, GIF, SGI, DPX, OpenEXR, JPEG 2000, JPEG-LS).
const std::vector<std::string>& MVImageSequenceFileTypes();

// A new movie showing the sequence, each image for `frameDuration` units of `timeScale`; each frame refers
// to its file. The first image (recognised by libavformat by its contents) gives the format and picture
// size; the sequence ends at a file of another format. Fails when the first file is missing or is not a
// still image of those formats.
std::shared_ptr<MVMovie> MVMovieWithImageSequence(
    const std::string& firstPath, int64_t frameDuration, int32_t timeScale, HXError* outError);
