// The presentation settings sheet (what it shows for which movie and displays, what it confirms, how it
// ends) and the display picker (its transform, hits, clicks and a list of screens that changes).
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_screen_view.h"
#include "fullscreen/presentation_settings_window_controller.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button.h"

#include <gtest/gtest.h>

namespace {

HXScreen screen(uint32_t number, double x, double w, double h)
{
    return HXScreen(number, { { x, 0 }, { w, h } }, { { x, 0 }, { w, h } });
}

TEST(PresentationSettingsSheet, SizesAreNormalised)
{
    const std::pair<int64_t, int64_t> cases[] = { { 0, 0 }, { 1, 1 }, { 2, 2 }, { 3, 3 }, { 4, 4 }, { 16, 3 },
        { 17, 3 }, { 18, 3 }, { 19, 3 }, { 20, 20 }, { 0x10001, 1 }, { 0x10011, 3 } };
    for (auto [given, expected] : cases)
        EXPECT_EQ(FSPresentationSettingsWindowController::normalizedSize(given), expected) << given;
    FSPresentationSettingsWindowController sheet;
    FSPresentationSettings settings;
    settings.size = 17;
    sheet.setPresentationSettings(settings);
    EXPECT_EQ(sheet.presentationSettings().size, 3);
    sheet.setPresentationSetting(HXPropertyList(int64_t(19)), FullscreenPreferenceSize);
    EXPECT_EQ(sheet.presentationSettings().size, 3);
}

class SheetTest : public ::testing::Test {
protected:
    void install(std::vector<HXScreen> screens)
    {
        HXHeadlessWindowServer::install(std::move(screens));
        parent = std::make_shared<HXWindow>(HXRect { { 100, 100 }, { 640, 480 } }, HXTitledWindowMask);
        parent->orderFront();
        sheet = FSPresentationSettingsWindowController::fsPresentationSettingsWindowController();
        sheet->loadWindow();
    }
    void TearDown() override
    {
        sheet.reset();
        parent.reset();
        HXApplication::setSharedApplication(nullptr);
    }
    void begin(const FSPresentationSettings& settings, const std::shared_ptr<MVMovie>& movie)
    {
        sheet->setPresentationSettings(settings);
        sheet->beginSettingsSheetWithMovie(movie, parent, [this](MVPDocumentPresentationSettingsSheet&, long code) {
            ended.push_back(code);
        });
    }

