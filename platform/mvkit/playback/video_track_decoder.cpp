#include "platform/mvkit/playback/video_track_decoder.h"

#include <algorithm>

namespace {

int64_t mediaDurationOf(const MVSampleSource& source)
{
    int64_t count = source.sampleCount();
    if (count == 0)
        return 0;
    auto last = source.sample(count - 1);
    return last.decodeTime + last.duration;
}

} // namespace

MVVideoTrackDecoder::MVVideoTrackDecoder(std::shared_ptr<MVSampleSource> source)
    : _source(std::move(source))
    , _editMap(
          _source->edits(), _source->movieTimeScale(), _source->mediaTimeScale(), mediaDurationOf(*_source))
{
}

std::unique_ptr<MVVideoTrackDecoder> MVVideoTrackDecoder::decoderWithSource(
    std::shared_ptr<MVSampleSource> source, HXError* outError, int threadCount)
{
    if (!source)
        return nullptr;
    std::unique_ptr<MVVideoTrackDecoder> d(new MVVideoTrackDecoder(std::move(source)));
    d->_threadCount = threadCount;
    int64_t count = d->_source->sampleCount();
    d->_presentation.reserve(size_t(count));
    for (int64_t i = 0; i < count; ++i) {
        auto s = d->_source->sample(i);
        d->_presentation.push_back({ s.presentationTime(), i });
        if (s.sync)
            d->_syncSamples.push_back(i);
    }
    std::stable_sort(d->_presentation.begin(), d->_presentation.end(),
        [](const Presented& a, const Presented& b) { return a.time < b.time; });
    // Make sure the first description can be decoded at all: a movie we cannot show fails at once.
    if (count > 0) {
        auto description = d->_source->sampleDescription(d->_source->sample(0).descriptionIndex);
        if (!description) {
            if (outError)
                *outError = HXError::withDescription(
                    HXOSStatusErrorDomain, MVStatusInvalidSample, "A sample has no sample description.");
            return nullptr;
        }
        auto configuration
            = MVDecoderConfigurationForDescription(*description, d->_source->mediaType(), outError);
        if (!configuration)
            return nullptr;
        d->_decoder = MVDecoder::decoderWithConfiguration(
            *configuration, d->_source->mediaTimeScale(), outError, d->_threadCount);
        if (!d->_decoder)
            return nullptr;
        d->_decoderDescription = d->_source->sample(0).descriptionIndex;
    }
    return d;
}

size_t MVVideoTrackDecoder::presentationIndexAt(int64_t mediaTime) const
{
    auto it = std::upper_bound(_presentation.begin(), _presentation.end(), mediaTime,
        [](int64_t t, const Presented& p) { return t < p.time; });
    return it == _presentation.begin() ? 0 : size_t(it - _presentation.begin()) - 1;
}

int64_t MVVideoTrackDecoder::syncSampleAtOrBefore(int64_t sample) const
{
    auto it = std::upper_bound(_syncSamples.begin(), _syncSamples.end(), sample);
    return it == _syncSamples.begin() ? 0 : *(it - 1);
}

bool MVVideoTrackDecoder::restartAt(int64_t sample, HXError* outError)
{
    (void)outError;
    _pending.clear();
    if (_decoder)
        _decoder->reset();
    _nextSample = sample;
    _drained = false;
    return true;
}

// Decodes the next sample (or drains the decoder after the last): 1 when it did, 0 at the end, −1 on
// an error.
int MVVideoTrackDecoder::feedNext(HXError* outError)
{
    std::vector<std::shared_ptr<MVDecodedFrame>> frames;
    if (_nextSample >= _source->sampleCount()) {
        if (_drained || !_decoder)
            return 0;
        _decoder->drain(frames);
        _drained = true;
    } else {
        auto s = _source->sample(_nextSample);
        if (!_decoder || s.descriptionIndex != _decoderDescription) {
            if (_decoder)
                _decoder->drain(frames);
            auto description = _source->sampleDescription(s.descriptionIndex);
            std::optional<MVDecoderConfiguration> configuration;
            if (description)
                configuration
                    = MVDecoderConfigurationForDescription(*description, _source->mediaType(), outError);
            else if (outError)
                *outError = HXError::withDescription(
                    HXOSStatusErrorDomain, MVStatusInvalidSample, "A sample has no sample description.");
            if (!configuration)
                return -1;
            _decoder = MVDecoder::decoderWithConfiguration(
                *configuration, _source->mediaTimeScale(), outError, _threadCount);
            if (!_decoder)
                return -1;
            _decoderDescription = s.descriptionIndex;
        }
        if (!_source->readData(s.descriptionIndex, s.offset, s.size, _buffer, outError))
            return -1;
        if (!_decoder->decode(_buffer.data(), _buffer.size(), s.decodeTime, s.presentationTime(), s.duration,
                frames, outError, s.sync))
            return -1;
        ++_nextSample;
        ++_samplesDecoded;
    }
    for (auto& f : frames)
        _pending.push_back(std::move(f));
    return 1;
}

