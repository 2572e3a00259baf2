#include "platform/mvkit/import/movie_importer.h"

#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/sample_description.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct Packet {
    uint64_t offset = 0;
    uint32_t size = 0;
    int64_t pts = AV_NOPTS_VALUE;
    int64_t dts = AV_NOPTS_VALUE;
    int64_t duration = 0;
    bool key = false;
};

struct StreamPlan {
    int index = -1;
    bool isVideo = false;
    bool isPCM = false;
    uint32_t pcmFrameBytes = 0; // bytes of one PCM frame (all channels)
    MVSampleDescription description;
    std::vector<Packet> packets;
    std::string problem; // set when the stream is dropped
    uint64_t searchFrom = 0;
    int64_t lastPos = -1;
};

struct FormatContext {
    AVFormatContext* ctx = nullptr;
    ~FormatContext()
    {
        if (ctx)
            avformat_close_input(&ctx);
    }
};

void descriptor(MVByteWriter& w, uint8_t tag, const MVBytes& body)
{
    w.u8(tag);
    // Four-byte length form, as most writers use.
    uint32_t n = uint32_t(body.size());
    w.u8(uint8_t(0x80 | ((n >> 21) & 0x7F)));
    w.u8(uint8_t(0x80 | ((n >> 14) & 0x7F)));
    w.u8(uint8_t(0x80 | ((n >> 7) & 0x7F)));
    w.u8(uint8_t(n & 0x7F));
    w.bytes(body);
}

// 'esds' payload: an elementary stream descriptor holding the decoder configuration.
MVBytes makeESDS(uint8_t objectType, const AVCodecParameters* par, uint16_t esID)
{
    MVByteWriter dsi;
    dsi.bytes(std::span<const uint8_t>(par->extradata, size_t(par->extradata_size)));
    MVByteWriter dcd;
    dcd.u8(objectType);
    dcd.u8(0x15); // audio stream
    dcd.u24(0); // buffer size
    dcd.u32(uint32_t(std::max<int64_t>(par->bit_rate, 0)));
    dcd.u32(uint32_t(std::max<int64_t>(par->bit_rate, 0)));
    if (par->extradata_size > 0)
        descriptor(dcd, 0x05, dsi.buffer());
    MVByteWriter es;
    es.u16(esID);
    es.u8(0);
    descriptor(es, 0x04, dcd.buffer());
    descriptor(es, 0x06, { 0x02 });
    MVByteWriter out;
    out.u32(0); // version and flags
    descriptor(out, 0x03, es.buffer());
    return std::move(out.buffer());
}

MVSampleDescription videoDescription(
    uint32_t format, const AVCodecParameters* par, const char* name, std::vector<MVRawAtom> extensions)
{
    MVVideoSampleDescription v;
    v.width = uint16_t(std::clamp(par->width, 0, 0xFFFF));
    v.height = uint16_t(std::clamp(par->height, 0, 0xFFFF));
    v.compressorName = name;
    v.extensions = std::move(extensions);
    if (par->sample_aspect_ratio.num > 0 && par->sample_aspect_ratio.den > 0
        && par->sample_aspect_ratio.num != par->sample_aspect_ratio.den) {
        MVByteWriter pasp;
        pasp.u32(uint32_t(par->sample_aspect_ratio.num));
        pasp.u32(uint32_t(par->sample_aspect_ratio.den));
        v.extensions.push_back(MVRawAtom { MVFourCC("pasp"), pasp.buffer() });
    }
    return MVSampleDescription { format, {}, 1, MVSerializeVideoSampleDescription(v) };
}

MVSampleDescription soundDescription(
    uint32_t format, const AVCodecParameters* par, uint16_t bits, std::vector<MVRawAtom> extensions)
{
    MVSoundSampleDescription s;
    s.channelCount = uint16_t(std::clamp(par->ch_layout.nb_channels, 0, 0xFFFF));
    s.sampleSize = bits;
    s.sampleRate = par->sample_rate;
    s.extensions = std::move(extensions);
    if (par->sample_rate > 65535) {
        // Rates above 16 bits need the version 2 layout.
        s.version = 2;
        s.sampleSize = bits;
    }
    return MVSampleDescription { format, {}, 1, MVSerializeSoundSampleDescription(s) };
}

