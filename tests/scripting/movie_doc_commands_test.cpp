// Commands scripts send to a movie: stepping, selecting, editing, geometry, saving and the export stand-in.
#include "scripting_test_support.h"

#include "fullscreen/presentation_window_controller.h"
#include "platform/mvkit/movie.h"
#include "scripting/script_values.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace movara::scriptingtest {
namespace {

class MovieDocCommandsTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        doc = openPlayer("commands.mov");
        ASSERT_TRUE(doc && doc->movie());
        movie = doc->movie();
    }
    int64_t now() { return get(movieProperty("currentTime"))["result"].integerValue(); }
    // The movie's frames last 1/10 s.
    int64_t frames(int n) const { return int64_t(n) * movie->timeScale() / 10; }

    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovie> movie;
};

TEST_F(MovieDocCommandsTest, StepsCountBothWays)
{
    struct Case {
        const char* command;
        std::optional<HXPropertyList> steps;
        int from, to; // frames
        int error = 0;
    };
    const Case cases[] = {
        { "stepForward", HXPropertyList(2), 0, 2 },
        { "stepForward", std::nullopt, 0, 1 },
        { "stepForward", HXPropertyList(0), 1, 1 },
        { "stepForward", HXPropertyList(-1), 2, 1 },
        { "stepBackward", HXPropertyList(1), 2, 1 },
        { "stepBackward", HXPropertyList(-2), 0, 2 },
        // Far past the end stops at the end, at once.
        { "stepForward", HXPropertyList(int64_t(1) << 40), 0, 4 },
        { "stepForward", HXPropertyList("many"), 1, 1, HXScriptCoercionError },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + (c.steps ? c.steps->toXML() : "(default)"));
        movie->setCurrentTime(MVMakeTime(frames(c.from), movie->timeScale()));
        Dict args;
        if (c.steps)
            args["NumberOfSteps"] = *c.steps;
        auto reply = command(c.command, frontMovie(), args);
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error);
        EXPECT_EQ(now(), frames(c.to));
    }
}

