#include "platform/mvkit/import/movie_importer.h"

#include "platform/basekit/file_manager.h"
#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/import/stream_muxer.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

struct Packet {
    uint64_t offset = 0;
    uint32_t size = 0;
    int64_t pts = AV_NOPTS_VALUE;
    int64_t dts = AV_NOPTS_VALUE;
    int64_t duration = 0;
    bool key = false;
};

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// How a stream's samples are kept: where they lie in the source, or rewritten into a cache movie.
enum class Mode { Pending, Range, Cache, Reused };

struct StreamPlan {
    int index = -1;
    bool isVideo = false;
    bool isPCM = false;
    uint32_t pcmFrameBytes = 0; // bytes of one PCM frame (all channels)
    MVSampleDescription description;
    Mode mode = Mode::Pending;
    std::vector<PacketPtr> pending; // the first packets, until the muxer has described the stream
    std::vector<Packet> packets; // Range: where each sample lies in the source
    std::unique_ptr<MVStreamMuxer> cache; // Cache: the movie the rewritten samples go to
    std::string cachePath;
    std::string cacheTemporaryPath;
    std::optional<MVTrackDescription> cachedTrack; // Reused, and Cache once finished
    int64_t shift = 0; // the movie's start in the stream's time base
    int64_t lastDts = AV_NOPTS_VALUE;
    int64_t lastDuration = 0; // of the last packet that had one, or the frame rate's
    int64_t lastDelay = 0; // presentation minus decode time of the last packet that had both
    std::string problem; // set when the stream is dropped
    uint64_t searchFrom = 0;
    int64_t lastPos = -1;

    ~StreamPlan()
    {
        cache.reset();
        if (!cacheTemporaryPath.empty())
            ::unlink(cacheTemporaryPath.c_str());
    }
    StreamPlan() = default;
    StreamPlan(const StreamPlan&) = delete;
    StreamPlan& operator=(const StreamPlan&) = delete;
};

struct FormatContext {
    AVFormatContext* ctx = nullptr;
    FormatContext() = default;
    FormatContext(const FormatContext&) = delete;
    FormatContext& operator=(const FormatContext&) = delete;
    ~FormatContext() { reset(); }
    void reset()
    {
        if (ctx)
            avformat_close_input(&ctx);
    }
};

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
// About 35 years in microseconds: no movie starts later.
constexpr int64_t kLatestStartMicros = int64_t(1) << 50;

// Whether every time of the packets lies within about 35 years of zero, in microseconds and in the
// stream's own ticks: times beyond that (a broken or hostile file) would overflow the arithmetic that
// builds the sample tables.
bool timesInRange(const std::vector<Packet>& packets, AVRational tb)
{
    constexpr int64_t limit = kLatestStartMicros;
    if (tb.num <= 0 || tb.den <= 0)
        return false;
    for (const auto& p : packets)
        for (int64_t t : { p.pts, p.dts, p.duration }) {
            if (t == AV_NOPTS_VALUE)
                continue;
            if (t > limit * 2048 || t < -limit * 2048)
                return false;
            int64_t micros = av_rescale_q(t, tb, AVRational { 1, 1000000 });
            if (micros == AV_NOPTS_VALUE || micros > limit || micros < -limit)
                return false;
        }
    return true;
}

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
        // Samples before the movie's start (an encoder's priming) are decoded but not played.
        if (startMicros < movieStartMicros) {
            int64_t skip = av_rescale(movieStartMicros - startMicros, scale, 1000000);
            minPts += skip;
            startMicros = movieStartMicros;
        }
        // The edit runs from the first presented time (B-frames put it after the first decode time) to
        // the end of the last picture shown.
        int64_t presentedEnd = 0;
        int64_t decodeAt = 0;
        size_t sample = 0;
        for (const auto& entry : table.timeToSample)
            for (uint32_t k = 0; k < entry.sampleCount; ++k, ++sample) {
                presentedEnd
                    = std::max(presentedEnd, decodeAt + offsets[sample] + int64_t(entry.sampleDuration));
                decodeAt += entry.sampleDuration;
            }
        int64_t presented = presentedEnd - minPts;
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

