#pragma once
// Writing movie files: self-contained (samples copied), header-only (reference movies), and updating the
// header of an existing file in place.
//
// New files are written to a temporary file beside the target and renamed over it only when complete;
// a failure or a cancel leaves the target as it was and removes the temporary file.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <functional>
#include <string>
#include <vector>

// Called as data is written with the fraction done (0...1); answering false cancels the write, which then
// fails with MVStatusProgressStopped.
using MVMovieWriteProgress = std::function<bool(double fraction)>;

// Bytes of one source file.
struct MVMediaDataPiece {
    uint32_t source = 0; // index into MVMediaDataLayout::sourcePaths
    uint64_t offset = 0;
    uint64_t size = 0;
};

// One chunk of one track: its bytes in the new file are its pieces, one after another.
struct MVChunkPlacement {
    uint32_t track = 0; // index into MVMovieDescription::tracks
    uint32_t chunk = 0; // index into that track's chunk offsets
    std::vector<MVMediaDataPiece> pieces;
};

// How the media data of a new file is laid out: chunks in file order (the writer's caller decides the
// interleaving) and the files their bytes come from. The writer streams the bytes through a buffer;
// nothing holds a whole movie in memory.
struct MVMediaDataLayout {
    std::vector<std::string> sourcePaths;
    std::vector<MVChunkPlacement> chunks;
};

struct MVMovieFileWriteOptions {
    MVMovieWriteProgress progress;
    size_t copyBufferSize = 1 << 20;
};

// Writes `file` with its media data laid out by `layout`: 'ftyp' (when the description has one), 'moov',
// the kept top-level atoms, then 'mdat'. Every chunk named by the layout gets its offset in the new
// file; chunks the layout leaves out keep theirs (samples that stay in other files). 'co64' is used for
// a track when any of its offsets needs 64 bits. With an empty layout no 'mdat' is written: a header-only
// movie whose data references name the files that hold the samples.
// On success `file` holds the description as written (chunk offsets updated, top-level atoms listed).
bool MVWriteMovieFile(const std::string& path, MVMovieFileDescription& file, const MVMediaDataLayout& layout,
    HXError* outError, const MVMovieFileWriteOptions& options = {});

// A layout that copies every sample of `file` (read from `sourcePath`) into a self-contained movie:
// each track's chunks keep their samples, the chunks of all tracks are ordered by their start time in
// seconds (earliest first, then by track), and each chunk is read from the file its data reference
// names. Changes `file` so that it describes the result: every track gets one self reference and its
// sample descriptions point at it. Fails when a chunk's file cannot be named (a URL, an unresolvable
// alias).
bool MVMakeSelfContainedLayout(MVMovieFileDescription& file, const std::string& sourcePath,
    MVMediaDataLayout& layout, HXError* outError);

// Makes the description's self references point at `sourcePath` ('alis' entries with the POSIX path),
// for a header-only movie written at `moviePath` that uses the samples where they are.
void MVReferenceSamplesInPlace(
    MVMovieFileDescription& file, const std::string& sourcePath, const std::string& moviePath);

// True when MVUpdateMovieFileInPlace can work on this file: a regular writable file with exactly one
// 'moov' that does not run "to the end of the file".
bool MVCanUpdateMovieFileInPlace(const std::string& path);

// Replaces the header of the movie file at `path` with `movie`, keeping its media data where it is.
// The new 'moov' goes into a large enough 'free' atom or at the end of the file; it is synced, then the
// old 'moov' becomes 'free'. At every moment the file opens with the old or the new header.
bool MVUpdateMovieFileInPlace(const std::string& path, const MVMovieDescription& movie, HXError* outError);
