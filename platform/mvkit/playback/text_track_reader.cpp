#include "platform/mvkit/playback/text_track_reader.h"

#include "platform/basekit/strings.h"
#include "platform/mvkit/atoms/four_char_code.h"

#include <algorithm>

namespace {

int64_t mediaDurationOf(const MVSampleSource& source)
{
    int64_t count = source.sampleCount();
    if (count == 0)
        return 0;
    auto last = source.sample(count - 1);
    return last.decodeTime + last.duration;
}

void appendUTF8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string fromUTF16(const uint8_t* p, size_t size, bool bigEndian)
{
    std::string out;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char32_t unit = bigEndian ? char32_t(p[i] << 8 | p[i + 1]) : char32_t(p[i + 1] << 8 | p[i]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
            char32_t low
                = bigEndian ? char32_t(p[i + 2] << 8 | p[i + 3]) : char32_t(p[i + 3] << 8 | p[i + 2]);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUTF8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUTF8(out, (unit >= 0xD800 && unit < 0xE000) ? char32_t(0xFFFD) : unit);
    }
    return out;
}

} // namespace

bool MVTextTrackReader::isTextMedia(uint32_t mediaType)
{
    return mediaType == MVFourCC("text") || mediaType == MVFourCC("sbtl") || mediaType == MVFourCC("subt");
}

std::optional<std::string> MVTextTrackReader::textFromSample(const MVBytes& bytes, uint32_t format)
{
    if (bytes.size() < 2)
        return std::nullopt;
    size_t length = size_t(bytes[0]) << 8 | bytes[1];
    if (length > bytes.size() - 2)
        return std::nullopt;
    const uint8_t* text = bytes.data() + 2;
    if (length >= 2 && ((text[0] == 0xFE && text[1] == 0xFF) || (text[0] == 0xFF && text[1] == 0xFE)))
        return fromUTF16(text + 2, length - 2, text[0] == 0xFE);
    std::string raw(reinterpret_cast<const char*>(text), length);
    // A classic text sample is in the 8-bit Roman encoding, but tools write UTF-8 under the same format
    // (subtitles converted from .srt files). Text that reads as UTF-8 with characters past ASCII is
    // taken as UTF-8: real Roman text almost never forms valid UTF-8 sequences.
    if (format == MVFourCC("text")
        && !(HXString::isValidUTF8(raw)
            && std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; })))
        return MVUTF8FromRoman(raw);
    return raw;
}

MVTextTrackReader::MVTextTrackReader(std::shared_ptr<MVSampleSource> source)
    : _source(std::move(source))
    , _editMap(
          _source->edits(), _source->movieTimeScale(), _source->mediaTimeScale(), mediaDurationOf(*_source))
{
    for (int64_t i = 0; i < _source->sampleCount(); ++i)
        _decodeTimes.push_back(_source->sample(i).decodeTime);
}

std::string MVTextTrackReader::textAtTime(int64_t movieTime, HXError* outError)
{
    auto mediaTime = _editMap.mediaTimeAt(movieTime);
    if (!mediaTime || _decodeTimes.empty())
        return {};
    auto it = std::upper_bound(_decodeTimes.begin(), _decodeTimes.end(), *mediaTime);
    if (it == _decodeTimes.begin())
        return {};
    int64_t index = int64_t(it - _decodeTimes.begin()) - 1;
    auto sample = _source->sample(index);
    if (*mediaTime >= sample.decodeTime + int64_t(sample.duration))
        return {};
    if (index == _cachedSample)
        return _cachedText;
    MVBytes bytes;
    std::string text;
    auto description = _source->sampleDescription(sample.descriptionIndex);
    if (description
        && _source->readData(sample.descriptionIndex, sample.offset, sample.size, bytes, outError))
        text = textFromSample(bytes, description->format).value_or(std::string());
    _cachedSample = index;
    _cachedText = text;
    return text;
}