constexpr size_t kProbePackets = 4; // packets the muxer sees before it describes a stream
constexpr uint32_t kMovieScale = 1000;

std::string streamName(const AVStream* st)
{
    return "stream " + std::to_string(st->index) + " (" + avcodec_get_name(st->codecpar->codec_id) + ")";
}

// Rewritten samples of `path` are kept in the user's cache folder, named by the source's path, size and
// modification time, so that opening the same file again finds them.
std::string cacheBaseName(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return {};
    std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
    char name[96];
    std::snprintf(name, sizeof name, "%016zx-%lld-%lld.%09ld", std::hash<std::string> {}(absolute),
        (long long)info.st_size, (long long)info.st_mtim.tv_sec, (long)info.st_mtim.tv_nsec);
    return name;
}

std::filesystem::path importCacheDirectory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path base = cache && *cache ? std::filesystem::path(cache)
                                                 : std::filesystem::path(HXHomeDirectory()) / ".cache";
    return base / "movara-player" / "Import";
}

// The one track of a movie the muxer wrote.
std::optional<MVTrackDescription> onlyTrack(const MVMovieFileDescription& file, uint32_t* movieScale)
{
    if (file.movie.tracks.size() != 1
        || file.movie.tracks[0].media.information.sampleTable.sampleDescriptions.empty())
        return std::nullopt;
    *movieScale = file.movie.header.timeScale;
    return file.movie.tracks[0];
}

// Times the muxer accepts: both present, decode times increasing, never shown before decoded.
void settlePacketForMuxer(AVPacket* pkt, StreamPlan& plan)
{
    // Program streams time only some packets: the others follow the one before by its duration.
    int64_t step = std::max<int64_t>(plan.lastDuration, 1);
    if (pkt->dts == AV_NOPTS_VALUE)
        pkt->dts = pkt->pts != AV_NOPTS_VALUE && (plan.lastDts == AV_NOPTS_VALUE || pkt->pts > plan.lastDts)
            ? pkt->pts
            : (plan.lastDts == AV_NOPTS_VALUE ? 0 : plan.lastDts + step);
    if (pkt->duration > 0)
        plan.lastDuration = pkt->duration;
    // A packet without a presentation time keeps the delay between decoding and showing of the last.
    if (pkt->pts == AV_NOPTS_VALUE)
        pkt->pts = pkt->dts + plan.lastDelay;
    else if (pkt->dts != AV_NOPTS_VALUE)
        plan.lastDelay = std::max<int64_t>(pkt->pts - pkt->dts, 0);
    if (plan.lastDts != AV_NOPTS_VALUE && pkt->dts <= plan.lastDts)
        pkt->dts = plan.lastDts + 1;
    if (pkt->pts < pkt->dts)
        pkt->pts = pkt->dts;
    plan.lastDts = pkt->dts;
}

bool writeToMuxer(
    MVStreamMuxer& muxer, const AVPacket* source, StreamPlan& plan, bool shift, std::string* why)
{
    PacketPtr copy(av_packet_clone(source));
    if (!copy) {
        *why = "out of memory";
        return false;
    }
    if (shift) {
        if (copy->pts != AV_NOPTS_VALUE)
            copy->pts -= plan.shift;
        if (copy->dts != AV_NOPTS_VALUE)
            copy->dts -= plan.shift;
    }
    settlePacketForMuxer(copy.get(), plan);
    return muxer.write(copy.get(), why);
}

