#pragma once
// Reading a sample's bytes from the file that holds them. The size and offset come from the movie's sample
// table, which the file itself wrote: a damaged or hostile file can claim any size. The range is checked
// against the file's real length first, so a claim the file cannot back costs nothing but an error.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <string>

// Replaces `outBytes` with the `size` bytes at `offset` of the open file `fd` (named `path` in errors).
// A file still arriving over the network fails at once for bytes that have not arrived.
// A range that runs past the end of the file fails with MVStatusInvalidSample before anything is allocated.
bool MVReadSampleBytes(
    int fd, uint64_t offset, uint64_t size, MVBytes& outBytes, const std::string& path, HXError* outError);
