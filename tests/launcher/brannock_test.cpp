// The launcher's choice of player: the track table, the authoring software, the version test, and the
// hand-over with its fallbacks, against a workspace of fake players.
#include "launcher/brannock.h"

#include "platform/basekit/error.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

namespace {

using Track = Brannock::Track;
constexpr uint32_t vide = MVFourCC("vide"), soun = MVFourCC("soun"), strm = MVFourCC("strm"),
                   subt = MVFourCC("subt");

TEST(Brannock, TrackTableDecidesWhatIsSimple)
{
    struct Case {
        const char* what;
        std::vector<Track> tracks;
        bool simple;
    };
    const Case cases[] = {
        { "no tracks", {}, true },
        { "picture and sound", { { vide, true }, { soun, true } }, true },
        { "picture and stream", { { vide, true }, { strm, true } }, false },
        { "two pictures", { { vide, true }, { vide, true } }, false },
        { "two pictures, one disabled", { { vide, true }, { vide, false } }, true },
        { "one stream", { { strm, true } }, true },
        { "two streams", { { strm, true }, { strm, true } }, false },
        { "every ignored kind",
            { { soun, true }, { MVFourCC("text"), true }, { MVFourCC("clcp"), true },
                { MVFourCC("sbtl"), true }, { MVFourCC("tmcd"), true }, { MVFourCC("tmet"), true },
                { MVFourCC("muxx"), true }, { vide, true } },
            true },
        { "another kind enabled", { { vide, true }, { subt, true } }, false },
        { "another kind disabled", { { vide, true }, { subt, false } }, true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Brannock::isSimple(c.tracks), c.simple) << c.what;
}

TEST(Brannock, RicherFilesOfTheMakersApplicationsGoToTheNewerPlayer)
{
    const std::vector<Track> complex = { { vide, true }, { vide, true } };
    struct Case {
        std::optional<Brannock::FileContents> contents;
        bool newer;
    };
    const Case cases[] = {
        { Brannock::FileContents { { { vide, true } }, "" }, true },
        { Brannock::FileContents { complex, "Zantrel Slidewright 3.0.2" }, true },
        { Brannock::FileContents { complex, "com.zantrel.Snapalbum" }, true },
        { Brannock::FileContents { complex, "Made with Zantrel Slidewright" }, false },
        { Brannock::FileContents { complex, "zantrel slidewright" }, false },
        { Brannock::FileContents { complex, "" }, false },
        { std::nullopt, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Brannock::goesToNewerPlayer(c.contents), c.newer)
            << (c.contents ? c.contents->authoringSoftware : "(unreadable)");
}

TEST(Brannock, EveryVersionComponentMustReachTheMinimumOnItsOwn)
{
    struct Case {
        const char* version;
        bool passes;
    };
    const Case cases[] = {
        { "7.6.1", true },
        { "7.6.2", true },
        { "7.7.1", true },
        { "8.6.1", true },
        { "7.7", false }, // the missing third component counts as 0
        { "8.0", false },
        { "7.10.0", false },
        { "7.6.1.5", true },
        { "7.6", false },
        { "7.6.0", false },
        { "7.5.9", false },
        { "6.9.9", false },
        { "", false },
        { "seven", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Brannock::passesVersionTest(c.version), c.passes) << c.version;
}

// Players that the test installs or leaves out, and what they were given.
class FakeWorkspace : public MVPLauncherWorkspace {
public:
    std::map<std::string, MVPLauncherApplication> installed;
    std::set<std::string> failing;
    std::map<std::string, std::vector<std::string>> opened;

    std::optional<MVPLauncherApplication> applicationForIdentifier(const std::string& identifier) override
    {
        auto it = installed.find(identifier);
        return it == installed.end() ? std::nullopt : std::optional(it->second);
    }
    bool openFiles(const std::vector<std::string>& files, const MVPLauncherApplication& application) override
    {
        if (failing.count(application.identifier))
            return false;
        auto& list = opened[application.identifier];
        list.insert(list.end(), files.begin(), files.end());
        return true;
    }
};

// A short movie of one picture track and one sound track.
std::string makeSimpleMovie(const movara::test::TempDir& dir)
{
    std::string path = (dir / "simple.mov").string();
    auto made = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-f", "lavfi", "-i", "sine=duration=1",
        "-c:v", "mpeg4", "-c:a", "aac", "-shortest", path });
    EXPECT_EQ(made.status, 0);
    return path;
}

TEST(Brannock, EachListGoesToItsPlayerOrFallsBack)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    movara::test::TempDir dir;
    std::string simple = makeSimpleMovie(dir);
    std::string unreadable = (dir / "notes.txt").string(); // counts as a richer file
    movara::test::writeFile(unreadable, "not a movie");
    const std::string movara = MVPMovaraPlayerIdentifier, newer = MVPNewerPlayerIdentifier;

    struct Case {
        const char* what;
        bool newerInstalled;
        bool newerFails;
        std::optional<std::string> movaraVersion; // nullopt: not installed; "-": installed without a version
        bool movaraBundled;
        bool movaraFails;
        std::vector<std::string> toNewer, toMovara;
        bool allOpened;
    };
    const Case cases[] = {
        { "both players", true, false, "7.6.1", false, false, { simple }, { unreadable }, true },
        { "no newer player", false, false, "7.6.1", false, false, {}, { unreadable, simple }, true },
        { "newer player fails", true, true, "7.6.1", false, false, {}, { unreadable, simple }, true },
        { "Movara Player too old", true, false, "7.5", false, false, { simple, unreadable }, {}, true },
        { "Movara Player without a version", true, false, "-", false, false, { simple, unreadable }, {},
            true },
        { "Movara Player installed with the launcher", true, false, "-", true, false, { simple },
            { unreadable }, true },
        { "Movara Player above the minimum in every component", true, false, "7.7.1", false, false,
            { simple }, { unreadable }, true },
        { "Movara Player 8.0: a component below the minimum's", true, false, "8.0", false, false,
            { simple, unreadable }, {}, true },
        { "Movara Player fails", true, false, "7.6.1", false, true, { simple, unreadable }, {}, true },
        { "only an old Movara Player", false, false, "7.0", false, false, {}, { unreadable, simple }, true },
        { "no player at all", false, false, std::nullopt, false, false, {}, {}, false },
    };
    for (const auto& c : cases) {
        FakeWorkspace workspace;
        if (c.newerInstalled)
            workspace.installed[newer] = { newer, { "newer" }, "1.0", false };
        if (c.newerFails)
            workspace.failing.insert(newer);
        if (c.movaraVersion) {
            MVPLauncherApplication app { movara, { "movara" }, std::nullopt, c.movaraBundled };
            if (*c.movaraVersion != "-")
                app.version = *c.movaraVersion;
            workspace.installed[movara] = app;
        }
        if (c.movaraFails)
            workspace.failing.insert(movara);
        Brannock brannock(workspace);
        testing::internal::CaptureStderr();
        EXPECT_EQ(brannock.openFiles({ simple, unreadable }), c.allOpened) << c.what;
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(workspace.opened[newer], c.toNewer) << c.what;
        EXPECT_EQ(workspace.opened[movara], c.toMovara) << c.what;
        EXPECT_EQ(errors.find("no player could open") != std::string::npos, !c.allOpened) << c.what << errors;
    }
}

TEST(Brannock, FilesAreReadForTheirTracksAndAuthoringSoftware)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    movara::test::TempDir dir;
    std::string simple = makeSimpleMovie(dir);
    auto contents = Brannock::readFile(simple);
    ASSERT_TRUE(contents);
    ASSERT_EQ(contents->tracks.size(), 2u);
    EXPECT_TRUE(Brannock::goesToNewerPlayer(contents));

