#pragma once
// MVSampleSource: the samples of one track as the decoders read them — their timing, sync flags,
// descriptions and bytes — and the edit list that places them in the movie.
//
// The movie model and a stored track description both provide one, so decoding does not depend on
// where the sample table lives. Sample numbers are 0-based; description numbers 1-based.
// The timing and descriptions do not change while a source is in use; readData may be called from
// several threads at once (a decode thread and the main thread's still pictures).
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <optional>
#include <vector>

struct MVSourceSample {
    int64_t decodeTime = 0; // media units
    uint32_t duration = 0;
    int32_t compositionOffset = 0; // presentation time − decode time
    uint32_t descriptionIndex = 1;
    bool sync = true;
    uint64_t offset = 0; // in the data of its description's data reference
    uint32_t size = 0;
    int64_t presentationTime() const { return decodeTime + compositionOffset; }
};

class MVSampleSource {
public:
    virtual ~MVSampleSource() = default;

    virtual uint32_t mediaType() const = 0;
    virtual int32_t mediaTimeScale() const = 0;
    virtual int32_t movieTimeScale() const = 0;
    // Segments in movie units; an empty list plays the whole media once from movie time 0.
    virtual std::vector<MVEditListEntry> edits() const = 0;

    virtual int64_t sampleCount() const = 0;
    virtual MVSourceSample sample(int64_t index) const = 0;
    virtual std::optional<MVSampleDescription> sampleDescription(uint32_t index) const = 0;
    // `size` bytes at `offset` of the data that holds the samples of description `descriptionIndex`.
    virtual bool readData(
        uint32_t descriptionIndex, uint64_t offset, uint32_t size, MVBytes& outBytes, HXError* outError)
        = 0;
};