TEST_F(MovieDocCommandsTest, SelectionCommands)
{
    struct Case {
        const char* command;
        Dict arguments;
        int64_t start, duration; // -1 duration: the whole movie
    };
    const Case cases[] = {
        { "select", { { "At", HXPropertyList(60) }, { "To", HXPropertyList(180) } }, 60, 120 },
        { "select", {}, 0, -1 },
        { "select", { { "At", HXPropertyList(100) } }, 100, 0 },
        { "select", { { "To", HXPropertyList(50) } }, 0, 50 },
        // Backwards makes no negative selection.
        { "select", { { "At", HXPropertyList(180) }, { "To", HXPropertyList(60) } }, 60, 120 },
        // The widest a request can hold: held to the longest time a script may give.
        { "select", { { "At", HXPropertyList(INT64_MIN) }, { "To", HXPropertyList(INT64_MAX) } },
            -MVPScriptValues::kLongestScriptTime, MVPScriptValues::kLongestScriptTime },
        { "selectAll", {}, 0, -1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        command(c.command, frontMovie(), c.arguments);
        EXPECT_EQ(get(movieProperty("selectionStart"))["result"].integerValue(), c.start);
        EXPECT_EQ(get(movieProperty("selectionDuration"))["result"].integerValue(),
            c.duration < 0 ? movie->durationValue() : c.duration);
    }
    movie->setCurrentTime(MVMakeTime(frames(2), movie->timeScale()));
    command("selectNone", frontMovie());
    EXPECT_EQ(movie->selection().time.timeValue, frames(2));
    EXPECT_EQ(movie->selection().duration.timeValue, 0);
    // The application sends select to the front movie.
    command("select", std::nullopt, { { "At", HXPropertyList(10) }, { "To", HXPropertyList(20) } });
    EXPECT_EQ(movie->selection().time.timeValue, 10);
}

TEST_F(MovieDocCommandsTest, EditsChangeTheMovie)
{
    int64_t duration = movie->durationValue();
    command("select", frontMovie(), { { "At", HXPropertyList(0) }, { "To", HXPropertyList(frames(2)) } });
    command("copy", frontMovie());
    EXPECT_FALSE(movie->hasChanged());
    command("cut", frontMovie());
    EXPECT_EQ(movie->durationValue(), duration - frames(2));
    EXPECT_TRUE(movie->hasChanged());
    command("paste", frontMovie());
    EXPECT_EQ(movie->durationValue(), duration);
}

TEST_F(MovieDocCommandsTest, GeometryWorksOnTheMatrix)
{
    auto identity = movie->matrix();
    command("rotateRight", frontMovie());
    auto right = movie->matrix();
    EXPECT_EQ(right.values[0], 0);
    EXPECT_EQ(right.values[1], 0x10000);
    EXPECT_EQ(right.values[3], -0x10000);
    // Rotating by 90 degrees around the centre is the same turn.
    movie->setMatrix(identity);
    command("rotate", frontMovie(), { { "By", HXPropertyList(90) } });
    EXPECT_EQ(movie->matrix(), right);
    command("rotateLeft", frontMovie());
    EXPECT_EQ(movie->matrix(), identity);
    command("flipHorizontal", frontMovie());
    command("flipHorizontal", frontMovie());
    EXPECT_EQ(movie->matrix(), identity);
    command("translate", frontMovie(),
        { { "By", HXPropertyList(Array { HXPropertyList(5), HXPropertyList(7) }) } });
    EXPECT_EQ(movie->matrix().values[6], 7 * 0x10000); // h
    EXPECT_EQ(movie->matrix().values[7], 5 * 0x10000); // v
    auto bad = command("translate", frontMovie(), { { "By", HXPropertyList("far") } });
    EXPECT_EQ(bad["errorNumber"].integerValue(), HXScriptCoercionError);
    command("scale", frontMovie(), { { "By", HXPropertyList(2) } });
    EXPECT_EQ(movie->matrix().values[0], 2 * 0x10000);
}

TEST_F(MovieDocCommandsTest, SaveSelfContained)
{
    movara::test::TempDir out;
    auto path = out / "copy.mov";
    doc->setFlatten(false);
    auto reply = command(
        "saveSelfContained", frontMovie(), { { "DestinationFile", HXPropertyList(path.string()) } });
    EXPECT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
    EXPECT_GT(std::filesystem::file_size(path), 0u);
    EXPECT_FALSE(doc->flatten());

    // A folder the file cannot go in: -36, and the flag is as it was.
    auto locked = out / "locked";
    std::filesystem::create_directory(locked);
    chmod(locked.c_str(), 0500);
    auto failed = command("saveSelfContained", frontMovie(),
        { { "DestinationFile", HXPropertyList((locked / "x.mov").string()) } });
    chmod(locked.c_str(), 0700);
    if (geteuid() != 0) {
        EXPECT_EQ(failed["errorNumber"].integerValue(), -36);
        EXPECT_NE(failed["error"].stringValue().find(std::strerror(EACCES)), std::string::npos)
            << failed["error"].stringValue();
    }
    auto missing = command("saveSelfContained", frontMovie(),
        { { "DestinationFile", HXPropertyList((out / "no" / "x.mov").string()) } });
    EXPECT_EQ(missing["errorNumber"].integerValue(), -36);
    // The answer says why.
    EXPECT_NE(missing["error"].stringValue().find(std::strerror(ENOENT)), std::string::npos)
        << missing["error"].stringValue();
    EXPECT_FALSE(doc->flatten());
    EXPECT_FALSE(doc->forceSynchronousSave());
}

TEST_F(MovieDocCommandsTest, PanoramaAndExportCommandsAnswer)
{
    // Zoom and nudge answer the movie; an export that names no kind of file finds no exporter and says so.
    auto zoom = command("zoom", frontMovie(), { { "Direction", code("inwa") } });
    EXPECT_EQ(zoom["result"]["$class"].stringValue(), "movie");
    EXPECT_EQ(command("canExport", frontMovie(), { { "As", code("MooV") } })["result"], HXPropertyList(true));
    auto exported = command("export", frontMovie());
    EXPECT_EQ(exported["errorNumber"].integerValue(), -2005);
    EXPECT_FALSE(exported["error"].stringValue().empty());
}

TEST_F(MovieDocCommandsTest, PlayAndStop)
{
    command("play", frontMovie());
    EXPECT_EQ(get(movieProperty("playing"))["result"], HXPropertyList(true));
    command("stop", frontMovie());
    EXPECT_EQ(get(movieProperty("playing"))["result"], HXPropertyList(false));
    auto started = command("start", frontMovie());
    EXPECT_EQ(started["result"]["$class"].stringValue(), "movie");
    command("pause", frontMovie());
    command("rewind", frontMovie());
    EXPECT_EQ(now(), 0);
}

} // namespace
} // namespace movara::scriptingtest

