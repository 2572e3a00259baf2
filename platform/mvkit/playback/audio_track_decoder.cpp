#include "platform/mvkit/playback/audio_track_decoder.h"

#include "platform/mvkit/audio_channel_layout.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

__extension__ typedef __int128 Int128;

int64_t mulDivRound(int64_t a, int64_t b, int64_t c)
{
    Int128 p = Int128(a) * b;
    Int128 q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
    return int64_t(q);
}

int64_t mediaDurationOf(const MVSampleSource& source)
{
    int64_t count = source.sampleCount();
    if (count == 0)
        return 0;
    auto last = source.sample(count - 1);
    return last.decodeTime + last.duration;
}

// PCM samples are single frames; they are decoded in runs of about this many.
constexpr uint32_t kPCMRunFrames = 4096;
// Samples decoded before a segment's start after a jump, so overlapping codecs settle.
constexpr int64_t kPrerollSamples = 2;

// Where a speaker label of a stored channel layout plays; AV_CHAN_NONE for labels with no place of their
// own (unused, discrete channels).
AVChannel channelForLabel(uint32_t label)
{
    switch (label) {
    case 1: return AV_CHAN_FRONT_LEFT;
    case 2: return AV_CHAN_FRONT_RIGHT;
    case 3: return AV_CHAN_FRONT_CENTER;
    case 4: return AV_CHAN_LOW_FREQUENCY;
    case 5: return AV_CHAN_SIDE_LEFT;
    case 6: return AV_CHAN_SIDE_RIGHT;
    case 7: return AV_CHAN_FRONT_LEFT_OF_CENTER;
    case 8: return AV_CHAN_FRONT_RIGHT_OF_CENTER;
    case 9: return AV_CHAN_BACK_CENTER;
    case 10: return AV_CHAN_SURROUND_DIRECT_LEFT;
    case 11: return AV_CHAN_SURROUND_DIRECT_RIGHT;
    case 12: return AV_CHAN_TOP_CENTER;
    case 33: return AV_CHAN_BACK_LEFT;
    case 34: return AV_CHAN_BACK_RIGHT;
    case 35: return AV_CHAN_WIDE_LEFT;
    case 36: return AV_CHAN_WIDE_RIGHT;
    case 37: return AV_CHAN_LOW_FREQUENCY_2;
    case 38: return AV_CHAN_STEREO_LEFT;
    case 39: return AV_CHAN_STEREO_RIGHT;
    case MVChannelLabelMono:
    case MVChannelLabelUnknown: return AV_CHAN_FRONT_CENTER;
    default: return AV_CHAN_NONE;
    }
}

// The side a speaker stands on: −1 left, 1 right, 0 the middle.
int sideOf(AVChannel channel)
{
    switch (channel) {
    case AV_CHAN_FRONT_LEFT: case AV_CHAN_SIDE_LEFT: case AV_CHAN_FRONT_LEFT_OF_CENTER: case AV_CHAN_BACK_LEFT:
    case AV_CHAN_SURROUND_DIRECT_LEFT: case AV_CHAN_WIDE_LEFT: case AV_CHAN_STEREO_LEFT: case AV_CHAN_TOP_FRONT_LEFT:
    case AV_CHAN_TOP_BACK_LEFT:
        return -1;
    case AV_CHAN_FRONT_RIGHT: case AV_CHAN_SIDE_RIGHT: case AV_CHAN_FRONT_RIGHT_OF_CENTER: case AV_CHAN_BACK_RIGHT:
    case AV_CHAN_SURROUND_DIRECT_RIGHT: case AV_CHAN_WIDE_RIGHT: case AV_CHAN_STEREO_RIGHT: case AV_CHAN_TOP_FRONT_RIGHT:
    case AV_CHAN_TOP_BACK_RIGHT:
        return 1;
    default:
        return 0;
    }
}

