// Saving movies, checked by ffprobe and ffmpeg: self-contained and reference movies decode to the
// source's frames, a cancelled save leaves the target alone, and an interrupted in-place update leaves
// a file that opens with one of the two headers.
#include "fixtures.h"
#include "movie_peer_fixtures.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_writer.h"
#include "platform/mvkit/playback/movie_frame_image.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

class SavePeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        source = dir / "source.mov";
        ASSERT_TRUE(makeMovie(source, 4));
        sourceHashes = frameHashes(source);
        ASSERT_FALSE(sourceHashes.empty());
    }

    std::shared_ptr<MVMovie> open(const std::filesystem::path& path)
    {
        HXError error;
        auto m = MVMovie::movieWithFile(path.string(), &error);
        EXPECT_TRUE(m) << error.localizedDescription();
        return m;
    }

    TempDir dir;
    std::filesystem::path source;
    std::vector<std::string> sourceHashes;
};

TEST_F(SavePeerTest, SelfContainedSaveKeepsStreamsAndFrames)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    auto target = dir / "flat.mov";
    HXError error;
    ASSERT_TRUE(m->writeToFile(target.string(), { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();

    auto before = probeStreams(source);
    auto after = probeStreams(target);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].codec, before[i].codec);
        EXPECT_EQ(after[i].frames, before[i].frames);
        EXPECT_NEAR(after[i].duration, before[i].duration, 0.001);
    }
    EXPECT_EQ(frameHashes(target), sourceHashes);
    // The header comes first, then the data.
    auto bytes = readFile(target);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(4, 4), "ftyp");
    size_t ftypSize = size_t(uint8_t(bytes[3]));
    EXPECT_EQ(bytes.substr(ftypSize + 4, 4), "moov");
    // The size the movie announces for a self-contained copy is the data the copy holds.
    auto layout = MVReadMovieFile(target.string(), &error);
    ASSERT_TRUE(layout);
    auto mdat = std::find_if(layout->topLevelAtoms.begin(), layout->topLevelAtoms.end(),
        [](auto& a) { return a.type == MVFourCC("mdat"); });
    ASSERT_NE(mdat, layout->topLevelAtoms.end());
    EXPECT_EQ(uint64_t(m->dataSize()), mdat->size - mdat->headerSize);
}

TEST_F(SavePeerTest, SelfContainedSaveInterleavesTheTracksInTimeOrder)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    auto target = dir / "flat.mov";
    HXError error;
    ASSERT_TRUE(m->writeToFile(target.string(), {}, &error));
    auto file = MVReadMovieFile(target.string(), &error);
    ASSERT_TRUE(file);
    // Every chunk with its start time in seconds, in file order.
    std::vector<std::pair<uint64_t, double>> chunks;
    for (auto& t : file->movie.tracks) {
        const auto& table = t.media.information.sampleTable;
        std::vector<uint64_t> sampleStarts;
        uint64_t time = 0;
        for (auto& run : table.timeToSample)
            for (uint32_t i = 0; i < run.sampleCount; ++i, time += run.sampleDuration)
                sampleStarts.push_back(time);
        size_t sample = 0, run = 0;
        for (size_t c = 0; c < table.chunkOffsets.size(); ++c) {
            while (run + 1 < table.sampleToChunk.size() && table.sampleToChunk[run + 1].firstChunk <= c + 1)
                ++run;
            chunks.push_back(
                { table.chunkOffsets[c], double(sampleStarts.at(sample)) / t.media.header.timeScale });
            sample += table.sampleToChunk[run].samplesPerChunk;
        }
    }
    std::sort(chunks.begin(), chunks.end());
    ASSERT_GT(chunks.size(), 8u); // both tracks in several chunks
    for (size_t i = 1; i < chunks.size(); ++i)
        EXPECT_LE(chunks[i - 1].second, chunks[i].second + 0.1) << "chunk " << i;
}

