// Where a presentation's settings come from when they are not set (the preferences, kept for the rest of
// the presentation), and what storing a mode does to the movie view.
#include "fullscreen/presentation_window_controller.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/image.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

namespace {

const std::vector<HXScreen> kScreens
    = { HXScreen(1, { { 0, 0 }, { 1440, 900 } }, { { 0, 0 }, { 1440, 876 } }),
          HXScreen(9, { { 1440, 0 }, { 1024, 768 } }, { { 1440, 0 }, { 1024, 768 } }) };

class SettingsLookupTest : public ::testing::Test {
protected:
    void SetUp() override { HXHeadlessWindowServer::install(kScreens); }
    void TearDown() override
    {
        for (const char* key : { "FullscreenPreferenceSize", "FullscreenPreferenceSlideShowMode",
                 "FullscreenPreferenceScreenNumber", "FullscreenPreferenceBackgroundColorData",
                 "FullscreenPreferenceHUDFadeOutTime", "FullscreenPreferenceCustom" })
            defaults().removeObjectForKey(key);
        HXApplication::setSharedApplication(nullptr);
    }
    static HXUserDefaults& defaults() { return HXUserDefaults::standardUserDefaults(); }
};

TEST_F(SettingsLookupTest, PreferencesFillWhatIsNotSetAndAreKept)
{
    defaults().setObject(HXPropertyList(int64_t(17)), "FullscreenPreferenceSize");
    defaults().setObject(HXPropertyList(true), "FullscreenPreferenceSlideShowMode");
    defaults().setObject(HXPropertyList(int64_t(5)), "FullscreenPreferenceHUDFadeOutTime");
    defaults().setObject(HXPropertyList("value"), "FullscreenPreferenceCustom");
    FSPresentationWindowController controller;

    EXPECT_TRUE(controller.presentationSettingForKey(FullscreenPreferenceSize).isNull())
        << "the size has no fallback although the preference exists";
    EXPECT_EQ(controller.presentationMode(), 0);

    EXPECT_EQ(controller.presentationSettingForKey(FullscreenPreferenceSlideShowMode), HXPropertyList(true));
    EXPECT_EQ(controller.presentationSettings().slideShowMode, true) << "kept";
    EXPECT_EQ(controller.presentationSettingForKey(FullscreenPreferenceHUDFadeOutTime).integerValue(), 5);
    EXPECT_EQ(controller.presentationSettingForKey("FullscreenPreferenceCustom").stringValue(), "value");
    defaults().setObject(HXPropertyList(false), "FullscreenPreferenceSlideShowMode");
    EXPECT_EQ(controller.presentationSettingForKey(FullscreenPreferenceSlideShowMode), HXPropertyList(true))
        << "the kept value holds for the presentation";

    // No default is registered for changing the resolution (other keys may have one once the
    // preferences were made in this process).
    EXPECT_TRUE(controller.presentationSettingForKey(FSPresentationChangeResolution).isNull());
    EXPECT_FALSE(controller.presentationSettings().changeResolution) << "nothing found, nothing kept";

    controller.setPresentationSettingsToDefaults();
    EXPECT_EQ(controller.presentationSettingForKey(FullscreenPreferenceSlideShowMode), HXPropertyList(false));
}

TEST_F(SettingsLookupTest, TheScreenComesFromItsNumberElseTheMainScreen)
{
    struct Case {
        const char* name;
        HXPropertyList preference;
        uint32_t expected;
    };
    const Case cases[] = {
        { "the stored number", HXPropertyList(int64_t(9)), 9 },
        { "a number no screen has", HXPropertyList(int64_t(4)), 1 },
        { "no number", HXPropertyList(), 1 },
        { "not a number", HXPropertyList("9"), 1 },
    };
    for (const auto& c : cases) {
        defaults().setObject(c.preference, "FullscreenPreferenceScreenNumber");
        FSPresentationWindowController controller;
        EXPECT_EQ(
            controller.presentationSettingForKey(FSPresentationScreenSetting).integerValue(), c.expected)
            << c.name;
        ASSERT_TRUE(controller.presentationSettings().screen) << c.name;
        EXPECT_EQ(controller.displaySize(), kScreens[c.expected == 9 ? 1 : 0].frame().size) << c.name;
    }
}

TEST_F(SettingsLookupTest, TheColourComesFromItsArchivedPreference)
{
    struct Case {
        const char* name;
        HXPropertyList preference;
        std::optional<HXColor> expected;
    };
    const HXColor blue = HXColor::colorWithCalibratedRed(0, 0, 0.5);
    const Case cases[] = {
        { "archived colour", HXPropertyList(blue.archivedData()), blue },
        { "damaged data", HXPropertyList(HXData("HXCo\x01")), std::nullopt },
        { "no preference", HXPropertyList(), std::nullopt },
    };
    for (const auto& c : cases) {
        defaults().setObject(c.preference, "FullscreenPreferenceBackgroundColorData");
        FSPresentationWindowController controller;
        EXPECT_EQ(controller.presentationColorSetting(), c.expected) << c.name;
        EXPECT_EQ(controller.presentationSettingForKey(FSPresentationColorSetting).isNull(), !c.expected)
            << c.name;
    }
}

TEST_F(SettingsLookupTest, StoringAModeSwapsThePanoramicFilterInAndOut)
{
    FSPresentationWindowController controller;
    auto view = std::make_shared<MVMovieView>(HXRect { { 0, 0 }, { 320, 240 } });
    controller.setMovieView(view);
    controller.setAnimates(false);
    std::vector<uint16_t> told;
    controller.presentationModeDidChange = [&](uint16_t mode) { told.push_back(mode); };

    controller.panoramicStretchToScreen();
    EXPECT_EQ(controller.presentationMode(), 19);
    EXPECT_TRUE(controller.doesPanoramicStretch());
    ASSERT_TRUE(view->willDisplayImage);
    auto rep = HXBitmapImageRep::initWithSize(8, 4);
    auto picture = HXImage::initWithBitmapImageRep(rep);
    auto shown = view->willDisplayImage(*view, picture);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->size(), picture->size());
    EXPECT_EQ(view->willDisplayImage(*view, nullptr), nullptr);

    controller.fitToScreen();
    EXPECT_EQ(controller.presentationMode(), 3) << "fit to screen is stored as such";
    EXPECT_FALSE(controller.doesPanoramicStretch());
    EXPECT_FALSE(view->willDisplayImage);
    controller.setScale(2, 2, false);
    EXPECT_EQ(controller.presentationMode(), 1);
    EXPECT_EQ(told, (std::vector<uint16_t> { 19, 3, 1 }));
}

} // namespace
