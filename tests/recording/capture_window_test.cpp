// The recording window: unique file names, the button, and the recording states driven with the
// generated stand-in devices.
#include "recording_test_support.h"

#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/workspace.h"
#include "platform/mvkit/movie.h"
#include "inspectors/movie_info.h"
#include "inspectors/movie_info_item_view.h"
#include "recording/meter_view.h"
#include "platform/winkit/button.h"
#include "player/controls/image_button.h"
#include "recording/capture_document.h"
#include "recording/capture_window_controller.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::recording;
namespace fs = std::filesystem;

namespace {

using Controller = MVPKitCaptureWindowController;

void click(HXAlert& alert, const std::string& key)
{
    for (auto& button : alert.buttons()) {
        if (button->title() == HXLocalizedString(key)) {
            button->performClick();
            return;
        }
    }
    ADD_FAILURE() << "no button " << key;
}

TEST(CaptureFileNameTest, TakesTheFirstFreeNumber)
{
    const struct {
        std::vector<std::string> existing;
        const char* expected;
    } cases[] = {
        { {}, "Movie Recording.mov" },
        { { "Movie Recording.mov" }, "Movie Recording 2.mov" },
        { { "Movie Recording.mov", "Movie Recording 2.mov" }, "Movie Recording 3.mov" },
        { { "Movie Recording 2.mov" }, "Movie Recording.mov" },
        { { "Movie Recording.mov", "Movie Recording 3.mov" }, "Movie Recording 2.mov" },
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (auto& name : c.existing)
            writeFile(dir / name, "taken");
        HXError error;
        std::string path = Controller::createUniqueMovieFile(dir.path().string(), "Movie Recording", &error);
        EXPECT_EQ(path, (dir / c.expected).string());
        EXPECT_TRUE(fs::exists(path)) << "the file is made, empty, for the recording";
        EXPECT_EQ(fs::file_size(path), 0u);
        for (auto& name : c.existing)
            EXPECT_EQ(readFile(dir / name), "taken") << "an existing file is never touched";
    }
}

TEST(CaptureFileNameTest, AFolderThatTakesNoFileGivesNoneAtOnce)
{
    TempDir dir;
    writeFile(dir / "plain", "a file, not a folder");
    const std::string folders[] = { (dir / "missing").string(), (dir / "plain").string() };
    for (const auto& folder : folders) {
        HXError error;
        EXPECT_EQ(Controller::createUniqueMovieFile(folder, "Audio Recording", &error), "") << folder;
        EXPECT_NE(error.code(), 0);
    }
}

TEST(CaptureButtonTest, ImageAndTitleFollowStateAndOption)
{
    const struct {
        MVPCaptureState state;
        bool option;
        Controller::ButtonLook look;
    } cases[] = {
        { MVPCaptureStatePreviewing, false, { "Record", "mvpAXRecordButtonTitle" } },
        { MVPCaptureStatePreviewing, true, { "Record", "mvpAXRecordButtonTitle" } },
        { MVPCaptureStateRecording, false, { "Stop", "mvpAXStopButtonTitle" } },
        { MVPCaptureStateRecording, true, { "Pause", "mvpAXPauseButtonTitle" } },
        { MVPCaptureStatePaused, false, { "Record", "mvpAXRecordButtonTitle" } },
        { MVPCaptureStatePaused, true, { "Stop", "mvpAXStopButtonTitle" } },
        { MVPCaptureStateStopping, false, { "Stop", "mvpAXStopButtonTitle" } },
        { MVPCaptureStateStopping, true, { "Stop", "mvpAXStopButtonTitle" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Controller::buttonLookForState(c.state, c.option), c.look) << c.state << " " << c.option;
}

TEST(CaptureStateTest, StatesAreBigEndianCodes)
{
    EXPECT_EQ(MVPCaptureStatePreviewing, int32_t('p' << 24 | 'r' << 16 | 'v' << 8 | 'w'));
    EXPECT_EQ(MVPCaptureStateRecording, int32_t('r' << 24 | 'e' << 16 | 'c' << 8 | 'd'));
    EXPECT_EQ(MVPCaptureStatePaused, int32_t('p' << 24 | 'a' << 16 | 's' << 8 | 'd'));
    EXPECT_EQ(MVPCaptureStateStopping, int32_t('s' << 24 | 't' << 16 | 'p' << 8 | 'd'));
}

// A recording window on the generated devices.
class CaptureWindowTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        MVCaptureDevice::setBackend(std::make_shared<MVCaptureStandInBackend>());
    }

    void TearDown() override
    {
        if (doc && !doc->isClosed())
            doc->close();
        doc.reset();
        RecordingTest::TearDown();
    }

    std::shared_ptr<Controller> open(int32_t templateType)
    {
        doc = MVPCaptureDocument::initWithTemplateType(templateType);
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        return std::dynamic_pointer_cast<Controller>(doc->captureWindowController());
    }

    std::vector<fs::path> recordings() const
    {
        std::vector<fs::path> files;
        for (auto& entry : fs::directory_iterator(folder.path()))
            files.push_back(entry.path());
        return files;
    }

    std::shared_ptr<MVPCaptureDocument> doc;
};

TEST_F(CaptureWindowTest, TheButtonWalksThroughTheStates)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->state(), MVPCaptureStatePreviewing);
    EXPECT_FALSE(doc->isDocumentEdited());
    struct Step {
        bool option;
        MVPCaptureState after;
    };
    const Step steps[] = {
        { false, MVPCaptureStateRecording },
        { true, MVPCaptureStatePaused },
        { false, MVPCaptureStateRecording },
        { true, MVPCaptureStatePaused },
        { true, MVPCaptureStateStopping },
        { false, MVPCaptureStateStopping },
    };
    for (const auto& step : steps) {
        controller->changeRecordingState(step.option);
        EXPECT_EQ(controller->state(), step.after);
        if (step.after == MVPCaptureStateRecording) {
            EXPECT_TRUE(doc->isDocumentEdited()) << "a recording that started counts as a change";
        }
    }
    EXPECT_EQ(recordings().size(), 1u);
    EXPECT_EQ(recordings()[0].filename(), "Audio Recording.mov");
}

