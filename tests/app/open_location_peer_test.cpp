// Locations whose names say nothing, opened from the Open URL sheet and from a command line: the player
// asks a real server on loopback (python's HTTP server) what it sends before it opens anything, and
// refuses what does not play with an alert that says why.
#include "app_test_fixtures.h"
#include "stream_servers.h"

#include "app/open_url_panel.h"
#include "core/movie_error.h"

#include <gtest/gtest.h>

namespace {

using namespace movara::apptest;
using movara::test::RangeServer;
using movara::test::runLoopUntil;
using movara::test::TempDir;
using movara::test::writeFile;

class OpenLocationTest : public PlayerTest {
protected:
    void SetUp() override
    {
        PlayerTest::SetUp();
        ASSERT_EQ(
            movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=size=64x48:rate=10:duration=2", "-c:v", "libx264",
                                         "-preset", "ultrafast", "-f", "mpegts", (dir / "channel").string() })
                .status,
            0);
        writeFile(dir / "page", "<!DOCTYPE html><html><body>Welcome</body></html>\n");
        writeFile(dir / "page.type", "text/html");
        server = std::make_unique<RangeServer>(dir.path());
        ASSERT_GT(server->port, 0);
    }
    void TearDown() override
    {
        server.reset();
        PlayerTest::TearDown();
    }
    // The Open URL sheet's OK with `text` in its field.
    void openFromSheet(const std::string& text)
    {
        auto panel = OpenURLPanel::openURLPanelWithUserDefaultsKey("MVPOpenLocationTestPanel");
        panel->beginSheetWithWindow(nullptr, [](OpenURLPanel&, long) {});
        panel->setURLString(text);
        delegate->openURLPanelDidEnd(*panel, 1, true);
    }
    // Runs the loop until the location was answered.
    bool answered()
    {
        return runLoopUntil([&] { return !delegate->isProbingLocation(); }, 20);
    }

    TempDir dir;
    std::unique_ptr<RangeServer> server;
};

TEST_F(OpenLocationTest, WhatPlaysOpensOnceTheServerSaysSo)
{
    const std::string url = server->url("channel");
    openFromSheet(url);
    // The server is asked while the window goes on: nothing opened yet.
    EXPECT_TRUE(delegate->isProbingLocation());
    EXPECT_TRUE(documents().empty());
    ASSERT_TRUE(answered());
    EXPECT_TRUE(outside.reportedErrors.empty()) << outside.reportedErrors.at(0).localizedRecoverySuggestion();
    ASSERT_EQ(documents().size(), 1u);
    auto movieURL = documents()[0]->movie()->URL();
    ASSERT_TRUE(movieURL);
    EXPECT_EQ(movieURL->absoluteString(), url);
}

TEST_F(OpenLocationTest, WhatDoesNotPlayIsRefusedWithTheReason)
{
    struct Case {
        std::string url;
        const char* reason;
    };
    int closed = 0;
    {
        RangeServer gone(dir.path());
        closed = gone.port;
    }
    const Case cases[] = {
        { server->url("page"), "(text/html) is not a movie" },
        { server->url("missing"), "has nothing at this location" },
        { "http://127.0.0.1:" + std::to_string(closed) + "/live", "refused the connection" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        outside.reportedErrors.clear();
        openFromSheet(c.url);
        ASSERT_TRUE(answered());
        ASSERT_EQ(outside.reportedErrors.size(), 1u);
        EXPECT_EQ(outside.reportedErrors[0].code(), MVPMovieErrorCouldNotOpenMovie);
        const std::string reason = outside.reportedErrors[0].localizedRecoverySuggestion();
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_TRUE(documents().empty());
    }
    // A command line's location is asked the same way.
    outside.reportedErrors.clear();
    delegate->openItems({ server->url("page") }, true);
    ASSERT_TRUE(answered());
    ASSERT_EQ(outside.reportedErrors.size(), 1u);
    EXPECT_TRUE(documents().empty());
}

TEST_F(OpenLocationTest, AnswersThatComeAfterTheApplicationWentAreDropped)
{
    openFromSheet(server->url("page"));
    ASSERT_TRUE(delegate->isProbingLocation());
    // The delegate goes while its server is asked: nothing is told to it afterwards.
    delegate.reset();
    runLoopUntil([] { return false; }, 1);
    EXPECT_TRUE(outside.reportedErrors.empty());
}

} // namespace
