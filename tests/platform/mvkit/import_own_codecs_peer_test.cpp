// Files whose sound or pictures no movie-file sample description names (TTA, WavPack, RealAudio,
// RealVideo, animated PNG, the planar YUV of Y4M files, ...), made by ffmpeg: they open with the
// program's own description, with the tracks and duration ffprobe sees, every picture and the sound as
// ffmpeg decodes them, again from the import cache on a second open; a save refuses and names the track,
// and an export converts them into a file ffprobe reads.
#include "audio_capture.h"
#include "decoder_test_support.h"
#include "test_support.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/codec_parameters_description.h"
#include "platform/mvkit/export/export_session.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/video_track_decoder.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

using namespace movara::test;

namespace {

struct OwnCodecCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> ffmpeg; // inputs and output options
    std::vector<std::string> codecs; // "video,rv20" / "audio,tta", as ffprobe names the streams
    bool lossless = false; // the decoded sound must be ffmpeg's, sample for sample
};

const std::vector<std::string> kPicture = { "-f", "lavfi", "-i", "testsrc=size=176x144:rate=25:duration=1" };
const std::vector<std::string> kSound
    = { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=1", "-ac", "2" };

std::vector<std::string> with(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string probe(const std::string& path, const std::vector<std::string>& what)
{
    std::vector<std::string> argv = { "ffprobe", "-v", "error" };
    argv.insert(argv.end(), what.begin(), what.end());
    argv.insert(argv.end(), { "-of", "csv=p=0", path });
    return runCommand(argv).output;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out.push_back(line);
    return out;
}

// "video,rv20" lines of the sound and picture streams, in order.
std::vector<std::string> streams(const std::string& path)
{
    std::vector<std::string> out;
    for (const auto& line : lines(probe(path, { "-show_entries", "stream=codec_type,codec_name" }))) {
        auto comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        std::string name = line.substr(0, comma), type = line.substr(comma + 1);
        if (type == "video" || type == "audio")
            out.push_back(type + "," + name);
    }
    return out;
}

// The file's duration as ffprobe states it, or else where its last packet ends or its sound as ffmpeg
// decodes it (RealAudio files ffmpeg writes state no times: every packet is at 0).
double duration(const std::string& path)
{
    try {
        if (double stated = std::stod(probe(path, { "-show_entries", "format=duration" })); stated > 0)
            return stated;
    } catch (...) {
    }
    double end = double(ffmpegSamples(path, 48000, 2).size()) / 96000;
    for (const auto& line : lines(probe(path, { "-show_entries", "packet=pts_time,duration_time" }))) {
        double at = 0, length = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &at, &length) >= 1)
            end = std::max(end, at + length);
    }
    return end;
}

bool ownDescription(const MVTrack& track)
{
    return track.media() && !track.media()->sampleDescriptions().empty()
        && MVIsCodecParametersDescription(track.media()->sampleDescriptions().front());
}

// The whole sound of `track`, as 48 kHz stereo floats.
std::vector<float> decodeSound(const MVTrack& track)
{
    HXError error;
    auto decoder = MVAudioTrackDecoder::decoderWithSource(
        std::make_shared<MVMediaSampleSource>(track), MVAudioFormat { 48000, 2 }, &error);
    EXPECT_TRUE(decoder) << error.localizedDescription();
    if (!decoder)
        return {};
    std::vector<float> samples(size_t(decoder->frameCount()) * 2);
    EXPECT_TRUE(decoder->read(0, int(decoder->frameCount()), samples.data(), &error))
        << error.localizedDescription();
    return samples;
}

// Every picture of the movie's first video track is ffmpeg's picture of that time.
void expectFfmpegPictures(const MVMovie& movie, const std::string& path)
{
    auto videoTracks = movie.tracksOfMediaType(MVFourCC("vide"));
    ASSERT_FALSE(videoTracks.empty());
    auto expected = ffmpegFrameHashes(path);
    ASSERT_GE(expected.size(), 10u);
    const double start = expected.front().time;
    HXError error;
    auto decoder = MVVideoTrackDecoder::decoderWithSource(
        std::make_shared<MVMediaSampleSource>(*videoTracks[0]), &error);
    ASSERT_TRUE(decoder) << error.localizedDescription();
    const int32_t scale = movie.timeScale();
    // Last first: each picture is one the decoder goes back for.
    for (size_t k = expected.size(); k-- > 0;) {
        int64_t at = int64_t(std::ceil((expected[k].time - start) * scale)) + 1;
        auto picture = decoder->frameAtTime(at, &error);
        ASSERT_TRUE(picture) << "picture " << k << ": " << error.localizedDescription();
        EXPECT_EQ(pictureMD5(picture->avFrame()), expected[k].md5) << "picture " << k;
    }
}

