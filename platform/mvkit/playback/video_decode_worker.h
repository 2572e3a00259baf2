#pragma once
// MVVideoDecodeWorker: decodes a visual track's pictures ahead of the clock on a thread of its own
// into a small queue, for the presentation timer on the main thread.
//
// seek() tells it where the clock is and which way it runs; it then decodes picture after picture in
// that direction until the queue is full. Backward it decodes a run of pictures at once, forward from
// their sync sample, and queues them latest first: decoded one by one, each picture would cost its whole
// group of pictures again. pictureAt() hands the main thread the picture for a time,
// dropping those whose time has passed (or, when asked, still handing out one that passed by less than
// two of its lengths and was not handed out yet), and may wait a little for a picture that is late.
//
// A preparer, when set, runs on a second thread of the worker on the next pictures to be shown (converting
// them for the screen), so that the main thread only presents; only the first few queued pictures are
// prepared, since prepared pictures are large. The queue holds a few pictures, fewer the larger they are.
#include "platform/mvkit/playback/frame_converter.h"
#include "platform/mvkit/playback/video_track_decoder.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class MVVideoDecodeWorker {
public:
    struct Picture {
        int64_t start = 0; // movie units: shown from start up to end
        int64_t end = 0;
        std::shared_ptr<MVDecodedFrame> frame; // null: nothing to show (an empty segment, a bad sample)
        // What the preparer made of the frame, and which preparer made it.
        std::shared_ptr<const MVImageBuffer> prepared;
        const void* preparedBy = nullptr;
    };
    using Preparer = std::function<std::shared_ptr<const MVImageBuffer>(const MVDecodedFrame& frame)>;

    // `capacity` 0: as many pictures as fit the memory budget for their size (capacityForPicture).
    explicit MVVideoDecodeWorker(std::unique_ptr<MVVideoTrackDecoder> decoder, size_t capacity = 0);
    ~MVVideoDecodeWorker();
    MVVideoDecodeWorker(const MVVideoDecodeWorker&) = delete;
    MVVideoDecodeWorker& operator=(const MVVideoDecodeWorker&) = delete;

    // Decodes from `time` on: forward (direction 1), backward (−1), or only the picture at `time` (0).
    void seek(int64_t time, int direction);
    // The picture for `time`, waiting up to `wait` seconds for it; nothing when it is not ready. `late`:
    // playing forward, the picture after the last one answered may still come when its time passed by
    // less than two of its lengths.
    std::optional<Picture> pictureAt(int64_t time, double wait, bool late = false);

    // Replaces the preparer (null: none); the queued pictures are prepared again by it.
    void setPreparer(std::shared_ptr<const Preparer> preparer);
    // How many of the first queued pictures are kept prepared.
    static constexpr size_t kPreparedAhead = 2;

    // How many pictures of `width` × `height` are decoded ahead: some tens of megabytes' worth, never
    // fewer than three nor more than eight.
    static size_t capacityForPicture(int width, int height);
    // How many pictures of `width` × `height` one backward run decodes: some tens of megabytes' worth,
    // never fewer than eight nor more than 64.
    static size_t backwardRunForPicture(int width, int height);

    int64_t duration() const { return _duration; }
    size_t queuedCount() const;
    size_t capacity() const;
    // Samples the worker's decoder has decoded so far (a sample decoded again after a jump counts again).
    int64_t samplesDecoded() const;

private:
    void run();
    void runPreparer();
    // The index of the first queued picture to prepare now (SIZE_MAX: none). Under _mutex.
    size_t nextToPrepare() const;
    bool holds(const Picture& p, int64_t time) const
    {
        return p.start <= time && (time < p.end || (p.end == p.start));
    }

    std::unique_ptr<MVVideoTrackDecoder> _decoder;
    const bool _sizedByPicture;
    size_t _capacity;
    std::shared_ptr<const Preparer> _preparer;
    // What a picture the preparer failed on holds, so that it is not tried again.
    const std::shared_ptr<const MVImageBuffer> _unpreparable = std::make_shared<const MVImageBuffer>();
    const int64_t _duration;
    mutable std::mutex _mutex;
    std::condition_variable _wake; // the worker waits for room or a request
    std::condition_variable _delivered; // the main thread waits for a picture
    std::deque<Picture> _queue;
    uint64_t _generation = 0;
    int64_t _nextTime = 0;
    int64_t _latestAsked = INT64_MIN; // the last time pictureAt was asked for
    int64_t _lastHanded = INT64_MIN; // the start of the last picture pictureAt answered
    int64_t _catchUpWindow = 0; // how far behind a request the worker may be and still go on
    size_t _backwardRun = 8; // pictures decoded in one run backward
    int64_t _runLow = INT64_MAX; // the earliest time of the backward run being decoded (INT64_MAX: none)
    int _direction = 0;
    int64_t _samplesDecoded = 0;
    bool _requestPending = false;
    bool _stop = false;
    std::thread _thread;
    std::thread _preparerThread;
};
