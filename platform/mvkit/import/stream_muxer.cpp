#include "platform/mvkit/import/stream_muxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The code the movie's description gets: the muxer picks the movie's code for the codec (0), except for
// pictures of a codec movie files have no code of their own for, stored under the Windows code they came
// with (AVI's). That code may name the variant the samples are in (UT Video's 'ULY0', 'ULY2', 'ULRG'
// ... for its pixel formats), which the decoder takes from it; the muxer's pick would be the first of
// them.
unsigned keptCodeOf(const AVCodecParameters* par)
{
    if (par->codec_type != AVMEDIA_TYPE_VIDEO || par->codec_tag == 0)
        return 0;
    const AVCodecTag* const movie[] = { avformat_get_mov_video_tags(), nullptr };
    unsigned ownCode = 0;
    if (av_codec_get_tag2(movie, par->codec_id, &ownCode))
        return 0;
    const AVCodecTag* const windows[] = { avformat_get_riff_video_tags(), nullptr };
    return av_codec_get_id(windows, par->codec_tag) == par->codec_id ? par->codec_tag : 0;
}

} // namespace

std::unique_ptr<MVStreamMuxer> MVStreamMuxer::create(
    const AVStream* source, const std::string& path, std::string* why, Description description)
{
    std::string reason;
    if (description == Description::Own) {
        auto muxer = std::unique_ptr<MVStreamMuxer>(new MVStreamMuxer());
        if (muxer->open(source, "mov", path, &reason, description))
            return muxer;
        if (why)
            *why = reason;
        return nullptr;
    }
    for (const char* format : { "mov", "mp4" }) {
        auto muxer = std::unique_ptr<MVStreamMuxer>(new MVStreamMuxer());
        if (muxer->open(source, format, path, &reason, description))
            return muxer;
    }
    if (why)
        *why = reason;
    return nullptr;
}

MVStreamMuxer::~MVStreamMuxer()
{
    close();
}

void MVStreamMuxer::close()
{
    if (!_context)
        return;
    if (_context->pb) {
        if (_toMemory) {
            av_freep(&_context->pb->buffer);
            avio_context_free(&_context->pb);
        } else {
            avio_closep(&_context->pb);
        }
    }
    avformat_free_context(_context);
    _context = nullptr;
}

bool MVStreamMuxer::open(const AVStream* source, const char* format, const std::string& path,
    std::string* why, Description description)
{
    close();
    _memory.clear();
    _position = 0;
    _toMemory = path.empty();
    if (avformat_alloc_output_context2(&_context, nullptr, format, nullptr) < 0 || !_context) {
        *why = std::string("no ") + format + " muxer";
        return false;
    }
    // Codecs the MPEG-4 flavour marks experimental (FLAC, Vorbis, ...) are still described the way
    // readers of such files expect.
    _context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    AVStream* out = avformat_new_stream(_context, nullptr);
    if (!out || avcodec_parameters_copy(out->codecpar, source->codecpar) < 0) {
        *why = "out of memory";
        return false;
    }
    // The muxer picks the movie's code for the codec (keeping a Windows code that names the pixel
    // layout); under the program's own code (which no table of the muxer has) it stores the packets as
    // they come.
    out->codecpar->codec_tag
        = description == Description::Own ? MKTAG('M', 'V', 'a', 'v') : keptCodeOf(source->codecpar); // 'MVav'
    // The container's pixel shape (Matroska's display size, say) is the one to show; the codec's, read
    // from the first pictures, only where the container states none.
    if (source->sample_aspect_ratio.num > 0 && source->sample_aspect_ratio.den > 0)
        out->codecpar->sample_aspect_ratio = source->sample_aspect_ratio;
    out->sample_aspect_ratio = out->codecpar->sample_aspect_ratio;
    // Sound coded in blocks of a fixed number of samples (ADPCM in WAV files) is stored a block to a
    // sample; the muxer needs that number, which only a decoder would otherwise have set.
    if (out->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && out->codecpar->frame_size <= 1
        && out->codecpar->block_align > 0 && av_get_bits_per_sample(out->codecpar->codec_id) > 0
        && av_get_bits_per_sample(out->codecpar->codec_id) < 8)
        if (int samples = av_get_audio_frame_duration2(out->codecpar, out->codecpar->block_align);
            samples > 1)
            out->codecpar->frame_size = samples;
    out->time_base = source->time_base;
    out->disposition = source->disposition & ~AV_DISPOSITION_ATTACHED_PIC;
    if (const AVDictionaryEntry* language = av_dict_get(source->metadata, "language", nullptr, 0))
        av_dict_set(&out->metadata, "language", language->value, 0);
    _sourceTimeBaseNum = source->time_base.num;
    _sourceTimeBaseDen = source->time_base.den;
    if (_toMemory) {
        const int size = 1 << 16;
        auto* buffer = static_cast<unsigned char*>(av_malloc(size));
        _context->pb
            = buffer ? avio_alloc_context(buffer, size, 1, this, nullptr, writeMemory, seekMemory) : nullptr;
        if (!_context->pb) {
            av_free(buffer);
            *why = "out of memory";
            return false;
        }
        _context->pb->seekable = AVIO_SEEKABLE_NORMAL;
    } else if (int status = avio_open(&_context->pb, path.c_str(), AVIO_FLAG_WRITE); status < 0) {
        *why = path + ": " + errorText(status);
        return false;
    }
    AVDictionary* options = nullptr;
    // The edit list carries the stream's start; no fragments.
    av_dict_set(&options, "use_editlist", "1", 0);
    int status = avformat_write_header(_context, &options);
    av_dict_free(&options);
    if (status < 0) {
        *why = std::string(avcodec_get_name(source->codecpar->codec_id)) + " cannot be stored in a movie ("
            + errorText(status) + ")";
        return false;
    }
    return true;
}

