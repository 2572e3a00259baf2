#pragma once
// MVTextTrackReader: the text a text track ('text', 'sbtl', 'subt') shows at a movie time — subtitles,
// captions and chapter titles drawn over the picture.
//
// A text sample starts with a 16-bit big-endian byte count and the text; 'tx3g' text is UTF-8 (or
// UTF-16 with a byte-order mark), classic 'text' samples are Mac Roman. Style boxes after the text are
// not read.
#include "platform/mvkit/playback/edit_map.h"
#include "platform/mvkit/playback/sample_source.h"

#include <memory>
#include <optional>
#include <string>

// A source of the text drawn over a movie's pictures at a movie time: a text track's samples, or the
// captions a closed-caption or video track carries (closed_caption_reader.h).
class MVTimedTextReader {
public:
    virtual ~MVTimedTextReader() = default;
    // The text shown at `movieTime`; empty when there is none.
    virtual std::string textAtTime(int64_t movieTime, HXError* outError = nullptr) = 0;
};

class MVTextTrackReader : public MVTimedTextReader {
public:
    static bool isTextMedia(uint32_t mediaType);
    // The text of one sample of `format`; nothing for a sample too short for its count.
    static std::optional<std::string> textFromSample(const MVBytes& bytes, uint32_t format);

    explicit MVTextTrackReader(std::shared_ptr<MVSampleSource> source);

    const MVEditMap& editMap() const { return _editMap; }
    // The text shown at `movieTime`: empty in an empty segment, outside the track, or for an empty or
    // unreadable sample.
    std::string textAtTime(int64_t movieTime, HXError* outError = nullptr) override;

private:
    std::shared_ptr<MVSampleSource> _source;
    MVEditMap _editMap;
    std::vector<int64_t> _decodeTimes;
    int64_t _cachedSample = -1;
    std::string _cachedText;
};