// The gains from the track's channels, labelled by `layout`, to the channels of the standard layout of
// `out`, row by row (one row per output channel). A speaker the output has gets its channel as it is;
// the others fold down the usual way: a side to the front speaker of its side at −3 dB (a front one,
// beside the centre included, at full level), the middle to both front speakers at −3 dB; low frequencies
// only to a speaker of their own. A discrete channel plays on the output channel of its number, an unused one
// nowhere.
std::vector<double> mixMatrix(const MVAudioChannelLayout& layout, const AVChannelLayout& out)
{
    const int outputs = out.nb_channels, inputs = int(layout.descriptions.size());
    std::vector<double> m(size_t(outputs) * size_t(inputs), 0.0);
    auto gain = [&](AVChannel to, int input, double g) {
        int index = av_channel_layout_index_from_channel(&out, to);
        if (index >= 0)
            m[size_t(index) * size_t(inputs) + size_t(input)] += g;
        return index >= 0;
    };
    constexpr double kFold = 0.70710678118654752;
    for (int i = 0; i < inputs; ++i) {
        const uint32_t label = layout.descriptions[size_t(i)].label;
        if (label >= MVChannelLabelDiscrete0 && label <= MVChannelLabelDiscrete0 + 0xFFFF) {
            if (int n = int(label - MVChannelLabelDiscrete0); n < outputs)
                m[size_t(n) * size_t(inputs) + size_t(i)] = 1.0;
            continue;
        }
        const AVChannel channel = channelForLabel(label);
        if (channel == AV_CHAN_NONE || gain(channel, i, 1.0))
            continue;
        if (channel == AV_CHAN_LOW_FREQUENCY || channel == AV_CHAN_LOW_FREQUENCY_2)
            continue;
        const int side = sideOf(channel);
        const bool front = channel == AV_CHAN_FRONT_LEFT || channel == AV_CHAN_FRONT_RIGHT
            || channel == AV_CHAN_STEREO_LEFT || channel == AV_CHAN_STEREO_RIGHT
            || channel == AV_CHAN_FRONT_LEFT_OF_CENTER || channel == AV_CHAN_FRONT_RIGHT_OF_CENTER;
        if (side != 0 && gain(side < 0 ? AV_CHAN_FRONT_LEFT : AV_CHAN_FRONT_RIGHT, i, front ? 1.0 : kFold))
            continue;
        if (side == 0 && channel != AV_CHAN_FRONT_CENTER && gain(AV_CHAN_FRONT_CENTER, i, 1.0))
            continue;
        // Neither: the middle (or a side without its front speaker) goes to both fronts, or the centre.
        bool placed = gain(AV_CHAN_FRONT_LEFT, i, kFold);
        placed = gain(AV_CHAN_FRONT_RIGHT, i, kFold) || placed;
        if (!placed)
            gain(AV_CHAN_FRONT_CENTER, i, side == 0 ? 1.0 : kFold);
    }
    return m;
}

} // namespace

MVAudioTrackDecoder::MVAudioTrackDecoder(std::shared_ptr<MVSampleSource> source, MVAudioFormat format)
    : _source(std::move(source))
    , _format(format)
    , _editMap(
          _source->edits(), _source->movieTimeScale(), _source->mediaTimeScale(), mediaDurationOf(*_source))
{
}

MVAudioTrackDecoder::~MVAudioTrackDecoder()
{
    swr_free(&_swr);
}

std::unique_ptr<MVAudioTrackDecoder> MVAudioTrackDecoder::decoderWithSource(
    std::shared_ptr<MVSampleSource> source, MVAudioFormat format, HXError* outError)
{
    if (!source || format.sampleRate <= 0 || format.channelCount <= 0) {
        if (outError)
            *outError
                = HXError::withDescription(HXOSStatusErrorDomain, MVStatusCodecError, "No sound to decode.");
        return nullptr;
    }
    std::unique_ptr<MVAudioTrackDecoder> d(new MVAudioTrackDecoder(std::move(source), format));
    int64_t count = d->_source->sampleCount();
    d->_decodeTimes.reserve(size_t(count));
    for (int64_t i = 0; i < count; ++i)
        d->_decodeTimes.push_back(d->_source->sample(i).decodeTime);
    if (count > 0) {
        uint32_t index = d->_source->sample(0).descriptionIndex;
        auto description = d->_source->sampleDescription(index);
        std::optional<MVDecoderConfiguration> configuration;
        if (description)
            configuration
                = MVDecoderConfigurationForDescription(*description, d->_source->mediaType(), outError);
        if (!configuration)
            return nullptr;
        d->_decoder
            = MVDecoder::decoderWithConfiguration(*configuration, d->_source->mediaTimeScale(), outError);
        if (!d->_decoder)
            return nullptr;
        d->_decoderDescription = index;
    }
    return d;
}

int64_t MVAudioTrackDecoder::frameForMovieTime(int64_t movieTime) const
{
    return mulDivRound(movieTime, _format.sampleRate, _editMap.movieTimeScale());
}

void MVAudioTrackDecoder::appendSilence(int64_t frames)
{
    if (frames > 0)
        _fifo.insert(_fifo.end(), size_t(frames) * size_t(_format.channelCount), 0.0f);
}

void MVAudioTrackDecoder::truncateAt(int64_t position)
{
    if (fifoEnd() > position)
        _fifo.resize(_fifoHead
            + size_t(std::max<int64_t>(0, position - _fifoPosition)) * size_t(_format.channelCount));
}

