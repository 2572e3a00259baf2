#include "platform/mvkit/movie_image_sequence.h"
#include "platform/mvkit/libav_limits.h"

#include "platform/mvkit/atoms/sample_description.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <optional>
#include <utility>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct ImageInfo {
    uint32_t format = 0; // the code a movie file names the image's codec by
    int width = 0;
    int height = 0;
    std::string demuxer; // the libavformat reader that recognised the file
    std::string codecName;
};

// The code movie files give a codec: libavformat's table of movie codes, else its Windows codes (which
// movie readers fall back on). 0 for a codec neither names.
uint32_t movieCodeForCodec(AVCodecID codec)
{
    const AVCodecTag* const mov[] = { avformat_get_mov_video_tags(), nullptr };
    const AVCodecTag* const riff[] = { avformat_get_riff_video_tags(), nullptr };
    unsigned tag = av_codec_get_tag(mov, codec);
    if (!tag)
        tag = av_codec_get_tag(riff, codec);
    // The tables hold codes in file byte order, least significant byte first.
    return (tag & 0xFF) << 24 | ((tag >> 8) & 0xFF) << 16 | ((tag >> 16) & 0xFF) << 8 | (tag >> 24);
}

// The libavformat reader that recognises the file by its first bytes (and its name).
std::string demuxerByContent(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> head(4096 + AVPROBE_PADDING_SIZE, 0);
    in.read(reinterpret_cast<char*>(head.data()), 4096);
    AVProbeData probe {};
    probe.filename = path.c_str();
    probe.buf = head.data();
    probe.buf_size = int(in.gcount());
    const AVInputFormat* format = av_probe_input_format(&probe, 1);
    return format ? format->name : std::string();
}

bool isStillImageReader(const std::string& name)
{
    return name == "image2" || name == "gif" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
}

// A still image libavcodec decodes and movie files can hold as a frame: its codec, code and size, read by
// libavformat (which decodes it once to learn the size). Nothing for anything else.
std::optional<ImageInfo> stillImageInfo(const std::string& path)
{
    MVLimitLibavAllocations();
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    struct Close {
        AVFormatContext*& context;
        ~Close() { avformat_close_input(&context); }
    } close { context };
    if (!isStillImageReader(context->iformat->name) || avformat_find_stream_info(context, nullptr) < 0
        || context->nb_streams != 1)
        return std::nullopt;
    const AVCodecParameters* parameters = context->streams[0]->codecpar;
    if (parameters->codec_type != AVMEDIA_TYPE_VIDEO || parameters->width <= 0 || parameters->height <= 0
        || parameters->width > 0xFFFF || parameters->height > 0xFFFF || !avcodec_find_decoder(parameters->codec_id))
        return std::nullopt;
    ImageInfo info;
    info.format = movieCodeForCodec(parameters->codec_id);
    if (info.format == 0)
        return std::nullopt;
    info.width = parameters->width;
    info.height = parameters->height;
    info.demuxer = context->iformat->name;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters->codec_id);
    info.codecName = descriptor && descriptor->long_name ? descriptor->long_name : avcodec_get_name(parameters->codec_id);
    return info;
}

// The picture size from a PNG's header chunk or a JPEG's start-of-frame segment, read without decoding;
// nothing for other files.
std::optional<std::pair<int, int>> headerSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> head(64 * 1024);
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    auto be16 = [&head](size_t at) { return uint16_t((head[at] << 8) | head[at + 1]); };
    static const uint8_t png[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    if (head.size() >= 24 && std::equal(png, png + 8, head.begin()) && head[12] == 'I' && head[13] == 'H')
        return std::make_pair((int(be16(16)) << 16) | be16(18), (int(be16(20)) << 16) | be16(22));
    if (head.size() >= 4 && head[0] == 0xFF && head[1] == 0xD8) {
        size_t pos = 2;
        while (pos + 9 < head.size() && head[pos] == 0xFF) {
            uint8_t marker = head[pos + 1];
            uint16_t length = be16(pos + 2);
            if (marker >= 0xC0 && marker <= 0xC2)
                return std::make_pair(int(be16(pos + 7)), int(be16(pos + 5)));
            if (length < 2)
                break;
            pos += 2 + length;
        }
    }
    return std::nullopt;
}

} // namespace

