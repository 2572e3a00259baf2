// The preferences window, headless: every control edits its preference and posts the change (a table
// over all of them), the controls show the stored values when the window is built, the panes and their
// sizes, the display group with one or two displays, the capture devices and formats, and the folder
// chooser.
#include "app/preferences_window.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/color_well.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using movara::test::TempDir;
using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

HXPropertyList device(const char* uid, const char* name)
{
    return HXPropertyList(Dict { { "DUID", HXPropertyList(uid) }, { "DisplayName", HXPropertyList(name) } });
}

// A device list with the devices the test says, answering on the next pass of the loop.
class TestDeviceList : public MVPPreferencesCaptureDeviceList {
public:
    Array audio, video;
    int requests = 0;
    HXPropertyList::Array videoDeviceDescriptions() const override { return video; }
    HXPropertyList::Array audioDeviceDescriptions() const override { return audio; }
    void requestDeviceDescriptionsWithDelegate(
        const std::shared_ptr<MVPCaptureDeviceListDelegate>& d) override
    {
        ++requests;
        MVPPreferencesCaptureDeviceList::requestDeviceDescriptionsWithDelegate(d);
    }
};

class PreferencesWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    HXUserDefaults defaults { dir.path().string(), "com.example.prefs-window-test" };
    HXNotificationCenter center;
    std::vector<std::string> changed;
    std::unique_ptr<MVPPreferences> preferences;
    TestDeviceList devices;
    int screenCount = 1;
    bool proApps = false;
    std::vector<std::string> chooserStarts;
    std::optional<std::string> chooserAnswer;
    std::vector<std::function<void(MVPDefaultOpener::Result)>> defaultOpenerRequests;
    std::shared_ptr<MVPPreferencesWindow> window;
    std::shared_ptr<HXHeadlessWindowServer> server;

    std::vector<HXScreen> screens() const
    {
        std::vector<HXScreen> out;
        for (int i = 0; i < screenCount; ++i)
            out.emplace_back(
                uint32_t(i + 1), HXMakeRect(i * 1024, 0, 1024, 768), HXMakeRect(i * 1024, 0, 1024, 740));
        return out;
    }

    void SetUp() override
    {
        // The texts come from the program's bundle.
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 1);
        server = HXHeadlessWindowServer::install();
        HXApplication::setSharedApplication(std::make_shared<HXApplication>());
        center.addObserver(kPreferenceChangedNotification, nullptr, [this](const HXNotification& n) {
            changed.push_back(n.userInfo().at(kPreferenceChangedUserInfo).stringValue());
        });
        // A capture-format list of three formats and a separator.
        Array list;
        auto format = [](const char* id, const char* name, int w, int h) {
            return HXPropertyList(Dict { { "Identifier", HXPropertyList(id) },
                { "Name", HXPropertyList(name) }, { "Description", HXPropertyList("%u by %u, %s%n") },
                { "VideoSettings",
                    HXPropertyList(Dict { { "Width", HXPropertyList(int64_t(w)) },
                        { "Height", HXPropertyList(int64_t(h)) } }) } });
        };
        list.push_back(format(MVPCapturePresetIdentifierBest, "Best", 1280, 720));
        list.push_back(HXPropertyList(Dict { { "Name", HXPropertyList("-") } }));
        list.push_back(format("Medium", "Medium", 640, 480));
        list.push_back(format(MVPCapturePresetIdentifierDeviceNative, "Native", 0, 0));
        std::string path = (dir / "captureSettingsCore2.plist").string();
        ASSERT_TRUE(HXPropertyList(list).writeToFile(path));
        MVPPreferences::Environment env;
        env.userDefaults = &defaults;
        env.notificationCenter = &center;
        env.pathForResource = [path](const std::string& name, const std::string&) {
            return name == "captureSettingsCore2" ? path : std::string();
        };
        env.blackColorData = [] { return HXColor::blackColor().archivedData(); };
        env.firstScreenNumber = [] { return std::optional<int64_t>(1); };
        env.mediaKeyBool = [](const std::string&, bool d) { return d; };
        env.mediaKeys = [](const std::string&) { return std::vector<std::string>(); };
        env.fixedDeviceDescription = [this](const HXPropertyList& d, const std::string& key) {
            return devices.fixedDeviceDescriptionFromDeviceDescription(d, key);
        };
        preferences = std::make_unique<MVPPreferences>(env);
        preferences->postDeferredNotifications();
        changed.clear();
    }

    void TearDown() override
    {
        window.reset();
        preferences.reset();
        HXApplication::setSharedApplication(nullptr);
    }

    void makeWindow()
    {
        MVPPreferencesWindow::Environment env;
        env.preferences = preferences.get();
        // The display picker reads the displays from the window server.
        server = HXHeadlessWindowServer::install(screens());
        env.availableScreens = [this] { return screens(); };
        env.proAppsAreInstalled = [this] { return proApps; };
        env.captureDeviceList = [this]() -> MVPPreferencesCaptureDeviceList& { return devices; };
        env.chooseDirectory = [this](const std::shared_ptr<HXWindow>&, const std::string& path,
                                  std::function<void(std::optional<std::string>)> answer) {
            chooserStarts.push_back(path);
            answer(chooserAnswer);
        };
        env.animatesResize = false;
        env.makeDefaultOpener = [this](std::function<void(MVPDefaultOpener::Result)> done) {
            defaultOpenerRequests.push_back(std::move(done));
        };
        window = std::make_shared<MVPPreferencesWindow>(env);
        window->showPreferences();
    }

    const MVPPreferencesWindow::Outlets& o() const { return window->outlets(); }

    void showPane(const char* identifier)
    {
        for (auto& item : window->preferencesPanel()->toolbar()->items())
            if (item->itemIdentifier() == identifier)
                window->doPreferenceToolbarItem(item.get());
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    }

    void set(const char* key, HXPropertyList value) { preferences->setPreference(value, key, false); }
    HXPropertyList stored(const char* key) const { return preferences->preference(key); }

    // Clicks a check box (its state moves on, then it sends its action).
    void click(HXButton& box)
    {
        box.setNextState();
        window->doPreference(&box);
    }
    void choose(HXPopUpButton& popUp, long tag)
    {
        ASSERT_TRUE(popUp.selectItemWithTag(tag)) << tag;
        window->doPreference(&popUp);
    }
};

