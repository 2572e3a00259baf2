#include "platform/mvkit/playback/closed_caption_reader.h"

#include "platform/basekit/strings.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/import/subtitle_import.h"
#include "platform/mvkit/playback/decoder_configuration.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
}

#include <algorithm>

namespace {

constexpr size_t kPicturePrefix = 8192; // bytes of a picture read first: its headers and SEI come first
constexpr double kCaptionTrackWindowSeconds = 120; // caption tracks are small: a long run-up is cheap
constexpr double kPictureWindowSeconds = 10; // pictures are read for their headers only, but there are many

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

int64_t mediaDurationOf(const MVSampleSource& source)
{
    int64_t count = source.sampleCount();
    if (count == 0)
        return 0;
    auto last = source.sample(count - 1);
    return last.decodeTime + last.duration;
}

// The payload of a NAL unit with its emulation prevention bytes (the 3 of 00 00 03) taken out.
MVBytes rbspOf(const uint8_t* p, size_t size)
{
    MVBytes out;
    out.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && p[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = p[i] == 0 ? zeros + 1 : 0;
        out.push_back(p[i]);
    }
    return out;
}

// The triples of A/53 caption data ("GA94", type 3): a flags byte with the count, a byte for other data,
// then count triples.
void appendA53(const uint8_t* p, size_t size, MVBytes& out)
{
    if (size < 2 || !(p[0] & 0x40)) // process_cc_data_flag
        return;
    size_t count = p[0] & 0x1F;
    p += 2;
    size -= 2;
    for (size_t i = 0; i < count && (i + 1) * 3 <= size; ++i)
        out.insert(out.end(), p + i * 3, p + i * 3 + 3);
}

} // namespace

// ---- The carriers' syntax

MVBytes MVClosedCaptionReader::captionDataOfDistributionPacket(const uint8_t* p, size_t size)
{
    MVBytes out;
    // Header: identifier 0x9669, length, frame rate, flags, sequence counter.
    if (size < 7 || p[0] != 0x96 || p[1] != 0x69)
        return out;
    size = std::min<size_t>(size, p[2]);
    uint8_t flags = p[4];
    size_t at = 7;
    if (flags & 0x80) // time code section
        at += 5;
    if (!(flags & 0x40) || at + 2 > size || p[at] != 0x72)
        return out;
    size_t count = p[at + 1] & 0x1F;
    at += 2;
    for (size_t i = 0; i < count && at + 3 <= size; ++i, at += 3)
        out.insert(out.end(), p + at, p + at + 3);
    return out;
}

MVBytes MVClosedCaptionReader::captionDataOfCaptionSample(const MVBytes& sample, uint32_t format)
{
    MVBytes out;
    size_t at = 0;
    while (at + 8 <= sample.size()) {
        uint32_t size = be32(sample.data() + at);
        uint32_t type = be32(sample.data() + at + 4);
        if (size < 8 || size > sample.size() - at)
            break;
        const uint8_t* data = sample.data() + at + 8;
        size_t length = size - 8;
        if (format == MVFourCC("c608") && (type == MVFourCC("cdat") || type == MVFourCC("cdt2"))) {
            // Each byte pair becomes a triple marked valid, for field 1 or field 2.
            uint8_t field = type == MVFourCC("cdat") ? 0xFC : 0xFD;
            for (size_t i = 0; i + 1 < length; i += 2)
                out.insert(out.end(), { field, data[i], data[i + 1] });
        } else if (format == MVFourCC("c708") && type == MVFourCC("ccdp")) {
            auto triples = captionDataOfDistributionPacket(data, length);
            out.insert(out.end(), triples.begin(), triples.end());
        }
        at += size;
    }
    return out;
}

MVBytes MVClosedCaptionReader::captionDataOfSEI(const uint8_t* p, size_t size)
{
    MVBytes out;
    size_t at = 0;
    // Messages until the trailing bits (a lone 0x80).
    while (at + 2 <= size) {
        uint32_t type = 0, length = 0;
        while (at < size && p[at] == 0xFF)
            type += 255, ++at;
        if (at >= size)
            break;
        type += p[at++];
        while (at < size && p[at] == 0xFF)
            length += 255, ++at;
        if (at >= size)
            break;
        length += p[at++];
        if (length > size - at)
            break;
        const uint8_t* payload = p + at;
        // Registered user data: the United States (0xB5), the ATSC (0x0031), "GA94", caption data (3).
        if (type == 4 && length >= 8 && payload[0] == 0xB5 && payload[1] == 0x00 && payload[2] == 0x31
            && be32(payload + 3) == MVFourCC("GA94") && payload[7] == 0x03)
            appendA53(payload + 8, length - 8, out);
        at += length;
    }
    return out;
}