std::shared_ptr<MVDecodedFrame> MVVideoTrackDecoder::frameAtTime(int64_t movieTime, HXError* outError)
{
    auto mediaTime = _editMap.mediaTimeAt(movieTime);
    if (!mediaTime || _presentation.empty())
        return nullptr;
    const Presented target = _presentation[presentationIndexAt(*mediaTime)];
    if (_current && _current->time() == target.time)
        return _current;

    int64_t sync = syncSampleAtOrBefore(target.sample);
    // A picture shown before the key picture it is decoded after (an open group of pictures: B-frames
    // after an I-frame in MPEG-4 Part 2, leading pictures of HEVC) is predicted from pictures before that
    // key picture too: decoding starts at the key picture before.
    while (sync > 0 && _source->sample(sync).presentationTime() > target.time)
        sync = syncSampleAtOrBefore(sync - 1);
    bool ahead = _current && _current->time() < target.time;
    // After the last sample the decoder has been drained: what is still to come is in _pending.
    bool stillComing = !_drained || (!_pending.empty() && _pending.back()->time() >= target.time);
    bool canContinue = _nextSample >= 0 && ahead && sync <= _nextSample && stillComing;
    if (!canContinue)
        restartAt(sync, outError);

    std::shared_ptr<MVDecodedFrame> best;
    for (;;) {
        while (!_pending.empty() && _pending.front()->time() <= target.time) {
            best = _pending.front();
            _pending.pop_front();
            if (best->time() == target.time)
                break;
        }
        if (best && best->time() == target.time)
            break;
        if (!_pending.empty()) {
            if (!best)
                best = _pending.front(); // the wanted picture never came: show the next one
            break;
        }
        int fed = feedNext(outError);
        if (fed < 0) {
            // The data stops here (a sample that has not arrived, or cannot be read): the pictures the
            // decoder holds back still show; the next request starts again from a sync sample.
            if (!_decoder || _nextSample < 0)
                return nullptr;
            std::vector<std::shared_ptr<MVDecodedFrame>> held;
            _decoder->drain(held);
            _nextSample = -1;
            for (auto& f : held)
                _pending.push_back(std::move(f));
            while (!_pending.empty() && _pending.front()->time() <= target.time) {
                best = _pending.front();
                _pending.pop_front();
            }
            _pending.clear();
            if (!best || best->time() != target.time)
                return nullptr;
            break;
        }
        if (fed == 0)
            break;
    }
    if (best)
        _current = best;
    return best;
}

int64_t MVVideoTrackDecoder::nextChangeAfter(int64_t movieTime) const
{
    auto index = _editMap.segmentIndexAt(movieTime);
    if (!index)
        return _editMap.duration();
    const auto& s = _editMap.segments()[*index];
    if (s.isEmpty() || _presentation.empty())
        return s.movieEnd();
    auto mediaTime = *_editMap.mediaTimeAt(movieTime);
    size_t i = presentationIndexAt(mediaTime);
    // The first later sample whose start maps past `movieTime`.
    for (size_t j = i + 1; j < _presentation.size(); ++j) {
        int64_t t = _editMap.movieTimeForMediaTime(s, _presentation[j].time);
        if (t > movieTime)
            return std::min(t, s.movieEnd());
    }
    return s.movieEnd();
}

int64_t MVVideoTrackDecoder::pictureStart(int64_t movieTime) const
{
    auto index = _editMap.segmentIndexAt(movieTime);
    if (!index)
        return movieTime < 0 ? 0 : _editMap.duration();
    const auto& s = _editMap.segments()[*index];
    if (s.isEmpty() || _presentation.empty())
        return s.movieStart;
    size_t i = presentationIndexAt(*_editMap.mediaTimeAt(movieTime));
    int64_t start = _editMap.movieTimeForMediaTime(s, _presentation[i].time);
    // Rounding may put the start a unit past `movieTime`.
    return std::clamp(start, s.movieStart, movieTime);
}
