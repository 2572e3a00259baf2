#include "platform/mvkit/movie_image_sequence.h"

#include "platform/mvkit/atoms/sample_description.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct ImageInfo {
    uint32_t format = 0;
    uint16_t width = 0;
    uint16_t height = 0;
};

// The picture size from a PNG's header chunk or a JPEG's start-of-frame segment.
std::optional<ImageInfo> imageInfo(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> head(64 * 1024);
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    auto be16 = [&head](size_t at) { return uint16_t((head[at] << 8) | head[at + 1]); };
    static const uint8_t png[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    if (head.size() >= 24 && std::equal(png, png + 8, head.begin()) && head[12] == 'I' && head[13] == 'H') {
        uint32_t w = (uint32_t(be16(16)) << 16) | be16(18);
        uint32_t h = (uint32_t(be16(20)) << 16) | be16(22);
        if (w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF)
            return std::nullopt;
        return ImageInfo { MVFourCC("png "), uint16_t(w), uint16_t(h) };
    }
    if (head.size() >= 4 && head[0] == 0xFF && head[1] == 0xD8) {
        size_t pos = 2;
        while (pos + 9 < head.size() && head[pos] == 0xFF) {
            uint8_t marker = head[pos + 1];
            uint16_t length = be16(pos + 2);
            if (marker >= 0xC0 && marker <= 0xC2)
                return ImageInfo { MVFourCC("jpeg"), be16(pos + 7), be16(pos + 5) };
            if (length < 2)
                break;
            pos += 2 + length;
        }
    }
    return std::nullopt;
}

} // namespace

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
    auto info = imageInfo(firstPath);
    if (!info || frameDuration <= 0 || timeScale <= 0) {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, info ? -50 : -2102,
                info ? "The frame duration or time scale is not valid."
                     : "The file is not a PNG or JPEG image.");
        return nullptr;
    }
    auto movie = MVMovie::movie();
    movie->setTimeScale(timeScale);
    auto track = movie->newTrack(MVFourCC("vide"), timeScale, info->width, info->height);
    MVVideoSampleDescription video;
    video.width = info->width;
    video.height = info->height;
    video.compressorName = info->format == MVFourCC("png ") ? "PNG" : "Photo - JPEG";
    MVSampleDescription description;
    description.format = info->format;
    description.data = MVSerializeVideoSampleDescription(video);
    MVBytes descriptionBytes = MVSampleDescriptionBytes(description);
    auto media = track->media();
    media->beginEdits();
    for (auto& file : MVImageSequenceFiles(firstPath)) {
        auto size = fs::file_size(file, ec);
        auto frame = imageInfo(file);
        // The sequence ends at an image of another kind or size.
        if (ec || size == 0 || size > UINT32_MAX || !frame || frame->format != info->format
            || frame->width != info->width || frame->height != info->height)
            break;
        media->addSampleReference(0, uint32_t(size), frameDuration, descriptionBytes, 1, 0,
            MVDataReference::dataReferenceWithReferenceToFile(file), outError);
    }
    media->endEdits();
    track->insertMedia(0, 0, media->duration());
    movie->setChanged(false);
    return movie;
}