TEST_F(PreferencesWindowTest, EveryControlWritesItsPreferenceAndTellsSo)
{
    screenCount = 2;
    proApps = true;
    makeWindow();
    const char* general = PreferenceToolbarItemIdentifierGeneral;
    const char* fullscreen = PreferenceToolbarItemIdentifierFullscreen;
    struct Row {
        const char* pane;
        const char* key;
        std::function<void()> act;
        HXPropertyList expected;
    };
    auto box = [this](std::shared_ptr<HXButton> MVPPreferencesWindow::Outlets::*outlet) {
        return [this, outlet] { click(*(window->outlets().*outlet)); };
    };
    using O = MVPPreferencesWindow::Outlets;
    // Each check box starts at its stored value, so one click writes the opposite.
    auto flipped = [this](const char* key) { return HXPropertyList(!stored(key).boolValue()); };
    std::vector<Row> rows = {
        { general, kGeneralPreferenceOpenMoviesInNewPlayers, box(&O::_generalOpenNewPlayersCheckbox),
            flipped(kGeneralPreferenceOpenMoviesInNewPlayers) },
        { general, kGeneralPreferenceAutoPlayMoviesWhenOpened, box(&O::_generalAutoPlayMoviesCheckbox),
            flipped(kGeneralPreferenceAutoPlayMoviesWhenOpened) },
        { general, kGeneralPreferencePlaySoundInFrontPlayerOnly,
            box(&O::_generalPlaySoundInFrontPlayerOnlyCheckbox),
            flipped(kGeneralPreferencePlaySoundInFrontPlayerOnly) },
        { general, kGeneralPreferencePlaySoundWhenAppInBackground,
            box(&O::_generalPlaySoundWhenInBackgroundCheckbox),
            flipped(kGeneralPreferencePlaySoundWhenAppInBackground) },
        { general, kGeneralPreferenceShowEqualizer, box(&O::_generalShowEqualizerCheckbox),
            flipped(kGeneralPreferenceShowEqualizer) },
        { general, kGeneralPreferenceShowReelspotMovieAutomatically,
            box(&O::_generalShowReelspotAutomaticallyCheckbox),
            flipped(kGeneralPreferenceShowReelspotMovieAutomatically) },
        { general, kGeneralPreferencePauseMoviesWhenLoggedOut,
            box(&O::_generalPauseMoviesWhenLoggedOutCheckbox),
            flipped(kGeneralPreferencePauseMoviesWhenLoggedOut) },
        { general, kGeneralPreferenceNumberOfRecentItems,
            [this] { choose(*o()._generalNumberOfRecentItemsPopUpButton, 30); },
            HXPropertyList(int64_t(30)) },
        { general, kGeneralPreferenceHighQualityVideo, box(&O::_generalHighQualityVideoCheckbox),
            flipped(kGeneralPreferenceHighQualityVideo) },
        { general, kGeneralPreferenceShowClosedCaptioning, box(&O::_generalShowClosedCaptioning),
            flipped(kGeneralPreferenceShowClosedCaptioning) },
        { general, kGeneralHideSelectionIndicators, box(&O::_generalHideSelectionIndicators),
            flipped(kGeneralHideSelectionIndicators) },
        { general, kGeneralPreferenceShowTimeCode, box(&O::_generalShowTimeCodeCheckbox),
            flipped(kGeneralPreferenceShowTimeCode) },
        { general, kGeneralPreferenceShowTimeCodeAbsoluteFrameNumbers,
            box(&O::_generalShowTimeCodeAbsoluteFramesCheckbox),
            flipped(kGeneralPreferenceShowTimeCodeAbsoluteFrameNumbers) },
        { general, kGeneralPreferenceShowSubtitles, box(&O::_generalShowSubtitlesCheckbox),
            flipped(kGeneralPreferenceShowSubtitles) },
        { general, kGeneralPreferenceEnableProAppsColorCompatibilityMode,
            box(&O::_generalProAppsCompatibilityModeCheckbox),
            flipped(kGeneralPreferenceEnableProAppsColorCompatibilityMode) },
        { fullscreen, kFullscreenPreferenceWidescreenSize,
            [this] { choose(*o()._fullscreenWidescreenSizePopUpButton, 1); }, HXPropertyList(int64_t(1)) },
        { fullscreen, kFullscreenPreferenceStandardSize,
            [this] { choose(*o()._fullscreenStandardSizePopUpButton, 18); }, HXPropertyList(int64_t(18)) },
        { fullscreen, kFullscreenPreferenceSize, [this] { choose(*o()._fullscreenMovieSizePopUpButton, 2); },
            HXPropertyList(int64_t(2)) },
        { fullscreen, kFullscreenPreferenceSlideShowMode,
            [this] {
                o()._fullscreenModeMatrix->selectCellWithTag(1);
                window->doPreference(o()._fullscreenModeMatrix.get());
            },
            HXPropertyList(true) },
        { fullscreen, kFullscreenPreferenceBackgroundColorData,
            [this] {
                o()._fullscreenBackgroundColorWell->setColor(HXColor::colorWithCalibratedRed(1, 0, 0));
                window->doPreference(o()._fullscreenBackgroundColorWell.get());
            },
            HXPropertyList(HXColor::colorWithCalibratedRed(1, 0, 0).archivedData()) },
        { fullscreen, kFullscreenPreferenceCaptureAllDisplays, box(&O::_fullscreenCaptureAllDisplaysCheckBox),
            flipped(kFullscreenPreferenceCaptureAllDisplays) },
        { fullscreen, kFullscreenPreferenceScreenNumber,
            [this] {
                auto picker = o()._fullscreenFSScreenView;
                ASSERT_EQ(picker->screens().size(), 2u);
                picker->setSelectedScreen(picker->screens()[1]);
                window->doPreference(picker.get());
            },
            HXPropertyList(int64_t(2)) },
        { fullscreen, kFullscreenPreferenceEnableHUD, box(&O::_fullscreenEnableHUDCheckbox),
            flipped(kFullscreenPreferenceEnableHUD) },
        { fullscreen, kFullscreenPreferenceHUDFadeOutTime,
            [this] { choose(*o()._fullscreenHUDFadeTimePopUpButton, 5); }, HXPropertyList(int64_t(5)) },
        { fullscreen, kFullscreenPreferenceRemainInFullScreenWhenInactive,
            box(&O::_fullscreenRemainInFullScreenCheckBox),
            flipped(kFullscreenPreferenceRemainInFullScreenWhenInactive) },
        { PreferenceToolbarItemIdentifierCapture, kCapturePreferenceFormatIdentifier,
            [this] {
                auto popUp = o()._captureFormatPopUpButton;
                popUp->selectItemWithTitle("Medium");
                window->doPreference(popUp.get());
            },
            HXPropertyList("Medium") },
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.key);
        showPane(row.pane);
        changed.clear();
        row.act();
        EXPECT_EQ(stored(row.key), row.expected);
        EXPECT_EQ(changed, std::vector<std::string> { row.key }) << "one change notification, naming the key";
    }
    EXPECT_EQ(o()._captureFormatDescriptionText->stringValue(), "640 by 480, %s%n")
        << "the summary follows, safely";

    // A control of a pane that is not shown is ignored.
    showPane(general);
    changed.clear();
    click(*o()._fullscreenEnableHUDCheckbox);
    EXPECT_TRUE(changed.empty());
}