    std::shared_ptr<HXWindow> parent;
    std::shared_ptr<FSPresentationSettingsWindowController> sheet;
    std::vector<long> ended;
};

TEST_F(SheetTest, TwoDisplaysShowThePickerAndConfirmTheChoice)
{
    install({ screen(1, 0, 1280, 800), screen(7, 1280, 1024, 768) });
    double fullHeight = sheet->window()->frame().size.height;
    FSPresentationSettings settings;
    settings.size = 17;
    settings.slideShowMode = true;
    settings.screen = screen(7, 1280, 1024, 768);
    settings.captureAllDisplays = true;
    settings.color = HXColor::colorWithCalibratedRed(0.2, 0.4, 0.6);
    begin(settings, MVMovie::movie());
    EXPECT_EQ(sheet->window()->frame().size.height, fullHeight);
    EXPECT_FALSE(sheet->fsScreenView()->isHidden());
    EXPECT_EQ(sheet->movieSizePopUpButton()->selectedItem()->tag(), 3) << "crop shows as the screen-filling size";
    EXPECT_EQ(sheet->modeMatrix()->selectedTag(), 1);
    for (long row = 0; row < 2; ++row) {
        auto cell = sheet->modeMatrix()->cellAtRowColumn(row, 0);
        ASSERT_TRUE(cell);
        EXPECT_LE(cell->cellSize().width, sheet->modeMatrix()->cellSize().width)
            << "\"" << cell->title() << "\" is shown whole";
    }
    EXPECT_EQ(sheet->captureAllDisplaysCheckBox()->state(), HXOnState);
    ASSERT_TRUE(sheet->fsScreenView()->selectedScreen());
    EXPECT_EQ(sheet->fsScreenView()->selectedScreen()->screenNumber(), 7u);

    sheet->movieSizePopUpButton()->selectItemWithTag(1);
    sheet->captureAllDisplaysCheckBox()->setState(HXOffState);
    sheet->savePanelSettings(sheet->playButton().get());
    EXPECT_EQ(ended, (std::vector<long> { 1 }));
    const auto& chosen = sheet->presentationSettings();
    EXPECT_EQ(chosen.size, 1);
    EXPECT_EQ(chosen.slideShowMode, true);
    EXPECT_EQ(chosen.captureAllDisplays, false);
    EXPECT_EQ(chosen.screen->screenNumber(), 7u);
    EXPECT_EQ(chosen.color, settings.color);
    EXPECT_FALSE(sheet->window()->isVisible());
}

TEST_F(SheetTest, OneDisplayHidesThePickerAndNamesThatDisplay)
{
    install({ screen(3, 0, 1280, 800) });
    double fullHeight = sheet->window()->frame().size.height;
    begin({}, MVMovie::movie());
    EXPECT_TRUE(sheet->fsScreenView()->isHidden());
    EXPECT_TRUE(sheet->captureAllDisplaysCheckBox()->isHidden());
    EXPECT_EQ(sheet->window()->frame().size.height, fullHeight - 100);
    sheet->savePanelSettings(sheet->playButton().get());
    ASSERT_TRUE(sheet->presentationSettings().screen);
    EXPECT_EQ(sheet->presentationSettings().screen->screenNumber(), 3u);
}

TEST_F(SheetTest, NoFreeDisplayConfirmsNoScreen)
{
    install({ screen(3, 0, 1280, 800) });
    FSPresentationManager::fsPresentationManager().beginPresentationOnScreen(screen(3, 0, 1280, 800));
    FSPresentationSettings settings;
    settings.screen = screen(3, 0, 1280, 800);
    begin(settings, MVMovie::movie());
    sheet->savePanelSettings(sheet->playButton().get());
    FSPresentationManager::fsPresentationManager().endPresentationOnScreen(screen(3, 0, 1280, 800));
    EXPECT_FALSE(sheet->presentationSettings().screen);
}

TEST_F(SheetTest, InteractiveMoviesHaveNoModeAndNeverSlideShow)
{
    install({ screen(1, 0, 1280, 800), screen(7, 1280, 1024, 768) });
    double fullHeight = sheet->window()->frame().size.height;
    FSPresentationSettings settings;
    settings.slideShowMode = true;
    sheet->setPresentationSettings(settings);
    sheet->beginSettingsSheet(true, parent, [this](MVPDocumentPresentationSettingsSheet&, long code) {
        ended.push_back(code);
    });
    EXPECT_TRUE(sheet->modeView()->isHidden());
    EXPECT_EQ(sheet->window()->frame().size.height, fullHeight - sheet->modeView()->frame().size.height);
    sheet->savePanelSettings(sheet->playButton().get());
    EXPECT_EQ(sheet->presentationSettings().slideShowMode, false);
}

TEST_F(SheetTest, CancelLeavesTheSettingsAndStillEnds)
{
    install({ screen(1, 0, 1280, 800), screen(7, 1280, 1024, 768) });
    FSPresentationSettings settings;
    settings.size = 2;
    begin(settings, MVMovie::movie());
    sheet->movieSizePopUpButton()->selectItemWithTag(0);
    sheet->savePanelSettings(sheet->cancelButton().get());
    EXPECT_EQ(ended, (std::vector<long> { 0 }));
    EXPECT_EQ(sheet->presentationSettings(), settings);
    EXPECT_FALSE(parent->attachedSheet());
}

TEST_F(SheetTest, DoubleClickingADisplayConfirms)
{
    install({ screen(1, 0, 1280, 800), screen(7, 1280, 1024, 768) });
    begin({}, MVMovie::movie());
    sheet->presentationMonitorDoubleClicked();
    EXPECT_EQ(ended, (std::vector<long> { 1 }));
}

TEST(PresentationScreenView, TransformCentresTheArrangement)
{
    // Two screens side by side, 2304 x 800 in all, in a 200 x 120 view: inset 184 x 104, s = 184/2304.
    auto t = FSPresentationScreenViewTransform(
        { { { 0, 0 }, { 1280, 800 } }, { { 1280, 0 }, { 1024, 768 } } }, { { 0, 0 }, { 200, 120 } });
    ASSERT_TRUE(t);
    double s = 184.0 / 2304;
    HXPoint origin = t->transformPoint({ 0, 0 });
    HXPoint far = t->transformPoint({ 2304, 800 });
    EXPECT_NEAR(origin.x, 8, 1e-9);
    EXPECT_NEAR(far.x, 192, 1e-9);
    EXPECT_NEAR(origin.y, (120 - s * 800) / 2, 1e-9) << "centred up and down";
    EXPECT_NEAR(far.y - origin.y, s * 800, 1e-9);

    EXPECT_FALSE(FSPresentationScreenViewTransform({}, { { 0, 0 }, { 200, 120 } })) << "no screens";
    EXPECT_FALSE(FSPresentationScreenViewTransform({ { { 0, 0 }, { 0, 0 } } }, { { 0, 0 }, { 200, 120 } }))
        << "a screen without area";
    EXPECT_FALSE(FSPresentationScreenViewTransform({ { { 0, 0 }, { 1280, 800 } } }, { { 0, 0 }, { 10, 10 } }))
        << "a view too small for the margins";
}

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install({ screen(1, 0, 1280, 800), screen(7, 1280, 1024, 768) });
        window = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 200, 120 } }, HXBorderlessWindowMask);
        picker = std::make_shared<FSPresentationScreenView>(HXRect { { 0, 0 }, { 200, 120 } });
        window->contentView()->addSubview(picker);
        target = std::make_shared<HXObject>();
        target->setActionHandler(HXSelector("picked:"), [this](HXObject*) { actions.push_back("picked"); });
        target->setActionHandler(HXSelector("confirmed:"), [this](HXObject*) { actions.push_back("confirmed"); });
        picker->setTarget(target);
        picker->setAction(HXSelector("picked:"));
        picker->setDoubleAction(HXSelector("confirmed:"));
    }
    void TearDown() override
    {
        picker.reset();
        window.reset();
        HXApplication::setSharedApplication(nullptr);
    }
    // The view point of a screen point.
    HXPoint at(HXPoint screenPoint) { return picker->affineTransform()->transformPoint(screenPoint); }
    void click(HXPoint viewPoint, int clicks = 1)
    {
        picker->mouseDown(HXEvent::mouseEvent(HXLeftMouseDown, viewPoint, 0, 0, window->windowNumber(), 0, clicks));
        picker->mouseUp(HXEvent::mouseEvent(HXLeftMouseUp, viewPoint, 0, 0, window->windowNumber(), 0, clicks));
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<FSPresentationScreenView> picker;
    std::shared_ptr<HXObject> target;
    std::vector<std::string> actions;
};

