// A movie's properties and elements, read and written by scripts through the player's socket, against a
// document opened from a small movie file.
#include "scripting_test_support.h"

#include "platform/mvkit/movie.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/window.h"
#include "scripting/script_values.h"

#include <cstring>

namespace movara::scriptingtest {
namespace {

class MovieDocScriptingTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        doc = openPlayer("scripted.mov");
        ASSERT_TRUE(doc && doc->movie());
        movie = doc->movie();
    }
    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovie> movie;
};

HXPropertyList record(int16_t v, int16_t h)
{
    return MVPScriptValues::record(v, h);
}

TEST_F(MovieDocScriptingTest, PropertiesReadAndWrite)
{
    struct Case {
        const char* key;
        std::optional<HXPropertyList> written; // nothing: only read
        HXPropertyList read; // what a read answers afterwards
        std::function<bool(MVPMovieDocument&, MVMovie&)> holds = nullptr; // what the movie now holds
    };
    const int32_t scale = movie->timeScale();
    const Case cases[] = {
        { "name", std::nullopt, HXPropertyList(doc->displayName()) },
        { "timeScale", std::nullopt, HXPropertyList(int64_t(scale)) },
        { "duration", std::nullopt, HXPropertyList(movie->durationValue()) },
        { "loadState", std::nullopt, code("ldcm") },
        { "naturalDimensions", std::nullopt, record(48, 64) },
        { "dimensions", std::nullopt, record(48, 64) },
        { "controllerType", std::nullopt, code("stan") },
        { "originalFile", std::nullopt, HXPropertyList(movie->fileName()) },
        { "currentTime", HXPropertyList(int64_t(scale / 5)), HXPropertyList(int64_t(scale / 5)),
            [scale](MVPMovieDocument&, MVMovie& m) {
                return MVTimeEqual(m.currentTime(), MVMakeTime(scale / 5, scale));
            } },
        { "selectionStart", HXPropertyList(int64_t(20)), HXPropertyList(int64_t(20)) },
        { "selectionDuration", HXPropertyList(int64_t(30)), HXPropertyList(int64_t(30)) },
        // The end moves the duration, not the start: 20 + 80 = 100.
        { "selectionEnd", HXPropertyList(int64_t(100)), HXPropertyList(int64_t(100)),
            [](MVPMovieDocument&, MVMovie& m) {
                return m.selection().duration.timeValue == 80 && m.selection().time.timeValue == 20;
            } },
        { "preview", HXPropertyList(Array { HXPropertyList(60), HXPropertyList(180) }),
            HXPropertyList(Array { HXPropertyList(60), HXPropertyList(180) }),
            [](MVPMovieDocument&, MVMovie& m) { return m.previewRange().duration.timeValue == 120; } },
        { "soundVolume", HXPropertyList(300), HXPropertyList(256),
            [](MVPMovieDocument&, MVMovie& m) { return m.volume() == 1.0f; } },
        { "soundVolume", HXPropertyList(128), HXPropertyList(128),
            [](MVPMovieDocument&, MVMovie& m) { return m.volume() == 0.5f; } },
        { "soundBalance", HXPropertyList(-200), HXPropertyList(-128),
            [](MVPMovieDocument&, MVMovie& m) { return m.balance() == -1.0f; } },
        { "bassGain", HXPropertyList(64), HXPropertyList(64),
            [](MVPMovieDocument&, MVMovie& m) { return m.bass() == 2.0f; } },
        { "trebleGain", HXPropertyList(-300), HXPropertyList(-256),
            [](MVPMovieDocument&, MVMovie& m) { return m.treble() == -8.0f; } },
        { "muted", HXPropertyList(true), HXPropertyList(true),
            [](MVPMovieDocument&, MVMovie& m) { return m.isMuted(); } },
        { "looping", HXPropertyList(true), HXPropertyList(true),
            [](MVPMovieDocument&, MVMovie& m) { return m.loopingMode() == MVMovieLoopingMode::Loop; } },
        { "palindrome", HXPropertyList(true), HXPropertyList(true),
            [](MVPMovieDocument&, MVMovie& m) {
                return m.loopingMode() == MVMovieLoopingMode::BackAndForth;
            } },
        { "playSelectionOnly", HXPropertyList("true"), HXPropertyList(true),
            [](MVPMovieDocument&, MVMovie& m) { return m.playsSelectionOnly(); } },
        { "preferredRate", HXPropertyList(2), HXPropertyList(2.0),
            [](MVPMovieDocument&, MVMovie& m) { return m.preferredRate() == 2.0f; } },
        { "movieLanguage", HXPropertyList("German"), HXPropertyList("German") },
        { "movieLanguage", HXPropertyList(37), HXPropertyList("SystemDefault") },
        { "movieLanguage", HXPropertyList("Klingon"), HXPropertyList("SystemDefault") },
        { "presentationSize", code("abcd"), code("cust"),
            [](MVPMovieDocument& d, MVMovie&) { return d.persistentFullscreenSettings().size == 4; } },
        { "presentationSize", code("fits"), code("fits"),
            [](MVPMovieDocument& d, MVMovie&) { return d.persistentFullscreenSettings().size == 3; } },
        { "presentationMode", code("pmss"), code("pmss") },
        { "autoPresent", HXPropertyList(true), HXPropertyList(true) },
        { "presentationBackgroundColor",
            HXPropertyList(Array { HXPropertyList(65535), HXPropertyList(0), HXPropertyList(65536 + 65535) }),
            HXPropertyList(HXData(std::vector<uint8_t> { 0xFF, 0xFF, 0, 0, 0xFF, 0xFF })) },
        { "controllerType", code("none"), code("none"),
            [](MVPMovieDocument&, MVMovie& m) { return m.controllerType() == MVMovieControllerTypeNone; } },
        { "controllerType", code("stan"), code("stan"),
            [](MVPMovieDocument&, MVMovie& m) {
                return m.controllerType() == MVMovieControllerTypeStandard;
            } },
        // Saving is refused through one 'nsav' item holding 1.
        { "savable", HXPropertyList(false), HXPropertyList(false),
            [](MVPMovieDocument&, MVMovie& m) {
                return MVUserDataCountItems(m.userData(), MVPScriptValues::fourCC("nsav")) == 1
                    && MVUserDataGetItem(m.userData(), MVPScriptValues::fourCC("nsav"), 1)
                    == MVBytes { 0, 0, 0, 1 };
            } },
        { "savable", HXPropertyList(true), HXPropertyList(true) },
        { "autoPlay", HXPropertyList(true), HXPropertyList(true) },
        // Settings written by scripts in any language come back as they were written.
        { "pluginSettings",
            HXPropertyList(Array { HXPropertyList("a=1"), HXPropertyList("caf\u00e9=\u2713") }),
            HXPropertyList(Array { HXPropertyList("a=1"), HXPropertyList("caf\u00e9=\u2713") }) },
        { "currentMatrix",
            HXPropertyList(
                Array { HXPropertyList(Array { HXPropertyList(2), HXPropertyList(0), HXPropertyList(0) }),
                    HXPropertyList(Array { HXPropertyList(0), HXPropertyList(0.5), HXPropertyList(0) }),
                    HXPropertyList(Array { HXPropertyList(10), HXPropertyList(20), HXPropertyList(1) }) }),
            HXPropertyList(Array {
                HXPropertyList(Array { HXPropertyList(2.0), HXPropertyList(0.0), HXPropertyList(0.0) }),
                HXPropertyList(Array { HXPropertyList(0.0), HXPropertyList(0.5), HXPropertyList(0.0) }),
                HXPropertyList(
                    Array { HXPropertyList(10.0), HXPropertyList(20.0), HXPropertyList(1.0) }) }) },
        { "videoContrastAdjustment", HXPropertyList(0.25), HXPropertyList(0.25),
            [](MVPMovieDocument&, MVMovie& m) { return m.visualContrast() == 1.25f; } },
        // Neutral is 0 to a script and a factor of 1 to the picture.
        { "videoContrastAdjustment", HXPropertyList(0.0), HXPropertyList(0.0),
            [](MVPMovieDocument&, MVMovie& m) { return m.visualContrast() == 1.0f; } },
        { "href", HXPropertyList("http://example.com/"), HXPropertyList("http://example.com/") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.written ? " = " + c.written->toXML() : ""));
        if (c.written) {
            auto reply = set(movieProperty(c.key), *c.written);
            EXPECT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        }
        EXPECT_EQ(get(movieProperty(c.key))["result"], c.read);
        if (c.holds) {
            EXPECT_TRUE(c.holds(*doc, *movie));
        }
    }
    // The writes that change what is saved marked the movie changed.
    EXPECT_EQ(get(movieProperty("modified"))["result"], HXPropertyList(true));
}

