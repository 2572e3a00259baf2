#pragma once
// Importing files of other containers (.mkv, .avi, .wav, .mp3, ...) through libavformat.
//
// The result is the same plain description the atom reader makes, with sample tables whose samples
// point into the source file (its self references resolve to the source's path), so the movie model and
// the writer treat it like any movie: a self-contained save copies the samples out of the source.
//
// Only what maps honestly is imported. A stream is left out, with the reason in `problems`, when:
// - its codec has no sample description here (supported: H.264 with an 'avcC' configuration, AAC with
//   its decoder configuration, MP3, Motion JPEG, 8-bit and 16-bit PCM);
// - its packets are not plain byte ranges of the file (MPEG transport streams split them into 188-byte
//   pieces; H.264 in start-code form and AAC in ADTS frames need rewriting, which an import does not do).
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <string>
#include <vector>

struct MVImportResult {
    MVMovieFileDescription file;
    std::vector<std::string> problems; // one line per stream left out, or per oddity worked around
};

// Fails with MVStatusUnsupportedImport when libavformat cannot open the file or no stream maps, with the
// problems joined in the error's description.
std::optional<MVImportResult> MVImportMovieFile(const std::string& path, HXError* outError);
