#include "core/preferences.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/color.h"
#include "platform/winkit/screen.h"

namespace {

// The machine class when nothing says otherwise. The processor-family readings that tell older machine
// classes apart do not exist on this system.
constexpr const char* kDefaultMachineClass = "Core2";

constexpr const char* kOverrideCaptureFormatMediaKey = "MVPlayerOverrideCaptureFormat";
constexpr const char* kOverridingCaptureFormatIdentifierMediaKey
    = "MVPlayerOverridingCaptureFormatIdentifier";

HXPropertyList identifierOf(const HXPropertyList& entry)
{
    const HXPropertyList& identifier = entry["Identifier"];
    return identifier.isString() ? identifier : HXPropertyList();
}

} // namespace

MVPPreferences::Environment MVPPreferences::standardEnvironment()
{
    Environment environment;
    environment.userDefaults = &HXUserDefaults::standardUserDefaults();
    environment.notificationCenter = &HXNotificationCenter::defaultCenter();
    environment.pathForResource = [](const std::string& name, const std::string& type) {
        auto bundle = HXBundle::mainBundle();
        return bundle ? bundle->pathForResource(name, type) : std::string();
    };
    environment.blackColorData = [] { return HXColor::blackColor().archivedData(); };
    environment.firstScreenNumber = []() -> std::optional<int64_t> {
        auto screens = HXScreen::screens();
        if (screens.empty())
            return std::nullopt;
        return int64_t(screens.front().screenNumber());
    };
    environment.mediaKeyBool = [](const std::string&, bool defaultValue) { return defaultValue; };
    environment.mediaKeys = [](const std::string&) { return std::vector<std::string>(); };
    return environment;
}

MVPPreferences& MVPPreferences::preferences()
{
    static MVPPreferences* shared = new MVPPreferences(standardEnvironment());
    // Posting after the instance is published lets an observer ask for it without re-entering its
    // creation.
    shared->postDeferredNotifications();
    return *shared;
}

MVPPreferences::MVPPreferences(Environment environment)
    : _environment(std::move(environment))
    , _userDefaults(*_environment.userDefaults)
    , _notificationCenter(*_environment.notificationCenter)
{
    storeDefaults();
    _machineClass = chooseMachineClass();
    _devicesObserver
        = _notificationCenter.addObserver(this, MVPPreferencesCaptureDeviceListDidChangeNotification, nullptr,
            [this](const HXNotification& notification) { devicesDidChange(notification); });
    readCaptureFormatList();
    migrateCaptureFormat();
    makeCaptureFormatPreferenceValid();
}

MVPPreferences::~MVPPreferences()
{
    _notificationCenter.removeObserver(_devicesObserver);
}

void MVPPreferences::storeDefaults()
{
    struct Default {
        const char* key;
        std::function<std::optional<HXPropertyList>()> value;
        bool notify = false;
    };
    auto fixed
        = [](HXPropertyList value) { return [value] { return std::optional<HXPropertyList>(value); }; };
    const Default defaults[] = {
        { kGeneralPreferenceOpenMoviesInNewPlayers, fixed(true) },
        { kGeneralPreferenceAutoPlayMoviesWhenOpened, fixed(false) },
        { kGeneralPreferencePlaySoundInFrontPlayerOnly, fixed(true) },
        { kGeneralPreferencePlaySoundWhenAppInBackground, fixed(true) },
        { kGeneralPreferenceShowEqualizer, fixed(true) },
        { kGeneralPreferenceShowReelspotMovieAutomatically, fixed(true) },
        { kGeneralPreferencePauseMoviesWhenLoggedOut, fixed(true) },
        { kGeneralPreferenceNumberOfRecentItems, fixed(10) },
        { kGeneralPreferenceHighQualityVideo, fixed(false) },
        { kGeneralPreferenceShowClosedCaptioning, fixed(false) },
        { kGeneralPreferenceShowSubtitles, fixed(false) },
        { kGeneralHideSelectionIndicators, fixed(false), true },
        { kGeneralPreferenceShowTimeCode, fixed(false) },
        { kGeneralPreferenceEnableProAppsColorCompatibilityMode, fixed(false) },
        { kGeneralPreferenceShowTimeCodeAbsoluteFrameNumbers, fixed(false) },
        { kFullscreenPreferenceWidescreenSize, fixed(16) },
        { kFullscreenPreferenceStandardSize, fixed(16) },
        { kFullscreenPreferenceSize, fixed(16) },
        { kFullscreenPreferenceSlideShowMode, fixed(false) },
        { kFullscreenPreferenceBackgroundColorData,
            [this]() -> std::optional<HXPropertyList> {
                if (!_environment.blackColorData)
                    return std::nullopt;
                return HXPropertyList(_environment.blackColorData());
            } },
        { kFullscreenPreferenceCaptureAllDisplays, fixed(false) },
        { kFullscreenPreferenceScreenNumber,
            [this]() -> std::optional<HXPropertyList> {
                // Without a screen there is no number to default to; the key stays absent.
                auto number
                    = _environment.firstScreenNumber ? _environment.firstScreenNumber() : std::nullopt;
                if (!number)
                    return std::nullopt;
                return HXPropertyList(*number);
            } },
        { kFullscreenPreferenceEnableHUD, fixed(true) },
        { kFullscreenPreferenceHUDFadeOutTime, fixed(2) },
        { kFullscreenPreferenceRemainInFullScreenWhenInactive, fixed(false) },
        { kCapturePreferenceDefaultSaveToLocation, fixed("~/Desktop/") },
    };
    for (const Default& entry : defaults) {
        if (!preference(entry.key).isNull())
            continue;
        if (auto value = entry.value())
            setPreference(*value, entry.key, false);
        if (entry.notify)
            _deferredNotifications.push_back(entry.key);
    }
}