TEST_F(SavePeerTest, UpdateInPlaceOfAFileWhoseLastAtomRunsToTheEnd)
{
    // ffmpeg puts the header last; stored with size 0 it runs "to the end of the file".
    auto path = dir / "to-end.mov";
    std::filesystem::copy_file(source, path);
    HXError error;
    auto layout = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(layout);
    const auto& last = layout->topLevelAtoms.back();
    ASSERT_EQ(last.type, MVFourCC("moov"));
    auto bytes = readFile(path);
    bytes.replace(size_t(last.offset), 4, std::string(4, '\0'));
    writeFile(path, bytes);
    auto m = open(path);
    ASSERT_TRUE(m);
    m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
    m->clear();
    ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
    auto reopened = open(path);
    ASSERT_TRUE(reopened);
    EXPECT_NEAR(double(reopened->durationValue()) / reopened->timeScale(), 3.0, 0.05);
    auto video = frameHashes(source, "0:v");
    EXPECT_EQ(frameHashes(path, "0:v"), std::vector<std::string>(video.begin() + 10, video.end()));
}

TEST_F(SavePeerTest, UpdateInPlaceKeepsTheBytesOfATruncatedLastAtom)
{
    // A file whose last atom was cut short (an unfinished download): its bytes stay in the file.
    auto path = dir / "cut.mov";
    std::filesystem::copy_file(source, path);
    auto bytes = readFile(path);
    std::string tail = std::string("\0\0\x10\0mdatPARTIAL-DATA", 20);
    writeFile(path, bytes + tail);
    auto m = open(path);
    ASSERT_TRUE(m);
    m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
    m->clear();
    HXError error;
    ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
    auto after = readFile(path);
    EXPECT_NE(after.find("PARTIAL-DATA"), std::string::npos);
    auto video = frameHashes(source, "0:v");
    EXPECT_EQ(frameHashes(path, "0:v"), std::vector<std::string>(video.begin() + 10, video.end()));
}

TEST_F(SavePeerTest, UpdateInPlaceCarriesSamplesMadeInMemory)
{
    auto path = dir / "update.mov";
    std::filesystem::copy_file(source, path);
    const auto before = readFile(path);
    struct Case {
        const char* name;
        mvmodel::UpdateInterruption stop;
        bool expectNew;
    };
    const Case cases[] = { { "stopped after the new data", { 1 }, false }, { "complete", { 3 }, true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, before);
        auto m = open(path);
        ASSERT_TRUE(m);
        HXError error;
        ASSERT_TRUE(MVMovieSetChapters(*m, { { "A", MVMakeTime(0, 1) }, { "B", MVMakeTime(2, 1) } }, &error));
        EXPECT_EQ(mvmodel::updateMovieFile(*m, &error, c.stop), c.expectNew);
        auto reopened = open(path);
        ASSERT_TRUE(reopened);
        auto chapters = MVMovieChapters(*reopened);
        EXPECT_EQ(chapters.size(), c.expectNew ? 2u : 0u);
        if (c.expectNew) {
            EXPECT_EQ(chapters[1].name, "B");
            // The model now reads the chapter samples from the file, not from memory.
            EXPECT_EQ(MVMovieChapters(*m), chapters);
            auto out
                = runCommand({ "ffprobe", "-v", "error", "-show_chapters", "-of", "csv=p=0", path.string() })
                      .output;
            EXPECT_NE(out.find("B"), std::string::npos) << out;
        }
        EXPECT_EQ(frameHashes(path), sourceHashes);
    }
}

TEST_F(SavePeerTest, ReferenceMovieHoldsNoSamplesAndDecodesLikeTheSource)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    auto ref = dir / "ref.mov";
    HXError error;
    ASSERT_TRUE(m->writeToFile(ref.string(), { { MVMovieFlatten, false } }, &error))
        << error.localizedDescription();
    EXPECT_LT(std::filesystem::file_size(ref), std::filesystem::file_size(source) / 5);

    // ffmpeg follows the alias records when asked to.
    EXPECT_EQ(frameHashes(ref, "", { "-enable_drefs", "1" }), sourceHashes);

    // We open it again and a self-contained copy of it decodes the same.
    auto reopened = open(ref);
    ASSERT_TRUE(reopened);
    auto flat = dir / "flat-from-ref.mov";
    ASSERT_TRUE(reopened->writeToFile(flat.string(), {}, &error)) << error.localizedDescription();
    EXPECT_EQ(frameHashes(flat), sourceHashes);
}

