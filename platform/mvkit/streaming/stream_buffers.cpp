#include "platform/mvkit/streaming/stream_buffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

MVStreamSoundStore::MVStreamSoundStore(int channelCount, int64_t joinTolerance)
    : _channels(std::max(1, channelCount))
    , _joinTolerance(joinTolerance)
{
}

void MVStreamSoundStore::setChannelCount(int channelCount)
{
    std::lock_guard lock(_mutex);
    _channels = std::max(1, channelCount);
    _blocks.clear();
}

int MVStreamSoundStore::channelCount() const
{
    std::lock_guard lock(_mutex);
    return _channels;
}

int64_t MVStreamSoundStore::write(int64_t position, const float* samples, int64_t frames)
{
    std::lock_guard lock(_mutex);
    if (frames <= 0)
        return position;
    if (!_blocks.empty()) {
        const Block& last = _blocks.back();
        const int64_t end = last.position + last.frames(_channels);
        if (std::abs(position - end) <= _joinTolerance)
            position = end;
        else if (position < end) {
            // Sound from before what is held (the stream went back): start over from here.
            _blocks.clear();
        }
    }
    Block block { position, std::vector<float>(samples, samples + frames * _channels) };
    _blocks.push_back(std::move(block));
    return position;
}

void MVStreamSoundStore::read(int64_t position, int64_t count, float* out) const
{
    std::lock_guard lock(_mutex);
    std::fill(out, out + count * _channels, 0.0f);
    const int64_t end = position + count;
    // Blocks are in order; find the first that ends after `position`.
    auto it = std::partition_point(_blocks.begin(), _blocks.end(),
        [&](const Block& b) { return b.position + b.frames(_channels) <= position; });
    for (; it != _blocks.end() && it->position < end; ++it) {
        const int64_t from = std::max(position, it->position);
        const int64_t to = std::min(end, it->position + it->frames(_channels));
        if (to <= from)
            continue;
        std::memcpy(out + (from - position) * _channels, it->samples.data() + (from - it->position) * _channels,
            size_t(to - from) * size_t(_channels) * sizeof(float));
    }
}

void MVStreamSoundStore::convert(int channelCount, double positionScale,
    const std::function<std::vector<float>(const std::vector<float>& samples)>& convert)
{
    std::lock_guard lock(_mutex);
    _channels = std::max(1, channelCount);
    std::deque<Block> converted;
    for (auto& block : _blocks) {
        Block b { int64_t(std::llround(double(block.position) * positionScale)), convert(block.samples) };
        b.samples.resize(size_t(b.frames(_channels)) * size_t(_channels));
        if (b.samples.empty())
            continue;
        // Rounding may leave a block a frame into the one before it: that one ends where it starts.
        if (!converted.empty()) {
            Block& last = converted.back();
            const int64_t keep = std::max<int64_t>(0, b.position - last.position);
            if (keep < last.frames(_channels))
                last.samples.resize(size_t(keep) * size_t(_channels));
            if (last.samples.empty())
                converted.pop_back();
        }
        converted.push_back(std::move(b));
    }
    _blocks = std::move(converted);
}

int64_t MVStreamSoundStore::start() const
{
    std::lock_guard lock(_mutex);
    return _blocks.empty() ? 0 : _blocks.front().position;
}

int64_t MVStreamSoundStore::end() const
{
    std::lock_guard lock(_mutex);
    return _blocks.empty() ? 0 : _blocks.back().position + _blocks.back().frames(_channels);
}

bool MVStreamSoundStore::isEmpty() const
{
    std::lock_guard lock(_mutex);
    return _blocks.empty();
}

void MVStreamSoundStore::trimBefore(int64_t position)
{
    std::lock_guard lock(_mutex);
    while (!_blocks.empty() && _blocks.front().position + _blocks.front().frames(_channels) <= position)
        _blocks.pop_front();
}

void MVStreamSoundStore::clear()
{
    std::lock_guard lock(_mutex);
    _blocks.clear();
}

// ---- Pictures

MVStreamPictureQueue::MVStreamPictureQueue(size_t capacity)
    : _capacity(std::max<size_t>(2, capacity))
{
}

bool MVStreamPictureQueue::push(Picture picture, uint64_t generation)
{
    std::unique_lock lock(_mutex);
    _room.wait(lock, [&] { return _stopped || generation != _generation || _pictures.size() < _capacity; });
    if (_stopped || generation != _generation)
        return false;
    if (!_pictures.empty()) {
        Picture& last = _pictures.back();
        if (picture.start < last.start)
            return true; // out of order: a damaged time, not worth showing
        if (picture.start > last.start)
            last.end = picture.start;
    }
    if (picture.end <= picture.start)
        picture.end = picture.start + 1;
    _pictures.push_back(std::move(picture));
    return true;
}

std::optional<MVStreamPictureQueue::Picture> MVStreamPictureQueue::pictureAt(int64_t time)
{
    std::lock_guard lock(_mutex);
    bool dropped = false;
    while (_pictures.size() > 1 && _pictures[1].start <= time) {
        _pictures.pop_front();
        dropped = true;
    }
    if (dropped)
        _room.notify_all();
    if (_pictures.empty())
        return std::nullopt;
    // Before the first picture (the stream's pictures start a little after its sound) that one shows.
    return _pictures.front();
}

void MVStreamPictureQueue::clear(uint64_t generation)
{
    std::lock_guard lock(_mutex);
    _pictures.clear();
    _generation = generation;
    _room.notify_all();
}

uint64_t MVStreamPictureQueue::generation() const
{
    std::lock_guard lock(_mutex);
    return _generation;
}

void MVStreamPictureQueue::stop()
{
    std::lock_guard lock(_mutex);
    _stopped = true;
    _room.notify_all();
}

size_t MVStreamPictureQueue::count() const
{
    std::lock_guard lock(_mutex);
    return _pictures.size();
}

std::optional<int64_t> MVStreamPictureQueue::firstStart() const
{
    std::lock_guard lock(_mutex);
    if (_pictures.empty())
        return std::nullopt;
    return _pictures.front().start;
}