TEST_F(CaptureWindowTest, ScriptCommandsActOnlyInTheirStates)
{
    auto controller = open(1);
    ASSERT_TRUE(controller);
    bool resumed = false;
    doc->handlePauseCommand();
    EXPECT_EQ(controller->state(), MVPCaptureStatePreviewing);
    doc->handleStopCommand([&](std::shared_ptr<MVPMovieDocument>) { resumed = true; });
    EXPECT_EQ(controller->state(), MVPCaptureStatePreviewing) << "stop while previewing does nothing";
    doc->handleStartCommand();
    EXPECT_EQ(controller->state(), MVPCaptureStateRecording);
    doc->handlePauseCommand();
    EXPECT_EQ(controller->state(), MVPCaptureStatePaused);
    doc->handleStartCommand();
    EXPECT_EQ(controller->state(), MVPCaptureStateRecording);
    EXPECT_FALSE(resumed) << "and is not kept for later";
}

TEST_F(CaptureWindowTest, RecordingDocumentsDrawFromTheDocumentCounter)
{
    uint64_t before = MVPMovieDocument::newDocumentUniqueID();
    auto first = MVPCaptureDocument::initWithTemplateType(1);
    auto movie = MVPMovieDocument::document();
    EXPECT_EQ(first->uniqueID(), before + 1);
    EXPECT_EQ(movie->uniqueID(), before + 2);
    EXPECT_EQ(MVPCaptureDocument::initWithTemplateType(0)->uniqueID(), before + 3);
    EXPECT_EQ(movie->uniqueID(), before + 2);
}

TEST_F(CaptureWindowTest, ScriptsSeeTheRecordingKindAsItsName)
{
    auto audio = MVPCaptureDocument::initWithTemplateType(0);
    auto movie = MVPCaptureDocument::initWithTemplateType(1);
    bool scripting = true;
    MVPCaptureDocument::setScriptCommandProbe([&] { return scripting; });
    EXPECT_EQ(audio->displayName(), "Audio Recording");
    EXPECT_EQ(movie->displayName(), "Movie Recording");
    scripting = false;
    EXPECT_EQ(movie->displayName(), HXDocument().displayName()) << "menus and windows see the untitled name";
    MVPCaptureDocument::setScriptCommandProbe(nullptr);
}

TEST_F(CaptureWindowTest, ClosingAskesOnlyWhileSomethingIsRecorded)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    std::optional<bool> answer;
    doc->canCloseDocument([&](bool ok) { answer = ok; });
    EXPECT_EQ(answer, true) << "previewing closes at once";

    controller->startRecording();
    int sheets = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        ++sheets;
        click(alert, "mvpCancel");
    });
    answer.reset();
    doc->canCloseDocument([&](bool ok) { answer = ok; });
    runUntil([&] { return answer.has_value(); }, 5);
    EXPECT_EQ(sheets, 1);
    EXPECT_EQ(answer, false) << "cancel";
    EXPECT_EQ(controller->state(), MVPCaptureStateRecording) << "the recording goes on";

    controller->stopRecording();
    answer.reset();
    int beeps = server->beepCount();
    doc->canCloseDocument([&](bool ok) { answer = ok; });
    EXPECT_EQ(answer, false) << "not while the file is finished";
    EXPECT_EQ(server->beepCount(), beeps + 1);
}