TEST_F(SavePeerTest, ReferenceMovieOverItsOwnSourceIsRefused)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    auto bytes = readFile(source);
    HXError error;
    EXPECT_FALSE(m->writeToFile(source.string(), { { MVMovieFlatten, false } }, &error));
    EXPECT_EQ(error.domain(), HXOSStatusErrorDomain);
    EXPECT_EQ(readFile(source), bytes);
}

TEST_F(SavePeerTest, SelfContainedSaveOverItsSourceKeepsTheMovieWorking)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    HXError error;
    ASSERT_TRUE(m->writeToFile(source.string(), {}, &error)) << error.localizedDescription();
    EXPECT_EQ(frameHashes(source), sourceHashes);
    // The movie now reads its samples at their new places.
    auto again = dir / "again.mov";
    ASSERT_TRUE(m->writeToFile(again.string(), {}, &error)) << error.localizedDescription();
    EXPECT_EQ(frameHashes(again), sourceHashes);
}

TEST_F(SavePeerTest, MovieTakesTheFileItWasWrittenTo)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    auto target = dir / "written.mov";
    HXError error;
    ASSERT_TRUE(m->writeToFile(target.string(), {}, &error));
    m->setDataReference(MVDataReference::dataReferenceWithReferenceToFile(target.string()));
    EXPECT_EQ(m->fileName(), target.string());
    ASSERT_TRUE(m->canUpdateMovieFile());
    m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
    m->clear();
    ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
    auto video = frameHashes(source, "0:v");
    EXPECT_EQ(frameHashes(target, "0:v", { "-enable_drefs", "1" }),
        std::vector<std::string>(video.begin() + 10, video.end()));
    m->setDataReference(MVDataReference::dataReferenceWithReferenceToFile((dir / "absent.mov").string()));
    EXPECT_FALSE(m->canUpdateMovieFile());
}

TEST_F(SavePeerTest, CancelledSaveLeavesTheTargetAsItWas)
{
    auto m = open(source);
    ASSERT_TRUE(m);
    auto target = dir / "target.mov";
    writeFile(target, "the old contents");
    struct Case {
        const char* name;
        MVMovieProgressMessage cancelAt;
        bool flatten;
    };
    const Case cases[] = {
        { "self-contained, at open", MVMovieProgressMessage::Open, true },
        { "self-contained, while copying", MVMovieProgressMessage::Percent, true },
        { "reference, at open", MVMovieProgressMessage::Open, false },
        { "reference, after writing", MVMovieProgressMessage::Percent, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MVMovieProgressMessage> seen;
        m->setProgressProc([&](MVMovieProgressMessage message, MVMovieProgressOperation, double) {
            seen.push_back(message);
            return message == c.cancelAt ? 1 : 0;
        });
        HXError error;
        EXPECT_FALSE(m->writeToFile(target.string(), { { MVMovieFlatten, c.flatten } }, &error));
        EXPECT_EQ(error.code(), -128);
        EXPECT_EQ(readFile(target), "the old contents");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2); // no temporary left
    }
    // Without cancelling: open, percents, close, and the file is replaced.
    std::vector<MVMovieProgressMessage> seen;
    m->setProgressProc([&](MVMovieProgressMessage message, MVMovieProgressOperation, double) {
        seen.push_back(message);
        return 0;
    });
    HXError error;
    ASSERT_TRUE(m->writeToFile(target.string(), {}, &error));
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), MVMovieProgressMessage::Open);
    EXPECT_EQ(seen.back(), MVMovieProgressMessage::Close);
    EXPECT_EQ(frameHashes(target), sourceHashes);
}