TEST_F(PreferencesWindowTest, ControlsShowTheStoredValues)
{
    set(kGeneralPreferenceAutoPlayMoviesWhenOpened, HXPropertyList(true));
    set(kGeneralPreferenceShowEqualizer, HXPropertyList(false));
    set(kGeneralHideSelectionIndicators, HXPropertyList(true));
    set(kGeneralPreferenceNumberOfRecentItems, HXPropertyList(int64_t(7))); // no such item
    set(kFullscreenPreferenceSize, HXPropertyList(int64_t(3))); // older "fit to screen"
    set(kFullscreenPreferenceStandardSize, HXPropertyList(int64_t(2)));
    set(kFullscreenPreferenceSlideShowMode, HXPropertyList(true));
    set(kFullscreenPreferenceEnableHUD, HXPropertyList(false));
    set(kFullscreenPreferenceHUDFadeOutTime, HXPropertyList(int64_t(10)));
    set(kFullscreenPreferenceBackgroundColorData,
        HXPropertyList(HXColor::colorWithCalibratedRed(0, 0, 1).archivedData()));
    set(kCapturePreferenceFormatIdentifier, HXPropertyList("Medium"));
    set(kFullscreenPreferenceScreenNumber, HXPropertyList(int64_t(2)));
    set(kFullscreenPreferenceCaptureAllDisplays, HXPropertyList(true));
    screenCount = 2;
    makeWindow();
    ASSERT_TRUE(o()._fullscreenFSScreenView->selectedScreen());
    EXPECT_EQ(o()._fullscreenFSScreenView->selectedScreen()->screenNumber(), 2u)
        << "the stored display is chosen";
    EXPECT_EQ(o()._fullscreenCaptureAllDisplaysCheckBox->state(), 1);
    EXPECT_EQ(o()._generalAutoPlayMoviesCheckbox->state(), 1);
    EXPECT_EQ(o()._generalShowEqualizerCheckbox->state(), 0);
    EXPECT_EQ(o()._generalHideSelectionIndicators->state(), 1);
    EXPECT_FALSE(o()._generalHideSelectionIndicators->isHidden()) << "revealed at the first showing";
    EXPECT_EQ(o()._generalNumberOfRecentItemsPopUpButton->indexOfSelectedItem(), 0) << "no item tagged 7";
    EXPECT_EQ(o()._fullscreenMovieSizePopUpButton->selectedTag(), 16) << "3 shows as letterbox";
    EXPECT_EQ(o()._fullscreenStandardSizePopUpButton->selectedTag(), 2);
    EXPECT_EQ(o()._fullscreenModeMatrix->selectedTag(), 1);
    EXPECT_FALSE(o()._fullscreenHUDFadeTimePopUpButton->isEnabled()) << "the HUD is off";
    EXPECT_EQ(o()._fullscreenHUDFadeTimePopUpButton->selectedTag(), 10);
    EXPECT_EQ(o()._fullscreenBackgroundColorWell->color().archivedData(),
        HXColor::colorWithCalibratedRed(0, 0, 1).archivedData());
    EXPECT_EQ(o()._captureFormatPopUpButton->titleOfSelectedItem(), "Medium");
    EXPECT_EQ(o()._captureFormatDescriptionText->stringValue(), "640 by 480, %s%n");
    std::vector<std::string> formats;
    for (auto& item : o()._captureFormatPopUpButton->itemArray())
        formats.push_back(item->isSeparatorItem() ? "---" : item->title());
    EXPECT_EQ(formats, (std::vector<std::string> { "Best", "---", "Medium", "Native" }));
    EXPECT_TRUE(changed.empty()) << "showing the window writes nothing";

    // Choosing letterbox writes 16; turning the HUD on enables the fade time at once, off disables it.
    showPane(PreferenceToolbarItemIdentifierFullscreen);
    choose(*o()._fullscreenMovieSizePopUpButton, 16);
    EXPECT_EQ(stored(kFullscreenPreferenceSize), HXPropertyList(int64_t(16)));
    click(*o()._fullscreenEnableHUDCheckbox);
    EXPECT_TRUE(o()._fullscreenHUDFadeTimePopUpButton->isEnabled());
    click(*o()._fullscreenEnableHUDCheckbox);
    EXPECT_FALSE(o()._fullscreenHUDFadeTimePopUpButton->isEnabled());
}

