// A track's properties, commands and the tracks scripts make, read and written through the player's
// socket against a movie made by ffmpeg (a picture and two tones); every change is undone again.
#include "scripting_test_support.h"

#include "inspectors/property_column_values.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie.h"
#include "scripting/script_values.h"
#include "scripting/track_scripting.h"

#include <cstring>

namespace movara::scriptingtest {
namespace {

// Picture (64 x 48, 10 frames a second, 1 s) and two 16-bit tones, in a .mov.
bool makeTracksMovie(const std::filesystem::path& path)
{
    auto result = movara::test::runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
        "-i", "testsrc=size=64x48:rate=10:duration=1", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
        "-f", "lavfi", "-i", "sine=frequency=880:duration=1", "-map", "0:v", "-map", "1:a", "-map", "2:a",
        "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", path.string() });
    return result.status == 0;
}

class TrackScriptingTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        auto path = folder / "tracks.mov";
        ASSERT_TRUE(makeTracksMovie(path));
        delegate->openFiles({ path.string() }, true);
        for (auto& d : documents())
            if (d->movie() && d->movie()->fileName() == path.string())
                doc = d;
        ASSERT_TRUE(doc);
        movie = doc->movie();
        ASSERT_EQ(movie->trackCount(), 3);
        ASSERT_TRUE(movie->undoManager());
    }

    static Specifier track(int index) { return Specifier::index("tracks", index, ptr(frontMovie())); }
    static Specifier trackProperty(const std::string& key, int index)
    {
        return Specifier::property(key, ptr(track(index)));
    }
    HXPropertyList make(const Specifier& container, const std::string& key, HXPropertyList data)
    {
        return script({ { "event", HXPropertyList("make") }, { "target", container.propertyList() },
            { "key", HXPropertyList(key) }, { "data", std::move(data) } });
    }
    void undo() { movie->undoManager()->undo(); }

    movara::test::TempDir folder;
    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovie> movie;
};

HXPropertyList list(std::initializer_list<HXPropertyList> items)
{
    return HXPropertyList(Array(items));
}

HXPropertyList sizeRecord(int16_t v, int16_t h)
{
    return MVPScriptValues::record(v, h);
}

HXPropertyList colorRecord(uint16_t r, uint16_t g, uint16_t b)
{
    uint16_t c[3] = { r, g, b };
    std::vector<uint8_t> bytes(6);
    std::memcpy(bytes.data(), c, 6);
    return HXPropertyList(HXData(std::move(bytes)));
}

