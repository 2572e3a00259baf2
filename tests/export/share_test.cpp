// The share sheet and its panes without a worker: the mail pane's choice between compressing and
// flattening and its estimate, the jobs the panes build, the sheet's pane handling, and the podcast
// pane's sign-in against a stand-in tool, its messages and its password store.
#include "test_support.h"

#include "export/password_store.h"
#include "export/publish_support.h"
#include "export/publish_window.h"
#include "export/share_mail_controller.h"
#include "export/share_quillon_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/button.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/pop_up_button.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>

using namespace movara::test;
namespace fs = std::filesystem;

namespace {

class ShareTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.set("HOME", temp.path().string());
        env.set("TMPDIR", (temp / "tmp").string());
        env.set("XDG_CONFIG_HOME", (temp / "config").string());
        env.set("XDG_DATA_HOME", (temp / "data").string());
        env.set("XDG_CACHE_HOME", (temp / "cache").string());
        // No session bus, so no keyring: the passwords go to the file store.
        env.unset("DBUS_SESSION_BUS_ADDRESS");
        env.set("XDG_RUNTIME_DIR", (temp / "run").string());
        fs::create_directories(temp / "tmp");
        fs::create_directories(temp / "bundle" / "Resources");
        server = HXHeadlessWindowServer::install();
        resources = HXBundle::bundleWithPath((temp / "bundle").string());
        HXAlert::setAlertDidAppearHandler([this](HXAlert& alert) {
            alerts.push_back(alert.messageText());
            std::string title = answer;
            for (auto& button : alert.buttons()) {
                if (title.empty() || button->title() == title) {
                    HXRect r = button->convertRectToView(button->bounds(), nullptr);
                    HXHeadlessWindowServer::postClick(alert.window(), { HXMidX(r), HXMidY(r) });
                    return;
                }
            }
        });
    }
    void TearDown() override { HXAlert::setAlertDidAppearHandler(nullptr); }
    void writeResource(const std::string& name, const HXPropertyList& value)
    {
        ASSERT_TRUE(value.writeToFile((temp / "bundle" / "Resources" / name).string()));
    }

    TempDir temp;
    EnvironmentGuard env;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXBundle> resources;
    std::vector<std::string> alerts;
    std::string answer;
};

// ---- Mail ----

ShareMailController::MovieFacts movieFacts(bool audio, bool video, int64_t rate)
{
    ShareMailController::MovieFacts f;
    f.width = 640;
    f.height = 480;
    f.fileSize = 1000000;
    f.frameRate = 30;
    f.duration = 10;
    f.dataRate = rate;
    f.hasAudio = audio;
    f.hasVideo = video;
    f.hasDuration = true;
    f.formatString = "Motion JPEG, 640 \u00D7 480";
    return f;
}

TEST_F(ShareTest, MailCompressesOnlyAboveTheThresholds)
{
    writeResource("mail1.plist",
        HXPropertyList::Dictionary { { "MVExpType", "Export" }, { "MVExpDataRateCutoff", 3000 },
            { "MVExpVideoDataRate", 1000 }, { "MVExpAudioDataRate", 500 }, { "MVExpWidth", 320.0 },
            { "MVExpHeight", 240.0 }, { "MVExpFrameRate", 15.0 }, { "MVExpVideoCodec", "H.264" },
            { "MVExpAudioCodec", "AAC" }, { "MVExpAudioSampleRate", 22050 },
            { "MVExpAudioNumChannels", 1 } });
    auto pane = ShareMailController::make(resources);
    struct Case {
        const char* name;
        ShareMailController::MovieFacts facts;
        bool compress;
    } cases[] = {
        { "a/v at 1.33 x cutoff", movieFacts(true, true, 4000), false },
        { "a/v at exactly 1.4 x cutoff", movieFacts(true, true, 4200), false },
        { "a/v at 1.5 x cutoff", movieFacts(true, true, 4500), true },
        { "video only under", movieFacts(false, true, 1400), false },
        { "video only over", movieFacts(false, true, 1401), true },
        { "audio only under", movieFacts(true, false, 1000), false },
        { "audio only over", movieFacts(true, false, 1001), true },
        { "neither", movieFacts(false, false, 99999), false },
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        pane->setMovieFacts(c.facts);
        EXPECT_EQ(pane->compress(), c.compress);
        EXPECT_EQ(
            HXPropertyList(pane->settings())["MVExpType"].stringValue(), c.compress ? "Export" : "Flatten");
        if (!c.compress) {
            EXPECT_EQ(pane->summaryTextField()->stringValue(), c.facts.formatString);
        }
    }
    // An interactive movie, or one without duration, is always flattened.
    for (bool interactive : { true, false }) {
        auto f = movieFacts(true, true, 99999);
        f.isInteractive = interactive;
        f.hasDuration = interactive;
        pane->setMovieFacts(f);
        EXPECT_FALSE(pane->compress()) << interactive;
    }
}