TEST_F(PreferencesWindowTest, PanesAndTheirSizes)
{
    struct Case {
        int screens;
        bool proApps;
    };
    for (const Case c : { Case { 1, false }, Case { 2, false }, Case { 1, true } }) {
        SCOPED_TRACE(std::to_string(c.screens) + (c.proApps ? " screens, pro" : " screens"));
        screenCount = c.screens;
        proApps = c.proApps;
        makeWindow();
        auto panel = window->preferencesPanel();
        ASSERT_TRUE(panel && panel->isVisible());
        EXPECT_EQ(panel->toolbar()->identifier(), PreferenceToolbarIdentifier);
        EXPECT_EQ(panel->toolbar()->selectedItemIdentifier(), PreferenceToolbarItemIdentifierGeneral);
        EXPECT_EQ(panel->toolbar()->items().size(), 3u);
        EXPECT_EQ(window->selectedView(), o()._generalView);
        EXPECT_EQ(panel->title(), HXLocalizedString("mvpPreferencesToolbarLabelGeneral"));

        // The General pane: the hide-selection row, and the professional group when installed.
        double general = o()._generalView->frame().size.height;
        bool grouped = o()._generalProAppsCompatibilityModeView == nullptr;
        EXPECT_EQ(grouped, c.proApps);
        // The Full Screen pane: the display group only with more than one display, 95 points.
        double fullscreen = o()._fullscreenView->frame().size.height;
        EXPECT_EQ(o()._fullscreenFSScreenView->isHidden(), c.screens < 2);
        EXPECT_EQ(o()._fullscreenCaptureAllDisplaysCheckBox->isHidden(), c.screens < 2);
        HXRect group = o()._fullscreenSizeColourModeView->frame();
        if (c.screens < 2)
            EXPECT_EQ(HXMaxY(group), fullscreen) << "the size group moves to the top";
        else
            EXPECT_EQ(HXMaxY(group), HXMinY(o()._fullscreenFSScreenView->frame()));

        // Each pane fills the content, and the window keeps its top-left corner as it changes.
        auto topLeft = [&panel] { return HXMakePoint(HXMinX(panel->frame()), HXMaxY(panel->frame())); };
        HXPoint corner = topLeft();
        for (auto [id, view, height] :
            { std::tuple { PreferenceToolbarItemIdentifierFullscreen, o()._fullscreenView, fullscreen },
                std::tuple { PreferenceToolbarItemIdentifierCapture, o()._captureView,
                    o()._captureView->frame().size.height },
                std::tuple { PreferenceToolbarItemIdentifierGeneral, o()._generalView, general } }) {
            showPane(id);
            EXPECT_EQ(window->selectedView(), view);
            EXPECT_EQ(panel->contentView()->subviews(), std::vector<std::shared_ptr<HXView>> { view });
            EXPECT_EQ(panel->contentRectForFrameRect(panel->frame()).size.height, height);
            EXPECT_EQ(topLeft(), corner);
        }
        window->hidePreferences();
        EXPECT_FALSE(window->isVisible());
        window->showPreferences();
        EXPECT_TRUE(window->isVisible()) << "the same panel comes back";
        window.reset();
    }
    // The sizes differ by the constants: 95 points for the display group.
    screenCount = 1;
    makeWindow();
    double one = o()._fullscreenView->frame().size.height;
    screenCount = 2;
    makeWindow();
    EXPECT_EQ(o()._fullscreenView->frame().size.height - one,
        MVPPreferencesWindow::kMultipleScreenSupportGroupHeight);
}