MVBytes MVClosedCaptionReader::captionDataOfPicture(
    const MVBytes& picture, PictureSyntax syntax, int lengthSize, bool* cutShort)
{
    MVBytes out;
    if (cutShort)
        *cutShort = false;
    const uint8_t* p = picture.data();
    const size_t size = picture.size();
    if (syntax == PictureSyntax::MPEG2) {
        // Start codes up to the first slice (0x01 to 0xAF); user data (0xB2) of A/53 on the way.
        for (size_t at = 0; at + 4 <= size; ++at) {
            if (p[at] != 0 || p[at + 1] != 0 || p[at + 2] != 1)
                continue;
            uint8_t code = p[at + 3];
            if (code >= 0x01 && code <= 0xAF)
                return out;
            if (code == 0xB2 && at + 9 <= size && be32(p + at + 4) == MVFourCC("GA94") && p[at + 8] == 0x03) {
                size_t end = at + 9;
                while (end + 3 <= size && !(p[end] == 0 && p[end + 1] == 0 && p[end + 2] == 1))
                    ++end;
                if (end + 3 > size) {
                    if (cutShort)
                        *cutShort = true;
                    end = size;
                }
                appendA53(p + at + 9, end - at - 9, out);
            }
        }
        if (cutShort)
            *cutShort = true; // no slice yet: the rest of the picture may hold more
        return out;
    }
    if (syntax == PictureSyntax::None || lengthSize < 1 || lengthSize > 4)
        return out;
    size_t at = 0;
    while (at + size_t(lengthSize) <= size) {
        uint32_t length = 0;
        for (int i = 0; i < lengthSize; ++i)
            length = length << 8 | p[at + size_t(i)];
        at += size_t(lengthSize);
        if (length == 0)
            continue;
        if (at >= size) {
            if (cutShort)
                *cutShort = true;
            return out;
        }
        bool hevc = syntax == PictureSyntax::HEVC;
        int type = hevc ? (p[at] >> 1) & 0x3F : p[at] & 0x1F;
        bool slice = hevc ? type <= 31 : (type >= 1 && type <= 5);
        if (slice)
            return out;
        bool sei = hevc ? type == 39 : type == 6;
        if (sei) {
            size_t header = hevc ? 2 : 1;
            if (length > size - at) {
                if (cutShort)
                    *cutShort = true;
                return out;
            }
            if (length > header) {
                auto rbsp = rbspOf(p + at + header, length - header);
                auto triples = captionDataOfSEI(rbsp.data(), rbsp.size());
                out.insert(out.end(), triples.begin(), triples.end());
            }
        }
        if (length > size - at) {
            if (cutShort)
                *cutShort = true;
            return out;
        }
        at += length;
    }
    // The bytes ended before a slice did: the rest of the picture may hold more.
    if (cutShort)
        *cutShort = true;
    return out;
}

std::string MVClosedCaptionReader::plainTextOfEvent(const std::string& event)
{
    // Captions place their lines with blanks: the lines are shown without them, and blank lines not at all.
    std::vector<std::string> lines;
    for (const auto& line : HXString::componentsSeparatedByString(MVPlainTextFromASS(event), "\n")) {
        std::string trimmed = HXString::stringByTrimmingCharactersInSet(line, " ");
        if (!trimmed.empty())
            lines.push_back(std::move(trimmed));
    }
    return HXString::componentsJoinedByString(lines, "\n");
}

// ---- Reading

struct MVClosedCaptionReader::Decoder {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    ~Decoder()
    {
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }
};

