#include "platform/mvkit/playback/media_sample_source.h"

#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/playback/sample_data_reading.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

MVMediaSampleSource::MVMediaSampleSource(const MVTrack& track)
{
    const auto& media = track.media();
    _movieScale = track.timeScale();
    for (const auto& e : track.edits())
        if (e.duration > 0)
            _edits.push_back({ uint64_t(e.duration), e.mediaTime, e.mediaRate });
    if (_edits.empty())
        _edits.push_back({ 0, -1, 0x10000 }); // a track without edits shows nothing
    if (!media)
        return;
    _mediaType = media->mediaType();
    _mediaScale = media->timeScale();
    _samples = media->samples();
    _times.reserve(_samples.size());
    for (int64_t i = 0; i < media->sampleCount(); ++i)
        _times.push_back(media->sampleTime(i));
    _descriptions = media->sampleDescriptions();
    for (uint32_t i = 1; i <= _descriptions.size(); ++i) {
        const MVDataReference* ref = media->dataReferenceForDescription(i);
        _references.push_back(ref ? *ref : MVDataReference());
        if (ref && ref->kind() == MVDataReference::Kind::Memory && ref->data()
            && !_memory.count(ref->data().get()))
            _memory[ref->data().get()] = *ref->data(); // the block may grow on the main thread
    }
    if (track.neverPurgeHint())
        _kept = media->keptSampleData();
    preload(track);
}

MVMediaSampleSource::~MVMediaSampleSource()
{
    for (auto& [path, file] : _files)
        ::close(file.fd);
}

void MVMediaSampleSource::preload(const MVTrack& track)
{
    const auto settings = track.loadSettings();
    const bool wanted = (settings.preloadFlags & MVTrackPreloadAlways)
        || ((settings.preloadFlags & MVTrackPreloadOnlyIfEnabled) && track.isEnabled());
    if (!wanted || _samples.empty())
        return;
    // The samples of the range: the whole track for a start of −1, else those its edits show there.
    int64_t first = 0, last = int64_t(_samples.size()) - 1;
    if (settings.preloadTime >= 0) {
        const int64_t end = settings.preloadDuration > 0 ? int64_t(settings.preloadTime) + settings.preloadDuration
                                                         : track.duration();
        const int64_t mediaStart = track.trackTimeToMediaTime(settings.preloadTime);
        const int64_t mediaEnd = track.trackTimeToMediaTime(std::max<int64_t>(settings.preloadTime, end - 1));
        auto covered = mediaStart >= 0 && mediaEnd >= mediaStart
            ? track.media()->samplesCovering(mediaStart, mediaEnd - mediaStart + 1)
            : std::nullopt;
        if (!covered)
            return;
        first = covered->first;
        last = covered->second;
    }
    // Runs of samples lying one after the other in one file.
    struct Run {
        std::string path;
        uint64_t offset = 0, size = 0;
    };
    std::vector<Run> runs;
    uint64_t total = 0;
    for (int64_t i = first; i <= last; ++i) {
        const auto& s = _samples[size_t(i)];
        if (s.descriptionIndex < 1 || s.descriptionIndex > _references.size())
            continue;
        const auto& ref = _references[s.descriptionIndex - 1];
        if (ref.kind() == MVDataReference::Kind::Memory)
            continue;
        std::string path = ref.referenceFilePath();
        if (path.empty())
            continue;
        total += s.size;
        if (total > kPreloadLimit)
            return; // too much to hold: play from the file as usual
        if (!runs.empty() && runs.back().path == path && runs.back().offset + runs.back().size == s.dataOffset)
            runs.back().size += s.size;
        else
            runs.push_back({ std::move(path), s.dataOffset, s.size });
    }
    auto cache = _kept ? _kept : std::make_shared<MVSampleDataCache>(kPreloadLimit);
    for (const auto& run : runs) {
        OpenFile file;
        if (!openFile(run.path, file, nullptr))
            return;
        if (cache->holds(file.key, run.offset, run.size))
            continue;
        MVBytes bytes;
        if (!MVReadSampleBytes(file.fd, run.offset, run.size, bytes, run.path, nullptr)
            || !cache->keep(file.key, run.offset, std::move(bytes)))
            return;
    }
    _preloaded = std::move(cache);
}

bool MVMediaSampleSource::openFile(const std::string& path, OpenFile& out, HXError* outError)
{
    std::lock_guard lock(_filesMutex);
    if (auto it = _files.find(path); it != _files.end()) {
        out = it->second;
        return true;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    out = { fd, MVSampleDataCache::fileKey(path, fd) };
    _files[path] = out;
    return true;
}

MVSourceSample MVMediaSampleSource::sample(int64_t index) const
{
    const auto& s = _samples[size_t(index)];
    return { _times[size_t(index)], s.duration, s.compositionOffset, s.descriptionIndex, s.sync, s.dataOffset,
        s.size };
}

std::optional<MVSampleDescription> MVMediaSampleSource::sampleDescription(uint32_t index) const
{
    if (index < 1 || index > _descriptions.size())
        return std::nullopt;
    return _descriptions[index - 1];
}

bool MVMediaSampleSource::readData(
    uint32_t descriptionIndex, uint64_t offset, uint32_t size, MVBytes& outBytes, HXError* outError)
{
    auto fail = [&](int64_t code, const std::string& text) {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, code, text);
        return false;
    };
    if (descriptionIndex < 1 || descriptionIndex > _references.size())
        return fail(MVStatusInvalidSample, "A sample has no sample description.");
    const MVDataReference& ref = _references[descriptionIndex - 1];
    if (ref.kind() == MVDataReference::Kind::Memory) {
        auto it = _memory.find(ref.data().get());
        if (it == _memory.end() || offset > it->second.size() || size > it->second.size() - offset)
            return fail(MVStatusInvalidSample, "A sample lies outside its data.");
        outBytes.assign(
            it->second.begin() + ptrdiff_t(offset), it->second.begin() + ptrdiff_t(offset + size));
        return true;
    }
    const std::string path = ref.referenceFilePath();
    if (path.empty())
        return fail(MVStatusBadDataReference, "The file holding the media data cannot be found.");
    OpenFile file;
    if (!openFile(path, file, outError))
        return false;
    if (_preloaded && _preloaded->read(file.key, offset, size, outBytes))
        return true;
    if (_kept && _kept->read(file.key, offset, size, outBytes))
        return true;
    if (!MVReadSampleBytes(file.fd, offset, size, outBytes, path, outError))
        return false;
    if (_kept)
        _kept->keep(file.key, offset, outBytes);
    return true;
}