TEST_F(PreferencesWindowTest, CaptureDevices)
{
    devices.video = { device("cam-1", "FaceCam"), device("cam-2", "Desk Camera") };
    devices.audio = {};
    // A stored camera that is present, and a stored microphone that is not.
    set(kCapturePreferenceDefaultMovieVideoDevice, device("cam-2", "Desk Camera"));
    set(kCapturePreferenceDefaultMovieAudioDevice, device("mic-9", "Old Mic"));
    makeWindow();
    EXPECT_EQ(devices.requests, 0) << "devices are read when the Capture pane shows";
    showPane(PreferenceToolbarItemIdentifierCapture);
    EXPECT_EQ(devices.requests, 1);
    auto cameras = o()._captureDefaultMovieCaptureDevicePopUpButton;
    auto microphones = o()._captureDefaultAudioCaptureDevicePopUpButton;
    auto titles = [](const HXPopUpButton& p) {
        std::vector<std::string> out;
        for (auto& item : p.itemArray())
            out.push_back(item->isSeparatorItem() ? "---" : item->title());
        return out;
    };
    const std::string automatic = HXLocalizedString("mvpPreferencesCaptureDeviceAutomatic");
    EXPECT_EQ(titles(*cameras), (std::vector<std::string> { automatic, "---", "FaceCam", "Desk Camera" }));
    EXPECT_EQ(cameras->titleOfSelectedItem(), "Desk Camera");
    EXPECT_TRUE(cameras->isEnabled());
    EXPECT_EQ(titles(*microphones),
        (std::vector<std::string> {
            automatic, "---", "Old Mic" + HXLocalizedString("mvpPreferencesCaptureDeviceUnavailable") }));
    EXPECT_EQ(microphones->indexOfSelectedItem(), 2);
    EXPECT_TRUE(microphones->isEnabled());
    EXPECT_TRUE(o()._captureReadingDevicesTestField->isHidden());
    EXPECT_FALSE(o()._captureReadingDevicesProgressIndicator->isAnimating());

    // Picking a device writes its description; "Automatic" removes the key without a notification.
    changed.clear();
    cameras->selectItemAtIndex(2);
    window->doPreference(cameras.get());
    EXPECT_EQ(stored(kCapturePreferenceDefaultMovieVideoDevice), device("cam-1", "FaceCam"));
    EXPECT_EQ(changed, std::vector<std::string> { kCapturePreferenceDefaultMovieVideoDevice });
    changed.clear();
    cameras->selectItemAtIndex(0);
    window->doPreference(cameras.get());
    EXPECT_TRUE(stored(kCapturePreferenceDefaultMovieVideoDevice).isNull());
    EXPECT_TRUE(changed.empty());

    // Devices coming and going refresh the pane while it shows.
    devices.video.push_back(device("cam-3", "New Camera"));
    center.postNotification(HXNotification(MVPPreferencesCaptureDeviceListDidChangeNotification, &devices));
    EXPECT_EQ(devices.requests, 2);
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(cameras->numberOfItems(), 5);

    // A stored description without a device identifier and without a device of its name is dropped.
    set(kCapturePreferenceDefaultMovieAudioDevice,
        HXPropertyList(Dict { { "DisplayName", HXPropertyList("Gone") } }));
    window->captureDeviceListDidReadAudioDeviceDescriptions({}, devices.video);
    EXPECT_TRUE(stored(kCapturePreferenceDefaultMovieAudioDevice).isNull());
    EXPECT_EQ(titles(*microphones), std::vector<std::string> { automatic });
    EXPECT_FALSE(microphones->isEnabled());
}