TEST_F(TrackScriptingTest, PropertiesAreWrittenHeardAndUndone)
{
    struct Case {
        const char* key;
        int track; // from 0: video, tone 1, tone 2
        HXPropertyList written;
        HXPropertyList read; // what a read answers afterwards
        std::function<bool(MVTrack&)> holds = nullptr;
        bool changes = true; // false: the movie is left as it was
    };
    const Case cases[] = {
        { "name", 1, HXPropertyList("Left tone"), HXPropertyList("Left tone") },
        { "trackEnabled", 1, HXPropertyList(false), HXPropertyList(false),
            [](MVTrack& t) { return !t.isEnabled(); } },
        { "trackEnabled", 2, HXPropertyList(true), HXPropertyList(true),
            [](MVTrack& t) { return t.isEnabled(); } },
        { "trackLayer", 0, HXPropertyList(-2), HXPropertyList(-2),
            [](MVTrack& t) { return t.layer() == -2; } },
        { "trackLanguage", 1, HXPropertyList("German"), HXPropertyList("German"),
            [](MVTrack& t) { return t.language() == 2; } },
        { "trackLanguage", 1, HXPropertyList(40), HXPropertyList("SystemDefault"),
            [](MVTrack& t) { return t.language() == 40; } },
        { "trackLanguage", 1, HXPropertyList("Klingon"), HXPropertyList("SystemDefault"), nullptr, false },
        { "trackLanguage", 1, HXPropertyList("SystemDefault"), HXPropertyList("SystemDefault"), nullptr,
            false },
        { "soundVolume", 1, HXPropertyList(128), HXPropertyList(128),
            [](MVTrack& t) { return t.volume() == 0.5f; } },
        { "soundVolume", 2, HXPropertyList(256), HXPropertyList(256),
            [](MVTrack& t) { return t.volume() == 1.0f; } },
        { "soundBalance", 1, HXPropertyList(200), HXPropertyList(128),
            [](MVTrack& t) { return t.attributeForKey(MVTrackBalanceAttribute).realValue() == 1.0; } },
        { "soundBalance", 2, HXPropertyList(-64), HXPropertyList(-64) },
        { "bassGain", 1, HXPropertyList(64), HXPropertyList(64), [](MVTrack& t) { return t.bass() == 2.0f; } },
        { "trebleGain", 2, HXPropertyList(-300), HXPropertyList(-256), [](MVTrack& t) { return t.treble() == -8.0f; } },
        { "gain", 1, HXPropertyList(0.5), HXPropertyList(0.5), [](MVTrack& t) { return t.gain() == 0.5f; } },
        { "muted", 2, HXPropertyList(true), HXPropertyList(true), [](MVTrack& t) { return t.isMuted(); } },
        { "trackDimensions", 0, sizeRecord(24, 32), sizeRecord(24, 32),
            [](MVTrack& t) { return t.width() == 32 && t.height() == 24; } },
        { "trackDimensions", 0, list({ HXPropertyList(96), HXPropertyList(128) }), sizeRecord(96, 128) },
        { "trackPosition", 0, sizeRecord(10, 20), sizeRecord(10, 20),
            [](MVTrack& t) {
                return t.matrix().values[6] == 20 * 65536 && t.matrix().values[7] == 10 * 65536;
            } },
        { "trackHref", 0, HXPropertyList("http://example.com/"), HXPropertyList("http://example.com/") },
        { "trackOperationColor", 0,
            list({ HXPropertyList(65535), HXPropertyList(0), HXPropertyList(65536 + 7) }),
            colorRecord(65535, 0, 7) },
        // Anything that is no colour is black.
        { "trackOperationColor", 0, HXPropertyList("pink"), colorRecord(0, 0, 0) },
        { "transparency", 0, HXPropertyList(150), HXPropertyList(100),
            [](MVTrack& t) {
                return t.attributeForKey(MVTrackOperationColorAttribute)[size_t(0)].integerValue() == 0;
            } },
        { "transparency", 0, HXPropertyList(-5), HXPropertyList(0),
            [](MVTrack& t) {
                return t.attributeForKey(MVTrackOperationColorAttribute)[size_t(0)].integerValue() == 65535;
            } },
        { "transparency", 0, HXPropertyList(50), HXPropertyList(50) },
        { "trackTransferMode", 0, code("tmwa"), code("tmwa"),
            [](MVTrack& t) {
                return t.attributeForKey(MVTrackTransferModeAttribute).integerValue() == 257;
            } },
        // The mode the track has already, a mode not in the table, and any mode of a sound track change
        // nothing.
        { "trackTransferMode", 0, code("tmcp"), code("tmcp"), nullptr, false },
        { "trackTransferMode", 0, code("zzzz"), code("tmcp"), nullptr, false },
        { "trackTransferMode", 1, code("tmbl"), code("tmuk"), nullptr, false },
        { "currentMatrix", 0,
            list({ list({ HXPropertyList(2), HXPropertyList(0), HXPropertyList(0) }),
                list({ HXPropertyList(0), HXPropertyList(2), HXPropertyList(0) }),
                list({ HXPropertyList(5), HXPropertyList(6), HXPropertyList(1) }) }),
            list({ list({ HXPropertyList(2.0), HXPropertyList(0.0), HXPropertyList(0.0) }),
                list({ HXPropertyList(0.0), HXPropertyList(2.0), HXPropertyList(0.0) }),
                list({ HXPropertyList(5.0), HXPropertyList(6.0), HXPropertyList(1.0) }) }) },
        // A row of two numbers is no matrix.
        { "currentMatrix", 0,
            list({ list({ HXPropertyList(2), HXPropertyList(0) }),
                list({ HXPropertyList(0), HXPropertyList(2), HXPropertyList(0) }),
                list({ HXPropertyList(0), HXPropertyList(0), HXPropertyList(1) }) }),
            list({ list({ HXPropertyList(1.0), HXPropertyList(0.0), HXPropertyList(0.0) }),
                list({ HXPropertyList(0.0), HXPropertyList(1.0), HXPropertyList(0.0) }),
                list({ HXPropertyList(0.0), HXPropertyList(0.0), HXPropertyList(1.0) }) }),
            nullptr, false },
        { "startTime", 2, HXPropertyList(300), HXPropertyList(300),
            [](MVTrack& t) {
                return t.edits().front().mediaTime == -1 && t.edits().front().duration == 300;
            } },
        { "highQuality", 0, HXPropertyList(true), HXPropertyList(true) },
        { "deinterlaceFields", 0, HXPropertyList(true), HXPropertyList(true) },
        { "neverPurge", 1, HXPropertyList(true), HXPropertyList(true) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.key) + " of track " + std::to_string(c.track + 1) + " = " + c.written.toXML());
        movie->setChanged(false);
        auto before = get(trackProperty(c.key, c.track))["result"];
        auto reply = set(trackProperty(c.key, c.track), c.written);
        ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        EXPECT_EQ(get(trackProperty(c.key, c.track))["result"], c.read);
        auto t = movie->trackAtIndex(c.track + 1);
        if (c.holds) {
            EXPECT_TRUE(c.holds(*t));
        }
        EXPECT_EQ(movie->hasChanged(), c.changes);
        if (c.changes) {
            undo();
            EXPECT_EQ(get(trackProperty(c.key, c.track))["result"], before) << "after undo";
        }
    }
}

