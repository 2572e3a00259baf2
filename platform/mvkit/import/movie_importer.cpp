#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/libav_limits.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/codec_parameters_description.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/import/import_cache.h"
#include "platform/mvkit/import/import_reader.h"
#include "platform/mvkit/import/matroska_frames.h"
#include "platform/mvkit/import/picture_order.h"
#include "platform/mvkit/import/stream_muxer.h"
#include "platform/mvkit/import/subtitle_import.h"
#include "platform/mvkit/libav_codec_parameters.h"
#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/user_data.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
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
    // What the codec's parser says of the picture: 'B' shown before the picture decoded ahead of it, 'R' a
    // picture others are predicted from, 'N' a placeholder that codes nothing, 'C' a picture shown in the
    // order of its `count`, 0 not known.
    char picture = 0;
    int32_t count = 0;
    char packed = 0; // the type of a second picture packed into the same sample (MPEG-4 Part 2), else 0
};

struct ParserFree {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// How a stream's samples are kept: where they lie in the source, or rewritten into a cache movie
// (Reused: by an earlier open, or at once, as an attached picture is).
enum class Mode { Pending, Range, Cache, Reused };

struct StreamPlan {
    int index = -1;
    bool isVideo = false;
    bool still = false; // an attached picture (cover art): one picture shown for the whole movie
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
    std::shared_ptr<void> lease; // keeps the cache movie from being cleaned away while in use
    bool adts = false; // Range: each packet starts with an ADTS header that is not part of the sample
    // Described by the program's own description ('MVav'): no movie-file description names the codec.
    bool ownDescription = false;
    // Such sound, whose packets come without durations: a decoder that counts their samples.
    std::unique_ptr<AVCodecContext, CodecContextFree> counter;
    bool counterFailed = false;
    AVRational timeBase { 1, 1 }; // the stream's
    int64_t frameSize = 0; // samples per sound frame, when the parser told and the parameters do not
    int64_t shift = 0; // the movie's start in the stream's time base
    int64_t lastDts = AV_NOPTS_VALUE;
    int64_t lastDuration = 0; // of the last packet that had one, or the frame rate's
    int64_t lastDelay = 0; // presentation minus decode time of the last packet that had both
    std::string problem; // set when the stream is dropped
    // Pictures a container times by their place in the file only (AVI): when the first has no
    // presentation time, the codec's parser tells B-frames from the pictures they are predicted from.
    const AVCodecParameters* parameters = nullptr;
    std::unique_ptr<AVCodecParserContext, ParserFree> parser;
    std::unique_ptr<AVCodecContext, CodecContextFree> parserContext;
    // Rewritten H.264, HEVC, MPEG-1 and MPEG-2 pictures without presentation times: held in decode order
    // until the order the decoder shows them in gives them their times. Pictures of a container that
    // times only some of them (program streams) keep the times they have.
    bool orderDecided = false;
    std::optional<MVPictureOrder> order;
    bool orderKeepsTimes = false;
    int64_t orderOffset = 0; // a time of its own minus the order's, of the last picture that had one
    PacketPtr orderNext; // the last picture taken, until the next one tells whether its times are its own
    std::deque<PacketPtr> ordered;
    // A stream without any times of its own (raw H.264 or HEVC) starts with its first picture shown: its
    // decode times begin that much earlier.
    bool untimed = false;
    std::optional<int64_t> orderLead;
    uint64_t searchFrom = 0;
    int64_t lastPos = -1;
    size_t taken = 0; // packets taken in Range or Cache mode
    // Cache, while only the first part of a long file is read: the same samples also go to a movie of
    // their own, which the first part's track refers to until the cache movie is whole.
    std::unique_ptr<MVStreamMuxer> head;
    std::string headPath;
    std::optional<MVTrackDescription> headTrack;
    std::shared_ptr<void> headLease; // removes the first part's movie when the last movie using it goes

    ~StreamPlan()
    {
        cache.reset();
        if (!cacheTemporaryPath.empty())
            ::unlink(cacheTemporaryPath.c_str());
        dropHead();
    }
    void dropHead()
    {
        head.reset();
        if (!headLease && !headPath.empty())
            ::unlink(headPath.c_str());
        headPath.clear();
        headTrack.reset();
    }
    StreamPlan() = default;
    StreamPlan(const StreamPlan&) = delete;
    StreamPlan& operator=(const StreamPlan&) = delete;
};

// Finds where the packet's bytes lie in the file, near the position libavformat gives (which may point at
// a container header before them). Nothing when they are not there as one range.
std::optional<uint64_t> locate(const MVImportReader& src, const AVPacket* pkt, StreamPlan& plan,
    uint64_t fileSize, std::vector<uint8_t>& buffer)
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
    if (!src.read(start, buffer.data(), buffer.size()))
        return std::nullopt;
    for (uint64_t k = 0; k + need <= span; ++k)
        if (std::memcmp(buffer.data() + k, pkt->data, size_t(need)) == 0)
            return start + k;
    return std::nullopt;
}

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

// What the codec's parser reads of a picture: for MPEG-1, MPEG-2 and MPEG-4 Part 2, where no B-frame is a
// reference, its type; for H.264 and HEVC, its order count (the decoder shows pictures by it). Other
// codecs, and packets the parser cannot read, are left unknown.
void typePicture(StreamPlan& plan, const AVPacket* pkt, Packet& packet)
{
    const AVCodecParameters* par = plan.parameters;
    const bool counted = par && (par->codec_id == AV_CODEC_ID_H264 || par->codec_id == AV_CODEC_ID_HEVC);
    if (!par
        || (!counted && par->codec_id != AV_CODEC_ID_MPEG4 && par->codec_id != AV_CODEC_ID_MPEG1VIDEO
            && par->codec_id != AV_CODEC_ID_MPEG2VIDEO))
        return;
    if (!plan.parser) {
        plan.parser.reset(av_parser_init(par->codec_id));
        plan.parserContext.reset(avcodec_alloc_context3(nullptr));
        if (!plan.parser || !plan.parserContext
            || avcodec_parameters_to_context(plan.parserContext.get(), par) < 0) {
            plan.parser.reset();
            return;
        }
        plan.parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }
    uint8_t* out = nullptr;
    int outSize = 0;
    plan.parser->pict_type = AV_PICTURE_TYPE_NONE;
    av_parser_parse2(plan.parser.get(), plan.parserContext.get(), &out, &outSize, pkt->data, pkt->size,
        pkt->pts, pkt->dts, pkt->pos);
    if (counted) {
        if (plan.parser->pict_type != AV_PICTURE_TYPE_NONE) {
            packet.picture = 'C';
            packet.count = plan.parser->output_picture_number;
        }
        return;
    }
    // A placeholder that codes no picture is a few bytes of header (packed B-frames leave them).
    if (pkt->size <= 8) {
        packet.picture = 'N';
        return;
    }
    // A B-frame packed after the picture before it, in the same sample: the second picture's start code.
    if (par->codec_id == AV_CODEC_ID_MPEG4) {
        int pictures = 0;
        for (int i = 0; i + 4 < pkt->size && pictures < 2; ++i)
            if (pkt->data[i] == 0 && pkt->data[i + 1] == 0 && pkt->data[i + 2] == 1
                && pkt->data[i + 3] == 0xB6 && ++pictures == 2)
                packet.packed = (pkt->data[i + 4] >> 6) == 2 ? 'B' : 'R';
    }
    switch (plan.parser->pict_type) {
    case AV_PICTURE_TYPE_B:
        packet.picture = 'B';
        break;
    case AV_PICTURE_TYPE_I:
    case AV_PICTURE_TYPE_P:
    case AV_PICTURE_TYPE_S:
        packet.picture = 'R';
        break;
    default:
        break;
    }
}

// Whether pictures of the codec are shown in another order than they are decoded in, by an order the
// picture itself carries (H.264's and HEVC's order counts, MPEG-1's and MPEG-2's temporal references).
bool picturesCarryTheirOrder(AVCodecID codec)
{
    return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_MPEG1VIDEO
        || codec == AV_CODEC_ID_MPEG2VIDEO;
}

// The temporal reference of an MPEG-1 or MPEG-2 picture (its place in its group of pictures, in the order
// shown): the 10 bits after its picture start code. Nothing when the packet has no picture header.
std::optional<int32_t> temporalReference(const AVPacket* pkt)
{
    for (int i = 0; i + 5 < pkt->size; ++i)
        if (pkt->data[i] == 0 && pkt->data[i + 1] == 0 && pkt->data[i + 2] == 1 && pkt->data[i + 3] == 0)
            return int32_t(pkt->data[i + 4]) << 2 | pkt->data[i + 5] >> 6;
    return std::nullopt;
}

// The order a decoder shows typed pictures in, as indexes in decode order: each B-frame as it comes, every
// other picture held until the next one that is not a B-frame.
std::vector<size_t> showingOrder(const std::vector<char>& types)
{
    std::vector<size_t> shown;
    shown.reserve(types.size());
    std::optional<size_t> held;
    for (size_t i = 0; i < types.size(); ++i) {
        if (types[i] == 'B') {
            shown.push_back(i);
            continue;
        }
        if (held)
            shown.push_back(*held);
        held = i;
    }
    if (held)
        shown.push_back(*held);
    return shown;
}

// The picture the decoder decodes as each sample goes in, where B-frames are packed into the sample of the
// picture before them and a placeholder follows: the packed B-frame as the next sample goes in, and so
// on, so the pictures fall one sample later each up to the placeholder. Nothing when samples and
// pictures do not match up.
std::optional<std::vector<char>> unpackedTypes(const std::vector<Packet>& packets)
{
    std::vector<char> types;
    types.reserve(packets.size());
    std::deque<char> coded;
    for (const Packet& p : packets) {
        if (p.picture != 'N')
            coded.push_back(p.picture);
        if (p.packed)
            coded.push_back(p.packed);
        if (coded.empty())
            return std::nullopt;
        types.push_back(coded.front());
        coded.pop_front();
    }
    // A B-frame packed into the last sample has no sample left to be decoded with: it is never shown.
    if (coded.size() > 1)
        return std::nullopt;
    return types;
}

// Presentation times for pictures a container times by their place in the file (AVI): the decode times,
// in the order the decoder shows the pictures and after its delay, are their presentation times.
// `reorderDelay` is the number of pictures the decoder holds back, as the stream declares it. B-frames
// packed into the sample before them take the places the decoder gives them (see unpackedTypes).
void orderPictures(std::vector<Packet>& packets, int reorderDelay)
{
    bool missing = false, packed = false;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        if (p.picture == 0 || (p.picture == 'C') != (packets[0].picture == 'C') || p.dts == AV_NOPTS_VALUE
            || (i > 0 && p.dts <= packets[i - 1].dts))
            return;
        missing = missing || p.pts == AV_NOPTS_VALUE;
        packed = packed || p.picture == 'N' || p.packed;
    }
    if (!missing)
        return;
    if (packets[0].picture == 'C') {
        MVPictureOrder order(reorderDelay);
        for (const Packet& p : packets)
            order.add(p.dts, p.count, p.key);
        order.finish();
        for (Packet& p : packets)
            p.pts = order.take().value_or(p.dts);
        return;
    }
    if (packed) {
        // Each sample's picture shown in its place, one picture after it is decoded.
        auto types = unpackedTypes(packets);
        if (!types)
            return;
        const std::vector<size_t> shown = showingOrder(*types);
        std::vector<int32_t> places(packets.size());
        for (size_t rank = 0; rank < shown.size(); ++rank)
            places[shown[rank]] = int32_t(std::min<size_t>(rank, INT32_MAX));
        MVPictureOrder order(1);
        for (size_t i = 0; i < packets.size(); ++i) {
            order.add(packets[i].dts, places[i], false);
            // Decoding cannot start at a placeholder or at a sample whose picture is a B-frame (some
            // writers mark the placeholder after a key picture as a key picture too).
            if ((*types)[i] == 'B' || packets[i].picture == 'N')
                packets[i].key = false;
        }
        order.finish();
        for (Packet& p : packets)
            p.pts = order.take().value_or(p.dts);
        return;
    }
    std::vector<char> types;
    types.reserve(packets.size());
    for (const Packet& p : packets)
        types.push_back(p.picture);
    const std::vector<size_t> shown = showingOrder(types);
    // The container's own times of the B-frames it could time (libavformat's: a B-frame is shown when it
    // is decoded, after the decoder's delay) set where the order begins.
    int64_t delay = 0;
    for (size_t rank = 0; rank < shown.size(); ++rank)
        if (const Packet& p = packets[shown[rank]]; p.picture == 'B' && p.pts != AV_NOPTS_VALUE) {
            delay = p.pts - packets[rank].dts;
            break;
        }
    for (size_t rank = 0; rank < shown.size(); ++rank)
        packets[shown[rank]].pts = packets[rank].dts + delay;
}