TEST_F(MovieDocScriptingTest, MatrixValuesOutOfRangeAreHeldAtTheLimits)
{
    HXPropertyList huge(
        Array { HXPropertyList(Array { HXPropertyList(40000), HXPropertyList(-40000), HXPropertyList(3) }),
            HXPropertyList(Array { HXPropertyList(0), HXPropertyList(1), HXPropertyList(-3) }),
            HXPropertyList(Array { HXPropertyList(0), HXPropertyList(0), HXPropertyList(1) }) });
    set(movieProperty("currentMatrix"), huge);
    const auto& v = movie->matrix().values;
    EXPECT_EQ(v[0], INT32_MAX);
    EXPECT_EQ(v[1], INT32_MIN);
    EXPECT_EQ(v[2], INT32_MAX);
    EXPECT_EQ(v[5], INT32_MIN);
    // A shape that is no 3 x 3 matrix changes nothing.
    auto before = movie->matrix();
    auto reply = set(movieProperty("currentMatrix"), HXPropertyList(Array { HXPropertyList(1) }));
    EXPECT_EQ(reply["errorNumber"].integerValue(), HXScriptCoercionError);
    EXPECT_EQ(movie->matrix(), before);
}

TEST_F(MovieDocScriptingTest, BadSpecifiersAndValuesGetErrorNumbers)
{
    struct Case {
        const char* name;
        Dict request;
        int error;
    };
    auto setRequest = [](Specifier target, HXPropertyList value) {
        return Dict { { "event", HXPropertyList("set") }, { "target", target.propertyList() },
            { "value", std::move(value) } };
    };
    auto getRequest = [](Specifier target) {
        return Dict { { "event", HXPropertyList("get") }, { "target", target.propertyList() } };
    };
    const Case cases[] = {
        { "a movie past the last", getRequest(movieProperty("name", Specifier::index("movies", 5))),
            HXScriptNoSuchObjectError },
        { "a movie by an unknown identifier",
            getRequest(movieProperty("name", Specifier::uniqueID("orderedDocuments", HXPropertyList(9999)))),
            HXScriptNoSuchObjectError },
        { "a property movies do not have", getRequest(movieProperty("flavour")), HXScriptNoSuchObjectError },
        { "a read-only property", setRequest(movieProperty("duration"), HXPropertyList(5)),
            HXScriptReadOnlyError },
        { "a time that is no number", setRequest(movieProperty("currentTime"), HXPropertyList("soon")),
            HXScriptCoercionError },
        { "a flag that is no boolean", setRequest(movieProperty("muted"), HXPropertyList(7)),
            HXScriptCoercionError },
        { "a code that is too long",
            setRequest(movieProperty("presentationSize"), HXPropertyList("enormous")),
            HXScriptCoercionError },
        { "dimensions that are no size", setRequest(movieProperty("dimensions"), HXPropertyList("big")),
            HXScriptCoercionError },
        { "a preview of one time",
            setRequest(movieProperty("preview"), HXPropertyList(Array { HXPropertyList(1) })),
            HXScriptCoercionError },
        { "a command movies do not know",
            { { "event", HXPropertyList("fly") }, { "target", frontMovie().propertyList() } },
            HXScriptNotHandledError },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto reply = script(c.request);
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error) << reply["error"].stringValue();
        EXPECT_FALSE(reply["error"].stringValue().empty());
    }
    EXPECT_FALSE(movie->hasChanged());
}

