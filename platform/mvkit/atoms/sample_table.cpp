#include "platform/mvkit/atoms/sample_table.h"

#include <algorithm>

MVSampleTableIndex::MVSampleTableIndex(const MVSampleTable& t)
    : _table(t)
{
    // Time-to-sample runs.
    uint64_t timedSamples = 0;
    _sttsFirstSample.reserve(t.timeToSample.size());
    _sttsStartTime.reserve(t.timeToSample.size());
    for (const auto& run : t.timeToSample) {
        if (timedSamples > UINT32_MAX)
            break;
        // A damaged table can claim more time than 64 bits hold: the runs end where the sum would overflow.
        int64_t runDuration = 0;
        int64_t end = 0;
        if (__builtin_mul_overflow(int64_t(run.sampleCount), int64_t(run.sampleDuration), &runDuration)
            || __builtin_add_overflow(_duration, runDuration, &end)) {
            _problems.push_back("'stts' durations exceed the range of a time");
            break;
        }
        _sttsFirstSample.push_back(uint32_t(timedSamples));
        _sttsStartTime.push_back(_duration);
        timedSamples += run.sampleCount;
        _duration = end;
    }
    uint64_t compositionSamples = 0;
    for (const auto& run : t.compositionOffsets) {
        if (compositionSamples > UINT32_MAX)
            break;
        _cttsFirstSample.push_back(uint32_t(compositionSamples));
        compositionSamples += run.sampleCount;
    }

    // Chunks: one entry each, from the runs of 'stsc'.
    size_t chunks = t.chunkOffsets.size();
    _chunkFirstSample.reserve(chunks);
    _chunkDescription.reserve(chunks);
    uint64_t chunkedSamples = 0;
    for (size_t k = 0; k < t.sampleToChunk.size() && _chunkFirstSample.size() < chunks; ++k) {
        const auto& run = t.sampleToChunk[k];
        uint64_t first = run.firstChunk;
        uint64_t end = k + 1 < t.sampleToChunk.size() ? t.sampleToChunk[k + 1].firstChunk : chunks + 1;
        if (first != _chunkFirstSample.size() + 1 || end <= first) {
            _problems.push_back("'stsc' runs out of order at entry " + std::to_string(k + 1));
            break;
        }
        end = std::min<uint64_t>(end, chunks + 1);
        for (uint64_t c = first; c < end; ++c) {
            if (chunkedSamples > UINT32_MAX)
                break;
            _chunkFirstSample.push_back(uint32_t(chunkedSamples));
            _chunkDescription.push_back(run.sampleDescriptionIndex);
            chunkedSamples += run.samplesPerChunk;
        }
    }
    if (_chunkFirstSample.size() < chunks)
        _problems.push_back("'stsc' covers " + std::to_string(_chunkFirstSample.size()) + " of "
            + std::to_string(chunks) + " chunks");

    uint64_t sized = t.sampleCount;
    uint64_t n = std::min({ sized, timedSamples, chunkedSamples });
    if (sized != timedSamples || sized != chunkedSamples)
        _problems.push_back("the tables count " + std::to_string(sized) + " sized, "
            + std::to_string(timedSamples) + " timed and " + std::to_string(chunkedSamples)
            + " chunked samples");
    if (t.constantSampleSize == 0 && t.sampleSizes.size() < n) {
        _problems.push_back("'stsz' holds " + std::to_string(t.sampleSizes.size()) + " sizes for "
            + std::to_string(n) + " samples");
        n = t.sampleSizes.size();
    }
    _sampleCount = uint32_t(std::min<uint64_t>(n, UINT32_MAX));
}

std::optional<MVSampleTableIndex::Timing> MVSampleTableIndex::timingForSample(uint32_t sample) const
{
    if (sample >= _sampleCount)
        return std::nullopt;
    auto it = std::upper_bound(_sttsFirstSample.begin(), _sttsFirstSample.end(), sample);
    size_t run = size_t(it - _sttsFirstSample.begin()) - 1;
    Timing timing;
    const auto& entry = _table.timeToSample[run];
    timing.decodeTime = _sttsStartTime[run] + int64_t(sample - _sttsFirstSample[run]) * entry.sampleDuration;
    timing.duration = entry.sampleDuration;
    if (!_cttsFirstSample.empty()) {
        auto c = std::upper_bound(_cttsFirstSample.begin(), _cttsFirstSample.end(), sample);
        size_t crun = size_t(c - _cttsFirstSample.begin()) - 1;
        if (sample - _cttsFirstSample[crun] < _table.compositionOffsets[crun].sampleCount)
            timing.compositionOffset = _table.compositionOffsets[crun].offset;
    }
    return timing;
}