// Decode times for packets in decode order: their own when present and increasing, else derived from the
// sorted presentation times (shifted so no packet is decoded after it is shown).
void settleTimes(std::vector<Packet>& packets, int reorderDelay = 0)
{
    orderPictures(packets, reorderDelay);
    bool usable = std::all_of(
        packets.begin(), packets.end(), [](const Packet& p) { return p.dts != AV_NOPTS_VALUE; });
    for (size_t i = 1; usable && i < packets.size(); ++i)
        usable = packets[i].dts > packets[i - 1].dts;
    // Presentation times that only increase (sound, pictures without reordering) are the decode times.
    if (!usable
        && std::all_of(
            packets.begin(), packets.end(), [](const Packet& p) { return p.pts != AV_NOPTS_VALUE; })
        && std::is_sorted(packets.begin(), packets.end(),
            [](const Packet& a, const Packet& b) { return a.pts <= b.pts; })) {
        for (auto& p : packets)
            p.dts = p.pts;
        return;
    }
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

// How long one picture of `st` lasts, in its time base: a frame of its stated rate, else a tenth of a
// second.
int64_t stillDuration(const AVStream* st)
{
    for (AVRational rate : { st->avg_frame_rate, st->r_frame_rate })
        if (rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 1 && av_q2d(rate) <= 240)
            return std::max<int64_t>(av_rescale_q(1, av_inv_q(rate), st->time_base), 1);
    return std::max<int64_t>(av_rescale_q(1, AVRational { 1, 10 }, st->time_base), 1);
}

// The box a player shows (the track's width and height): as wide as the pixels' shape makes the picture
// (the container's shape first, as the description's 'pasp' has it).
void setPictureBox(MVTrackDescription& track, const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    AVRational shape = st->sample_aspect_ratio.num > 0 && st->sample_aspect_ratio.den > 0
        ? st->sample_aspect_ratio
        : par->sample_aspect_ratio;
    int64_t width = int64_t(std::max(par->width, 0)) << 16;
    if (shape.num > 0 && shape.den > 0)
        width = std::clamp<int64_t>(av_rescale(width, shape.num, shape.den), 0, UINT32_MAX);
    track.header.width = uint32_t(width);
    track.header.height = uint32_t(std::max(par->height, 0)) << 16;
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
        setPictureBox(track, st);
    } else {
        media.information.header = { MVFourCC("smhd"), { 0, 0, 0, 0, 0, 0, 0, 0 } };
        track.header.volume = 0x100;
        track.header.alternateGroup = 1;
    }
    if (uint16_t language = MVImportedStreamLanguage(st))
        media.header.language = language;

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
        // Time scale: sound counts its samples (readers take an edit's start in a sound track as samples
        // to skip); pictures keep the stream's time base when it is 1/n.
        AVRational tb = st->time_base;
        uint32_t scale = !plan.isVideo && par->sample_rate > 0 ? uint32_t(par->sample_rate)
            : tb.num == 1 && tb.den > 0                        ? uint32_t(tb.den)
                                                               : 90000;
        media.header.timeScale = scale;
        settleTimes(packets, plan.isVideo ? par->video_delay : 0);
        const bool sameScale = tb.num == 1 && uint32_t(tb.den) == scale;
        auto toMedia = [&](int64_t t) {
            return sameScale ? t : av_rescale_q(t, tb, AVRational { 1, int(scale) });
        };
        int64_t firstDts = toMedia(packets.front().dts);
        int64_t minPts = INT64_MAX;
        std::vector<int64_t> dts, offsets;
        dts.reserve(packets.size());
        offsets.reserve(packets.size());
        for (const auto& p : packets) {
            int64_t decode = toMedia(p.dts);
            int64_t present = p.pts == p.dts ? decode : toMedia(p.pts);
            dts.push_back(decode - firstDts);
            offsets.push_back(present - decode);
            minPts = std::min(minPts, present - firstDts);
        }
        for (size_t i = 0; i < packets.size(); ++i) {
            int64_t d = i + 1 < packets.size() ? dts[i + 1] - dts[i]
                                               : std::max<int64_t>(toMedia(packets[i].duration), 0);
            if (i + 1 == packets.size() && d == 0 && i > 0)
                d = dts[i] - dts[i - 1];
            // A lone picture without a duration (a still in a Matroska file) lasts a frame of the
            // stream's rate: with none it would never show.
            if (i + 1 == packets.size() && d == 0 && plan.isVideo)
                d = std::max<int64_t>(toMedia(stillDuration(st)), 1);
            // Sound frames of one size whose times the container rounded (to milliseconds in Matroska)
            // last exactly that size.
            if (int64_t frameSize = par->frame_size > 0 ? par->frame_size : plan.frameSize; !plan.isVideo
                && frameSize > 0 && i + 1 < packets.size()
                && std::llabs(d - frameSize) <= int64_t(scale) * tb.num / std::max(tb.den, 1) + 1)
                d = frameSize;
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
    // A code libavcodec does not know is named as the file names it.
    std::string codec = avcodec_get_name(st->codecpar->codec_id);
    if (st->codecpar->codec_id == AV_CODEC_ID_NONE && st->codecpar->codec_tag) {
        char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
        codec = av_fourcc_make_string(tag, st->codecpar->codec_tag);
    }
    return "stream " + std::to_string(st->index) + " (" + codec + ")";
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

// Sound packets a container stamps with the time of the block they came in (RealAudio: ffmpeg writes
// every packet of such a file at 0) follow the one before by its duration: they cannot be decoded at the
// same time.
void followOn(int64_t& dts, int64_t& pts, bool isVideo, int64_t lastDts, int64_t lastDuration)
{
    if (isVideo || dts == AV_NOPTS_VALUE || lastDts == AV_NOPTS_VALUE || dts > lastDts || lastDuration <= 0)
        return;
    const int64_t moved = lastDts + lastDuration - dts;
    dts += moved;
    if (pts != AV_NOPTS_VALUE)
        pts += moved;
}

// The decode time and duration the muxer needs: program streams time only some packets, the others
// follow the one before by its duration.
void settleDecodeTime(AVPacket* pkt, StreamPlan& plan)
{
    followOn(pkt->dts, pkt->pts, plan.isVideo, plan.lastDts, plan.lastDuration);
    int64_t step = std::max<int64_t>(plan.lastDuration, 1);
    if (pkt->dts == AV_NOPTS_VALUE)
        pkt->dts = pkt->pts != AV_NOPTS_VALUE && (plan.lastDts == AV_NOPTS_VALUE || pkt->pts > plan.lastDts)
            ? pkt->pts
            : (plan.lastDts == AV_NOPTS_VALUE ? 0 : plan.lastDts + step);
    if (pkt->duration > 0)
        plan.lastDuration = pkt->duration;
    else
        pkt->duration = plan.lastDuration; // the muxer ends the track with the last packet's duration
}

// Decode times only increase.
void keepDecodeTimeIncreasing(AVPacket* pkt, StreamPlan& plan)
{
    if (plan.lastDts != AV_NOPTS_VALUE && pkt->dts <= plan.lastDts)
        pkt->dts = plan.lastDts + 1;
    plan.lastDts = pkt->dts;
}

// Times the muxer accepts: both present, decode times increasing, never shown before decoded.
void settlePacketForMuxer(AVPacket* pkt, StreamPlan& plan)
{
    settleDecodeTime(pkt, plan);
    // A packet without a presentation time keeps the delay between decoding and showing of the last.
    if (pkt->pts == AV_NOPTS_VALUE)
        pkt->pts = pkt->dts + plan.lastDelay;
    else
        plan.lastDelay = std::max<int64_t>(pkt->pts - pkt->dts, 0);
    keepDecodeTimeIncreasing(pkt, plan);
    if (pkt->pts < pkt->dts)
        pkt->pts = pkt->dts;
}

// Writes a packet whose times are settled to `muxer`, and to the plan's first part's movie while there is
// one (which is dropped when it refuses the packet: the file is then read whole).
bool writeSettled(MVStreamMuxer& muxer, PacketPtr packet, StreamPlan& plan, std::string* why, bool toHead)
{
    // Writing changes the packet's times to the muxer's time base: the first part's movie gets its own.
    if (toHead && plan.head) {
        PacketPtr again(av_packet_clone(packet.get()));
        if (!again || !plan.head->write(again.get(), nullptr))
            plan.dropHead();
    }
    return muxer.write(packet.get(), why);
}

// Writes the held pictures whose presentation times are known, in decode order.
bool writeOrdered(MVStreamMuxer& muxer, StreamPlan& plan, std::string* why, bool toHead)
{
    while (auto time = plan.order->take()) {
        PacketPtr packet = std::move(plan.ordered.front());
        plan.ordered.pop_front();
        // A picture with a time of its own keeps it; one without is shown where the order puts it, as far
        // from there as the last picture with a time of its own was from its place in the order.
        if (!plan.orderKeepsTimes)
            packet->pts = *time;
        else if (packet->pts != AV_NOPTS_VALUE)
            plan.orderOffset = packet->pts - *time;
        else
            packet->pts = *time + plan.orderOffset;
        packet->pts = std::max(packet->pts, packet->dts);
        if (plan.untimed) {
            if (!plan.orderLead)
                plan.orderLead = packet->pts - packet->dts;
            packet->pts -= *plan.orderLead;
            packet->dts -= *plan.orderLead;
        }
        if (!writeSettled(muxer, std::move(packet), plan, why, toHead))
            return false;
    }
    return true;
}

// Holds the picture until the order the decoder shows it in gives its presentation time, and writes the
// pictures whose times are known.
bool orderPicture(MVStreamMuxer& muxer, StreamPlan& plan, PacketPtr copy, std::string* why, bool toHead)
{
    settleDecodeTime(copy.get(), plan);
    keepDecodeTimeIncreasing(copy.get(), plan);
    Packet picture;
    picture.key = (copy->flags & AV_PKT_FLAG_KEY) != 0;
    std::optional<int32_t> count;
    if (plan.parameters->codec_id == AV_CODEC_ID_MPEG1VIDEO
        || plan.parameters->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
        count = temporalReference(copy.get());
    } else {
        typePicture(plan, copy.get(), picture);
        if (picture.picture == 'C')
            count = picture.count;
    }
    plan.order->add(copy->dts, count, picture.key);
    plan.ordered.push_back(std::move(copy));
    return writeOrdered(muxer, plan, why, toHead);
}

// Writes the pictures still held, after the last packet of the stream.
bool finishOrder(MVStreamMuxer& muxer, StreamPlan& plan, std::string* why)
{
    if (!plan.order)
        return true;
    if (plan.orderNext && !orderPicture(muxer, plan, std::move(plan.orderNext), why, false))
        return false;
    plan.order->finish();
    return writeOrdered(muxer, plan, why, false);
}

// Forgets the pictures held and what the parser read (the stream is written again from its start).
void resetOrder(StreamPlan& plan)
{
    plan.orderDecided = false;
    plan.order.reset();
    plan.orderKeepsTimes = false;
    plan.orderOffset = 0;
    plan.orderNext.reset();
    plan.ordered.clear();
    plan.untimed = false;
    plan.orderLead.reset();
    plan.parser.reset();
    plan.parserContext.reset();
    if (plan.counter)
        avcodec_flush_buffers(plan.counter.get());
}

// The samples a sound packet of `par`'s codec decodes to, as a decoder counts them (`counter`, opened on
// first use, decodes the stream's packets in order), or else as the codec's usual frame holds; 0 when
// neither can tell. (A last frame is often shorter than the others: the decoder knows.)
int64_t soundPacketSamples(const AVCodecParameters* par, const uint8_t* data, int size,
    std::unique_ptr<AVCodecContext, CodecContextFree>& counter, bool* failed)
{
    if (!par || par->sample_rate <= 0 || size <= 0)
        return 0;
    auto usual = [&] {
        return std::max(av_get_audio_frame_duration2(const_cast<AVCodecParameters*>(par), size), 0);
    };
    if (*failed)
        return usual();
    if (!counter) {
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        counter.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
        if (!counter || avcodec_parameters_to_context(counter.get(), par) < 0
            || avcodec_open2(counter.get(), codec, nullptr) < 0) {
            counter.reset();
            *failed = true;
            return usual();
        }
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), size) < 0)
        return usual();
    std::memcpy(packet->data, data, size_t(size));
    int64_t samples = 0;
    if (avcodec_send_packet(counter.get(), packet.get()) >= 0) {
        AVFrame* frame = av_frame_alloc();
        while (frame && avcodec_receive_frame(counter.get(), frame) >= 0) {
            samples += frame->nb_samples;
            av_frame_unref(frame);
        }
        av_frame_free(&frame);
    }
    return samples > 0 ? samples : usual();
}