TEST_F(ShareTest, MailEstimateSizeAndSummary)
{
    HXPropertyList::Dictionary preset = { { "MVExpType", "Export" }, { "MVExpDataRateCutoff", 10 },
        { "MVExpVideoDataRate", 1000 }, { "MVExpAudioDataRate", 200 }, { "MVExpWidth", 320.0 },
        { "MVExpHeight", 320.0 }, { "MVExpFrameRate", 15.0 }, { "MVExpVideoCodec", "H.264" },
        { "MVExpAudioCodec", "AAC" }, { "MVExpAudioSampleRate", 44100 }, { "MVExpAudioNumChannels", 2 } };
    writeResource("mail1.plist", preset);
    preset.erase("MVExpFrameRate");
    writeResource("mail2.plist", preset);
    auto pane = ShareMailController::make(resources);

    // 640 x 480 into 320 x 320: 320 x 240, k = 0.75; 30 fps down to 15; v = 15/15 x 0.75.
    pane->setMovieFacts(movieFacts(true, true, 100000));
    ASSERT_TRUE(pane->compress());
    EXPECT_DOUBLE_EQ(pane->cWidth(), 320);
    EXPECT_DOUBLE_EQ(pane->cHeight(), 240);
    EXPECT_DOUBLE_EQ(pane->cFrameRate(), 15);
    EXPECT_EQ(pane->cFileSize(), int64_t((200 + 1000 * 0.75) * 10));
    EXPECT_DOUBLE_EQ(HXPropertyList(pane->settings())["MVExpVideoDataRate"].realValue(), 750);
    EXPECT_EQ(pane->summaryTextField()->stringValue(),
        "Video: H.264, 320 \u00D7 240, 15 fps\nAudio: AAC, Stereo, 44.100 kHz");

    // A movie smaller than the box keeps its size but takes the preset's frame rate.
    auto small = movieFacts(true, true, 100000);
    small.width = 160;
    small.height = 120;
    pane->setMovieFacts(small);
    EXPECT_DOUBLE_EQ(pane->cWidth(), 160);
    EXPECT_DOUBLE_EQ(pane->cFrameRate(), 15);
    EXPECT_EQ(pane->cFileSize(), int64_t((200 + 1000 * 1.0) * 10));

    // A preset without a frame rate: the movie's own rate, and a finite estimate.
    pane->settingPopUpButton()->selectItemAtIndex(1);
    pane->settingChanged(nullptr);
    EXPECT_DOUBLE_EQ(pane->cFrameRate(), 30);
    EXPECT_TRUE(std::isfinite(HXPropertyList(pane->settings())["MVExpVideoDataRate"].realValue()));
    EXPECT_EQ(pane->cFileSize(), int64_t((200 + 1000 * 1.0) * 10)); // the small movie: k = 1

    // A missing preset flattens.
    pane->settingPopUpButton()->selectItemAtIndex(2);
    pane->settingChanged(nullptr);
    EXPECT_FALSE(pane->compress());
    EXPECT_EQ(HXPropertyList(pane->settings())["MVExpType"].stringValue(), "Flatten");

    for (auto [hz, text] : std::vector<std::pair<double, std::string>> {
             { 44100, "44.100" }, { 8000, "8.000" }, { 96000, "96.000" }, { 22050, "22.050" } })
        EXPECT_EQ(ShareMailController::sampleRateText(hz), text);
}

