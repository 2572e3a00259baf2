#pragma once
// What the player needs to know of a movie that is still arriving over the network.
//
// MVPlaybackSupply: how far the movie can play from a time before it must wait for data, and whether
// more will come. A movie downloaded progressively has sample tables like any other and answers only
// this; the player waits (its clock held, the rate kept) where the data ends and goes on when enough
// has arrived.
//
// MVPlaybackFeed: a stream that has no sample tables delivers its pictures and sound itself. Its times
// are movie units from the start of what was received.
//
// Every call but readSound comes from the main thread; readSound comes from the sound output's thread
// and must not wait.
#include "platform/mvkit/playback/audio_format.h"
#include "platform/mvkit/playback/video_decode_worker.h"

#include <cstdint>
#include <optional>

class MVPlaybackSupply {
public:
    virtual ~MVPlaybackSupply() = default;
    // The movie time (movie units) up to which playing forward from `time` finds its data; `time`
    // itself when nothing is there yet.
    virtual int64_t availableUntil(int64_t time) = 0;
    // Nothing more will arrive: what is missing stays missing.
    virtual bool isFinished() const = 0;
    // The player is going to play from `time`: what it needs should arrive first.
    virtual void want(int64_t time) { (void)time; }
    // How much must be there ahead of the playhead before playing goes on after a wait (seconds).
    virtual double resumeAhead() const { return 2.0; }
    // Where playing goes on after waiting at `time`: later than `time` when what was there is gone
    // (a live stream keeps only so much).
    virtual int64_t resumeTime(int64_t time) { return time; }
    // Playing started (true) or stopped (false) waiting for data.
    virtual void stalled(bool stalled) { (void)stalled; }
};

class MVPlaybackFeed : public MVPlaybackSupply {
public:
    virtual bool hasPictures() const = 0;
    virtual bool hasSound() const = 0;
    // The picture shown at `time`; nothing when none has been decoded for it.
    virtual std::optional<MVVideoDecodeWorker::Picture> pictureAt(int64_t time) = 0;
    // `count` interleaved frames of the sound format from `position` (frames from movie time 0);
    // silence where nothing arrived.
    virtual void readSound(int64_t position, int count, float* out) = 0;
    // The format sound is mixed in; set before anything plays.
    virtual void setSoundFormat(MVAudioFormat format) = 0;
    // The player goes to `time`: answers where playing goes on (the nearest time the stream can
    // play from, when it cannot go there).
    virtual int64_t seek(int64_t time) = 0;
    // The range the player may play: the stream's duration, or for a live stream one that does not end.
    virtual int64_t playableDuration() const = 0;
};