std::optional<uint32_t> MVSampleTableIndex::sampleForDecodeTime(int64_t mediaTime) const
{
    if (mediaTime < 0 || _sttsStartTime.empty())
        return std::nullopt;
    auto it = std::upper_bound(_sttsStartTime.begin(), _sttsStartTime.end(), mediaTime);
    size_t run = size_t(it - _sttsStartTime.begin()) - 1;
    // Runs of zero duration share a start time; upper_bound lands after the last of them, which is the
    // run whose samples actually cover the time.
    const auto& entry = _table.timeToSample[run];
    if (entry.sampleDuration == 0)
        return std::nullopt;
    int64_t k = (mediaTime - _sttsStartTime[run]) / entry.sampleDuration;
    if (k >= int64_t(entry.sampleCount))
        return std::nullopt;
    uint64_t sample = uint64_t(_sttsFirstSample[run]) + uint64_t(k);
    if (sample >= _sampleCount)
        return std::nullopt;
    return uint32_t(sample);
}

uint32_t MVSampleTableIndex::sampleSize(uint32_t sample) const
{
    if (_table.constantSampleSize != 0)
        return _table.constantSampleSize;
    return sample < _table.sampleSizes.size() ? _table.sampleSizes[sample] : 0;
}

std::optional<MVSampleTableIndex::Location> MVSampleTableIndex::locationForSample(uint32_t sample) const
{
    if (sample >= _sampleCount || _chunkFirstSample.empty())
        return std::nullopt;
    auto it = std::upper_bound(_chunkFirstSample.begin(), _chunkFirstSample.end(), sample);
    uint32_t chunk = uint32_t(it - _chunkFirstSample.begin()) - 1;
    Location loc;
    loc.chunk = chunk;
    loc.sampleDescriptionIndex = _chunkDescription[chunk];
    loc.size = sampleSize(sample);
    uint64_t offset = _table.chunkOffsets[chunk];
    uint32_t first = _chunkFirstSample[chunk];
    if (_table.constantSampleSize != 0) {
        offset += uint64_t(sample - first) * _table.constantSampleSize;
    } else {
        for (uint32_t s = first; s < sample; ++s)
            offset += _table.sampleSizes[s];
    }
    loc.offset = offset;
    return loc;
}

std::optional<MVSampleTableIndex::Chunk> MVSampleTableIndex::chunk(uint32_t index) const
{
    if (index >= _chunkFirstSample.size())
        return std::nullopt;
    Chunk c;
    c.firstSample = _chunkFirstSample[index];
    if (c.firstSample >= _sampleCount)
        c.sampleCount = 0;
    else {
        uint32_t end = index + 1 < _chunkFirstSample.size() ? _chunkFirstSample[index + 1] : _sampleCount;
        c.sampleCount = std::min(end, _sampleCount) - c.firstSample;
    }
    c.sampleDescriptionIndex = _chunkDescription[index];
    c.offset = _table.chunkOffsets[index];
    if (_table.constantSampleSize != 0) {
        c.size = uint64_t(c.sampleCount) * _table.constantSampleSize;
    } else {
        for (uint32_t s = 0; s < c.sampleCount; ++s)
            c.size += _table.sampleSizes[c.firstSample + s];
    }
    return c;
}

bool MVSampleTableIndex::isSyncSample(uint32_t sample) const
{
    if (!_table.hasSyncSamples)
        return true;
    return std::binary_search(_table.syncSamples.begin(), _table.syncSamples.end(), sample + 1);
}