TEST_F(SavePeerTest, InterruptedUpdateInPlaceOpensWithOldOrNewHeader)
{
    struct Case {
        const char* name;
        mvmodel::UpdateInterruption stop;
        bool expectNew;
    };
    const Case cases[] = {
        { "after the new data", { 1 }, false },
        { "header cut after 8 bytes", { 3, 8 }, false },
        { "header cut halfway", { 3, 200 }, false },
        { "after the new header", { 2 }, false },
        { "complete", { 3 }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = dir / "update.mov";
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        auto m = open(path);
        ASSERT_TRUE(m);
        ASSERT_TRUE(m->canUpdateMovieFile());
        // A change that shows in the header: the second track is disabled, and a movie annotation added.
        m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
        m->clear();
        HXError error;
        bool done = mvmodel::updateMovieFile(*m, &error, c.stop);
        EXPECT_EQ(done, c.expectNew);

        auto reopened = open(path);
        ASSERT_TRUE(reopened);
        double seconds = double(reopened->durationValue()) / reopened->timeScale();
        EXPECT_NEAR(seconds, c.expectNew ? 3.0 : 4.0, 0.05);
        auto hashes = frameHashes(path, "0:v");
        EXPECT_EQ(hashes.size(), c.expectNew ? 30u : 40u);
    }
}

TEST_F(SavePeerTest, UpdateInPlaceTakesInWhatWasPastedFromAnotherFile)
{
    // A second from another movie pasted in, then saved in place: the file holds those samples itself,
    // ffmpeg decodes them (it reads a track from one file), and the other movie can go.
    auto path = dir / "update.mov";
    std::filesystem::copy_file(source, path);
    auto other = dir / "other.mov";
    ASSERT_TRUE(makeMovie(other, 2, "aac", "smptebars"));
    auto otherVideo = frameHashes(other, "0:v");
    auto video = frameHashes(source, "0:v");
    auto m = open(path);
    auto o = open(other);
    ASSERT_TRUE(m && o);
    o->setSelection({ MVMakeTime(0, 1), MVMakeTime(1, 1) });
    o->copy();
    m->setSelection({ MVMakeTime(1, 1), MVMakeTime(0, 1) });
    ASSERT_TRUE(m->paste(nullptr));
    HXError error;
    ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
    o.reset();
    std::filesystem::remove(other);
    std::vector<std::string> expected(video.begin(), video.begin() + 10);
    expected.insert(expected.end(), otherVideo.begin(), otherVideo.begin() + 10);
    expected.insert(expected.end(), video.begin() + 10, video.end());
    EXPECT_EQ(frameHashes(path, "0:v"), expected);
    auto reopened = open(path);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->dataReferences().size(), 1u);
}