TEST_F(TrackScriptingTest, WhatTracksAnswer)
{
    struct Case {
        const char* key;
        int track;
        HXPropertyList read;
    };
    const Case cases[] = {
        { "id", 1, HXPropertyList(int64_t(movie->trackAtIndex(2)->trackID())) },
        { "type", 0, HXPropertyList("vide") },
        { "type", 2, HXPropertyList("soun") },
        { "kind", 0, HXPropertyList(MVPTrackAdditions::mediaTypeName(HXFourCharCode("vide"))) },
        { "name", 2, HXPropertyList(MVPTrackAdditions::mediaTypeName(HXFourCharCode("soun")) + " 2") },
        { "trackNaturalDimensions", 0, sizeRecord(48, 64) },
        { "visualCharacteristic", 0, HXPropertyList(true) },
        { "audioCharacteristic", 0, HXPropertyList(false) },
        { "audioCharacteristic", 1, HXPropertyList(true) },
        { "trackAudioSampleRate", 1, HXPropertyList(44100.0) },
        { "videoDepth", 0, HXPropertyList(24) },
        { "isVideoGrayScale", 0, HXPropertyList(false) },
        { "trackTransferMode", 1, code("tmuk") },
        { "streamingBitRate", 0, HXPropertyList(-1.0) },
        { "streamingQuality", 0, HXPropertyList(-1.0) },
        { "bassGain", 1, HXPropertyList(0) },
        { "trackChapterlist", 0, list({}) },
        { "trackAlternate", 0, list({}) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " of track " + std::to_string(c.track + 1));
        EXPECT_EQ(get(trackProperty(c.key, c.track))["result"], c.read);
    }
    // A sound track lasts what its samples last: a second, in the movie's units.
    EXPECT_EQ(get(trackProperty("duration", 1))["result"].integerValue(), movie->timeScale());
    EXPECT_GT(
        get(trackProperty("trackDataRate", 1))["result"].integerValue(), 80000); // 16-bit mono at 44.1 kHz
    // A track names itself by position under its movie.
    auto reply = get(track(2));
    EXPECT_EQ(reply["result"]["$specifier"]["key"].stringValue(), "tracks");
    EXPECT_EQ(reply["result"]["$specifier"]["value"].integerValue(), 2);
    // Codes and records say what they are.
    EXPECT_EQ(get(trackProperty("trackTransferMode", 0))["resultType"].stringValue(), "code");
    EXPECT_EQ(get(trackProperty("trackDimensions", 0))["resultType"].stringValue(), "size");
}

