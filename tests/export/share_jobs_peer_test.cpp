// Share jobs carried out by the real worker: the mail job writes the movie and hands it to the mail
// program (a stand-in xdg-email on PATH records what it was given), and the podcast job runs the server's
// tool, which submits the movie to a stand-in server on the loopback interface that the test starts and
// ends. Failures end the jobs "errored" with the program's own words.
#include "job_test_support.h"
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "export/publish_support.h"
#include "export/share_mail_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/text_field.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

const fs::path fixtures = fs::path(MOVARA_SOURCE_DIR) / "tests" / "export" / "fixtures";

// The stand-in podcast server, listening on 127.0.0.1; ended when this goes away.
class PodcastServer {
public:
    explicit PodcastServer(const fs::path& folder)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        _pid = ::fork();
        if (_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::string script = (fixtures / "podcast_server.py").string();
            std::string dir = folder.string();
            ::execl("/usr/bin/python3", "python3", script.c_str(), dir.c_str(), nullptr);
            _exit(127);
        }
        ::close(out[1]);
        char line[32] = {};
        FILE* in = ::fdopen(out[0], "r");
        if (in && std::fgets(line, sizeof line, in))
            _port = std::atoi(line);
        if (in)
            std::fclose(in);
    }
    ~PodcastServer()
    {
        if (_pid > 0) {
            ::kill(_pid, SIGTERM);
            ::waitpid(_pid, nullptr, 0);
        }
    }
    int port() const { return _port; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(_port); }

private:
    pid_t _pid = -1;
    int _port = 0;
};

class ShareJobsPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe") || !fs::exists("/usr/bin/python3"))
            GTEST_SKIP() << "ffmpeg, ffprobe and python3 are needed";
        env.set("TMPDIR", temp.path().string());
        source = temp / "Holiday.mov";
        ASSERT_TRUE(movie::makeMovie(source, 1));
        HXError error;
        movie = MVMovie::movieWithFile(source.string(), &error);
        ASSERT_TRUE(movie) << error.localizedDescription();
    }
    std::shared_ptr<Job> run(const HXPropertyList::Dictionary& params)
    {
        auto job = manager.newJobWithParams(params, delegate);
        manager.startJob(job, false);
        EXPECT_TRUE(runUntil([&] { return isFinal(job); }, 60));
        return job;
    }
    // The mail pane over the application's resources (the real presets and mail script), sharing the
    // movie as "Holiday" with the largest preset: this small movie is far below its limit, so it is
    // flattened. A stand-in xdg-email on PATH runs `mailProgram`.
    std::shared_ptr<ShareMailController> mailPane(const std::string& mailProgram)
    {
        fs::create_directories(temp / "bin");
        writeFile(temp / "bin" / "xdg-email", "#!/bin/sh\n" + mailProgram + "\n");
        fs::permissions(temp / "bin" / "xdg-email", fs::perms::owner_all);
        env.set("PATH", (temp / "bin").string() + ":/usr/bin:/bin");
        fs::create_directories(temp / "bundle");
        fs::create_directory_symlink(
            fs::path(MOVARA_SOURCE_DIR) / "resources", temp / "bundle" / "Resources");
        auto pane = ShareMailController::make(HXBundle::bundleWithPath((temp / "bundle").string()));
        pane->setMovieFacts(ShareMailController::defaultMovieFacts(*movie));
        pane->nameTextField()->setStringValue("Holiday");
        pane->settingPopUpButton()->selectItemAtIndex(2);
        pane->settingChanged(nullptr);
        return pane;
    }
    bool sawStatus(const std::string& status) const
    {
        for (const auto& m : delegate->messages)
            if (m["status"].stringValue() == status)
                return true;
        return false;
    }

    TempDir temp;
    EnvironmentGuard env;
    fs::path source;
    std::shared_ptr<MVMovie> movie;
    JobManager manager { INT_MAX, helperProgram };
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(ShareJobsPeer, MailJobWritesTheMovieAndHandsItToTheMailProgram)
{
    auto server = HXHeadlessWindowServer::install();
    // The stand-in mail program records its arguments.
    auto pane = mailPane("printf '%s\\n' \"$@\" > '" + (temp / "mail-args").string() + "'");
    auto params = MVPPublishSupport::jobForParameters(pane->parameters(), *movie, source.string());
    ASSERT_TRUE(params);
    auto p = HXPropertyList(*params);
    ASSERT_EQ(p["MVExpType"].stringValue(), "Flatten");

    auto job = run(*params);
    ASSERT_EQ(job->state(), JobState::Complete) << job->errorMessage();
    EXPECT_TRUE(sawStatus("PublishState"));
    std::string attachment = p["MVExpNameOut"].stringValue();
    EXPECT_EQ(readFile(temp / "mail-args"), "--subject\nHoliday\n--attach\n" + attachment + "\n");
    // The attachment is a whole movie that decodes like the source.
    EXPECT_EQ(movie::frameHashes(attachment), movie::frameHashes(source));

    // Without a mail program the job fails and says why.
    env.set("PATH", (temp / "nothing").string());
    auto failed = run(*params);
    EXPECT_EQ(failed->state(), JobState::Errored);
    EXPECT_EQ(failed->errorCode(), 3);
    EXPECT_NE(failed->errorMessage().find("xdg-email is not installed"), std::string::npos)
        << failed->errorMessage();
}