// The sample description for a stream, or the reason there is none.
std::string planDescription(StreamPlan& plan, const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    std::span<const uint8_t> extra(par->extradata, size_t(std::max(par->extradata_size, 0)));
    switch (par->codec_id) {
    case AV_CODEC_ID_H264:
        if (extra.empty() || extra[0] != 1)
            return "H.264 in start-code form (no 'avcC' configuration)";
        plan.isVideo = true;
        plan.description = videoDescription(MVFourCC("avc1"), par, "H.264",
            { MVRawAtom { MVFourCC("avcC"), MVBytes(extra.begin(), extra.end()) } });
        return {};
    case AV_CODEC_ID_MJPEG:
        plan.isVideo = true;
        plan.description = videoDescription(MVFourCC("jpeg"), par, "Photo - JPEG", {});
        return {};
    case AV_CODEC_ID_AAC:
        if (extra.empty())
            return "AAC in ADTS frames (no decoder configuration)";
        plan.description = soundDescription(MVFourCC("mp4a"), par, 16,
            { MVRawAtom { MVFourCC("esds"), makeESDS(0x40, par, uint16_t(st->index + 1)) } });
        return {};
    case AV_CODEC_ID_MP3:
        plan.description = soundDescription(MVFourCC(".mp3"), par, 16, {});
        return {};
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE:
    case AV_CODEC_ID_PCM_U8: {
        int channels = par->ch_layout.nb_channels;
        if (channels < 1)
            return "PCM without a channel count";
        uint16_t bits = par->codec_id == AV_CODEC_ID_PCM_U8 ? 8 : 16;
        uint32_t format = par->codec_id == AV_CODEC_ID_PCM_S16LE ? MVFourCC("sowt")
            : par->codec_id == AV_CODEC_ID_PCM_S16BE             ? MVFourCC("twos")
                                                                 : MVFourCC("raw ");
        plan.isPCM = true;
        plan.pcmFrameBytes = uint32_t(channels) * bits / 8;
        plan.description = soundDescription(format, par, bits, {});
        return {};
    }
    default:
        return std::string("codec ") + avcodec_get_name(par->codec_id) + " has no sample description here";
    }
}

// Finds where the packet's bytes lie in the file, near the position libavformat gives (which may point at
// a container header before them). Nothing when they are not there as one range.
std::optional<uint64_t> locate(
    int fd, const AVPacket* pkt, StreamPlan& plan, uint64_t fileSize, std::vector<uint8_t>& buffer)
{
    if (pkt->pos < 0 || pkt->size <= 0)
        return std::nullopt;
    uint64_t start = uint64_t(pkt->pos);
    // Frames laced into one container block share its position: search after the previous one.
    if (pkt->pos == plan.lastPos)
        start = std::max(start, plan.searchFrom);
    const uint64_t window = 512;
    uint64_t need = uint64_t(pkt->size);
    if (start >= fileSize)
        return std::nullopt;
    uint64_t span = std::min<uint64_t>(window + need, fileSize - start);
    if (span < need)
        return std::nullopt;
    buffer.resize(size_t(span));
    if (::pread(fd, buffer.data(), buffer.size(), off_t(start)) != ssize_t(buffer.size()))
        return std::nullopt;
    for (uint64_t k = 0; k + need <= span; ++k)
        if (std::memcmp(buffer.data() + k, pkt->data, size_t(need)) == 0)
            return start + k;
    return std::nullopt;
}

// Decode times for packets in decode order: their own when present and increasing, else derived from the
// sorted presentation times (shifted so no packet is decoded after it is shown).
void settleTimes(std::vector<Packet>& packets)
{
    bool usable = std::all_of(
        packets.begin(), packets.end(), [](const Packet& p) { return p.dts != AV_NOPTS_VALUE; });
    for (size_t i = 1; usable && i < packets.size(); ++i)
        usable = packets[i].dts > packets[i - 1].dts;
    if (!usable) {
        std::vector<int64_t> pts;
        for (auto& p : packets)
            pts.push_back(p.pts != AV_NOPTS_VALUE ? p.pts : (p.dts != AV_NOPTS_VALUE ? p.dts : 0));
        std::vector<int64_t> sorted = pts;
        std::sort(sorted.begin(), sorted.end());
        int64_t delay = 0;
        for (size_t i = 0; i < pts.size(); ++i)
            delay = std::max(delay, sorted[i] - pts[i]);
        for (size_t i = 0; i < packets.size(); ++i) {
            packets[i].pts = pts[i];
            packets[i].dts = sorted[i] - delay;
        }
    }
    for (auto& p : packets)
        if (p.pts == AV_NOPTS_VALUE)
            p.pts = p.dts;
}