namespace {

MVClosedCaptionReader::PictureSyntax pictureSyntaxOf(const MVSampleSource& source, int* lengthSize)
{
    using Syntax = MVClosedCaptionReader::PictureSyntax;
    if (source.mediaType() != MVFourCC("vide") || source.sampleCount() == 0)
        return Syntax::None;
    auto description = source.sampleDescription(source.sample(0).descriptionIndex);
    if (!description)
        return Syntax::None;
    auto configuration = MVDecoderConfigurationForDescription(*description, MVFourCC("vide"), nullptr);
    if (!configuration)
        return Syntax::None;
    const MVBytes& extra = configuration->extradata;
    switch (configuration->codecID) {
    case AV_CODEC_ID_H264:
        // 'avcC': the length size is the low two bits of its fifth byte, plus one.
        *lengthSize = extra.size() >= 5 && extra[0] == 1 ? (extra[4] & 3) + 1 : 4;
        return Syntax::H264;
    case AV_CODEC_ID_HEVC:
        *lengthSize = extra.size() >= 23 && extra[0] == 1 ? (extra[21] & 3) + 1 : 4;
        return Syntax::HEVC;
    case AV_CODEC_ID_MPEG2VIDEO:
        return Syntax::MPEG2;
    default:
        return Syntax::None;
    }
}

// The first `prefix` bytes of a sample (all of it when shorter); false when they cannot be read.
bool readPrefix(MVSampleSource& source, const MVSourceSample& sample, size_t prefix, MVBytes& out, HXError* error)
{
    uint32_t size = uint32_t(std::min<size_t>(sample.size, prefix));
    return source.readData(sample.descriptionIndex, sample.offset, size, out, error);
}

// The caption data of a picture: its first bytes, and all of it only when they end before its first slice.
MVBytes captionDataOfPictureSample(MVSampleSource& source, int64_t index,
    MVClosedCaptionReader::PictureSyntax syntax, int lengthSize, HXError* error)
{
    auto sample = source.sample(index);
    MVBytes bytes;
    if (!readPrefix(source, sample, kPicturePrefix, bytes, error))
        return {};
    bool cutShort = false;
    auto data = MVClosedCaptionReader::captionDataOfPicture(bytes, syntax, lengthSize, &cutShort);
    if (cutShort && bytes.size() < sample.size) {
        if (!readPrefix(source, sample, sample.size, bytes, error))
            return data;
        data = MVClosedCaptionReader::captionDataOfPicture(bytes, syntax, lengthSize);
    }
    return data;
}

} // namespace

bool MVClosedCaptionReader::picturesCarryCaptions(MVSampleSource& source, int count)
{
    int lengthSize = 4;
    auto syntax = pictureSyntaxOf(source, &lengthSize);
    if (syntax == PictureSyntax::None)
        return false;
    int64_t pictures = std::min<int64_t>(source.sampleCount(), count);
    for (int64_t i = 0; i < pictures; ++i) {
        auto data = captionDataOfPictureSample(source, i, syntax, lengthSize, nullptr);
        // A triple marked valid, of either 608 field.
        for (size_t t = 0; t + 2 < data.size(); t += 3)
            if ((data[t] & 0x04) && (data[t] & 0x03) <= 1)
                return true;
    }
    return false;
}

std::unique_ptr<MVClosedCaptionReader> MVClosedCaptionReader::readerWithSource(std::shared_ptr<MVSampleSource> source)
{
    if (!source)
        return nullptr;
    std::unique_ptr<MVClosedCaptionReader> reader(new MVClosedCaptionReader);
    if (source->mediaType() != MVClosedCaptionMediaType) {
        reader->_pictures = pictureSyntaxOf(*source, &reader->_lengthSize);
        if (reader->_pictures == PictureSyntax::None)
            return nullptr;
    }
    if (!reader->openDecoder())
        return nullptr;
    reader->_source = source;
    reader->_editMap = std::make_unique<MVEditMap>(
        source->edits(), source->movieTimeScale(), source->mediaTimeScale(), mediaDurationOf(*source));
    int64_t count = source->sampleCount();
    reader->_packets.reserve(size_t(count));
    for (int64_t i = 0; i < count; ++i)
        reader->_packets.push_back({ source->sample(i).presentationTime(), i });
    std::stable_sort(reader->_packets.begin(), reader->_packets.end(),
        [](const Packet& a, const Packet& b) { return a.presentationTime < b.presentationTime; });
    double window = reader->_pictures == PictureSyntax::None ? kCaptionTrackWindowSeconds : kPictureWindowSeconds;
    reader->_window = int64_t(window * std::max(1, source->mediaTimeScale()));
    return reader;
}