// The sound is ffmpeg's: as long, and the same samples (lossless codecs) or close to them.
void expectFfmpegSound(const MVMovie& movie, const std::string& path, bool lossless)
{
    auto soundTracks = movie.tracksOfMediaType(MVFourCC("soun"));
    ASSERT_FALSE(soundTracks.empty());
    auto ours = decodeSound(*soundTracks[0]);
    auto theirs = ffmpegSamples(path, 48000, 2);
    ASSERT_FALSE(theirs.empty());
    EXPECT_NEAR(double(ours.size()) / 96000, double(theirs.size()) / 96000, 0.03);
    float loudest = 0;
    double difference = 0;
    const size_t common = std::min(ours.size(), theirs.size());
    for (size_t i = 0; i < common; ++i) {
        loudest = std::max(loudest, std::fabs(ours[i]));
        difference += double(ours[i] - theirs[i]) * double(ours[i] - theirs[i]);
    }
    // RealAudio 1.0 at 8 kHz keeps a fifth of the tone's level.
    EXPECT_GT(loudest, 0.01f);
    const double rms = common ? std::sqrt(difference / double(common)) : 1;
    EXPECT_LT(rms, lossless ? 1e-4 : 0.02) << "the sound is not ffmpeg's";
}

class ImportOwnCodecs : public ::testing::TestWithParam<OwnCodecCase> { };