TEST_F(SavePeerTest, UpdateInPlaceThatCannotWriteLeavesTheFileAsItWas)
{
    // A file that may not grow past its size and a little more (as on a full disk): the update fails with
    // the reason, and what it appended is taken back.
    struct Case {
        const char* name;
        bool samplesInMemory; // chapters made in memory: samples to append before the header
        uint64_t room;
    };
    const Case cases[] = {
        { "the new header does not fit", false, 64 },
        { "the new samples do not fit", true, 8 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = dir / "update.mov";
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        const auto before = readFile(path);
        auto m = open(path);
        ASSERT_TRUE(m);
        m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
        m->clear();
        HXError error;
        if (c.samplesInMemory) {
            ASSERT_TRUE(
                MVMovieSetChapters(*m, { { "A", MVMakeTime(0, 1) }, { "B", MVMakeTime(2, 1) } }, &error));
        }
        rlimit old {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit small { rlim_t(before.size() + c.room), old.rlim_max };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        bool updated = m->updateMovieFile(&error);
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(updated);
        EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
        EXPECT_EQ(error.code(), EFBIG) << error.localizedDescription();
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(frameHashes(path), sourceHashes);
    }
}

TEST_F(SavePeerTest, UpdateInPlaceTwiceAndAfterAnInterruptedOne)
{
    auto path = dir / "update.mov";
    std::filesystem::copy_file(source, path);
    auto m = open(path);
    ASSERT_TRUE(m);
    m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
    m->clear();
    HXError error;
    EXPECT_FALSE(mvmodel::updateMovieFile(*m, &error, { 3, 100 }));
    ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
    m->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
    m->clear();
    ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
    EXPECT_FALSE(m->hasChanged());
    EXPECT_EQ(frameHashes(path, "0:v").size(), 20u);
    auto expected = std::vector<std::string>(sourceHashes.begin(), sourceHashes.end());
    auto video = frameHashes(source, "0:v");
    EXPECT_EQ(frameHashes(path, "0:v"), std::vector<std::string>(video.begin() + 20, video.end()));
}

} // namespace

namespace {

// Reordered frames (H.264 with B-frames: composition offsets, sync-sample table, an edit list that skips
// the decoder delay): a plain save and a cut between key frames decode to the expected frames.
TEST(SavePeerReordered, SaveAndCutBetweenKeyFrames)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    TempDir dir;
    auto video = frameHashes(path, "0:v");
    ASSERT_EQ(video.size(), 75u); // 3 s at 25 fps, a key frame every 12
    HXError error;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    auto saved = dir / "saved.mov";
    ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
    EXPECT_EQ(frameHashes(saved, "0:v"), video);

    m->setSelection({ MVMakeTime(1, 1), MVMakeTime(1, 1) });
    m->clear();
    auto cut = dir / "cut.mov";
    ASSERT_TRUE(m->writeToFile(cut.string(), {}, &error)) << error.localizedDescription();
    std::vector<std::string> expected(video.begin(), video.begin() + 25);
    expected.insert(expected.end(), video.begin() + 50, video.end());
    EXPECT_EQ(frameHashes(cut, "0:v"), expected);
}

} // namespace

namespace {

// Cuts that begin at any kind of picture (key, reordered B, P) leave every later picture at its time
// for ffmpeg (which times each segment from the first sample it decodes): no picture late, none held
// twice, whether the samples are copied, referred to, or the file is updated in place.
TEST(SavePeerReordered, CutsAtReorderedPicturesKeepTheirTimes)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    TempDir dir;
    auto source = timedFrames(path, "0:v");
    ASSERT_EQ(source.frames.size(), 75u); // 25 fps, a key frame every 12, two B-frames between the others
    HXError openError;
    auto original = MVMovie::movieWithFile(path.string(), &openError);
    ASSERT_TRUE(original) << openError.localizedDescription();
    enum class Save { SelfContained, Reference, InPlace };
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> cuts; // first frame and count, each in the movie as it then is
        Save save;
    };
    const Case cases[] = {
        { "at a key frame", { { 24, 12 } }, Save::SelfContained },
        { "at a B-frame", { { 13, 10 } }, Save::SelfContained },
        { "at a P-frame", { { 15, 20 } }, Save::SelfContained },
        { "one B-frame", { { 26, 1 } }, Save::SelfContained },
        { "two cuts", { { 5, 3 }, { 40, 7 } }, Save::SelfContained },
        { "at a B-frame, reference movie", { { 13, 10 } }, Save::Reference },
        { "two cuts, updated in place", { { 5, 3 }, { 40, 7 } }, Save::InPlace },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto opened = dir / "opened.mov";
        std::filesystem::copy_file(path, opened, std::filesystem::copy_options::overwrite_existing);
        HXError error;
        auto m = MVMovie::movieWithFile(opened.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        std::vector<size_t> kept; // the source frame each frame of the result shows
        for (size_t i = 0; i < source.frames.size(); ++i)
            kept.push_back(i);
        for (auto [first, count] : c.cuts) {
            m->setSelection({ MVMakeTime(first, 25), MVMakeTime(count, 25) });
            m->clear();
            kept.erase(kept.begin() + first, kept.begin() + first + count);
        }
        auto saved = dir / "saved.mov";
        std::vector<std::string> options;
        if (c.save == Save::InPlace) {
            ASSERT_TRUE(m->updateMovieFile(&error)) << error.localizedDescription();
            saved = opened;
        } else {
            ASSERT_TRUE(
                m->writeToFile(saved.string(), { { MVMovieFlatten, c.save == Save::SelfContained } }, &error))
                << error.localizedDescription();
            if (c.save == Save::Reference)
                options = { "-enable_drefs", "1" };
        }
        auto decoded = timedFrames(saved, "0:v", options);
        ASSERT_EQ(decoded.frames.size(), kept.size()) << decoded.warnings;
        for (size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(decoded.frames[i].hash, source.frames[kept[i]].hash) << "frame " << i;
            EXPECT_NEAR(decoded.frames[i].time, double(i) / 25, 0.001) << "frame " << i;
        }
        // Our own reading of the file shows the same pictures around each seam.
        auto reopened = MVMovie::movieWithFile(saved.string(), &error);
        ASSERT_TRUE(reopened) << error.localizedDescription();
        EXPECT_EQ(reopened->durationValue() * 25, int64_t(kept.size()) * reopened->timeScale());
        for (size_t i = 1; i < kept.size(); ++i) {
            if (kept[i] == kept[i - 1] + 1)
                continue;
            for (size_t j : { i - 1, i, i + 1 }) {
                if (j >= kept.size())
                    continue;
                auto ours = MVMovieFrameImageAtTime(reopened, MVMakeTime(int64_t(2 * j + 1), 50));
                auto theirs = MVMovieFrameImageAtTime(original, MVMakeTime(int64_t(2 * kept[j] + 1), 50));
                ASSERT_TRUE(ours && theirs) << "frame " << j;
                EXPECT_EQ(ours->bitmapImageRep()->RGBAData(), theirs->bitmapImageRep()->RGBAData())
                    << "frame " << j;
            }
        }
    }
}

} // namespace

