// The frames of a track through the player's socket: counted, timed, moved, stretched, inserted and removed,
// on a movie made by ffmpeg (10 pictures) and on text tracks scripts make; every edit is undone again.
#include "scripting_test_support.h"

#include "platform/basekit/fourcc.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/sample_text_description.h"
#include "scripting/track_samples.h"

namespace movara::scriptingtest {
namespace {

class TrackFramesTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        auto path = folder / "ten.mov";
        auto made = movara::test::runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f",
            "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-c:v", "libx264", "-pix_fmt", "yuv420p",
            path.string() });
        ASSERT_EQ(made.status, 0);
        delegate->openFiles({ path.string() }, true);
        for (auto& d : documents())
            if (d->movie() && d->movie()->fileName() == path.string())
                doc = d;
        ASSERT_TRUE(doc);
        movie = doc->movie();
        video = movie->trackAtIndex(1);
        ASSERT_TRUE(video);
        unit = movie->timeScale() / 10; // one picture's time
    }

    static Specifier track(int index) { return Specifier::index("tracks", index, ptr(frontMovie())); }
    static Specifier frame(int index, int trackIndex = 0)
    {
        return Specifier::index("frames", index, ptr(track(trackIndex)));
    }
    static Specifier frameProperty(const std::string& key, int index, int trackIndex = 0)
    {
        return Specifier::property(key, ptr(frame(index, trackIndex)));
    }
    int64_t count(const Specifier& s)
    {
        return script({ { "event", HXPropertyList("count") }, { "target", s.propertyList() } })["result"]
            .integerValue();
    }
    HXPropertyList make(const Specifier& container, const std::string& key, HXPropertyList data,
        std::optional<int64_t> index = std::nullopt)
    {
        Dict request { { "event", HXPropertyList("make") }, { "target", container.propertyList() },
            { "key", HXPropertyList(key) }, { "data", std::move(data) } };
        if (index)
            request["index"] = HXPropertyList(*index);
        return script(std::move(request));
    }
    std::vector<int64_t> times(const MVTrack& t)
    {
        std::vector<int64_t> out;
        for (const auto& s : MVPTrackSamples::frames(t))
            out.push_back(s.time);
        return out;
    }
    std::vector<std::string> texts(const MVTrack& t)
    {
        std::vector<std::string> out;
        for (const auto& s : MVPTrackSamples::frames(t))
            out.push_back(MVTextSampleString(MVPTrackSamples::getSample(t, s.time)->bytes).value_or("?"));
        return out;
    }
    // A new text track of one line per text; its position among the tracks.
    int textTrack(const std::string& lines)
    {
        auto reply = make(frontMovie(), "tracks", HXPropertyList(lines));
        EXPECT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        return int(reply["result"]["$specifier"]["value"].integerValue());
    }
    void undo() { movie->undoManager()->undo(); }

    movara::test::TempDir folder;
    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVTrack> video;
    int64_t unit = 0;
};

TEST_F(TrackFramesTest, AVideoTrackIsAListOfFrames)
{
    EXPECT_EQ(count(Specifier::every("frames", ptr(track(0)))), 10);
    auto all = get(Specifier::property("time", ptr(Specifier::every("frames", ptr(track(0))))))["result"];
    ASSERT_EQ(all.count(), 10u);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(all[i].integerValue(), int64_t(i) * unit) << "frame " << i + 1;
    EXPECT_EQ(get(frameProperty("duration", 4))["result"].integerValue(), unit);
    EXPECT_EQ(get(frameProperty("index", -1))["result"].integerValue(), 10);
    auto reply = get(frameProperty("time", 10));
    EXPECT_EQ(reply["errorNumber"].integerValue(), HXScriptNoSuchObjectError);
    EXPECT_NE(reply["error"].stringValue().find("frames[11]"), std::string::npos)
        << reply["error"].stringValue();
    // A frame names itself under its track.
    auto named = get(frame(2))["result"]["$specifier"];
    EXPECT_EQ(named["key"].stringValue(), "frames");
    EXPECT_EQ(named["value"].integerValue(), 2);
    EXPECT_EQ(named["container"]["key"].stringValue(), "tracks");
}

TEST_F(TrackFramesTest, IndexOfATime)
{
    const std::pair<int64_t, int64_t> cases[] = { { -1, 0 }, { 0, 1 }, { unit - 1, 1 },
        { 2 * unit + unit / 2, 3 }, { 9 * unit, 10 }, { 50 * unit, 10 } };
    for (auto [time, index] : cases)
        EXPECT_EQ(MVPTrackSamples::timeToIndex(*video, time), index) << time;
    EXPECT_EQ(MVPTrackSamples::getIndInterestingTimeRange(*video, 11).time, -1);
    EXPECT_EQ(MVPTrackSamples::getIndInterestingTimeRange(*video, 0).time, -1);
}

TEST_F(TrackFramesTest, MovingAFrameEditsTheTrack)
{
    struct Case {
        const char* name;
        int frame; // from 0
        int64_t time;
        std::vector<int64_t> expected; // the starts of all frames afterwards, in pictures
        int error = 0;
    };
    const std::vector<int64_t> all = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    const Case cases[] = {
        { "later: time goes in before it", 4, 6, { 0, 1, 2, 3, 6, 7, 8, 9, 10, 11 } },
        { "earlier: the time before it goes", 4, 2, { 0, 1, 2, 3, 4, 5, 6, 7 } },
        { "where it is", 4, 4, all },
        { "before the track", 4, -1, all, HXScriptParameterError },
        { "past the longest time a movie may last", 4, (int64_t(1) << 60) / unit, all,
            HXScriptParameterError },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie->setChanged(false);
        auto reply = set(frameProperty("time", c.frame), HXPropertyList(c.time * unit));
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error) << reply["error"].stringValue();
        std::vector<int64_t> expected;
        for (auto t : c.expected)
            expected.push_back(t * unit);
        EXPECT_EQ(times(*video), expected);
        const bool moved = !c.error && c.time != c.frame;
        EXPECT_EQ(movie->hasChanged(), moved);
        if (moved)
            undo();
        EXPECT_EQ(count(Specifier::every("frames", ptr(track(0)))), 10) << "undone";
    }
}