// 'vp08' with its 'vpcC' (version 1): profile, level, bit depth, chroma subsampling, range and colour.
MVSampleDescription vp8Description(const AVCodecParameters* par)
{
    MVByteWriter vpcc;
    vpcc.u32(0x01000000); // version 1, no flags
    vpcc.u8(uint8_t(std::max(par->profile, 0)));
    vpcc.u8(10); // level 1
    bool fullRange = par->color_range == AVCOL_RANGE_JPEG;
    vpcc.u8(uint8_t(8 << 4 | 1 << 1 | (fullRange ? 1 : 0))); // 8 bits, 4:2:0 co-sited
    vpcc.u8(uint8_t(par->color_primaries));
    vpcc.u8(uint8_t(par->color_trc));
    vpcc.u8(uint8_t(par->color_space));
    vpcc.u16(0); // no initialization data
    MVVideoSampleDescription v;
    v.width = uint16_t(std::clamp(par->width, 0, 0xFFFF));
    v.height = uint16_t(std::clamp(par->height, 0, 0xFFFF));
    v.compressorName = "VP8";
    v.extensions = { MVRawAtom { MVFourCC("vpcC"), vpcc.buffer() } };
    return MVSampleDescription { MVFourCC("vp08"), {}, 1, MVSerializeVideoSampleDescription(v) };
}

// Lets the muxer describe the stream from its parameters and first packets. Tells whether the muxer
// stores the first packet as it is (else the samples must be rewritten).
bool describe(StreamPlan& plan, const AVStream* st, bool* storedAsIs)
{
    std::string why;
    auto muxer = MVStreamMuxer::create(st, {}, &why);
    plan.lastDts = AV_NOPTS_VALUE;
    for (size_t i = 0; muxer && i < plan.pending.size(); ++i)
        if (!writeToMuxer(*muxer, plan.pending[i].get(), plan, false, &why))
            muxer.reset();
    plan.lastDts = AV_NOPTS_VALUE;
    if (muxer && !muxer->finish(&why))
        muxer.reset();
    if (!muxer && st->codecpar->codec_id == AV_CODEC_ID_VP8) {
        // The muxer does not take VP8; its description is simple enough to write here.
        plan.description = vp8Description(st->codecpar);
        plan.isVideo = true;
        *storedAsIs = true;
        return true;
    }
    if (!muxer) {
        plan.problem = why;
        return false;
    }
    auto source = MVByteSource::fromMemory(muxer->bytes());
    auto file = MVReadMovieFile(*source, nullptr);
    uint32_t scale = 0;
    auto track = file ? onlyTrack(*file, &scale) : std::nullopt;
    if (!track) {
        plan.problem = "the movie muxer gave no description for it";
        return false;
    }
    const auto& table = track->media.information.sampleTable;
    plan.description = table.sampleDescriptions[0];
    plan.isVideo = track->media.handler.componentSubtype == MVFourCC("vide");
    const AVPacket* first = plan.pending.front().get();
    // PCM samples are single frames; their chunk starts with the packet.
    uint32_t firstSize = plan.isPCM ? uint32_t(first->size)
        : table.sampleSizes.empty() ? table.constantSampleSize
                                    : table.sampleSizes[0];
    *storedAsIs = !table.chunkOffsets.empty() && firstSize == uint32_t(first->size)
        && table.chunkOffsets[0] + uint64_t(first->size) <= muxer->bytes().size()
        && std::memcmp(muxer->bytes().data() + table.chunkOffsets[0], first->data, size_t(first->size)) == 0;
    return true;
}

// One pass over the packets; a stream found not to lie in the file after all asks for another pass
// with that stream rewritten.
struct Pass {
    std::map<int, StreamPlan> plans;
    std::vector<std::string> problems;
    int restartWithCache = -1;
};

void openCache(StreamPlan& plan, const AVStream* st, const std::string& cacheBase)
{
    std::error_code ec;
    auto dir = importCacheDirectory();
    std::filesystem::create_directories(dir, ec);
    plan.cachePath = (dir / (cacheBase + "-" + std::to_string(plan.index) + ".mov")).string();
    plan.cacheTemporaryPath = plan.cachePath + ".part" + std::to_string(::getpid());
    std::string why;
    plan.cache = MVStreamMuxer::create(st, plan.cacheTemporaryPath, &why);
    if (!plan.cache)
        plan.problem = "its samples could not be rewritten into " + plan.cachePath + ": " + why;
}

