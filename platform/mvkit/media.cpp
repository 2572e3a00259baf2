#include "platform/mvkit/media.h"

#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/playback/sample_data_cache.h"
#include "platform/mvkit/playback/sample_data_reading.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace {

HXError paramError(const std::string& text)
{
    return HXError::withDescription(HXOSStatusErrorDomain, -50, text);
}

} // namespace

MVBytes MVSampleDescriptionBytes(const MVSampleDescription& d)
{
    MVBytes out;
    uint32_t size = uint32_t(16 + d.data.size());
    for (int i = 3; i >= 0; --i)
        out.push_back(uint8_t(size >> (8 * i)));
    for (int i = 3; i >= 0; --i)
        out.push_back(uint8_t(d.format >> (8 * i)));
    out.insert(out.end(), d.reserved.begin(), d.reserved.end());
    out.push_back(uint8_t(d.dataReferenceIndex >> 8));
    out.push_back(uint8_t(d.dataReferenceIndex));
    out.insert(out.end(), d.data.begin(), d.data.end());
    return out;
}

std::optional<MVSampleDescription> MVSampleDescriptionFromBytes(const MVBytes& b)
{
    if (b.size() < 16)
        return std::nullopt;
    uint32_t size = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    if (size < 16 || size > b.size())
        return std::nullopt;
    MVSampleDescription d;
    d.format = (uint32_t(b[4]) << 24) | (uint32_t(b[5]) << 16) | (uint32_t(b[6]) << 8) | b[7];
    std::copy(b.begin() + 8, b.begin() + 14, d.reserved.begin());
    d.dataReferenceIndex = uint16_t((b[14] << 8) | b[15]);
    d.data.assign(b.begin() + 16, b.begin() + size);
    return d;
}

std::shared_ptr<MVMedia> MVMedia::media(uint32_t mediaType, int32_t timeScale)
{
    auto m = std::shared_ptr<MVMedia>(new MVMedia());
    m->_mediaType = mediaType;
    m->_timeScale = timeScale > 0 ? timeScale : 600;
    m->_stored.header.timeScale = uint32_t(m->_timeScale);
    m->_stored.handler.componentType = MVFourCC("mhlr");
    m->_stored.handler.componentSubtype = mediaType;
    m->_stored.information.dataHandler = MVHandler { 0, 0, MVFourCC("dhlr"), MVFourCC("alis"), 0, 0, 0, {} };
    if (mediaType == MVFourCC("vide"))
        m->_stored.information.header
            = { MVFourCC("vmhd"), { 0, 0, 0, 1, 0, 0x40, 0x80, 0, 0x80, 0, 0x80, 0 } };
    else if (mediaType == MVFourCC("soun"))
        m->_stored.information.header = { MVFourCC("smhd"), { 0, 0, 0, 0, 0, 0, 0, 0 } };
    else
        m->_stored.information.header = { MVFourCC("gmhd"), {} };
    return m;
}

