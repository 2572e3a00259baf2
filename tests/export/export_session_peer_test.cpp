// Export sessions checked by ffprobe and ffmpeg: every kind of export writes a file they read, with the
// streams it should hold; the movie export copies the samples, so its frames decode exactly like the
// source's; the serialised session survives python's plistlib; a failing or stopped export leaves
// nothing behind and says why.
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "platform/mvkit/export/export_session.h"
#include "platform/mvkit/movie.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace movara::test;
namespace fs = std::filesystem;

namespace {

bool havePeers()
{
    return haveProgram("ffmpeg") && haveProgram("ffprobe");
}

std::vector<std::string> folderContents(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::shared_ptr<MVMovie> openMovie(const fs::path& path)
{
    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    EXPECT_TRUE(movie) << error.localizedDescription();
    return movie;
}

class ExportSessionPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!havePeers())
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        source = temp / "source.mov";
        ASSERT_TRUE(movie::makeMovie(source, 2));
        out = temp / "out";
        fs::create_directory(out);
    }
    TempDir temp;
    fs::path source, out;
};

TEST_F(ExportSessionPeer, EveryKindWritesWhatFfprobeReads)
{
    struct Case {
        MVExporterKind kind;
        const char* file;
        std::vector<std::string> codecs;
        long videoFrames; // 0: not checked
    } cases[] = {
        { MVExporterKind::Movie, "a.mov", { "mpeg4", "aac" }, 20 },
        { MVExporterKind::MPEG4, "a.mp4", { "h264", "aac" }, 20 },
        { MVExporterKind::Phone, "a.m4v", { "h264", "aac" }, 20 },
        { MVExporterKind::AudioOnly, "a.m4a", { "aac" }, 0 },
        { MVExporterKind::Wave, "a.wav", { "pcm_s16le" }, 0 },
    };
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto session = MVExportSession::create(movie);
        session->setExporter(MVExporter::exporterOfKind(c.kind));
        session->setTargetPath((out / c.file).string());
        double last = -1;
        bool ordered = true;
        std::string message;
        EXPECT_EQ(session->perform(
                      [&](double f) {
                          ordered = ordered && f >= last;
                          last = f;
                          return 0;
                      },
                      &message),
            0)
            << message;
        EXPECT_TRUE(ordered);
        EXPECT_DOUBLE_EQ(last, 1.0);
        auto streams = movie::probeStreams(out / c.file);
        std::vector<std::string> codecs;
        for (const auto& s : streams)
            codecs.push_back(s.codec);
        EXPECT_EQ(codecs, c.codecs);
        if (c.videoFrames && !streams.empty()) {
            EXPECT_EQ(streams[0].frames, c.videoFrames);
            // Every picture is shown, the last one included (it lasts until the movie's end).
            EXPECT_EQ(long(movie::frameHashes(out / c.file, "0:v").size()), c.videoFrames);
        }
        if (!streams.empty()) {
            EXPECT_NEAR(streams.back().duration, 2.0, 0.15);
        }
    }
    // Only the finished files: no partial or intermediate file stays.
    EXPECT_EQ(
        folderContents(out), (std::vector<std::string> { "a.m4a", "a.m4v", "a.mov", "a.mp4", "a.wav" }));
}

// A movie cut at pictures between its key pictures (its file then holds pictures that are only decoded,
// at times apart from the ones shown) exports at its own rate: a picture for every frame of it, at its
// time, and the sound as long.
TEST_F(ExportSessionPeer, EditedMovieExportsAPictureForEveryFrame)
{
    auto source = temp / "long-groups.mov";
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc=size=160x120:rate=25:duration=10", "-f", "lavfi", "-i",
                             "sine=frequency=440:sample_rate=44100:duration=10", "-c:v", "libx264", "-bf",
                             "3", "-g", "50", "-c:a", "aac", source.string() })
                  .status,
        0);
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    for (int i = 1; i <= 8; ++i) {
        movie->setSelection({ MVMakeTime(i * 900 + 130, 1000), MVMakeTime(200, 1000) });
        movie->clear();
    }
    auto session = MVExportSession::create(movie);
    session->setExporter(MVExporter::exporterOfKind(MVExporterKind::MPEG4));
    session->setTargetPath((out / "edited.mp4").string());
    std::string message;
    ASSERT_EQ(session->perform({}, &message), 0) << message;
    auto frames = movie::timedFrames(out / "edited.mp4", "0:v").frames;
    ASSERT_EQ(frames.size(), 210u); // 8.4 s
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_NEAR(frames[i].time, double(i) / 25, 0.001) << "picture " << i;
    auto streams = movie::probeStreams(out / "edited.mp4");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_NEAR(streams[1].duration, 8.4, 0.03);
}

