#include "platform/mvkit/playback/video_decode_worker.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

MVVideoDecodeWorker::MVVideoDecodeWorker(std::unique_ptr<MVVideoTrackDecoder> decoder, size_t capacity)
    : _decoder(std::move(decoder))
    , _sizedByPicture(capacity == 0)
    , _capacity(capacity == 0 ? 4 : capacity)
    , _duration(_decoder->editMap().duration())
    , _catchUpWindow(_decoder->editMap().movieTimeScale()) // a second
{
    _thread = std::thread([this] { run(); });
    _preparerThread = std::thread([this] { runPreparer(); });
}

MVVideoDecodeWorker::~MVVideoDecodeWorker()
{
    {
        std::lock_guard lock(_mutex);
        _stop = true;
    }
    _wake.notify_all();
    _thread.join();
    _preparerThread.join();
}

int64_t MVVideoDecodeWorker::samplesDecoded() const
{
    std::lock_guard lock(_mutex);
    return _samplesDecoded;
}

size_t MVVideoDecodeWorker::capacityForPicture(int width, int height)
{
    // 4:2:0 pictures of 8 bits take 1.5 bytes a pixel (deeper or fuller ones more).
    const size_t bytes = size_t(std::max(1, width)) * size_t(std::max(1, height)) * 3 / 2;
    const size_t budget = size_t(32) << 20;
    return std::clamp<size_t>(budget / bytes, 3, 8);
}

size_t MVVideoDecodeWorker::backwardRunForPicture(int width, int height)
{
    const size_t bytes = size_t(std::max(1, width)) * size_t(std::max(1, height)) * 3 / 2;
    const size_t budget = size_t(64) << 20;
    return std::clamp<size_t>(budget / bytes, 8, 64);
}

size_t MVVideoDecodeWorker::nextToPrepare() const
{
    if (!_preparer || !*_preparer)
        return SIZE_MAX;
    size_t prepared = 0;
    for (size_t i = 0; i < _queue.size(); ++i) {
        if (!_queue[i].frame)
            continue;
        if (_queue[i].preparedBy != _preparer.get())
            return i;
        if (++prepared >= kPreparedAhead)
            break;
    }
    return SIZE_MAX;
}

size_t MVVideoDecodeWorker::capacity() const
{
    std::lock_guard lock(_mutex);
    return _capacity;
}

void MVVideoDecodeWorker::setPreparer(std::shared_ptr<const Preparer> preparer)
{
    {
        std::lock_guard lock(_mutex);
        _preparer = std::move(preparer);
    }
    _wake.notify_all();
}

size_t MVVideoDecodeWorker::queuedCount() const
{
    std::lock_guard lock(_mutex);
    return _queue.size();
}

void MVVideoDecodeWorker::seek(int64_t time, int direction)
{
    {
        std::lock_guard lock(_mutex);
        // Keep what is queued when it already leads on from `time` in the same direction, and let a
        // worker that is a little behind catch up rather than start again from a sync sample.
        if (direction != 0 && direction == _direction) {
            if (!_queue.empty() && holds(_queue.front(), time))
                return;
            const int64_t behind = direction > 0 ? time - _nextTime : _nextTime - time;
            // A backward run being decoded that reaches down to `time` brings its picture.
            const bool runReaches = direction < 0 && _runLow <= time && time < _nextTime;
            if (_requestPending && ((behind >= 0 && behind < _catchUpWindow) || runReaches)) {
                _latestAsked = time;
                return;
            }
        }
        ++_generation;
        _queue.clear();
        _runLow = INT64_MAX;
        _lastHanded = INT64_MIN;
        _direction = direction;
        _latestAsked = INT64_MIN;
        if (time >= _duration) {
            // Past the track's end nothing shows.
            _queue.push_back({ _duration, INT64_MAX, nullptr, nullptr, nullptr });
            _requestPending = false;
            _delivered.notify_all();
            return;
        }
        _nextTime = std::max<int64_t>(0, time);
        _requestPending = true;
    }
    _wake.notify_all();
}

// Preparing runs beside decoding, on a thread of its own: a large picture's conversion and the next
// one's decoding overlap.
void MVVideoDecodeWorker::runPreparer()
{
    std::unique_lock lock(_mutex);
    for (;;) {
        _wake.wait(lock, [&] { return _stop || nextToPrepare() < _queue.size(); });
        if (_stop)
            return;
        const size_t index = nextToPrepare();
        const auto preparer = _preparer;
        const auto frame = _queue[index].frame;
        const uint64_t generation = _generation;
        lock.unlock();
        auto prepared = (*preparer)(*frame);
        lock.lock();
        if (generation != _generation || preparer != _preparer)
            continue;
        for (auto& queued : _queue)
            if (queued.frame == frame) {
                queued.prepared = prepared ? prepared : _unpreparable;
                queued.preparedBy = preparer.get();
            }
        _delivered.notify_all();
    }
}

