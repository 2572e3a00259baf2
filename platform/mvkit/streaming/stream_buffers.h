#pragma once
// The decoded media a stream holds for its player: sound by position, pictures by time. Both are
// written by the stream's threads and read by the player (the sound from the output's thread).
#include "platform/mvkit/playback/video_decode_worker.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// MVStreamSoundStore: interleaved float frames placed by position (frames from movie time 0). A block
// that starts a hair away from where the last one ended is joined to it, so the small jitter of
// packet times leaves neither gaps nor overlaps; a real jump leaves a silent gap.
class MVStreamSoundStore {
public:
    explicit MVStreamSoundStore(int channelCount = 2, int64_t joinTolerance = 2400);

    void setChannelCount(int channelCount); // empties the store
    int channelCount() const;
    // Stores `frames` frames at `position`; answers where they were put.
    int64_t write(int64_t position, const float* samples, int64_t frames);
    // `count` frames from `position`; silence where nothing is stored.
    void read(int64_t position, int64_t count, float* out) const;
    // The span held: from the first stored frame to the end of the last; equal when empty.
    int64_t start() const;
    int64_t end() const;
    bool isEmpty() const;
    // Forgets what lies before `position`.
    void trimBefore(int64_t position);
    void clear();
    // Brings what is held into another format: every block's samples through `convert` (interleaved
    // frames of the old channel count in, of `channelCount` out), its position times `positionScale`.
    void convert(int channelCount, double positionScale,
        const std::function<std::vector<float>(const std::vector<float>& samples)>& convert);

private:
    struct Block {
        int64_t position;
        std::vector<float> samples;
        int64_t frames(int channels) const { return int64_t(samples.size()) / channels; }
    };
    mutable std::mutex _mutex;
    std::deque<Block> _blocks;
    int _channels;
    int64_t _joinTolerance;
};

// MVStreamPictureQueue: decoded pictures in presentation order, a few at most. The decoder waits for
// room; showing a time drops the pictures before it. Clearing (a seek, a gap) releases a waiting
// decoder at once.
class MVStreamPictureQueue {
public:
    using Picture = MVVideoDecodeWorker::Picture;
    explicit MVStreamPictureQueue(size_t capacity = 8);

    // Adds a picture (its end becomes the start of the next one); waits for room while the queue is
    // full, unless the queue is cleared or stopped meanwhile. False when it was cleared or stopped.
    bool push(Picture picture, uint64_t generation);
    // The picture for `time`: the last one starting at or before it (the first one when all start
    // later); earlier ones are dropped.
    std::optional<Picture> pictureAt(int64_t time);
    // Empties the queue; from now on it takes only pictures of `generation`.
    void clear(uint64_t generation);
    uint64_t generation() const;
    void stop();
    size_t count() const;
    // The start of the first picture held, if any.
    std::optional<int64_t> firstStart() const;

private:
    mutable std::mutex _mutex;
    std::condition_variable _room;
    std::deque<Picture> _pictures;
    size_t _capacity;
    uint64_t _generation = 0;
    bool _stopped = false;
};
