#include "core/preferences.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/screen.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using movara::test::TempDir;
using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

HXPropertyList format(const char* identifier, const char* name = "mvpFormat")
{
    Dict entry { { "Name", HXPropertyList(name) } };
    if (identifier)
        entry["Identifier"] = HXPropertyList(identifier);
    return HXPropertyList(entry);
}

HXPropertyList separator()
{
    return HXPropertyList(Dict { { "Name", HXPropertyList("-") } });
}

const HXData kBlack { std::string("black") };

// One preferences model over a store of its own, with a notification centre that records what is posted.
struct Fixture {
    TempDir dir;
    HXUserDefaults defaults { dir.path().string(), "com.example.prefs-test" };
    HXNotificationCenter center;
    std::vector<std::string> changedKeys;
    std::map<std::string, std::string> resources; // "name.type" -> path
    bool overrideMediaKey = false;
    std::vector<std::string> overridingValues;
    std::optional<int64_t> screenNumber = 7;
    std::vector<std::string> requestedResources;

    Fixture()
    {
        center.addObserver(kPreferenceChangedNotification, nullptr, [this](const HXNotification& n) {
            auto it = n.userInfo().find(kPreferenceChangedUserInfo);
            changedKeys.push_back(it == n.userInfo().end() ? "<no user info>" : it->second.stringValue());
        });
    }

    void writeList(const std::string& machineClass, const Array& list)
    {
        std::string path = (dir / ("captureSettings" + machineClass + ".plist")).string();
        ASSERT_TRUE(HXPropertyList(list).writeToFile(path));
        resources["captureSettings" + machineClass + ".plist"] = path;
    }

    MVPPreferences::Environment environment()
    {
        MVPPreferences::Environment env;
        env.userDefaults = &defaults;
        env.notificationCenter = &center;
        env.pathForResource = [this](const std::string& name, const std::string& type) {
            requestedResources.push_back(name + "." + type);
            auto it = resources.find(name + "." + type);
            return it == resources.end() ? std::string() : it->second;
        };
        env.blackColorData = [] { return kBlack; };
        env.firstScreenNumber = [this] { return screenNumber; };
        env.mediaKeyBool = [this](const std::string& type, bool defaultValue) {
            return type == "MVPlayerOverrideCaptureFormat" ? overrideMediaKey : defaultValue;
        };
        env.mediaKeys = [this](const std::string& type) {
            return type == "MVPlayerOverridingCaptureFormatIdentifier" ? overridingValues
                                                                       : std::vector<std::string>();
        };
        return env;
    }

    std::unique_ptr<MVPPreferences> make()
    {
        auto preferences = std::make_unique<MVPPreferences>(environment());
        preferences->postDeferredNotifications();
        return preferences;
    }
};