TEST_F(MovieDocScriptingTest, AMovieNamesItselfByItsIdentifier)
{
    auto reply = get(frontMovie());
    ASSERT_TRUE(reply["result"].isDictionary());
    const auto& objectSpec = reply["result"]["$specifier"];
    EXPECT_EQ(objectSpec["form"].stringValue(), "id");
    EXPECT_EQ(objectSpec["value"].integerValue(), int64_t(doc->uniqueID()));
    auto name = script({ { "event", HXPropertyList("get") },
        { "target",
            HXPropertyList(Dict { { "form", HXPropertyList("property") }, { "key", HXPropertyList("name") },
                { "container", objectSpec } }) } });
    EXPECT_EQ(name["result"].stringValue(), doc->displayName());
    EXPECT_EQ(get(movieProperty("uniqueID"))["result"].integerValue(), int64_t(doc->uniqueID()));
}

TEST_F(MovieDocScriptingTest, ElementsOfAMovie)
{
    EXPECT_EQ(script({ { "event", HXPropertyList("count") },
                  { "target", Specifier::every("tracks", ptr(frontMovie())).propertyList() } })["result"],
        HXPropertyList(int64_t(movie->trackCount())));
    auto files = get(Specifier::every("files", ptr(frontMovie())));
    EXPECT_EQ(files["result"], HXPropertyList(Array { HXPropertyList(movie->fileName()) }));
    auto windows = get(Specifier::property("name", ptr(Specifier::index("windows", 0, ptr(frontMovie())))));
    EXPECT_EQ(windows["result"].stringValue(), doc->movieWindow()->title());
    // A track specifies itself under its movie.
    auto track = get(Specifier::index("tracks", -1, ptr(frontMovie())));
    EXPECT_EQ(track["result"]["$specifier"]["value"].integerValue(), movie->trackCount() - 1);

    // Tracks come in from a movie file and go out by position.
    int before = movie->trackCount();
    auto added = script({ { "event", HXPropertyList("make") }, { "target", frontMovie().propertyList() },
        { "key", HXPropertyList("tracks") },
        { "data", HXPropertyList(movara::apptest::PlayerTest::movie("more.mov")) } });
    EXPECT_FALSE(added.contains("errorNumber")) << added["error"].stringValue();
    EXPECT_EQ(movie->trackCount(), before * 2);
    // A text that names no file is text: a text track holding it.
    auto notAFile = script({ { "event", HXPropertyList("make") }, { "target", frontMovie().propertyList() },
        { "key", HXPropertyList("tracks") }, { "data", HXPropertyList("/no/such/movie.mov") } });
    EXPECT_FALSE(notAFile.contains("errorNumber")) << notAFile["error"].stringValue();
    EXPECT_EQ(movie->trackAtIndex(movie->trackCount())->mediaType(), MVPScriptValues::fourCC("text"));
    script({ { "event", HXPropertyList("delete") },
        { "target", Specifier::index("tracks", 0, ptr(frontMovie())).propertyList() } });
    EXPECT_EQ(movie->trackCount(), before * 2);
    EXPECT_TRUE(movie->hasChanged());
}

