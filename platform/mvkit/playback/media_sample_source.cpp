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
}

MVMediaSampleSource::~MVMediaSampleSource()
{
    for (auto& [path, fd] : _files)
        ::close(fd);
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
    int fd = -1;
    {
        std::lock_guard lock(_filesMutex);
        if (auto it = _files.find(path); it != _files.end()) {
            fd = it->second;
        } else {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                if (outError)
                    *outError = HXError::posix(errno, path);
                return false;
            }
            _files[path] = fd;
        }
    }
    return MVReadSampleBytes(fd, offset, size, outBytes, path, outError);
}