TEST(Preferences, FirstLaunchStoresEveryDefault)
{
    struct Row {
        const char* key;
        HXPropertyList value;
    };
    const Row rows[] = {
        { "GeneralPreferenceOpenMoviesInNewPlayers", true },
        { "GeneralPreferenceAutoPlayMoviesWhenOpened", false },
        { "GeneralPreferencePlaySoundInFrontPlayerOnly", true },
        { "GeneralPreferencePlaySoundWhenAppInBackground", true },
        { "GeneralPreferenceShowEqualizer", true },
        { "GeneralPreferenceShowReelspotMovieAutomatically", true },
        { "GeneralPreferencePauseMoviesWhenLoggedOut", true },
        { "GeneralPreferenceNumberOfRecentItems", 10 },
        { "GeneralPreferenceHighQualityVideo", false },
        { "GeneralPreferenceShowClosedCaptioning", false },
        { "GeneralPreferenceShowSubtitles", false },
        { "GeneralPreferenceHideSelectionIndicators", false },
        { "GeneralPreferenceShowTimeCode", false },
        { "GeneralPreferenceEnableProAppsColorCompatibilityMode", false },
        { "GeneralPreferenceShowTimeCodeAbsoluteFrameNumbers", false },
        { "FullscreenPreferenceWidescreenSize", 16 },
        { "FullscreenPreferenceStandardSize", 16 },
        { "FullscreenPreferenceSize", 16 },
        { "FullscreenPreferenceSlideShowMode", false },
        { "FullscreenPreferenceBackgroundColorData", kBlack },
        { "FullscreenPreferenceCaptureAllDisplays", false },
        { "FullscreenPreferenceScreenNumber", 7 },
        { "FullscreenPreferenceEnableHUD", true },
        { "FullscreenPreferenceHUDFadeOutTime", 2 },
        { "kFullscreenPreferenceRemainInFullScreenWhenInactive", false },
        { "CapturePreferenceDefaultSaveToLocation", "~/Desktop/" },
        { "CapturePreferenceFormatIdentifier", "MVPCapturePresetIdentifierBest" },
    };
    Fixture f;
    auto preferences = f.make();
    for (const Row& row : rows) {
        EXPECT_EQ(preferences->preference(row.key), row.value) << row.key;
        EXPECT_EQ(f.defaults.objectForKey(row.key), row.value) << row.key;
    }
    const char* absent[]
        = { "CapturePreferenceDefaultMovieVideoDevice", "CapturePreferenceDefaultMovieAudioDevice",
              "CapturePreferenceFormatIndex", "ZantrelScriptPreferenceIgnoreAutoPlay",
              "ZantrelScriptPreferenceIgnoreAutoPresent", "GeneralPreferenceNumberOfFavoriteItems",
              "FullscreenPreferenceAutoPresent", "FullscreenPreferenceSettings" };
    for (const char* key : absent)
        EXPECT_TRUE(preferences->preference(key).isNull()) << key;
    EXPECT_EQ(f.defaults.dictionaryRepresentation().size(), std::size(rows));
    EXPECT_EQ(f.changedKeys, std::vector<std::string> { "GeneralPreferenceHideSelectionIndicators" });
}

TEST(Preferences, StoredValuesAreLeftAloneWhateverTheyAre)
{
    Fixture f;
    f.defaults.setObject(false, kGeneralPreferenceOpenMoviesInNewPlayers);
    f.defaults.setObject(0, kGeneralPreferenceNumberOfRecentItems);
    f.defaults.setObject("odd", kFullscreenPreferenceSize);
    f.defaults.setObject(true, kGeneralHideSelectionIndicators);
    auto preferences = f.make();
    EXPECT_EQ(preferences->preference(kGeneralPreferenceOpenMoviesInNewPlayers), HXPropertyList(false));
    EXPECT_EQ(preferences->preference(kGeneralPreferenceNumberOfRecentItems), HXPropertyList(0));
    EXPECT_EQ(preferences->preference(kFullscreenPreferenceSize), HXPropertyList("odd"));
    EXPECT_TRUE(f.changedKeys.empty()) << "a stored key is not written again, so nothing is announced";
}

TEST(Preferences, NoScreenLeavesTheScreenNumberUnset)
{
    Fixture f;
    f.screenNumber.reset();
    auto preferences = f.make();
    EXPECT_TRUE(preferences->preference(kFullscreenPreferenceScreenNumber).isNull());
}

TEST(Preferences, SetPreferenceNotifiesWithTheKey)
{
    Fixture f;
    auto preferences = f.make();
    f.changedKeys.clear();
    const void* sender = nullptr;
    f.center.addObserver(
        kPreferenceChangedNotification, nullptr, [&](const HXNotification& n) { sender = n.object(); });

    preferences->setPreference(true, kGeneralPreferenceShowTimeCode, true);
    EXPECT_EQ(f.defaults.objectForKey(kGeneralPreferenceShowTimeCode), HXPropertyList(true));
    EXPECT_EQ(f.changedKeys, std::vector<std::string> { kGeneralPreferenceShowTimeCode });
    EXPECT_EQ(sender, preferences.get());

    preferences->setPreference(5, kGeneralPreferenceNumberOfRecentItems, false);
    EXPECT_EQ(preferences->preference(kGeneralPreferenceNumberOfRecentItems), HXPropertyList(5));
    EXPECT_EQ(f.changedKeys.size(), 1u) << "no notification without notify";

    // Storing nothing removes the key instead of failing.
    preferences->setPreference(HXPropertyList(), kGeneralPreferenceShowTimeCode, true);
    EXPECT_TRUE(f.defaults.objectForKey(kGeneralPreferenceShowTimeCode).isNull());
    EXPECT_EQ(f.changedKeys.size(), 2u);
}

