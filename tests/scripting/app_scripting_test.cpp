// The application object and its small elements (favorites, recent items, displays, windows) through the
// player's socket.
#include "scripting_test_support.h"

#include "app/favorites_controller.h"
#include "inspectors/av_controls.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/window.h"
#include "scripting/app_scripting.h"
#include "scripting/script_values.h"

namespace movara::scriptingtest {
namespace {

class AppScriptingTest : public ScriptingTest { };

TEST_F(AppScriptingTest, PreferencesAsProperties)
{
    struct Case {
        const char* key;
        const char* preference;
        bool notifies;
    };
    const Case cases[] = {
        { "useHighQualityVideoSettingWhenAvailable", "GeneralPreferenceHighQualityVideo", false },
        { "showTimecodeFrameNumbers", "GeneralPreferenceShowTimeCodeAbsoluteFrameNumbers", false },
        { "showTimecodeWhenAvailable", "GeneralPreferenceShowTimeCode", true },
        { "showClosedCaptioningWhenAvailable", "GeneralPreferenceShowClosedCaptioning", false },
        { "suspendPlayingMoviesOnUserSwitch", "GeneralPreferencePauseMoviesWhenLoggedOut", true },
        { "showWelcomeMovieAutomatically", "GeneralPreferenceShowReelspotMovieAutomatically", true },
        { "showEqualizer", "GeneralPreferenceShowEqualizer", true },
        { "playSoundInBackground", "GeneralPreferencePlaySoundWhenAppInBackground", true },
        { "playMovieFromBeginningWhenOpened", "GeneralPreferenceAutoPlayMoviesWhenOpened", true },
        { "openMovieInNewPlayer", "GeneralPreferenceOpenMoviesInNewPlayers", true },
        { "onlyFrontMoviePlaysSound", "GeneralPreferencePlaySoundInFrontPlayerOnly", true },
        { "ignoreAutoPresent", "ZantrelScriptPreferenceIgnoreAutoPresent", true },
        { "ignoreAutoPlay", "ZantrelScriptPreferenceIgnoreAutoPlay", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        bool before = MVPPreferences::preferences().preference(c.preference).boolValue();
        auto posted = count("PreferenceChangedNotification");
        set(Specifier::property(c.key), HXPropertyList(!before));
        MVPPreferences::preferences().postDeferredNotifications();
        EXPECT_EQ(MVPPreferences::preferences().preference(c.preference).boolValue(), !before);
        EXPECT_EQ(get(Specifier::property(c.key))["result"], HXPropertyList(!before));
        EXPECT_EQ(*posted > 0, c.notifies);
        MVPPreferences::preferences().setPreference(HXPropertyList(before), c.preference, false);
    }
}

TEST_F(AppScriptingTest, AVControlsShowAndHideFromAScript)
{
    // The first request of a launch shows the panel, though nothing made it before.
    for (const char* key : { "showAvControlsWindow", "showAdvancedControls" }) {
        SCOPED_TRACE(key);
        AVControls::releaseAVControls();
        set(Specifier::property(key), HXPropertyList(false));
        EXPECT_FALSE(AVControls::hasAVControls()) << "hiding makes no panel";
        EXPECT_EQ(get(Specifier::property(key))["result"], HXPropertyList(false));
        set(Specifier::property(key), HXPropertyList(true));
        ASSERT_TRUE(AVControls::hasAVControls());
        EXPECT_TRUE(AVControls::avControls()->isVisible());
        EXPECT_EQ(get(Specifier::property(key))["result"], HXPropertyList(true));
        set(Specifier::property(key), HXPropertyList(true));
        EXPECT_TRUE(AVControls::avControls()->isVisible()) << "asking again leaves it shown";
        set(Specifier::property(key), HXPropertyList(false));
        EXPECT_FALSE(AVControls::avControls()->isVisible());
        EXPECT_EQ(get(Specifier::property(key))["result"], HXPropertyList(false));
    }
    AVControls::releaseAVControls();
}

TEST_F(AppScriptingTest, FixedAnswers)
{
    struct Case {
        std::optional<int64_t> stored;
        const char code[5];
    };
    const Case speeds[] = { { 2800, "288 " }, { 1400, "144 " }, { 150000, "T1  " }, { 1234, "288 " },
        { std::nullopt, "LAN " } };
    for (const auto& c : speeds) {
        if (c.stored)
            HXUserDefaults::standardUserDefaults().setObject(HXPropertyList(*c.stored), "MVConnectionSpeed");
        else
            HXUserDefaults::standardUserDefaults().removeObjectForKey("MVConnectionSpeed");
        EXPECT_EQ(get(Specifier::property("MovaraConnectionSpeed"))["result"], code(c.code)) << c.code;
    }
    HXUserDefaults::standardUserDefaults().removeObjectForKey("MVConnectionSpeed");
    set(Specifier::property("MovaraLanguage"), HXPropertyList("French"));
    EXPECT_EQ(get(Specifier::property("MovaraLanguage"))["result"], HXPropertyList("English"));
    EXPECT_TRUE(get(Specifier::property("MovaraVersion"))["result"].isReal());
    EXPECT_EQ(get(Specifier::property("MovaraVersion"))["errorNumber"].integerValue(), 0);
}

TEST_F(AppScriptingTest, FavoritesFromScripts)
{
    auto make = [this](HXPropertyList data) {
        return script({ { "event", HXPropertyList("make") }, { "key", HXPropertyList("favorites") },
            { "data", std::move(data) } });
    };
    auto changes = count(MVPFavoritesDidChange);
    make(HXPropertyList("http://example.com/films/trailer.mov"));
    make(HXPropertyList("file:///tmp/scripted%20clips/clip.mov"));
    make(HXPropertyList(42)); // not a location: nothing
    auto& list = MVPFavoritesController::favoritesController().favoriteDocuments();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(*changes, 2);

    auto web = Specifier::index("favorites", 0);
    EXPECT_EQ(get(Specifier::property("name", ptr(web)))["result"], HXPropertyList("trailer.mov"));
    EXPECT_EQ(get(Specifier::property("kind", ptr(web)))["result"], code("url "));
    EXPECT_EQ(get(Specifier::property("category", ptr(web)))["result"], HXPropertyList("Category"));
    EXPECT_EQ(get(Specifier::every("files", ptr(web)))["result"], HXPropertyList(Array {}));
    EXPECT_EQ(
        get(Specifier::property("name", ptr(Specifier::index("internetLocations", 0, ptr(web)))))["result"],
        HXPropertyList("http://example.com/films/trailer.mov"));
    // A file URL stands for its file.
    auto file = Specifier::name("favorites", "clip.mov");
    EXPECT_EQ(get(Specifier::property("kind", ptr(file)))["result"], code("alis"));
    EXPECT_EQ(get(Specifier::every("files", ptr(file)))["result"],
        HXPropertyList(Array { HXPropertyList("/tmp/scripted clips/clip.mov") }));

    // Removing past the end changes nothing; removing the first stores the list and says so.
    auto past = script({ { "event", HXPropertyList("delete") },
        { "target", Specifier::index("favorites", 2).propertyList() } });
    EXPECT_EQ(past["errorNumber"].integerValue(), HXScriptNoSuchObjectError);
    EXPECT_EQ(*changes, 2);
    script({ { "event", HXPropertyList("delete") }, { "target", web.propertyList() } });
    EXPECT_EQ(*changes, 3);
    auto stored = HXUserDefaults::standardUserDefaults().arrayForKey(MVPFavoriteDocumentsUserDefault);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]["name"].stringValue(), "clip.mov");
}

TEST_F(AppScriptingTest, RecentItems)
{
    controller->noteNewRecentDocumentWithAttributes(movara::apptest::fileEntry("/tmp/a.mov"));
    controller->noteNewRecentDocumentWithAttributes(movara::apptest::fileEntry("/tmp/b.mov"));
    auto items = get(Specifier::property("name", ptr(Specifier::every("recentItems"))));
    ASSERT_EQ(items["result"].count(), 2u);
    EXPECT_EQ(
        get(Specifier::property("kind", ptr(Specifier::index("recentItems", 0))))["result"], code("alis"));
    script({ { "event", HXPropertyList("delete") },
        { "target", Specifier::index("recentItems", 0).propertyList() } });
    EXPECT_EQ(HXUserDefaults::standardUserDefaults().arrayForKey(MVPRecentDocumentsUserDefault).size(), 1u);
    EXPECT_EQ(controller->recentDocuments().size(), 1u);
}

TEST_F(AppScriptingTest, DisplaysAndWindows)
{
    useTwoScreens();
    auto names = get(Specifier::property("name", ptr(Specifier::every("displays"))));
    EXPECT_EQ(
        names["result"], HXPropertyList(Array { HXPropertyList("my screen"), HXPropertyList("my screen") }));
    EXPECT_EQ(get(Specifier::property("main", ptr(Specifier::index("displays", 0))))["result"],
        HXPropertyList(true));
    EXPECT_EQ(get(Specifier::property("main", ptr(Specifier::index("displays", 1))))["result"],
        HXPropertyList(false));
    EXPECT_EQ(get(Specifier::property("currentDepth", ptr(Specifier::index("displays", 1))))["result"],
        HXPropertyList(32));
    EXPECT_EQ(get(Specifier::property("dimensions", ptr(Specifier::index("displays", 1))))["result"],
        MVPScriptValues::record(768, 1024));
    // The second display's reference leads back to the second display, though both share their name.
    auto second = get(Specifier::index("displays", 1))["result"]["$specifier"];
    auto index = script({ { "event", HXPropertyList("get") },
        { "target", HXPropertyList(Dict { { "key", HXPropertyList("index") }, { "container", second } }) } });
    EXPECT_EQ(index["result"], HXPropertyList(1));

    auto doc = openPlayer("window.mov");
    ASSERT_TRUE(doc);
    auto window = Specifier::index("orderedMovieWindows", 0);
    set(Specifier::property("windowPosition", ptr(window)), MVPScriptValues::record(300, 50));
    HXRect frame = doc->movieWindow()->frame();
    EXPECT_EQ(frame.origin.x, 50);
    EXPECT_EQ(frame.origin.y + frame.size.height, 300);
    EXPECT_EQ(get(Specifier::property("windowPosition", ptr(window)))["result"],
        MVPScriptValues::record(int16_t(frame.origin.y), 50));
    EXPECT_EQ(get(Specifier::property("name", ptr(Specifier::index("movies", 0, ptr(window)))))["result"]
                  .stringValue(),
        doc->displayName());
    // A panel in front of it does not change the window's reference among the movie windows.
    MVPFavoritesController::favoritesController().showPanel();
    EXPECT_EQ(get(window)["result"]["$specifier"]["value"], HXPropertyList(0));
    MVPFavoritesController::favoritesController().hidePanel();
}

TEST_F(AppScriptingTest, MoviesFrontToBackAndByIdentifier)
{
    auto first = openPlayer("first.mov");
    auto second = openPlayer("second.mov");
    ASSERT_TRUE(first && second);
    second->movieWindow()->makeKeyAndOrderFront(nullptr);
    auto names = get(Specifier::property("name", ptr(Specifier::every("orderedMovies"))))["result"];
    ASSERT_EQ(names.count(), 2u);
    EXPECT_EQ(names[size_t(0)].stringValue(), second->displayName());
    auto byID = get(Specifier::property(
        "name", ptr(Specifier::uniqueID("orderedDocuments", HXPropertyList(int64_t(first->uniqueID()))))));
    EXPECT_EQ(byID["result"].stringValue(), first->displayName());
    EXPECT_EQ(script({ { "event", HXPropertyList("count") },
                  { "target", Specifier::every("orderedMovieWindows").propertyList() } })["result"],
        HXPropertyList(2));
}

TEST_F(AppScriptingTest, OpenLocationListsWhatOpened)
{
    HXPropertyList urls(
        Array { HXPropertyList(
                    HXURL::fileURLWithPath(movara::apptest::PlayerTest::movie("loc1.mov")).absoluteString()),
            HXPropertyList(
                HXURL::fileURLWithPath(movara::apptest::PlayerTest::movie("loc2.mov")).absoluteString()),
            HXPropertyList(7) });
    auto reply = command("openLocation", std::nullopt, {}, urls);
    EXPECT_EQ(reply["result"].count(), 2u) << reply.toXML();
    EXPECT_EQ(movieFiles().size(), 2u);

    // A location where nothing opens answers why, not an empty list.
    movara::test::TempDir junk;
    movara::test::writeFile(junk / "junk.mov", "no movie here");
    auto refused = command("openLocation", std::nullopt, {},
        HXPropertyList(HXURL::fileURLWithPath((junk / "junk.mov").string()).absoluteString()));
    EXPECT_NE(refused["errorNumber"].integerValue(), 0) << refused.toXML();
    EXPECT_FALSE(refused["error"].stringValue().empty());
    EXPECT_EQ(movieFiles().size(), 2u);
}

TEST_F(AppScriptingTest, SaveReferenceMovie)
{
    movara::test::TempDir out;
    auto path = out / "ref.mov";
    HXPropertyList descriptors(Array { HXPropertyList(Dict { { "movieurl", HXPropertyList("fast.mov") },
                                           { "datarate", HXPropertyList(100000) } }),
        HXPropertyList(Dict { { "movieurl", HXPropertyList(3) } }) });
    auto ok = command("saveReferenceMovie", std::nullopt,
        { { "Destination", HXPropertyList(path.string()) }, { "UsingDescriptors", descriptors } });
    EXPECT_FALSE(ok.contains("errorNumber")) << ok["error"].stringValue();
    auto bytes = movara::test::readFile(path);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(4, 4), "moov");