TEST_F(PreferencesWindowTest, SaveFolderChooser)
{
    set(kCapturePreferenceDefaultSaveToLocation, HXPropertyList("~/Recordings/"));
    makeWindow();
    showPane(PreferenceToolbarItemIdentifierCapture);
    auto popUp = o()._captureSaveCapturedFilesToPopUpButton;
    EXPECT_EQ(popUp->titleOfSelectedItem(), "Recordings");
    std::string home = std::getenv("HOME");
    struct Case {
        std::optional<std::string> answer;
        std::string stored;
    };
    const Case cases[] = { { std::nullopt, "~/Recordings/" }, { dir.path().string(), dir.path().string() } };
    for (const auto& c : cases) {
        chooserAnswer = c.answer;
        changed.clear();
        popUp->selectItemAtIndex(popUp->numberOfItems() - 1);
        window->doPreference(popUp.get());
        EXPECT_EQ(chooserStarts.back(), home + "/Recordings") << "the chooser starts in the stored folder";
        EXPECT_EQ(popUp->indexOfSelectedItem(), 0) << "whatever the outcome";
        EXPECT_EQ(stored(kCapturePreferenceDefaultSaveToLocation).stringValue(), c.stored);
        EXPECT_EQ(changed.size(), c.answer ? 1u : 0u);
    }
    EXPECT_EQ(popUp->titleOfSelectedItem(), dir.path().filename().string());
    // Item 0 shows the chosen folder's icon at 16 x 16, and the pop-up shows it before the title.
    auto folderItem = popUp->itemAtIndex(0);
    ASSERT_TRUE(folderItem->image());
    EXPECT_TRUE(folderItem->image()->isValid());
    EXPECT_EQ(folderItem->image()->size(), (HXSize { 16, 16 }));
    EXPECT_EQ(popUp->image(), folderItem->image());
}

