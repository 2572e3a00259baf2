#pragma once
// The save flows of MVMovie: a self-contained movie (samples copied and interleaved, header first), a
// reference movie (samples left in their files, referred to by alias records), and the update of a
// movie file in place (the samples it does not hold yet, made in memory or pasted from other files, and
// then the new header appended, the old one retired as free space).
//
// A save writes to a temporary file in the target's folder and renames it over the target only when
// everything is written; a failure or a cancel from the progress callback removes the temporary file
// and leaves the target as it was. The temporary file has no name until it is whole (where the file
// system allows), so that a program killed during a save leaves nothing behind.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/movie.h"

#include <cstdint>
#include <limits>
#include <string>

namespace mvmodel {

enum class SaveMode { SelfContained, Reference };

// The header of `movie` as a stored description. Self-contained: each track's samples reduced to those
// its edits show; the data offsets are still those of the source data. Reference: the media as they are.
// `moviePath` is the file the header will live in (alias records are made relative to it). A reference
// header for a file is laid out so that other programs time its edits right (see movie_writer.cpp); one
// that only this program reads back (`asModel`) describes the media and edits exactly as they are.
MVMovieDescription describeMovie(
    const MVMovie& movie, SaveMode mode, const std::string& moviePath, bool asModel = false);

bool writeMovie(MVMovie& movie, const std::string& path, SaveMode mode, HXError* outError);

// The bytes of sample data a self-contained save would copy, without building anything.
uint64_t selfContainedDataSize(const MVMovie& movie);

// Stages of an in-place update, for tests that interrupt it: 1 after the new data is appended, 2 after
// the new header is appended, 3 after the old header is retired (the whole update).
struct UpdateInterruption {
    int stopAfterStage = 3;
    // Truncates what stage 2 appends to this many bytes and stops (a write cut short).
    uint64_t truncateHeaderAt = std::numeric_limits<uint64_t>::max();
};
bool updateMovieFile(MVMovie& movie, HXError* outError, const UpdateInterruption& interruption = {});

// Named moments of a save. With MOVARA_STOP_AT_SAVE_STAGE set to one of them in the environment, the
// process stops itself (SIGSTOP) when it gets there, so that a test can kill it at exactly that moment:
// "created" (the temporary file exists), "header" (the header is written, no samples yet), "samples"
// (some samples are written), "written" (all is written and synced, not yet renamed), "update-data"
// (an update in place has appended its samples), "update-header-partial" (half of its new header is
// written), "update-header" (the new header is written, the old one not yet retired), and the stages
// callers name themselves.
void reachedSaveStage(const char* stage);

} // namespace mvmodel