    struct Case {
        const char* name;
        Dict arguments;
        int error;
    };
    const Case cases[] = {
        { "an existing file, not replacing",
            { { "Destination", HXPropertyList(path.string()) }, { "UsingDescriptors", descriptors } }, -48 },
        { "a folder",
            { { "Destination", HXPropertyList(out.path().string()) }, { "UsingDescriptors", descriptors },
                { "Replacing", HXPropertyList(true) } },
            -48 },
        { "no destination", { { "UsingDescriptors", descriptors } }, -50 },
        { "descriptors that are no list",
            { { "Destination", HXPropertyList((out / "b.mov").string()) },
                { "UsingDescriptors", HXPropertyList("x") } },
            -50 },
        { "a descriptor that is no record",
            { { "Destination", HXPropertyList((out / "c.mov").string()) },
                { "UsingDescriptors", HXPropertyList(Array { HXPropertyList(1) }) } },
            -50 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            command("saveReferenceMovie", std::nullopt, c.arguments)["errorNumber"].integerValue(), c.error);
    }
    EXPECT_EQ(movara::test::readFile(path), bytes);
    EXPECT_FALSE(std::filesystem::exists(out / "c.mov"));
    auto replaced = command("saveReferenceMovie", std::nullopt,
        { { "Destination", HXPropertyList(path.string()) }, { "UsingDescriptors", HXPropertyList(Array {}) },
            { "Replacing", HXPropertyList(true) } });
    EXPECT_FALSE(replaced.contains("errorNumber"));
    EXPECT_NE(movara::test::readFile(path), bytes);
}

} // namespace
} // namespace movara::scriptingtest
namespace movara::scriptingtest {
namespace {

TEST_F(AppScriptingTest, OpenImageSequence)
{
    movara::test::TempDir images;
    auto made = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "testsrc=size=32x24:rate=10", "-frames:v", "3", (images / "shot%03d.png").string() });
    ASSERT_EQ(made.status, 0);
    auto reply = command("openImageSequence", std::nullopt, { { "FramesPerSecond", HXPropertyList(12.5) } },
        HXPropertyList((images / "shot001.png").string()));
    ASSERT_EQ(reply["result"]["$class"].stringValue(), "movie") << reply.toXML();
    auto docs = documents();
    ASSERT_EQ(docs.size(), 1u);
    auto& m = *docs[0]->movie();
    // Three frames of 100 units at 1250 a second.
    EXPECT_EQ(MVTimeCompare(m.duration(), MVMakeTime(300, 1250)), 0);
    EXPECT_TRUE(docs[0]->isDocumentEdited());
    auto refused = command("openImageSequence", std::nullopt, { { "FramesPerSecond", HXPropertyList(0) } },
        HXPropertyList((images / "shot001.png").string()));
    EXPECT_EQ(refused["errorNumber"].integerValue(), HXScriptParameterError);
    EXPECT_EQ(documents().size(), 1u);
}