namespace {

// A cut that ends inside a picture's time: that picture shows from the cut on, once, and every picture
// after it at its time; with pictures reordered or not (whose decoders may not drop the pictures
// decoded but not shown).
TEST(SavePeerCutInsideAPicture, EachPictureShowsOnceAtItsTime)
{
    struct Case {
        const char* name;
        MovieFixture fixture;
        int fps;
        int cutFrom, cutTo; // milliseconds
    };
    const Case cases[] = {
        { "Motion JPEG", MovieFixture::MjpegPcmMov, 10, 530, 1270 },
        { "H.264 with B-frames", MovieFixture::H264AacMov, 25, 530, 1270 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MOVARA_REQUIRE_FIXTURE(path, c.fixture);
        TempDir dir;
        auto source = timedFrames(path, "0:v");
        HXError error;
        auto m = MVMovie::movieWithFile(path.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        m->setSelection({ MVMakeTime(c.cutFrom, 1000), MVMakeTime(c.cutTo - c.cutFrom, 1000) });
        m->clear();
        auto saved = dir / "cut.mov";
        ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
        // Before the cut each picture at its time; the one showing where the cut ends, from the cut on;
        // the rest earlier by the cut's length.
        std::vector<std::pair<double, std::string>> expected;
        const int frame = 1000 / c.fps;
        for (size_t k = 0; k < source.frames.size(); ++k) {
            int from = int(k) * frame, to = from + frame;
            if (to <= c.cutFrom || from < c.cutFrom)
                expected.push_back({ from / 1000.0, source.frames[k].hash });
            else if (from <= c.cutTo && to > c.cutTo)
                expected.push_back({ c.cutFrom / 1000.0, source.frames[k].hash });
            else if (from > c.cutTo)
                expected.push_back({ (from - (c.cutTo - c.cutFrom)) / 1000.0, source.frames[k].hash });
        }
        auto decoded = timedFrames(saved, "0:v");
        ASSERT_EQ(decoded.frames.size(), expected.size()) << decoded.warnings;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(decoded.frames[i].time, expected[i].first, 0.001) << "picture " << i;
            EXPECT_EQ(decoded.frames[i].hash, expected[i].second) << "picture " << i;
        }
    }
}

} // namespace