// A packet of sound of the program's own description that comes without a duration (Matroska blocks)
// gets the one its samples make: the movie's last sample would otherwise last nothing.
void settleOwnSoundDuration(AVPacket* pkt, StreamPlan& plan)
{
    if (!plan.ownDescription || plan.isVideo || pkt->duration > 0 || !plan.parameters)
        return;
    int64_t samples
        = soundPacketSamples(plan.parameters, pkt->data, pkt->size, plan.counter, &plan.counterFailed);
    if (samples > 0)
        pkt->duration = av_rescale_q(samples, AVRational { 1, plan.parameters->sample_rate }, plan.timeBase);
}

// Writes the packet, its times settled, to `muxer` (and the first part's movie, see writeSettled).
// Pictures that come without presentation times are held until their order gives them: in a raw stream
// or AVI from the first one, and in a container whose packets may leave them out (rewritten into the
// cache: program and transport streams) any of them.
bool writeToMuxer(MVStreamMuxer& muxer, const AVPacket* source, StreamPlan& plan, bool shift,
    std::string* why, bool toHead = false)
{
    PacketPtr copy(av_packet_clone(source));
    if (!copy) {
        *why = "out of memory";
        return false;
    }
    settleOwnSoundDuration(copy.get(), plan);
    if (shift) {
        if (copy->pts != AV_NOPTS_VALUE)
            copy->pts -= plan.shift;
        if (copy->dts != AV_NOPTS_VALUE)
            copy->dts -= plan.shift;
    }
    if (!plan.orderDecided) {
        plan.orderDecided = true;
        const AVCodecParameters* par = plan.parameters;
        if (plan.isVideo && par && picturesCarryTheirOrder(par->codec_id)
            && (copy->pts == AV_NOPTS_VALUE || plan.mode == Mode::Cache)) {
            plan.order.emplace(par->video_delay);
            plan.orderKeepsTimes = copy->pts != AV_NOPTS_VALUE;
            plan.untimed = copy->dts == AV_NOPTS_VALUE;
        }
    }
    if (!plan.order) {
        settlePacketForMuxer(copy.get(), plan);
        return writeSettled(muxer, std::move(copy), plan, why, toHead);
    }
    if (plan.orderKeepsTimes) {
        // A container that times only some pictures may give the times of one to the picture before it as
        // well (a program stream's packet whose header comes inside that picture): of two pictures with the
        // same times, the first has none of its own. Each picture waits for the next to tell.
        PacketPtr previous = std::move(plan.orderNext);
        if (previous && copy->dts != AV_NOPTS_VALUE && copy->dts == previous->dts
            && copy->pts == previous->pts)
            previous->pts = previous->dts = AV_NOPTS_VALUE;
        plan.orderNext = std::move(copy);
        return !previous || orderPicture(muxer, plan, std::move(previous), why, toHead);
    }
    return orderPicture(muxer, plan, std::move(copy), why, toHead);
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

// A sound description with a Windows codec ('ms' and the format number) also carries the stream's header
// (WAVEFORMATEX in a 'wfex' atom): its decoder needs the packet size and bit rate, which the
// description's own fields do not hold.
void addWindowsSoundHeader(MVSampleDescription& description, const AVCodecParameters* par)
{
    if ((description.format >> 16) != ((uint32_t('m') << 8) | 's'))
        return;
    auto sound = MVParseSoundSampleDescription(description);
    if (!sound || MVSampleDescriptionExtension(description, MVFourCC("wfex")))
        return;
    MVBytes wfex;
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            wfex.push_back(uint8_t(v >> (8 * i)));
    };
    int extra = std::clamp(par->extradata_size, 0, 0xFFFF);
    le(description.format & 0xFFFF, 2);
    le(uint32_t(std::max(par->ch_layout.nb_channels, 0)), 2);
    le(uint32_t(std::max(par->sample_rate, 0)), 4);
    le(uint32_t(std::clamp<int64_t>(par->bit_rate / 8, 0, UINT32_MAX)), 4);
    le(uint32_t(std::clamp(par->block_align, 0, 0xFFFF)), 2);
    le(uint32_t(std::clamp(par->bits_per_coded_sample, 0, 0xFFFF)), 2);
    le(uint32_t(extra), 2);
    if (extra > 0)
        wfex.insert(wfex.end(), par->extradata, par->extradata + extra);
    sound->extensions.push_back(MVRawAtom { MVFourCC("wfex"), wfex });
    description.data = MVSerializeSoundSampleDescription(*sound);
}

// The size of the ADTS header a packet starts with (7 bytes, 9 with a checksum); 0 when it has none.
uint32_t adtsHeaderSize(const AVPacket* pkt)
{
    if (pkt->size < 9 || pkt->data[0] != 0xFF || (pkt->data[1] & 0xF6) != 0xF0)
        return 0;
    // One raw data block per frame (more cannot be told apart without parsing them).
    if ((pkt->data[6] & 0x03) != 0)
        return 0;
    return (pkt->data[1] & 0x01) ? 7 : 9;
}

// The program's own description of the stream (codec_parameters_description.h).
MVSampleDescription ownDescription(const AVStream* st)
{
    return MVMakeCodecParametersDescription(
        MVCodecParametersOfStream(*st->codecpar, st->sample_aspect_ratio.num, st->sample_aspect_ratio.den));
}

// Whether the description the muxer wrote decodes as the stream: with the stream's codec and, for
// uncompressed pictures, its pixel layout (the muxer writes planar YUV, which movie files have no code
// for, under a code that says nothing of it).
bool decodesAsTheStream(const MVSampleDescription& description, bool isVideo, const AVStream* st)
{
    auto configuration
        = MVDecoderConfigurationForDescription(description, MVFourCC(isVideo ? "vide" : "soun"), nullptr);
    if (!configuration || configuration->codecID != st->codecpar->codec_id)
        return false;
    if (st->codecpar->codec_id != AV_CODEC_ID_RAWVIDEO || st->codecpar->format == AV_PIX_FMT_NONE)
        return true;
    const AVCodec* raw = avcodec_find_decoder(AV_CODEC_ID_RAWVIDEO);
    std::unique_ptr<AVCodecContext, CodecContextFree> context(raw ? avcodec_alloc_context3(raw) : nullptr);
    if (!context)
        return false;
    context->width = configuration->width;
    context->height = configuration->height;
    context->codec_tag = configuration->codecTag;
    context->bits_per_coded_sample = configuration->bitsPerSample;
    return avcodec_open2(context.get(), raw, nullptr) >= 0 && context->pix_fmt == st->codecpar->format;
}