std::string MVPPreferences::chooseMachineClass() const
{
    std::string machineClass = kDefaultMachineClass;
    if (_environment.mediaKeyBool && _environment.mediaKeyBool(kOverrideCaptureFormatMediaKey, false)) {
        std::vector<std::string> values;
        if (_environment.mediaKeys)
            values = _environment.mediaKeys(kOverridingCaptureFormatIdentifierMediaKey);
        if (!values.empty())
            machineClass = values.back();
    }
    return machineClass;
}

void MVPPreferences::readCaptureFormatList()
{
    std::string path;
    if (_environment.pathForResource)
        path = _environment.pathForResource("captureSettings" + _machineClass, "plist");
    if (path.empty())
        return;
    auto list = HXPropertyList::readFromFile(path);
    // A damaged resource is as good as a missing one: every reader copes with no list.
    if (list && list->isArray())
        _captureFormatList = std::move(*list);
}

void MVPPreferences::migrateCaptureFormat()
{
    const HXPropertyList legacy = preference(kCapturePreferenceLegacyFormatIndex);
    // The user's current choice wins over a leftover index from an older version; the old key goes
    // either way.
    if (preference(kCapturePreferenceFormatIdentifier).isNull()) {
        std::string identifier = MVPCapturePresetIdentifierBest;
        if (legacy.isNumber() || legacy.isString() || legacy.isBoolean()) {
            int64_t index = legacy.integerValue();
            if (index == 3) {
                identifier = MVPCapturePresetIdentifierDeviceNative;
            } else if (index != 1 && index >= 0 && size_t(index) < _captureFormatList.count()) {
                const HXPropertyList& entry = _captureFormatList[size_t(index)];
                HXPropertyList entryIdentifier = identifierOf(entry);
                if (entry["Name"].stringValue() != "-" && !entryIdentifier.isNull())
                    identifier = entryIdentifier.stringValue();
            }
        }
        setPreference(HXPropertyList(identifier), kCapturePreferenceFormatIdentifier, false);
    }
    if (!legacy.isNull())
        _userDefaults.removeObjectForKey(kCapturePreferenceLegacyFormatIndex);
}

void MVPPreferences::makeCaptureFormatPreferenceValid()
{
    const HXPropertyList stored = preference(kCapturePreferenceFormatIdentifier);
    std::optional<std::string> best, deviceNative, other;
    for (const HXPropertyList& entry :
        _captureFormatList.isArray() ? _captureFormatList.arrayValue() : HXPropertyList::Array()) {
        HXPropertyList identifier = identifierOf(entry);
        if (!identifier.isNull() && stored.isString() && identifier.stringValue() == stored.stringValue())
            return;
        if (identifier.isNull()) {
            other.reset();
        } else if (identifier.stringValue() == MVPCapturePresetIdentifierBest) {
            best = identifier.stringValue();
        } else if (identifier.stringValue() == MVPCapturePresetIdentifierDeviceNative) {
            deviceNative = identifier.stringValue();
        } else {
            other = identifier.stringValue();
        }
    }
    std::optional<std::string> replacement = best ? best : other ? other : deviceNative;
    if (replacement)
        setPreference(HXPropertyList(*replacement), kCapturePreferenceFormatIdentifier, false);
}

HXPropertyList MVPPreferences::captureFormatWithIdentifier(const std::string& identifier) const
{
    if (!_captureFormatList.isArray())
        return {};
    for (const HXPropertyList& entry : _captureFormatList.arrayValue()) {
        HXPropertyList entryIdentifier = identifierOf(entry);
        if (!entryIdentifier.isNull() && entryIdentifier.stringValue() == identifier)
            return entry;
    }
    return {};
}

HXPropertyList MVPPreferences::preference(const std::string& key) const
{
    return _userDefaults.objectForKey(key);
}

void MVPPreferences::setPreference(const HXPropertyList& value, const std::string& key, bool notify)
{
    if (value.isNull())
        _userDefaults.removeObjectForKey(key);
    else
        _userDefaults.setObject(value, key);
    if (notify)
        postChange(key);
}

void MVPPreferences::postChange(const std::string& key)
{
    _notificationCenter.postNotificationName(
        kPreferenceChangedNotification, this, { { kPreferenceChangedUserInfo, HXPropertyList(key) } });
}

void MVPPreferences::postDeferredNotifications()
{
    std::vector<std::string> keys;
    keys.swap(_deferredNotifications);
    for (const std::string& key : keys)
        postChange(key);
}

void MVPPreferences::setFixedDeviceDescription(
    std::function<HXPropertyList(const HXPropertyList& description, const std::string& key)> fixer)
{
    _environment.fixedDeviceDescription = std::move(fixer);
}

HXPropertyList MVPPreferences::fixedDevicePreferenceForKey(const std::string& key)
{
    const HXPropertyList stored = preference(key);
    HXPropertyList fixed;
    if (_environment.fixedDeviceDescription)
        fixed = _environment.fixedDeviceDescription(stored, key);
    else if (stored.isDictionary() && stored.contains(MVPPreferencesCaptureDeviceUIDKey))
        fixed = stored;
    if (fixed.isNull())
        _userDefaults.removeObjectForKey(key);
    else
        setPreference(fixed, key, false);
    return fixed;
}

void MVPPreferences::devicesDidChange(const HXNotification&)
{
    if (_capturePaneShown && _refreshDevicePopUps)
        _refreshDevicePopUps();
}