bool MVAudioTrackDecoder::read(int64_t position, int count, float* out, HXError* outError)
{
    const size_t channels = size_t(_format.channelCount);
    if (count <= 0)
        return true;
    if (position < _fifoPosition || position > fifoEnd()) {
        // A jump: start over at `position`.
        _fifo.clear();
        _fifoHead = 0;
        _fifoPosition = position;
        _inSegment = false;
    } else {
        _fifoHead += size_t(position - _fifoPosition) * channels;
        _fifoPosition = position;
    }
    bool ok = true;
    const int64_t want = position + count;
    while (fifoEnd() < want) {
        if (!produce(want, outError)) {
            ok = false;
            appendSilence(want - fifoEnd());
            _inSegment = false;
        }
    }
    std::memcpy(out, _fifo.data() + _fifoHead, size_t(count) * channels * sizeof(float));
    _fifoHead += size_t(count) * channels;
    _fifoPosition += count;
    if (_fifoHead > (1u << 16)) {
        _fifo.erase(_fifo.begin(), _fifo.begin() + ptrdiff_t(_fifoHead));
        _fifoHead = 0;
    }
    return ok;
}

bool MVAudioTrackDecoder::produce(int64_t want, HXError* outError)
{
    const int64_t at = fifoEnd();
    const auto& segments = _editMap.segments();
    if (!_inSegment) {
        // The segment holding `at`, or silence until the next one begins.
        size_t k = 0;
        while (k < segments.size() && frameForMovieTime(segments[k].movieEnd()) <= at)
            ++k;
        if (k == segments.size()) {
            appendSilence(want - at);
            return true;
        }
        int64_t start = frameForMovieTime(segments[k].movieStart);
        if (at < start) {
            appendSilence(std::min(want, start) - at);
            return true;
        }
        if (segments[k].isEmpty()) {
            appendSilence(std::min(want, frameForMovieTime(segments[k].movieEnd())) - at);
            return true;
        }
        if (!startSegment(k, at, outError))
            return false;
    }
    if (!decodeNext(outError))
        return false;
    if (fifoEnd() >= _segmentEnd) {
        truncateAt(_segmentEnd);
        _inSegment = false;
    }
    return true;
}

bool MVAudioTrackDecoder::startSegment(size_t k, int64_t position, HXError* outError)
{
    (void)outError;
    const auto& s = _editMap.segments()[k];
    const int64_t segmentStart = frameForMovieTime(s.movieStart);
    _segment = k;
    _segmentEnd = frameForMovieTime(s.movieEnd());
    _mediaStart = s.mediaTime
        + mulDivRound(mulDivRound(position - segmentStart, _editMap.mediaTimeScale(), _format.sampleRate),
            s.mediaRate, 0x10000);
    _mediaEnd = s.mediaTime + _editMap.mediaDuration(s);
    auto it = std::upper_bound(_decodeTimes.begin(), _decodeTimes.end(), _mediaStart);
    int64_t sample = it == _decodeTimes.begin() ? 0 : int64_t(it - _decodeTimes.begin()) - 1;
    if (_decoder && !_decoder->configuration().isPCM)
        sample = std::max<int64_t>(0, sample - kPrerollSamples);
    _nextSample = sample;
    _drained = false;
    if (_decoder)
        _decoder->reset();
    swr_free(&_swr);
    _inSegment = true;
    return true;
}

bool MVAudioTrackDecoder::decodeNext(HXError* outError)
{
    std::vector<std::shared_ptr<MVDecodedFrame>> frames;
    const int64_t count = _source->sampleCount();
    bool pastEnd = _nextSample >= count || _decodeTimes[size_t(_nextSample)] >= _mediaEnd;
    if (pastEnd) {
        if (!_drained && _decoder) {
            _decoder->drain(frames);
            _drained = true;
            for (const auto& f : frames)
                convert(*f);
            flushResampler();
        }
        // Nothing more to decode: the segment ends in silence.
        appendSilence(_segmentEnd - fifoEnd());
        return true;
    }
    auto first = _source->sample(_nextSample);
    if (!_decoder || first.descriptionIndex != _decoderDescription) {
        if (_decoder) {
            _decoder->drain(frames);
            for (const auto& f : frames)
                convert(*f);
            frames.clear();
        }
        auto description = _source->sampleDescription(first.descriptionIndex);
        std::optional<MVDecoderConfiguration> configuration;
        if (description)
            configuration
                = MVDecoderConfigurationForDescription(*description, _source->mediaType(), outError);
        if (!configuration)
            return false;
        _decoder = MVDecoder::decoderWithConfiguration(*configuration, _source->mediaTimeScale(), outError);
        if (!_decoder)
            return false;
        _decoderDescription = first.descriptionIndex;
    }
    // PCM: one read for a run of samples that lie one after another.
    int64_t last = _nextSample;
    uint64_t size = first.size;
    int64_t duration = first.duration;
    if (_decoder->configuration().isPCM) {
        while (last + 1 < count && last + 1 - _nextSample < kPCMRunFrames) {
            auto next = _source->sample(last + 1);
            if (next.descriptionIndex != first.descriptionIndex || next.offset != first.offset + size)
                break;
            size += next.size;
            duration += next.duration;
            ++last;
        }
    }
    if (size > UINT32_MAX
        || !_source->readData(first.descriptionIndex, first.offset, uint32_t(size), _buffer, outError))
        return false;
    if (!_decoder->decode(_buffer.data(), _buffer.size(), first.decodeTime, first.presentationTime(),
            duration, frames, outError))
        return false;
    _nextSample = last + 1;
    for (const auto& f : frames)
        convert(*f);
    return true;
}

