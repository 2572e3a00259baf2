#pragma once
// Importing files of other containers (.mkv, .avi, .wav, .mp3, ...) through libavformat.
//
// The result is the same plain description the atom reader makes, with sample tables whose samples
// point into the source file (its self references resolve to the source's path), so the movie model and
// the writer treat it like any movie: a self-contained save copies the samples out of the source.
//
// An attached picture (the cover art of an MP3, FLAC or Matroska file) becomes a video track whose one
// picture lasts the whole movie, its picture rewritten into the cache.
//
// Each audio and video stream gets the sample description libavformat's movie muxer writes for its codec
// (see stream_muxer.h). Samples that lie in the source as they are stay there; streams whose packets are
// not byte ranges of the file (MPEG transport and program streams, Ogg pages) or must be rewritten for a
// movie (start codes, ADTS headers) are written once into a movie in the user's cache folder
// ($XDG_CACHE_HOME/movara-player/Import, named by the source's path, size and modification time, so a
// second open reuses it), and their track refers to that file.
//
// A stream that cannot be mapped is left out with the reason in `problems`; the others still open.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/import/import_reader.h"
#include "platform/mvkit/import/subtitle_import.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What an import of a long file leaves for later: the frames past its first part (its first clusters, or
// its first megabytes of packets). The movie plays from the first part while finish() reads the rest.
class MVImportContinuation {
public:
    virtual ~MVImportContinuation() = default;
    struct Completion {
        std::vector<MVTrackDescription> tracks; // the result's tracks, complete, in the same order
        std::vector<std::shared_ptr<void>> cacheLeases;
        std::vector<std::string> problems;
    };
    // Reads the rest of the file; once, on any thread. Nothing (with the reason) when the tracks cannot
    // be completed.
    virtual std::optional<Completion> finish(HXError* outError) = 0;
    // Makes a finish() that runs give up soon.
    virtual void cancel() = 0;
    // How much of the rest finish() has read, from 0 to 1 (any thread).
    double progress() const { return _progress.load(std::memory_order_relaxed); }

protected:
    void setProgress(double fraction)
    {
        _progress.store(std::clamp(fraction, 0.0, 1.0), std::memory_order_relaxed);
    }

private:
    std::atomic<double> _progress { 0 };
};

struct MVImportOptions {
    // A long Matroska file is opened from its first clusters, a long MPEG transport or program stream
    // or Ogg file from its first megabytes of packets, with a continuation for the rest.
    bool deferLongFiles = false;
    // From this file size on (smaller files are read whole at once: it costs less than a second step).
    uint64_t deferFromFileSize = uint64_t(32) << 20;
    // Called on the continuation's thread before it reads the rest (a test holds the reading there).
    std::function<void()> beforeReadingTheRest;
};

// The options the movie opens files with (MVMovie::movieWithFile): long files deferred. Main thread
// only; a test may lower the deferral size.
MVImportOptions& MVMovieImportOptions();

struct MVImportResult {
    MVMovieFileDescription file;
    std::vector<std::string> problems; // one line per stream left out, or per oddity worked around
    // Streams left out that hold no sound or picture to play (navigation packets, timed data, attached
    // files) and cover art that cannot be shown: for the log, not for the user.
    std::vector<std::string> notes;
    // Text subtitle streams, in stream order: the movie adds them as subtitle tracks (MVAddSubtitleTracks).
    std::vector<MVImportedSubtitles> subtitles;
    // The file's chapters, in time order: the movie adds them as its chapter track (MVAddImportedChapters).
    std::vector<MVImportedChapter> chapters;
    // Held by the movie for as long as its tracks refer to samples rewritten into the cache.
    std::vector<std::shared_ptr<void>> cacheLeases;
    // Set when only the first part of the file was read: its tracks end early, and this completes them.
    std::shared_ptr<MVImportContinuation> continuation;
    double statedDuration = 0; // seconds, as the file's head states it; 0 when unknown
};

// Fails with MVStatusUnsupportedImport when libavformat cannot open the file or no stream maps, with the
// problems joined in the error's description. Reads the whole file once (more when a stream turns out
// not to lie in the file after all), or only its first part when deferred; memory stays bounded by the
// sample tables.
std::optional<MVImportResult> MVImportMovieFile(
    const std::string& path, HXError* outError, MVImportOptions options = {});
// The same over any reader (a file, or bytes in memory): libavformat and the search for the samples
// read the reader's bytes, and the tracks' self references stand for its name.
std::optional<MVImportResult> MVImportMovie(
    const std::shared_ptr<const MVImportReader>& reader, HXError* outError, MVImportOptions options = {});

// Whether libavformat recognises the file by its contents as a container of sound or pictures (for
// files whose extension says nothing).
bool MVImportCanReadFile(const std::string& path);
bool MVImportCanRead(const MVImportReader& reader);
