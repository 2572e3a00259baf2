#pragma once
// Serialising a movie description into atoms.
//
// The output of a description read from a file is byte for byte the atoms that were read, as long as
// nothing was changed (except that 'stz2' is written as 'stsz', and a 'co64' whose offsets all fit
// 32 bits stays 'co64' because `uses64BitChunkOffsets` is kept).
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/movie_file_description.h"

// The whole 'moov' atom, header included: the movie format representation.
MVBytes MVSerializeMovieAtom(const MVMovieDescription& movie);

// Single atoms (header included), for tests and for callers that assemble atoms themselves.
MVBytes MVSerializeFileTypeAtom(const MVFileTypeHeader& fileType);
MVBytes MVSerializeTrackAtom(const MVTrackDescription& track);
MVBytes MVSerializeSampleTableAtom(const MVSampleTable& table);
MVBytes MVSerializeUserDataAtom(const MVUserData& userData);
MVBytes MVSerializeMetadataAtom(const MVMetadata& metadata);
// A raw atom with a header (a 64-bit size when the payload needs it).
void MVWriteRawAtom(MVByteWriter& w, const MVRawAtom& atom);

// Would the chunk offsets of this table be written as 'co64'?
bool MVSampleTableNeeds64BitOffsets(const MVSampleTable& table);
