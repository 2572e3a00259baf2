#pragma once
// MVFileSampleSource: the samples of a track as stored in a movie file, read through the file's data
// references (the movie file itself, or the files its alias records and URLs name).
#include "platform/mvkit/atoms/sample_table.h"
#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/playback/sample_source.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class MVFileSampleSource : public MVSampleSource {
public:
    // Track `trackIndex` (0-based) of the movie file at `moviePath`.
    static std::shared_ptr<MVFileSampleSource> sourceWithFile(
        const std::string& moviePath, size_t trackIndex, HXError* outError);
    // The track of a description read from `moviePath`.
    MVFileSampleSource(MVTrackDescription track, int32_t movieTimeScale, std::string moviePath);
    ~MVFileSampleSource() override;

    uint32_t mediaType() const override { return _track.media.handler.componentSubtype; }
    int32_t mediaTimeScale() const override { return int32_t(_track.media.header.timeScale); }
    int32_t movieTimeScale() const override { return _movieTimeScale; }
    std::vector<MVEditListEntry> edits() const override;
    int64_t sampleCount() const override { return int64_t(_samples.size()); }
    MVSourceSample sample(int64_t index) const override;
    std::optional<MVSampleDescription> sampleDescription(uint32_t index) const override;
    bool readData(uint32_t descriptionIndex, uint64_t offset, uint32_t size, MVBytes& outBytes,
        HXError* outError) override;

    const MVTrackDescription& track() const { return _track; }

private:
    int fileFor(uint32_t descriptionIndex, HXError* outError);

    MVTrackDescription _track;
    int32_t _movieTimeScale;
    std::string _moviePath;
    std::vector<MVSampleTableIndex::Sample> _samples;
    std::mutex _filesMutex;
    std::map<std::string, int> _files; // open descriptors by path
};
