#pragma once
// MVMedia: the samples of one track — their times, sizes, places in the data, sync flags and sample
// descriptions — and the data references that hold their bytes.
//
// Times here are media times, in the media's own time scale. The sample table is kept expanded (one
// record per sample) so editing can append and cut freely; samples are numbered from 0 in this API.
// Samples added by the program (text frames, chapters) go to a memory block of the media until a save
// copies them into a file.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"
#include "platform/mvkit/data_reference.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Media sample flags (16 bits, as the editing calls pass them).
inline constexpr int16_t MVMediaSampleNotSync = 0x1;
inline constexpr int16_t MVMediaSampleDroppable = 0x2;

struct MVSampleRecord {
    uint64_t dataOffset = 0;
    uint32_t size = 0;
    uint32_t duration = 0; // media units
    int32_t compositionOffset = 0; // display time − decode time
    uint32_t descriptionIndex = 1; // 1-based, into sampleDescriptions()
    bool sync = true;
    bool operator==(const MVSampleRecord&) const = default;
};

// One sample as read: its bytes (or, for a reference, where they are), description and flags.
struct MVSample {
    MVBytes bytes;
    int64_t time = 0; // decode time of the sample
    int64_t duration = 0;
    int32_t descriptionIndex = 0; // 1-based
    int16_t flags = 0;
    uint64_t dataOffset = 0;
    uint32_t size = 0;
    MVBytes description; // the whole description (size, format, reserved, index, fields), big-endian
};

class MVMedia {
public:
    // A new, empty media of `mediaType` ('vide', 'soun', 'text', ...).
    static std::shared_ptr<MVMedia> media(uint32_t mediaType, int32_t timeScale);
    // A media from its stored description. `movieFilePath` is the file holding it: self references and
    // relative alias records resolve against it.
    static std::shared_ptr<MVMedia> mediaWithDescription(
        const MVMediaDescription& description, const std::string& movieFilePath);
    // The most samples one media may have (a damaged table claims billions), and how many samples a
    // stored table really describes (no more than its chunks hold).
    static constexpr uint64_t maximumSampleCount = uint64_t(1) << 25;
    static uint64_t expandedSampleCount(const MVSampleTable& table);
    // A copy that shares nothing mutable with this one (memory blocks are shared; they only grow).
    std::shared_ptr<MVMedia> clone() const;

    uint32_t mediaType() const { return _mediaType; }
    int32_t timeScale() const { return _timeScale; }
    void setTimeScale(int32_t scale); // only while the media has no samples
    int64_t duration() const { return _duration; }
    uint16_t language() const { return _language; } // packed ISO 639-2/T or classic code
    void setLanguage(uint16_t language) { _language = language; }
    int16_t quality() const { return _quality; }

    // The stored parts that the model does not interpret: handler, media information header, the
    // data handler and unknown atoms; kept for writing back.
    const MVMediaDescription& storedDescription() const { return _stored; }
    MVMediaDescription& storedDescription() { return _stored; }

    // Samples.
    int64_t sampleCount() const { return int64_t(_samples->size()); }
    const std::vector<MVSampleRecord>& samples() const { return *_samples; }
    int64_t sampleTime(int64_t index) const { return (*_times)[size_t(index)]; } // decode time
    // The sample whose decode span holds `mediaTime`; −1 outside the media.
    int64_t sampleIndexAtTime(int64_t mediaTime) const;
    // The sync sample at or before `index` (the sample itself when none is).
    int64_t syncSampleAtOrBefore(int64_t index) const;

    const std::vector<MVSampleDescription>& sampleDescriptions() const { return _descriptions; }
    // The whole description `index` (1-based) in its stored big-endian form; empty when out of range.
    MVBytes sampleDescription(int32_t index) const;
    const std::vector<MVDataReference>& dataReferences() const { return _dataReferences; }
    // The data reference holding the samples of description `index` (1-based).
    const MVDataReference* dataReferenceForDescription(uint32_t index) const;

    // Reading.
    std::optional<MVSample> getSample(int64_t mediaTime, HXError* outError = nullptr) const;
    std::optional<MVSample> getSampleReference(int64_t mediaTime) const;
    // The bytes of sample `index`.
    std::optional<MVBytes> sampleBytes(int64_t index, HXError* outError = nullptr) const;