TEST_F(AppScriptingTest, AFavoriteOpens)
{
    auto path = movara::apptest::PlayerTest::movie("favorite.mov");
    script({ { "event", HXPropertyList("make") }, { "key", HXPropertyList("favorites") },
        { "data", HXPropertyList(HXURL::fileURLWithPath(path).absoluteString()) } });
    auto opened = command("open", Specifier::name("favorites", "favorite.mov"));
    EXPECT_EQ(opened["result"]["$class"].stringValue(), "movie") << opened.toXML();
    ASSERT_EQ(movieFiles(), std::vector<std::string> { "favorite.mov" });
}

} // namespace
} // namespace movara::scriptingtest

namespace movara::scriptingtest {
namespace {

TEST_F(AppScriptingTest, RecordingsByIdentifier)
{
    auto doc = openPlayer("beside.mov");
    ASSERT_TRUE(doc);
    auto made = command("newAudioRecording");
    ASSERT_EQ(made["result"]["$class"].stringValue(), "recording") << made.toXML();
    // The recording names itself by identifier, and that name finds it again.
    auto objectSpec = made["result"]["$specifier"];
    EXPECT_EQ(objectSpec["key"].stringValue(), "orderedDocuments");
    auto id = script({ { "event", HXPropertyList("get") },
        { "target",
            HXPropertyList(Dict { { "key", HXPropertyList("uniqueID") }, { "container", objectSpec } }) } });
    EXPECT_EQ(id["result"], objectSpec["value"]);
    EXPECT_NE(id["result"].integerValue(), int64_t(doc->uniqueID()));
    EXPECT_EQ(script({ { "event", HXPropertyList("count") },
                  { "target", Specifier::every("recordings").propertyList() } })["result"],
        HXPropertyList(1));
    // While one records, no second recording is made.
    EXPECT_FALSE(command("newMovieRecording").contains("result"));
    EXPECT_EQ(script({ { "event", HXPropertyList("count") },
                  { "target", Specifier::every("recordings").propertyList() } })["result"],
        HXPropertyList(1));
    EXPECT_EQ(get(Specifier::property("name", ptr(Specifier::every("orderedMovies"))))["result"].count(), 1u);
}

} // namespace
} // namespace movara::scriptingtest