// Takes a packet in Range or Cache mode; false asks for a pass with the stream rewritten.
bool take(StreamPlan& plan, AVPacket* pkt, int fd, uint64_t fileSize, std::vector<uint8_t>& buffer)
{
    if (plan.mode == Mode::Cache) {
        std::string why;
        if (plan.cache && !writeToMuxer(*plan.cache, pkt, plan, true, &why)) {
            plan.problem = why;
            plan.cache.reset();
        }
        return true;
    }
    auto offset = locate(fd, pkt, plan, fileSize, buffer);
    if (!offset)
        return false;
    if (plan.isPCM && (uint32_t(pkt->size) % plan.pcmFrameBytes) != 0) {
        plan.problem = "a PCM packet holds a partial frame";
        return true;
    }
    plan.packets.push_back(Packet { *offset, uint32_t(pkt->size), pkt->pts, pkt->dts, pkt->duration,
        (pkt->flags & AV_PKT_FLAG_KEY) != 0 });
    plan.lastPos = pkt->pos;
    plan.searchFrom = *offset + uint64_t(pkt->size);
    return true;
}

// Describes a stream from its first packets and settles how its samples are kept; false asks for a
// pass with the stream rewritten.
bool decide(StreamPlan& plan, const AVStream* st, bool forceCache, const std::string& cacheBase, int fd,
    uint64_t fileSize, std::vector<uint8_t>& buffer)
{
    if (plan.pending.empty()) {
        plan.problem = "it has no packets";
        return true;
    }
    bool storedAsIs = false;
    if (!describe(plan, st, &storedAsIs)) {
        plan.pending.clear();
        return true;
    }
    plan.mode = !forceCache && storedAsIs ? Mode::Range : Mode::Cache;
    if (plan.mode == Mode::Cache)
        openCache(plan, st, cacheBase);
    auto pending = std::move(plan.pending);
    for (auto& p : pending)
        if (!plan.problem.empty() || !take(plan, p.get(), fd, fileSize, buffer))
            return !plan.problem.empty();
    return true;
}

