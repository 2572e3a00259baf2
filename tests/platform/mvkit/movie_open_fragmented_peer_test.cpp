// Fragmented MP4 files as recorders, segmenters and the ffmpeg command line write them, opened as the
// player opens a file: the movie lasts as long as ffprobe says, each track has the samples ffprobe
// counts, every picture shows at the time ffprobe gives it (in order), and the first and last pictures
// are ffmpeg's.
#include "decoder_test_support.h"
#include "test_support.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/video_track_decoder.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

using namespace movara::test;

namespace {

struct FragmentedCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> codecs; // output options but the fragmenting ones
    std::vector<std::string> layout; // how the file is fragmented
    bool picture = true;
};

const std::vector<std::string> kH264 = { "-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-g",
    "12", "-bf", "3", "-c:a", "aac" };
const std::vector<std::string> kH264NoB = { "-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p",
    "-g", "12", "-bf", "0", "-c:a", "aac" };
const std::vector<std::string> kHEVC = { "-c:v", "libx265", "-x265-params", "log-level=error:bframes=3",
    "-pix_fmt", "yuv420p", "-g", "12", "-c:a", "aac" };
const std::vector<std::string> kAAC = { "-c:a", "aac" };

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ffprobe's "key=value" lines.
std::vector<std::pair<std::string, std::string>> probe(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = { "ffprobe", "-v", "error" };
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = runCommand(argv);
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    return out;
}

struct Probed {
    double end = 0; // where the file's last stream ends, from time 0
    std::map<std::string, std::vector<int64_t>> packets; // packet count of each stream, by kind
    std::vector<double> pictureTimes; // of the first video stream, in presentation order
};

Probed probeFile(const std::string& path)
{
    Probed p;
    double start = 0, duration = 0;
    for (auto& [key, value] :
        probe({ "-show_entries", "format=duration,start_time", "-of", "default=nw=1", path }))
        (key == "duration" ? duration : start) = value == "N/A" ? 0 : std::stod(value);
    p.end = start + duration;
    std::string kind;
    for (auto& [key, value] : probe({ "-count_packets", "-show_entries", "stream=codec_type,nb_read_packets",
             "-of", "default=nw=1", path })) {
        if (key == "codec_type")
            kind = value;
        else if (key == "nb_read_packets")
            p.packets[kind].push_back(std::stoll(value));
    }
    for (auto& [key, value] : probe({ "-select_streams", "v:0", "-show_entries",
             "frame=best_effort_timestamp_time", "-of", "default=nw=1", path }))
        if (value != "N/A")
            p.pictureTimes.push_back(std::stod(value));
    return p;
}

// The movie times (seconds) at which a track shows its samples, in order: every sample whose display
// time lies in a segment of the track's edits.
std::vector<double> shownTimes(const MVTrack& track)
{
    const auto& media = *track.media();
    std::vector<int64_t> display;
    for (int64_t i = 0; i < media.sampleCount(); ++i)
        display.push_back(media.sampleTime(i) + media.samples()[size_t(i)].compositionOffset);
    std::sort(display.begin(), display.end());
    const double movieScale = track.timeScale(), mediaScale = media.timeScale();
    std::vector<double> times;
    int64_t at = 0;
    for (const auto& edit : track.edits()) {
        if (edit.mediaTime >= 0) {
            double end = double(edit.mediaTime) + double(edit.duration) * mediaScale / movieScale;
            for (int64_t t : display)
                if (t >= edit.mediaTime && double(t) < end - 1e-6)
                    times.push_back(double(at) / movieScale + double(t - edit.mediaTime) / mediaScale);
        }
        at += edit.duration;
    }
    return times;
}

void PrintTo(const FragmentedCase& c, std::ostream* out)
{
    *out << c.fileName;
}

class MovieOpenFragmented : public ::testing::TestWithParam<FragmentedCase> { };

