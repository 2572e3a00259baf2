#pragma once
// MVPPreferencesWindow: the window side of the preferences. A panel with a selectable toolbar of three
// panes (General, Full Screen, Capture); each control shows one preference and writes it back, with the
// change notification, the moment the user changes it. There is one window per process, made on the first
// showPreferences. The Capture pane lists the capture devices the recording's device list reports, and the
// capture formats of the machine's list.
#include "app/default_opener.h"
#include "core/preferences.h"
#include "fullscreen/presentation_screen_view.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/toolbar.h"
#include "recording/capture_device_list.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXButton;
class HXColorWell;
class HXMatrix;
class HXPanel;
class HXPopUpButton;
class HXProgressIndicator;
class HXTextField;
class HXView;

// Toolbar identifiers.
inline constexpr const char* PreferenceToolbarIdentifier = "PreferenceToolbarIdentifier";
inline constexpr const char* PreferenceToolbarItemIdentifierGeneral
    = "PreferenceToolbarItemIdentifierGeneral";
inline constexpr const char* PreferenceToolbarItemIdentifierFullscreen
    = "PreferenceToolbarItemIdentifierFullscreen";
inline constexpr const char* PreferenceToolbarItemIdentifierCapture
    = "PreferenceToolbarItemIdentifierCapture";

class MVPPreferencesWindow : public HXObject, public HXToolbarDelegate, public MVPCaptureDeviceListDelegate {
public:
    // The General pane grows by this when the hide-selection check box is revealed.
    static constexpr double kHideSelectionGroupHeight = 22.0;
    // The height of the Full Screen pane's display group.
    static constexpr double kMultipleScreenSupportGroupHeight = 95.0;
    // The professional-applications group sits this far above the bottom of the General pane.
    static constexpr double kProAppsGroupBottom = 20.0;
    // The height of the General pane's default-opener row (its button and the answer under it).
    static constexpr double kDefaultOpenerRowHeight = 48.0;

    // What the window reaches outside the preferences. standardEnvironment() wires the shared model, the
    // full-screen displays, the application delegate, the recording's device list and the folder chooser.
    struct Environment {
        MVPPreferences* preferences = nullptr;
        // The displays a presentation may use.
        std::function<std::vector<HXScreen>()> availableScreens;
        // Whether the professional applications are installed.
        std::function<bool()> proAppsAreInstalled;
        std::function<MVPPreferencesCaptureDeviceList&()> captureDeviceList;
        // Asks for a folder in a sheet on `window`, starting at `path`; the answer is the chosen folder or
        // none (cancelled).
        std::function<void(const std::shared_ptr<HXWindow>& window, const std::string& path,
            std::function<void(std::optional<std::string>)> answer)>
            chooseDirectory;
        // Whether the window's size changes are animated while it is on screen.
        bool animatesResize = true;
        // Makes the launcher the file manager's default opener of movies; the answer says how it went.
        std::function<void(std::function<void(MVPDefaultOpener::Result)>)> makeDefaultOpener;
    };
    static Environment standardEnvironment();

    // The window of the shared preferences, made on first use.
    static std::shared_ptr<MVPPreferencesWindow> sharedPreferencesWindow();

    explicit MVPPreferencesWindow(Environment environment);
    ~MVPPreferencesWindow() override;

    void showPreferences();
    void hidePreferences();
    bool isVisible() const;

    // The action of every control: writes the preference of the control that sent it.
    void doPreference(HXObject* sender);
    // The General pane's button: the launcher becomes the file manager's default opener of movies.
    void makeLauncherDefaultOpener(HXObject* sender);
    void doPreferenceToolbarItem(HXObject* sender);
    void showPreferenceView(const std::shared_ptr<HXView>& view, const std::string& title);
    void updatePreferenceView(const std::shared_ptr<HXView>& view);
    void resizeWindowCurrentPreferenceView(const std::shared_ptr<HXView>& view);

    // Toolbar.
    std::shared_ptr<HXToolbarItem> toolbarItemWithIdentifier(
        const std::string& identifier, const std::string& label, const std::string& image);
    std::shared_ptr<HXToolbarItem> toolbarItemForItemIdentifier(
        HXToolbar& toolbar, const std::string& identifier, bool willBeInsertedIntoToolbar) override;
    std::vector<std::string> toolbarDefaultItemIdentifiers(HXToolbar& toolbar) override;
    std::vector<std::string> toolbarAllowedItemIdentifiers(HXToolbar& toolbar) override;
    std::vector<std::string> toolbarSelectableItemIdentifiers(HXToolbar& toolbar) override;

    // Capture pane.
    void updateCaptureDevicePopups();
    void captureDeviceListDidReadAudioDeviceDescriptions(
        const HXPropertyList::Array& audio, const HXPropertyList::Array& video) override;
    void updateCaptureDevicePopUp(HXPopUpButton& popUp, const std::string& key);
    static std::string localizeVideoDeviceName(const std::string& name);
    static std::string localizeAudioDeviceName(const std::string& name);
    void updateCaptureFormatSummary();
    void chooseCaptureLocationDidEnd(const std::optional<std::string>& folder);

