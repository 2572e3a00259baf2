// Editing checked by ffmpeg: cut, undo and paste across movies decode to the expected frames.
#include "movie_peer_fixtures.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

class EditPeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        first = dir / "first.mov";
        second = dir / "second.mov";
        ASSERT_TRUE(makeMovie(first, 10));
        ASSERT_TRUE(makeMovie(second, 3, "aac", "smptebars"));
        firstVideo = frameHashes(first, "0:v");
        secondVideo = frameHashes(second, "0:v");
        ASSERT_EQ(firstVideo.size(), 100u);
        ASSERT_EQ(secondVideo.size(), 30u);
    }

    std::shared_ptr<MVMovie> open(const std::filesystem::path& path)
    {
        HXError error;
        auto m = MVMovie::movieWithFile(path.string(), &error);
        EXPECT_TRUE(m) << error.localizedDescription();
        return m;
    }

    std::vector<std::string> saveAndHash(MVMovie& m, const std::string& name, bool flatten = true)
    {
        HXError error;
        auto path = dir / name;
        EXPECT_TRUE(m.writeToFile(path.string(), { { MVMovieFlatten, flatten } }, &error))
            << error.localizedDescription();
        return frameHashes(path, "0:v",
            flatten ? std::vector<std::string> {} : std::vector<std::string> { "-enable_drefs", "1" });
    }

    static std::vector<std::string> slice(const std::vector<std::string>& v, size_t from, size_t to)
    {
        return { v.begin() + long(from), v.begin() + long(to) };
    }

    TempDir dir;
    std::filesystem::path first, second;
    std::vector<std::string> firstVideo, secondVideo;
};

TEST_F(EditPeerTest, CutTwoSecondsThenUndo)
{
    auto m = open(first);
    ASSERT_TRUE(m);
    HXUndoManager undo;
    m->setUndoManager(&undo);
    auto before = m->newEditState();
    m->setSelection({ MVMakeTime(2, 1), MVMakeTime(2, 1) });
    auto segment = m->cut();
    ASSERT_TRUE(segment);
    EXPECT_NEAR(double(m->durationValue()) / m->timeScale(), 8.0, 0.03);

    auto expected = slice(firstVideo, 0, 20);
    auto rest = slice(firstVideo, 40, 100);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(saveAndHash(*m, "cut.mov"), expected);
    auto streams = probeStreams(dir / "cut.mov");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_NEAR(streams[0].duration, 8.0, 0.05);

    ASSERT_TRUE(undo.canUndo());
    undo.undo();
    for (size_t i = 0; i < before.tracks.size(); ++i) {
        EXPECT_EQ(m->tracks()[i], before.tracks[i].track);
        EXPECT_EQ(m->tracks()[i]->edits(), before.tracks[i].edits);
    }
    EXPECT_EQ(saveAndHash(*m, "undone.mov"), firstVideo);

    undo.redo();
    EXPECT_EQ(saveAndHash(*m, "redone.mov"), expected);
}

TEST_F(EditPeerTest, SegmentPastedIntoAnotherMoviePlaysThere)
{
    auto source = open(first);
    auto target = open(second);
    ASSERT_TRUE(source && target);
    source->setSelection({ MVMakeTime(5, 1), MVMakeTime(1, 1) });
    source->copy();
    target->setSelection({ MVMakeTime(1, 1), MVMakeTime(0, 1) });
    HXUndoManager undo;
    target->setUndoManager(&undo);
    ASSERT_TRUE(target->paste(nullptr));

    // Second's first second, first's 5..6 s, then the rest of second.
    auto expected = slice(secondVideo, 0, 10);
    auto pasted = slice(firstVideo, 50, 60);
    auto rest = slice(secondVideo, 10, 30);
    expected.insert(expected.end(), pasted.begin(), pasted.end());
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(saveAndHash(*target, "pasted.mov"), expected);

    // The pasted media still lives in the first file: a reference movie names both files.
    EXPECT_EQ(target->dataReferences().size(), 2u);
    auto reference = dir / "pasted-ref.mov";
    HXError error;
    ASSERT_TRUE(target->writeToFile(reference.string(), { { MVMovieFlatten, false } }, &error));
    auto reopened = open(reference);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(saveAndHash(*reopened, "pasted-ref-flat.mov"), expected);

    undo.undo();
    EXPECT_EQ(target->dataReferences().size(), 1u);
    EXPECT_EQ(saveAndHash(*target, "paste-undone.mov"), secondVideo);
}

