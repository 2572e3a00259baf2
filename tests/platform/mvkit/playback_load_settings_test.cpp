// A track's load settings: kept in the movie file as its 'load' atom and read back, and honoured by the
// playback — a track that preloads plays from memory when its file's bytes change under it, and one whose
// media is never purged still does after the playback is rebuilt.
#include "audio_capture.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/sample_data_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace movara::test;

namespace {

constexpr int kLow = 440, kHigh = 1000;

// Overwrites the bytes of every sample of `movie` in its file with zeros (the file keeps its size).
void zeroSampleData(const MVMovie& movie, const std::string& path)
{
    uint64_t start = UINT64_MAX, end = 0;
    for (const auto& track : movie.tracks())
        for (const auto& s : track->media()->samples()) {
            start = std::min(start, s.dataOffset);
            end = std::max(end, s.dataOffset + s.size);
        }
    ASSERT_LT(start, end);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(std::streamoff(start));
    std::string zeros(size_t(end - start), '\0');
    file.write(zeros.data(), std::streamsize(zeros.size()));
    ASSERT_TRUE(file.good());
}

} // namespace

TEST(TrackLoadSettings, KeptInTheFileAsTheLoadAtom)
{
    TempDir dir;
    if (!haveProgram("ffmpeg") || !makeTwoToneMovie(dir / "tones.mov", kLow, kHigh, 1))
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto movie = MVMovie::movieWithFile((dir / "tones.mov").string(), nullptr);
    ASSERT_TRUE(movie);
    auto tracks = movie->tracksOfMediaType(MVFourCC("soun"));
    ASSERT_EQ(tracks.size(), 2u);
    tracks[0]->setNeverPurgeHint(true);
    tracks[1]->setAttributeForKey(true, MVTrackPreloadTrackAttribute);
    EXPECT_TRUE(movie->hasChanged());
    // The preload range of the whole track: a start of −1, no duration, preloaded always.
    auto load = tracks[1]->storedTrackAtom(MVFourCC("load"));
    ASSERT_TRUE(load);
    EXPECT_EQ(*load, (MVBytes { 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0 }));

    HXError error;
    const std::string saved = (dir / "saved.mov").string();
    ASSERT_TRUE(movie->writeToFile(saved, {}, &error)) << error.localizedDescription();
    auto reopened = MVMovie::movieWithFile(saved, &error);
    ASSERT_TRUE(reopened) << error.localizedDescription();
    auto again = reopened->tracksOfMediaType(MVFourCC("soun"));
    ASSERT_EQ(again.size(), 2u);
    struct Case {
        const char* what;
        bool neverPurge;
        bool preloads;
    };
    const Case cases[] = { { "cache hint", true, false }, { "preload", false, true } };
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(again[i]->neverPurgeHint(), cases[i].neverPurge);
        EXPECT_EQ(again[i]->attributeForKey(MVTrackNeverPurgeTrackAttribute), HXPropertyList(cases[i].neverPurge));
        EXPECT_EQ(again[i]->attributeForKey(MVTrackPreloadTrackAttribute), HXPropertyList(cases[i].preloads));
        EXPECT_EQ(again[i]->loadSettings(), tracks[i]->loadSettings());
    }
    // Switched off, the atom goes.
    again[1]->setPreloadHint(0);
    EXPECT_FALSE(again[1]->storedTrackAtom(MVFourCC("load")));
    auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", saved });
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "audio\naudio\n");
}

class TrackLoadPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXRunLoop::main().setClock(clock);
        if (!haveProgram("ffmpeg") || !makeTwoToneMovie(dir / "tones.mov", kLow, kHigh, 2))
            GTEST_SKIP() << "ffmpeg could not make the movie";
    }
    void TearDown() override { HXRunLoop::main().setClock(nullptr); }

    // Which tones a quarter of a second of play from the start lets us hear.
    std::pair<bool, bool> heard(MVMoviePlayback& playback)
    {
        playback.stop();
        playback.setCurrentTime(MVMakeTime(0, 600));
        playback.setRate(1);
        recording->samples.clear();
        clock->advance(0.25);
        const auto format = recording->format();
        auto level = [&](int frequency) {
            return toneAmplitude(recording->samples, format.channelCount, format.sampleRate, frequency);
        };
        return { level(kLow) > 0.05, level(kHigh) > 0.05 };
    }

    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    RecordingOutput* recording = nullptr;
    TempDir dir;
};

TEST_F(TrackLoadPlaybackTest, PreloadedTracksPlayFromMemoryAndTheCacheHintKeepsThem)
{
    using Tones = std::pair<bool, bool>;
    struct Case {
        const char* what;
        bool preload, neverPurge; // of both tracks
        Tones afterChange; // the file's samples zeroed while playing
        Tones afterRebuild; // and then the playback's sources made again
    };
    const Case cases[] = {
        { "no hints", false, false, { false, false }, { false, false } },
        { "preload", true, false, { true, true }, { false, false } },
        { "preload, never purged", true, true, { true, true }, { true, true } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = (dir / (std::string(c.what) + ".mov")).string();
        std::filesystem::copy_file(dir / "tones.mov", path);
        auto movie = MVMovie::movieWithFile(path, nullptr);
        ASSERT_TRUE(movie);
        for (const auto& track : movie->tracks()) {
            track->setAttributeForKey(c.preload, MVTrackPreloadTrackAttribute);
            track->setNeverPurgeHint(c.neverPurge);
        }
        recording = nullptr;
        auto playback = MVMoviePlayback::playbackForMovie(movie, recordingOptions(&recording));
        ASSERT_TRUE(recording);
        EXPECT_EQ(heard(*playback), Tones(true, true)) << "before";
        zeroSampleData(*movie, path);
        EXPECT_EQ(heard(*playback), c.afterChange);
        playback->reloadTracks();
        EXPECT_EQ(heard(*playback), c.afterRebuild);
        playback->stop();
    }
}

TEST(SampleDataCache, KeepsRunsUpToItsLimitAndFindsRangesInside)
{
    MVSampleDataCache cache(10);
    EXPECT_TRUE(cache.keep("f", 100, { 1, 2, 3, 4, 5, 6 }));
    MVBytes out;
    struct Case {
        uint64_t offset;
        uint32_t size;
        std::optional<MVBytes> read;
    };
    const Case cases[] = {
        { 100, 6, MVBytes { 1, 2, 3, 4, 5, 6 } },
        { 102, 3, MVBytes { 3, 4, 5 } },
        { 106, 0, MVBytes {} },
        { 104, 3, std::nullopt }, // runs past the kept bytes
        { 99, 2, std::nullopt },
        { 200, 1, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        bool found = cache.read("f", c.offset, c.size, out);
        EXPECT_EQ(found, c.read.has_value());
        if (c.read) {
            EXPECT_EQ(out, *c.read);
        }
    }
    EXPECT_FALSE(cache.read("g", 100, 1, out)) << "another file";
    EXPECT_FALSE(cache.keep("f", 300, MVBytes(5, 0))) << "past the limit";
    EXPECT_EQ(cache.keptBytes(), 6u);
    EXPECT_TRUE(cache.keep("f", 300, MVBytes(4, 7)));
    EXPECT_TRUE(cache.holds("f", 301, 3));
}
