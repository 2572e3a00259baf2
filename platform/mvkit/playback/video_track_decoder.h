#pragma once
// MVVideoTrackDecoder: the picture a visual track shows at any movie time.
//
// It follows the track's edit list to a media time, picks the sample presented at that time, and
// decodes it: forward from where it is when the sample lies ahead in the same run of samples,
// otherwise from the sync sample at or before it. Sequential requests therefore decode each sample
// once; a jump costs one run from a sync sample.
#include "platform/mvkit/playback/decoder.h"
#include "platform/mvkit/playback/edit_map.h"
#include "platform/mvkit/playback/sample_source.h"

#include <deque>
#include <memory>

class MVVideoTrackDecoder {
public:
    static std::unique_ptr<MVVideoTrackDecoder> decoderWithSource(
        std::shared_ptr<MVSampleSource> source, HXError* outError, int threadCount = 0);

    const MVEditMap& editMap() const { return _editMap; }

    // The frame shown at `movieTime` (movie units). Null in an empty segment or outside the track
    // (`outError` untouched), or when the data cannot be read or decoded (`outError` set).
    std::shared_ptr<MVDecodedFrame> frameAtTime(int64_t movieTime, HXError* outError);
    // The movie time after `movieTime` at which the track's picture next changes; the track's
    // duration when it does not change any more.
    int64_t nextChangeAfter(int64_t movieTime) const;
    // The movie time at which the picture shown at `movieTime` began (its segment's start at the latest).
    int64_t pictureStart(int64_t movieTime) const;

    int64_t sampleCount() const { return int64_t(_presentation.size()); }
    // Samples given to the decoder so far (a sample decoded again after a jump counts again).
    int64_t samplesDecoded() const { return _samplesDecoded; }

private:
    MVVideoTrackDecoder(std::shared_ptr<MVSampleSource> source);
    // Index into _presentation of the sample shown at `mediaTime`.
    size_t presentationIndexAt(int64_t mediaTime) const;
    int64_t syncSampleAtOrBefore(int64_t sample) const;
    int feedNext(HXError* outError);
    bool restartAt(int64_t sample, HXError* outError);

    struct Presented {
        int64_t time; // presentation time
        int64_t sample; // decode-order index
    };

    std::shared_ptr<MVSampleSource> _source;
    MVEditMap _editMap;
    int _threadCount = 0;
    std::vector<Presented> _presentation; // by presentation time
    std::vector<int64_t> _syncSamples; // decode-order indices of sync samples
    std::unique_ptr<MVDecoder> _decoder;
    uint32_t _decoderDescription = 0;
    int64_t _nextSample = -1; // next to feed; −1: not decoding
    bool _drained = false;
    std::deque<std::shared_ptr<MVDecodedFrame>> _pending; // decoded, not yet shown
    std::shared_ptr<MVDecodedFrame> _current;
    MVBytes _buffer;
    int64_t _samplesDecoded = 0;
};
