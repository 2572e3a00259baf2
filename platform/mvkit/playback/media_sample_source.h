#pragma once
// MVMediaSampleSource: a track of the movie model as a sample source — a snapshot of its edit list,
// sample table, descriptions and data references, taken when made, so decoding threads never see
// the model change under them. After an edit, make a new one.
//
// The track's load settings are honoured: a track that preloads has the data of its preload range read
// into memory when the source is made (before it plays), and a track whose media is never purged keeps
// what it reads in its media's memory (media.h), where the next source finds it.
#include "platform/mvkit/playback/sample_data_cache.h"
#include "platform/mvkit/playback/sample_source.h"
#include "platform/mvkit/track.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class MVMediaSampleSource : public MVSampleSource {
public:
    explicit MVMediaSampleSource(const MVTrack& track);
    ~MVMediaSampleSource() override;

    uint32_t mediaType() const override { return _mediaType; }
    int32_t mediaTimeScale() const override { return _mediaScale; }
    int32_t movieTimeScale() const override { return _movieScale; }
    std::vector<MVEditListEntry> edits() const override { return _edits; }
    int64_t sampleCount() const override { return int64_t(_samples.size()); }
    MVSourceSample sample(int64_t index) const override;
    std::optional<MVSampleDescription> sampleDescription(uint32_t index) const override;
    bool readData(uint32_t descriptionIndex, uint64_t offset, uint32_t size, MVBytes& outBytes,
        HXError* outError) override;

    // Data of a track that preloads is kept up to this many bytes; a larger range is not preloaded.
    static constexpr uint64_t kPreloadLimit = uint64_t(64) << 20;

private:
    struct OpenFile {
        int fd = -1;
        std::string key; // MVSampleDataCache::fileKey
    };
    // The open file of `path` (opened on first use); false with the error when it cannot be opened.
    bool openFile(const std::string& path, OpenFile& out, HXError* outError);
    void preload(const MVTrack& track);

    uint32_t _mediaType = 0;
    int32_t _mediaScale = 600;
    int32_t _movieScale = 600;
    std::vector<MVEditListEntry> _edits;
    std::vector<MVSampleRecord> _samples;
    std::vector<int64_t> _times;
    std::vector<MVSampleDescription> _descriptions;
    std::vector<MVDataReference> _references; // per description
    std::map<const void*, std::vector<uint8_t>> _memory; // copies of memory blocks, by block
    std::mutex _filesMutex;
    std::map<std::string, OpenFile> _files;
    std::shared_ptr<MVSampleDataCache> _kept; // the media's, when it is never purged
    std::shared_ptr<MVSampleDataCache> _preloaded;
};
