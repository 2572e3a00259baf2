#include "platform/mvkit/import/subtitle_import.h"

#include "platform/mvkit/chapters.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/sample_text_description.h"
#include "platform/mvkit/track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

struct MVSubtitleStreamReader::Context {
    AVCodecContext* codec = nullptr;
    ~Context() { avcodec_free_context(&codec); }
};

MVSubtitleStreamReader::~MVSubtitleStreamReader() = default;

std::unique_ptr<MVSubtitleStreamReader> MVSubtitleStreamReader::create(
    const AVStream* stream, int64_t movieStartMicros, std::string* why)
{
    const AVCodecParameters* par = stream->codecpar;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par->codec_id);
    if (!descriptor || !(descriptor->props & AV_CODEC_PROP_TEXT_SUB)) {
        *why = "subtitles drawn as pictures are not imported";
        return nullptr;
    }
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) {
        *why = "no decoder reads these subtitles";
        return nullptr;
    }
    std::unique_ptr<MVSubtitleStreamReader> reader(new MVSubtitleStreamReader);
    reader->_context = std::make_unique<Context>();
    auto& codec = reader->_context->codec;
    codec = avcodec_alloc_context3(decoder);
    if (!codec || avcodec_parameters_to_context(codec, par) < 0) {
        *why = "out of memory";
        return nullptr;
    }
    codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(codec, decoder, nullptr) < 0) {
        *why = "the subtitle decoder does not take this stream";
        return nullptr;
    }
    reader->_stream = stream;
    reader->_movieStart = movieStartMicros;
    return reader;
}

void MVSubtitleStreamReader::take(const AVPacket* packet)
{
    if (packet->pts == AV_NOPTS_VALUE && packet->dts == AV_NOPTS_VALUE) {
        ++_skipped;
        return;
    }
    AVSubtitle subtitle {};
    int got = 0;
    // The decoder takes a non-const packet but leaves it as it is.
    if (avcodec_decode_subtitle2(_context->codec, &subtitle, &got, const_cast<AVPacket*>(packet)) < 0) {
        ++_skipped;
        return;
    }
    if (!got)
        return;
    const AVRational micros { 1, 1000000 };
    int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    int64_t start
        = av_rescale_q(at, _stream->time_base, micros) + int64_t(subtitle.start_display_time) * 1000;
    int64_t end = 0;
    if (packet->duration > 0)
        end = av_rescale_q(at + packet->duration, _stream->time_base, micros);
    else if (subtitle.end_display_time > subtitle.start_display_time
        && subtitle.end_display_time != UINT32_MAX)
        end = start + int64_t(subtitle.end_display_time - subtitle.start_display_time) * 1000;
    else
        end = start + 5000000; // an event without an end stays up for a few seconds
    std::string text;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect* rect = subtitle.rects[i];
        std::string part = rect->type == SUBTITLE_ASS && rect->ass ? MVPlainTextFromASS(rect->ass)
            : rect->type == SUBTITLE_TEXT && rect->text            ? std::string(rect->text)
                                                                   : std::string();
        if (part.empty())
            continue;
        text += (text.empty() ? "" : "\n") + part;
    }
    avsubtitle_free(&subtitle);
    start -= _movieStart;
    end -= _movieStart;
    if (text.empty() || end <= 0 || end <= start)
        return;
    _cues.push_back({ std::max<int64_t>(start, 0), end, std::move(text) });
}

MVImportedSubtitles MVSubtitleStreamReader::result() const
{
    MVImportedSubtitles out;
    out.language = MVImportedStreamLanguage(_stream);
    out.preferred = (_stream->disposition & (AV_DISPOSITION_DEFAULT | AV_DISPOSITION_FORCED)) != 0;
    out.cues = _cues;
    return out;
}

uint16_t MVImportedStreamLanguage(const AVStream* stream)
{
    const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "language", nullptr, 0);
    if (!tag || std::strlen(tag->value) != 3)
        return 0;
    uint16_t packed = 0;
    for (int i = 0; i < 3; ++i) {
        char c = tag->value[i];
        if (c < 'a' || c > 'z')
            return 0;
        packed = uint16_t((packed << 5) | uint16_t(c - 0x60));
    }
    return packed;
}