MVClosedCaptionReader::~MVClosedCaptionReader() = default;

bool MVClosedCaptionReader::openDecoder()
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_EIA_608);
    if (!codec)
        return false;
    auto decoder = std::make_unique<Decoder>();
    decoder->context = avcodec_alloc_context3(codec);
    decoder->packet = av_packet_alloc();
    if (!decoder->context || !decoder->packet)
        return false;
    // Every change of the screen is told as it happens (not once the next caption replaces it).
    AVDictionary* options = nullptr;
    av_dict_set(&options, "real_time", "1", 0);
    decoder->context->pkt_timebase = AVRational { 1, 1000000 };
    int status = avcodec_open2(decoder->context, codec, &options);
    av_dict_free(&options);
    if (status < 0)
        return false;
    _decoder = std::move(decoder);
    return true;
}

MVBytes MVClosedCaptionReader::captionDataOfSample(int64_t index, HXError* outError)
{
    if (_pictures != PictureSyntax::None)
        return captionDataOfPictureSample(*_source, index, _pictures, _lengthSize, outError);
    auto sample = _source->sample(index);
    auto description = _source->sampleDescription(sample.descriptionIndex);
    MVBytes bytes;
    if (!description || !_source->readData(sample.descriptionIndex, sample.offset, sample.size, bytes, outError))
        return {};
    return captionDataOfCaptionSample(bytes, description->format);
}

void MVClosedCaptionReader::feed(const MVBytes& data, int64_t presentationTime)
{
    if (data.empty())
        return;
    AVPacket* packet = _decoder->packet;
    if (av_new_packet(packet, int(data.size())) < 0)
        return;
    std::copy(data.begin(), data.end(), packet->data);
    // In microseconds: the decoder tells changes no closer than a fifth of a second apart.
    int32_t scale = std::max(1, _source->mediaTimeScale());
    packet->pts = av_rescale_q(presentationTime, AVRational { 1, scale }, AVRational { 1, 1000000 });
    AVSubtitle subtitle {};
    int got = 0;
    if (avcodec_decode_subtitle2(_decoder->context, &subtitle, &got, packet) >= 0 && got) {
        std::string text;
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            const AVSubtitleRect* rect = subtitle.rects[i];
            std::string line = rect && rect->ass ? plainTextOfEvent(rect->ass) : std::string();
            if (line.empty())
                continue;
            if (!text.empty())
                text += '\n';
            text += line;
        }
        _current = text;
        avsubtitle_free(&subtitle);
    }
    av_packet_unref(packet);
}

void MVClosedCaptionReader::feedPacket(const Packet& packet, HXError* outError)
{
    feed(captionDataOfSample(packet.sample, outError), packet.presentationTime);
    _lastFedTime = packet.presentationTime;
}

void MVClosedCaptionReader::reset(size_t startPacket)
{
    avcodec_flush_buffers(_decoder->context);
    _current.clear();
    _fed = startPacket;
    _lastFedTime = INT64_MIN;
    _paddedAt = INT64_MIN;
}

std::string MVClosedCaptionReader::textAtTime(int64_t movieTime, HXError* outError)
{
    auto mediaTime = _editMap->mediaTimeAt(movieTime);
    if (!mediaTime)
        return {};
    // The packets presented up to now.
    size_t end = size_t(std::upper_bound(_packets.begin(), _packets.end(), *mediaTime,
                            [](int64_t t, const Packet& p) { return t < p.presentationTime; })
        - _packets.begin());
    auto windowStart = [&] {
        int64_t from = *mediaTime - _window;
        return size_t(std::lower_bound(_packets.begin(), _packets.end(), from,
                          [](const Packet& p, int64_t t) { return p.presentationTime < t; })
            - _packets.begin());
    };
    // Back before what was fed, or so far ahead that the window starts after it: start again there.
    if (size_t start = windowStart(); end < _fed || start > _fed)
        reset(start);
    for (; _fed < end; ++_fed)
        feedPacket(_packets[_fed], outError);
    // A change that came too soon after the one before is told at the decoder's next packet: an empty one
    // now lets it tell what is on the screen at this time.
    if (*mediaTime > _lastFedTime && *mediaTime > _paddedAt) {
        feed({ 0xFC, 0x80, 0x80 }, *mediaTime);
        _paddedAt = *mediaTime;
    }
    return _current;
}