TEST(Preferences, MachineClassAndItsOverrideNameTheResource)
{
    struct Case {
        bool overrideFlag;
        std::vector<std::string> values;
        const char* machineClass;
    };
    const Case cases[] = {
        { false, {}, "Core2" },
        { false, { "G5" }, "Core2" },
        { true, { "G4Low", "G5" }, "G5" },
        { true, {}, "Core2" },
    };
    for (const Case& c : cases) {
        Fixture f;
        f.overrideMediaKey = c.overrideFlag;
        f.overridingValues = c.values;
        auto preferences = f.make();
        EXPECT_EQ(preferences->machineClass(), c.machineClass);
        ASSERT_FALSE(f.requestedResources.empty());
        EXPECT_EQ(f.requestedResources.back(), std::string("captureSettings") + c.machineClass + ".plist");
    }
}

TEST(Preferences, LegacyFormatIndexMigration)
{
    const Array list { format("MVPCapturePresetIdentifierBest"), format("High"), separator(), format("Low"),
        format("MVPCapturePresetIdentifierDeviceNative") };
    struct Case {
        const char* name;
        std::optional<HXPropertyList> identifier;
        std::optional<HXPropertyList> legacy;
        const char* expected;
    };
    const Case cases[] = {
        { "nothing stored", std::nullopt, std::nullopt, "MVPCapturePresetIdentifierBest" },
        { "index 3 is device native", std::nullopt, 3, "MVPCapturePresetIdentifierDeviceNative" },
        { "index 1 is best", std::nullopt, 1, "MVPCapturePresetIdentifierBest" },
        { "index 0 in range", std::nullopt, 0, "MVPCapturePresetIdentifierBest" },
        { "index 4 in range", std::nullopt, 4, "MVPCapturePresetIdentifierDeviceNative" },
        { "separator", std::nullopt, 2, "MVPCapturePresetIdentifierBest" },
        { "negative", std::nullopt, -1, "MVPCapturePresetIdentifierBest" },
        { "out of range", std::nullopt, 5, "MVPCapturePresetIdentifierBest" },
        { "identifier wins over a leftover index", HXPropertyList("Low"), 0, "Low" },
    };
    for (const Case& c : cases) {
        Fixture f;
        f.writeList("Core2", list);
        if (c.identifier)
            f.defaults.setObject(*c.identifier, kCapturePreferenceFormatIdentifier);
        if (c.legacy)
            f.defaults.setObject(*c.legacy, kCapturePreferenceLegacyFormatIndex);
        auto preferences = f.make();
        EXPECT_EQ(preferences->preference(kCapturePreferenceFormatIdentifier).stringValue(), c.expected)
            << c.name;
        EXPECT_TRUE(preferences->preference(kCapturePreferenceLegacyFormatIndex).isNull()) << c.name;
        EXPECT_EQ(f.changedKeys, std::vector<std::string> { kGeneralHideSelectionIndicators }) << c.name;
    }
}

TEST(Preferences, LegacyIndexPointingAtAnEntryOfTheList)
{
    Fixture f;
    f.writeList("Core2", { format("MVPCapturePresetIdentifierBest"), format("High"), format("Medium") });
    f.defaults.setObject(2, kCapturePreferenceLegacyFormatIndex);
    auto preferences = f.make();
    EXPECT_EQ(preferences->preference(kCapturePreferenceFormatIdentifier), HXPropertyList("Medium"));
}