TEST_F(TrackFramesTest, AFrameLastsWhatItIsGiven)
{
    auto third = MVPTrackSamples::getSample(*video, 2 * unit);
    ASSERT_TRUE(third);
    ASSERT_FALSE(set(frameProperty("duration", 2), HXPropertyList(3 * unit)).contains("errorNumber"));
    EXPECT_EQ(get(frameProperty("duration", 2))["result"].integerValue(), 3 * unit);
    // Its picture is the same; what follows starts two pictures later.
    auto again = MVPTrackSamples::getSample(*video, 2 * unit);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->bytes, third->bytes);
    EXPECT_EQ(again->description, third->description);
    EXPECT_EQ(get(frameProperty("time", 3))["result"].integerValue(), 5 * unit);
    EXPECT_EQ(count(Specifier::every("frames", ptr(track(0)))), 10);
    undo();
    EXPECT_EQ(get(frameProperty("time", 3))["result"].integerValue(), 3 * unit);

    for (int64_t bad : { int64_t(0), int64_t(-100), INT64_MAX }) {
        auto reply = set(frameProperty("duration", 2), HXPropertyList(bad));
        EXPECT_EQ(reply["errorNumber"].integerValue(), HXScriptParameterError) << bad;
    }
    EXPECT_EQ(get(frameProperty("duration", 2))["result"].integerValue(), unit);
}

TEST_F(TrackFramesTest, AnEmptyTrackHasNoFrames)
{
    auto empty = movie->newTrack(HXFourCharCode("text"), 600);
    const int position = empty->index() - 1;
    EXPECT_EQ(count(Specifier::every("frames", ptr(track(position)))), 0);
    EXPECT_EQ(get(Specifier::property("contents", ptr(track(position))))["result"], HXPropertyList(Array {}));
    EXPECT_EQ(
        get(frameProperty("time", 0, position))["errorNumber"].integerValue(), HXScriptNoSuchObjectError);
    auto remove
        = script({ { "event", HXPropertyList("delete") }, { "target", frame(0, position).propertyList() } });
    EXPECT_EQ(remove["errorNumber"].integerValue(), HXScriptNoSuchObjectError);
}

TEST_F(TrackFramesTest, TextFramesAreInsertedAndRemoved)
{
    const int text = textTrack("a\rb\rc");
    auto t = movie->trackAtIndex(text + 1);
    ASSERT_EQ(texts(*t), (std::vector<std::string> { "a", "b", "c" }));

    // At a position: before the frame that is there now; without one: at the end.
    auto reply = make(track(text), "frames", HXPropertyList("x"), 1);
    ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
    EXPECT_EQ(reply["result"]["$specifier"]["value"].integerValue(), 1);
    EXPECT_EQ(texts(*t), (std::vector<std::string> { "a", "x", "b", "c" }));
    make(track(text), "frames", HXPropertyList("z"));
    EXPECT_EQ(texts(*t), (std::vector<std::string> { "a", "x", "b", "c", "z" }));
    undo();
    EXPECT_EQ(texts(*t), (std::vector<std::string> { "a", "x", "b", "c" }));

    EXPECT_FALSE(
        script({ { "event", HXPropertyList("delete") }, { "target", frame(0, text).propertyList() } })
            .contains("errorNumber"));
    EXPECT_EQ(texts(*t), (std::vector<std::string> { "x", "b", "c" }));
    undo();
    EXPECT_EQ(texts(*t), (std::vector<std::string> { "a", "x", "b", "c" }));

    // Positions that are not there, and values that are no text.
    EXPECT_EQ(make(track(text), "frames", HXPropertyList("y"), 9)["errorNumber"].integerValue(),
        HXScriptNoSuchObjectError);
    EXPECT_EQ(make(track(text), "frames", HXPropertyList(3.5))["errorNumber"].integerValue(),
        HXScriptCoercionError);
    EXPECT_EQ(script({ { "event", HXPropertyList("delete") },
                  { "target", frame(9, text).propertyList() } })["errorNumber"]
                  .integerValue(),
        HXScriptNoSuchObjectError);
    EXPECT_EQ(texts(*t).size(), 4u);
}

TEST_F(TrackFramesTest, ContentsOfATrackFollowTheList)
{
    const int text = textTrack("a\rb\rc");
    auto t = movie->trackAtIndex(text + 1);
    auto contents = Specifier::property("contents", ptr(track(text)));
    // Fewer items than frames: the frames left over go.
    ASSERT_FALSE(set(contents, HXPropertyList(Array { HXPropertyList("a") })).contains("errorNumber"));
    EXPECT_EQ(texts(*t), (std::vector<std::string> { "a" }));
    undo();
    EXPECT_EQ(texts(*t).size(), 3u);
    // More: the others are added at the end, in one step of undo.
    set(contents,
        HXPropertyList(Array { HXPropertyList("a"), HXPropertyList("b"), HXPropertyList("c"),
            HXPropertyList("d"), HXPropertyList("e") }));
    EXPECT_EQ(texts(*t).size(), 5u);
    EXPECT_EQ(texts(*t).back(), "e");
    undo();
    EXPECT_EQ(texts(*t).size(), 3u);
}

} // namespace
} // namespace movara::scriptingtest
