// Files of kinds people keep, made by ffmpeg, opened as the player opens them (from the file name, in the
// clean aperture): the tracks ffprobe sees, its duration, the size a player shows (pixel shape and
// turn), the first, middle and last pictures as ffmpeg decodes them, and sound that is not silence.
#include "decoder_test_support.h"
#include "test_support.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/video_track_decoder.h"
#include "platform/mvkit/track.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <sstream>

using namespace movara::test;

namespace {

struct OpenCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> ffmpeg; // inputs and output options
    // The sound lasts as long as ffmpeg decodes it (not so without an edit list, where the encoder's
    // priming plays and ffmpeg leaves it out).
    bool soundAsLongAsFFmpeg = true;
    // Every picture is compared, not only the first, middle and last (pictures the decoder reorders).
    bool everyPicture = false;
    // The file times only some pictures and states no duration (program streams): ffprobe guesses both.
    // The pictures are a frame apart from the first, and the movie lasts until its last picture or its
    // sound ends.
    bool timesGuessed = false;
};

// 1 s of test picture at 25 frames per second, and of a tone.
const std::vector<std::string> kPicture = { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1" };
const std::vector<std::string> kSound
    = { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1" };

std::vector<std::string> with(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ffprobe's "key=value" lines of `entries`.
std::vector<std::pair<std::string, std::string>> probe(const std::string& path, const std::string& entries)
{
    auto r = runCommand({ "ffprobe", "-v", "error", "-show_entries", entries, "-of", "default=nw=1", path });
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    return out;
}

// What ffprobe says of a file's streams (a transport stream lists its streams under its program too:
// each counts once).
struct Probed {
    int video = 0, sound = 0, text = 0;
    int width = 0, height = 0;
    double pixelAspect = 1, rotation = 0;
    std::string pixelFormat;
    double duration = 0;
    std::vector<double>
        pictureTimes; // of the first video stream, in presentation order, from the file's start
};

Probed probeFile(const std::string& path)
{
    Probed p;
    std::map<int, std::map<std::string, std::string>> streams;
    int index = -1;
    for (auto& [key, value] : probe(path,
             "stream=index,codec_type,width,height,sample_aspect_ratio,pix_fmt:stream_side_data=rotation:"
             "stream_disposition=attached_pic")) {
        if (key == "index")
            index = std::stoi(value);
        else if (index >= 0 && !streams[index].count(key))
            streams[index][key] = value;
    }
    for (auto& [i, s] : streams) {
        if (s["codec_type"] == "video" && s["DISPOSITION:attached_pic"] != "1") {
            if (p.video++ == 0) {
                p.width = std::stoi(s["width"]);
                p.height = std::stoi(s["height"]);
                p.pixelFormat = s["pix_fmt"];
                int num = 0, den = 0;
                if (std::sscanf(s["sample_aspect_ratio"].c_str(), "%d:%d", &num, &den) == 2 && num > 0
                    && den > 0)
                    p.pixelAspect = double(num) / den;
                p.rotation = s.count("rotation") ? std::stod(s["rotation"]) : 0;
            }
        } else if (s["codec_type"] == "audio") {
            ++p.sound;
        } else if (s["codec_type"] == "subtitle") {
            ++p.text;
        }
    }
    double start = 0;
    for (auto& [key, value] : probe(path, "format=duration,start_time"))
        (key == "duration" ? p.duration : start) = value == "N/A" ? 0 : std::stod(value);
    auto r = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
        "frame=best_effort_timestamp_time", "-of", "csv=p=0", path });
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == ',')
            continue;
        // A picture without a time of its own follows the one before it (the fixtures have 25 a second).
        p.pictureTimes.push_back(line[0] != 'N' ? std::stod(line.substr(0, line.find(','))) - start
                : p.pictureTimes.empty()        ? 0
                                                : p.pictureTimes.back() + 1.0 / 25);
    }
    // A raw stream has no duration of its own: its pictures last as long.
    if (p.duration == 0 && !p.pictureTimes.empty())
        p.duration = p.pictureTimes.back() + 1.0 / 25;
    return p;
}

