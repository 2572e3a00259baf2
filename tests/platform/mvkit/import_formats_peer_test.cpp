// Files of the containers and codecs people have, made by ffmpeg, opened as movies: the duration and
// the streams ffprobe reports, every picture as ffmpeg decodes it, sound that plays, and a
// self-contained save that ffmpeg reads back with the same pictures and sound.
#include "audio_capture.h"
#include "decoder_test_support.h"
#include "movie_peer_fixtures.h"
#include "test_support.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/video_track_decoder.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <sstream>

using namespace movara::test;

namespace {

struct FormatCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> output; // ffmpeg output options
    bool video = true;
    bool audio = true;
    bool losslessAudio = false; // the decoded sound must be the same bytes
    std::vector<std::string> extraInput = {}; // another input after the picture and the sound
    std::vector<std::string> remux = {}; // options of a second pass that copies the streams
    bool durationFromPackets = false; // the container's header counts its start offset twice (ASF)
};

const std::vector<std::string> kPicture = { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1" };
const std::vector<std::string> kSound
    = { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1" };
const std::vector<std::string> kH264 = { "-c:v", "libx264", "-preset", "ultrafast", "-g", "12", "-bf", "2" };

std::vector<std::string> ffmpegCommand(const FormatCase& c, const std::string& target)
{
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    if (c.video)
        argv.insert(argv.end(), kPicture.begin(), kPicture.end());
    if (c.audio)
        argv.insert(argv.end(), kSound.begin(), kSound.end());
    argv.insert(argv.end(), c.extraInput.begin(), c.extraInput.end());
    argv.insert(argv.end(), c.output.begin(), c.output.end());
    argv.push_back(target);
    return argv;
}

std::string probe(const std::string& path, const std::vector<std::string>& what)
{
    std::vector<std::string> argv = { "ffprobe", "-v", "error" };
    argv.insert(argv.end(), what.begin(), what.end());
    argv.insert(argv.end(), { "-of", "csv=p=0", path });
    return runCommand(argv).output;
}

double probeNumber(const std::string& path, const std::string& entry)
{
    try {
        return std::stod(probe(path, { "-show_entries", entry }));
    } catch (...) {
        return 0;
    }
}

// "video,h264" lines of the audio and video streams, in order.
std::vector<std::string> streams(const std::string& path)
{
    // Lines of "index,codec_name,codec_type"; a transport stream lists its streams under its program too.
    std::istringstream in(probe(path, { "-show_entries", "stream=index,codec_name,codec_type" }));
    std::map<int, std::string> byIndex;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string field; std::getline(f, field, ',');)
            fields.push_back(field);
        if (fields.size() == 3 && (fields[2] == "video" || fields[2] == "audio"))
            byIndex[std::stoi(fields[0])] = fields[2] + "," + fields[1];
    }
    std::vector<std::string> out;
    for (auto& [index, stream] : byIndex)
        out.push_back(stream);
    return out;
}

std::vector<std::string> hashes(const std::vector<FrameLine>& lines)
{
    std::vector<std::string> out;
    for (const auto& l : lines)
        out.push_back(l.md5);
    return out;
}

// The decoded sound: its md5 and its length in samples per channel.
std::pair<std::string, size_t> decodedSound(const std::string& path)
{
    auto r = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le",
        "-ac", "1", "-ar", "48000", "-" });
    auto md5 = runCommand({ "md5sum" }, r.output).output.substr(0, 32);
    return { md5, r.output.size() / 2 };
}

class ImportFormats : public ::testing::TestWithParam<FormatCase> { };