// Whether libavcodec makes a picture or sound of the stream's first packets: a codec it names but
// cannot decode in this form (animated WebP) is left out with that reason, not opened as a track that
// shows or plays nothing.
bool firstPacketsDecode(const StreamPlan& plan, const AVStream* st)
{
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    std::unique_ptr<AVCodecContext, CodecContextFree> context(
        codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context || avcodec_parameters_to_context(context.get(), st->codecpar) < 0)
        return false;
    context->thread_count = 1;
    MVLimitLibavAllocations();
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return false;
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(
        av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    if (!frame)
        return false;
    for (size_t i = 0; i <= plan.pending.size(); ++i) {
        // The packets, then the end of them, which lets go of what the decoder holds back.
        if (avcodec_send_packet(context.get(), i < plan.pending.size() ? plan.pending[i].get() : nullptr) < 0)
            continue;
        if (avcodec_receive_frame(context.get(), frame.get()) >= 0)
            return true;
    }
    return false;
}

// Writes the plan's first packets into `muxer` and finishes it; false (with the reason) when it refuses.
bool describeWith(MVStreamMuxer& muxer, StreamPlan& plan, std::string* why)
{
    plan.lastDts = AV_NOPTS_VALUE;
    resetOrder(plan);
    bool written = true;
    for (size_t i = 0; written && i < plan.pending.size(); ++i)
        written = writeToMuxer(muxer, plan.pending[i].get(), plan, false, why);
    written = written && finishOrder(muxer, plan, why);
    plan.lastDts = AV_NOPTS_VALUE;
    resetOrder(plan);
    return written && muxer.finish(why);
}

// The one track of what `muxer` wrote; nothing when it cannot be read back.
std::optional<MVTrackDescription> describedTrack(const MVStreamMuxer& muxer)
{
    auto source = MVByteSource::fromMemory(muxer.bytes());
    auto file = MVReadMovieFile(*source, nullptr);
    uint32_t scale = 0;
    return file ? onlyTrack(*file, &scale) : std::nullopt;
}

// Lets the muxer describe the stream from its parameters and first packets. Tells whether the muxer
// stores the first packet as it is (else the samples must be rewritten). A codec no movie-file
// description names gets the program's own.
bool describe(StreamPlan& plan, const AVStream* st, bool* storedAsIs)
{
    std::string why;
    auto muxer = MVStreamMuxer::create(st, {}, &why);
    if (muxer && !describeWith(*muxer, plan, &why))
        muxer.reset();
    if (!muxer && st->codecpar->codec_id == AV_CODEC_ID_VP8) {
        // The muxer does not take VP8; its description is simple enough to write here.
        plan.description = vp8Description(st->codecpar);
        plan.isVideo = true;
        *storedAsIs = true;
        return true;
    }
    auto track = muxer ? describedTrack(*muxer) : std::nullopt;
    if (muxer && !track) {
        plan.problem = "the movie muxer gave no description for it";
        return false;
    }
    plan.ownDescription = !track
        || !decodesAsTheStream(track->media.information.sampleTable.sampleDescriptions[0],
            track->media.handler.componentSubtype == MVFourCC("vide"), st);
    if (plan.ownDescription) {
        const AVMediaType type = st->codecpar->codec_type;
        std::string own;
        const bool decodes
            = (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) && firstPacketsDecode(plan, st);
        if (!decodes) {
            plan.problem = std::string("its ") + avcodec_get_name(st->codecpar->codec_id) + " "
                + (type == AVMEDIA_TYPE_VIDEO ? "pictures" : "sound") + " cannot be decoded";
            return false;
        }
        muxer = MVStreamMuxer::create(st, {}, &own, MVStreamMuxer::Description::Own);
        if (muxer && !describeWith(*muxer, plan, &own))
            muxer.reset();
        track = muxer ? describedTrack(*muxer) : std::nullopt;
        if (!track) {
            // The muxer refused it even under the program's own code: its first reason says why.
            plan.problem = why.empty() ? own : why;
            return false;
        }
    }
    const auto& table = track->media.information.sampleTable;
    plan.isVideo = track->media.handler.componentSubtype == MVFourCC("vide");
    // Packets of a codec of the program's own description are its samples, whatever they hold.
    plan.isPCM = plan.isPCM && !plan.ownDescription;
    plan.description = plan.ownDescription ? ownDescription(st) : table.sampleDescriptions[0];
    if (!plan.isVideo)
        addWindowsSoundHeader(plan.description, st->codecpar);
    const AVPacket* first = plan.pending.front().get();
    // PCM samples are single frames; their chunk starts with the packet.
    uint32_t firstSize = plan.isPCM ? uint32_t(first->size)
        : table.sampleSizes.empty() ? table.constantSampleSize
                                    : table.sampleSizes[0];
    // Sound coded in blocks of a fixed size (ADPCM in WAV files) the muxer counts a sound frame at a time
    // (the old sound description's convention, which takes every packet for one block); the packets,
    // whole blocks, are the samples as they lie in the file.
    const AVCodecParameters* par = st->codecpar;
    const int bits = av_get_bits_per_sample(par->codec_id);
    const bool blocks = !plan.isVideo && bits > 0 && bits < 8 && par->block_align > 0
        && first->size % par->block_align == 0;
    *storedAsIs = !table.chunkOffsets.empty() && (firstSize == uint32_t(first->size) || blocks)
        && table.chunkOffsets[0] + uint64_t(first->size) <= muxer->bytes().size()
        && std::memcmp(muxer->bytes().data() + table.chunkOffsets[0], first->data, size_t(first->size)) == 0;
    // AAC with ADTS headers: the muxer stores each frame without its header, and the frame lies in the
    // file right after it.
    if (!*storedAsIs && st->codecpar->codec_id == AV_CODEC_ID_AAC && !table.chunkOffsets.empty()) {
        uint32_t header = adtsHeaderSize(first);
        *storedAsIs = header > 0 && firstSize + header == uint32_t(first->size)
            && table.chunkOffsets[0] + firstSize <= muxer->bytes().size()
            && std::memcmp(muxer->bytes().data() + table.chunkOffsets[0], first->data + header, firstSize)
                == 0;
        plan.adts = *storedAsIs;
    }
    return true;
}

// One pass over the packets; a stream found not to lie in the file after all asks for another pass
// with that stream rewritten.
struct Pass {
    std::map<int, StreamPlan> plans;
    std::map<int, std::unique_ptr<MVSubtitleStreamReader>> subtitles;
    std::vector<std::string> problems;
    std::vector<std::string> notes; // streams left out that hold no sound or picture to play
    int restartWithCache = -1;
    bool roomMade = false;
    std::string noRoom; // why the cache could not take rewritten samples
    bool firstPart = false; // a long file's first part is being read: rewritten streams get a head movie
    bool deferred = false; // the plans hold the first part only; a continuation reads the rest
};

// Names of unfinished cache files are unique within the process, too: two imports of one file may run
// at once (one reading the rest of a long file while another opens it).
std::string temporarySuffix()
{
    static std::atomic<unsigned> serial { 0 };
    return ".part" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
}

void openCache(
    StreamPlan& plan, const AVStream* st, const std::string& cacheBase, Pass& pass, uint64_t fileSize)
{
    // Room for the rewritten samples (no more than the source's size) is made once per pass.
    if (!pass.roomMade) {
        pass.roomMade = true;
        pass.noRoom.clear();
        if (!MVImportCache::makeRoom(fileSize, &pass.noRoom) && pass.noRoom.empty())
            pass.noRoom = "the cache has no room";
    }
    if (!pass.noRoom.empty()) {
        plan.problem = "its samples must be rewritten, but " + pass.noRoom;
        return;
    }
    auto dir = MVImportCache::directory();
    plan.cachePath = (dir / (cacheBase + "-" + std::to_string(plan.index) + ".mov")).string();
    plan.cacheTemporaryPath = plan.cachePath + temporarySuffix();
    std::string why;
    const auto kind
        = plan.ownDescription ? MVStreamMuxer::Description::Own : MVStreamMuxer::Description::Movie;
    plan.cache = MVStreamMuxer::create(st, plan.cacheTemporaryPath, &why, kind);
    if (!plan.cache) {
        plan.problem = "its samples could not be rewritten into " + plan.cachePath + ": " + why;
        return;
    }
    if (pass.firstPart) {
        // Unfinished, as far as cleaning can tell, until the movie using it lets it go.
        plan.headPath = plan.cacheTemporaryPath + ".first";
        plan.head = MVStreamMuxer::create(st, plan.headPath, nullptr, kind);
        if (!plan.head)
            plan.dropHead();
    }
}

// Takes a packet in Range or Cache mode; false asks for a pass with the stream rewritten.
bool take(StreamPlan& plan, AVPacket* pkt, const MVImportReader& src, uint64_t fileSize,
    std::vector<uint8_t>& buffer)
{
    if (plan.mode == Mode::Cache) {
        std::string why;
        if (plan.cache && !writeToMuxer(*plan.cache, pkt, plan, true, &why, true)) {
            plan.problem = why;
            plan.cache.reset();
        }
        plan.taken++;
        return true;
    }
    auto offset = locate(src, pkt, plan, fileSize, buffer);
    if (!offset)
        return false;
    uint32_t header = plan.adts ? adtsHeaderSize(pkt) : 0;
    if (plan.adts && header == 0)
        return false;
    uint32_t size = uint32_t(pkt->size) - header;
    // A file cut short ends inside its last packet: of sound in frames of its own (PCM) and of sound coded
    // in blocks of a fixed size (ADPCM) the whole frames and blocks are kept, any other packet cut off is
    // left out. A stream's last packet of blocks may hold fewer than the others: when libavformat gave it
    // a duration in proportion, it is whole.
    if (plan.isPCM) {
        size -= size % plan.pcmFrameBytes;
    } else if ((pkt->flags & AV_PKT_FLAG_CORRUPT) && *offset + uint64_t(pkt->size) >= fileSize) {
        const AVCodecParameters* par = plan.parameters;
        const int bits = par ? av_get_bits_per_sample(par->codec_id) : 0;
        const Packet* before = plan.packets.empty() ? nullptr : &plan.packets.back();
        if (!plan.isVideo && bits > 0 && bits < 8 && par->block_align > 0)
            size -= size % uint32_t(par->block_align);
        else if (plan.isVideo || !before || before->duration <= 0 || pkt->duration <= 0
            || pkt->duration * int64_t(before->size) != int64_t(size) * before->duration)
            size = 0;
    }
    plan.lastPos = pkt->pos;
    plan.searchFrom = *offset + uint64_t(pkt->size);
    plan.taken++;
    if (size == 0)
        return true;
    int64_t dts = pkt->dts, pts = pkt->pts;
    if (!plan.packets.empty())
        followOn(dts, pts, plan.isVideo, plan.packets.back().dts, plan.packets.back().duration);
    plan.packets.push_back(
        Packet { *offset + header, size, pts, dts, pkt->duration, (pkt->flags & AV_PKT_FLAG_KEY) != 0 });
    // A stream whose first picture has no presentation time has its pictures typed.
    if (plan.isVideo && (plan.parser || (plan.packets.size() == 1 && pkt->pts == AV_NOPTS_VALUE)))
        typePicture(plan, pkt, plan.packets.back());
    return true;
}

// Describes a stream from its first packets and settles how its samples are kept; false asks for a
// pass with the stream rewritten.
bool decide(StreamPlan& plan, const AVStream* st, bool forceCache, const std::string& cacheBase,
    const MVImportReader& src, uint64_t fileSize, std::vector<uint8_t>& buffer, Pass& pass)
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
        openCache(plan, st, cacheBase, pass, fileSize);
    auto pending = std::move(plan.pending);
    for (auto& p : pending)
        if (!plan.problem.empty() || !take(plan, p.get(), src, fileSize, buffer))
            return !plan.problem.empty();
    return true;
}

// The muxer finishes the movie of the plan's rewritten samples, which takes its name in the cache
// (replacing any older one of the same name), and its track is read back.
void storeCache(StreamPlan& plan)
{
    std::string why;
    bool finished = finishOrder(*plan.cache, plan, &why) && plan.cache->finish(&why);
    plan.cache.reset();
    std::error_code ec;
    if (finished) {
        // Held from before it has its name, so no cleaning can take it in between.
        plan.lease = MVImportCache::lease(plan.cacheTemporaryPath);
        std::filesystem::rename(plan.cacheTemporaryPath, plan.cachePath, ec);
    }
    if (!finished || ec) {
        plan.problem = "its rewritten samples could not be stored in " + plan.cachePath + ": "
            + (finished ? ec.message() : why);
        return;
    }
    plan.cacheTemporaryPath.clear();
    uint32_t scale = 0;
    auto file = MVReadMovieFile(plan.cachePath, nullptr);
    plan.cachedTrack = file ? onlyTrack(*file, &scale) : std::nullopt;
    if (!plan.cachedTrack || scale != kMovieScale)
        plan.problem = "the movie its samples were rewritten into cannot be read back";
}

// An attached picture (the cover art of a sound file) is the stream's one packet, which libavformat
// holds apart from the others: it is rewritten at once into a movie of its own in the cache, where a
// later open finds it. Its track is held for the whole movie when the movie's length is known
// (holdStillPictures).
void takeStill(StreamPlan& plan, const AVStream* st, const std::string& cacheBase, Pass& pass)
{
    if (plan.mode == Mode::Reused)
        return;
    if (st->attached_pic.size <= 0) {
        plan.problem = "the attached picture is empty";
        return;
    }
    openCache(plan, st, cacheBase, pass, uint64_t(st->attached_pic.size));
    if (!plan.problem.empty())
        return;
    PacketPtr picture(av_packet_clone(&st->attached_pic));
    std::string why = "out of memory";
    if (picture) {
        picture->pts = picture->dts = 0;
        picture->duration = 1;
    }
    if (!picture || !plan.cache->write(picture.get(), &why)) {
        plan.problem = "it could not be rewritten: " + why;
        plan.cache.reset();
        return;
    }
    storeCache(plan);
    if (plan.problem.empty())
        plan.mode = Mode::Reused;
}

// The duration of the longest track that is not an attached picture (in the movie's units).
uint64_t longestTrack(const std::vector<MVTrackDescription>& tracks, const std::vector<bool>& still)
{
    uint64_t longest = 0;
    for (size_t i = 0; i < tracks.size(); ++i)
        if (i >= still.size() || !still[i])
            longest = std::max(longest, tracks[i].header.duration);
    return longest;
}

// Attached pictures last as long as the movie: each one's track (flagged in `still`) shows its one
// picture from the start to `duration` (in the movie's units), as players show cover art while the sound
// plays.
void holdStillPictures(
    std::vector<MVTrackDescription>& tracks, const std::vector<bool>& still, uint64_t duration)
{
    for (size_t i = 0; i < tracks.size() && i < still.size(); ++i) {
        if (!still[i])
            continue;
        auto& track = tracks[i];
        auto& media = track.media;
        auto& table = media.information.sampleTable;
        if (table.sampleCount != 1)
            continue;
        // One sample and no reordering: the media may count in the movie's units.
        const uint32_t length = uint32_t(std::clamp<uint64_t>(duration, 1, UINT32_MAX));
        media.header.timeScale = kMovieScale;
        media.header.duration = length;
        table.timeToSample = { { 1, length } };
        table.hasCompositionOffsets = false;
        table.compositionOffsets.clear();
        track.editList = MVEditList {};
        track.editList->entries = { { length, 0, 0x10000 } };
        track.header.duration = length;
    }
}

