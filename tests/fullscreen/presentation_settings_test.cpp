// The presentation settings record: merging, access by key, and its stored form (the dictionary the
// settings sheet, scripting and the preferences pass around), including what a damaged one gives.
#include "document/presentation_settings.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

namespace {

const std::vector<HXScreen> kScreens
    = { HXScreen(1, { { 0, 0 }, { 1440, 900 } }, { { 0, 0 }, { 1440, 876 } }),
          HXScreen(9, { { 1440, 0 }, { 1024, 768 } }, { { 1440, 0 }, { 1024, 768 } }) };

class PresentationSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { HXHeadlessWindowServer::install(kScreens); }
    void TearDown() override { HXApplication::setSharedApplication(nullptr); }
};

TEST_F(PresentationSettingsTest, MergeReplacesOnlyWhatTheOtherHas)
{
    FSPresentationSettings base;
    base.size = FSPresentationModeCrop;
    base.enableHUD = true;
    base.others["FullscreenPreferenceCustom"] = HXPropertyList("kept");
    base.others["Replaced"] = HXPropertyList(int64_t(1));
    FSPresentationSettings other;
    other.hudFadeOutTime = 7;
    other.color = HXColor::redColor();
    other.others["Replaced"] = HXPropertyList(int64_t(2));
    base.merge(other);
    EXPECT_EQ(base.size, FSPresentationModeCrop);
    EXPECT_EQ(base.enableHUD, true);
    EXPECT_EQ(base.hudFadeOutTime, 7);
    EXPECT_EQ(base.color, HXColor::redColor());
    EXPECT_EQ(base.others["FullscreenPreferenceCustom"].stringValue(), "kept");
    EXPECT_EQ(base.others["Replaced"].integerValue(), 2);
    EXPECT_FALSE(base.empty());
    EXPECT_TRUE(FSPresentationSettings {}.empty());
}

TEST_F(PresentationSettingsTest, ValuesByKey)
{
    struct Case {
        const char* key;
        HXPropertyList value;
        HXPropertyList readBack;
    };
    const Case cases[] = {
        { FullscreenPreferenceSize, HXPropertyList(int64_t(19)), HXPropertyList(int64_t(19)) },
        { FullscreenPreferenceHUDFadeOutTime, HXPropertyList(int64_t(4)), HXPropertyList(int64_t(4)) },
        { FullscreenPreferenceSlideShowMode, HXPropertyList(true), HXPropertyList(true) },
        { FullscreenPreferenceAutoPresent, HXPropertyList(false), HXPropertyList(false) },
        { FullscreenPreferenceCaptureAllDisplays, HXPropertyList(int64_t(1)), HXPropertyList(true) },
        { FSPresentationChangeResolution, HXPropertyList(true), HXPropertyList(true) },
        { FullscreenPreferenceEnableHUD, HXPropertyList(false), HXPropertyList(false) },
        { "FullscreenPreferenceSomethingElse", HXPropertyList("x"), HXPropertyList("x") },
        // The colour and the screen take their stored forms but read back through their typed members.
        { FSPresentationColorSetting, HXPropertyList(HXColor::whiteColor().archivedData()),
            HXPropertyList() },
        { FSPresentationScreenSetting, HXPropertyList(int64_t(9)), HXPropertyList() },
    };
    for (const auto& c : cases) {
        FSPresentationSettings settings;
        settings.setValueForKey(c.value, c.key);
        EXPECT_EQ(settings.valueForKey(c.key), c.readBack) << c.key;
        EXPECT_FALSE(settings.empty()) << c.key;
        settings.setValueForKey(HXPropertyList(), c.key);
        EXPECT_TRUE(settings.empty()) << c.key << ": Null clears";
    }
    FSPresentationSettings settings;
    settings.setValueForKey(HXPropertyList(HXColor::whiteColor().archivedData()), FSPresentationColorSetting);
    settings.setValueForKey(HXPropertyList(int64_t(9)), FSPresentationScreenSetting);
    EXPECT_EQ(settings.color, HXColor::whiteColor());
    ASSERT_TRUE(settings.screen);
    EXPECT_EQ(settings.screen->frame().size.width, 1024);
}

TEST_F(PresentationSettingsTest, StoredFormRoundTripsThroughXML)
{
    FSPresentationSettings settings;
    settings.size = FSPresentationModePanoramic;
    settings.slideShowMode = true;
    settings.autoPresent = false;
    settings.captureAllDisplays = true;
    settings.changeResolution = false;
    settings.enableHUD = true;
    settings.hudFadeOutTime = 3;
    settings.color = HXColor::colorWithCalibratedRed(0.25, 0.5, 0.75);
    settings.screen = kScreens[1];
    settings.others["FullscreenPreferenceExtra"] = HXPropertyList("value");

    HXPropertyList stored = settings.propertyList();
    EXPECT_EQ(stored[FSPresentationScreenSetting].integerValue(), 9);
    EXPECT_TRUE(stored[FSPresentationColorSetting].isData());
    EXPECT_EQ(stored[FullscreenPreferenceSize].integerValue(), 19);
    auto parsed = HXPropertyList::fromXML(stored.toXML());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(FSPresentationSettings::settingsWithPropertyList(*parsed), settings);

    EXPECT_EQ(FSPresentationSettings {}.propertyList().count(), 0u) << "unset settings are not stored";
}

TEST_F(PresentationSettingsTest, DamagedStoredFormsKeepWhatIsUsable)
{
    struct Case {
        const char* name;
        HXPropertyList plist;
        FSPresentationSettings expected;
    };
    FSPresentationSettings sizeOnly;
    sizeOnly.size = 2;
    FSPresentationSettings slideShowOnly;
    slideShowOnly.slideShowMode = true;
    const Case cases[] = {
        { "not a dictionary", HXPropertyList("garbage"), {} },
        { "an array", HXPropertyList(HXPropertyList::Array { HXPropertyList(int64_t(1)) }), {} },
        { "colour data that does not unarchive",
            HXPropertyList(
                HXPropertyList::Dictionary { { FSPresentationColorSetting, HXPropertyList(HXData("HXCo")) },
                    { FullscreenPreferenceSize, HXPropertyList(int64_t(2)) } }),
            sizeOnly },
        { "colour of the wrong type",
            HXPropertyList(
                HXPropertyList::Dictionary { { FSPresentationColorSetting, HXPropertyList("black") } }),
            {} },
        { "a screen that is not there",
            HXPropertyList(
                HXPropertyList::Dictionary { { FSPresentationScreenSetting, HXPropertyList(int64_t(42)) } }),
            {} },
        { "a negative screen number",
            HXPropertyList(
                HXPropertyList::Dictionary { { FSPresentationScreenSetting, HXPropertyList(int64_t(-1)) } }),
            {} },
        { "a size that is text",
            HXPropertyList(HXPropertyList::Dictionary { { FullscreenPreferenceSize, HXPropertyList("16") },
                { FullscreenPreferenceSlideShowMode, HXPropertyList(true) } }),
            slideShowOnly },
        { "a flag that is a date",
            HXPropertyList(HXPropertyList::Dictionary {
                { FullscreenPreferenceEnableHUD, HXPropertyList(HXDate { 0 }) } }),
            {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FSPresentationSettings::settingsWithPropertyList(c.plist), c.expected) << c.name;
}

} // namespace
