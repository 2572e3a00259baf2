#pragma once
// FSPresentationWindowController: presents one movie document full screen. Its state moves 0 (inactive)
// → 1 (entering) → 2 (full screen) → 3 (exiting) → 0, and each step is posted with the controller as
// object. The document makes it on first use and keeps it as one of its window controllers.
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_settings.h"
#include "platform/winkit/window_controller.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class HXImage;
class HXObject;
class MVMovie;
class MVMovieView;
class MVPPanoramicStretchFilter;

inline constexpr const char* FSPresentationEnteringFullScreenStateNotification
    = "FSPresentationEnteringFullScreenStateNotification";
inline constexpr const char* FSPresentationFullScreenStateNotification
    = "FSPresentationFullScreenStateNotification";
inline constexpr const char* FSPresentationExitingFullScreenStateNotification
    = "FSPresentationExitingFullScreenStateNotification";
inline constexpr const char* FSPresentationInactiveStateNotification
    = "FSPresentationInactiveStateNotification";

enum class FSPresentationState { Inactive = 0, Entering = 1, FullScreen = 2, Exiting = 3 };

class FSPresentationWindowController : public HXWindowController {
public:
    FSPresentationWindowController();
    ~FSPresentationWindowController() override;

    // Merges `settings` into the controller's own; settings it does not have come from the preferences.
    void setPresentationSettings(const FSPresentationSettings& settings) { _settings.merge(settings); }
    void setPresentationSettingsToDefaults() { _settings = {}; }
    const FSPresentationSettings& presentationSettings() const { return _settings; }

    // Rebinds to the document's movie.
    void syncToNewMovie();
    // Leaves full screen when the movie has no picture to present.
    void syncToChangeInMovieContent();
    std::shared_ptr<MVMovie> movie() const { return _movie.lock(); }

    // Presents on the chosen screen (the settings' screen when it is available, else the first available
    // one). Without an available screen the controller stays inactive.
    void enterFullScreen();
    // True from the start of entry until the exit has completed.
    bool isFullscreen() const { return _state != FSPresentationState::Inactive; }
    void exitFullScreen();
    FSPresentationState state() const { return _state; }
    // The screen presented on (none while inactive).
    const std::optional<HXScreen>& presentationScreen() const { return _screen; }

    // 0.5, 1 and 2 choose the half, normal and double sizes; other scales size the picture by them.
    void setScale(double widthScale, double heightScale, bool animate);
    HXSize scale() const { return _scale; }

    void loadWindow() override;

    // ---- Settings lookup and sizing modes ----
    // A setting by key: the controller's own, else the preference of the same name, which is then kept for
    // the rest of the presentation ("FullscreenPreferenceSize" has no fallback). The screen and the colour
    // answer their stored forms (a display number, archived colour data); Null when there is none.
    HXPropertyList presentationSettingForKey(const std::string& key);
    // Stores a setting (the stored form for the screen and the colour); Null removes it.
    void setPresentationSetting(const HXPropertyList& value, const std::string& key)
    {
        _settings.setValueForKey(value, key);
    }
    // The screen: the setting, else the screen of "FullscreenPreferenceScreenNumber", else the main screen.
    std::optional<HXScreen> presentationScreenSetting();
    // The colour: the setting, else "FullscreenPreferenceBackgroundColorData"; none when neither gives one.
    std::optional<HXColor> presentationColorSetting();

    // The stored mode (0 when there is none), and a change of mode: stored, then the movie view is sized
    // for it (animated when asked and the controller animates at all).
    uint16_t presentationMode() const;
    void setPresentationMode(uint16_t mode, bool animate);
    // The movie view frame in the window and the window frame (the presenting screen's) of a mode.
    void getMovieViewFrame(HXRect* movieViewFrame, HXRect* windowFrame, uint16_t mode);
    // The mode for the movie's class; panoramic only for a movie whose pictures can be filtered.
    uint16_t defaultPresentationModeForMovie(const MVMovie* movie, const std::optional<HXScreen>& screen) const;
    // The heads-up panel's toggle target.
    uint16_t mysteryPresentationMode();
    bool isPanoramicStretchAvailable() const;
    bool imageFiltersAreAccelerated() const;
    // The movie's natural size, and the presenting screen's size.
    HXSize contentSize() const;
    HXSize displaySize();
    // Mode actions.
    void normalSize(HXObject* sender = nullptr);
    void doubleSize(HXObject* sender = nullptr);
    void halfSize(HXObject* sender = nullptr);
    void fitToScreen(HXObject* sender = nullptr);
    void letterboxToScreen(HXObject* sender = nullptr);
    void cropToScreen(HXObject* sender = nullptr);
    void stretchToScreen(HXObject* sender = nullptr);
    void panoramicStretchToScreen(HXObject* sender = nullptr);
    // Sets the movie view's frame, made integral; animated when asked and the controller animates.
    void setMovieViewFrame(HXRect frame, bool animate);
    // The movie view the presentation sizes (the player window's, while presenting).
    const std::shared_ptr<MVMovieView>& movieView() const { return _movieView; }
    void setMovieView(std::shared_ptr<MVMovieView> view) { _movieView = std::move(view); }
    bool animates() const { return _animate; }
    void setAnimates(bool flag) { _animate = flag; }
    bool doesPanoramicStretch() const { return _doPanoramicStretch; }
    // Each picture of the movie view in panoramic mode: squeezed in the middle by the panoramic filter.
    // A picture the filter cannot take is drawn as it is, i.e. plainly stretched.
    std::shared_ptr<HXImage> viewWillDisplayImage(MVMovieView& view, const std::shared_ptr<HXImage>& image);
    // Told after every change of the stored mode.
    std::function<void(uint16_t mode)> presentationModeDidChange;

    // ---- Displays ----
    // "FullscreenPreferenceCaptureAllDisplays" as a boolean; when nothing gives one, NO is stored.
    bool capturesAllDisplays();
    // Whether to switch the display mode to suit the movie ("FSPresentationChangeResolution"); never on a
    // first screen with a scale factor other than 1.
    bool wantsResolutionSwitch();
    // Switches the presenting screen's display to the mode that best holds `size` (pixels). On success
    // the mode it had is kept for restoreResolution; otherwise the display stays as it was.
    void switchResolutionToSize(HXSize size);
    void restoreResolution();
    bool switchedResolution() const { return _switchedResolution; }

private:
    void setState(FSPresentationState state);
    void applyScale(HXSize scale, bool animate);

    bool _switchedResolution = false;
    std::optional<uint32_t> _saveDirectDisplayID;
    std::optional<FSDisplayMode> _saveDisplayMode;

    std::shared_ptr<MVMovieView> _movieView;
    std::shared_ptr<MVPPanoramicStretchFilter> _panoramicFilter;
    bool _doPanoramicStretch = false;
    bool _animate = true;

    FSPresentationSettings _settings;
    FSPresentationState _state = FSPresentationState::Inactive;
    std::optional<HXScreen> _screen;
    std::weak_ptr<MVMovie> _movie;
    HXSize _scale { 1, 1 };
};