TEST_P(ImportOwnCodecs, OpensAndPlaysAsFfmpegDecodesIt)
{
    const OwnCodecCase c = GetParam();
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string path = (dir / c.fileName).string();
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    argv.insert(argv.end(), c.ffmpeg.begin(), c.ffmpeg.end());
    argv.push_back(path);
    if (auto made = runCommand(argv); made.status != 0)
        GTEST_SKIP() << "this ffmpeg cannot make " << c.fileName << ": " << made.output;
    ASSERT_EQ(streams(path), c.codecs);

    // Twice: the second open takes rewritten samples from the import cache.
    for (int open = 1; open <= 2; ++open) {
        SCOPED_TRACE("open " + std::to_string(open));
        HXError error;
        auto movie = MVMovie::movieWithFile(path, &error);
        ASSERT_TRUE(movie) << error.localizedDescription();
        size_t video = 0, sound = 0;
        for (const auto& codec : c.codecs)
            (codec.starts_with("video") ? video : sound)++;
        auto videoTracks = movie->tracksOfMediaType(MVFourCC("vide"));
        auto soundTracks = movie->tracksOfMediaType(MVFourCC("soun"));
        ASSERT_EQ(videoTracks.size(), video);
        ASSERT_EQ(soundTracks.size(), sound);
        // Streams movie files can describe (AC-3 beside RealVideo) keep their movie-file description.
        for (const auto& track : movie->tracks()) {
            const bool video = track->mediaType() == MVFourCC("vide");
            const auto codec = std::find_if(c.codecs.begin(), c.codecs.end(),
                [&](const std::string& s) { return s.starts_with(video ? "video" : "audio"); });
            EXPECT_EQ(ownDescription(*track), codec != c.codecs.end() && !codec->ends_with(",ac3")) << *codec;
        }
        double seconds = 0;
        ASSERT_TRUE(MVGetTimeInterval(movie->duration(), &seconds));
        EXPECT_NEAR(seconds, duration(path), 1.0 / 25 + 1e-3);
        if (video)
            expectFfmpegPictures(*movie, path);
        if (sound)
            expectFfmpegSound(*movie, path, c.lossless);
        // It plays: the clock moves on with the sound.
        ManualClockScope scope;
        auto playback = MVMoviePlayback::playbackForMovie(movie, silentOptions());
        movie->play();
        scope.clock->advance(0.5);
        EXPECT_NEAR(double(MVTimeInScale(playback->currentTime(), 1000).timeValue) / 1000, 0.5, 0.05);
        movie->stop();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ImportOwnCodecs,
    ::testing::Values(
        // Music files.
        OwnCodecCase { "TTA", "sound.tta", with({ kSound, { "-c:a", "tta" } }), { "audio,tta" }, true },
        OwnCodecCase {
            "WavPack", "sound.wv", with({ kSound, { "-c:a", "wavpack" } }), { "audio,wavpack" }, true },
        // Packets libavformat rebuilds from the file (Matroska strips WavPack's block headers): rewritten
        // into the import cache.
        OwnCodecCase { "Matroska_WavPack", "wavpack.mka", with({ kSound, { "-c:a", "wavpack" } }),
            { "audio,wavpack" }, true },
        OwnCodecCase {
            "Matroska_TTA", "tta.mka", with({ kSound, { "-c:a", "tta" } }), { "audio,tta" }, true },
        // Sound in blocks of a fixed size whose last packet holds fewer blocks than the others (libavformat
        // marks it cut off): its whole blocks play.
        OwnCodecCase { "ADX", "sound.adx",
            with({ { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1" },
                { "-c:a", "adpcm_adx" } }),
            { "audio,adpcm_adx" } },
        // Old RealMedia files: RealAudio 1.0, RealVideo 1 and 2 (with AC-3, which movie files describe).
        OwnCodecCase { "RealAudio_144", "sound.ra",
            with({ kSound, { "-c:a", "real_144", "-ar", "8000", "-ac", "1" } }), { "audio,ra_144" } },
        OwnCodecCase { "RealMedia_RV10_AC3", "rv10.rm",
            with({ kPicture, kSound, { "-c:v", "rv10", "-c:a", "ac3" } }), { "video,rv10", "audio,ac3" } },
        OwnCodecCase { "RealMedia_RV20_AC3", "rv20.rm",
            with({ kPicture, kSound, { "-c:v", "rv20", "-c:a", "ac3" } }), { "video,rv20", "audio,ac3" } },
        OwnCodecCase { "RealMedia_RV20_RealAudio", "rv20-144.rm",
            with({ kPicture, kSound, { "-c:v", "rv20", "-c:a", "real_144", "-ar", "8000", "-ac", "1" } }),
            { "video,rv20", "audio,ra_144" } },
        // Pictures: animated PNG, and Y4M's planar YUV.
        OwnCodecCase { "Animated_PNG", "moving.apng", with({ kPicture, { "-c:v", "apng", "-plays", "0" } }),
            { "video,apng" } },
        OwnCodecCase {
            "Y4M", "pictures.y4m", with({ kPicture, { "-pix_fmt", "yuv420p" } }), { "video,rawvideo" } },
        OwnCodecCase { "FLV_Screen_Video_2", "screen.flv", with({ kPicture, { "-c:v", "flashsv2" } }),
            { "video,flashsv2" } },
        OwnCodecCase { "RoQ", "game.roq",
            with({ { "-f", "lavfi", "-i", "testsrc=size=160x128:rate=30:duration=1" },
                { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050:duration=1" },
                { "-c:v", "roqvideo", "-c:a", "roq_dpcm" } }),
            { "video,roq", "audio,roq_dpcm" } }),
    [](const auto& info) { return std::string(info.param.name); });

// A movie with such a track is not saved as a movie file (no other program would play the track): the
// save fails, names the track, says to export, and leaves nothing behind. Exports convert it into files
// ffprobe reads: the MPEG-4 export to H.264 and AAC, the sound export to AAC.
TEST(ImportOwnCodecsSaving, SaveRefusesAndNamesTheTrackExportConverts)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    const std::string path = (dir / "old.rm").string();
    auto made = runCommand(with({ { "ffmpeg", "-nostdin", "-v", "error", "-y" }, kPicture,
        { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000:duration=1" },
        { "-c:v", "rv20", "-c:a", "real_144", path } }));
    if (made.status != 0)
        GTEST_SKIP() << "this ffmpeg cannot make RealMedia files: " << made.output;
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    for (bool flatten : { true, false }) {
        SCOPED_TRACE(flatten ? "self-contained" : "reference");
        const std::string saved = (dir / "saved.mov").string();
        HXError saveError;
        EXPECT_FALSE(movie->writeToFile(saved, { { MVMovieFlatten, flatten } }, &saveError));
        const std::string text = saveError.localizedDescription();
        EXPECT_NE(text.find("Track 1 (video, RealVideo 2.0)"), std::string::npos) << text;
        EXPECT_NE(text.find("Export"), std::string::npos) << text;
        EXPECT_FALSE(std::filesystem::exists(saved));
    }

    struct Export {
        MVExporterKind kind;
        const char* file;
        std::vector<std::string> codecs;
    } exports[] = {
        { MVExporterKind::MPEG4, "converted.mp4", { "video,h264", "audio,aac" } },
        { MVExporterKind::AudioOnly, "converted.m4a", { "audio,aac" } },
        { MVExporterKind::Movie, "copied.mov", {} }, // copies samples: refused as a save is
    };
    for (const auto& e : exports) {
        SCOPED_TRACE(e.file);
        const std::string target = (dir / e.file).string();
        auto session = MVExportSession::create(movie);
        session->setExporter(MVExporter::exporterOfKind(e.kind));
        session->setTargetPath(target);
        std::string message;
        const int status = session->perform(nullptr, &message);
        if (e.codecs.empty()) {
            EXPECT_NE(status, 0);
            EXPECT_NE(message.find("RealVideo 2.0"), std::string::npos) << message;
            EXPECT_FALSE(std::filesystem::exists(target));
            continue;
        }
        ASSERT_EQ(status, 0) << message;
        EXPECT_EQ(streams(target), e.codecs);
        EXPECT_NEAR(duration(target), duration(path), 0.1);
        // The sound is still the tone (ffmpeg decodes the converted file).
        auto samples = ffmpegSamples(target, 48000, 2);
        float loudest = 0;
        for (float s : samples)
            loudest = std::max(loudest, std::fabs(s));
        EXPECT_GT(loudest, 0.01f);
        if (e.kind == MVExporterKind::MPEG4) {
            EXPECT_GE(ffmpegFrameHashes(target).size(), 24u);
        }
    }
}

} // namespace