TEST_F(CaptureWindowTest, DontKeepDeletesTheRecordingBeforeTheDocumentCloses)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    controller->startRecording();
    ASSERT_TRUE(runUntil([&] { return controller->movieFileOutput()->recordedDuration() > 0.3; }));
    std::string file = controller->outputFile();
    ASSERT_TRUE(fs::exists(file));
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) { click(alert, "mvpDontKeep"); });
    std::optional<bool> answer;
    bool existedAtAnswer = true;
    doc->canCloseDocument([&](bool ok) {
        answer = ok;
        existedAtAnswer = fs::exists(file);
    });
    ASSERT_TRUE(runUntil([&] { return answer.has_value(); }, 20));
    EXPECT_EQ(answer, true);
    EXPECT_FALSE(existedAtAnswer);
    EXPECT_EQ(controller->state(), MVPCaptureStatePreviewing);
}

TEST_F(CaptureWindowTest, WithoutDevicesTheWindowSaysSoAndCloses)
{
    auto none = std::make_shared<TestCaptureBackend>();
    MVCaptureDevice::setBackend(none);
    std::string message;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        message = alert.messageText();
        alert.buttons().at(0)->performClick();
    });
    auto controller = open(1);
    ASSERT_TRUE(controller);
    ASSERT_TRUE(runUntil([&] { return doc->isClosed(); }, 5));
    EXPECT_EQ(message, HXLocalizedString("mvpCaptureNoDeviceTitle"));
    EXPECT_TRUE(recordings().empty());
}

TEST_F(CaptureWindowTest, AStartThatFindsNoFolderFailsAndCloses)
{
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList((folder / "missing").string()), kCapturePreferenceDefaultSaveToLocation);
    EnvironmentGuard environment;
    environment.set("HOME", (folder / "no-home").string()); // no desktop folder either, nor one to make
    environment.set("XDG_DESKTOP_DIR", (folder / "no-home" / "Desktop").string());
    auto controller = open(0);
    ASSERT_TRUE(controller);
    int alerts = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        ++alerts;
        alert.buttons().at(0)->performClick();
    });
    controller->startRecording();
    ASSERT_TRUE(runUntil([&] { return doc->isClosed(); }, 5));
    EXPECT_EQ(alerts, 1);
}

TEST_F(CaptureWindowTest, RecordingsGoToTheDesktopFolderMadeIfMissingElseToTheHomeFolder)
{
    HXUserDefaults::standardUserDefaults().removeObjectForKey(kCapturePreferenceDefaultSaveToLocation);
    EnvironmentGuard environment;
    std::filesystem::create_directories(folder / "fresh");
    std::filesystem::create_directories(folder / "odd");
    writeFile(folder / "odd" / "Desktop", "a file where the folder would be");
    const struct {
        const char* name;
        std::filesystem::path home;
        std::filesystem::path expected;
    } cases[] = {
        { "missing desktop is made", folder / "fresh", folder / "fresh" / "Desktop" },
        { "desktop that cannot be made", folder / "odd", folder / "odd" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        environment.set("HOME", c.home.string());
        EXPECT_EQ(MVPKitCaptureWindowController::recordingFolder(), c.expected.string());
        EXPECT_TRUE(std::filesystem::is_directory(c.expected));
    }
}

TEST_F(CaptureWindowTest, SleepFinishesTheRecordingFirst)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    controller->startRecording();
    ASSERT_TRUE(runUntil([&] { return controller->movieFileOutput()->recordedDuration() > 0.3; }));
    std::string file = controller->outputFile();
    // Sleep comes from the session, on the workspace's centre: the same name on the default centre is
    // nothing to the window.
    HXNotificationCenter::defaultCenter().postNotificationName(HXWorkspaceWillSleepNotification);
    EXPECT_EQ(controller->state(), MVPCaptureStateRecording);
    HXWorkspace::sharedWorkspace().postNotificationName(HXWorkspaceWillSleepNotification);
    // The notification returns only once the file is finished and open as a movie.
    EXPECT_EQ(controller->state(), MVPCaptureStatePreviewing);
    EXPECT_TRUE(doc->isClosed());
    EXPECT_GT(fs::file_size(file), 1000u);
    HXError error;
    auto movie = MVMovie::movieWithFile(file, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    EXPECT_GT(movie->durationValue(), 0);
}

TEST_F(CaptureWindowTest, TheCloseBoxIsOffWhileTheFileIsFinished)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    auto window = controller->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->styleMask() & HXClosableWindowMask);
    controller->startRecording();
    ASSERT_TRUE(runUntil([&] { return controller->movieFileOutput()->recordedDuration() > 0.2; }));
    EXPECT_TRUE(window->styleMask() & HXClosableWindowMask) << "recording: closing asks";
    controller->stopRecording();
    ASSERT_EQ(controller->state(), MVPCaptureStateStopping);
    EXPECT_FALSE(window->styleMask() & HXClosableWindowMask) << "finishing the file";
    int beeps = server->beepCount();
    window->performClose();
    EXPECT_EQ(server->beepCount(), beeps + 1) << "the close box refuses";
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(runUntil([&] { return controller->state() == MVPCaptureStatePreviewing; }));
}