std::optional<uint32_t> MVSampleTableIndex::syncSampleAtOrBefore(uint32_t sample) const
{
    if (sample >= _sampleCount)
        sample = _sampleCount ? _sampleCount - 1 : 0;
    if (_sampleCount == 0)
        return std::nullopt;
    if (!_table.hasSyncSamples)
        return sample;
    auto it = std::upper_bound(_table.syncSamples.begin(), _table.syncSamples.end(), sample + 1);
    while (it != _table.syncSamples.begin()) {
        --it;
        if (*it >= 1 && *it - 1 <= sample)
            return *it - 1;
    }
    return std::nullopt;
}

std::vector<MVSampleTableIndex::Sample> MVSampleTableIndex::expand() const
{
    std::vector<Sample> out(_sampleCount);
    // Walk the runs once instead of looking every sample up.
    uint32_t s = 0;
    int64_t time = 0;
    for (const auto& run : _table.timeToSample) {
        for (uint32_t k = 0; k < run.sampleCount && s < _sampleCount; ++k, ++s) {
            out[s].decodeTime = time;
            out[s].duration = run.sampleDuration;
            time += run.sampleDuration;
        }
    }
    s = 0;
    for (const auto& run : _table.compositionOffsets)
        for (uint32_t k = 0; k < run.sampleCount && s < _sampleCount; ++k, ++s)
            out[s].compositionOffset = run.offset;
    for (uint32_t c = 0; c < _chunkFirstSample.size(); ++c) {
        uint64_t offset = _table.chunkOffsets[c];
        uint32_t end = c + 1 < _chunkFirstSample.size() ? _chunkFirstSample[c + 1] : _sampleCount;
        for (uint32_t i = _chunkFirstSample[c]; i < end && i < _sampleCount; ++i) {
            out[i].offset = offset;
            out[i].size = sampleSize(i);
            out[i].sampleDescriptionIndex = _chunkDescription[c];
            offset += out[i].size;
        }
    }
    if (_table.hasSyncSamples) {
        for (auto& sample : out)
            sample.isSync = false;
        for (uint32_t n : _table.syncSamples)
            if (n >= 1 && n <= _sampleCount)
                out[n - 1].isSync = true;
    }
    return out;
}

void MVTruncateSampleTable(MVSampleTable& t, uint32_t count)
{
    auto trimRuns = [count](auto& runs) {
        uint64_t seen = 0;
        size_t k = 0;
        for (; k < runs.size() && seen < count; ++k) {
            uint64_t take = std::min<uint64_t>(runs[k].sampleCount, count - seen);
            runs[k].sampleCount = uint32_t(take);
            seen += take;
        }
        runs.resize(k);
    };
    trimRuns(t.timeToSample);
    trimRuns(t.compositionOffsets);
    auto pastTheEnd = [count](uint32_t n) { return n > count; };
    std::erase_if(t.syncSamples, pastTheEnd);
    std::erase_if(t.partialSyncSamples, pastTheEnd);
    if (t.constantSampleSize == 0 && t.sampleSizes.size() > count)
        t.sampleSizes.resize(count);
    t.sampleCount = std::min(t.sampleCount, count);
    std::vector<MVSampleToChunkEntry> runs;
    uint64_t placed = 0;
    size_t chunk = 0, k = 0;
    while (placed < count && chunk < t.chunkOffsets.size() && !t.sampleToChunk.empty()) {
        while (k + 1 < t.sampleToChunk.size() && t.sampleToChunk[k + 1].firstChunk <= chunk + 1)
            ++k;
        const auto& run = t.sampleToChunk[k];
        uint32_t n = uint32_t(std::min<uint64_t>(run.samplesPerChunk, count - placed));
        if (runs.empty() || runs.back().samplesPerChunk != n
            || runs.back().sampleDescriptionIndex != run.sampleDescriptionIndex)
            runs.push_back({ uint32_t(chunk + 1), n, run.sampleDescriptionIndex });
        placed += n;
        ++chunk;
    }
    t.sampleToChunk = std::move(runs);
    t.chunkOffsets.resize(chunk);
    // 'sdtp' holds a byte per sample after its version and flags.
    if (t.sampleDependencyFlags && t.sampleDependencyFlags->size() > size_t(count) + 4)
        t.sampleDependencyFlags->resize(size_t(count) + 4);
}