const std::vector<std::string>& MVImageSequenceFileTypes()
{
    // The still-image formats libavcodec decodes that movie files have a code for.
    static const std::vector<std::string> types { "png", "jpg", "jpeg", "jpe", "jfif", "tif", "tiff", "tga", "gif",
        "sgi", "rgb", "rgba", "bw", "dpx", "exr", "jp2", "j2k", "j2c", "jls" };
    return types;
}

std::vector<std::string> MVImageSequenceFiles(const std::string& firstPath)
{
    fs::path first(firstPath);
    std::string stem = first.stem().string();
    size_t digits = stem.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(stem[digits - 1])))
        --digits;
    if (digits == stem.size() || stem.size() - digits > 9)
        return { firstPath };
    std::string prefix = stem.substr(0, digits);
    std::string number = stem.substr(digits);
    size_t width = number.size();
    long value = std::stol(number);
    std::vector<std::string> files;
    for (long n = value;; ++n) {
        std::string text = std::to_string(n);
        // Zero-padded names keep their width; unpadded ones just count.
        if (number.front() == '0' && text.size() < width)
            text.insert(0, width - text.size(), '0');
        fs::path candidate = first.parent_path() / (prefix + text + first.extension().string());
        std::error_code ec;
        if (!fs::is_regular_file(candidate, ec))
            break;
        files.push_back(candidate.string());
    }
    if (files.empty())
        files.push_back(firstPath);
    return files;
}

std::shared_ptr<MVMovie> MVMovieWithImageSequence(
    const std::string& firstPath, int64_t frameDuration, int32_t timeScale, HXError* outError)
{
    std::error_code ec;
    if (!fs::is_regular_file(firstPath, ec)) {
        if (outError)
            *outError = HXError::posix(ENOENT, firstPath);
        return nullptr;
    }
    auto info = stillImageInfo(firstPath);
    if (!info || frameDuration <= 0 || timeScale <= 0) {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, info ? -50 : -2102,
                info ? "The frame duration or time scale is not valid."
                     : "The file is not a still image that can be shown in a movie.");
        return nullptr;
    }
    auto firstSize = headerSize(firstPath);
    auto movie = MVMovie::movie();
    movie->setTimeScale(timeScale);
    auto track = movie->newTrack(MVFourCC("vide"), timeScale, info->width, info->height);
    MVVideoSampleDescription video;
    video.width = uint16_t(info->width);
    video.height = uint16_t(info->height);
    video.compressorName = info->format == MVFourCC("jpeg") ? "Photo - JPEG" : info->codecName.substr(0, 31);
    MVSampleDescription description;
    description.format = info->format;
    description.data = MVSerializeVideoSampleDescription(video);
    MVBytes descriptionBytes = MVSampleDescriptionBytes(description);
    auto media = track->media();
    media->beginEdits();
    bool first = true;
    for (auto& file : MVImageSequenceFiles(firstPath)) {
        auto size = fs::file_size(file, ec);
        // The sequence ends at an image of another kind or (where the header tells it cheaply) size.
        bool sameKind = first || demuxerByContent(file) == info->demuxer;
        if (sameKind && !first && firstSize)
            sameKind = headerSize(file) == firstSize;
        if (ec || size == 0 || size > UINT32_MAX || !sameKind)
            break;
        first = false;
        media->addSampleReference(0, uint32_t(size), frameDuration, descriptionBytes, 1, 0,
            MVDataReference::dataReferenceWithReferenceToFile(file), outError);
    }
    media->endEdits();
    track->insertMedia(0, 0, media->duration());
    movie->setChanged(false);
    return movie;
}
