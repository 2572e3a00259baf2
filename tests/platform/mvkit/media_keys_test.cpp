// Media keys read from the user's configuration folder: arrays, single values, switches and bad files.
#include "platform/mvkit/media_keys.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace movara::test;

namespace {

const char* plist = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>MVPlayerSaveAsOnlyAsync</key><array><string>enable</string></array>
  <key>MVPlayerReelspot</key><array><string>disable</string><string>extra</string></array>
  <key>MVFullscreenExtras</key><false/>
  <key>MVPlayerOverridingCaptureFormatIdentifier</key><array><string>G4Low</string><string>Core2</string></array>
  <key>OfferEightChannelLayouts</key><string>maybe</string>
  <key>Count</key><integer>3</integer>
</dict></plist>)";

TEST(MediaKeys, ValuesAndSwitches)
{
    TempDir dir;
    writeFile(dir / "MediaKeys.plist", plist);
    MVMediaKeys keys((dir / "MediaKeys.plist").string());
    EXPECT_EQ(keys.mediaKeysForType("MVPlayerReelspot"), (std::vector<std::string> { "disable", "extra" }));
    EXPECT_EQ(keys.mediaKeysForType("MVPlayerOverridingCaptureFormatIdentifier").back(), "Core2");
    EXPECT_EQ(keys.mediaKeysForType("Count"), (std::vector<std::string> { "3" }));
    EXPECT_TRUE(keys.mediaKeysForType("Absent").empty());
    struct Case {
        const char* type;
        bool defaultValue;
        bool expected;
    };
    const Case cases[] = {
        { "MVPlayerSaveAsOnlyAsync", false, true },
        { "MVPlayerReelspot", true, false },
        { "MVFullscreenExtras", true, false },
        { "OfferEightChannelLayouts", true, true }, // not a switch value: the default
        { "OfferEightChannelLayouts", false, false },
        { "Absent", true, true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(keys.boolForType(c.type, c.defaultValue), c.expected) << c.type;
}

TEST(MediaKeys, MissingOrDamagedFileIsAnEmptyStore)
{
    TempDir dir;
    const std::string contents[]
        = { std::string(plist).substr(0, 120), "garbage", "<plist><array/></plist>" };
    for (const auto& text : contents) {
        writeFile(dir / "MediaKeys.plist", text);
        MVMediaKeys keys((dir / "MediaKeys.plist").string());
        EXPECT_TRUE(keys.mediaKeysForType("MVPlayerSaveAsOnlyAsync").empty());
        EXPECT_TRUE(keys.boolForType("MVPlayerSaveAsOnlyAsync", true));
    }
    MVMediaKeys missing((dir / "none.plist").string());
    EXPECT_FALSE(missing.boolForType("MVPlayerSaveAsOnlyAsync", false));
}

TEST(MediaKeys, SharedStoreLivesInTheConfigurationFolder)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    EXPECT_EQ(MVMediaKeys::defaultPath(), std::string(config) + "/movara-player/MediaKeys.plist");
    std::filesystem::create_directories(std::string(config) + "/movara-player");
    writeFile(MVMediaKeys::defaultPath(), plist);
    MVMediaKeys::mediaKeys().reload();
    EXPECT_TRUE(MVMediaKeys::mediaKeys().boolForType("MVPlayerSaveAsOnlyAsync", false));
    std::filesystem::remove(MVMediaKeys::defaultPath());
    MVMediaKeys::mediaKeys().reload();
    EXPECT_FALSE(MVMediaKeys::mediaKeys().boolForType("MVPlayerSaveAsOnlyAsync", false));
}

} // namespace