void MVVideoDecodeWorker::run()
{
    std::unique_lock lock(_mutex);
    for (;;) {
        _wake.wait(lock, [&] { return _stop || (_requestPending && _queue.size() < _capacity); });
        if (_stop)
            return;
        // Pictures the clock has already passed are not worth queueing: go on from where it is.
        if (_latestAsked != INT64_MIN && _direction > 0 && _latestAsked > _nextTime)
            _nextTime = std::min(_latestAsked, std::max<int64_t>(0, _duration - 1));
        else if (_latestAsked != INT64_MIN && _direction < 0 && _latestAsked < _nextTime)
            _nextTime = std::max<int64_t>(0, _latestAsked);
        const uint64_t generation = _generation;
        const int64_t time = _nextTime;
        const int direction = _direction;
        const size_t run = direction < 0 ? _backwardRun : 1;
        lock.unlock();

        // The times of the pictures to decode, latest first: the one at `time`, and backward the ones
        // before it down to the run's length (or the start).
        std::vector<int64_t> times { time };
        while (times.size() < run) {
            const int64_t start = _decoder->pictureStart(times.back());
            if (start <= 0)
                break;
            times.push_back(start - 1);
        }
        if (direction < 0) {
            std::lock_guard marking(_mutex);
            if (generation == _generation)
                _runLow = times.back();
        }
        // Earliest first: one pass forward from their sync sample.
        std::vector<Picture> pictures(times.size());
        bool abandoned = false;
        for (size_t k = times.size(); k-- > 0;) {
            if (k + 1 < times.size()) {
                std::lock_guard checking(_mutex);
                if (generation != _generation || _stop) {
                    abandoned = true;
                    break;
                }
            }
            Picture& picture = pictures[k];
            HXError error;
            picture.frame = _decoder->frameAtTime(times[k], &error);
            picture.start = _decoder->pictureStart(times[k]);
            picture.end = _decoder->nextChangeAfter(times[k]);
            if (picture.end <= picture.start)
                picture.end = picture.start + 1;
            if (_sizedByPicture && picture.frame && picture.frame->width() > 0) {
                const size_t capacity = capacityForPicture(picture.frame->width(), picture.frame->height());
                const size_t backward
                    = backwardRunForPicture(picture.frame->width(), picture.frame->height());
                std::lock_guard sizing(_mutex);
                _capacity = capacity;
                _backwardRun = backward;
            }
        }

        const int64_t decoded = _decoder->samplesDecoded();
        lock.lock();
        _samplesDecoded = decoded;
        if (abandoned || generation != _generation)
            continue; // a seek came meanwhile: these pictures are of no use
        _runLow = INT64_MAX;
        for (const auto& picture : pictures)
            _queue.push_back(picture);
        const Picture& last = pictures.back();
        if (direction > 0 && last.end < _duration)
            _nextTime = last.end;
        else if (direction < 0 && last.start > 0)
            _nextTime = last.start - 1;
        else
            _requestPending = false; // one picture asked for, or an end reached
        _delivered.notify_all();
        if (_preparer)
            _wake.notify_all(); // the preparing thread has a picture to prepare
    }
}

std::optional<MVVideoDecodeWorker::Picture> MVVideoDecodeWorker::pictureAt(
    int64_t time, double wait, bool late)
{
    std::unique_lock lock(_mutex);
    _latestAsked = time;
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::max(0.0, wait));
    // Playing forward (when asked), a picture not handed out yet whose time passed less than two of its
    // lengths ago is still answered, late, rather than never: a presentation pass or two that come late
    // (a busy machine) cost no picture. Only while nothing later is ready: a picture queued behind it whose
    // time has come is the one to show.
    auto lateButShown = [&](size_t index) {
        const Picture& p = _queue[index];
        if (!(late && _direction > 0 && p.start > _lastHanded && p.end <= time
                && p.end + 2 * (p.end - p.start) > time))
            return false;
        return index + 1 >= _queue.size() || _queue[index + 1].start > time;
    };
    for (;;) {
        // Pictures the clock has left behind are dropped.
        while (!_queue.empty()) {
            const Picture& front = _queue.front();
            bool passed = _direction >= 0 ? front.end <= time : front.start > time;
            if (!passed || holds(front, time) || lateButShown(0))
                break;
            _queue.pop_front();
            _wake.notify_all();
        }
        if (!_queue.empty() && (holds(_queue.front(), time) || lateButShown(0))) {
            _lastHanded = _queue.front().start;
            return _queue.front();
        }
        if (!_requestPending && _queue.empty())
            return std::nullopt; // nothing is coming
        if (_delivered.wait_until(lock, deadline) == std::cv_status::timeout)
            return std::nullopt;
    }
}
