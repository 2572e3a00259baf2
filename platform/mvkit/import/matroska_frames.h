#pragma once
// Where every frame of a Matroska or WebM file lies, read straight from the block headers of its
// clusters: the fast way to fill the sample tables of a file whose frames are stored as they are.
//
// Only what libavformat would hand over unchanged is taken: a block holding one frame of a track
// without content encodings. Anything else (laced blocks, compressed or encrypted tracks, a damaged
// element) answers nothing, and the import reads the file through libavformat instead.
#include <cstdint>

class MVByteSource;
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct MVMatroskaFrame {
    uint64_t offset = 0; // of the frame's bytes in the file
    uint32_t size = 0;
    int64_t time = 0; // presentation time in the segment's ticks (its TimecodeScale)
    int64_t duration = 0; // in ticks; 0 when the block does not say
    bool key = false;
    int64_t discardPadding = 0; // nanoseconds at the end of a sound frame that are not played
};

struct MVMatroskaFrames {
    std::vector<uint64_t> trackNumbers; // in the order of the track entries (libavformat's stream order)
    std::map<uint64_t, std::vector<MVMatroskaFrame>> frames; // of each track number, in file order
};

// Every frame of the file at once; nothing when the file is not one this way takes.
std::optional<MVMatroskaFrames> MVReadMatroskaFrames(std::shared_ptr<const MVByteSource> source);

// The same, a part at a time: the head of the segment (its tracks, time scale and duration) when made,
// then clusters as asked, so that a long file can be opened from its first clusters and the rest read
// later (on another thread: the scanner keeps no state outside itself, and a source reads at any
// position from any thread).
class MVMatroskaScanner {
public:
    // Reads the segment's elements up to its first cluster; nothing when the file is not one this way
    // takes (no tracks before the clusters, a damaged head).
    static std::unique_ptr<MVMatroskaScanner> open(std::shared_ptr<const MVByteSource> source);
    ~MVMatroskaScanner();

    const std::vector<uint64_t>& trackNumbers() const;
    // The segment's duration as its head states it, in seconds; 0 when it does not say.
    double statedDuration() const;

    enum class Step { More, Done, Failed };
    // Reads whole clusters until the file position reaches `until` (or the end); the frames read go to
    // `frames`, appended per track with the times libavformat gives them. Failed when a block cannot be
    // taken (laced, damaged, of a track whose frames libavformat would change).
    Step readClusters(uint64_t until, std::map<uint64_t, std::vector<MVMatroskaFrame>>& frames);
    uint64_t position() const;
    // Ticks (of the segment's time scale) per second.
    double ticksPerSecond() const;

private:
    MVMatroskaScanner();
    struct State;
    std::unique_ptr<State> _state;
};
