// Share jobs carried out by the real worker: the mail job writes the movie and hands a copy of it to the mail
// program (a stand-in xdg-email on PATH records what it was given), and the podcast job runs the server's
// tool, which submits the movie to a stand-in server on the loopback interface that the test starts and
// ends. Failures end the jobs "errored" with the program's own words. Once a mail job has ended nothing of
// it is left in the temporary folder, while the mail program can still read its attachment.
#include "job_test_support.h"
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "export/mail_attachments.h"
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
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
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
        env.set("XDG_CACHE_HOME", (temp / "cache").string());
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
        setMailProgram(mailProgram);
        env.set("PATH", (temp / "bin").string() + ":/usr/bin:/bin");
        fs::create_directories(temp / "bundle");
        if (!fs::exists(temp / "bundle" / "Resources"))
            fs::create_directory_symlink(
                fs::path(MOVARA_SOURCE_DIR) / "resources", temp / "bundle" / "Resources");
        auto pane = ShareMailController::make(HXBundle::bundleWithPath((temp / "bundle").string()));
        pane->setMovieFacts(ShareMailController::defaultMovieFacts(*movie));
        pane->nameTextField()->setStringValue("Holiday");
        pane->settingPopUpButton()->selectItemAtIndex(2);
        pane->settingChanged(nullptr);
        return pane;
    }
    void setMailProgram(const std::string& mailProgram)
    {
        fs::create_directories(temp / "bin");
        writeFile(temp / "bin" / "xdg-email", "#!/bin/sh\n" + mailProgram + "\n");
        fs::permissions(temp / "bin" / "xdg-email", fs::perms::owner_all);
    }
    std::optional<HXPropertyList::Dictionary> share(ShareMailController& pane)
    {
        return MVPPublishSupport::jobForParameters(pane.parameters(), *movie, source.string());
    }
    // What shares left in a temporary folder, and in the folder of the mail program's attachments.
    static std::vector<std::string> sharesIn(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().rfind("movara-share-", 0) == 0)
                names.push_back(entry.path().string());
        return names;
    }
    static std::vector<std::string> attachments()
    {
        std::vector<std::string> paths;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(MVPMailAttachments::directory(), ec))
            paths.push_back(entry.path().string());
        return paths;
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
    // The mail program gets the copy in the cache folder, not the movie written into the temporary folder.
    std::string attachment = p["MVPublishAttachment"].stringValue();
    EXPECT_EQ(fs::path(attachment).parent_path().parent_path(), temp / "cache" / "movara-player" / "Mail");
    EXPECT_EQ(fs::path(attachment).filename(), "Holiday.mov");
    EXPECT_EQ(readFile(temp / "mail-args"), "--subject\nHoliday\n--attach\n" + attachment + "\n");
    // The attachment is a whole movie that decodes like the source.
    EXPECT_EQ(movie::frameHashes(attachment), movie::frameHashes(source));

    // Without a mail program the job fails and says why.
    env.set("PATH", (temp / "nothing").string());
    auto failed = run(*MVPPublishSupport::jobForParameters(pane->parameters(), *movie, source.string()));
    EXPECT_EQ(failed->state(), JobState::Errored);
    EXPECT_EQ(failed->errorCode(), 3);
    EXPECT_NE(failed->errorMessage().find("xdg-email is not installed"), std::string::npos)
        << failed->errorMessage();
}

