#include "platform/mvkit/playback/video_decode_worker.h"

#include <algorithm>
#include <chrono>

MVVideoDecodeWorker::MVVideoDecodeWorker(std::unique_ptr<MVVideoTrackDecoder> decoder, size_t capacity)
    : _decoder(std::move(decoder))
    , _capacity(std::max<size_t>(1, capacity))
    , _duration(_decoder->editMap().duration())
    , _catchUpWindow(_decoder->editMap().movieTimeScale()) // a second
{
    _thread = std::thread([this] { run(); });
}

MVVideoDecodeWorker::~MVVideoDecodeWorker()
{
    {
        std::lock_guard lock(_mutex);
        _stop = true;
    }
    _wake.notify_all();
    _thread.join();
}

int64_t MVVideoDecodeWorker::samplesDecoded() const
{
    std::lock_guard lock(_mutex);
    return _samplesDecoded;
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
            if (_requestPending && behind >= 0 && behind < _catchUpWindow) {
                _latestAsked = time;
                return;
            }
        }
        ++_generation;
        _queue.clear();
        _direction = direction;
        _latestAsked = INT64_MIN;
        if (time >= _duration) {
            // Past the track's end nothing shows.
            _queue.push_back({ _duration, INT64_MAX, nullptr });
            _requestPending = false;
            _delivered.notify_all();
            return;
        }
        _nextTime = std::max<int64_t>(0, time);
        _requestPending = true;
    }
    _wake.notify_all();
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
        lock.unlock();

        Picture picture;
        HXError error;
        picture.frame = _decoder->frameAtTime(time, &error);
        picture.start = _decoder->pictureStart(time);
        picture.end = _decoder->nextChangeAfter(time);
        if (picture.end <= picture.start)
            picture.end = picture.start + 1;

        const int64_t decoded = _decoder->samplesDecoded();
        lock.lock();
        _samplesDecoded = decoded;
        if (generation != _generation)
            continue; // a seek came meanwhile: this picture is of no use
        _queue.push_back(picture);
        if (direction > 0 && picture.end < _duration)
            _nextTime = picture.end;
        else if (direction < 0 && picture.start > 0)
            _nextTime = picture.start - 1;
        else
            _requestPending = false; // one picture asked for, or an end reached
        _delivered.notify_all();
    }
}

std::optional<MVVideoDecodeWorker::Picture> MVVideoDecodeWorker::pictureAt(int64_t time, double wait)
{
    std::unique_lock lock(_mutex);
    _latestAsked = time;
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::max(0.0, wait));
    for (;;) {
        // Pictures the clock has left behind are dropped.
        while (!_queue.empty()) {
            const Picture& front = _queue.front();
            bool passed = _direction >= 0 ? front.end <= time : front.start > time;
            if (!passed || holds(front, time))
                break;
            _queue.pop_front();
            _wake.notify_all();
        }
        if (!_queue.empty() && holds(_queue.front(), time))
            return _queue.front();
        if (!_requestPending && _queue.empty())
            return std::nullopt; // nothing is coming
        if (_delivered.wait_until(lock, deadline) == std::cv_status::timeout)
            return std::nullopt;
    }
}