std::string MVPlainTextFromASS(std::string_view event)
{
    // An event line of the decoder holds eight fields before the text; a bare text has no "{", "\\" or
    // eight commas before its first override block, which is how the two are told apart.
    std::string_view text = event;
    size_t commas = 0, i = 0;
    for (; i < event.size() && commas < 8; ++i) {
        if (event[i] == '{' || event[i] == '\\')
            break;
        if (event[i] == ',')
            ++commas;
    }
    if (commas == 8)
        text = event.substr(i);
    std::string out;
    out.reserve(text.size());
    for (size_t k = 0; k < text.size(); ++k) {
        char c = text[k];
        if (c == '{') {
            size_t close = text.find('}', k);
            if (close != std::string_view::npos) {
                k = close;
                continue;
            }
        }
        if (c == '\\' && k + 1 < text.size()) {
            char next = text[k + 1];
            if (next == 'N' || next == 'n') {
                out += '\n';
                ++k;
                continue;
            }
            if (next == 'h') {
                out += ' ';
                ++k;
                continue;
            }
        }
        if (c == '\r')
            continue;
        out += c;
    }
    // No blank lines at either end.
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    size_t first = out.find_first_not_of("\n ");
    return first == std::string::npos ? std::string() : out.substr(first);
}

std::vector<std::pair<int64_t, std::string>> MVSubtitleTimeline(const std::vector<MVSubtitleCue>& cues)
{
    std::set<int64_t> edges { 0 };
    for (const auto& c : cues)
        if (c.end > c.start) {
            edges.insert(c.start);
            edges.insert(c.end);
        }
    std::vector<std::pair<int64_t, std::string>> out;
    for (auto it = edges.begin(); std::next(it) != edges.end(); ++it) {
        int64_t from = *it, to = *std::next(it);
        // The cues shown in [from, to), in the order they started.
        std::string text;
        for (const auto& c : cues)
            if (c.start <= from && c.end >= to)
                text += (text.empty() ? "" : "\n") + c.text;
        if (!out.empty() && out.back().second == text)
            out.back().first += to - from;
        else
            out.push_back({ to - from, std::move(text) });
    }
    return out;
}

void MVAddSubtitleTracks(MVMovie& movie, const std::vector<MVImportedSubtitles>& subtitles)
{
    constexpr int32_t kScale = 1000;
    if (subtitles.empty())
        return;
    // The text is laid over the picture as shown (turned pictures included), or over a wide frame alone.
    auto [width, height] = movie.naturalSize();
    if (width <= 0 || height <= 0) {
        width = 640;
        height = 360;
    }
    bool anyPreferred = std::any_of(
        subtitles.begin(), subtitles.end(), [](const MVImportedSubtitles& s) { return s.preferred; });
    bool shown = false;
    for (const auto& s : subtitles) {
        auto timeline = MVSubtitleTimeline(s.cues);
        if (timeline.empty())
            continue;
        MVText3GSampleDescription d;
        d.defaultTextBox = { 0, 0, int16_t(std::min(height, 32767.0)), int16_t(std::min(width, 32767.0)) };
        d.fontSize = uint8_t(std::clamp(height / 12, 10.0, 96.0));
        auto description = MVSerializeText3GSampleDescription(d);
        auto track = movie.newTrack(MVFourCC("sbtl"), kScale, width, height);
        auto media = track->media();
        media->beginEdits();
        for (const auto& [duration, text] : timeline)
            media->addSample(
                MVMakeTextSample(text), std::max<int64_t>(1, (duration + 500) / 1000), 1, description, 0);
        media->endEdits();
        track->insertMedia(0, 0, media->duration());
        if (s.language)
            track->setLanguage(s.language);
        // Subtitle tracks are alternatives to each other: one shows at a time.
        track->setAlternateGroup(2);
        bool show = !shown && (s.preferred || !anyPreferred);
        track->setEnabled(show);
        shown = shown || show;
    }
}

void MVAddImportedChapters(MVMovie& movie, const std::vector<MVImportedChapter>& chapters)
{
    // Of chapters that start together at the movie's scale (or before the movie starts) the last is the
    // one shown; chapters past the movie's end are left out.
    const int32_t scale = movie.timeScale();
    const int64_t end = movie.durationValue();
    std::vector<MVChapter> kept;
    int64_t last = -1;
    for (const auto& c : chapters) {
        const int64_t start = av_rescale(std::max<int64_t>(c.start, 0), scale, 1000000);
        if (start >= end)
            continue;
        if (start == last)
            kept.back().name = c.name;
        else
            kept.push_back({ c.name, MVMakeTime(start, scale) });
        last = start;
    }
    if (kept.empty())
        return;
    const bool changed = movie.hasChanged();
    MVMovieSetChapters(movie, kept, nullptr);
    movie.setChanged(changed);
}