MVTrackDescription buildTrack(
    StreamPlan& plan, const AVStream* st, uint32_t trackID, uint32_t movieScale, int64_t movieStartMicros)
{
    MVTrackDescription track;
    const AVCodecParameters* par = st->codecpar;
    track.header.trackID = trackID;
    auto& media = track.media;
    auto& table = media.information.sampleTable;
    table.sampleDescriptions = { plan.description };
    media.information.dataInformation.entries = { MVMakeSelfDataReference() };
    media.information.dataHandler = MVHandler { 0, 0, MVFourCC("dhlr"), MVFourCC("alis"), 0, 0, 0, { 0 } };
    std::string name = plan.isVideo ? "VideoHandler" : "SoundHandler";
    media.handler = MVHandler { 0, 0, MVFourCC("mhlr"), MVFourCC(plan.isVideo ? "vide" : "soun"), 0, 0, 0,
        MVBytes(name.begin(), name.end()) };
    media.handler.name.push_back(0);
    if (plan.isVideo) {
        media.information.header = { MVFourCC("vmhd"), { 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0 } };
        track.header.width = uint32_t(std::max(par->width, 0)) << 16;
        track.header.height = uint32_t(std::max(par->height, 0)) << 16;
    } else {
        media.information.header = { MVFourCC("smhd"), { 0, 0, 0, 0, 0, 0, 0, 0 } };
        track.header.volume = 0x100;
        track.header.alternateGroup = 1;
    }
    if (const AVDictionaryEntry* lang = av_dict_get(st->metadata, "language", nullptr, 0))
        if (std::strlen(lang->value) == 3) {
            uint16_t packed = 0;
            bool ok = true;
            for (int i = 0; i < 3; ++i) {
                char c = lang->value[i];
                ok = ok && c >= 'a' && c <= 'z';
                packed = uint16_t((packed << 5) | uint16_t((c - 0x60) & 0x1F));
            }
            if (ok)
                media.header.language = packed;
        }

    auto& packets = plan.packets;
    int64_t mediaDuration = 0;
    int64_t startMicros = 0;
    if (plan.isPCM) {
        // One sample per PCM frame, at the sample rate; each packet is a chunk.
        media.header.timeScale = uint32_t(par->sample_rate);
        table.constantSampleSize = plan.pcmFrameBytes;
        uint32_t previousPerChunk = 0;
        for (size_t c = 0; c < packets.size(); ++c) {
            uint32_t frames = packets[c].size / plan.pcmFrameBytes;
            table.chunkOffsets.push_back(packets[c].offset);
            if (frames != previousPerChunk)
                table.sampleToChunk.push_back({ uint32_t(c + 1), frames, 1 });
            previousPerChunk = frames;
            table.sampleCount += frames;
        }
        table.timeToSample = { { table.sampleCount, 1 } };
        mediaDuration = table.sampleCount;
        if (!packets.empty() && packets[0].pts != AV_NOPTS_VALUE)
            startMicros = av_rescale_q(packets[0].pts, st->time_base, AVRational { 1, 1000000 });
    } else {
        // Time scale: the stream's time base when it is 1/n.
        AVRational tb = st->time_base;
        uint32_t scale = tb.num == 1 && tb.den > 0 ? uint32_t(tb.den) : 90000;
        media.header.timeScale = scale;
        settleTimes(packets);
        auto toMedia = [&](int64_t t) {
            return tb.num == 1 ? t : av_rescale_q(t, tb, AVRational { 1, int(scale) });
        };
        int64_t firstDts = toMedia(packets.front().dts);
        int64_t minPts = INT64_MAX;
        std::vector<int64_t> dts, offsets;
        for (const auto& p : packets) {
            dts.push_back(toMedia(p.dts) - firstDts);
            offsets.push_back(toMedia(p.pts) - toMedia(p.dts));
            minPts = std::min(minPts, toMedia(p.pts) - firstDts);
        }
        for (size_t i = 0; i < packets.size(); ++i) {
            int64_t d = i + 1 < packets.size() ? dts[i + 1] - dts[i]
                                               : std::max<int64_t>(toMedia(packets[i].duration), 0);
            if (i + 1 == packets.size() && d == 0 && i > 0)
                d = dts[i] - dts[i - 1];
            uint32_t duration = uint32_t(std::clamp<int64_t>(d, 0, UINT32_MAX));
            if (!table.timeToSample.empty() && table.timeToSample.back().sampleDuration == duration)
                table.timeToSample.back().sampleCount++;
            else
                table.timeToSample.push_back({ 1, duration });
            mediaDuration += duration;
        }
        if (std::any_of(offsets.begin(), offsets.end(), [](int64_t o) { return o != 0; })) {
            table.hasCompositionOffsets = true;
            bool negative = std::any_of(offsets.begin(), offsets.end(), [](int64_t o) { return o < 0; });
            table.compositionOffsetVersion = negative ? 1 : 0;
            for (int64_t o : offsets) {
                int32_t v = int32_t(std::clamp<int64_t>(o, INT32_MIN, INT32_MAX));
                if (!table.compositionOffsets.empty() && table.compositionOffsets.back().offset == v)
                    table.compositionOffsets.back().sampleCount++;
                else
                    table.compositionOffsets.push_back({ 1, v });
            }
        }
        bool allKey = std::all_of(packets.begin(), packets.end(), [](const Packet& p) { return p.key; });
        if (!allKey) {
            table.hasSyncSamples = true;
            for (size_t i = 0; i < packets.size(); ++i)
                if (packets[i].key)
                    table.syncSamples.push_back(uint32_t(i + 1));
        }
        // Chunks: runs of samples that follow each other in the file.
        table.sampleCount = uint32_t(packets.size());
        std::vector<uint32_t> perChunk;
        for (size_t i = 0; i < packets.size(); ++i) {
            table.sampleSizes.push_back(packets[i].size);
            if (i > 0 && packets[i].offset == packets[i - 1].offset + packets[i - 1].size) {
                perChunk.back()++;
            } else {
                table.chunkOffsets.push_back(packets[i].offset);
                perChunk.push_back(1);
            }
        }
        for (size_t c = 0; c < perChunk.size(); ++c)
            if (table.sampleToChunk.empty() || table.sampleToChunk.back().samplesPerChunk != perChunk[c])
                table.sampleToChunk.push_back({ uint32_t(c + 1), perChunk[c], 1 });
        startMicros = av_rescale_q(packets.front().dts, tb, AVRational { 1, 1000000 })
            + av_rescale(minPts, 1000000, scale);
        // The edit starts at the first presented time (B-frames put it after the first decode time).
        int64_t presented = mediaDuration - minPts;
        track.editList = MVEditList {};
        int64_t delay = av_rescale(std::max<int64_t>(startMicros - movieStartMicros, 0), movieScale, 1000000);
        if (delay > 0)
            track.editList->entries.push_back({ uint64_t(delay), -1, 0x10000 });
        track.editList->entries.push_back(
            { uint64_t(std::max<int64_t>(av_rescale(presented, movieScale, scale), 0)), minPts, 0x10000 });
        media.header.duration = uint64_t(mediaDuration);
        track.header.duration = 0;
        for (const auto& e : track.editList->entries)
            track.header.duration += e.segmentDuration;
        return track;
    }
    media.header.duration = uint64_t(mediaDuration);
    int64_t delay = av_rescale(std::max<int64_t>(startMicros - movieStartMicros, 0), movieScale, 1000000);
    uint64_t segment = uint64_t(av_rescale(mediaDuration, movieScale, media.header.timeScale));
    if (delay > 0) {
        track.editList = MVEditList {};
        track.editList->entries = { { uint64_t(delay), -1, 0x10000 }, { segment, 0, 0x10000 } };
    }
    track.header.duration = segment + uint64_t(std::max<int64_t>(delay, 0));
    return track;
}