void runPass(Pass& pass, AVFormatContext* ctx, const std::set<int>& forceCache, const std::string& cacheBase,
    int fd, uint64_t fileSize, int64_t movieStartMicros)
{
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        auto type = st->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) {
            const char* kind = av_get_media_type_string(type);
            pass.problems.push_back(
                streamName(st) + ": " + (kind ? kind : "unknown") + " streams are not imported");
            continue;
        }
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            pass.problems.push_back(streamName(st) + ": an attached picture is not imported");
            continue;
        }
        StreamPlan& plan = pass.plans.try_emplace(int(i)).first->second;
        plan.index = int(i);
        plan.isVideo = type == AVMEDIA_TYPE_VIDEO;
        plan.shift = av_rescale_q(movieStartMicros, AVRational { 1, 1000000 }, st->time_base);
        if (AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            plan.isVideo && rate.num > 0 && rate.den > 0)
            plan.lastDuration = av_rescale_q(1, av_inv_q(rate), st->time_base);
        int bits = av_get_bits_per_sample(st->codecpar->codec_id);
        if (!plan.isVideo && bits > 0 && bits % 8 == 0
            && std::string_view(avcodec_get_name(st->codecpar->codec_id)).starts_with("pcm_")
            && st->codecpar->ch_layout.nb_channels > 0) {
            plan.isPCM = true;
            plan.pcmFrameBytes = uint32_t(st->codecpar->ch_layout.nb_channels * bits / 8);
        }
        // Samples rewritten by an earlier open of the same file.
        if (!cacheBase.empty()) {
            auto path = importCacheDirectory() / (cacheBase + "-" + std::to_string(i) + ".mov");
            std::error_code ec;
            if (std::filesystem::is_regular_file(path, ec))
                if (auto file = MVReadMovieFile(path.string(), nullptr)) {
                    uint32_t scale = 0;
                    if (auto track = onlyTrack(*file, &scale); track && scale == kMovieScale) {
                        plan.cachedTrack = std::move(track);
                        plan.cachePath = path.string();
                        plan.mode = Mode::Reused;
                    }
                }
        }
    }

    PacketPtr pkt(av_packet_alloc());
    std::vector<uint8_t> buffer;
    auto restart = [&](int index) { pass.restartWithCache = index; };
    while (pass.restartWithCache < 0 && av_read_frame(ctx, pkt.get()) >= 0) {
        auto it = pass.plans.find(pkt->stream_index);
        if (it != pass.plans.end() && it->second.problem.empty()) {
            StreamPlan& plan = it->second;
            const AVStream* st = ctx->streams[it->first];
            if (plan.mode == Mode::Pending) {
                PacketPtr kept(av_packet_alloc());
                av_packet_move_ref(kept.get(), pkt.get());
                plan.pending.push_back(std::move(kept));
                if (plan.pending.size() >= kProbePackets
                    && !decide(plan, st, forceCache.count(it->first) > 0, cacheBase, fd, fileSize, buffer))
                    restart(it->first);
            } else if (plan.mode != Mode::Reused && !take(plan, pkt.get(), fd, fileSize, buffer)) {
                restart(it->first);
            }
        }
        av_packet_unref(pkt.get());
    }
    for (auto& [index, plan] : pass.plans) {
        if (pass.restartWithCache >= 0)
            break;
        if (plan.mode == Mode::Pending && plan.problem.empty()
            && !decide(
                plan, ctx->streams[index], forceCache.count(index) > 0, cacheBase, fd, fileSize, buffer))
            restart(index);
    }
    if (pass.restartWithCache >= 0)
        return;

    // Rewritten streams: the muxer finishes its movie, which replaces any older one of the same name.
    for (auto& [index, plan] : pass.plans) {
        if (plan.mode != Mode::Cache || !plan.problem.empty() || !plan.cache)
            continue;
        std::string why;
        bool finished = plan.cache->finish(&why);
        plan.cache.reset();
        std::error_code ec;
        if (finished)
            std::filesystem::rename(plan.cacheTemporaryPath, plan.cachePath, ec);
        if (!finished || ec) {
            plan.problem = "its rewritten samples could not be stored in " + plan.cachePath + ": "
                + (finished ? ec.message() : why);
            continue;
        }
        plan.cacheTemporaryPath.clear();
        uint32_t scale = 0;
        auto file = MVReadMovieFile(plan.cachePath, nullptr);
        plan.cachedTrack = file ? onlyTrack(*file, &scale) : std::nullopt;
        if (!plan.cachedTrack || scale != kMovieScale)
            plan.problem = "the movie its samples were rewritten into cannot be read back";
    }
}

MVTrackDescription cachedTrack(StreamPlan& plan, uint32_t trackID, const std::string& sourcePath)
{
    MVTrackDescription track = *plan.cachedTrack;
    track.header.trackID = trackID;
    track.references.clear();
    track.media.information.dataInformation.entries = { MVMakeFileDataReference(plan.cachePath, sourcePath) };
    for (auto& d : track.media.information.sampleTable.sampleDescriptions)
        d.dataReferenceIndex = 1;
    return track;
}

} // namespace