    // The outlets, as the panes were built.
    struct Outlets {
        std::shared_ptr<HXPanel> _preferencesPanel;
        std::shared_ptr<HXView> _generalView;
        std::shared_ptr<HXButton> _generalOpenNewPlayersCheckbox;
        std::shared_ptr<HXButton> _generalAutoPlayMoviesCheckbox;
        std::shared_ptr<HXButton> _generalPlaySoundInFrontPlayerOnlyCheckbox;
        std::shared_ptr<HXButton> _generalPlaySoundWhenInBackgroundCheckbox;
        std::shared_ptr<HXButton> _generalShowEqualizerCheckbox;
        std::shared_ptr<HXButton> _generalShowReelspotAutomaticallyCheckbox;
        std::shared_ptr<HXButton> _generalPauseMoviesWhenLoggedOutCheckbox;
        std::shared_ptr<HXPopUpButton> _generalNumberOfRecentItemsPopUpButton;
        std::shared_ptr<HXButton> _generalHighQualityVideoCheckbox;
        std::shared_ptr<HXButton> _generalShowClosedCaptioning;
        std::shared_ptr<HXButton> _generalHideSelectionIndicators;
        std::shared_ptr<HXButton> _generalShowTimeCodeCheckbox;
        std::shared_ptr<HXButton> _generalShowTimeCodeAbsoluteFramesCheckbox;
        std::shared_ptr<HXButton> _generalShowSubtitlesCheckbox;
        std::shared_ptr<HXButton> _generalProAppsCompatibilityModeCheckbox;
        std::shared_ptr<HXView> _generalProAppsCompatibilityModeView;
        std::shared_ptr<HXButton> _generalDefaultOpenerButton;
        std::shared_ptr<HXTextField> _generalDefaultOpenerStatus;
        std::shared_ptr<HXView> _fullscreenView;
        std::shared_ptr<HXPopUpButton> _fullscreenWidescreenSizePopUpButton;
        std::shared_ptr<HXPopUpButton> _fullscreenStandardSizePopUpButton;
        std::shared_ptr<HXPopUpButton> _fullscreenMovieSizePopUpButton;
        std::shared_ptr<HXMatrix> _fullscreenModeMatrix;
        std::shared_ptr<HXColorWell> _fullscreenBackgroundColorWell;
        std::shared_ptr<HXButton> _fullscreenCaptureAllDisplaysCheckBox;
        std::shared_ptr<FSPresentationScreenView> _fullscreenFSScreenView;
        std::shared_ptr<HXButton> _fullscreenEnableHUDCheckbox;
        std::shared_ptr<HXPopUpButton> _fullscreenHUDFadeTimePopUpButton;
        std::shared_ptr<HXView> _fullscreenSizeColourModeView;
        std::shared_ptr<HXButton> _fullscreenRemainInFullScreenCheckBox;
        std::shared_ptr<HXView> _captureView;
        std::shared_ptr<HXPopUpButton> _captureDefaultMovieCaptureDevicePopUpButton;
        std::shared_ptr<HXPopUpButton> _captureDefaultAudioCaptureDevicePopUpButton;
        std::shared_ptr<HXPopUpButton> _captureFormatPopUpButton;
        std::shared_ptr<HXTextField> _captureFormatDescriptionText;
        std::shared_ptr<HXPopUpButton> _captureSaveCapturedFilesToPopUpButton;
        std::shared_ptr<HXProgressIndicator> _captureReadingDevicesProgressIndicator;
        std::shared_ptr<HXTextField> _captureReadingDevicesTestField;
    };
    const Outlets& outlets() const { return _outlets; }
    std::shared_ptr<HXPanel> preferencesPanel() const { return _outlets._preferencesPanel; }
    // The pane shown now.
    std::shared_ptr<HXView> selectedView() const { return _selectedView; }

private:
    void loadInterface();
    void buildGeneralView();
    void buildFullscreenView();
    void buildCaptureView();
    void layoutGeneralView();
    void layoutFullscreenDisplayGroup(bool shown);
    void fillControls();
    void fillDisplayGroup();
    void fillCaptureLocation();
    void fillCaptureFormats();
    void writePreference(const HXPropertyList& value, const char* key);
    bool boolPreference(const char* key) const;
    std::shared_ptr<HXButton> makeCheckBox(const std::shared_ptr<HXView>& pane, const std::string& titleKey);
    std::shared_ptr<HXPopUpButton> makePopUp(const std::shared_ptr<HXView>& pane, HXRect frame,
        const std::vector<std::pair<std::string, long>>& items);

    Environment _environment;
    MVPPreferences& _preferences;
    Outlets _outlets;
    std::shared_ptr<HXView> _selectedView;
    std::shared_ptr<HXToolbar> _toolbar;
    bool _proAppsGroupInserted = false;
    std::shared_ptr<HXView> _proAppsGroup;
    std::shared_ptr<HXTextField> _recentItemsLabel;
    std::vector<std::pair<std::shared_ptr<HXView>, const char*>> _checkBoxKeys;
};