std::shared_ptr<MVMedia> MVMedia::mediaWithDescription(
    const MVMediaDescription& d, const std::string& movieFilePath)
{
    auto m = std::shared_ptr<MVMedia>(new MVMedia());
    m->_stored = d;
    m->_mediaType = d.handler.componentSubtype;
    m->_timeScale
        = d.header.timeScale > 0 && d.header.timeScale <= INT32_MAX ? int32_t(d.header.timeScale) : 600;
    m->_language = d.header.language;
    m->_quality = int16_t(d.header.quality);
    const auto& t = d.information.sampleTable;
    m->_descriptions = t.sampleDescriptions;
    for (auto& e : d.information.dataInformation.entries) {
        if (e.flags & MVDataReferenceSelfReferenceFlag)
            // A header without its file (a format representation) has no place for its own samples.
            m->_dataReferences.push_back(movieFilePath.empty()
                    ? MVDataReference()
                    : MVDataReference::dataReferenceWithReferenceToFile(movieFilePath));
        else
            m->_dataReferences.push_back(
                MVDataReference::dataReferenceWithReference(e.data, e.type, movieFilePath));
    }
    // Expand the run-length tables. A table that runs short leaves the samples it cannot place out; a
    // damaged one that claims more samples than a media may have is cut there (movies refuse such
    // files before they get here, see expandedSampleCount).
    uint64_t count = std::min(expandedSampleCount(t), maximumSampleCount);
    std::vector<MVSampleRecord> samples;
    samples.reserve(size_t(count));
    size_t stscIndex = 0;
    uint64_t sample = 0;
    for (size_t chunk = 0; chunk < t.chunkOffsets.size() && sample < count; ++chunk) {
        while (
            stscIndex + 1 < t.sampleToChunk.size() && t.sampleToChunk[stscIndex + 1].firstChunk <= chunk + 1)
            ++stscIndex;
        if (t.sampleToChunk.empty())
            break;
        const auto& run = t.sampleToChunk[stscIndex];
        uint64_t offset = t.chunkOffsets[chunk];
        for (uint32_t i = 0; i < run.samplesPerChunk && sample < count; ++i, ++sample) {
            MVSampleRecord r;
            r.dataOffset = offset;
            r.size = t.sampleSizes.empty() ? t.constantSampleSize : t.sampleSizes[size_t(sample)];
            r.descriptionIndex = run.sampleDescriptionIndex;
            offset += r.size;
            samples.push_back(r);
        }
    }
    size_t i = 0;
    for (auto& run : t.timeToSample)
        for (uint32_t k = 0; k < run.sampleCount && i < samples.size(); ++k)
            samples[i++].duration = run.sampleDuration;
    i = 0;
    for (auto& run : t.compositionOffsets)
        for (uint32_t k = 0; k < run.sampleCount && i < samples.size(); ++k)
            samples[i++].compositionOffset = run.offset;
    if (t.hasSyncSamples) {
        for (auto& s : samples)
            s.sync = false;
        for (auto n : t.syncSamples)
            if (n >= 1 && n <= samples.size())
                samples[n - 1].sync = true;
    }
    m->_samples = std::make_shared<std::vector<MVSampleRecord>>(std::move(samples));
    m->rebuildTimes();
    // The model writes its own sample tables; keep only what it does not rebuild.
    auto& kept = m->_stored.information.sampleTable;
    kept = MVSampleTable {};
    kept.sampleDescriptionVersion = t.sampleDescriptionVersion;
    kept.sampleDependencyFlags = std::nullopt;
    kept.unknownChildren.clear();
    m->_stored.information.dataInformation.entries.clear();
    return m;
}

uint64_t MVMedia::expandedSampleCount(const MVSampleTable& t)
{
    uint64_t count = t.sampleSizes.empty() ? t.sampleCount : t.sampleSizes.size();
    // Only as many as the chunks can hold.
    uint64_t placeable = 0;
    size_t stscIndex = 0;
    for (size_t chunk = 0; chunk < t.chunkOffsets.size() && !t.sampleToChunk.empty() && placeable < count;
         ++chunk) {
        while (
            stscIndex + 1 < t.sampleToChunk.size() && t.sampleToChunk[stscIndex + 1].firstChunk <= chunk + 1)
            ++stscIndex;
        placeable += t.sampleToChunk[stscIndex].samplesPerChunk;
    }
    return std::min(count, placeable);
}

std::shared_ptr<MVMedia> MVMedia::clone() const
{
    auto m = std::shared_ptr<MVMedia>(new MVMedia(*this));
    m->_editSessions = 0;
    return m;
}

std::shared_ptr<MVSampleDataCache> MVMedia::keptSampleData() const
{
    // A media keeps at most this much of its data in memory.
    constexpr uint64_t kKeptLimit = uint64_t(64) << 20;
    if (!_keptSampleData)
        _keptSampleData = std::make_shared<MVSampleDataCache>(kKeptLimit);
    return _keptSampleData;
}

void MVMedia::setTimeScale(int32_t scale)
{
    if (_samples->empty() && scale > 0) {
        _timeScale = scale;
        _stored.header.timeScale = uint32_t(scale);
    }
}

void MVMedia::rebuildTimes()
{
    const auto& samples = *_samples;
    // A snapshot may hold the old times: those stay as they are.
    if (_times.use_count() > 1)
        _times = std::make_shared<std::vector<int64_t>>();
    auto& times = *_times;
    times.resize(samples.size());
    int64_t t = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        times[i] = t;
        t += samples[i].duration;
    }
    _duration = t;
}