TEST_F(ExportSessionPeer, MovieExportCopiesSamplesSoFramesMatchTheSource)
{
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    auto session = MVExportSession::create(movie);
    session->setExporter(MVExporter::exporterOfKind(MVExporterKind::Movie));
    session->setTargetPath((out / "copy.mov").string());
    ASSERT_EQ(session->perform({}), 0);
    auto expected = movie::frameHashes(source);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(movie::frameHashes(out / "copy.mov"), expected);
}

TEST_F(ExportSessionPeer, ImageSequenceWritesOnePngPerFrameFittedToTheBox)
{
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    auto session = MVExportSession::create(movie);
    session->setExporter(MVExporter::exporterOfKind(MVExporterKind::ImageSequence));
    session->setSettings({ { "MVExpWidth", 80 }, { "MVExpHeight", 80 }, { "MVExpFrameRate", 5 } });
    session->setTargetPath((out / "shot.png").string());
    std::string message;
    ASSERT_EQ(session->perform({}, &message), 0) << message;
    auto names = folderContents(out);
    ASSERT_EQ(names.size(), 10u); // 2 s at 5 frames per second
    EXPECT_EQ(names.front(), "shot0001.png");
    EXPECT_EQ(names.back(), "shot0010.png");
    auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height",
        "-of", "csv=p=0", (out / "shot0004.png").string() });
    EXPECT_EQ(probe.output, "png,80,60\n");
}

TEST_F(ExportSessionPeer, SettingsScaleAndSlowTheVideo)
{
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    auto session = MVExportSession::create(movie);
    session->setExporter(MVExporter::exporterOfKind(MVExporterKind::MPEG4));
    session->setSettings({ { "MVExpWidth", 100 }, { "MVExpHeight", 100 }, { "MVExpFrameRate", 5.0 },
        { "MVExpAudioNumChannels", 1 }, { "MVExpAudioSampleRate", 22050 } });
    session->setTargetPath((out / "small.mp4").string());
    ASSERT_EQ(session->perform({}), 0);
    auto probe = runCommand(
        { "ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height,channels,sample_rate",
            "-of", "csv=p=0", (out / "small.mp4").string() });
    EXPECT_EQ(probe.output, "h264,100,76\naac,22050,1\n");
    auto streams = movie::probeStreams(out / "small.mp4");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].frames, 10); // 2 s at 5 frames per second
}

TEST_F(ExportSessionPeer, SerialisedSessionRoundTripsThroughPlistlib)
{
    if (!haveProgram("python3"))
        GTEST_SKIP() << "python3 is needed";
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    auto session = MVExportSession::create(movie);
    session->setExporter(MVExporter::exporterOfKind(MVExporterKind::AudioOnly));
    session->setSettings({ { "MVExpAudioDataRate", 8000 } });
    session->setTargetPath((out / "sound.m4a").string());
    auto form = session->serialize();
    ASSERT_TRUE(form);
    writeFile(temp / "session.plist", std::string(form->view()));
    // python reads it, checks it and writes it back in its own way.
    auto result = runCommand({ "python3", "-c",
        "import plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "assert d['MVExportSessionVersion']==1\n"
        "assert d['MVExportSessionExporter']==0x4D344120\n"
        "assert d['MVExportSessionSettings']=={'MVExpAudioDataRate':8000}\n"
        "assert d['MVExportSessionMovie'][4:8]==b'moov'\n"
        "d['MVExportSessionTarget']=sys.argv[2]\n"
        "plistlib.dump(d,open(sys.argv[1],'wb'))\n"
        "print('ok')\n",
        (temp / "session.plist").string(), (out / "again.m4a").string() });
    ASSERT_EQ(result.output, "ok\n");
    HXError error;
    auto back = MVExportSession::createFromSerialization(HXData(readFile(temp / "session.plist")), &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    EXPECT_EQ(back->exporter().kind, MVExporterKind::AudioOnly);
    EXPECT_EQ(back->targetName(), "again.m4a");
    std::string message;
    ASSERT_EQ(back->perform({}, &message), 0) << message;
    auto streams = movie::probeStreams(out / "again.m4a");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, "aac");
}

