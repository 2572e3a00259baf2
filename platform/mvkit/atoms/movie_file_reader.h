#pragma once
// Reading a movie file into an MVMovieFileDescription.
//
// Only the header atoms are read ('ftyp', 'moov', 'moof' and small unknown top-level atoms); media data stays
// in the file and is only located. Every size is checked against its parent and the file, tables are
// checked against the bytes that hold them before anything is allocated, and nesting is limited, so
// a damaged file yields an error or a partial description with `warnings`, never more memory than the
// file can back.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <span>
#include <string>

struct MVMovieFileReadOptions {
    int maxDepth = 32; // nesting limit below 'moov'
    // Unknown top-level atoms up to this size are kept (in `topLevelUnknownAtoms`); larger ones only
    // located.
    uint64_t maxKeptTopLevelAtomSize = 1 << 20;
    // The file is still being written (a download in progress): samples past its present end are
    // expected and kept.
    bool fileMayGrow = false;
    // The path of the movie file, which resolves data references to other files so that their samples
    // are held against those files' sizes; set by the reading of a path.
    std::string moviePath;
};

// Reads the movie file at `path`. Fails (MVStatusNotAMovieFile) when the file has no usable 'moov', or
// with the POSIX error when it cannot be read. Movie fragments ('moof') after the header become part of
// the tracks' sample tables (see movie_fragments.h). A table claiming a sample larger than
// MVMaximumSampleSize is refused (MVStatusBadMovieFile), one with more than MVMaximumSampleCount samples
// too (MVStatusFileTooLarge). So is (MVStatusBadMovieFile) a table whose samples cannot lie in the file
// that holds them (this file, or another that a data reference names and that exists): a sample
// starting inside that file and larger than all of it, or samples claiming its bytes many times over.
// Samples past the end of this file (a file cut short) are left out with a warning instead.
std::optional<MVMovieFileDescription> MVReadMovieFile(
    const std::string& path, HXError* outError, const MVMovieFileReadOptions& options = {});
std::optional<MVMovieFileDescription> MVReadMovieFile(
    const MVByteSource& source, HXError* outError, const MVMovieFileReadOptions& options = {});

// Parses the payload of a 'moov' atom (the bytes after its header); warnings are appended to `warnings`.
MVMovieDescription MVParseMovieAtomPayload(
    std::span<const uint8_t> payload, std::vector<std::string>* warnings = nullptr, int maxDepth = 32);
// Parses a whole serialised 'moov' atom (header included): the movie format representation.
std::optional<MVMovieDescription> MVParseMovieAtom(std::span<const uint8_t> atom, HXError* outError);

// Single-atom parsers over payloads, for callers that hold one atom (tests, the import, the model).
// Each throws MVMalformedAtom on bytes it cannot use.
MVSampleTable MVParseSampleTable(
    std::span<const uint8_t> stblPayload, std::vector<std::string>* warnings = nullptr);
MVUserData MVParseUserData(
    std::span<const uint8_t> udtaPayload, std::vector<std::string>* warnings = nullptr);
MVMetadata MVParseMetadata(
    std::span<const uint8_t> metaPayload, std::vector<std::string>* warnings = nullptr);