int64_t MVMedia::sampleIndexAtTime(int64_t mediaTime) const
{
    if (mediaTime < 0 || mediaTime >= _duration || _samples->empty())
        return -1;
    auto it = std::upper_bound(_times->begin(), _times->end(), mediaTime);
    int64_t index = int64_t(it - _times->begin()) - 1;
    // Zero-length samples share their time with the next; take the one that lasts.
    while (index + 1 < int64_t(_samples->size()) && (*_samples)[size_t(index)].duration == 0)
        ++index;
    return index;
}

int64_t MVMedia::syncSampleAtOrBefore(int64_t index) const
{
    for (int64_t i = index; i >= 0; --i)
        if ((*_samples)[size_t(i)].sync)
            return i;
    return index;
}

MVBytes MVMedia::sampleDescription(int32_t index) const
{
    if (index < 1 || size_t(index) > _descriptions.size())
        return {};
    return MVSampleDescriptionBytes(_descriptions[size_t(index) - 1]);
}

const MVDataReference* MVMedia::dataReferenceForDescription(uint32_t index) const
{
    if (index < 1 || index > _descriptions.size())
        return nullptr;
    uint16_t ref = _descriptions[index - 1].dataReferenceIndex;
    if (ref < 1 || ref > _dataReferences.size())
        return nullptr;
    return &_dataReferences[ref - 1];
}

std::optional<MVBytes> MVMedia::sampleBytes(int64_t index, HXError* outError) const
{
    if (index < 0 || index >= sampleCount()) {
        if (outError)
            *outError = paramError("No such sample.");
        return std::nullopt;
    }
    const auto& s = (*_samples)[size_t(index)];
    const MVDataReference* ref = dataReferenceForDescription(s.descriptionIndex);
    if (!ref) {
        if (outError)
            *outError
                = HXError::withDescription(HXOSStatusErrorDomain, -2101, "The sample has no data reference.");
        return std::nullopt;
    }
    MVBytes bytes;
    if (ref->kind() == MVDataReference::Kind::Memory) {
        const auto& data = *ref->data();
        if (s.dataOffset > data.size() || s.size > data.size() - s.dataOffset) {
            if (outError)
                *outError = HXError::withDescription(
                    HXOSStatusErrorDomain, -2101, "The sample lies outside its data.");
            return std::nullopt;
        }
        bytes.assign(data.begin() + long(s.dataOffset), data.begin() + long(s.dataOffset + s.size));
        return bytes;
    }
    std::string path = ref->referenceFilePath();
    int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = path.empty() ? HXError::withDescription(
                            HXOSStatusErrorDomain, -2000, "The sample's data cannot be reached.")
                                     : HXError::posix(errno, path);
        return std::nullopt;
    }
    // The claimed size is checked against the file before anything is allocated for it.
    HXError readError;
    bool ok = MVReadSampleBytes(fd, s.dataOffset, s.size, bytes, path, &readError);
    ::close(fd);
    if (!ok) {
        if (outError)
            *outError = readError.code() == MVStatusInvalidSample
                ? HXError::withDescription(HXOSStatusErrorDomain, -2101, "The sample lies outside its file.")
                : readError;
        return std::nullopt;
    }
    return bytes;
}

std::optional<MVSample> MVMedia::getSampleReference(int64_t mediaTime) const
{
    int64_t index = sampleIndexAtTime(mediaTime);
    if (index < 0)
        return std::nullopt;
    const auto& r = (*_samples)[size_t(index)];
    MVSample s;
    s.time = (*_times)[size_t(index)];
    s.duration = r.duration;
    s.descriptionIndex = int32_t(r.descriptionIndex);
    s.flags = r.sync ? 0 : MVMediaSampleNotSync;
    s.dataOffset = r.dataOffset;
    s.size = r.size;
    s.description = sampleDescription(int32_t(r.descriptionIndex));
    return s;
}

std::optional<MVSample> MVMedia::getSample(int64_t mediaTime, HXError* outError) const
{
    auto s = getSampleReference(mediaTime);
    if (!s) {
        if (outError)
            *outError = paramError("No sample at that time.");
        return std::nullopt;
    }
    auto bytes = sampleBytes(sampleIndexAtTime(mediaTime), outError);
    if (!bytes)
        return std::nullopt;
    s->bytes = std::move(*bytes);
    return s;
}

