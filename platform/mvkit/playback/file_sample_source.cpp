#include "platform/mvkit/playback/file_sample_source.h"

#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/sample_data_reading.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

std::shared_ptr<MVFileSampleSource> MVFileSampleSource::sourceWithFile(
    const std::string& moviePath, size_t trackIndex, HXError* outError)
{
    auto file = MVReadMovieFile(moviePath, outError);
    if (!file)
        return nullptr;
    if (trackIndex >= file->movie.tracks.size()) {
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, MVStatusInvalidSample, "The movie has no such track.");
        return nullptr;
    }
    return std::make_shared<MVFileSampleSource>(
        file->movie.tracks[trackIndex], int32_t(file->movie.header.timeScale), moviePath);
}

MVFileSampleSource::MVFileSampleSource(
    MVTrackDescription track, int32_t movieTimeScale, std::string moviePath)
    : _track(std::move(track))
    , _movieTimeScale(movieTimeScale)
    , _moviePath(std::move(moviePath))
{
    MVSampleTableIndex index(_track.media.information.sampleTable);
    _samples = index.expand();
}

MVFileSampleSource::~MVFileSampleSource()
{
    for (auto& [path, fd] : _files)
        if (fd >= 0)
            ::close(fd);
}

std::vector<MVEditListEntry> MVFileSampleSource::edits() const
{
    return _track.editList ? _track.editList->entries : std::vector<MVEditListEntry> {};
}

MVSourceSample MVFileSampleSource::sample(int64_t index) const
{
    const auto& s = _samples[size_t(index)];
    return { s.decodeTime, s.duration, s.compositionOffset, s.sampleDescriptionIndex, s.isSync, s.offset,
        s.size };
}

std::optional<MVSampleDescription> MVFileSampleSource::sampleDescription(uint32_t index) const
{
    const auto& all = _track.media.information.sampleTable.sampleDescriptions;
    if (index < 1 || index > all.size())
        return std::nullopt;
    return all[index - 1];
}

int MVFileSampleSource::fileFor(uint32_t descriptionIndex, HXError* outError)
{
    auto description = sampleDescription(descriptionIndex);
    const auto& entries = _track.media.information.dataInformation.entries;
    std::optional<std::string> path;
    if (description) {
        size_t ref = description->dataReferenceIndex;
        if (entries.empty() && ref == 1)
            path = _moviePath;
        else if (ref >= 1 && ref <= entries.size())
            path = MVResolveDataReference(entries[ref - 1], _moviePath);
    }
    if (!path || path->empty()) {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, MVStatusBadDataReference,
                "The file holding the media data cannot be found.");
        return -1;
    }
    std::lock_guard lock(_filesMutex);
    if (auto it = _files.find(*path); it != _files.end())
        return it->second;
    int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = HXError::posix(errno, *path);
        return -1;
    }
    _files[*path] = fd;
    return fd;
}

bool MVFileSampleSource::readData(
    uint32_t descriptionIndex, uint64_t offset, uint32_t size, MVBytes& outBytes, HXError* outError)
{
    int fd = fileFor(descriptionIndex, outError);
    if (fd < 0)
        return false;
    return MVReadSampleBytes(fd, offset, size, outBytes, _moviePath, outError);
}