TEST(Preferences, CaptureFormatValidation)
{
    struct Case {
        const char* name;
        std::optional<Array> list;
        const char* stored;
        const char* expected;
    };
    const Array full { format("High"), format("MVPCapturePresetIdentifierDeviceNative"),
        format("MVPCapturePresetIdentifierBest"), format("Low") };
    const Case cases[] = {
        { "a listed identifier stays", full, "Low", "Low" },
        { "unknown falls back to best", full, "Gone", "MVPCapturePresetIdentifierBest" },
        { "without best, the last other format",
            Array { format("High"), format("Low"), format("MVPCapturePresetIdentifierDeviceNative") }, "Gone",
            "Low" },
        { "a separator clears the other slot",
            Array { format("High"), format("MVPCapturePresetIdentifierDeviceNative"), separator() }, "Gone",
            "MVPCapturePresetIdentifierDeviceNative" },
        { "a later format fills the slot again",
            Array { separator(), format("High"), format("MVPCapturePresetIdentifierDeviceNative") }, "Gone",
            "High" },
        { "only separators change nothing", Array { separator() }, "Gone", "Gone" },
        { "empty list changes nothing", Array {}, "Gone", "Gone" },
        { "missing list changes nothing", std::nullopt, "Gone", "Gone" },
    };
    for (const Case& c : cases) {
        Fixture f;
        if (c.list)
            f.writeList("Core2", *c.list);
        f.defaults.setObject(c.stored, kCapturePreferenceFormatIdentifier);
        auto preferences = f.make();
        EXPECT_EQ(preferences->preference(kCapturePreferenceFormatIdentifier).stringValue(), c.expected)
            << c.name;
    }
}

TEST(Preferences, ValidationRunsAgainOnRequest)
{
    Fixture f;
    f.writeList("Core2", { format("MVPCapturePresetIdentifierBest"), format("High") });
    auto preferences = f.make();
    preferences->setPreference("Removed", kCapturePreferenceFormatIdentifier, false);
    preferences->makeCaptureFormatPreferenceValid();
    EXPECT_EQ(preferences->preference(kCapturePreferenceFormatIdentifier),
        HXPropertyList(MVPCapturePresetIdentifierBest));
}

TEST(Preferences, CaptureFormatWithIdentifier)
{
    Fixture f;
    f.writeList("Core2", { separator(), format("High", "first"), format("High", "second") });
    auto preferences = f.make();
    EXPECT_EQ(preferences->captureFormatWithIdentifier("High")["Name"], HXPropertyList("first"));
    EXPECT_TRUE(preferences->captureFormatWithIdentifier("Nope").isNull());
    EXPECT_TRUE(preferences->captureFormatWithIdentifier("").isNull());
}

TEST(Preferences, DamagedCaptureSettingsResourceIsNoList)
{
    Fixture f;
    std::string path = (f.dir / "captureSettingsCore2.plist").string();
    movara::test::writeFile(path, "<?xml version=\"1.0\"?><plist><array><dict><key>Ident");
    f.resources["captureSettingsCore2.plist"] = path;
    auto preferences = f.make();
    EXPECT_TRUE(preferences->captureFormatList().isNull());
    EXPECT_EQ(preferences->preference(kCapturePreferenceFormatIdentifier),
        HXPropertyList(MVPCapturePresetIdentifierBest));

    Fixture g;
    std::string dictPath = (g.dir / "captureSettingsCore2.plist").string();
    ASSERT_TRUE(HXPropertyList(Dict { { "Identifier", HXPropertyList("x") } }).writeToFile(dictPath));
    g.resources["captureSettingsCore2.plist"] = dictPath;
    EXPECT_TRUE(g.make()->captureFormatList().isNull()) << "a root that is no array";
}