TEST_F(CaptureWindowTest, TheInfoRowsNameSourcesDestinationAndFormat)
{
    auto controller = open(1);
    ASSERT_TRUE(controller);
    auto rows = doc->attributes();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].label, "Video Source");
    EXPECT_EQ(rows[0].value, "Test Pattern");
    EXPECT_EQ(rows[1].value, "Test Tone") << "the camera's linked microphone";
    EXPECT_EQ(rows[2].value, "Available when recording");
    EXPECT_EQ(rows[3].value, "Unknown");
    controller->startRecording();
    ASSERT_TRUE(runUntil([&] {
        auto now = doc->attributes();
        return now[3].value->find('\n') != std::string::npos;
    }));
    rows = doc->attributes();
    EXPECT_EQ(rows[2].value, controller->outputFile());
    EXPECT_EQ(rows[3].value, "320 x 240, rawvideo\n44.1 kHz, Mono, pcm_f32le") << "video, then sound";

    // An info panel on the recording shows the rows, and follows them.
    auto info = MovieInfo::movieInfoForDocument(doc);
    ASSERT_TRUE(info);
    info->showHidePanel();
    ASSERT_TRUE(info->isVisible());
    ASSERT_EQ(info->infoItems().size(), 4u);
    EXPECT_EQ(info->infoItems()[0]->label(), "Video Source");
    EXPECT_EQ(info->infoItems()[2]->value(), controller->outputFile());
    EXPECT_EQ(info->infoItems()[3]->value(), *rows[3].value);
    EXPECT_EQ(info->informationView()->value(), "") << "a recording has no information lines";
    info->hidePanel();
}

TEST_F(CaptureWindowTest, TheMeterFollowsTheSound)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    // The tone is at half scale: about -9 dB average power, a linear level near 0.35.
    ASSERT_TRUE(runUntil([&] { return controller->meterView()->value() > 0; }));
    EXPECT_NEAR(controller->meterView()->value(), 0.35, 0.05);
}

TEST_F(CaptureWindowTest, APictureLargerThanTheScreenIsHalvedUntilItFits)
{
    auto controller = open(1);
    ASSERT_TRUE(controller);
    controller->setVideoSize({ 640, 480 }, false);
    EXPECT_EQ(controller->videoSize().width, 640);
    controller->setVideoSize({ 2560, 1920 }, false);
    EXPECT_EQ(controller->videoSize().width, 640) << "2560 and 1280 do not fit on 1280 x 778";
    EXPECT_EQ(controller->videoSize().height, 480);
    HXRect frame = controller->window()->frame();
    EXPECT_GE(frame.origin.y, 4);
    EXPECT_LE(HXMaxY(frame), 778 - 4);
}

TEST_F(CaptureWindowTest, SpaceClicksTheButtonAndOptionTurnsStopIntoPause)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    auto window = controller->window();
    controller->keyDown(HXEvent::keyEvent(HXKeyDown, {}, 0, 0, window->windowNumber(), " ", " ", false, 49));
    EXPECT_EQ(controller->state(), MVPCaptureStateRecording);
    // Option goes down: the button's next click pauses rather than stops; the event goes on to the window.
    EXPECT_FALSE(controller->interceptEvent(
        HXEvent::keyEvent(HXFlagsChanged, {}, HXAlternateKeyMask, 0, window->windowNumber(), "", "", false, 58), *window));
    controller->changeRecordingState(nullptr);
    EXPECT_EQ(controller->state(), MVPCaptureStatePaused);
    controller->interceptEvent(HXEvent::keyEvent(HXFlagsChanged, {}, 0, 0, window->windowNumber(), "", "", false, 58), *window);
    controller->changeRecordingState(nullptr);
    EXPECT_EQ(controller->state(), MVPCaptureStateRecording) << "without Option a paused recording resumes";
}

} // namespace