std::optional<MVImportResult> MVImportMovieFile(const std::string& path, HXError* outError)
{
    auto fail = [&](HXError e) -> std::optional<MVImportResult> {
        if (outError)
            *outError = std::move(e);
        return std::nullopt;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(HXError::posix(errno, path));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    uint64_t fileSize = uint64_t(std::max<off_t>(::lseek(fd, 0, SEEK_END), 0));
    const std::string cacheBase = cacheBaseName(path);

    std::set<int> forceCache;
    Pass pass;
    FormatContext fmt;
    int64_t movieStart = 0;
    for (;;) {
        fmt.reset();
        if (avformat_open_input(&fmt.ctx, path.c_str(), nullptr, nullptr) < 0)
            return fail(importError("The file " + path + " could not be opened as a movie."));
        if (avformat_find_stream_info(fmt.ctx, nullptr) < 0)
            return fail(importError("The streams of " + path + " could not be read."));
        // The movie starts with its earliest sound or picture.
        movieStart = INT64_MAX;
        for (unsigned i = 0; i < fmt.ctx->nb_streams; ++i) {
            const AVStream* st = fmt.ctx->streams[i];
            auto type = st->codecpar->codec_type;
            if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
                || st->start_time == AV_NOPTS_VALUE)
                continue;
            // Sound starts after its priming samples, which containers put before time 0. A start beyond
            // any real movie's (a broken file) is no start.
            int64_t start = av_rescale_q(st->start_time, st->time_base, AVRational { 1, 1000000 });
            if (start == AV_NOPTS_VALUE || start > kLatestStartMicros || start < -kLatestStartMicros)
                continue;
            if (type == AVMEDIA_TYPE_AUDIO && st->codecpar->initial_padding > 0
                && st->codecpar->sample_rate > 0)
                start = std::min<int64_t>(std::max<int64_t>(start, 0),
                    start + av_rescale(st->codecpar->initial_padding, 1000000, st->codecpar->sample_rate));
            movieStart = std::min(movieStart, start);
        }
        if (movieStart == INT64_MAX)
            movieStart = 0;
        pass = {};
        runPass(pass, fmt.ctx, forceCache, cacheBase, fd, fileSize, movieStart);
        if (pass.restartWithCache < 0 || forceCache.count(pass.restartWithCache))
            break;
        forceCache.insert(pass.restartWithCache);
    }

    MVImportResult result;
    result.problems = std::move(pass.problems);
    auto& movie = result.file.movie;
    movie.header.timeScale = kMovieScale;
    uint32_t nextID = 1;
    for (auto& [index, plan] : pass.plans) {
        const AVStream* st = fmt.ctx->streams[index];
        if (plan.problem.empty() && plan.mode == Mode::Range && !timesInRange(plan.packets, st->time_base))
            plan.problem = "its times lie out of any range a movie can have";
        if (plan.problem.empty() && plan.mode == Mode::Range && plan.packets.empty())
            plan.problem = "it has no packets";
        if (plan.problem.empty() && plan.mode == Mode::Pending)
            plan.problem = "its packets are not byte ranges of the file";
        if (!plan.problem.empty()) {
            result.problems.push_back(streamName(st) + ": " + plan.problem);
            continue;
        }
        if (plan.mode == Mode::Range)
            movie.tracks.push_back(buildTrack(plan, st, nextID++, kMovieScale, movieStart));
        else
            movie.tracks.push_back(cachedTrack(plan, nextID++, path));
        movie.header.duration = std::max(movie.header.duration, movie.tracks.back().header.duration);
    }
    movie.header.nextTrackID = nextID;
    if (movie.tracks.empty()) {
        std::string text = "Nothing in " + path + " can be played.";
        for (const auto& p : result.problems)
            text += "\n" + p;
        return fail(importError(text));
    }
    result.file.fileSize = fileSize;
    return result;
}

bool MVImportCanReadFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::vector<uint8_t> head(4096 + AVPROBE_PADDING_SIZE, 0);
    ssize_t n = ::read(fd, head.data(), 4096);
    ::close(fd);
    if (n <= 0)
        return false;
    AVProbeData probe {};
    probe.filename = "";
    probe.buf = head.data();
    probe.buf_size = int(n);
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
    // Text and single pictures are recognised too, but only as weak guesses or under their own names.
    if (!format || score < AVPROBE_SCORE_MAX / 2)
        return false;
    static const std::set<std::string_view> notMovies = { "tty", "srt", "ass", "webvtt", "microdvd",
        "subviewer", "subviewer1", "sami", "lrc", "vplayer", "mpl2", "pjs", "jacosub", "realtext", "stl" };
    std::string_view name = format->name;
    return !name.starts_with("image2") && !name.ends_with("_pipe") && !notMovies.count(name);
}