TEST_F(PreferencesWindowTest, DeviceNamesAndToolbarItems)
{
    EXPECT_EQ(MVPPreferencesWindow::localizeVideoDeviceName("Some Camera"), "Some Camera");
    EXPECT_EQ(MVPPreferencesWindow::localizeAudioDeviceName("Built-in Input"), "Built-in Input");
    makeWindow();
    auto& toolbar = *window->preferencesPanel()->toolbar();
    EXPECT_EQ(window->toolbarItemForItemIdentifier(toolbar, "Unknown", true), nullptr);
    auto item = window->toolbarItemForItemIdentifier(toolbar, PreferenceToolbarItemIdentifierCapture, true);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->label(), HXLocalizedString("mvpPreferencesToolbarLabelCapture"));
    EXPECT_EQ(item->toolTip(), item->label());
    EXPECT_EQ(item->action(), HXSelector("doPreferenceToolbarItem:"));
    EXPECT_EQ(
        window->toolbarSelectableItemIdentifiers(toolbar), window->toolbarDefaultItemIdentifiers(toolbar));
}

} // namespace

TEST_F(PreferencesWindowTest, TheDefaultOpenerButtonAsksAndShowsTheAnswer)
{
    makeWindow();
    auto& button = *o()._generalDefaultOpenerButton;
    EXPECT_FALSE(button.isHidden());
    EXPECT_EQ(button.title(), HXLocalizedString("mvpPreferencesMakeDefaultOpener"));
    button.performClick(nullptr);
    ASSERT_EQ(defaultOpenerRequests.size(), 1u);
    // One request at a time: the button waits for the answer.
    EXPECT_FALSE(button.isEnabled());
    defaultOpenerRequests[0]({ false, "No xdg-mime here." });
    EXPECT_TRUE(button.isEnabled());
    EXPECT_EQ(o()._generalDefaultOpenerStatus->stringValue(), "No xdg-mime here.");
    // The row sits between the last check box and the bottom of the pane.
    HXRect row = button.frame();
    EXPECT_GE(HXMinY(row), HXMaxY(o()._generalHideSelectionIndicators->frame()) - 1);
    EXPECT_LE(HXMaxY(o()._generalDefaultOpenerStatus->frame()), o()._generalView->frame().size.height);
}