void MVAudioTrackDecoder::convert(const MVDecodedFrame& decoded)
{
    const AVFrame* frame = decoded.avFrame();
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0)
        return;
    const int64_t scale = _editMap.mediaTimeScale();
    const int64_t pts = decoded.time();
    if (pts == INT64_MIN)
        return;
    // The part of the frame inside [_mediaStart, _mediaEnd).
    int64_t skip = std::max<int64_t>(0, mulDivRound(_mediaStart - pts, frame->sample_rate, scale));
    int64_t end
        = std::min<int64_t>(frame->nb_samples, mulDivRound(_mediaEnd - pts, frame->sample_rate, scale));
    if (end <= skip)
        return;
    const int channels = frame->ch_layout.nb_channels;
    if (!_swr || _swrRate != frame->sample_rate || _swrFormat != frame->format || _swrChannels != channels) {
        flushResampler();
        swr_free(&_swr);
        AVChannelLayout out;
        av_channel_layout_default(&out, _format.channelCount);
        AVChannelLayout in;
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, channels);
        else
            av_channel_layout_copy(&in, &frame->ch_layout);
        int err = swr_alloc_set_opts2(&_swr, &out, AV_SAMPLE_FMT_FLT, _format.sampleRate, &in,
            AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        // The speakers the stored channel layout assigns decide where each channel plays.
        if (err >= 0) {
            auto description = _source->sampleDescription(_decoderDescription);
            auto layout = description ? MVAudioChannelLayoutOfDescription(*description) : std::nullopt;
            if (layout && int(layout->descriptions.size()) == channels) {
                auto matrix = mixMatrix(*layout, out);
                err = swr_set_matrix(_swr, matrix.data(), channels);
            }
        }
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&out);
        if (err < 0 || swr_init(_swr) < 0) {
            swr_free(&_swr);
            return;
        }
        _swrRate = frame->sample_rate;
        _swrFormat = frame->format;
        _swrChannels = channels;
    }
    const uint8_t* in[AV_NUM_DATA_POINTERS] = {};
    const int bytes = av_get_bytes_per_sample(AVSampleFormat(frame->format));
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
    const int planes = planar ? channels : 1;
    if (planes > AV_NUM_DATA_POINTERS)
        return;
    for (int p = 0; p < planes; ++p)
        in[p] = frame->extended_data[p] + skip * bytes * (planar ? 1 : channels);
    const int inCount = int(end - skip);
    const int outCount = swr_get_out_samples(_swr, inCount);
    if (outCount <= 0)
        return;
    _converted.resize(size_t(outCount) * size_t(_format.channelCount));
    uint8_t* outPlanes[1] = { reinterpret_cast<uint8_t*>(_converted.data()) };
    int made = swr_convert(_swr, outPlanes, outCount, in, inCount);
    if (made > 0)
        _fifo.insert(
            _fifo.end(), _converted.begin(), _converted.begin() + ptrdiff_t(made) * _format.channelCount);
}

void MVAudioTrackDecoder::flushResampler()
{
    if (!_swr)
        return;
    const int outCount = swr_get_out_samples(_swr, 0);
    if (outCount <= 0)
        return;
    _converted.resize(size_t(outCount) * size_t(_format.channelCount));
    uint8_t* outPlanes[1] = { reinterpret_cast<uint8_t*>(_converted.data()) };
    int made = swr_convert(_swr, outPlanes, outCount, nullptr, 0);
    if (made > 0)
        _fifo.insert(
            _fifo.end(), _converted.begin(), _converted.begin() + ptrdiff_t(made) * _format.channelCount);
}