TEST(Preferences, DeviceFixUp)
{
    const HXPropertyList withUID(
        Dict { { "DUID", HXPropertyList("usb-1") }, { "DisplayName", HXPropertyList("Cam") } });
    const HXPropertyList withoutUID(Dict { { "DisplayName", HXPropertyList("Cam") } });
    const HXPropertyList completed(
        Dict { { "DUID", HXPropertyList("usb-2") }, { "DisplayName", HXPropertyList("Cam") } });

    // Without a device list: a description with "DUID" stays as it is, any other goes.
    {
        Fixture f;
        auto preferences = f.make();
        f.changedKeys.clear();
        preferences->setPreference(withUID, kCapturePreferenceDefaultMovieVideoDevice, false);
        EXPECT_EQ(
            preferences->fixedDevicePreferenceForKey(kCapturePreferenceDefaultMovieVideoDevice), withUID);
        EXPECT_EQ(preferences->preference(kCapturePreferenceDefaultMovieVideoDevice), withUID);
        preferences->setPreference(withoutUID, kCapturePreferenceDefaultMovieAudioDevice, false);
        EXPECT_TRUE(
            preferences->fixedDevicePreferenceForKey(kCapturePreferenceDefaultMovieAudioDevice).isNull());
        EXPECT_TRUE(preferences->preference(kCapturePreferenceDefaultMovieAudioDevice).isNull());
        EXPECT_TRUE(f.changedKeys.empty());
    }
    // With the device list's answer: stored without notification, or removed.
    {
        Fixture f;
        auto preferences = f.make();
        f.changedKeys.clear();
        std::vector<std::pair<HXPropertyList, std::string>> asked;
        preferences->setFixedDeviceDescription(
            [&](const HXPropertyList& description, const std::string& key) {
                asked.emplace_back(description, key);
                return description == withoutUID ? completed : HXPropertyList();
            });
        preferences->setPreference(withoutUID, kCapturePreferenceDefaultMovieAudioDevice, false);
        EXPECT_EQ(
            preferences->fixedDevicePreferenceForKey(kCapturePreferenceDefaultMovieAudioDevice), completed);
        EXPECT_EQ(preferences->preference(kCapturePreferenceDefaultMovieAudioDevice), completed);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].first, withoutUID);
        EXPECT_EQ(asked[0].second, kCapturePreferenceDefaultMovieAudioDevice);

        EXPECT_TRUE(
            preferences->fixedDevicePreferenceForKey(kCapturePreferenceDefaultMovieAudioDevice).isNull());
        EXPECT_TRUE(preferences->preference(kCapturePreferenceDefaultMovieAudioDevice).isNull());
        EXPECT_TRUE(f.changedKeys.empty());
    }
}

TEST(Preferences, DeviceChangesRefreshOnlyTheShownCapturePane)
{
    Fixture f;
    auto preferences = f.make();
    int refreshed = 0;
    preferences->setDevicePopUpsRefresher([&] { ++refreshed; });
    f.center.postNotificationName(MVPPreferencesCaptureDeviceListDidChangeNotification);
    EXPECT_EQ(refreshed, 0);
    preferences->setCapturePaneShown(true);
    f.center.postNotificationName(MVPPreferencesCaptureDeviceListDidChangeNotification, &refreshed);
    EXPECT_EQ(refreshed, 1);
    preferences.reset();
    f.center.postNotificationName(MVPPreferencesCaptureDeviceListDidChangeNotification);
    EXPECT_EQ(refreshed, 1) << "a freed model observes nothing";
}

// The shared instance announces its first-launch default only once it is published, so an observer
// that asks for it gets the same instance instead of re-entering its creation.
TEST(Preferences, SharedInstanceObserverMayAskForIt)
{
    int posts = 0;
    MVPPreferences* seen = nullptr;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        kPreferenceChangedNotification, nullptr, [&](const HXNotification& n) {
            ++posts;
            seen = &MVPPreferences::preferences();
            EXPECT_EQ(n.object(), seen);
        });
    MVPPreferences& shared = MVPPreferences::preferences();
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(&shared, &MVPPreferences::preferences());
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(seen, &shared);
    EXPECT_EQ(shared.machineClass(), "Core2");
    EXPECT_EQ(shared.preference(kGeneralPreferenceNumberOfRecentItems), HXPropertyList(10));
    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty()) << "the headless backend has a main screen";
    EXPECT_EQ(shared.preference(kFullscreenPreferenceScreenNumber),
        HXPropertyList(int64_t(screens.front().screenNumber())));
    EXPECT_TRUE(shared.preference(kFullscreenPreferenceBackgroundColorData).isData());
}

} // namespace