TEST_P(MovieOpenFragmented, PlaysWholeWithEveryPictureAtFfprobesTime)
{
    const FragmentedCase c = GetParam();
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string path = (dir / c.fileName).string();
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    if (c.picture)
        argv = with(argv, { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2" });
    argv = with(argv, { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=2" });
    argv = with(with(argv, c.codecs), c.layout);
    argv.push_back(path);
    if (auto made = runCommand(argv); made.status != 0)
        GTEST_SKIP() << "this ffmpeg cannot make " << c.fileName << ": " << made.output;
    const Probed expected = probeFile(path);

    HXError error;
    auto movie = MVMovie::movieWithAttributes({ { MVMovieFileNameAttribute, path } }, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    double duration = 0;
    ASSERT_TRUE(MVGetTimeInterval(movie->duration(), &duration));
    EXPECT_NEAR(duration, expected.end, 1.5e-3);

    for (auto [kind, type] :
        { std::pair { "video", MVFourCC("vide") }, std::pair { "audio", MVFourCC("soun") } }) {
        std::vector<int64_t> counts;
        for (const auto& track : movie->tracksOfMediaType(type))
            counts.push_back(track->media()->sampleCount());
        auto want = expected.packets.count(kind) ? expected.packets.at(kind) : std::vector<int64_t> {};
        EXPECT_EQ(counts, want) << kind << " samples";
    }

    auto videoTracks = movie->tracksOfMediaType(MVFourCC("vide"));
    if (!c.picture) {
        EXPECT_TRUE(videoTracks.empty());
        return;
    }
    ASSERT_EQ(videoTracks.size(), 1u);
    auto times = shownTimes(*videoTracks[0]);
    ASSERT_EQ(times.size(), expected.pictureTimes.size());
    for (size_t i = 0; i < times.size(); ++i)
        ASSERT_NEAR(times[i], expected.pictureTimes[i], 1.5e-3) << "picture " << i;

    auto frames = ffmpegFrameHashes(path);
    ASSERT_EQ(frames.size(), times.size());
    auto decoder = MVVideoTrackDecoder::decoderWithSource(
        std::make_shared<MVMediaSampleSource>(*videoTracks[0]), &error);
    ASSERT_TRUE(decoder) << error.localizedDescription();
    const int32_t scale = movie->timeScale();
    for (size_t i : { size_t(0), frames.size() - 1 }) {
        // Just inside the picture's time, clear of the rounding of the movie's scale.
        int64_t at = int64_t(std::ceil(expected.pictureTimes[i] * scale)) + 1;
        HXError frameError;
        auto picture = decoder->frameAtTime(at, &frameError);
        ASSERT_TRUE(picture) << "picture " << i << ": " << frameError.localizedDescription();
        EXPECT_EQ(pictureMD5(picture->avFrame()), frames[i].md5) << "picture " << i;
    }
}

const std::vector<std::string> kKeyframes = { "-movflags", "frag_keyframe+empty_moov" };

INSTANTIATE_TEST_SUITE_P(Files, MovieOpenFragmented,
    ::testing::Values(FragmentedCase { "H264_BFrames", "bframes.mp4", kH264, kKeyframes },
        FragmentedCase { "H264_Without_BFrames", "no_bframes.mp4", kH264NoB, kKeyframes },
        FragmentedCase { "Base_Is_Moof", "base_moof.mp4", kH264,
            { "-movflags", "frag_keyframe+empty_moov+default_base_moof" } },
        // Track runs of version 1: pictures shown before the ones decoded ahead of them have negative
        // offsets.
        FragmentedCase { "Negative_Offsets", "negative.mp4", kH264,
            { "-movflags", "frag_keyframe+empty_moov+negative_cts_offsets" } },
        FragmentedCase { "Negative_Offsets_No_B", "negative_no_b.mp4", kH264NoB,
            { "-movflags", "frag_keyframe+empty_moov+negative_cts_offsets" } },
        FragmentedCase { "By_Duration", "frag_duration.mp4", kH264,
            { "-movflags", "empty_moov", "-frag_duration", "300000" } },
        FragmentedCase {
            "By_Size", "frag_size.mp4", kH264, { "-movflags", "empty_moov", "-frag_size", "8000" } },
        FragmentedCase { "Separate_Moof", "separate.mp4", kH264,
            { "-movflags", "frag_keyframe+empty_moov+separate_moof" } },
        FragmentedCase { "CMAF", "cmaf.mp4", kH264, { "-movflags", "cmaf" } },
        FragmentedCase { "DASH", "dash.mp4", kH264, { "-movflags", "dash" } },
        FragmentedCase { "HEVC_BFrames", "hevc.mp4", kHEVC,
            { "-tag:v", "hvc1", "-movflags", "frag_keyframe+empty_moov" } },
        FragmentedCase {
            "AAC_Only", "sound.m4a", kAAC, { "-movflags", "empty_moov", "-frag_duration", "500000" }, false },
        FragmentedCase { "Edit_List", "edit_list.mp4", kH264,
            { "-use_editlist", "1", "-movflags", "frag_keyframe+empty_moov" } },
        FragmentedCase { "No_Edit_List", "no_edit_list.mp4", kH264,
            { "-use_editlist", "0", "-movflags", "frag_keyframe+empty_moov" } },
        FragmentedCase { "Edit_List_Negative_Offsets", "edit_list_negative.mp4", kH264,
            { "-use_editlist", "1", "-movflags", "frag_keyframe+empty_moov+negative_cts_offsets" } },
        // The header holds the first fragment's samples; the other fragments follow it.
        FragmentedCase {
            "Samples_In_Header", "samples_in_header.mp4", kH264, { "-movflags", "frag_keyframe" } }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