class MovieOpenFormats : public ::testing::TestWithParam<OpenCase> { };

TEST_P(MovieOpenFormats, OpensWithTheTracksSizePicturesAndSoundOfTheFile)
{
    const OpenCase c = GetParam();
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string path = (dir / c.fileName).string();
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    argv.insert(argv.end(), c.ffmpeg.begin(), c.ffmpeg.end());
    argv.push_back(path);
    if (auto made = runCommand(argv); made.status != 0)
        GTEST_SKIP() << "this ffmpeg cannot make " << c.fileName << ": " << made.output;
    Probed expected = probeFile(path);
    if (c.timesGuessed)
        for (size_t i = 1; i < expected.pictureTimes.size(); ++i)
            expected.pictureTimes[i] = expected.pictureTimes[0] + double(i) / 25;

    HXError error;
    auto movie = MVMovie::movieWithAttributes(
        { { MVMovieFileNameAttribute, path }, { MVMovieApertureModeAttribute, MVMovieApertureModeClean },
            { MVMovieUsesPreferredLanguageAttribute, true } },
        &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    auto videoTracks = movie->tracksOfMediaType(MVFourCC("vide"));
    auto soundTracks = movie->tracksOfMediaType(MVFourCC("soun"));
    EXPECT_EQ(int(videoTracks.size()), expected.video);
    EXPECT_EQ(int(soundTracks.size()), expected.sound);
    EXPECT_EQ(int(movie->tracksOfMediaType(MVFourCC("sbtl")).size()), expected.text);

    double duration = 0;
    ASSERT_TRUE(MVGetTimeInterval(movie->duration(), &duration));
    double expectedDuration = expected.duration;
    if (c.timesGuessed) {
        expectedDuration = expected.pictureTimes.empty() ? 0 : expected.pictureTimes.back() + 1.0 / 25;
        if (expected.sound > 0)
            expectedDuration
                = std::max(expectedDuration, double(ffmpegSamples(path, 48000, 2).size() / 2) / 48000);
    }
    EXPECT_NEAR(duration, expectedDuration, 1.0 / 25 + 1e-3);

    // Shown as wide as its pixels make it, turned as the camera was: in the clean aperture, and in the
    // classic one the player shows a movie in that has no aperture dimensions of its own.
    if (expected.video > 0) {
        double width = expected.width * expected.pixelAspect, height = expected.height;
        if (std::fmod(std::fabs(expected.rotation), 180) == 90)
            std::swap(width, height);
        for (const char* mode : { MVMovieApertureModeClean, MVMovieApertureModeClassic }) {
            movie->setAttributeForKey(mode, MVMovieApertureModeAttribute);
            auto [naturalWidth, naturalHeight] = movie->naturalSize();
            EXPECT_NEAR(naturalWidth, width, 1.0) << mode;
            EXPECT_NEAR(naturalHeight, height, 1.0) << mode;
        }
    }

    // The first, middle and last pictures are ffmpeg's, of its pixel format.
    if (!videoTracks.empty()) {
        auto frames = ffmpegFrameHashes(path);
        ASSERT_FALSE(frames.empty());
        ASSERT_EQ(frames.size(), expected.pictureTimes.size());
        auto decoder = MVVideoTrackDecoder::decoderWithSource(
            std::make_shared<MVMediaSampleSource>(*videoTracks[0]), &error);
        ASSERT_TRUE(decoder) << error.localizedDescription();
        const int32_t scale = movie->timeScale();
        // A movie whose pictures begin with its sound (or within a frame of it) opens on its first picture.
        if (expected.pictureTimes[0] < 0.05) {
            auto first = decoder->frameAtTime(0, &error);
            ASSERT_TRUE(first) << "no picture at the start: " << error.localizedDescription();
            EXPECT_EQ(pictureMD5(first->avFrame()), frames[0].md5);
        }
        std::vector<size_t> compared = { 0, frames.size() / 2, frames.size() - 1 };
        if (c.everyPicture) {
            // Last first: each picture is one the decoder goes back for.
            compared.resize(frames.size());
            std::iota(compared.rbegin(), compared.rend(), size_t(0));
        }
        for (size_t i : compared) {
            // Within the picture's time, clear of the rounding of the movie's scale.
            int64_t at = int64_t(std::ceil(expected.pictureTimes[i] * scale)) + 1;
            HXError frameError;
            auto picture = decoder->frameAtTime(at, &frameError);
            ASSERT_TRUE(picture) << "picture " << i << ": " << frameError.localizedDescription();
            EXPECT_EQ(pictureMD5(picture->avFrame()), frames[i].md5) << "picture " << i;
            EXPECT_EQ(av_get_pix_fmt_name(AVPixelFormat(picture->format())), expected.pixelFormat);
        }
    }

    // The sound decodes to the tone.
    if (!soundTracks.empty()) {
        auto decoder = MVAudioTrackDecoder::decoderWithSource(
            std::make_shared<MVMediaSampleSource>(*soundTracks[0]), MVAudioFormat { 48000, 2 }, &error);
        ASSERT_TRUE(decoder) << error.localizedDescription();
        const int64_t count = decoder->frameCount();
        ASSERT_GT(count, 24000);
        std::vector<float> samples(size_t(count) * 2);
        ASSERT_TRUE(decoder->read(0, int(count), samples.data(), &error)) << error.localizedDescription();
        float loudest = 0;
        for (float s : samples)
            loudest = std::max(loudest, std::fabs(s));
        EXPECT_GT(loudest, 0.05f);
        if (c.soundAsLongAsFFmpeg) {
            auto reference = ffmpegSamples(path, 48000, 2);
            EXPECT_NEAR(double(count) / 48000, double(reference.size() / 2) / 48000, 0.05);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, MovieOpenFormats,
    ::testing::Values(
        // Pictures whose decoder takes its pixel layout from the description's depth and format code.
        OpenCase { "MOV_Animation", "animation.mov", with({ kPicture, { "-c:v", "qtrle" } }) },
        OpenCase { "MOV_Uncompressed_YUV", "uyvy.mov",
            with({ kPicture, kSound, { "-c:v", "rawvideo", "-pix_fmt", "uyvy422", "-c:a", "pcm_s16le" } }) },
        OpenCase { "MOV_Uncompressed_RGB", "rgb.mov",
            with({ kPicture, { "-c:v", "rawvideo", "-pix_fmt", "rgb24" } }) },
        // Pictures of indexed colours: the colours come from the description's colour table (which an
        // AVI file's palette becomes), or are the gray ramp of a gray depth.
        OpenCase { "MOV_Uncompressed_Palette", "palette.mov",
            with({ { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1,format=pal8" },
                { "-c:v", "rawvideo", "-pix_fmt", "pal8" } }) },
        OpenCase { "MOV_Graphics_SMC", "smc.mov",
            with({ { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1,format=pal8" },
                { "-c:v", "smc" } }) },
        OpenCase { "AVI_Uncompressed_Palette", "palette.avi",
            with({ { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1,format=pal8" },
                { "-c:v", "rawvideo", "-pix_fmt", "pal8" } }) },
        OpenCase { "MOV_Uncompressed_Gray", "gray.mov",
            with({ kPicture, { "-c:v", "rawvideo", "-pix_fmt", "gray" } }) },
        // Sound in blocks of a fixed number of samples.
        OpenCase { "WAV_MS_ADPCM", "adpcm.wav", with({ kSound, { "-c:a", "adpcm_ms" } }) },
        OpenCase { "WAV_IMA_ADPCM", "ima.wav", with({ kSound, { "-c:a", "adpcm_ima_wav" } }) },
        // A container's own pixel shape (a DVD's wide picture in 720 × 480).
        OpenCase { "Matroska_Anamorphic", "anamorphic.mkv",
            with({ { "-f", "lavfi", "-i", "testsrc=size=720x480:rate=25:duration=1" }, kSound,
                { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-vf", "setsar=32/27",
                    "-c:a", "aac" } }) },
        OpenCase { "TS_MPEG2_Anamorphic", "anamorphic.ts",
            with({ { "-f", "lavfi", "-i", "testsrc=size=720x576:rate=25:duration=1" }, kSound,
                { "-c:v", "mpeg2video", "-vf", "setsar=64/45", "-c:a", "mp2" } }) },
        OpenCase { "AVI_Anamorphic", "anamorphic.avi",
            with({ kPicture, kSound, { "-c:v", "mpeg4", "-vf", "setsar=2/1", "-c:a", "libmp3lame" } }) },
        // A single picture without a duration of its own.
        OpenCase { "Matroska_Single_Picture", "still.mkv",
            with({ kPicture, { "-frames:v", "1", "-c:v", "libx264", "-pix_fmt", "yuv420p" } }) },
        // Sound whose first packet (with the encoder's priming) comes a little before the first picture.
        OpenCase { "Matroska_Sound_Before_Pictures", "primed.mkv",
            with({ kPicture, kSound,
                { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac" } }) },
        OpenCase { "TS_Sound_Before_Pictures", "primed.ts",
            with({ kPicture, kSound,
                { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "ac3" } }) },
        // B-frames without an edit list: the last pictures are shown after the last decode time.
        OpenCase { "MP4_BFrames_Without_Edit_List", "bframes.mp4",
            with({ kPicture, kSound,
                { "-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-bf", "3", "-c:a", "aac",
                    "-use_editlist", "0" } }),
            false },
        // Pictures that come out of the decoder in another order than they go in, in a container that
        // times them by their place in the file only.
        OpenCase { "AVI_MPEG4_BFrames", "bframes.avi",
            with({ kPicture, kSound, { "-c:v", "mpeg4", "-bf", "2", "-c:a", "libmp3lame" } }), true, true },
        // B-frames packed into the sample of the picture before them, with a placeholder sample after.
        OpenCase { "AVI_MPEG4_Packed_BFrames", "packed.avi",
            with({ kPicture, kSound, { "-c:v", "libxvid", "-bf", "2", "-c:a", "libmp3lame" } }), true, true },
        OpenCase { "AVI_MPEG4_Packed_Single_BFrames", "packed1.avi",
            with({ kPicture, kSound, { "-c:v", "libxvid", "-bf", "1", "-g", "12", "-c:a", "libmp3lame" } }),
            true, true },
        // Program streams time only some pictures (those a packet of the stream starts with): the others
        // are shown in the order the pictures carry.
        OpenCase { "PS_MPEG1_BFrames", "bframes.mpg",
            with({ kPicture, { "-c:v", "mpeg1video", "-bf", "2", "-f", "mpeg" } }), true, true, true },
        OpenCase { "VOB_MPEG2_BFrames", "bframes.vob",
            with({ { "-f", "lavfi", "-i", "testsrc=size=720x480:rate=25:duration=1" }, kSound,
                { "-c:v", "mpeg2video", "-bf", "2", "-g", "12", "-c:a", "ac3", "-f", "vob" } }),
            true, true, true },
        OpenCase { "PS_H264_BFrames", "h264.mpg",
            with({ kPicture, kSound,
                { "-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-bf", "3", "-c:a", "mp2",
                    "-f", "mpeg" } }),
            true, true, true },
        // Pictures the decoder shows in the order of their picture counts, in a container without times.
        OpenCase { "AVI_H264_BFrames", "h264.avi",
            with({ kPicture, kSound,
                { "-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-bf", "3", "-c:a",
                    "libmp3lame" } }),
            true, true },
        OpenCase { "Raw_H264_BFrames", "bframes.h264",
            with({ kPicture, { "-c:v", "libx264", "-preset", "medium", "-pix_fmt", "yuv420p", "-bf", "3" } }),
            true, true },
        // Pictures shown before the key picture they are decoded after (an open group of pictures).
        OpenCase { "Matroska_HEVC_Open_GOP", "open-gop.mkv",
            with({ kPicture, kSound,
                { "-c:v", "libx265", "-preset", "medium", "-pix_fmt", "yuv420p", "-x265-params",
                    "keyint=10:min-keyint=10:open-gop=1:bframes=3:log-level=error", "-c:a", "aac" } }),
            true, true },
        OpenCase { "Raw_HEVC_BFrames", "bframes.hevc",
            with({ kPicture,
                { "-c:v", "libx265", "-preset", "medium", "-pix_fmt", "yuv420p", "-x265-params",
                    "bframes=4:log-level=error" } }),
            true, true },
        // Lossless intra codecs movie files have no code of their own for, under the Windows codes AVI
        // gives them; some codes name the pixel layout the decoder must expect (UT Video's).
        OpenCase { "AVI_UTVideo_YUV420", "utvideo420.avi",
            with({ kPicture, kSound, { "-c:v", "utvideo", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le" } }) },
        OpenCase { "AVI_UTVideo_YUV422", "utvideo422.avi",
            with({ kPicture, { "-c:v", "utvideo", "-pix_fmt", "yuv422p" } }) },
        OpenCase { "AVI_UTVideo_RGB", "utvideorgb.avi",
            with({ kPicture, { "-c:v", "utvideo", "-pix_fmt", "gbrp" } }) },
        OpenCase { "AVI_HuffYUV", "huffyuv.avi",
            with({ kPicture, kSound, { "-c:v", "huffyuv", "-c:a", "pcm_s16le" } }) },
        OpenCase { "AVI_FFVHuff_YUV420", "ffvhuff.avi",
            with({ kPicture, { "-c:v", "ffvhuff", "-pix_fmt", "yuv420p" } }) },
        OpenCase { "AVI_MagicYUV", "magicyuv.avi",
            with({ kPicture, { "-c:v", "magicyuv", "-pix_fmt", "yuv422p" } }) },
        OpenCase { "AVI_FFV1", "ffv1.avi", with({ kPicture, { "-c:v", "ffv1", "-pix_fmt", "yuv444p" } }) }),
    [](const auto& info) { return std::string(info.param.name); });

struct CutCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> ffmpeg;
    // A transport stream does not tell a picture cut off at its end from a whole one: like ffmpeg, the
    // movie keeps it, and ends with what its decoder makes of it.
    bool lastPictureMayBeCut = false;
};

class MovieCutShort : public ::testing::TestWithParam<CutCase> { };

// A file cut short (an unfinished download, the first 60 % of it, ending inside a sample) opens without
// a word with the whole pictures and sound it holds, as ffmpeg plays them.
TEST_P(MovieCutShort, OpensQuietlyWithTheWholeFramesItHolds)
{
    const CutCase c = GetParam();
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string whole = (dir / (std::string("whole-") + c.fileName)).string();
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    argv.insert(argv.end(), c.ffmpeg.begin(), c.ffmpeg.end());
    argv.push_back(whole);
    if (auto made = runCommand(argv); made.status != 0)
        GTEST_SKIP() << "this ffmpeg cannot make " << c.fileName << ": " << made.output;
    const std::string bytes = readFile(whole);
    const std::string path = (dir / c.fileName).string();
    // An odd length: inside a frame of any sound.
    writeFile(path, bytes.substr(0, (bytes.size() * 6 / 10) | 1));
    const Probed expected = probeFile(whole);

    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    EXPECT_TRUE(movie->openWarnings().empty()) << movie->openWarnings().front();
    auto videoTracks = movie->tracksOfMediaType(MVFourCC("vide"));
    auto soundTracks = movie->tracksOfMediaType(MVFourCC("soun"));
    EXPECT_EQ(int(videoTracks.size()), expected.video);
    EXPECT_EQ(int(soundTracks.size()), expected.sound);

    if (!videoTracks.empty()) {
        // The pictures ffmpeg decodes from what is there (it may make one more of a picture cut off).
        auto frames = ffmpegFrameHashes(path);
        ASSERT_FALSE(frames.empty());
        const int64_t kept = videoTracks[0]->media()->sampleCount();
        EXPECT_GE(kept + 1, int64_t(frames.size()));
        EXPECT_LE(kept, int64_t(frames.size()));
        ASSERT_GT(kept, 0);
        auto decoder = MVVideoTrackDecoder::decoderWithSource(
            std::make_shared<MVMediaSampleSource>(*videoTracks[0]), &error);
        ASSERT_TRUE(decoder) << error.localizedDescription();
        auto first = decoder->frameAtTime(0, &error);
        ASSERT_TRUE(first) << error.localizedDescription();
        EXPECT_EQ(pictureMD5(first->avFrame()), frames[0].md5);
        // The last picture kept decodes whole: ffmpeg's picture of that time.
        const int64_t scale = movie->timeScale();
        ASSERT_GT(kept, 1);
        const size_t last = size_t(kept - (c.lastPictureMayBeCut ? 2 : 1));
        const auto times = probeFile(path).pictureTimes;
        ASSERT_EQ(times.size(), frames.size());
        auto end = decoder->frameAtTime(int64_t(std::ceil(times[last] * double(scale))) + 1, &error);
        ASSERT_TRUE(end) << error.localizedDescription();
        EXPECT_EQ(pictureMD5(end->avFrame()), frames[last].md5);
    }
    if (!soundTracks.empty()) {
        // As much sound as ffmpeg decodes (a fragmented file keeps its sound after its pictures: when the
        // cut comes among the pictures, neither has any).
        const double heard = double(ffmpegSamples(path, 48000, 2).size() / 2) / 48000;
        double ours = 0;
        if (soundTracks[0]->media()->sampleCount() > 0) {
            auto decoder = MVAudioTrackDecoder::decoderWithSource(
                std::make_shared<MVMediaSampleSource>(*soundTracks[0]), MVAudioFormat { 48000, 2 }, &error);
            ASSERT_TRUE(decoder) << error.localizedDescription();
            ours = double(decoder->frameCount()) / 48000;
        }
        EXPECT_NEAR(ours, heard, 0.05);
    }
}

const std::vector<std::string> kCutH264
    = { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p" };

INSTANTIATE_TEST_SUITE_P(Files, MovieCutShort,
    ::testing::Values(CutCase { "WAV_Float", "float.wav", with({ kSound, { "-c:a", "pcm_f32le" } }) },
        CutCase { "WAV_24bit_Stereo", "stereo24.wav", with({ kSound, { "-c:a", "pcm_s24le", "-ac", "2" } }) },
        CutCase { "AIFF", "sound.aiff", with({ kSound, { "-c:a", "pcm_s16be" } }) },
        CutCase { "CAF", "sound.caf", with({ kSound, { "-c:a", "pcm_s16le", "-ac", "2" } }) },
        CutCase { "Matroska_H264_AAC", "movie.mkv", with({ kPicture, kSound, kCutH264, { "-c:a", "aac" } }) },
        CutCase { "AVI_MPEG4_MP3", "movie.avi",
            with({ kPicture, kSound, { "-c:v", "mpeg4", "-c:a", "libmp3lame" } }) },
        CutCase { "AVI_MJPEG_PCM", "mjpeg.avi",
            with({ kPicture, kSound, { "-c:v", "mjpeg", "-c:a", "pcm_s16le" } }) },
        CutCase { "TS_H264_AAC", "movie.ts", with({ kPicture, kSound, kCutH264, { "-c:a", "aac" } }), true },
        CutCase { "MP4_Header_First", "faststart.mp4",
            with({ kPicture, kSound, kCutH264, { "-c:a", "aac", "-movflags", "+faststart" } }) },
        CutCase { "MP4_One_Fragment", "fragment.mp4",
            with(
                { kPicture, kSound, kCutH264, { "-c:a", "aac", "-movflags", "frag_keyframe+empty_moov" } }) },
        CutCase { "MP4_Fragments", "fragments.mp4",
            with({ kPicture, kSound, kCutH264,
                { "-g", "5", "-c:a", "aac", "-movflags", "frag_keyframe+empty_moov" } }) }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