TEST_F(EditPeerTest, ReferenceMovieOfOneFilePerTrackDecodesInFfmpeg)
{
    // The video of the first movie, the sound of the second: each track names one file.
    auto m = open(first);
    auto other = open(second);
    ASSERT_TRUE(m && other);
    m->setSelection({ MVMakeTime(0, 1), MVMakeTime(3, 1) });
    m->trim();
    m->removeTrack(m->tracksOfMediaType(MVFourCC("soun")).front());
    other->setSelection({ MVMakeTime(0, 1), MVMakeTime(3, 1) });
    auto soundOnly = other->copySelection();
    soundOnly->removeTrack(soundOnly->tracksOfMediaType(MVFourCC("vide")).front());
    m->setSelection({ MVMakeTime(0, 1), MVMakeTime(0, 1) });
    ASSERT_TRUE(m->add(soundOnly));

    EXPECT_EQ(saveAndHash(*m, "mixed-ref.mov", false), slice(firstVideo, 0, 30));
    auto sound = frameHashes(dir / "mixed-ref.mov", "0:a", { "-enable_drefs", "1" });
    EXPECT_EQ(sound, frameHashes(second, "0:a"));
}

// A segment of another codec or size pasted into a movie: each track that ffmpeg reads holds one kind of
// sample it decodes (no sample skipped, none decoded with the wrong setup), and each picture shows at
// its time; a track with nothing to show for a while shows nothing then.
TEST_F(EditPeerTest, PasteOfAnotherCodecOrSizeKeepsEveryPictureReadable)
{
    auto make
        = [&](const std::filesystem::path& path, const std::string& size, std::vector<std::string> codec) {
              std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi",
                  "-i", "testsrc=size=" + size + ":rate=10:duration=10", "-f", "lavfi", "-i",
                  "sine=frequency=440:sample_rate=8000:duration=10" };
              args.insert(args.end(), codec.begin(), codec.end());
              args.insert(args.end(), { "-c:a", "aac", path.string() });
              return runCommand(args).status == 0;
          };
    const std::vector<std::string> mpeg4 = { "-c:v", "mpeg4", "-g", "1", "-q:v", "6" };
    const std::vector<std::string> mjpeg = { "-c:v", "mjpeg", "-q:v", "6" };
    const std::vector<std::string> h264
        = { "-c:v", "libx264", "-preset", "ultrafast", "-g", "10", "-bf", "2" };
    struct Case {
        const char* name;
        std::string targetSize;
        std::vector<std::string> targetCodec;
        std::string sourceSize;
        std::vector<std::string> sourceCodec;
        bool joins; // the pasted pictures go into the target's own track
    };
    const Case cases[] = {
        { "MPEG-4 of another size into MPEG-4", "160x120", mpeg4, "320x240", mpeg4, false },
        { "Motion JPEG into MPEG-4", "160x120", mpeg4, "160x120", mjpeg, false },
        { "H.264 of another size into H.264", "160x120", h264, "320x240", h264, false },
        { "H.264 made alike into H.264", "160x120", h264, "160x120", h264, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto targetPath = dir / "target.mov";
        auto sourcePath = dir / "source.mov";
        ASSERT_TRUE(make(targetPath, c.targetSize, c.targetCodec));
        ASSERT_TRUE(make(sourcePath, c.sourceSize, c.sourceCodec));
        auto targetFrames = timedFrames(targetPath, "0:v").frames;
        auto sourceFrames = timedFrames(sourcePath, "0:v").frames;
        ASSERT_EQ(targetFrames.size(), 100u);
        ASSERT_EQ(sourceFrames.size(), 100u);
        auto source = open(sourcePath);
        auto target = open(targetPath);
        ASSERT_TRUE(source && target);
        source->setSelection({ MVMakeTime(0, 1), MVMakeTime(1, 1) });
        source->copy();
        target->setSelection({ MVMakeTime(1, 1), MVMakeTime(0, 1) });
        ASSERT_TRUE(target->paste(nullptr));
        EXPECT_EQ(target->tracksOfMediaType(MVFourCC("vide")).size(), c.joins ? 1u : 2u);
        HXError error;
        auto saved = dir / "pasted.mov";
        ASSERT_TRUE(target->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();

        // What each video track of the file should show: (time, hash).
        std::vector<std::pair<double, std::string>> first, second;
        for (size_t i = 0; i < 10; ++i)
            first.push_back({ double(i) / 10, targetFrames[i].hash });
        for (size_t i = 0; i < 10; ++i)
            (c.joins ? first : second).push_back({ 1 + double(i) / 10, sourceFrames[i].hash });
        for (size_t i = 10; i < 100; ++i)
            first.push_back({ 1 + double(i) / 10, targetFrames[i].hash });
        for (auto [map, expected] : { std::pair { "0:v:0", first }, std::pair { "0:v:1", second } }) {
            SCOPED_TRACE(map);
            if (expected.empty())
                continue;
            auto decoded = timedFrames(saved, map);
            // (ffmpeg notes each empty edit after the first one it reads: no fault of the file.)
            EXPECT_EQ(decoded.warnings.find("fourcc"), std::string::npos) << decoded.warnings;
            EXPECT_EQ(decoded.warnings.find("corrupt"), std::string::npos) << decoded.warnings;
            ASSERT_EQ(decoded.frames.size(), expected.size()) << decoded.warnings;
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_NEAR(decoded.frames[i].time, expected[i].first, 0.001) << "frame " << i;
                EXPECT_EQ(decoded.frames[i].hash, expected[i].second) << "frame " << i;
            }
        }
    }
}

