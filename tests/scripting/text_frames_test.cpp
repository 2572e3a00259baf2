// Text frames and chapters through the player's socket: their text as a text view shows it, the fonts of
// a timed-text font table, what a frame without atoms reads, undo, and a movie's chapters listed, renamed,
// added and removed.
#include "scripting_test_support.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie.h"
#include "scripting/script_values.h"
#include "scripting/text_frame.h"

namespace movara::scriptingtest {
namespace {

TEST(TextFrameText, LineEndsReadAsATextViewShowsThem)
{
    struct Case {
        std::string bytes;
        bool right;
        std::string text;
    };
    const Case cases[] = {
        { "a\r\nb", false, "a \rb" },
        { "a\r\nb", true, "a\r b" },
        { "a\nb", false, "a\rb" },
        { "a\rb", false, "a\rb" },
        { "a\n\rb", false, "a\rb" },
        { "caf\xc3\xa9", false, "caf\xc3\xa9" },
        // Marked UTF-16 of either order, and the classic 8-bit encoding.
        { std::string("\xfe\xff\x00h\x00i", 6), false, "hi" },
        { std::string("\xff\xfeh\x00i\x00", 6), false, "hi" },
        { "caf\x8e", false, "caf\xc3\xa9" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPTextFrameText(c.bytes, c.right), c.text) << c.bytes;
}

TEST(TextFrameFonts, NamesOfAFontTable)
{
    MVText3GSampleDescription d;
    d.fontTable = { { 1, "Alpha, Beta" }, { 4, " ,\tGamma" }, { 7, "" } };
    struct Case {
        const char* name;
        uint16_t id;
    };
    const Case cases[]
        = { { "Alpha", 1 }, { "beta", 1 }, { "GAMMA", 4 }, { "Gämma", 4 }, { "Delta", 0 }, { "", 0 } };
    for (const auto& c : cases)
        EXPECT_EQ(GetText3GFNum(c.name, d), c.id) << c.name;
    EXPECT_EQ(GetText3GFontName(1, d), "Beta");
    EXPECT_EQ(GetText3GFontName(4, d), "Gamma");
    EXPECT_EQ(GetText3GFontName(7, d), "");
    EXPECT_EQ(GetText3GFontName(9, d), "");
}

class TextFramesTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        doc = openPlayer("texts.mov");
        ASSERT_TRUE(doc && doc->movie());
        movie = doc->movie();
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
    HXPropertyList remove(const Specifier& target)
    {
        return script({ { "event", HXPropertyList("delete") }, { "target", target.propertyList() } });
    }
    static Specifier chapters() { return Specifier::every("chapters", ptr(frontMovie())); }
    static Specifier chapter(int index) { return Specifier::index("chapters", index, ptr(frontMovie())); }
    HXPropertyList names() { return get(Specifier::property("name", ptr(chapters())))["result"]; }

    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovie> movie;
};

HXPropertyList texts(std::initializer_list<const char*> items)
{
    Array list;
    for (const char* t : items)
        list.emplace_back(t);
    return HXPropertyList(std::move(list));
}

TEST_F(TextFramesTest, AFrameWithoutAtomsReadsTheDefaults)
{
    auto reply = make(frontMovie(), "tracks", HXPropertyList("first\rsecond"));
    ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
    auto frame = Specifier::index("textFrames", 0, ptr(Specifier::index("tracks", -1, ptr(frontMovie()))));
    auto key = [&](const char* k) { return get(Specifier::property(k, ptr(frame)))["result"]; };
    EXPECT_EQ(key("contents"), HXPropertyList("first"));
    EXPECT_EQ(key("kind"), HXPropertyList("text"));
    EXPECT_EQ(key("dropShadowTransparency"), HXPropertyList(127));
    EXPECT_EQ(key("dropShadowOffset"), MVPScriptValues::record(1, 1));
    EXPECT_EQ(key("highlight"), MVPScriptValues::record(0, 0));
    EXPECT_EQ(key("scrollDelay"), HXPropertyList(0));
    EXPECT_EQ(key("justification"), code("left"));
    EXPECT_EQ(key("defaultFontStyles"), HXPropertyList(Array { code("plan") }));
    EXPECT_EQ(key("autoScale"), HXPropertyList(true));
    // The frames of a text track are its text frames.
    EXPECT_EQ(get(Specifier::index(
                  "frames", 1, ptr(Specifier::index("tracks", -1, ptr(frontMovie())))))["result"]["$class"]
                  .stringValue(),
        "textFrame");

    // Writing the text keeps the atoms after it, and is one step of undo.
    set(Specifier::property("highlight", ptr(frame)), MVPScriptValues::record(3, 1));
    set(Specifier::property("contents", ptr(frame)), HXPropertyList("changed"));
    EXPECT_EQ(key("contents"), HXPropertyList("changed"));
    EXPECT_EQ(key("highlight"), MVPScriptValues::record(3, 1));
    movie->undoManager()->undo();
    EXPECT_EQ(key("contents"), HXPropertyList("first"));
    // An empty text changes nothing.
    movie->setChanged(false);
    set(Specifier::property("contents", ptr(frame)), HXPropertyList(""));
    EXPECT_EQ(key("contents"), HXPropertyList("first"));
    EXPECT_FALSE(movie->hasChanged());
}

TEST_F(TextFramesTest, ChaptersAreListedRenamedAddedAndRemoved)
{
    // A movie without chapters has none, and gets a chapter track with its first chapter.
    EXPECT_EQ(names(), HXPropertyList(Array {}));
    EXPECT_TRUE(get(movieProperty("currentChapter"))["result"].isNull());
    auto made = make(frontMovie(), "chapters", HXPropertyList("Intro"));
    ASSERT_FALSE(made.contains("errorNumber")) << made["error"].stringValue();
    EXPECT_EQ(made["result"]["$specifier"]["value"].stringValue(), "Intro");
    EXPECT_EQ(names(), texts({ "Intro" }));
    ASSERT_TRUE(MVMovieChapterTrack(*movie));
    movie->undoManager()->undo();
    EXPECT_FALSE(MVMovieChapterTrack(*movie));

    ASSERT_TRUE(MVMovieSetChapters(
        *movie, { { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(120, 600) } }, nullptr));
    EXPECT_EQ(names(), texts({ "One", "Two" }));
    EXPECT_EQ(get(Specifier::property("time", ptr(chapter(1))))["result"].integerValue(),
        MVTimeInScale(MVMakeTime(120, 600), movie->timeScale()).timeValue);
    // The chapter playing now, by name.
    movie->setCurrentTime(MVMakeTime(150, 600));
    EXPECT_EQ(get(movieProperty("currentChapter"))["result"]["$specifier"]["value"].stringValue(), "Two");

    ASSERT_FALSE(set(Specifier::property("name", ptr(Specifier::name("chapters", "Two", ptr(frontMovie())))),
        HXPropertyList("Deux"))
                     .contains("errorNumber"));
    EXPECT_EQ(names(), texts({ "One", "Deux" }));
    make(frontMovie(), "chapters", HXPropertyList("Between"), 1);
    EXPECT_EQ(names(), texts({ "One", "Between", "Deux" }));
    EXPECT_FALSE(remove(chapter(0)).contains("errorNumber"));
    EXPECT_EQ(names(), texts({ "Between", "Deux" }));
    EXPECT_EQ(remove(chapter(5))["errorNumber"].integerValue(), HXScriptNoSuchObjectError);
    movie->undoManager()->undo();
    EXPECT_EQ(names(), texts({ "One", "Between", "Deux" }));
    // The chapter track shows the same chapters.
    EXPECT_EQ(MVMovieChapters(*movie).size(), 3u);
    EXPECT_EQ(MVMovieChapters(*movie)[2].name, "Deux");
}

} // namespace
} // namespace movara::scriptingtest