TEST_F(TrackScriptingTest, AlternatesAndChapterLists)
{
    // ffmpeg puts the two tones in one group: they are each other's alternates.
    EXPECT_EQ(
        get(trackProperty("trackAlternate", 1))["result"][size_t(0)]["$specifier"]["value"].integerValue(),
        2);
    movie->trackAtIndex(2)->setAlternateGroup(0);
    movie->trackAtIndex(3)->setAlternateGroup(0);
    EXPECT_EQ(get(trackProperty("trackAlternate", 1))["result"], list({}));
    // The second tone becomes the first one's alternate: both share a group, and each names the other.
    ASSERT_FALSE(set(trackProperty("trackAlternate", 1),
        list({ HXPropertyList(Dict { { "$specifier", track(2).propertyList() } }) }))
                     .contains("errorNumber"));
    EXPECT_NE(movie->trackAtIndex(2)->alternateGroup(), 0);
    EXPECT_EQ(movie->trackAtIndex(2)->alternateGroup(), movie->trackAtIndex(3)->alternateGroup());
    EXPECT_EQ(
        get(trackProperty("trackAlternate", 2))["result"][size_t(0)]["$specifier"]["value"].integerValue(),
        1);
    undo();
    EXPECT_EQ(movie->trackAtIndex(2)->alternateGroup(), 0);
    EXPECT_EQ(movie->trackAtIndex(3)->alternateGroup(), 0);

    // A chapter list names a track of the same movie; a list of two tracks names none.
    auto chapters = MVMovieSetChapters(*movie, { { "One", MVMakeTime(0, 600) } }, nullptr);
    ASSERT_TRUE(chapters);
    const int text = chapters->index() - 1;
    EXPECT_EQ(
        get(trackProperty("trackChapterlist", 0))["result"][size_t(0)]["$specifier"]["value"].integerValue(),
        text);
    set(trackProperty("trackChapterlist", 0),
        list({ HXPropertyList(Dict { { "$specifier", track(1).propertyList() } }),
            HXPropertyList(Dict { { "$specifier", track(2).propertyList() } }) }));
    EXPECT_EQ(get(trackProperty("trackChapterlist", 0))["result"], list({}));
    set(trackProperty("trackChapterlist", 0),
        HXPropertyList(Dict { { "$specifier", track(text).propertyList() } }));
    EXPECT_EQ(movie->trackAtIndex(1)->referenceTrack(MVPScriptValues::fourCC("chap"), 1), chapters);
}

TEST_F(TrackScriptingTest, TransferModeTable)
{
    const std::pair<int64_t, const char*> table[] = { { 0, "tmcp" }, { 32, "tmbl" }, { 36, "tmtr" },
        { 64, "tmdc" }, { 256, "tmsa" }, { 257, "tmwa" }, { 258, "tmba" }, { 259, "tmcm" }, { 260, "tmab" } };
    for (auto [mode, text] : table) {
        uint32_t c = HXFourCharCode(text);
        EXPECT_EQ(MVPTrackScripting::MapTransferModeToEnum(mode), c) << text;
        EXPECT_EQ(MVPTrackScripting::MapEnumToTransferMode(c), mode) << text;
    }
    EXPECT_EQ(MVPTrackScripting::MapTransferModeToEnum(1), MVPScriptValues::fourCC("tmuk"));
    EXPECT_EQ(MVPTrackScripting::MapEnumToTransferMode(MVPScriptValues::fourCC("tmuk")), -1);
}

TEST_F(TrackScriptingTest, CommandsMoveTheTrackAndAreUndone)
{
    auto matrixAfter = [&](const std::string& command, Dict arguments) {
        auto original = movie->trackAtIndex(1)->matrix();
        auto reply = this->command(command, track(0), std::move(arguments));
        EXPECT_FALSE(reply.contains("errorNumber")) << command << ": " << reply["error"].stringValue();
        auto after = movie->trackAtIndex(1)->matrix();
        undo();
        EXPECT_EQ(movie->trackAtIndex(1)->matrix(), original) << command << " undone";
        return after;
    };
    // A quarter turn by degrees is the turn to the right; turns about a point turn about that point.
    EXPECT_EQ(matrixAfter("rotate", { { "By", HXPropertyList(90) } }), matrixAfter("rotateRight", {}));
    EXPECT_NE(matrixAfter("rotateLeft", {}), matrixAfter("rotateRight", {}));
    auto about = matrixAfter("rotate", { { "By", HXPropertyList(90) }, { "Around", sizeRecord(10, 20) } });
    // A point at (20, 10) stays where it is: x' = a x + c y + tx.
    double x = about.values[0] / 65536.0 * 20 + about.values[3] / 65536.0 * 10 + about.values[6] / 65536.0;
    double y = about.values[1] / 65536.0 * 20 + about.values[4] / 65536.0 * 10 + about.values[7] / 65536.0;
    EXPECT_NEAR(x, 20, 1e-3);
    EXPECT_NEAR(y, 10, 1e-3);
    // Scaling without a point scales about the origin.
    auto scaled = matrixAfter("scale", { { "By", HXPropertyList(2) } });
    EXPECT_EQ(scaled.values[0], 2 * 65536);
    EXPECT_EQ(scaled.values[6], 0);
    auto moved = matrixAfter("translate", { { "By", sizeRecord(5, 7) } });
    EXPECT_EQ(moved.values[6], 7 * 65536);
    EXPECT_EQ(moved.values[7], 5 * 65536);
    EXPECT_EQ(matrixAfter("flipHorizontal", {}).values[0], -65536);
    EXPECT_EQ(matrixAfter("flipVertical", {}).values[4], -65536);
    EXPECT_EQ(matrixAfter("skew", { { "By", sizeRecord(0, 1) } }).values[3], 65536);
    // Translating by nothing changes nothing; a point that is no point is an error.
    movie->setChanged(false);
    EXPECT_FALSE(command("translate", track(0)).contains("errorNumber"));
    EXPECT_FALSE(movie->hasChanged());
    EXPECT_EQ(command("rotate", track(0),
                  { { "By", HXPropertyList(90) }, { "Around", HXPropertyList("here") } })["errorNumber"]
                  .integerValue(),
        HXScriptCoercionError);
}

