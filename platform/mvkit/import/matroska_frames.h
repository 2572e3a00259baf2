#pragma once
// Where every frame of a Matroska or WebM file lies, read straight from the block headers of its
// clusters: the fast way to fill the sample tables of a file whose frames are stored as they are.
//
// Only what libavformat would hand over unchanged is taken: a block holding one frame of a track
// without content encodings. Anything else (laced blocks, compressed or encrypted tracks, a damaged
// element) answers nothing, and the import reads the file through libavformat instead.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct MVMatroskaFrame {
    uint64_t offset = 0; // of the frame's bytes in the file
    uint32_t size = 0;
    int64_t time = 0; // presentation time in the segment's ticks (its TimecodeScale)
    int64_t duration = 0; // in ticks; 0 when the block does not say
    bool key = false;
};

struct MVMatroskaFrames {
    std::vector<uint64_t> trackNumbers; // in the order of the track entries (libavformat's stream order)
    std::map<uint64_t, std::vector<MVMatroskaFrame>> frames; // of each track number, in file order
};

std::optional<MVMatroskaFrames> MVReadMatroskaFrames(int fd, uint64_t fileSize);