uint32_t MVMedia::indexForDescription(MVSampleDescription description, const MVDataReference& dataReference)
{
    size_t refIndex = 0;
    while (refIndex < _dataReferences.size() && !(_dataReferences[refIndex] == dataReference))
        ++refIndex;
    if (refIndex == _dataReferences.size())
        _dataReferences.push_back(dataReference);
    description.dataReferenceIndex = uint16_t(refIndex + 1);
    for (size_t i = 0; i < _descriptions.size(); ++i)
        if (_descriptions[i] == description)
            return uint32_t(i + 1);
    _descriptions.push_back(std::move(description));
    return uint32_t(_descriptions.size());
}

void MVMedia::ensureMemoryBlock()
{
    for (auto& r : _dataReferences)
        if (r.kind() == MVDataReference::Kind::Memory)
            _memory = r.data();
    if (!_memory)
        _memory = std::make_shared<std::vector<uint8_t>>();
}

int64_t MVMedia::addSampleReference(uint64_t dataOffset, uint32_t size, int64_t durationPerSample,
    const MVBytes& description, int32_t count, int16_t flags, const MVDataReference& dataReference,
    HXError* outError)
{
    auto d = MVSampleDescriptionFromBytes(description);
    if (!d || count < 1 || durationPerSample < 0 || durationPerSample > UINT32_MAX) {
        if (outError)
            *outError = paramError("Bad sample description, count or duration.");
        return -1;
    }
    MVDataReference ref = dataReference;
    if (ref.isNone() && d->dataReferenceIndex >= 1 && d->dataReferenceIndex <= _dataReferences.size()) {
        // A description copied from this media names where its data is (re-timing a sample by
        // reference keeps the bytes where they are).
        ref = _dataReferences[d->dataReferenceIndex - 1];
    }
    if (ref.isNone()) {
        ensureMemoryBlock();
        ref = MVDataReference::dataReferenceWithReferenceToData(_memory);
    }
    uint32_t index = indexForDescription(*d, ref);
    int64_t start = _duration;
    // `count` samples of `size` bytes each, one after the other.
    for (int32_t i = 0; i < count; ++i) {
        MVSampleRecord r;
        r.dataOffset = dataOffset + uint64_t(i) * size;
        r.size = size;
        r.duration = uint32_t(durationPerSample);
        r.descriptionIndex = index;
        r.sync = !(flags & MVMediaSampleNotSync);
        mutableSamples().push_back(r);
    }
    rebuildTimes();
    return start;
}

int64_t MVMedia::addSample(const MVBytes& bytes, int64_t durationPerSample, int32_t count,
    const MVBytes& description, int16_t flags, HXError* outError)
{
    if (count < 1 || bytes.size() % size_t(count) != 0 || bytes.size() / size_t(count) > UINT32_MAX) {
        if (outError)
            *outError = paramError("The bytes do not split into the sample count.");
        return -1;
    }
    if (!MVSampleDescriptionFromBytes(description)) {
        if (outError)
            *outError = paramError("Bad sample description.");
        return -1;
    }
    ensureMemoryBlock();
    uint64_t offset = _memory->size();
    _memory->insert(_memory->end(), bytes.begin(), bytes.end());
    return addSampleReference(offset, uint32_t(bytes.size() / size_t(count)), durationPerSample, description,
        count, flags, MVDataReference::dataReferenceWithReferenceToData(_memory), outError);
}

bool MVMedia::replaceSample(int64_t index, const MVBytes& bytes, const MVBytes& description)
{
    auto d = MVSampleDescriptionFromBytes(description);
    if (index < 0 || index >= sampleCount() || !d || bytes.size() > UINT32_MAX)
        return false;
    ensureMemoryBlock();
    auto& r = mutableSamples()[size_t(index)];
    r.dataOffset = _memory->size();
    r.size = uint32_t(bytes.size());
    _memory->insert(_memory->end(), bytes.begin(), bytes.end());
    r.descriptionIndex = indexForDescription(*d, MVDataReference::dataReferenceWithReferenceToData(_memory));
    return true;
}

void MVMedia::appendRecords(const std::vector<MVSampleRecord>& records)
{
    auto& samples = mutableSamples();
    samples.insert(samples.end(), records.begin(), records.end());
    rebuildTimes();
}