bool MVStreamMuxer::write(AVPacket* packet, std::string* why)
{
    packet->stream_index = 0;
    av_packet_rescale_ts(
        packet, AVRational { _sourceTimeBaseNum, _sourceTimeBaseDen }, _context->streams[0]->time_base);
    // Decode times one tick apart in the source may fall on one tick of the movie's coarser time base
    // (sound counts its samples; a transport stream counts at 90 kHz): the later goes a tick on.
    if (packet->dts != AV_NOPTS_VALUE) {
        if (_lastDts != AV_NOPTS_VALUE && packet->dts <= _lastDts)
            packet->dts = _lastDts + 1;
        if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts)
            packet->pts = packet->dts;
        _lastDts = packet->dts;
    }
    // The MPEG-4 flavour gives each Opus packet the number of packets before it that cover the 80 ms a
    // decoder runs ahead; when more than 32 would be needed it fails its trailer (and loses the table it
    // was making). Packets that close together are refused here, to the same end.
    const AVStream* stream = _context->streams[0];
    if (stream->codecpar->codec_id == AV_CODEC_ID_OPUS && packet->dts != AV_NOPTS_VALUE) {
        if (_recentOpusDts.empty())
            _firstOpusDts = packet->dts;
        constexpr AVRational milliseconds { 1, 1000 };
        if (_recentOpusDts.size() == 32
            && av_compare_ts(packet->dts - _recentOpusDts.front(), stream->time_base, 80, milliseconds) < 0
            && av_compare_ts(packet->dts - _firstOpusDts, stream->time_base, 80, milliseconds) >= 0) {
            if (why)
                *why = "its packets follow each other more closely than a movie can hold";
            return false;
        }
        _recentOpusDts.push_back(packet->dts);
        if (_recentOpusDts.size() > 32)
            _recentOpusDts.pop_front();
    }
    // The muxer keeps a reference when it has to hold the packet back; av_write_frame does not take
    // ownership, so the caller's reference stays the caller's.
    int status = av_write_frame(_context, packet);
    if (status < 0) {
        if (why)
            *why = "the muxer refused a packet (" + errorText(status) + ")";
        return false;
    }
    return true;
}

bool MVStreamMuxer::finish(std::string* why)
{
    if (_finished)
        return true;
    _finished = true;
    int status = av_write_trailer(_context);
    if (_context->pb)
        avio_flush(_context->pb);
    if (status < 0 || (_context->pb && _context->pb->error < 0)) {
        if (why)
            *why = "the movie header could not be written ("
                + errorText(status < 0 ? status : _context->pb->error) + ")";
        return false;
    }
    if (!_toMemory) {
        status = avio_closep(&_context->pb);
        if (status < 0) {
            if (why)
                *why = errorText(status);
            return false;
        }
    }
    return true;
}

int MVStreamMuxer::writeMemory(void* opaque, uint8_t* data, int size)
{
    auto* self = static_cast<MVStreamMuxer*>(opaque);
    if (size <= 0)
        return 0;
    size_t end = self->_position + size_t(size);
    if (end > self->_memory.size())
        self->_memory.resize(end);
    std::memcpy(self->_memory.data() + self->_position, data, size_t(size));
    self->_position = end;
    return size;
}

int64_t MVStreamMuxer::seekMemory(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<MVStreamMuxer*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return int64_t(self->_memory.size());
    int64_t base = whence == SEEK_CUR ? int64_t(self->_position)
        : whence == SEEK_END          ? int64_t(self->_memory.size())
                                      : 0;
    int64_t target = base + offset;
    if (target < 0)
        return AVERROR(EINVAL);
    self->_position = size_t(target);
    return target;
}