namespace movara::scriptingtest {
namespace {

TEST_F(MovieDocCommandsTest, PresentMergesTheScriptsSettings)
{
    useTwoScreens();
    auto stored = doc->persistentFullscreenSettings();
    // A third display on a two-display system is no display; a colour that is no list is black.
    auto reply = command("present", frontMovie(),
        { { "Scale", code("half") }, { "Mode", code("pmss") }, { "Display", HXPropertyList(3) },
            { "BackgroundColor", HXPropertyList("blue") } });
    EXPECT_EQ(reply["result"]["$class"].stringValue(), "movie");
    ASSERT_TRUE(doc->isFullScreen());
    auto fs = doc->fsPresentationWindowController();
    EXPECT_EQ(fs->presentationSettingForKey(FullscreenPreferenceSize),
        HXPropertyList(int64_t(FSPresentationModeHalfSize)));
    EXPECT_EQ(fs->presentationSettingForKey(FullscreenPreferenceSlideShowMode), HXPropertyList(true));
    EXPECT_EQ(fs->presentationSettings().color, HXColor::colorWithCalibratedRed(0, 0, 0, 1));
    EXPECT_EQ(get(movieProperty("displayState"))["result"], code("prsf"));
    // The movie's own settings are not changed by presenting.
    EXPECT_EQ(doc->persistentFullscreenSettings(), stored);
    // Stop leaves full screen and stops the movie.
    command("stop", frontMovie());
    for (int i = 0; i < 200 && doc->isFullScreen(); ++i)
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_EQ(get(movieProperty("playing"))["result"], HXPropertyList(false));
}

TEST_F(MovieDocCommandsTest, CloseWithoutSaving)
{
    command("cut", frontMovie());
    ASSERT_TRUE(movie->hasChanged());
    command("close", frontMovie(), { { "Saving", code("no  ") } });
    EXPECT_TRUE(documents().empty());
}

// A movie with changes and no file: a script cannot choose one in a panel, so saving it without a path
// fails, and a close that was to save it leaves it open. A close that asks leaves the question to the user
// (no button is pressed for them) and the movie open meanwhile.
TEST_F(MovieDocCommandsTest, AnUntitledMovieIsNotLostBySavingOrClosing)
{
    auto untitled = delegate->newDocumentWithTemplate();
    ASSERT_TRUE(untitled);
    untitled->updateChangeCount(HXChangeDone);
    const auto target
        = Specifier::uniqueID("orderedDocuments", HXPropertyList(int64_t(untitled->uniqueID())));
    struct Case {
        const char* command;
        Dict arguments;
        int error;
    };
    const Case cases[] = {
        { "save", {}, HXScriptMissingParameterError },
        { "close", { { "Saving", code("yes ") } }, HXScriptMissingParameterError },
        { "close", {}, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.arguments.empty() ? "" : " saving"));
        auto reply = command(c.command, target, c.arguments);
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error) << reply.toXML();
        EXPECT_FALSE(reply.contains("alerts")) << reply.toXML();
        auto open = documents();
        EXPECT_NE(std::find(open.begin(), open.end(), untitled), open.end());
        EXPECT_TRUE(untitled->isDocumentEdited());
    }
}

} // namespace
} // namespace movara::scriptingtest

namespace movara::scriptingtest {
namespace {

TEST_F(MovieDocCommandsTest, FindMovesToSuccessiveHits)
{
    movara::test::TempDir folder;
    movara::test::writeFile(folder / "words.srt",
        "1\n00:00:00,000 --> 00:00:00,500\nhello there\n\n2\n00:00:00,500 --> 00:00:01,000\nquiet\n\n"
        "3\n00:00:01,000 --> 00:00:01,500\nhello again\n");
    auto path = folder / "words.mov";
    auto made = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1.5", "-i", (folder / "words.srt").string(),
        "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:s", "mov_text", path.string() });
    ASSERT_EQ(made.status, 0);
    delegate->openFiles({ path.string() }, true);
    auto words = Specifier::name("movies", "words.mov");
    auto docs = documents();
    std::shared_ptr<MVPMovieDocument> wordsDoc;
    for (auto& d : docs)
        if (d->displayName().find("words") != std::string::npos)
            wordsDoc = d;
    ASSERT_TRUE(wordsDoc);
    words = Specifier::uniqueID("orderedDocuments", HXPropertyList(int64_t(wordsDoc->uniqueID())));
    const int64_t scale = wordsDoc->movie()->timeScale();

    struct Step {
        Dict arguments;
        int64_t found; // movie units, -1 none
    };
    const Step steps[] = {
        { { { "SearchString", HXPropertyList("hello") } }, 0 },
        { { { "SearchString", HXPropertyList("hello") } }, scale },
        { { { "SearchString", HXPropertyList("HELLO") }, { "SearchBackwards", HXPropertyList(true) } }, 0 },
        { { { "SearchString", HXPropertyList("absent") } }, -1 },
        { {}, -1 },
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(
            s.arguments.count("SearchString") ? s.arguments.at("SearchString").stringValue() : "(nothing)");
        auto reply = command("find", words, s.arguments);
        EXPECT_EQ(reply["result"], HXPropertyList(s.found)) << reply.toXML();
        if (s.found >= 0) {
            EXPECT_EQ(
                MVPScriptValues::timeValue(*wordsDoc->movie(), wordsDoc->movie()->currentTime()), s.found);
        }
    }
}

} // namespace
} // namespace movara::scriptingtest