// A plan for every stream that can become a track, a subtitle reader for every subtitle stream, and the
// reason for every other stream.
void preparePlans(Pass& pass, AVFormatContext* ctx, const std::string& cacheBase, int64_t movieStartMicros)
{
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        auto type = st->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_SUBTITLE) {
            std::string why;
            if (auto reader = MVSubtitleStreamReader::create(st, movieStartMicros, &why))
                pass.subtitles[int(i)] = std::move(reader);
            else
                pass.problems.push_back(streamName(st) + ": " + why);
            continue;
        }
        // Navigation packets, timed data and attached files (the fonts of a Matroska file) hold no
        // sound or picture: leaving them out costs the movie nothing.
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) {
            const char* kind = av_get_media_type_string(type);
            pass.notes.push_back(streamName(st) + ": " + (kind ? kind : "unknown")
                + " streams hold no sound or picture to play; it was left out");
            continue;
        }
        StreamPlan& plan = pass.plans.try_emplace(int(i)).first->second;
        plan.index = int(i);
        plan.isVideo = type == AVMEDIA_TYPE_VIDEO;
        plan.still = (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        plan.parameters = st->codecpar;
        plan.timeBase = st->time_base;
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
            auto path = MVImportCache::directory() / (cacheBase + "-" + std::to_string(i) + ".mov");
            std::error_code ec;
            auto lease
                = std::filesystem::is_regular_file(path, ec) ? MVImportCache::lease(path.string()) : nullptr;
            if (lease)
                if (auto file = MVReadMovieFile(path.string(), nullptr)) {
                    uint32_t scale = 0;
                    if (auto track = onlyTrack(*file, &scale); track && scale == kMovieScale) {
                        plan.cachedTrack = std::move(track);
                        plan.cachePath = path.string();
                        plan.mode = Mode::Reused;
                        plan.lease = std::move(lease);
                    }
                }
        }
        if (plan.still)
            takeStill(plan, st, cacheBase, pass);
    }
}

// Takes one packet into its stream's plan, or its subtitle reader.
void readPacket(Pass& pass, AVFormatContext* ctx, AVPacket* pkt, const std::set<int>& forceCache,
    const std::string& cacheBase, const MVImportReader& src, uint64_t fileSize, std::vector<uint8_t>& buffer)
{
    if (auto text = pass.subtitles.find(pkt->stream_index); text != pass.subtitles.end())
        text->second->take(pkt);
    auto it = pass.plans.find(pkt->stream_index);
    if (it == pass.plans.end() || !it->second.problem.empty())
        return;
    StreamPlan& plan = it->second;
    const AVStream* st = ctx->streams[it->first];
    if (plan.mode == Mode::Pending) {
        PacketPtr kept(av_packet_alloc());
        av_packet_move_ref(kept.get(), pkt);
        plan.pending.push_back(std::move(kept));
        if (plan.pending.size() >= kProbePackets
            && !decide(plan, st, forceCache.count(it->first) > 0, cacheBase, src, fileSize, buffer, pass))
            pass.restartWithCache = it->first;
    } else if (plan.mode != Mode::Reused && !take(plan, pkt, src, fileSize, buffer)) {
        pass.restartWithCache = it->first;
    }
}

// Reads packets until the end of the file or until a stream asks for another pass; or until `stop`
// says so, and then tells so.
bool readPackets(Pass& pass, AVFormatContext* ctx, const std::set<int>& forceCache,
    const std::string& cacheBase, const MVImportReader& src, uint64_t fileSize,
    const std::function<bool()>& stop)
{
    PacketPtr pkt(av_packet_alloc());
    std::vector<uint8_t> buffer;
    while (pass.restartWithCache < 0) {
        if (stop && stop())
            return true;
        if (av_read_frame(ctx, pkt.get()) < 0)
            break;
        readPacket(pass, ctx, pkt.get(), forceCache, cacheBase, src, fileSize, buffer);
        av_packet_unref(pkt.get());
    }
    return false;
}

// After the last packet: streams with fewer packets than it takes to describe them are described, and
// the rewritten streams' movies are finished and take their names in the cache.
void endPass(Pass& pass, AVFormatContext* ctx, const std::set<int>& forceCache, const std::string& cacheBase,
    const MVImportReader& src, uint64_t fileSize)
{
    std::vector<uint8_t> buffer;
    for (auto& [index, plan] : pass.plans) {
        if (pass.restartWithCache >= 0)
            break;
        if (plan.mode == Mode::Pending && plan.problem.empty()
            && !decide(plan, ctx->streams[index], forceCache.count(index) > 0, cacheBase, src, fileSize,
                buffer, pass))
            pass.restartWithCache = index;
    }
    if (pass.restartWithCache >= 0)
        return;
    for (auto& [index, plan] : pass.plans)
        plan.dropHead(); // none is left when the first part was given up

    // Rewritten streams: the muxer finishes its movie, which replaces any older one of the same name.
    for (auto& [index, plan] : pass.plans)
        if (plan.mode == Mode::Cache && plan.problem.empty() && plan.cache)
            storeCache(plan);
}

// A long file read packet by packet is opened from its first part: at least this many packets of every
// stream (enough to describe each and to play a while) ...
constexpr size_t kFirstPartPackets = 64;
// ... and at least the first megabyte of the file (an eighth of a smaller one) ...
constexpr uint64_t kFirstPartBytes = uint64_t(1) << 20;
// ... but no more than this: past it the whole file is read at once.
constexpr uint64_t kFirstPartLimit = uint64_t(32) << 20;

// The first part's movie of a rewritten stream: removed when the last movie that refers to it goes.
struct FirstPartFile {
    std::string path;
    explicit FirstPartFile(std::string p)
        : path(std::move(p))
    {
    }
    ~FirstPartFile() { ::unlink(path.c_str()); }
    FirstPartFile(const FirstPartFile&) = delete;
    FirstPartFile& operator=(const FirstPartFile&) = delete;
};

// Whether every stream has shown enough of itself for the first part.
bool firstPartIsEnough(const Pass& pass)
{
    bool any = false;
    for (const auto& [index, plan] : pass.plans) {
        if (!plan.problem.empty() || plan.mode == Mode::Reused)
            continue;
        // Pictures held until their order is known are not in the first part's movie yet.
        const size_t held = plan.ordered.size() + (plan.orderNext ? 1 : 0);
        if (plan.mode == Mode::Pending || plan.taken < kFirstPartPackets + held
            || (plan.mode == Mode::Cache && !plan.head))
            return false;
        any = true;
    }
    return any;
}

void dropFirstPart(Pass& pass)
{
    pass.firstPart = false;
    for (auto& [index, plan] : pass.plans)
        plan.dropHead();
}

// The rewritten streams' first part movies are finished and read back; false when one cannot be.
bool finishFirstPart(Pass& pass)
{
    for (auto& [index, plan] : pass.plans) {
        if (plan.mode != Mode::Cache || !plan.problem.empty())
            continue;
        bool finished = plan.head && plan.head->finish(nullptr);
        plan.head.reset();
        auto file = finished ? MVReadMovieFile(plan.headPath, nullptr) : std::nullopt;
        uint32_t scale = 0;
        plan.headTrack = file ? onlyTrack(*file, &scale) : std::nullopt;
        if (!plan.headTrack || scale != kMovieScale)
            return false;
        plan.headLease = std::make_shared<FirstPartFile>(plan.headPath);
    }
    return true;
}

// Reads the packets of every stream. With `deferring`, only a long file's first part when that is
// enough: the pass is then `deferred`, and readPackets and endPass do the rest.
void runPass(Pass& pass, AVFormatContext* ctx, const std::set<int>& forceCache, const std::string& cacheBase,
    const MVImportReader& src, uint64_t fileSize, int64_t movieStartMicros, bool deferring = false)
{
    preparePlans(pass, ctx, cacheBase, movieStartMicros);
    // Every stream rewritten by an earlier open and nothing else to read: the file need not be read again.
    const bool allReused = !pass.plans.empty() && pass.subtitles.empty()
        && std::all_of(pass.plans.begin(), pass.plans.end(),
            [](const auto& p) { return p.second.mode == Mode::Reused; });
    if (allReused)
        return;
    // Text streams are read whole with the rest of the file.
    pass.firstPart = deferring && pass.subtitles.empty();
    std::function<bool()> stop;
    if (pass.firstPart) {
        const int64_t least = int64_t(std::min(kFirstPartBytes, fileSize / 8));
        stop = [&pass, ctx, least] {
            if (!pass.firstPart)
                return false;
            int64_t at = avio_tell(ctx->pb);
            if (at >= int64_t(kFirstPartLimit)) {
                dropFirstPart(pass); // a stream that shows too little: all at once after all
                return false;
            }
            return at >= least && firstPartIsEnough(pass);
        };
    }
    bool stopped = readPackets(pass, ctx, forceCache, cacheBase, src, fileSize, stop);
    if (pass.restartWithCache >= 0)
        return;
    if (stopped) {
        if (finishFirstPart(pass)) {
            pass.deferred = true;
            return;
        }
        dropFirstPart(pass);
        readPackets(pass, ctx, forceCache, cacheBase, src, fileSize, nullptr);
        if (pass.restartWithCache >= 0)
            return;
    }
    pass.firstPart = false;
    endPass(pass, ctx, forceCache, cacheBase, src, fileSize);
}

enum class FastPass { NotTaken, Failed, Done };

// The movie starts with its earliest sound or picture: the time of each stream's first (in its time base,
// or AV_NOPTS_VALUE) in microseconds. Sound starts after its priming samples, which containers put before
// time 0.
int64_t movieStartMicros(const AVFormatContext* ctx, const std::function<int64_t(unsigned)>& startTime)
{
    int64_t movieStart = INT64_MAX;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        auto type = st->codecpar->codec_type;
        int64_t first = startTime(i);
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || first == AV_NOPTS_VALUE
            || (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        int64_t start = av_rescale_q(first, st->time_base, AVRational { 1, 1000000 });
        // A start beyond any real movie's (a broken file) is no start.
        if (start == AV_NOPTS_VALUE || start > kLatestStartMicros || start < -kLatestStartMicros)
            continue;
        if (type == AVMEDIA_TYPE_AUDIO && st->codecpar->initial_padding > 0 && st->codecpar->sample_rate > 0)
            start = std::min<int64_t>(std::max<int64_t>(start, 0),
                start + av_rescale(st->codecpar->initial_padding, 1000000, st->codecpar->sample_rate));
        movieStart = std::min(movieStart, start);
    }
    return movieStart == INT64_MAX ? 0 : movieStart;
}

// Whether the track headers alone describe every sound and picture stream for the movie muxer, so that
// probing the streams (which decodes their first frames) can be skipped: codecs whose whole
// configuration is the track's setup data, or that need none.
bool streamsDescribed(const AVFormatContext* ctx)
{
    static const std::set<AVCodecID> fromSetupData = { AV_CODEC_ID_H264, AV_CODEC_ID_HEVC, AV_CODEC_ID_AV1,
        AV_CODEC_ID_AAC, AV_CODEC_ID_VORBIS, AV_CODEC_ID_OPUS, AV_CODEC_ID_FLAC, AV_CODEC_ID_ALAC };
    static const std::set<AVCodecID> withoutSetupData
        = { AV_CODEC_ID_VP8, AV_CODEC_ID_MP3, AV_CODEC_ID_AC3, AV_CODEC_ID_EAC3 };
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVCodecParameters* par = ctx->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        // An attached picture (a Matroska file's cover) is described once its size is read from it.
        if (ctx->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            if (par->width <= 0 || par->height <= 0)
                return false;
            continue;
        }
        bool known = (fromSetupData.count(par->codec_id) && par->extradata_size > 0)
            || withoutSetupData.count(par->codec_id);
        if (!known || (par->codec_type == AVMEDIA_TYPE_VIDEO && (par->width <= 0 || par->height <= 0))
            || (par->codec_type == AVMEDIA_TYPE_AUDIO
                && (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0)))
            return false;
    }
    return true;
}