TEST_F(ShareJobsPeer, MailJobsLeaveNothingInTheTemporaryFolder)
{
    auto server = HXHeadlessWindowServer::install();
    auto pane = mailPane("exit 0");
    auto share = [&] {
        auto params = MVPPublishSupport::jobForParameters(pane->parameters(), *movie, source.string());
        EXPECT_TRUE(params);
        return params ? *params : HXPropertyList::Dictionary {};
    };
    // What the shares leave in the temporary folder (this test's TMPDIR).
    auto leftovers = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp.path()))
            if (entry.path().filename().string().rfind("movara-share-", 0) == 0)
                names.push_back(entry.path().filename().string());
        return names;
    };

    // Removed before it started, failed, and completed.
    auto unstarted = manager.newJobWithParams(share(), delegate);
    ASSERT_EQ(leftovers().size(), 1u); // the share's own folder
    manager.removeJob(unstarted);
    EXPECT_TRUE(leftovers().empty());

    env.set("PATH", (temp / "nothing").string());
    auto failed = run(share());
    EXPECT_EQ(failed->state(), JobState::Errored);
    EXPECT_TRUE(leftovers().empty()) << leftovers().front();

    env.set("PATH", (temp / "bin").string() + ":/usr/bin:/bin");
    auto params = share();
    auto done = run(params);
    ASSERT_EQ(done->state(), JobState::Complete) << done->errorMessage();
    // The mail program may read the attachment after the job: it stays while the queue lives.
    const std::string attachment = HXPropertyList(params)["MVExpNameOut"].stringValue();
    EXPECT_TRUE(fs::exists(attachment));
    manager.removeTemporaryOutputs();
    EXPECT_TRUE(leftovers().empty()) << leftovers().front();

    // A queue going away takes the shares with it, whether they ran or not.
    {
        JobManager queue(INT_MAX, helperProgram);
        auto job = queue.newJobWithParams(share(), delegate);
        queue.startJob(job, false);
        EXPECT_TRUE(runUntil([&] { return isFinal(job); }, 60));
        queue.newJobWithParams(share(), delegate);
        EXPECT_EQ(leftovers().size(), 2u);
    }
    EXPECT_TRUE(leftovers().empty()) << leftovers().front();
    // The source, beside them in the same folder, is untouched.
    EXPECT_TRUE(fs::exists(source));
}

TEST_F(ShareJobsPeer, PodcastJobSubmitsTheMovieToTheServer)
{
    fs::create_directories(temp / "received");
    PodcastServer server(temp / "received");
    ASSERT_GT(server.port(), 0);
    writeFile(temp / "meta.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
    auto submit = [&](const std::string& password) {
        HXPropertyList::Dictionary params = {
            { "MVExpMovieIn", HXData(movie->movieFormatRepresentation()) },
            { "MVExpSourceName", "Holiday" },
            { "description", "Publish Holiday" },
            { "MVPublishStep", "PublishPodcast" },
            { "CmdLinePath", (fixtures / "quillon").string() },
            { "SubmitArgs",
                HXPropertyList::Array { "-s", server.url(), "-u", "ann", "-p", password, "--submit", "--file",
                    source.string(), "--workflow", "video-pod", "--metadata",
                    (temp / "meta.plist").string() } },
        };
        return run(params);
    };
    auto job = submit("s3cret");
    ASSERT_EQ(job->state(), JobState::Complete) << job->errorMessage();
    EXPECT_TRUE(sawStatus("DAVQuillonUploadingState"));
    EXPECT_EQ(delegate->messages.front()["requestResource"].stringValue(), "Network");
    EXPECT_EQ(readFile(temp / "received" / "video-pod-Holiday.mov"), readFile(source));

    auto refused = submit("wrong");
    EXPECT_EQ(refused->state(), JobState::Errored);
    EXPECT_EQ(refused->errorCode(), 21);
    EXPECT_NE(refused->errorMessage().find("the server refused: 403"), std::string::npos)
        << refused->errorMessage();
}

} // namespace