    // Adding samples. `description` is a whole stored description (as sampleDescription gives); an
    // equal description already in use is reused. Answers the media time of the first added sample, or
    // −1 (with `outError`) on bad arguments.
    int64_t addSample(const MVBytes& bytes, int64_t durationPerSample, int32_t count,
        const MVBytes& description, int16_t flags, HXError* outError = nullptr);
    // Samples whose bytes are already at `dataOffset` of `dataReference`; with none, of the data
    // reference that `description` names (a description copied from this media), else of the media's
    // memory block.
    int64_t addSampleReference(uint64_t dataOffset, uint32_t size, int64_t durationPerSample,
        const MVBytes& description, int32_t count, int16_t flags, const MVDataReference& dataReference = {},
        HXError* outError = nullptr);
    // Appends records as they are (descriptions and data references already in place).
    void appendRecords(const std::vector<MVSampleRecord>& records);
    // Index (1-based) of a description equal to `description` with data reference `dataReference`,
    // adding both as needed.
    uint32_t indexForDescription(MVSampleDescription description, const MVDataReference& dataReference);
    // Appends the samples of `source` that show media time [mediaTime, mediaTime + mediaDuration), from
    // the sync sample before it, with their descriptions and data references. Answers the media time in
    // this media that shows `mediaTime` of the source, or −1 when the source has nothing there.
    int64_t appendSamplesCovering(const MVMedia& source, int64_t mediaTime, int64_t mediaDuration);
    // The first and last sample (0-based) that showing [mediaTime, mediaTime + mediaDuration) needs.
    std::optional<std::pair<int64_t, int64_t>> samplesCovering(
        int64_t mediaTime, int64_t mediaDuration) const;
    // Replaces the sample at `index` (the same duration) with new bytes stored in memory.
    bool replaceSample(int64_t index, const MVBytes& bytes, const MVBytes& description);

    // Edit sessions around sample additions; nesting allowed. Outside a session additions are allowed
    // too (a one-call session).
    void beginEdits() { ++_editSessions; }
    void endEdits()
    {
        if (_editSessions > 0)
            --_editSessions;
    }
    bool isEditing() const { return _editSessions > 0; }

    // Snapshot and restore, for undo: the sample table, descriptions and data references.
    // The sample table is shared with the snapshot, not copied: the media copies it only when it
    // changes while a snapshot holds it (most edits never touch the media).
    struct State {
        std::vector<MVSampleRecord> samples; // used when `sharedSamples` is not set
        std::vector<MVSampleDescription> descriptions;
        std::vector<MVDataReference> dataReferences;
        std::shared_ptr<const std::vector<MVSampleRecord>> sharedSamples;
        // The start times of `sharedSamples`, kept with them so that a restore need not add them up again.
        std::shared_ptr<const std::vector<int64_t>> sharedTimes;
    };
    State state() const { return { {}, _descriptions, _dataReferences, _samples, _times }; }
    void restoreState(const State& state);

    // The sum of the sample sizes.
    uint64_t dataSize() const;

private:
    MVMedia() = default;
    void rebuildTimes();
    void ensureMemoryBlock();

    uint32_t _mediaType = 0;
    int32_t _timeScale = 600;
    int64_t _duration = 0;
    uint16_t _language = 0x55C4;
    int16_t _quality = 0;
    std::vector<MVSampleRecord>& mutableSamples();

    std::shared_ptr<std::vector<MVSampleRecord>> _samples = std::make_shared<std::vector<MVSampleRecord>>();
    // Every sample's start time, for the samples in _samples (shared with snapshots, like them).
    std::shared_ptr<std::vector<int64_t>> _times = std::make_shared<std::vector<int64_t>>();
    std::vector<MVSampleDescription> _descriptions;
    std::vector<MVDataReference> _dataReferences;
    std::shared_ptr<std::vector<uint8_t>> _memory;
    MVMediaDescription _stored;
    int _editSessions = 0;
};

// A stored sample description (size, format, reserved, data reference index, data) as one block and back.
MVBytes MVSampleDescriptionBytes(const MVSampleDescription& description);
std::optional<MVSampleDescription> MVSampleDescriptionFromBytes(const MVBytes& bytes);