TEST_F(ExportSessionPeer, FailingExportsLeaveNothingAndSayWhy)
{
    auto movie = openMovie(source);
    ASSERT_TRUE(movie);
    auto silentSource = temp / "silent.mov";
    ASSERT_TRUE(movie::makeMovie(silentSource, 1, ""));
    auto silent = openMovie(silentSource);
    ASSERT_TRUE(silent);
    writeFile(out / "keep.mp4", "old contents");
    struct Case {
        const char* name;
        std::shared_ptr<MVMovie> movie;
        MVExporterKind kind;
        fs::path target;
        int stopAt; // progress calls before the stop (-1: never)
        int status;
        const char* messagePart;
    } cases[] = {
        { "missing folder", movie, MVExporterKind::MPEG4, out / "nowhere" / "a.mp4", -1, MVExportIOErr, "" },
        { "movie into missing folder", movie, MVExporterKind::Movie, out / "nowhere" / "a.mov", -1,
            MVExportIOErr, "" },
        { "stopped encoding", movie, MVExporterKind::MPEG4, out / "keep.mp4", 20, MVExportProgressStoppedErr,
            "" },
        { "stopped copying", movie, MVExporterKind::Movie, out / "b.mov", 0, MVExportProgressStoppedErr, "" },
        { "stopped images", movie, MVExporterKind::ImageSequence, out / "img.png", 5,
            MVExportProgressStoppedErr, "" },
        { "no sound", silent, MVExporterKind::AudioOnly, out / "c.m4a", -1, MVExportInvalidMovieErr,
            "no sound" },
        { "relative target", movie, MVExporterKind::MPEG4, "d.mp4", -1, MVExportParamErr, "destination" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = MVExportSession::create(c.movie);
        session->setExporter(MVExporter::exporterOfKind(c.kind));
        session->setTargetPath(c.target.string());
        int calls = 0;
        std::string message;
        int status = session->perform(
            [&](double) { return c.stopAt >= 0 && calls++ >= c.stopAt ? 1 : 0; }, &message);
        EXPECT_EQ(status, c.status) << message;
        if (c.status != MVExportProgressStoppedErr) {
            EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
        }
    }
    // The old file a stopped export would have replaced is untouched; nothing else was left.
    EXPECT_EQ(readFile(out / "keep.mp4"), "old contents");
    EXPECT_EQ(folderContents(out), (std::vector<std::string> { "keep.mp4" }));
}

TEST(ExportSession, UnreadableSerialisationsAreRefused)
{
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        { "garbage", "not a property list" },
        { "truncated",
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>MVExportSessionVersion</key>" },
        { "wrong version",
            HXPropertyList(HXPropertyList::Dictionary { { "MVExportSessionVersion", 7 } }).toXML() },
        { "unknown exporter",
            HXPropertyList(HXPropertyList::Dictionary { { "MVExportSessionVersion", 1 },
                               { "MVExportSessionExporter", 1234 }, { "MVExportSessionTarget", "/tmp/x" } })
                .toXML() },
        { "no movie",
            HXPropertyList(
                HXPropertyList::Dictionary { { "MVExportSessionVersion", 1 },
                    { "MVExportSessionExporter", 0x6D706734 }, { "MVExportSessionTarget", "/tmp/x" } })
                .toXML() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXError error;
        EXPECT_FALSE(MVExportSession::createFromSerialization(HXData(std::string_view(c.bytes)), &error));
        EXPECT_NE(error.code(), 0);
    }
}

} // namespace