    // A second enabled picture track makes it richer; the maker's presentation application makes it the
    // newer player's again.
    HXError error;
    auto movie = MVMovie::movieWithFile(simple, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto second = MVMovie::movieWithFile(simple, &error);
    ASSERT_TRUE(second);
    ASSERT_TRUE(movie->add(second));
    for (auto& track : movie->tracks())
        track->setEnabled(true);
    std::string twoPictures = (dir / "two.mov").string();
    ASSERT_TRUE(movie->writeToFile(twoPictures, { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();
    contents = Brannock::readFile(twoPictures);
    ASSERT_TRUE(contents);
    EXPECT_FALSE(Brannock::goesToNewerPlayer(contents));

    std::string key = MVPAuthoringSoftwareMetadataKey;
    MVSetAnnotation(movie->userData(), movie->metadata(), MVMetadataStorageMetadata,
        MVMetadataKeyFormatReverseDNS, MVBytes(key.begin(), key.end()), "", "Zantrel Slidewright 2.1");
    std::string authored = (dir / "authored.mov").string();
    ASSERT_TRUE(movie->writeToFile(authored, { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();
    contents = Brannock::readFile(authored);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->authoringSoftware, "Zantrel Slidewright 2.1");
    EXPECT_TRUE(Brannock::goesToNewerPlayer(contents));

    std::string text = (dir / "notes.txt").string();
    movara::test::writeFile(text, "not a movie at all");
    EXPECT_FALSE(Brannock::readFile(text));
    EXPECT_FALSE(Brannock::readFile(dir.path().string())) << "a folder";
    EXPECT_FALSE(Brannock::readFile((dir / "missing.mov").string()));
}

} // namespace
