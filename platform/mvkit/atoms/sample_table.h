#pragma once
// Lookups on a sample table in its compact, run-length form.
//
// MVSampleTableIndex keeps small prefix arrays over the runs of 'stts', 'ctts' and 'stsc' (one entry per
// run, plus one per chunk) and answers time↔sample and sample→chunk/offset in O(log n). It never makes
// an array per sample; expand() does, when a caller wants one.
//
// Sample numbers here are 0-based; the tables store 1-based numbers ('stss', 'stsc').
// The index refers to the table it was built from, which must outlive it and stay unchanged.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <string>

// No sample of a movie is larger than this; a table that claims one is damaged or hostile, and
// honouring it would mean reading (and holding) that many bytes at once.
inline constexpr uint64_t MVMaximumSampleSize = uint64_t(1) << 30;
// The most samples one track may have (the movie model holds a record per sample).
inline constexpr uint64_t MVMaximumSampleCount = uint64_t(1) << 25;

// Cuts `table` to its first `count` samples, keeping its tables consistent with each other: runs of
// 'stts', 'ctts' and 'stsc' end at the last sample, sync samples past it go, and only the chunks that
// hold the samples are kept (the last one may hold fewer than before).
void MVTruncateSampleTable(MVSampleTable& table, uint32_t count);

class MVSampleTableIndex {
public:
    explicit MVSampleTableIndex(const MVSampleTable& table);

    // Samples with a size, a time and a chunk: the smallest of the counts the tables give.
    uint32_t sampleCount() const { return _sampleCount; }
    uint32_t chunkCount() const { return uint32_t(_chunkFirstSample.size()); }
    // Sum of all sample durations, in the media's time scale.
    int64_t duration() const { return _duration; }
    // Inconsistencies found while indexing ("'stts' counts 10 samples, 'stsz' 12"); empty when clean.
    const std::vector<std::string>& problems() const { return _problems; }

    struct Timing {
        int64_t decodeTime = 0; // media time at which the sample starts
        uint32_t duration = 0;
        int32_t compositionOffset = 0; // presentation time = decodeTime + compositionOffset
    };
    std::optional<Timing> timingForSample(uint32_t sample) const;
    // The sample whose decode interval holds `mediaTime`; nothing before 0 or at/after the end.
    std::optional<uint32_t> sampleForDecodeTime(int64_t mediaTime) const;

    struct Location {
        uint32_t chunk = 0; // 0-based
        uint64_t offset = 0;
        uint32_t size = 0;
        uint32_t sampleDescriptionIndex = 1; // 1-based, as in 'stsc'
    };
    std::optional<Location> locationForSample(uint32_t sample) const;
    uint32_t sampleSize(uint32_t sample) const;

    struct Chunk {
        uint32_t firstSample = 0;
        uint32_t sampleCount = 0;
        uint32_t sampleDescriptionIndex = 1;
        uint64_t offset = 0;
        uint64_t size = 0; // bytes of its samples, which lie one after another
    };
    std::optional<Chunk> chunk(uint32_t index) const;

    bool isSyncSample(uint32_t sample) const;
    // The last sync sample at or before `sample` (the sample itself when every sample is a sync sample);
    // nothing when there is none.
    std::optional<uint32_t> syncSampleAtOrBefore(uint32_t sample) const;

    // Every sample as one record; 40 bytes a sample.
    struct Sample {
        uint64_t offset = 0;
        int64_t decodeTime = 0;
        uint32_t size = 0;
        uint32_t duration = 0;
        int32_t compositionOffset = 0;
        uint32_t sampleDescriptionIndex = 1;
        bool isSync = true;
    };
    std::vector<Sample> expand() const;

private:
    const MVSampleTable& _table;
    uint32_t _sampleCount = 0;
    int64_t _duration = 0;
    std::vector<uint32_t> _sttsFirstSample; // per 'stts' run
    std::vector<int64_t> _sttsStartTime;
    std::vector<uint32_t> _cttsFirstSample; // per 'ctts' run
    std::vector<uint32_t> _chunkFirstSample; // per chunk
    std::vector<uint32_t> _chunkDescription; // per chunk
    std::vector<std::string> _problems;
};
