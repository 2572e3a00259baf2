#pragma once
// The movie model's own encoding of movie headers: a movie file read into an MVMovieFileDescription and a
// 'moov' atom built from an MVMovieDescription.
//
// The model only needs the header atoms it edits and saves; everything it does not parse is kept as raw
// atoms and written back after the parsed children. Reading never trusts a size: every table is checked
// against the bytes that hold it before anything is allocated.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <span>
#include <string>

namespace mvmodel {

// Reads the header of the movie file at `path`: 'ftyp', the first 'moov' (later ones are ignored), and
// the location of every top-level atom. A truncated atom at the end of the file ends the walk. Fails
// with MVStatusNotAMovieFile-style errors (HXOSStatusErrorDomain, -2100) when no usable 'moov' is found.
std::optional<MVMovieFileDescription> readMovieFile(const std::string& path, HXError* outError);

// Parses the payload of a 'moov' atom; throws std::runtime_error on bytes it cannot use.
MVMovieDescription decodeMovieAtomPayload(std::span<const uint8_t> payload);
// Parses a whole serialised 'moov' atom (header included).
std::optional<MVMovieDescription> decodeMovieAtom(std::span<const uint8_t> atom, HXError* outError);

// A whole 'moov' atom in the usual child order.
MVBytes encodeMovieAtom(const MVMovieDescription& movie);
// A whole 'ftyp' atom.
MVBytes encodeFileTypeAtom(const MVFileTypeHeader& fileType);

} // namespace mvmodel