TEST_F(PickerTest, ClicksChooseDisplays)
{
    picker->updateScreens();
    ASSERT_EQ(picker->screens().size(), 2u);
    EXPECT_EQ(picker->selectedScreen()->screenNumber(), 1u) << "the first screen until one is chosen";
    picker->screenAtPoint({ 0, 0 });
    ASSERT_TRUE(picker->affineTransform());

    EXPECT_EQ(picker->screenAtPoint(at({ 1500, 300 }))->screenNumber(), 7u);
    EXPECT_EQ(picker->screenAtPoint(at({ 10, 10 }))->screenNumber(), 1u);
    EXPECT_FALSE(picker->screenAtPoint(at({ 2000, 790 }))) << "above the shorter screen";

    click(at({ 1500, 300 }));
    EXPECT_EQ(picker->selectedScreen()->screenNumber(), 7u);
    click(at({ 2000, 790 }));
    EXPECT_EQ(picker->selectedScreen()->screenNumber(), 7u) << "a release between screens keeps the choice";
    click(at({ 10, 10 }), 2);
    EXPECT_EQ(picker->selectedScreen()->screenNumber(), 1u);
    EXPECT_EQ(actions, (std::vector<std::string> { "picked", "confirmed" }));
    EXPECT_FALSE(picker->highlightedScreen());
}

TEST_F(PickerTest, ScreensThatGoAwayMoveTheSelection)
{
    picker->updateScreens();
    picker->setSelectedScreen(screen(7, 1280, 1024, 768));
    server->setScreens({ screen(1, 0, 1280, 800) });
    picker->updateScreens();
    ASSERT_TRUE(picker->selectedScreen());
    EXPECT_EQ(picker->selectedScreen()->screenNumber(), 1u);

    picker->setScreens({});
    picker->setSelectedScreen(std::nullopt);
    EXPECT_FALSE(picker->screenAtPoint({ 100, 60 }));
    // Nothing to draw but the empty background.
    EXPECT_EQ(window->renderedPixelRGBA(100, 60), 0xFFFFFFFFu);
}

} // namespace