// How many samples a sound frame holds, as the codec's parser reads them from the frame (libavformat
// learns it the same way); 0 when the parser cannot tell.
int64_t parsedDuration(const MVImportReader& src, const Packet& frame, const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    if (par->sample_rate <= 0)
        return 0;
    AVCodecParserContext* parser = av_parser_init(par->codec_id);
    AVCodecContext* codec = parser ? avcodec_alloc_context3(nullptr) : nullptr;
    std::vector<uint8_t> bytes(size_t(frame.size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    int duration = 0;
    if (codec && avcodec_parameters_to_context(codec, par) >= 0
        && src.read(frame.offset, bytes.data(), frame.size)) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const uint8_t* in = bytes.data();
        int left = int(frame.size);
        // The whole frame, then a flush for parsers that wait for the next one.
        for (int round = 0; round < 8 && duration <= 0; ++round) {
            int used = av_parser_parse2(
                parser, codec, &out, &outSize, in, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0)
                break;
            in += used;
            left -= used;
            if (outSize > 0)
                duration = parser->duration;
            if (left == 0 && outSize == 0 && round > 0)
                break;
        }
    }
    avcodec_free_context(&codec);
    if (parser)
        av_parser_close(parser);
    return std::max(duration, 0);
}

// Frames of the block headers as the plan's packets.
void appendFrames(StreamPlan& plan, const std::vector<MVMatroskaFrame>& frames)
{
    plan.packets.reserve(plan.packets.size() + frames.size());
    for (const auto& f : frames) {
        // Sound in frames of its own (PCM) keeps the whole frames of a block.
        uint32_t size = plan.isPCM ? f.size - f.size % plan.pcmFrameBytes : f.size;
        if (size > 0)
            plan.packets.push_back(Packet { f.offset, size, f.time, AV_NOPTS_VALUE, f.duration, f.key });
    }
}

// A block does not say how long its frame lasts: what matters is the last frame of a sound, which may be
// shorter than the others.
void settleLastSoundFrame(const MVImportReader& src, StreamPlan& plan, const AVStream* st)
{
    if (plan.isVideo || plan.isPCM || plan.packets.empty() || st->codecpar->sample_rate <= 0
        || plan.packets.back().duration != 0)
        return;
    int64_t samples = parsedDuration(src, plan.packets.back(), st);
    // A codec without a parser, of the program's own description: its samples counted.
    if (samples == 0 && plan.ownDescription) {
        const Packet& last = plan.packets.back();
        std::vector<uint8_t> bytes(size_t(last.size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        if (src.read(last.offset, bytes.data(), last.size))
            samples = soundPacketSamples(
                st->codecpar, bytes.data(), int(last.size), plan.counter, &plan.counterFailed);
    }
    plan.packets.back().duration
        = av_rescale_q(samples, AVRational { 1, st->codecpar->sample_rate }, st->time_base);
}

// A long Matroska file is opened from its first clusters; the rest of its frames are read after
// (MVImportContinuation). The first clusters hold at least this many frames of every track (enough to
// describe each stream, to find where the movie starts and to play a while), unless the file has fewer ...
constexpr size_t kFirstFrames = 64;
// ... and no more than this much of the file is read for them: past it the whole file is read at once.
constexpr uint64_t kFirstClustersLimit = uint64_t(16) << 20;

// Where every frame of the file lies, or (with `deferred`) of its first clusters, leaving the scanner in
// `deferred` for the rest. Nothing when the file is not one the block headers describe.
std::optional<std::map<uint64_t, std::vector<MVMatroskaFrame>>> scanMatroska(const MVImportReader& src,
    const AVFormatContext* ctx, std::unique_ptr<MVMatroskaScanner>* deferred,
    std::vector<uint64_t>* trackNumbers)
{
    auto scanner = MVMatroskaScanner::open(src.source());
    if (!scanner)
        return std::nullopt;
    *trackNumbers = scanner->trackNumbers();
    std::map<uint64_t, std::vector<MVMatroskaFrame>> frames;
    // Only sound and pictures wait: text streams are read whole with the rest of the file.
    bool onlySoundAndPictures = deferred != nullptr;
    for (unsigned i = 0; i < ctx->nb_streams && onlySoundAndPictures; ++i) {
        auto type = ctx->streams[i]->codecpar->codec_type;
        onlySoundAndPictures
            = type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_ATTACHMENT;
    }
    if (onlySoundAndPictures) {
        const uint64_t limit = scanner->position() + kFirstClustersLimit;
        auto enough = [&] {
            return std::all_of(trackNumbers->begin(), trackNumbers->end(),
                [&](uint64_t t) { return frames.count(t) && frames[t].size() >= kFirstFrames; });
        };
        for (;;) {
            // One cluster at a time.
            auto step = scanner->readClusters(scanner->position() + 1, frames);
            if (step == MVMatroskaScanner::Step::Failed)
                return std::nullopt;
            if (step == MVMatroskaScanner::Step::Done)
                return frames;
            if (enough()) {
                *deferred = std::move(scanner);
                return frames;
            }
            if (scanner->position() >= limit)
                break;
        }
    }
    if (scanner->readClusters(UINT64_MAX, frames) != MVMatroskaScanner::Step::Done)
        return std::nullopt;
    return frames;
}

// Matroska and WebM: where each frame lies comes from the block headers (matroska_frames.h) instead of
// reading every packet through libavformat. Only the first packets of each stream are read, to
// describe the stream and to check that they are the frames the headers name. Failed (after packets
// were read) when the file needs the packet-by-packet way after all. With `deferred`, a long file's
// plans hold the frames of its first clusters only, and the scanner for the rest is left there.
FastPass runMatroskaPass(Pass& pass, AVFormatContext* ctx, const std::string& cacheBase,
    const MVImportReader& src, int64_t* outMovieStart, std::unique_ptr<MVMatroskaScanner>* deferred,
    std::vector<uint64_t>* outTrackNumbers)
{
    std::vector<uint64_t>& trackNumbers = *outTrackNumbers;
    auto scanned = scanMatroska(src, ctx, deferred, &trackNumbers);
    // libavformat makes a stream of each track entry, in their order, and one of each attachment after
    // them (an attached picture for a picture, the cover art).
    unsigned tracks = 0;
    while (tracks < ctx->nb_streams && ctx->streams[tracks]->codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT
        && !(ctx->streams[tracks]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        ++tracks;
    if (!scanned || trackNumbers.size() != tracks) {
        if (deferred)
            deferred->reset();
        return FastPass::NotTaken;
    }
    auto framesOf = [&](int index) -> const std::vector<MVMatroskaFrame>& {
        static const std::vector<MVMatroskaFrame> none;
        auto it = scanned->find(trackNumbers[size_t(index)]);
        return it == scanned->end() ? none : it->second;
    };
    const bool partial = deferred && *deferred;
    const int64_t movieStart = movieStartMicros(ctx, [&](unsigned i) {
        if (i >= tracks)
            return int64_t(AV_NOPTS_VALUE);
        const auto& list = framesOf(int(i));
        int64_t first = AV_NOPTS_VALUE;
        // Pictures in decode order: the earliest shown is among the first few.
        for (size_t k = 0; k < list.size() && k < 64; ++k)
            first = first == AV_NOPTS_VALUE ? list[k].time : std::min(first, list[k].time);
        return first;
    });
    *outMovieStart = movieStart;
    preparePlans(pass, ctx, cacheBase, movieStart);
    for (auto& [index, plan] : pass.plans)
        if (plan.mode != Mode::Pending && !plan.still)
            return FastPass::NotTaken;

    // The first packets of every stream (attached pictures are taken already).
    auto wanted = [&](int index) {
        return pass.plans.at(index).still ? size_t(0) : std::min(kProbePackets, framesOf(index).size());
    };
    auto missing = [&] {
        return std::any_of(pass.plans.begin(), pass.plans.end(),
            [&](const auto& p) { return p.second.pending.size() < wanted(p.first); });
    };
    PacketPtr pkt(av_packet_alloc());
    for (size_t read = 0; missing(); ++read) {
        if (read > 4096 || av_read_frame(ctx, pkt.get()) < 0)
            return FastPass::Failed;
        auto it = pass.plans.find(pkt->stream_index);
        if (it != pass.plans.end() && it->second.pending.size() < wanted(it->first)) {
            PacketPtr kept(av_packet_alloc());
            av_packet_move_ref(kept.get(), pkt.get());
            it->second.pending.push_back(std::move(kept));
        }
        av_packet_unref(pkt.get());
    }

    std::vector<uint8_t> bytes;
    for (auto& [index, plan] : pass.plans) {
        if (plan.still)
            continue;
        const auto& list = framesOf(index);
        // libavformat's packets must be the frames the headers name: same time, same bytes.
        for (size_t k = 0; k < plan.pending.size(); ++k) {
            const AVPacket* p = plan.pending[k].get();
            bytes.resize(size_t(std::max(p->size, 0)));
            if (p->pts != list[k].time || uint32_t(p->size) != list[k].size
                || !src.read(list[k].offset, bytes.data(), bytes.size())
                || std::memcmp(bytes.data(), p->data, bytes.size()) != 0)
                return FastPass::Failed;
        }
        if (plan.pending.empty()) {
            plan.problem = "it has no packets";
            continue;
        }
        bool storedAsIs = false;
        if (!describe(plan, ctx->streams[index], &storedAsIs)) {
            plan.pending.clear();
            continue;
        }
        if (!storedAsIs || plan.adts)
            return FastPass::Failed;
        plan.pending.clear();
        plan.mode = Mode::Range;
        appendFrames(plan, list);
        const AVStream* st = ctx->streams[index];
        if (!plan.isVideo && !plan.isPCM && !plan.packets.empty() && st->codecpar->sample_rate > 0)
            plan.frameSize = parsedDuration(src, plan.packets.front(), st);
        if (!partial)
            settleLastSoundFrame(src, plan, st);
    }
    for (auto& [index, reader] : pass.subtitles)
        for (const auto& f : framesOf(index)) {
            PacketPtr text(av_packet_alloc());
            if (av_new_packet(text.get(), int(std::min<uint32_t>(f.size, INT32_MAX))) < 0
                || !src.read(f.offset, text->data, size_t(text->size)))
                continue;
            text->pts = f.time;
            text->duration = f.duration;
            reader->take(text.get());
        }
    return FastPass::Done;
}

// The chapters libavformat read from the file's head, in time order, timed from the movie's start. A
// chapter without a title is named by its place.
std::vector<MVImportedChapter> chaptersOf(const AVFormatContext* ctx, int64_t movieStartMicros)
{
    std::vector<MVImportedChapter> chapters;
    for (unsigned i = 0; i < ctx->nb_chapters; ++i) {
        const AVChapter* c = ctx->chapters[i];
        if (c->start == AV_NOPTS_VALUE || c->time_base.num <= 0 || c->time_base.den <= 0)
            continue;
        const int64_t start = av_rescale_q(c->start, c->time_base, AVRational { 1, 1000000 });
        if (start < -kLatestStartMicros || start > kLatestStartMicros)
            continue;
        const AVDictionaryEntry* title = av_dict_get(c->metadata, "title", nullptr, 0);
        std::string name = title && *title->value ? title->value : "Chapter " + std::to_string(i + 1);
        chapters.push_back({ start - movieStartMicros, std::move(name) });
    }
    std::stable_sort(chapters.begin(), chapters.end(),
        [](const MVImportedChapter& a, const MVImportedChapter& b) { return a.start < b.start; });
    return chapters;
}

// The track of a stream rewritten into the movie at `cachePath`.
MVTrackDescription cachedTrack(const MVTrackDescription& cached, const std::string& cachePath,
    const AVStream* st, uint32_t trackID, const std::string& sourcePath)
{
    MVTrackDescription track = cached;
    // The movie muxer gives the track the coded size; a player shows the pixels' shape.
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        setPictureBox(track, st);
    if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
        for (auto& d : track.media.information.sampleTable.sampleDescriptions)
            addWindowsSoundHeader(d, st->codecpar);
    // A stream under the program's own code: the muxer wrote its plain fields only.
    for (auto& d : track.media.information.sampleTable.sampleDescriptions)
        if (MVIsCodecParametersDescription(d))
            d = ownDescription(st);
    track.header.trackID = trackID;
    track.references.clear();
    track.media.information.dataInformation.entries = { MVMakeFileDataReference(cachePath, sourcePath) };
    for (auto& d : track.media.information.sampleTable.sampleDescriptions)
        d.dataReferenceIndex = 1;
    return track;
}

// Pictures that begin less than a picture (at least 50 ms) after the movie's start begin with it: the
// first is shown from the start on, every picture after it at its own time. (Matroska, transport streams
// and Flash files put the sound's first packet, its encoder's priming, a little before the first picture;
// a movie that opened on nothing until then would look empty.) Every picture's presentation time moves
// on by the gap, and the edit that plays them starts that much earlier in the media.
void showFirstPictureFromStart(MVTrackDescription& track, const AVStream* st)
{
    if (!track.editList || track.editList->entries.size() < 2)
        return;
    auto& edits = track.editList->entries;
    auto& table = track.media.information.sampleTable;
    const int64_t scale = track.media.header.timeScale;
    if (edits[0].mediaTime != -1 || edits[1].mediaTime < 0 || edits[1].mediaRate != 0x10000 || scale <= 0
        || table.sampleCount == 0)
        return;
    int64_t pictureMicros = 50000;
    if (AVRational rate = st->avg_frame_rate; rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 1)
        pictureMicros = std::max(pictureMicros, av_rescale(1000000, rate.den, rate.num));
    const int64_t gap = int64_t(edits[0].segmentDuration);
    if (av_rescale(gap, 1000000, kMovieScale) >= pictureMicros)
        return;
    const int64_t lead = av_rescale_rnd(gap, scale, kMovieScale, AV_ROUND_UP);
    if (!table.hasCompositionOffsets || table.compositionOffsets.empty()) {
        table.hasCompositionOffsets = true;
        table.compositionOffsetVersion = 0;
        table.compositionOffsets = { { table.sampleCount, 0 } };
    }
    for (const auto& entry : table.compositionOffsets)
        if (int64_t(entry.offset) + lead > INT32_MAX)
            return;
    for (auto& entry : table.compositionOffsets)
        entry.offset += int32_t(lead);
    edits[1].segmentDuration += edits[0].segmentDuration;
    edits.erase(edits.begin());
}

// What the container says of the track beyond its samples: a picture turned by its display matrix (as
// phones record), and which of several sound streams plays (the one marked default, else the first);
// the others are alternatives to it, in the Language menu.
void placeTrack(MVTrackDescription& track, const AVStream* st, const AVFormatContext& ctx)
{
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        size_t size = 0;
        if (const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
            matrix && size >= 9 * sizeof(int32_t))
            std::memcpy(track.header.matrix.values.data(), matrix, 9 * sizeof(int32_t));
        showFirstPictureFromStart(track, st);
        return;
    }
    const AVStream* shown = nullptr;
    for (unsigned i = 0; i < ctx.nb_streams && !shown; ++i)
        if (ctx.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO
            && (ctx.streams[i]->disposition & AV_DISPOSITION_DEFAULT))
            shown = ctx.streams[i];
    for (unsigned i = 0; i < ctx.nb_streams && !shown; ++i)
        if (ctx.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            shown = ctx.streams[i];
    track.header.alternateGroup = 1;
    if (shown != st)
        track.header.flags &= ~MVTrackEnabledFlag;
}

// The track of a stream's plan (of its first part only, with `firstPart`); nothing (with the plan's
// problem set) when it has none.
std::optional<MVTrackDescription> trackOfStream(StreamPlan& plan, const AVStream* st,
    const AVFormatContext& ctx, uint32_t trackID, int64_t movieStart, const std::string& path,
    bool firstPart = false)
{
    if (plan.problem.empty() && plan.mode == Mode::Range && !timesInRange(plan.packets, st->time_base))
        plan.problem = "its times lie out of any range a movie can have";
    if (plan.problem.empty() && plan.mode == Mode::Range && plan.packets.empty())
        plan.problem = "it has no packets";
    if (plan.problem.empty() && plan.mode == Mode::Pending)
        plan.problem = "its packets are not byte ranges of the file";
    const bool fromHead = firstPart && plan.mode == Mode::Cache;
    if (plan.problem.empty() && plan.mode != Mode::Range && !(fromHead ? plan.headTrack : plan.cachedTrack))
        plan.problem = "its rewritten samples are not there";
    if (!plan.problem.empty())
        return std::nullopt;
    MVTrackDescription track = plan.mode == Mode::Range
        ? buildTrack(plan, st, trackID, kMovieScale, movieStart)
        : fromHead ? cachedTrack(*plan.headTrack, plan.headPath, st, trackID, path)
                   : cachedTrack(*plan.cachedTrack, plan.cachePath, st, trackID, path);
    placeTrack(track, st, ctx);
    return track;
}

// Whether the tracks a whole import made are those the first part made: the same IDs, of the same kinds.
bool sameTracks(const std::vector<MVTrackDescription>& tracks,
    const std::vector<std::pair<int, uint32_t>>& trackOfPlan, const std::vector<uint32_t>& handlers)
{
    bool same = tracks.size() == trackOfPlan.size() && handlers.size() == tracks.size();
    for (size_t i = 0; same && i < tracks.size(); ++i)
        same = tracks[i].header.trackID == trackOfPlan[i].second
            && tracks[i].media.handler.componentSubtype == handlers[i];
    return same;
}

// The rest of a long Matroska file: its scanner goes on from the first clusters, the frames join the
// plans, and the tracks are built again whole. Should the rest not be what the block headers describe
// after all, the file is imported again the packet-by-packet way.
class MatroskaContinuation : public MVImportContinuation {
public:
    MatroskaContinuation(std::unique_ptr<MVMatroskaScanner> scanner, std::vector<uint64_t> trackNumbers,
        std::unique_ptr<MVImportFormat> format, std::map<int, StreamPlan> plans,
        std::vector<std::pair<int, uint32_t>> trackOfPlan, int64_t movieStart,
        std::shared_ptr<const MVImportReader> reader)
        : _scanner(std::move(scanner))
        , _trackNumbers(std::move(trackNumbers))
        , _format(std::move(format))
        , _ctx(_format->context())
        , _plans(std::move(plans))
        , _trackOfPlan(std::move(trackOfPlan))
        , _movieStart(movieStart)
        , _path(reader->name())
        , _reader(std::move(reader))
    {
    }
    void cancel() override { _cancelled = true; }

    std::optional<Completion> finish(HXError* outError) override
    {
        if (beforeReadingTheRest)
            beforeReadingTheRest();
        if (auto done = finishFromBlockHeaders())
            return done;
        if (_cancelled) {
            if (outError)
                *outError = importError("The reading of " + _path + " was cancelled.");
            return std::nullopt;
        }
        // The rest is not as the first clusters were: the whole file, read the other way.
        MVImportOptions whole;
        auto again = MVImportMovie(_reader, outError, whole);
        if (!again)
            return std::nullopt;
        auto& tracks = again->file.movie.tracks;
        if (!sameTracks(tracks, _trackOfPlan, _handlers)) {
            if (outError)
                *outError = importError("The streams of " + _path + " changed while it was read.");
            return std::nullopt;
        }
        return Completion { std::move(tracks), std::move(again->cacheLeases), std::move(again->problems) };
    }

    void noteHandlers(const std::vector<MVTrackDescription>& tracks)
    {
        for (const auto& t : tracks)
            _handlers.push_back(t.media.handler.componentSubtype);
    }
    std::function<void()> beforeReadingTheRest; // MVImportOptions::beforeReadingTheRest

private:
    std::optional<Completion> finishFromBlockHeaders()
    {
        std::map<uint64_t, std::vector<MVMatroskaFrame>> frames;
        // A few megabytes at a time, so a cancel is heard soon.
        for (;;) {
            if (_cancelled)
                return std::nullopt;
            auto step = _scanner->readClusters(_scanner->position() + (uint64_t(8) << 20), frames);
            if (_reader->size() > 0)
                setProgress(double(_scanner->position()) / double(_reader->size()));
            if (step == MVMatroskaScanner::Step::Failed)
                return std::nullopt;
            if (step == MVMatroskaScanner::Step::Done)
                break;
        }
        for (auto& [index, plan] : _plans) {
            if (plan.still)
                continue;
            if (size_t(index) >= _trackNumbers.size())
                return std::nullopt;
            if (auto it = frames.find(_trackNumbers[size_t(index)]); it != frames.end())
                appendFrames(plan, it->second);
            settleLastSoundFrame(*_reader, plan, _ctx->streams[index]);
        }
        Completion done;
        std::vector<bool> still;
        for (auto [index, trackID] : _trackOfPlan) {
            auto track
                = trackOfStream(_plans.at(index), _ctx->streams[index], *_ctx, trackID, _movieStart, _path);
            if (!track)
                return std::nullopt;
            done.tracks.push_back(std::move(*track));
            still.push_back(_plans.at(index).still);
        }
        holdStillPictures(done.tracks, still, longestTrack(done.tracks, still));
        return done;
    }

    std::unique_ptr<MVMatroskaScanner> _scanner;
    std::vector<uint64_t> _trackNumbers;
    std::unique_ptr<MVImportFormat> _format;
    AVFormatContext* _ctx;
    std::map<int, StreamPlan> _plans;
    std::vector<std::pair<int, uint32_t>> _trackOfPlan;
    std::vector<uint32_t> _handlers;
    int64_t _movieStart;
    std::string _path;
    std::shared_ptr<const MVImportReader> _reader;
    std::atomic<bool> _cancelled { false };
};

// The rest of a long file read packet by packet (MPEG transport and program streams, Ogg): the pass
// goes on from where the first part ended, its rewritten streams' cache movies are finished and named
// only once whole, and the tracks are built again whole. Should a stream turn out not to lie in the file
// after all, the file is imported again whole.
class PacketContinuation : public MVImportContinuation {
public:
    PacketContinuation(std::unique_ptr<MVImportFormat> format, Pass pass, std::set<int> forceCache,
        std::string cacheBase, std::vector<std::pair<int, uint32_t>> trackOfPlan, int64_t movieStart,
        std::shared_ptr<const MVImportReader> reader)
        : _format(std::move(format))
        , _ctx(_format->context())
        , _pass(std::move(pass))
        , _forceCache(std::move(forceCache))
        , _cacheBase(std::move(cacheBase))
        , _trackOfPlan(std::move(trackOfPlan))
        , _movieStart(movieStart)
        , _path(reader->name())
        , _reader(std::move(reader))
    {
    }
    ~PacketContinuation() override
    {
        _pass = {}; // unfinished cache files go before the file they were read from is let go
    }
    void cancel() override { _cancelled = true; }

    void noteHandlers(const std::vector<MVTrackDescription>& tracks)
    {
        for (const auto& t : tracks)
            _handlers.push_back(t.media.handler.componentSubtype);
    }
    std::function<void()> beforeReadingTheRest; // MVImportOptions::beforeReadingTheRest

    std::optional<Completion> finish(HXError* outError) override
    {
        auto fail = [&](const std::string& text) -> std::optional<Completion> {
            _pass = {}; // nothing half written stays in the cache
            if (outError)
                *outError = importError(text);
            return std::nullopt;
        };
        if (beforeReadingTheRest)
            beforeReadingTheRest();
        readPackets(_pass, _ctx, _forceCache, _cacheBase, *_reader, _reader->size(), [this] {
            if (_reader->size() > 0 && _ctx->pb)
                setProgress(double(avio_tell(_ctx->pb)) / double(_reader->size()));
            return bool(_cancelled);
        });
        if (_cancelled)
            return fail("The reading of " + _path + " was cancelled.");
        // The file must still be the one the first part came from, or its samples would be named after
        // the wrong file.
        if (!_reader->inMemory()) {
            auto now = MVImportReader::openFile(_path, nullptr);
            if (!now || now->cacheKey() != _cacheBase)
                return fail("The file " + _path + " changed while it was read.");
        }
        if (_pass.restartWithCache < 0)
            endPass(_pass, _ctx, _forceCache, _cacheBase, *_reader, _reader->size());
        if (_pass.restartWithCache >= 0)
            return importWhole(outError);
        Completion done;
        std::vector<bool> still;
        for (auto [index, trackID] : _trackOfPlan) {
            StreamPlan& plan = _pass.plans.at(index);
            const AVStream* st = _ctx->streams[index];
            auto track = trackOfStream(plan, st, *_ctx, trackID, _movieStart, _path);
            if (!track)
                return fail("The rest of " + streamName(st) + " could not be read: " + plan.problem);
            if (plan.lease)
                done.cacheLeases.push_back(plan.lease);
            done.tracks.push_back(std::move(*track));
            still.push_back(plan.still);
        }
        holdStillPictures(done.tracks, still, longestTrack(done.tracks, still));
        return done;
    }

private:
    std::optional<Completion> importWhole(HXError* outError)
    {
        _pass = {}; // its unfinished cache files first: the whole import writes its own
        auto again = MVImportMovie(_reader, outError, MVImportOptions {});
        if (!again)
            return std::nullopt;
        if (!sameTracks(again->file.movie.tracks, _trackOfPlan, _handlers)) {
            if (outError)
                *outError = importError("The streams of " + _path + " changed while it was read.");
            return std::nullopt;
        }
        return Completion { std::move(again->file.movie.tracks), std::move(again->cacheLeases),
            std::move(again->problems) };
    }

    std::unique_ptr<MVImportFormat> _format;
    AVFormatContext* _ctx;
    Pass _pass;
    std::set<int> _forceCache;
    std::string _cacheBase;
    std::vector<std::pair<int, uint32_t>> _trackOfPlan;
    std::vector<uint32_t> _handlers;
    int64_t _movieStart;
    std::string _path;
    std::shared_ptr<const MVImportReader> _reader;
    std::atomic<bool> _cancelled { false };
};

// Containers read packet by packet whose long files are opened from their first part.
bool deferredPacketByPacket(const AVFormatContext* ctx)
{
    std::string_view name = ctx->iformat->name;
    return name == "mpegts" || name == "mpeg" || name == "ogg";
}

// MPEG transport and program streams cut every packet into pieces of 184 or about 2000 bytes with headers
// in between: no stream of theirs lies in the file as its samples, and finding that out packet by packet
// costs another pass over the file.
bool neverInPlace(const AVFormatContext* ctx)
{
    std::string_view name = ctx->iformat->name;
    return name == "mpegts" || name == "mpeg";
}

// The file's texts (title, artist, ...) as the movie's text annotations. Files that tag their sound
// stream rather than the file (Ogg) give that stream's.
void keepFileTexts(MVMovieDescription& movie, const AVFormatContext* ctx)
{
    static const std::pair<const char*, uint32_t> kCodes[] = {
        { "title", 0xA96E616D }, // ©nam
        { "artist", 0xA9415254 }, // ©ART
        { "album", 0xA9616C62 }, // ©alb
        { "comment", 0xA9636D74 }, // ©cmt
        { "genre", 0xA967656E }, // ©gen
        { "copyright", 0xA9637079 }, // ©cpy
        { "date", 0xA9646179 }, // ©day
        { "composer", 0xA9636F6D }, // ©com
        { "description", 0xA9646573 }, // ©des
        { "author", 0xA9617574 }, // ©aut
        { "performer", 0xA9707266 }, // ©prf
        { "director", 0xA9646972 }, // ©dir
        { "producer", 0xA9707264 }, // ©prd
        { "keywords", 0xA96B6579 }, // ©key
        { "encoded_by", 0xA9656E63 }, // ©enc
        { "encoder", 0xA9737772 }, // ©swr
    };
    std::vector<const AVDictionary*> sources = { ctx->metadata };
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            sources.push_back(ctx->streams[i]->metadata);
            break;
        }
    for (const auto& [key, code] : kCodes) {
        for (const AVDictionary* source : sources) {
            const AVDictionaryEntry* entry = av_dict_get(source, key, nullptr, 0);
            if (!entry || !entry->value || !*entry->value)
                continue;
            std::string text = entry->value;
            if (!HXString::isValidUTF8(text))
                break;
            if (!movie.userData)
                movie.userData = MVUserData {};
            MVUserDataSetText(*movie.userData, code, text, MVPackedLanguage("und").value_or(0));
            break;
        }
    }
}

} // namespace

std::optional<MVImportResult> MVImportMovieFile(
    const std::string& path, HXError* outError, MVImportOptions options)
{
    auto reader = MVImportReader::openFile(path, outError);
    if (!reader)
        return std::nullopt;
    return MVImportMovie(reader, outError, options);
}

std::optional<MVImportResult> MVImportMovie(
    const std::shared_ptr<const MVImportReader>& reader, HXError* outError, MVImportOptions options)
{
    auto fail = [&](HXError e) -> std::optional<MVImportResult> {
        if (outError)
            *outError = std::move(e);
        return std::nullopt;
    };
    MVLimitLibavAllocations();
    const MVImportReader& src = *reader;
    const std::string& path = src.name();
    const uint64_t fileSize = src.size();
    const std::string& cacheBase = src.cacheKey();

    std::set<int> forceCache;
    Pass pass;
    std::unique_ptr<MVImportFormat> fmt;
    int64_t movieStart = 0;
    bool fastTried = false;
    std::unique_ptr<MVMatroskaScanner> deferred;
    std::vector<uint64_t> deferredTrackNumbers;
    for (;;) {
        fmt.reset();
        fmt = MVImportFormat::open(reader);
        if (!fmt)
            return fail(importError("The file " + path + " could not be opened as a movie."));
        pass = {};
        bool probed = false;
        auto probe = [&] {
            probed = probed || avformat_find_stream_info(fmt->context(), nullptr) >= 0;
            return probed;
        };
        // Matroska and WebM: the frames from the block headers, and no probing of the streams when the
        // track headers describe them. Anything else, or a file this way does not take, is read packet
        // by packet.
        if (!fastTried) {
            fastTried = true;
            if (std::string_view(fmt->context()->iformat->name).starts_with("matroska")) {
                if (!streamsDescribed(fmt->context()) && !probe())
                    return fail(importError("The streams of " + path + " could not be read."));
                auto fast = runMatroskaPass(pass, fmt->context(), cacheBase, src, &movieStart,
                    options.deferLongFiles && fileSize >= options.deferFromFileSize ? &deferred : nullptr,
                    &deferredTrackNumbers);
                if (fast == FastPass::Done)
                    break;
                pass = {};
                deferred.reset();
                if (fast == FastPass::Failed)
                    continue; // packets were read: open the file again
            }
        }
        if (!probed && !probe())
            return fail(importError("The streams of " + path + " could not be read."));
        movieStart = movieStartMicros(
            fmt->context(), [&](unsigned i) { return fmt->context()->streams[i]->start_time; });
        if (neverInPlace(fmt->context()))
            for (unsigned i = 0; i < fmt->context()->nb_streams; ++i)
                forceCache.insert(int(i));
        const bool deferring = options.deferLongFiles && fileSize >= options.deferFromFileSize
            && !src.inMemory() && deferredPacketByPacket(fmt->context());
        runPass(pass, fmt->context(), forceCache, cacheBase, src, fileSize, movieStart, deferring);
        if (pass.restartWithCache < 0 || forceCache.count(pass.restartWithCache))
            break;
        forceCache.insert(pass.restartWithCache);
    }

    MVImportResult result;
    result.problems = std::move(pass.problems);
    result.notes = std::move(pass.notes);
    auto& movie = result.file.movie;
    movie.header.timeScale = kMovieScale;
    uint32_t nextID = 1;
    std::vector<std::pair<int, uint32_t>> trackOfPlan; // plan index, track ID
    std::vector<bool> still; // of each track: an attached picture
    for (auto& [index, plan] : pass.plans) {
        const AVStream* st = fmt->context()->streams[index];
        const bool partial = deferred || pass.deferred;
        std::vector<Packet> firstPackets;
        if (partial)
            firstPackets = plan.packets; // as read: building the track settles their times
        auto track = trackOfStream(plan, st, *fmt->context(), nextID, movieStart, path, pass.deferred);
        if (!track) {
            // Cover art that cannot be shown leaves the sound as it is.
            (plan.still ? result.notes : result.problems).push_back(streamName(st) + ": " + plan.problem);
            continue;
        }
        still.push_back(plan.still);
        trackOfPlan.emplace_back(index, nextID++);
        if (plan.lease)
            result.cacheLeases.push_back(plan.lease);
        if (plan.headLease)
            result.cacheLeases.push_back(plan.headLease);
        movie.tracks.push_back(std::move(*track));
        if (!plan.still)
            movie.header.duration = std::max(movie.header.duration, movie.tracks.back().header.duration);
        if (partial)
            plan.packets = std::move(firstPackets);
    }
    movie.header.nextTrackID = nextID;
    // The sound stream chosen to play may be one that was left out: then the first of the others plays.
    auto isSound
        = [](const MVTrackDescription& t) { return t.media.handler.componentSubtype == MVFourCC("soun"); };
    if (std::none_of(movie.tracks.begin(), movie.tracks.end(),
            [&](const MVTrackDescription& t) { return isSound(t) && (t.header.flags & MVTrackEnabledFlag); }))
        for (auto& t : movie.tracks)
            if (isSound(t)) {
                t.header.flags |= MVTrackEnabledFlag;
                break;
            }
    for (auto& [index, reader] : pass.subtitles) {
        auto subtitles = reader->result();
        if (subtitles.cues.empty()) {
            result.problems.push_back(streamName(fmt->context()->streams[index]) + ": it holds no text");
            continue;
        }
        if (reader->skippedPackets() > 0)
            result.problems.push_back(streamName(fmt->context()->streams[index]) + ": "
                + std::to_string(reader->skippedPackets()) + " of its events could not be read");
        // A file of subtitles alone lasts until its last one ends.
        for (const auto& cue : subtitles.cues)
            movie.header.duration = std::max<uint64_t>(
                movie.header.duration, uint64_t(av_rescale(cue.end, kMovieScale, 1000000)));
        result.subtitles.push_back(std::move(subtitles));
    }
    result.chapters = chaptersOf(fmt->context(), movieStart);
    // A picture alone is no movie.
    if (std::all_of(still.begin(), still.end(), [](bool s) { return s; }) && result.subtitles.empty())
        movie.tracks.clear();
    holdStillPictures(movie.tracks, still, movie.header.duration);
    keepFileTexts(movie, fmt->context());
    if (movie.tracks.empty() && result.subtitles.empty()) {
        std::string text = "Nothing in " + path + " can be played.";
        for (const auto& p : result.problems)
            text += "\n" + p;
        for (const auto& n : result.notes)
            text += "\n" + n;
        return fail(importError(text));
    }
    result.file.fileSize = fileSize;
    if (deferred && !movie.tracks.empty()) {
        result.statedDuration = deferred->statedDuration();
        auto continuation
            = std::make_shared<MatroskaContinuation>(std::move(deferred), std::move(deferredTrackNumbers),
                std::move(fmt), std::move(pass.plans), std::move(trackOfPlan), movieStart, reader);
        continuation->noteHandlers(movie.tracks);
        continuation->beforeReadingTheRest = options.beforeReadingTheRest;
        result.continuation = std::move(continuation);
    } else if (pass.deferred && !movie.tracks.empty()) {
        // As long as libavformat reckons from the timestamps at the file's start and end.
        const AVFormatContext* ctx = fmt->context();
        if (ctx->duration > 0 && ctx->duration != AV_NOPTS_VALUE)
            result.statedDuration = double(ctx->duration) / AV_TIME_BASE;
        auto continuation = std::make_shared<PacketContinuation>(std::move(fmt), std::move(pass),
            std::move(forceCache), cacheBase, std::move(trackOfPlan), movieStart, reader);
        continuation->noteHandlers(movie.tracks);
        continuation->beforeReadingTheRest = options.beforeReadingTheRest;
        result.continuation = std::move(continuation);
    }
    return result;
}

MVImportOptions& MVMovieImportOptions()
{
    static MVImportOptions options = [] {
        MVImportOptions o;
        o.deferLongFiles = true;
        return o;
    }();
    return options;
}

bool MVImportCanReadFile(const std::string& path)
{
    auto reader = MVImportReader::openFile(path, nullptr);
    return reader && MVImportCanRead(*reader);
}

bool MVImportCanRead(const MVImportReader& reader)
{
    size_t n = size_t(std::min<uint64_t>(reader.size(), 4096));
    std::vector<uint8_t> head(n + AVPROBE_PADDING_SIZE, 0);
    if (n == 0 || !reader.read(0, head.data(), n))
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