// A clip without sound pasted into a movie with sound: the sound track has nothing to play for the
// clip's length, and ffmpeg plays silence there (not the start of the track), then the rest on time.
TEST_F(EditPeerTest, PastedClipWithoutSoundIsSilentThere)
{
    auto clip = dir / "clip.mov";
    ASSERT_TRUE(makeMovie(clip, 2, ""));
    // The loudness of ffmpeg's sound of `movie` from `from` to `to` seconds (mono, 8 kHz).
    auto loudness = [](const std::filesystem::path& movie, double from, double to) {
        auto pcm = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-i", movie.string(), "-map", "0:a:0",
                                  "-ac", "1", "-ar", "8000", "-f", "s16le", "-" })
                       .output;
        double sum = 0;
        size_t n = 0;
        for (size_t i = size_t(from * 8000); i < size_t(to * 8000) && 2 * i + 1 < pcm.size(); ++i, ++n) {
            int16_t v = int16_t(uint8_t(pcm[2 * i]) | (uint8_t(pcm[2 * i + 1]) << 8));
            sum += double(v) * v;
        }
        return n ? std::sqrt(sum / double(n)) : -1.0;
    };
    for (const char* codec : { "aac", "pcm_s16le", "libmp3lame" }) {
        SCOPED_TRACE(codec);
        // Sound at 48 kHz: a reader plays the packets at a seam whole, a few milliseconds past it.
        auto target = dir / "target.mov";
        ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                 "testsrc=size=160x120:rate=10:duration=10", "-f", "lavfi", "-i",
                                 "sine=frequency=440:sample_rate=48000:duration=10", "-c:v", "mpeg4", "-g",
                                 "1", "-c:a", codec, target.string() })
                      .status,
            0);
        auto source = open(clip);
        auto m = open(target);
        ASSERT_TRUE(source && m);
        source->setSelection({ MVMakeTime(0, 1), MVMakeTime(1, 1) });
        source->copy();
        m->setSelection({ MVMakeTime(5, 1), MVMakeTime(0, 1) });
        ASSERT_TRUE(m->paste(nullptr));
        HXError error;
        auto saved = dir / "pasted.mov";
        ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
        double before = loudness(saved, 4.2, 4.9), during = loudness(saved, 5.1, 5.9),
               after = loudness(saved, 6.1, 6.9);
        EXPECT_GT(before, 1000);
        EXPECT_LT(during, 50);
        EXPECT_GT(after, 1000);
    }
}

} // namespace