TEST_F(ShareTest, MailParameters)
{
    fs::copy_file(fs::path(MOVARA_SOURCE_DIR) / "resources" / "mail.zantrelscript",
        temp / "bundle" / "Resources" / "mail.zantrelscript");
    auto pane = ShareMailController::make(resources);
    auto facts = movieFacts(true, true, 1);
    pane->setMovieFacts(facts);
    EXPECT_EQ(pane->nameTextField()->stringValue(), "My Movie"); // no file
    facts.fileName = "/movies/Beach Day.mov";
    pane->setMovieFacts(facts);
    EXPECT_EQ(pane->nameTextField()->stringValue(), "Beach Day");

    pane->nameTextField()->setStringValue("../a/b");
    auto first = HXPropertyList(pane->parameters());
    auto second = HXPropertyList(pane->parameters());
    fs::path out = first["MVExpNameOut"].stringValue();
    EXPECT_EQ(out.filename(), "..-a-b.mov");
    EXPECT_EQ(out.parent_path().parent_path(), temp / "tmp");
    EXPECT_NE(first["MVExpNameOut"].stringValue(), second["MVExpNameOut"].stringValue());
    EXPECT_EQ(first["description"].stringValue(), "Mail \u201C..-a-b\u201D");
    EXPECT_EQ(first["MVPublishStep"].stringValue(), "PublishZantrelScript");
    EXPECT_TRUE(first["MVExpNameOutTemporary"].boolValue());
    EXPECT_NE(first["PublishZantrelScriptScript"].stringValue().find("xdg-email"), std::string::npos);
    // The mail program's copy goes into a folder of the share's own in the cache folder.
    fs::path attachment = first["MVPublishAttachment"].stringValue();
    EXPECT_EQ(attachment.filename(), "..-a-b.mov");
    EXPECT_EQ(attachment.parent_path().parent_path(), temp / "cache" / "movara-player" / "Mail");
    EXPECT_TRUE(fs::is_directory(attachment.parent_path()));
    EXPECT_NE(attachment.parent_path(), fs::path(second["MVPublishAttachment"].stringValue()).parent_path());

    // Without a cache folder the share says why, and leaves nothing in the temporary folder.
    fs::remove_all(temp / "tmp");
    fs::create_directories(temp / "tmp");
    fs::remove_all(temp / "cache");
    writeFile(temp / "cache", "not a folder");
    auto refused = HXPropertyList(pane->parameters());
    EXPECT_EQ(refused["ErrorTitle"].stringValue(), "The movie cannot be shared by mail");
    EXPECT_NE(refused["ErrorMessage"].stringValue().find((temp / "cache").string()), std::string::npos)
        << refused["ErrorMessage"].stringValue();
    EXPECT_FALSE(refused.contains("MVExpNameOut"));
    EXPECT_TRUE(fs::is_empty(temp / "tmp"));
}

// ---- The sheet ----

