// A movie document opened over HTTP from a loopback server (python3): the load states pass to the
// playable state, then the settings stored in the movie apply and it starts playing when it says so; a
// server that stops half-way gives its error without hanging.
#include "movie_document_test_support.h"

#include "document/persistence.h"
#include "platform/basekit/bundle.h"
#include "tests/platform/mvkit/fixtures.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace movara::test;
using namespace movara::test::document;

namespace {

// Serves a folder; with "half" it sends every file's length but only half of its bytes, then hangs up.
const char* serverScript = R"(
import http.server, os, sys
os.chdir(sys.argv[1])
half = sys.argv[2] == "half"
class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
    def do_GET(self):
        if not half:
            return super().do_GET()
        data = open(self.path.lstrip("/"), "rb").read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data[: len(data) // 2])
        self.wfile.flush()
        self.close_connection = True
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)";

class LoopbackServer {
public:
    LoopbackServer(const std::filesystem::path& folder, bool half)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        _pid = fork();
        if (_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            execlp("python3", "python3", "-c", serverScript, folder.c_str(), half ? "half" : "all", nullptr);
            _exit(127);
        }
        close(fds[1]);
        std::string line;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            line.push_back(c);
        close(fds[0]);
        port = line.empty() ? 0 : std::stoi(line);
    }
    ~LoopbackServer()
    {
        if (_pid > 0) {
            kill(_pid, SIGTERM);
            waitpid(_pid, nullptr, 0);
        }
    }
    HXURL url(const std::string& name) const
    {
        return *HXURL::URLWithString("http://127.0.0.1:" + std::to_string(port) + "/" + name);
    }
    int port = 0;

private:
    pid_t _pid = -1;
};

class MovieDocumentNetworkTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        auto fixture = fixturePath(MovieFixture::H264AacMov);
        if (fixture.empty() || !haveProgram("python3"))
            GTEST_SKIP() << "ffmpeg and python3 are needed";
        // The served movie asks to be played and carries a stored gain.
        auto source = MVPMovieDocument::documentWithContentsOfFile(fixture.string(), "Movie", false, nullptr);
        ASSERT_TRUE(source);
        source->movie()->setGain(0.5f);
        MVPPersistence::saveMetaDataItemsFromMovie(*source);
        setUserData(*source->movie(), "play", { 1 });
        HXError error;
        ASSERT_TRUE(source->movie()->writeToFile((dir.path() / "clip.mov").string(), {}, &error))
            << error.localizedDescription();
    }

    TempDir dir;
};

TEST_F(MovieDocumentNetworkTest, LoadsToPlayableThenAppliesTheStoredSettingsAndPlays)
{
    LoopbackServer server(dir.path(), false);
    ASSERT_GT(server.port, 0);
    HXError error;
    auto doc = MVPMovieDocument::documentWithContentsOfURL(server.url("clip.mov"), "Movie", &error);
    ASSERT_TRUE(doc) << error.localizedDescription();
    auto movie = doc->movie();
    doc->makeWindowControllers();
    doc->showWindows();
    EXPECT_LT(movie->loadState(), MVMovieLoadStatePlayable);
    EXPECT_FALSE(movie->isPlaying()) << "nothing to play before the movie is playable";

    std::vector<int64_t> states;
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
        MVMovieLoadStateDidChangeNotification, movie.get(), [&](const HXNotification&) {
            states.push_back(movie->loadState());
            if (movie->loadState() >= MVMovieLoadStatePlayable) {
                // By the time observers after the document hear of it, the settings are in place.
                EXPECT_FLOAT_EQ(movie->gain(), 0.5f);
                EXPECT_TRUE(movie->isPlaying());
            }
        }));
    auto rateChanges = count(MVMovieRateDidChangeNotification, movie.get());
    ASSERT_TRUE(runUntil([&] {
        return movie->loadState() == MVMovieLoadStateComplete || movie->loadState() == MVMovieLoadStateError;
    }));
    ASSERT_EQ(movie->loadState(), MVMovieLoadStateComplete) << movie->loadError().localizedDescription();
    ASSERT_FALSE(states.empty());
    EXPECT_NE(std::find(states.begin(), states.end(), int64_t(MVMovieLoadStatePlayable)), states.end());
    EXPECT_FLOAT_EQ(movie->gain(), 0.5f);
    EXPECT_TRUE(movie->isPlaying());
    EXPECT_EQ(*rateChanges, 1) << "the start-up settings apply once, not at every later state";
    EXPECT_TRUE(doc->autoPlay());
    EXPECT_EQ(doc->naturalSize().width, 160);
    EXPECT_EQ(doc->tracks().size(), 2u);
    EXPECT_EQ(doc->movieWindow()->title(), "clip.mov");
    doc->close();
}

// A server that stops half-way: before the movie's header arrived the document reports the invalid
// address and closes; after it, the part that arrived stays, the movie stops where its data ends and
// the document keeps the error text (the time display shows it), without an alert.
TEST_F(MovieDocumentNetworkTest, AServerThatStopsHalfWayGivesTheErrorWithoutHanging)
{
    // The same movie with its header at the end (the ffmpeg command line's layout).
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-i", (dir.path() / "clip.mov").string(),
                  "-map", "0", "-c", "copy", (dir.path() / "late.mov").string() })
                  .status,
        0);
    LoopbackServer server(dir.path(), true);
    ASSERT_GT(server.port, 0);
    struct Case {
        const char* name;
        bool headerFirst;
    };
    for (const Case c : { Case { "clip.mov", true }, Case { "late.mov", false } }) {
        SCOPED_TRACE(c.name);
        auto doc = MVPMovieDocument::documentWithContentsOfURL(server.url(c.name), "Movie", nullptr);
        ASSERT_TRUE(doc);
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        std::vector<std::string> messages;
        doc->runAlert
            = [&](const std::string& message, const std::string&, const std::string&, const std::string&) {
                  messages.push_back(message);
                  return long(HXAlertDefaultReturn);
              };
        if (!c.headerFirst) {
            ASSERT_TRUE(runUntil([&] { return doc->isClosed(); })) << "load state " << doc->movie()->loadState();
            EXPECT_EQ(doc->movie()->loadState(), MVMovieLoadStateError);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], HXLocalizedString("mvpInvalidURLError"));
            EXPECT_FALSE(doc->movie()->isPlaying());
            EXPECT_TRUE(HXDocumentController::sharedDocumentController()->documents().empty());
            continue;
        }
        std::string error;
        auto token = HXNotificationCenter::defaultCenter().addObserver(MVMovieStatusStringPostedNotification,
            doc->movie().get(), [&](const HXNotification& n) {
                if (n.userInfo().at(MVMovieStatusFlagsNotificationParameter).integerValue() & MVMovieStatusFlagError)
                    error = n.userInfo().at(MVMovieStatusStringNotificationParameter).stringValue();
            });
        bool told = runUntil([&] { return error.find("The movie stopped arriving") == 0; });
        HXNotificationCenter::defaultCenter().removeObserver(token);
        ASSERT_TRUE(told) << "load state " << doc->movie()->loadState() << ", error " << error;
        EXPECT_GE(doc->movie()->loadState(), MVMovieLoadStatePlayable);
        EXPECT_TRUE(runUntil([&] { return !doc->movie()->isPlaying(); }));
        EXPECT_TRUE(messages.empty());
        EXPECT_FALSE(doc->isClosed());
        doc->close();
    }
}

} // namespace
