#pragma once
// MVAudioTrackDecoder: the sound of one track on the movie's timeline, decoded and converted to the
// mix format.
//
// Positions are frames of the mix format from movie time 0 (position / sampleRate seconds). The
// track's edit list decides what plays where: each segment is decoded from its media time, trimmed to
// exactly its length, and empty segments are silence. Reading on from where the last read ended
// continues decoding; any other position starts again at that place (a few samples early, so codecs
// with overlapping blocks settle before the first sample that counts).
#include "platform/mvkit/playback/audio_format.h"
#include "platform/mvkit/playback/decoder.h"
#include "platform/mvkit/playback/edit_map.h"
#include "platform/mvkit/playback/sample_source.h"

#include <memory>
#include <vector>

struct SwrContext;

class MVAudioTrackDecoder {
public:
    static std::unique_ptr<MVAudioTrackDecoder> decoderWithSource(
        std::shared_ptr<MVSampleSource> source, MVAudioFormat format, HXError* outError);
    ~MVAudioTrackDecoder();

    const MVEditMap& editMap() const { return _editMap; }
    const MVAudioFormat& format() const { return _format; }
    // The track's length in frames of the mix format.
    int64_t frameCount() const { return frameForMovieTime(_editMap.duration()); }

    // Fills `count` interleaved frames from `position`. Where the track has nothing the frames are
    // silent. False (the rest silent) when the data cannot be read or decoded.
    bool read(int64_t position, int count, float* out, HXError* outError);

private:
    MVAudioTrackDecoder(std::shared_ptr<MVSampleSource> source, MVAudioFormat format);
    int64_t frameForMovieTime(int64_t movieTime) const;
    int64_t fifoEnd() const
    {
        return _fifoPosition + int64_t((_fifo.size() - _fifoHead) / size_t(_format.channelCount));
    }
    void appendSilence(int64_t frames);
    void truncateAt(int64_t position);
    bool produce(int64_t want, HXError* outError);
    bool startSegment(size_t segment, int64_t position, HXError* outError);
    // Decodes the next run of samples of the current segment; false on an error.
    bool decodeNext(HXError* outError);
    void convert(const MVDecodedFrame& frame);
    void flushResampler();

    std::shared_ptr<MVSampleSource> _source;
    MVAudioFormat _format;
    MVEditMap _editMap;
    std::vector<int64_t> _decodeTimes;

    // Converted frames not read yet; _fifo[_fifoHead] is at _fifoPosition.
    std::vector<float> _fifo;
    size_t _fifoHead = 0;
    int64_t _fifoPosition = 0;

    // The segment being decoded.
    bool _inSegment = false;
    size_t _segment = 0;
    int64_t _segmentEnd = 0; // frames
    int64_t _mediaStart = 0; // media units kept: [_mediaStart, _mediaEnd)
    int64_t _mediaEnd = 0;
    int64_t _nextSample = 0;
    bool _drained = false;

    std::unique_ptr<MVDecoder> _decoder;
    uint32_t _decoderDescription = 0;
    SwrContext* _swr = nullptr;
    int _swrRate = 0, _swrFormat = -1, _swrChannels = 0;
    MVBytes _buffer;
    std::vector<float> _converted;
};
