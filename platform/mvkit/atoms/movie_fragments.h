#pragma once
// Movie fragments: a movie whose header ('moov' with 'mvex') is followed by 'moof' atoms that each add
// samples to its tracks. The reader turns the fragments into ordinary sample tables, so the rest of the
// program sees one plain movie: every track run becomes a chunk, and the defaults of 'trex' and 'tfhd',
// the base data offsets, the decode times of 'tfdt', composition offsets and sample flags become the
// usual tables. Only the fragment headers are read; media data is never touched.
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <vector>

// A 'moof' larger than this is not a fragment header but damage: real ones hold a few kilobytes.
constexpr uint64_t MVMaximumFragmentHeaderSize = uint64_t(64) << 20;

// A 'moof' as the top-level walk found it; `truncated`: its stored size (`claimedSize`) ran past the end
// of the file.
struct MVMovieFragmentLocation {
    MVAtomLocation location;
    bool truncated = false;
    uint64_t claimedSize = 0;
};

// Adds the samples of `fragments` (in file order) to the tracks of `file.movie`, fixes the media, track
// and movie durations and the edit lists, and takes 'mvex' out of the movie: what is left is an
// ordinary movie. Fragments after the first damaged one are left out; what was left out, and why, goes
// to `file.warnings`. A file cut short in its last fragment keeps the samples of it that lie wholly
// inside the file (`file.notes` says how many). Nothing is done (but a warning) when the movie does not
// announce fragments.
void MVAddMovieFragments(const MVByteSource& source, MVMovieFileDescription& file,
    const std::vector<MVMovieFragmentLocation>& fragments);