void MVMedia::restoreState(const State& state)
{
    if (state.sharedSamples)
        _samples = std::const_pointer_cast<std::vector<MVSampleRecord>>(state.sharedSamples);
    else
        _samples = std::make_shared<std::vector<MVSampleRecord>>(state.samples);
    _descriptions = state.descriptions;
    _dataReferences = state.dataReferences;
    if (state.sharedSamples && state.sharedTimes && state.sharedTimes->size() == _samples->size()) {
        // The times taken with the samples are theirs (neither changes while a snapshot holds it).
        _times = std::const_pointer_cast<std::vector<int64_t>>(state.sharedTimes);
        _duration = _times->empty() ? 0 : _times->back() + _samples->back().duration;
    } else {
        rebuildTimes();
    }
}

std::vector<MVSampleRecord>& MVMedia::mutableSamples()
{
    // Copy on write: a snapshot (undo, edit state, clone) may still hold the current table.
    if (_samples.use_count() > 1)
        _samples = std::make_shared<std::vector<MVSampleRecord>>(*_samples);
    return *_samples;
}

uint64_t MVMedia::dataSize() const
{
    uint64_t total = 0;
    for (auto& s : *_samples)
        total += s.size;
    return total;
}

std::optional<std::pair<int64_t, int64_t>> MVMedia::samplesCovering(
    int64_t mediaTime, int64_t mediaDuration) const
{
    int64_t first = sampleIndexAtTime(mediaTime);
    if (first < 0 || mediaDuration <= 0)
        return std::nullopt;
    int64_t last = sampleIndexAtTime(mediaTime + mediaDuration - 1);
    if (last < 0)
        last = sampleCount() - 1;
    // Reordered pictures: one shown inside the range may be decoded well before the sample whose decode
    // span holds the range's start (the last pictures of a closed group come before the next key
    // picture), or after the one that holds its end (the first pictures of an open group come after its
    // key picture). Decoders reorder a few pictures at most, so a short look either way finds them all.
    constexpr int64_t kReorderWindow = 64;
    const auto& samples = *_samples;
    auto shownInRange = [&](int64_t i) {
        int64_t shown = sampleTime(i) + samples[size_t(i)].compositionOffset;
        return shown < mediaTime + mediaDuration && shown + int64_t(samples[size_t(i)].duration) > mediaTime;
    };
    for (int64_t i = first - 1; i >= 0 && i >= first - kReorderWindow; --i)
        if (samples[size_t(i)].compositionOffset != 0 && shownInRange(i))
            first = i;
    for (int64_t i = last + 1; i < sampleCount() && i <= last + kReorderWindow; ++i)
        if (samples[size_t(i)].compositionOffset != 0 && shownInRange(i))
            last = i;
    first = syncSampleAtOrBefore(first);
    // Sound decoders need the packet before the first one heard to start in the right state.
    if (_mediaType == MVFourCC("soun") && first > 0 && sampleTime(first) < mediaTime + 1 && mediaTime > 0)
        --first;
    return std::pair { first, last };
}

int64_t MVMedia::appendSamplesCovering(const MVMedia& source, int64_t mediaTime, int64_t mediaDuration)
{
    auto range = source.samplesCovering(mediaTime, mediaDuration);
    if (!range)
        return -1;
    auto [first, last] = *range;
    std::vector<MVSampleRecord> records;
    records.reserve(size_t(last - first + 1));
    std::map<uint32_t, uint32_t> descriptionMap;
    for (int64_t i = first; i <= last; ++i) {
        MVSampleRecord r = (*source._samples)[size_t(i)];
        auto found = descriptionMap.find(r.descriptionIndex);
        if (found == descriptionMap.end()) {
            // A sample naming a description that does not exist keeps no data: reading it fails later.
            bool valid = r.descriptionIndex >= 1 && r.descriptionIndex <= source._descriptions.size();
            const MVDataReference* ref
                = valid ? source.dataReferenceForDescription(r.descriptionIndex) : nullptr;
            uint32_t index = indexForDescription(
                valid ? source._descriptions[r.descriptionIndex - 1] : MVSampleDescription {},
                ref ? *ref : MVDataReference());
            found = descriptionMap.emplace(r.descriptionIndex, index).first;
        }
        r.descriptionIndex = found->second;
        records.push_back(r);
    }
    int64_t base = _duration;
    appendRecords(records);
    return base + (mediaTime - source.sampleTime(first));
}
