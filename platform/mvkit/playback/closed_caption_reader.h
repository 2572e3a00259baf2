#pragma once
// MVClosedCaptionReader: the closed captions (CEA-608, and the 608 captions CEA-708 streams carry) shown
// at a movie time, decoded by libavcodec's caption decoder.
//
// Captions come from one of two carriers:
// - a closed-caption track ('clcp' media): 'c608' samples hold 'cdat' (field 1) and 'cdt2' (field 2) atoms
//   of byte pairs, 'c708' samples a 'ccdp' atom holding a caption distribution packet;
// - a video track whose pictures carry them: H.264 and HEVC in SEI messages, MPEG-2 in picture user data,
//   both as ATSC A/53 caption data ("GA94").
// Either gives caption data triples (a flags byte, two data bytes) per sample, fed in presentation order to
// the decoder, which keeps the state of the caption screen (pop-on, roll-up, paint-on) and tells the text
// on it whenever it changes. Since the screen at a time depends on what came before, the reader feeds the
// samples up to the time asked for; a jump back, or far ahead, starts again a little before that time (a
// caption shown longer than that window before the jump is missed until the next one).
#include "platform/mvkit/playback/edit_map.h"
#include "platform/mvkit/playback/sample_source.h"
#include "platform/mvkit/playback/text_track_reader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr uint32_t MVClosedCaptionMediaType = 0x636C6370; // 'clcp'

class MVClosedCaptionReader : public MVTimedTextReader {
public:
    // The captions of `source`: a closed-caption track, or a video track of a format that carries them.
    // Nothing for any other source, or when libavcodec has no caption decoder.
    static std::unique_ptr<MVClosedCaptionReader> readerWithSource(std::shared_ptr<MVSampleSource> source);
    ~MVClosedCaptionReader() override;
    MVClosedCaptionReader(const MVClosedCaptionReader&) = delete;
    MVClosedCaptionReader& operator=(const MVClosedCaptionReader&) = delete;

    // The caption text on the screen at `movieTime`, lines separated by '\n'; empty outside the track.
    std::string textAtTime(int64_t movieTime, HXError* outError = nullptr) override;

    // Whether the first pictures (up to `count`) of a video source carry caption data.
    static bool picturesCarryCaptions(MVSampleSource& source, int count = 60);

    // ---- The carriers' syntax (the caption data as triples: flags, byte, byte) ----
    // A 'c608' sample ('cdat'/'cdt2' atoms) or a 'c708' sample (a 'ccdp' atom); nothing for anything else.
    static MVBytes captionDataOfCaptionSample(const MVBytes& sample, uint32_t format);
    // The caption data of a caption distribution packet (SMPTE 334-2).
    static MVBytes captionDataOfDistributionPacket(const uint8_t* data, size_t size);
    // How a video format carries captions.
    enum class PictureSyntax { None, H264, HEVC, MPEG2 };
    // The A/53 caption data of one picture of that syntax: H.264 and HEVC pictures are NAL units, each
    // after a big-endian length of `lengthSize` bytes; an MPEG-2 picture is a run of start codes. Only
    // what comes before the picture's first slice is looked at (where the caption data must be); with
    // `cutShort` the answer is whether `picture` ended before that.
    static MVBytes captionDataOfPicture(
        const MVBytes& picture, PictureSyntax syntax, int lengthSize, bool* cutShort = nullptr);
    // The caption data of one SEI message payload list (emulation prevention already removed).
    static MVBytes captionDataOfSEI(const uint8_t* rbsp, size_t size);
    // The screen text of a decoded caption event (MVPlainTextFromASS, each line without its blanks).
    static std::string plainTextOfEvent(const std::string& event);

private:
    MVClosedCaptionReader() = default;
    struct Packet {
        int64_t presentationTime; // media units
        int64_t sample;
    };
    bool openDecoder();
    void reset(size_t startPacket);
    void feedPacket(const Packet& packet, HXError* outError);
    void feed(const MVBytes& data, int64_t presentationTime);
    MVBytes captionDataOfSample(int64_t index, HXError* outError);

    std::shared_ptr<MVSampleSource> _source;
    std::unique_ptr<MVEditMap> _editMap;
    PictureSyntax _pictures = PictureSyntax::None; // None for a closed-caption track
    int _lengthSize = 4;
    std::vector<Packet> _packets; // in presentation order
    int64_t _window = 0; // media units fed before a time the reader starts again at
    struct Decoder;
    std::unique_ptr<Decoder> _decoder;
    size_t _fed = 0; // packets fed so far
    int64_t _lastFedTime = INT64_MIN;
    int64_t _paddedAt = INT64_MIN;
    std::string _current;
};