TEST_F(TrackScriptingTest, ScriptsMakeTracks)
{
    struct Case {
        const char* name;
        HXPropertyList data;
        std::string type; // of the track made ("" when none is)
        int64_t samples; // in the new track
        int error = 0;
    };
    movara::test::TempDir files;
    apptest::makeMovie(files / "other.mov");
    const Case cases[] = {
        { "a text", HXPropertyList("one\rtwo\rthree"), "text", 3 },
        { "a list of texts", list({ HXPropertyList("a"), HXPropertyList("b") }), "text", 2 },
        { "a track of the movie", HXPropertyList(Dict { { "$specifier", track(1).propertyList() } }), "soun",
            -1 },
        { "a movie file", HXPropertyList((files / "other.mov").string()), "vide", -1 },
        { "a number", HXPropertyList(12), "", 0, HXScriptCoercionError },
        { "an empty list", list({}), "", 0, HXScriptFailedError },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = movie->trackCount();
        auto reply = make(frontMovie(), "tracks", c.data);
        if (c.error) {
            EXPECT_EQ(reply["errorNumber"].integerValue(), c.error);
            EXPECT_EQ(movie->trackCount(), before);
            continue;
        }
        ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        ASSERT_GT(movie->trackCount(), before);
        // The answer names the track made, which a script can use at once.
        auto made = reply["result"].isArray() ? reply["result"][size_t(0)] : reply["result"];
        int64_t position = made["$specifier"]["value"].integerValue();
        EXPECT_EQ(position, before);
        auto t = movie->trackAtIndex(int(position) + 1);
        EXPECT_EQ(HXStringFromFourCharCode(t->mediaType()), c.type);
        if (c.samples >= 0) {
            EXPECT_EQ(t->media()->sampleCount(), c.samples);
        }
        EXPECT_EQ(get(Specifier::property(
                      "type", ptr(Specifier::index("tracks", position, ptr(frontMovie())))))["result"]
                      .stringValue(),
            c.type);
        undo();
        EXPECT_EQ(movie->trackCount(), before) << "undone";
    }
}

TEST_F(TrackScriptingTest, TracksAreDeletedWithUndo)
{
    auto second = movie->trackAtIndex(2);
    EXPECT_FALSE(script({ { "event", HXPropertyList("delete") }, { "target", track(1).propertyList() } })
                     .contains("errorNumber"));
    EXPECT_EQ(movie->trackCount(), 2);
    undo();
    EXPECT_EQ(movie->trackCount(), 3);
    EXPECT_EQ(movie->trackAtIndex(2), second);
    // A track past the last is named in the error as the script typed it.
    auto reply = script({ { "event", HXPropertyList("delete") }, { "target", track(7).propertyList() } });
    EXPECT_EQ(reply["errorNumber"].integerValue(), HXScriptNoSuchObjectError);
    EXPECT_NE(reply["error"].stringValue().find("tracks[8]"), std::string::npos)
        << reply["error"].stringValue();
}

} // namespace
} // namespace movara::scriptingtest