TEST_F(ShareJobsPeer, MailJobsLeaveNothingInTheTemporaryFolder)
{
    auto server = HXHeadlessWindowServer::install();
    // The stand-in mail program records the file it was given, then ends as the case says; called again
    // with "--read-later" it reads that file, as a mail program does when the message is sent.
    const fs::path recorded = temp / "recorded";
    const fs::path readLater = temp / "read-later.mov";
    auto mailProgram = [&](const std::string& then) {
        return "if [ \"$1\" = --read-later ]; then exec cat \"$(cat '" + recorded.string() + "')\" > '"
            + readLater.string() + "'; fi\nprintf '%s' \"$4\" > '" + recorded.string() + "'\n" + then;
    };
    auto pane = mailPane(mailProgram("exit 0"));
    // A temporary folder on another file system than the cache folder, where there is one: the attachment
    // is then a copy, not a second link to the written movie.
    std::unique_ptr<TempDir> elsewhere;
    struct stat shm = {};
    struct stat here = {};
    if (::stat("/dev/shm", &shm) == 0 && ::stat(temp.path().c_str(), &here) == 0 && shm.st_dev != here.st_dev
        && ::access("/dev/shm", W_OK) == 0) {
        EnvironmentGuard tmp;
        tmp.set("TMPDIR", "/dev/shm");
        elsewhere = std::make_unique<TempDir>();
    }

    struct Case {
        const char* name;
        std::string then; // what the mail program does after recording its file
        bool cancel; // canceled while the mail program runs
        bool otherFileSystem;
        JobState end;
    };
    const Case cases[] = {
        { "done", "exit 0", false, false, JobState::Complete },
        { "done, copied across file systems", "exit 0", false, true, JobState::Complete },
        { "failed", "echo 'no mail account' >&2; exit 1", false, false, JobState::Errored },
        { "canceled", "exec sleep 60", true, false, JobState::Canceled },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.otherFileSystem && !elsewhere) {
            std::fprintf(stderr, "\"%s\" skipped: no other file system for the temporary folder\n", c.name);
            continue;
        }
        const fs::path tmp = c.otherFileSystem ? elsewhere->path() : temp.path();
        env.set("TMPDIR", tmp.string());
        fs::remove(recorded);
        fs::remove(readLater);
        setMailProgram(mailProgram(c.then));
        auto params = share(*pane);
        ASSERT_TRUE(params);
        const std::string attachment = HXPropertyList(*params)["MVPublishAttachment"].stringValue();

        auto job = manager.newJobWithParams(*params, delegate);
        manager.startJob(job, false);
        if (c.cancel) {
            ASSERT_TRUE(runUntil([&] { return fs::exists(recorded) || isFinal(job); }, 60));
            manager.cancelJob(job);
        }
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }, 60));
        ASSERT_EQ(job->state(), c.end) << job->errorMessage();
        if (c.end == JobState::Errored) {
            EXPECT_NE(job->errorMessage().find("no mail account"), std::string::npos) << job->errorMessage();
        }

        // The mail program was handed the copy; the temporary folder holds nothing of the job.
        EXPECT_EQ(readFile(recorded), attachment);
        EXPECT_TRUE(sharesIn(tmp).empty()) << sharesIn(tmp).front();
        if (c.end != JobState::Complete) {
            // Nor does the cache folder, when the message will never be sent.
            EXPECT_TRUE(attachments().empty()) << attachments().front();
            manager.removeJob(job);
            continue;
        }
        // The mail program reads its attachment after the job has ended: a whole movie, as the source.
        ASSERT_EQ(std::system(((temp / "bin" / "xdg-email").string() + " --read-later").c_str()), 0);
        EXPECT_EQ(movie::frameHashes(readLater), movie::frameHashes(source));
        struct stat copy { };
        ASSERT_EQ(::stat(attachment.c_str(), &copy), 0);
        EXPECT_EQ(copy.st_nlink, 1u); // no other name left in the temporary folder
        // It goes with the job.
        manager.removeJob(job);
        EXPECT_FALSE(fs::exists(attachment));
        EXPECT_TRUE(attachments().empty()) << attachments().front();
    }
    env.set("TMPDIR", temp.path().string());

    // A share removed before it started leaves nothing either.
    auto unstarted = manager.newJobWithParams(*share(*pane), delegate);
    EXPECT_EQ(sharesIn(temp.path()).size(), 1u); // the share's own folders
    EXPECT_EQ(attachments().size(), 1u);
    manager.removeJob(unstarted);
    EXPECT_TRUE(sharesIn(temp.path()).empty());
    EXPECT_TRUE(attachments().empty());

    // Completed shares' attachments stay while the queue lives, and go with it, as do those of shares
    // that never ran.
    setMailProgram("exit 0");
    auto done = run(*share(*pane));
    ASSERT_EQ(done->state(), JobState::Complete) << done->errorMessage();
    EXPECT_EQ(attachments().size(), 1u);
    manager.removeAttachments();
    EXPECT_TRUE(attachments().empty());
    {
        JobManager queue(INT_MAX, helperProgram);
        auto job = queue.newJobWithParams(*share(*pane), delegate);
        queue.startJob(job, false);
        EXPECT_TRUE(runUntil([&] { return isFinal(job); }, 60));
        EXPECT_EQ(job->state(), JobState::Complete) << job->errorMessage();
        queue.newJobWithParams(*share(*pane), delegate);
        EXPECT_EQ(sharesIn(temp.path()).size(), 1u); // the one that never ran
        EXPECT_EQ(attachments().size(), 2u);
    }
    EXPECT_TRUE(sharesIn(temp.path()).empty()) << sharesIn(temp.path()).front();
    EXPECT_TRUE(attachments().empty()) << attachments().front();
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