HXError importError(const std::string& text)
{
    return MVMovieFileError(MVStatusUnsupportedImport, text);
}

} // namespace

std::optional<MVImportResult> MVImportMovieFile(const std::string& path, HXError* outError)
{
    FormatContext fmt;
    if (avformat_open_input(&fmt.ctx, path.c_str(), nullptr, nullptr) < 0) {
        if (outError)
            *outError = importError("The file " + path + " could not be opened as a movie.");
        return std::nullopt;
    }
    if (avformat_find_stream_info(fmt.ctx, nullptr) < 0) {
        if (outError)
            *outError = importError("The streams of " + path + " could not be read.");
        return std::nullopt;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    uint64_t fileSize = uint64_t(std::max<off_t>(::lseek(fd, 0, SEEK_END), 0));

    MVImportResult result;
    std::map<int, StreamPlan> plans;
    for (unsigned i = 0; i < fmt.ctx->nb_streams; ++i) {
        const AVStream* st = fmt.ctx->streams[i];
        auto type = st->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) {
            result.problems.push_back("stream " + std::to_string(i) + ": " + av_get_media_type_string(type)
                + " streams are not imported");
            continue;
        }
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            result.problems.push_back(
                "stream " + std::to_string(i) + ": an attached picture is not imported");
            continue;
        }
        StreamPlan plan;
        plan.index = int(i);
        std::string problem = planDescription(plan, st);
        if (!problem.empty()) {
            result.problems.push_back("stream " + std::to_string(i) + ": " + problem);
            continue;
        }
        plans[int(i)] = std::move(plan);
    }

    AVPacket* pkt = av_packet_alloc();
    std::vector<uint8_t> buffer;
    while (!plans.empty() && av_read_frame(fmt.ctx, pkt) >= 0) {
        auto it = plans.find(pkt->stream_index);
        if (it != plans.end() && it->second.problem.empty()) {
            StreamPlan& plan = it->second;
            auto offset = locate(fd, pkt, plan, fileSize, buffer);
            if (!offset) {
                plan.problem = "its packets are not byte ranges of the file";
            } else if (plan.isPCM && (uint32_t(pkt->size) % plan.pcmFrameBytes) != 0) {
                plan.problem = "a PCM packet holds a partial frame";
            } else {
                plan.packets.push_back(Packet { *offset, uint32_t(pkt->size), pkt->pts, pkt->dts,
                    pkt->duration, (pkt->flags & AV_PKT_FLAG_KEY) != 0 });
                plan.lastPos = pkt->pos;
                plan.searchFrom = *offset + uint64_t(pkt->size);
            }
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);

    // The movie starts with its earliest stream.
    const uint32_t movieScale = 1000;
    int64_t movieStart = INT64_MAX;
    for (auto& [index, plan] : plans) {
        if (!plan.problem.empty() || plan.packets.empty())
            continue;
        const AVStream* st = fmt.ctx->streams[index];
        int64_t first = plan.packets.front().pts != AV_NOPTS_VALUE ? plan.packets.front().pts
                                                                   : plan.packets.front().dts;
        if (first != AV_NOPTS_VALUE)
            for (const auto& p : plan.packets)
                if (p.pts != AV_NOPTS_VALUE)
                    first = std::min(first, p.pts);
        if (first != AV_NOPTS_VALUE)
            movieStart = std::min(movieStart, av_rescale_q(first, st->time_base, AVRational { 1, 1000000 }));
    }
    if (movieStart == INT64_MAX)
        movieStart = 0;

    auto& movie = result.file.movie;
    movie.header.timeScale = movieScale;
    uint32_t nextID = 1;
    for (auto& [index, plan] : plans) {
        if (plan.problem.empty() && plan.packets.empty())
            plan.problem = "it has no packets";
        if (!plan.problem.empty()) {
            result.problems.push_back("stream " + std::to_string(index) + ": " + plan.problem);
            continue;
        }
        movie.tracks.push_back(buildTrack(plan, fmt.ctx->streams[index], nextID++, movieScale, movieStart));
        movie.header.duration = std::max(movie.header.duration, movie.tracks.back().header.duration);
    }
    movie.header.nextTrackID = nextID;
    if (movie.tracks.empty()) {
        std::string text = "Nothing in " + path + " can be imported.";
        for (const auto& p : result.problems)
            text += "\n" + p;
        if (outError)
            *outError = importError(text);
        return std::nullopt;
    }
    result.file.fileSize = fileSize;
    return result;
}
