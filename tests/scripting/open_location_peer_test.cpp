// A script's open location of a location whose name says nothing: the answer waits for the server
// (python's HTTP server on loopback) to be asked, and carries the movie opened or the reason it was not.
#include "scripting_test_support.h"
#include "stream_servers.h"

namespace movara::scriptingtest {
namespace {

class OpenLocationScriptingTest : public ScriptingTest { };

TEST_F(OpenLocationScriptingTest, TheAnswerSaysWhatOpenedOrWhyNot)
{
    if (!movara::test::haveProgram("ffmpeg") || !movara::test::haveProgram("python3"))
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    movara::test::TempDir dir;
    ASSERT_EQ(movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "testsrc=size=64x48:rate=10:duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-f",
                  "mpegts", (dir / "channel").string() })
                  .status,
        0);
    movara::test::writeFile(dir / "page", "<html><body>Welcome</body></html>\n");
    movara::test::writeFile(dir / "page.type", "text/html");
    movara::test::RangeServer server(dir.path());
    ASSERT_GT(server.port, 0);

    auto refused = command("openLocation", std::nullopt, {}, HXPropertyList(server.url("page")));
    EXPECT_EQ(refused["errorNumber"].integerValue(), -2102) << refused.toXML();
    EXPECT_NE(refused["error"].stringValue().find("(text/html) is not a movie"), std::string::npos)
        << refused.toXML();
    EXPECT_TRUE(movieFiles().empty());

    auto opened = command("openLocation", std::nullopt, {}, HXPropertyList(server.url("channel")));
    EXPECT_FALSE(opened.contains("errorNumber")) << opened.toXML();
    EXPECT_EQ(opened["result"].count(), 1u) << opened.toXML();
    EXPECT_EQ(movieFiles().size(), 1u);
}

} // namespace
} // namespace movara::scriptingtest