TEST_F(MovieDocScriptingTest, KeysOfTheMovieItself)
{
    // A key the movie class does not define is the movie's attribute of that name.
    auto reply = get(movieProperty(MVMovieHasVideoAttribute));
    EXPECT_EQ(reply["result"], HXPropertyList(true));
    set(movieProperty(MVMoviePreferredVolumeAttribute), HXPropertyList(0.5));
    EXPECT_FLOAT_EQ(movie->preferredVolume(), 0.5f);
    EXPECT_TRUE(movie->hasChanged());
}

} // namespace
} // namespace movara::scriptingtest

namespace movara::scriptingtest {
namespace {

TEST_F(MovieDocScriptingTest, ScaleAndDimensionsSizeTheWindow)
{
    struct Case {
        HXPropertyList written;
        HXPropertyList read;
    };
    const Case cases[] = {
        { code("doub"), code("doub") }, { code("half"), code("half") }, { code("norm"), code("norm") },
        { code("abcd"), code("norm") }, // an unknown size changes nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.integerValue());
        set(movieProperty("scale"), c.written);
        // The window may animate to its new size: the answer comes once it is there.
        HXPropertyList read;
        for (int i = 0; i < 40 && !((read = get(movieProperty("scale"))["result"]) == c.read); ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
        EXPECT_EQ(read, c.read);
    }
    set(movieProperty("dimensions"), MVPScriptValues::record(96, 128));
    EXPECT_EQ(doc->userSize().width, 128);
    EXPECT_EQ(doc->userSize().height, 96);
    EXPECT_EQ(get(movieProperty("dimensions"))["result"], MVPScriptValues::record(96, 128));
    EXPECT_EQ(get(movieProperty("scale"))["result"], code("doub"));
    // A size between pixels (a scale worked back from the window, 44.8 × 33.6 here) answers the nearest
    // whole pixels, as the window shows it, not the ones below.
    doc->setUserScale(HXMakeSize(0.7, 0.7));
    EXPECT_EQ(get(movieProperty("dimensions"))["result"], MVPScriptValues::record(34, 45));
}

} // namespace
} // namespace movara::scriptingtest
