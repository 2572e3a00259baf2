// The frames of Matroska and WebM files read from their block headers are the packets ffmpeg reads:
// the same bytes, times and key flags, stream by stream; what this reader does not take is refused.
#include "test_support.h"

#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/import/matroska_frames.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/md5.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

using namespace movara::test;

namespace {

// Per stream, "pts,size,md5" of every packet libavformat reads from `path`.
std::map<int, std::vector<std::string>> ffmpegPackets(const std::string& path)
{
    // Lines such as packets.packet.7.pts=40 (side data would split the other formats' lines).
    auto r = runCommand({ "ffprobe", "-v", "error", "-show_data_hash", "md5", "-show_entries",
        "packet=stream_index,pts,size,data_hash", "-of", "flat", path });
    std::map<int, std::map<std::string, std::string>> byPacket;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        int index = -1;
        char key[32] = {};
        if (std::sscanf(line.c_str(), "packets.packet.%d.%31[a-z_]=", &index, key) != 2)
            continue;
        std::string value = line.substr(line.find('=') + 1);
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        byPacket[index][key] = value;
    }
    std::map<int, std::vector<std::string>> out;
    for (auto& [index, p] : byPacket)
        out[std::stoi(p["stream_index"])].push_back(p["pts"] + "," + p["size"] + "," + p["data_hash"].substr(4));
    return out;
}

std::map<int, std::vector<std::string>> ourPackets(const std::string& path, bool* read)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto frames = MVReadMatroskaFrames(MVByteSource::openFile(path, nullptr));
    std::map<int, std::vector<std::string>> out;
    *read = frames.has_value();
    for (size_t stream = 0; frames && stream < frames->trackNumbers.size(); ++stream)
        for (const auto& f : frames->frames[frames->trackNumbers[stream]]) {
            std::vector<uint8_t> bytes(f.size);
            EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), off_t(f.offset)), ssize_t(bytes.size()));
            uint8_t digest[16];
            av_md5_sum(digest, bytes.data(), int(bytes.size()));
            char hex[33];
            for (int i = 0; i < 16; ++i)
                std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
            out[int(stream)].push_back(std::to_string(f.time) + "," + std::to_string(f.size) + "," + hex);
        }
    ::close(fd);
    return out;
}

TEST(MatroskaFrames, AreThePacketsFfmpegReads)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto cues = dir / "cues.srt";
    writeFile(cues, "1\n00:00:00,200 --> 00:00:00,600\nHello\n\n");
    const std::vector<std::string> inputs = { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1",
        "-f", "lavfi", "-i", "sine=sample_rate=48000:duration=1", "-i", cues.string() };
    struct Case {
        const char* name;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        { "h264_aac_srt.mkv", { "-map", "0", "-map", "1", "-map", "2", "-c:v", "libx264", "-preset", "ultrafast",
                                  "-bf", "2", "-c:a", "aac", "-c:s", "srt" } },
        // As a browser records: clusters and segment of unknown size.
        { "live.webm", { "-map", "0", "-map", "1", "-c:v", "libvpx", "-c:a", "libopus", "-live", "1" } },
        { "flac_mjpeg.mkv", { "-map", "0", "-map", "1", "-c:v", "mjpeg", "-c:a", "flac", "-cluster_size_limit", "2000" } },
    };
    for (const auto& c : cases) {
        auto path = (dir / c.name).string();
        std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
        argv.insert(argv.end(), inputs.begin(), inputs.end());
        argv.insert(argv.end(), c.output.begin(), c.output.end());
        argv.push_back(path);
        ASSERT_EQ(runCommand(argv).status, 0) << c.name;
        bool read = false;
        auto ours = ourPackets(path, &read);
        EXPECT_TRUE(read) << c.name;
        auto theirs = ffmpegPackets(path);
        ASSERT_EQ(ours.size(), theirs.size()) << c.name;
        for (const auto& [stream, packets] : theirs) {
            ASSERT_EQ(ours[stream].size(), packets.size()) << c.name << " stream " << stream;
            for (size_t i = 0; i < packets.size(); ++i)
                ASSERT_EQ(ours[stream][i], packets[i]) << c.name << " stream " << stream << " packet " << i;
        }

        // Cut inside a cluster: nothing is made up; libavformat reads that file instead.
        auto cut = (dir / ("cut-" + std::string(c.name))).string();
        std::filesystem::copy_file(path, cut);
        std::filesystem::resize_file(cut, std::filesystem::file_size(path) * 2 / 3);
        ourPackets(cut, &read);
        EXPECT_FALSE(read) << c.name;
    }
}

TEST(MatroskaFrames, WhatIsNotMatroskaOrIsDamagedIsRefused)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        { "empty", "" },
        { "not EBML", std::string("RIFF\0\0\0\0WAVE", 12) },
        // An EBML header claiming more bytes than the file has.
        { "header past the end", std::string("\x1A\x45\xDF\xA3\x88\x00\x00\x00\x00\x00\x00\x10\x00", 13) },
        // A header, then no segment.
        { "no segment", std::string("\x1A\x45\xDF\xA3\x80\x1F\x43\xB6\x75\x80", 10) },
    };
    for (const auto& c : cases) {
        auto path = dir / "file.mkv";
        writeFile(path, c.bytes);
        bool read = true;
        ourPackets(path.string(), &read);
        EXPECT_FALSE(read) << c.name;
    }
}

} // namespace