TEST_P(ImportFormats, OpensPlaysAndSavesAsTheSource)
{
    const FormatCase c = GetParam();
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string source = (dir / c.fileName).string();
    const std::string first = c.remux.empty() ? source : (dir / ("encoded-" + std::string(c.fileName))).string();
    auto made = runCommand(ffmpegCommand(c, first));
    if (made.status == 0 && !c.remux.empty()) {
        std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-i", first, "-map", "0",
            "-c", "copy" };
        argv.insert(argv.end(), c.remux.begin(), c.remux.end());
        argv.push_back(source);
        made = runCommand(argv);
    }
    if (made.status != 0)
        GTEST_SKIP() << "this ffmpeg cannot make " << c.fileName << ": " << made.output;

    HXError error;
    auto movie = MVMovie::movieWithFile(source, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    // Its duration and its tracks are the ones ffprobe sees.
    const double frame = 1.0 / 25;
    double expectedDuration = probeNumber(source, "format=duration");
    if (c.durationFromPackets) {
        // Where the last packet ends (a picture without a duration lasts a frame).
        std::istringstream packets(probe(source, { "-show_entries", "packet=pts_time,duration_time" }));
        expectedDuration = 0;
        for (std::string line; std::getline(packets, line);) {
            double at = 0, length = frame;
            if (std::sscanf(line.c_str(), "%lf,%lf", &at, &length) >= 1)
                expectedDuration = std::max(expectedDuration, at + length);
        }
    }
    double duration = 0;
    ASSERT_TRUE(MVGetTimeInterval(movie->duration(), &duration));
    EXPECT_NEAR(duration, expectedDuration, frame + 1e-3);
    auto sourceStreams = streams(source);
    size_t videoStreams = std::count_if(sourceStreams.begin(), sourceStreams.end(),
        [](const std::string& s) { return s.starts_with("video"); });
    auto videoTracks = movie->tracksOfMediaType(MVFourCC("vide"));
    auto soundTracks = movie->tracksOfMediaType(MVFourCC("soun"));
    EXPECT_EQ(videoTracks.size(), videoStreams);
    EXPECT_EQ(soundTracks.size(), sourceStreams.size() - videoStreams);

    // Of several sound tracks one plays, the others wait in the Language menu; each keeps its language.
    std::istringstream languages(probe(source, { "-select_streams", "a", "-show_entries", "stream_tags=language" }));
    std::vector<std::string> expectedLanguages, trackLanguages;
    for (std::string line; std::getline(languages, line);)
        expectedLanguages.push_back(line);
    size_t playing = 0;
    for (const auto& t : soundTracks) {
        playing += t->isEnabled() ? 1 : 0;
        std::string code;
        for (int shift = 10; shift >= 0 && t->language() > 0x3FF; shift -= 5)
            code += char(((t->language() >> shift) & 0x1F) + 0x60);
        trackLanguages.push_back(code == "und" ? "" : code);
    }
    if (!soundTracks.empty()) {
        EXPECT_EQ(playing, 1u);
    }
    if (soundTracks.size() > 1) {
        EXPECT_EQ(trackLanguages, expectedLanguages);
    }
    // A picture the camera turned is shown turned.
    if (!videoTracks.empty()) {
        double rotation = probeNumber(source, "stream_side_data=rotation");
        auto [width, height] = movie->naturalSize();
        bool quarterTurn = std::fmod(std::fabs(rotation), 180) == 90;
        EXPECT_EQ(width, quarterTurn ? videoTracks[0]->height() : videoTracks[0]->width());
        EXPECT_EQ(height, quarterTurn ? videoTracks[0]->width() : videoTracks[0]->height());
    }

    // Every picture is the one ffmpeg decodes, at its time from the movie's start.
    std::vector<FrameLine> expected;
    std::vector<double> pictureTimes;
    double start = 0;
    if (c.video && !videoTracks.empty()) {
        expected = ffmpegFrameHashes(source);
        ASSERT_GT(expected.size(), 10u);
        // ffmpeg's hashes come in presentation order; their times, from the file's start, from ffprobe.
        start = probeNumber(source, "format=start_time");
        std::istringstream times(
            probe(source, { "-select_streams", "v:0", "-show_entries", "frame=best_effort_timestamp_time" }));
        for (std::string line; std::getline(times, line);) {
            if (line.empty() || line[0] == ',')
                continue;
            // A picture without a time of its own follows the one before it.
            bool known = line[0] != 'N';
            pictureTimes.push_back(known ? std::stod(line.substr(0, line.find(',')))
                                         : (pictureTimes.empty() ? start : pictureTimes.back() + frame));
        }
        ASSERT_EQ(pictureTimes.size(), expected.size());
        auto decoder = MVVideoTrackDecoder::decoderWithSource(
            std::make_shared<MVMediaSampleSource>(*videoTracks[0]), &error);
        ASSERT_TRUE(decoder) << error.localizedDescription();
        int32_t scale = movie->timeScale();
        for (size_t i = 0; i < expected.size(); ++i) {
            int64_t at = int64_t(std::ceil((pictureTimes[i] - start) * scale - 1e-6));
            HXError frameError;
            auto picture = decoder->frameAtTime(at, &frameError);
            ASSERT_TRUE(picture) << "picture " << i << ": " << frameError.localizedDescription();
            EXPECT_EQ(pictureMD5(picture->avFrame()), expected[i].md5) << "picture " << i;
        }
    }
    // It plays: the clock advances, and the picture shown is ffmpeg's picture of that moment.
    {
        ManualClockScope scope;
        auto playback = MVMoviePlayback::playbackForMovie(movie, silentOptions());
        movie->play();
        scope.clock->advance(0.5);
        double now = double(MVTimeInScale(playback->currentTime(), 1000).timeValue) / 1000;
        EXPECT_NEAR(now, 0.5, 0.05);
        if (!expected.empty()) {
            // The player presents just after a picture's time comes, and containers place the movie's start
            // a few milliseconds apart (sound that starts before the pictures, times rounded to the movie's
            // scale): within that much of a change of picture, either neighbour is the right one.
            const double near = 0.01;
            std::set<std::string> right;
            for (size_t i = 0; i < pictureTimes.size(); ++i) {
                const double from = pictureTimes[i] - start;
                const double to = i + 1 < pictureTimes.size() ? pictureTimes[i + 1] - start : 1e9;
                if (from <= now + near && to > now - near)
                    right.insert(expected[i].md5);
            }
            std::string presented = "none";
            for (const auto& p : playback->player().presentedPictures())
                if (p.picture.frame)
                    presented = pictureMD5(p.picture.frame->avFrame());
            EXPECT_TRUE(right.count(presented)) << "shown at " << now;
        }
        movie->stop();
    }

    // The sound decodes to a tone for about the movie's length.
    if (c.audio && !soundTracks.empty()) {
        MVAudioFormat format { 48000, 2 };
        auto decoder = MVAudioTrackDecoder::decoderWithSource(
            std::make_shared<MVMediaSampleSource>(*soundTracks[0]), format, &error);
        ASSERT_TRUE(decoder) << error.localizedDescription();
        std::vector<float> samples(size_t(decoder->frameCount()) * 2);
        ASSERT_TRUE(decoder->read(0, int(decoder->frameCount()), samples.data(), &error))
            << error.localizedDescription();
        float loudest = 0;
        for (float s : samples)
            loudest = std::max(loudest, std::fabs(s));
        EXPECT_GT(loudest, 0.05f);
        // As long as ffmpeg decodes it (the pictures may go on after it).
        EXPECT_NEAR(double(decoder->frameCount()) / 48000, double(decodedSound(source).second) / 48000, 0.05);
    }

    // Saved self-contained, ffmpeg finds the same streams, pictures and sound.
    const std::string saved = (dir / "saved.mov").string();
    ASSERT_TRUE(movie->writeToFile(saved, { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();
    auto savedStreams = streams(saved);
    EXPECT_EQ(savedStreams, sourceStreams);
    if (c.video) {
        EXPECT_EQ(hashes(ffmpegFrameHashes(saved)), hashes(ffmpegFrameHashes(source)));
        // At their times from the movie's start, as in the source (the first shows from the start on):
        // the sound stays with them. (The movie starts where the sound is first heard, which may be a few
        // milliseconds after the container's start: Opus skips its first samples.)
        auto savedPictures = movara::test::movie::timedFrames(saved, "0:v:0").frames;
        if (!pictureTimes.empty() && savedPictures.size() == pictureTimes.size()) {
            EXPECT_NEAR(savedPictures[0].time, 0, 0.002);
            for (size_t i = 1; i < pictureTimes.size(); ++i)
                EXPECT_NEAR(savedPictures[i].time, pictureTimes[i] - start, 0.008) << "picture " << i;
        }
    }
    if (c.audio) {
        auto [sourceMD5, sourceLength] = decodedSound(source);
        auto [savedMD5, savedLength] = decodedSound(saved);
        // Encoder priming and the trimmed end of the last packet are not carried over exactly.
        EXPECT_NEAR(double(savedLength), double(sourceLength), 1024);
        if (c.losslessAudio) {
            EXPECT_EQ(savedMD5, sourceMD5);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, ImportFormats,
    ::testing::Values(FormatCase { "WebM_VP8_Vorbis", "vp8_vorbis.webm",
                          { "-c:v", "libvpx", "-b:v", "300k", "-c:a", "libvorbis" } },
        FormatCase { "WebM_VP9_Opus", "vp9_opus.webm",
            { "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "300k", "-c:a",
                "libopus" } },
        FormatCase { "Matroska_H264_AAC", "h264_aac.mkv",
            { "-c:v", "libx264", "-preset", "ultrafast", "-g", "12", "-bf", "2", "-c:a", "aac" } },
        FormatCase { "Matroska_HEVC_FLAC", "hevc_flac.mkv",
            { "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none", "-c:a", "flac" },
            true, true, true },
        FormatCase { "TS_H264_AAC", "h264_aac.ts",
            { "-c:v", "libx264", "-preset", "ultrafast", "-g", "12", "-bf", "2", "-c:a", "aac" } },
        FormatCase { "TS_MPEG2_MP2", "mpeg2_mp2.ts", { "-c:v", "mpeg2video", "-c:a", "mp2" } },
        FormatCase { "M2TS_H264_AC3", "h264_ac3.m2ts",
            { "-c:v", "libx264", "-preset", "ultrafast", "-g", "12", "-c:a", "ac3", "-f", "mpegts",
                "-mpegts_m2ts_mode", "1" } },
        FormatCase { "PS_MPEG2_MP2", "mpeg2_mp2.mpg", { "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob" } },
        FormatCase { "VOB_MPEG2_MP2", "mpeg2_mp2.vob", { "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob" } },
        FormatCase { "PS_MPEG1_MP2", "mpeg1_mp2.mpg", { "-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg" } },
        FormatCase { "TS_HEVC_EAC3", "hevc_eac3.ts",
            { "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none", "-c:a", "eac3" } },
        FormatCase { "Matroska_AV1_ALAC", "av1_alac.mkv",
            { "-c:v", "libaom-av1", "-cpu-used", "8", "-row-mt", "1", "-b:v", "200k", "-c:a", "alac" }, true,
            true, true },
        FormatCase { "Ogg_Theora_Vorbis", "theora_vorbis.ogv", { "-c:v", "libtheora", "-c:a", "libvorbis" } },
        FormatCase { "Ogg_Opus", "sound.opus", { "-c:a", "libopus" }, false },
        FormatCase { "FLAC", "sound.flac", { "-c:a", "flac" }, false, true, true },
        FormatCase { "AVI_MPEG4_MP3", "mpeg4_mp3.avi", { "-c:v", "mpeg4", "-c:a", "libmp3lame" } },
        FormatCase { "Matroska_MJPEG_PCM", "mjpeg_pcm.mkv", { "-c:v", "mjpeg", "-c:a", "pcm_s16le" }, true,
            true, true },
        FormatCase { "MOV_ProRes_PCM", "prores.mov",
            { "-c:v", "prores_ks", "-profile:v", "2", "-c:a", "pcm_s16le" }, true, true, true },
        // What people have on their disks: phone video, camera and broadcast files, old downloads.
        FormatCase { "MP4_Rotated_Phone", "rotated.mp4",
            { "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac" }, true, true, false, {},
            { "-metadata:s:v:0", "rotate=90" } },
        FormatCase { "MP4_HEVC_10bit", "hevc10.mp4",
            { "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none", "-pix_fmt",
                "yuv420p10le", "-tag:v", "hvc1", "-c:a", "aac" } },
        FormatCase { "Matroska_HEVC_10bit", "hevc10.mkv",
            { "-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none", "-pix_fmt",
                "yuv420p10le", "-c:a", "aac" } },
        FormatCase { "VOB_Interlaced_MPEG2", "interlaced.vob",
            { "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-top", "1", "-c:a", "mp2", "-f", "vob" } },
        FormatCase { "TS_Interlaced_MPEG2", "interlaced.ts",
            { "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-top", "1", "-c:a", "mp2" } },
        FormatCase { "MP4_VFR_H264", "vfr.mp4",
            { "-c:v", "libx264", "-preset", "ultrafast", "-vf",
                "settb=1/1000,setpts='if(lt(N,12),N*40,480+(N-12)*60)/1000/TB'", "-fps_mode", "vfr", "-c:a",
                "aac" } },
        FormatCase { "Matroska_VFR_H264", "vfr.mkv",
            { "-c:v", "libx264", "-preset", "ultrafast", "-vf",
                "settb=1/1000,setpts='if(lt(N,12),N*40,480+(N-12)*60)/1000/TB'", "-fps_mode", "vfr", "-c:a",
                "aac" } },
        FormatCase { "MP3", "sound.mp3", { "-c:a", "libmp3lame" }, false },
        FormatCase { "M4A_AAC", "sound.m4a", { "-c:a", "aac" }, false },
        FormatCase { "AAC_ADTS", "sound.aac", { "-c:a", "aac" }, false },
        FormatCase { "WAV", "sound.wav", { "-c:a", "pcm_s16le" }, false, true, true },
        FormatCase { "AIFF", "sound.aiff", { "-c:a", "pcm_s16be" }, false, true, true },
        FormatCase { "Ogg_Vorbis", "sound.ogg", { "-c:a", "libvorbis" }, false },
        FormatCase { "WMV_ASF", "movie.wmv", { "-c:v", "wmv2", "-c:a", "wmav2" }, true, true, false, {}, {},
            true },
        FormatCase { "FLV_Sorenson_MP3", "movie.flv", { "-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "44100" } },
        FormatCase { "FLV_H264_AAC", "h264.flv", { "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac" } },
        FormatCase { "3GP_H263_AAC", "movie.3gp",
            { "-c:v", "h263", "-s", "176x144", "-c:a", "aac", "-ar", "16000", "-ac", "1" } },
        FormatCase { "AVI_MJPEG_PCM", "mjpeg.avi", { "-c:v", "mjpeg", "-c:a", "pcm_s16le" }, true, true, true },
        FormatCase { "MP4_Two_Languages", "languages.mp4",
            { "-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                "aac", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=fra" },
            true, true, false, { "-f", "lavfi", "-i", "sine=frequency=880:sample_rate=48000:duration=1" } },
        FormatCase { "Matroska_Two_Languages", "languages.mkv",
            { "-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                "aac", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=fra" },
            true, true, false, { "-f", "lavfi", "-i", "sine=frequency=880:sample_rate=48000:duration=1" } }),
    [](const auto& info) { return std::string(info.param.name); });

// Cover art (an attached picture) is a video track of its one picture, shown from the start to the end of
// the sound: decoded as ffmpeg decodes it, saved as a movie ffprobe reads with that picture, and found
// again in the cache by a second open.
TEST(ImportCoverArt, IsShownForTheWholeMovieAndSaved)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string jpeg = (dir / "cover.jpg").string(), png = (dir / "cover.png").string();
    for (const auto& picture : { jpeg, png })
        ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                      "testsrc=size=96x64:rate=1:duration=1", "-frames:v", "1", picture })
                      .status,
            0);
    struct Case {
        const char* name;
        const char* file;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        { "MP3 with a JPEG", "sound.mp3",
            { "-i", jpeg, "-map", "0", "-map", "1", "-c:a", "libmp3lame", "-c:v", "copy", "-disposition:v",
                "attached_pic" } },
        { "FLAC with a PNG", "sound.flac",
            { "-i", png, "-map", "0", "-map", "1", "-c:a", "flac", "-c:v", "copy", "-disposition:v",
                "attached_pic" } },
        { "Matroska with a cover attached", "sound.mka",
            { "-attach", jpeg, "-metadata:s:t", "mimetype=image/jpeg", "-metadata:s:t", "filename=cover.jpg",
                "-c:a", "libvorbis" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / c.file).string();
        std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
        argv.insert(argv.end(), kSound.begin(), kSound.end());
        argv.insert(argv.end(), c.output.begin(), c.output.end());
        argv.push_back(path);
        auto made = runCommand(argv);
        ASSERT_EQ(made.status, 0) << made.output;
        auto cover = ffmpegFrameHashes(path);
        ASSERT_EQ(cover.size(), 1u);

        for (int open = 0; open < 2; ++open) {
            SCOPED_TRACE(open == 0 ? "first open" : "second open, from the cache");
            HXError error;
            auto movie = MVMovie::movieWithFile(path, &error);
            ASSERT_TRUE(movie) << error.localizedDescription();
            EXPECT_TRUE(movie->openWarnings().empty()) << movie->openWarnings().front();
            auto videoTracks = movie->tracksOfMediaType(MVFourCC("vide"));
            auto soundTracks = movie->tracksOfMediaType(MVFourCC("soun"));
            ASSERT_EQ(videoTracks.size(), 1u);
            ASSERT_EQ(soundTracks.size(), 1u);
            EXPECT_EQ(videoTracks[0]->media()->sampleCount(), 1);
            EXPECT_EQ(videoTracks[0]->duration(), soundTracks[0]->duration());
            EXPECT_EQ(videoTracks[0]->duration(), movie->durationValue());
            EXPECT_NEAR(double(movie->durationValue()) / movie->timeScale(), 1.0, 0.1);
            auto [width, height] = movie->naturalSize();
            EXPECT_EQ(width, 96);
            EXPECT_EQ(height, 64);
            auto decoder = MVVideoTrackDecoder::decoderWithSource(
                std::make_shared<MVMediaSampleSource>(*videoTracks[0]), &error);
            ASSERT_TRUE(decoder) << error.localizedDescription();
            for (int64_t at : { int64_t(0), movie->durationValue() - 1 }) {
                auto picture = decoder->frameAtTime(at, &error);
                ASSERT_TRUE(picture) << at << ": " << error.localizedDescription();
                EXPECT_EQ(pictureMD5(picture->avFrame()), cover[0].md5) << at;
            }
            if (open == 1)
                continue;
            const std::string saved = (dir / "saved.mov").string();
            ASSERT_TRUE(movie->writeToFile(saved, { { MVMovieFlatten, true } }, &error))
                << error.localizedDescription();
            EXPECT_EQ(streams(saved).size(), 2u);
            auto savedPictures = ffmpegFrameHashes(saved);
            ASSERT_FALSE(savedPictures.empty());
            EXPECT_EQ(savedPictures[0].md5, cover[0].md5);
            EXPECT_NEAR(probeNumber(saved, "format=duration"), 1.0, 0.1);
        }
    }
}

} // namespace