TEST_F(ShareTest, JobForParameters)
{
    auto movie = MVMovie::movie();
    struct Case {
        const char* name;
        HXPropertyList::Dictionary parameters;
        std::string fileName;
        const char* sourceName; // nullptr: no job
    } cases[] = {
        { "file's name", { { "MVExpType", "Flatten" } }, "/m/Trip.mov", "Trip" },
        { "no file", { { "MVExpType", "Flatten" } }, "", "My Movie" },
        { "pane's name wins", { { "MVExpSourceName", "Mine" } }, "/m/Trip.mov", "Mine" },
        { "pane's error", { { "ErrorTitle", "No server" }, { "ErrorMessage", "…" } }, "/m/Trip.mov",
            nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto job = MVPPublishSupport::jobForParameters(c.parameters, *movie, c.fileName);
        ASSERT_EQ(bool(job), c.sourceName != nullptr);
        if (job) {
            EXPECT_EQ(HXPropertyList(*job)["MVExpSourceName"].stringValue(), c.sourceName);
            EXPECT_TRUE(HXPropertyList(*job)["MVExpMovieIn"].isData());
            for (const auto& [key, value] : c.parameters)
                EXPECT_EQ(HXPropertyList(*job)[key], value) << key;
        }
    }
}

class StubPane : public ViewController {
public:
    int moviesGiven = 0;
    void setMVMovie(const std::shared_ptr<MVMovie>&) override { ++moviesGiven; }
    HXPropertyList::Dictionary parameters() override { return { { "stub", true } }; }
    void enable(bool flag) { postSharingEnabled(flag); }
};

TEST_F(ShareTest, SheetSwitchesPanesKeepsThemAndFollowsOnlyTheCurrentOne)
{
    std::vector<std::shared_ptr<StubPane>> made;
    for (const char* name : { "ShareMail", "ShareCastworks" }) {
        HXInterfaceLoader::registerInterface(name, [&made](const std::shared_ptr<HXObject>& owner) {
            auto pane = std::make_shared<StubPane>();
            pane->setView(std::make_shared<HXView>(HXMakeRect(0, 0, 480, made.empty() ? 160 : 220)));
            made.push_back(pane);
            std::dynamic_pointer_cast<ParentingWindowController>(owner)->setChild(pane);
            return std::vector<std::shared_ptr<HXObject>> { pane };
        });
    }
    HXInterfaceLoader::unregisterInterface("ShareDiscwright");
    auto sheet = std::make_shared<PublishWindow>();
    sheet->setMVMovie(MVMovie::movie());
    ASSERT_EQ(made.size(), 1u);
    auto mail = made[0];
    EXPECT_EQ(sheet->currentPane(), mail);
    double height = sheet->window()->frame().size.height;

    sheet->buttonAction(sheet->toolbarButton(1).get());
    ASSERT_EQ(made.size(), 2u);
    auto podcast = made[1];
    EXPECT_EQ(sheet->currentPane(), podcast);
    EXPECT_DOUBLE_EQ(sheet->window()->frame().size.height, height + 60); // grown by the taller pane

    // Only the current pane moves the Share button.
    podcast->enable(false);
    EXPECT_FALSE(sheet->shareButton()->isEnabled());
    mail->enable(true);
    EXPECT_FALSE(sheet->shareButton()->isEnabled());
    podcast->enable(true);
    EXPECT_TRUE(sheet->shareButton()->isEnabled());

    // A target whose interface makes no pane cannot be chosen, and leaves the sheet as it was.
    EXPECT_TRUE(sheet->toolbarButton(0)->isEnabled());
    EXPECT_TRUE(sheet->toolbarButton(1)->isEnabled());
    EXPECT_FALSE(sheet->toolbarButton(3)->isEnabled());
    sheet->buttonAction(sheet->toolbarButton(3).get());
    EXPECT_EQ(sheet->currentPane(), podcast);

    // Back to mail: the same pane, made once.
    sheet->buttonAction(sheet->toolbarButton(0).get());
    EXPECT_EQ(sheet->currentPane(), mail);
    EXPECT_EQ(made.size(), 2u);
    EXPECT_EQ(mail->moviesGiven, 3); // shown first before the movie came, then given it, then shown again
    EXPECT_EQ(HXPropertyList(sheet->parameters())["stub"].boolValue(), true);
    HXInterfaceLoader::unregisterInterface("ShareMail");
    HXInterfaceLoader::unregisterInterface("ShareCastworks");
}

// ---- Podcast server ----

// A stand-in tool: prints the workflows for a listing, or fails with the status in $STATUS_FILE.
std::string writeTool(const fs::path& folder, const std::string& statusFile)
{
    auto path = folder / "quillon";
    writeFile(path,
        "#!/bin/sh\n"
        "echo \"$@\" >> '"
            + (folder / "calls").string()
            + "'\n"
              "status=$(cat '"
            + statusFile
            + "' 2>/dev/null || echo 0)\n"
              "if [ \"$status\" != 0 ]; then echo 'refused' >&2; exit $status; fi\n"
              "cat <<'EOF'\n"
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>workflows</key><array>"
              "<dict><key>title</key><string>Audio "
              "Podcast</string><key>name</key><string>audio-pod</string></dict>"
              "<dict><key>title</key><string>Video "
              "Podcast</string><key>name</key><string>video-pod</string></dict>"
              "</array></dict></plist>\n"
              "EOF\n");
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
}

TEST_F(ShareTest, PodcastSignInListsWorkflowsAndOffersTheKeychainOnce)
{
    auto statusFile = (temp / "status").string();
    ShareQuillonController::setToolPath(writeTool(temp.path(), statusFile));
    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setString("pods.example.org", "QuillonServerName");
    defaults.setString("ann", "QuillonUserName");

    auto pane = ShareQuillonController::make(resources);
    std::vector<bool> enabled;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        ShareButtonEnableStateNotification, pane.get(), [&](const HXNotification& n) {
            enabled.push_back(HXPropertyList(n.userInfo())["enabled"].boolValue());
        });
    pane->awakeFromInterface();
    // Names stored but no password: the sign-in form, filled in.
    EXPECT_TRUE(pane->showsSignInForm());
    EXPECT_EQ(pane->serverNameTextField()->stringValue(), "pods.example.org");
    EXPECT_EQ(pane->userNameTextField()->stringValue(), "ann");
    EXPECT_FALSE(pane->loadWorkflowButton()->isEnabled());
    pane->passwordTextField()->setStringValue("s3cret");
    pane->controlTextDidChange(*pane->passwordTextField());
    EXPECT_TRUE(pane->loadWorkflowButton()->isEnabled());

    // A refused listing: the server's message, Share off, nothing offered for the keychain.
    writeFile(statusFile, "13");
    pane->loadWorkflows(nullptr);
    EXPECT_TRUE(pane->errorShown());
    EXPECT_EQ(pane->errorTextField()->stringValue(), pane->parseErrorCode(37)); // 13 is not a known status
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(enabled.back());

    // A listing that works: the workflow form, the first workflow chosen, Share on, the password offered.
    writeFile(statusFile, "0");
    answer = "Save";
    pane->loadWorkflows(nullptr);
    EXPECT_TRUE(pane->showsWorkflowForm());
    EXPECT_FALSE(pane->showsSignInForm());
    EXPECT_EQ(pane->workflowPopUpButton()->numberOfItems(), 4);
    EXPECT_EQ(pane->workflowPopUpButton()->indexOfSelectedItem(), 2);
    EXPECT_TRUE(enabled.back());
    ASSERT_EQ(alerts.size(), 1u);
    auto item = MVPInternetPasswordItem { "https://pods.example.org", "ann", "", 0 };
    EXPECT_EQ(
        MVPPasswordStore::defaultStore().findInternetPassword(item), std::optional<std::string>("s3cret"));
    struct stat st { };
    ASSERT_EQ(::stat(MVPPasswordStore::defaultPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(temp / "calls").find("-s pods.example.org -u ann -p s3cret --listworkflows"),
        std::string::npos);

    // Items 0 and 1 are no workflows.
    pane->workflowPopUpButton()->selectItemAtIndex(1);
    pane->workflowChanged(nullptr);
    EXPECT_FALSE(enabled.back());

    // A second pane finds the password and lists at once; nothing is offered again.
    auto again = ShareQuillonController::make(resources);
    again->awakeFromInterface();
    EXPECT_TRUE(again->showsWorkflowForm());
    EXPECT_EQ(again->workflowPopUpButton()->indexOfSelectedItem(), 2);
    EXPECT_EQ(alerts.size(), 1u);
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(ShareTest, PodcastParameters)
{
    auto statusFile = (temp / "status").string();
    ShareQuillonController::setToolPath(writeTool(temp.path(), statusFile));
    auto& defaults = HXUserDefaults::standardUserDefaults();
    struct Case {
        const char* name;
        std::string server, user, password;
        const char* errorTitle;
    } cases[] = {
        { "no server", "", "ann", "pw", "No server" },
        { "no user", "srv", "", "pw", "No user name" },
        { "no password", "srv", "ann", "", "No password" },
        { "no server before no password", "", "ann", "", "No server" },
    };
    for (const auto& c : cases) {
        auto pane = ShareQuillonController::make(resources);
        defaults.setString(c.server, "QuillonServerName");
        defaults.setString(c.user, "QuillonUserName");
        pane->passwordTextField()->setStringValue(c.password);
        EXPECT_EQ(HXPropertyList(pane->parameters())["ErrorTitle"].stringValue(), c.errorTitle) << c.name;
    }

    // Signed in, a movie with a file: the submit command in full, and the metadata beside it.
    defaults.setString("http://127.0.0.1:8080/pod", "QuillonServerName");
    defaults.setString("ann", "QuillonUserName");
    auto moviePath = temp / "Show.mov";
    HXError error;
    ASSERT_TRUE(MVMovie::movie()->writeToFile(moviePath.string(), { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();
    auto movie = MVMovie::movieWithFile(moviePath.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto pane = ShareQuillonController::make(resources);
    pane->setMVMovie(movie);
    pane->awakeFromInterface();
    pane->passwordTextField()->setStringValue("pw");
    answer = "Cancel"; // the password is not kept
    pane->loadWorkflows(nullptr);
    ASSERT_TRUE(pane->showsWorkflowForm());
    pane->workflowPopUpButton()->selectItemAtIndex(3);
    pane->workflowChanged(nullptr);
    pane->descriptionField()->setStringValue("Episode 1");
    auto p = HXPropertyList(pane->parameters());
    EXPECT_EQ(p["description"].stringValue(),
        "Publish \u201C" + movie->displayName() + "\u201D with Video Podcast");
    EXPECT_EQ(p["MVPublishStep"].stringValue(), "PublishPodcast");
    EXPECT_EQ(p["CmdLinePath"].stringValue(), ShareQuillonController::toolPath());
    std::vector<std::string> args;
    for (const auto& a : p["SubmitArgs"].arrayValue())
        args.push_back(a.stringValue());
    ASSERT_EQ(args.size(), 13u) << HXString::componentsJoinedByString(args, " ");
    EXPECT_EQ(args,
        (std::vector<std::string> { "-s", "http://127.0.0.1:8080/pod", "-u", "ann", "-p", "pw", "--submit",
            "--file", moviePath.string(), "--workflow", "video-pod", "--metadata", args[12] }));
    EXPECT_EQ(fs::path(args[12]).parent_path(), temp / "tmp");
    auto metadata = HXPropertyList::readFromFile(args[12]);
    ASSERT_TRUE(metadata);
    EXPECT_EQ((*metadata)["Description"].stringValue(), "Episode 1");
    EXPECT_EQ((*metadata)["Title"].stringValue(), movie->displayName());
    EXPECT_FALSE(MVPPasswordStore::defaultStore().findInternetPassword(
        { "http://127.0.0.1:8080/pod", "ann", "/pod", 8080 }));

    // A movie without a file cannot be submitted: said now, not by a failing job.
    pane->setMVMovie(MVMovie::movie());
    EXPECT_EQ(HXPropertyList(pane->parameters())["ErrorTitle"].stringValue(), "The movie has no file");
}

TEST(SharePodcast, ServerMessages)
{
    auto pane = ShareQuillonController::make(HXBundle::bundleWithPath("/"));
    auto message = [&](int n) { return pane->parseErrorCode(n); };
    EXPECT_NE(message(21).find("(21)"), std::string::npos);
    EXPECT_EQ(message(13), message(37));
    EXPECT_EQ(message(0), message(37));
    EXPECT_NE(message(10), message(37));
}

} // namespace
