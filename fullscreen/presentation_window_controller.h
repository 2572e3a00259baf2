#pragma once
// FSPresentationWindowController: presents one movie document full screen. Its state moves 0 (inactive)
// → 1 (entering) → 2 (full screen) → 3 (exiting) → 0, and each step is posted with the controller as
// object. The document makes it on first use, through the maker installDocumentPresentationMakers()
// installs, keeps it as one of its window controllers and speaks to it as MVPDocumentPresentation.
//
// While presenting it borrows the player window's movie view: the view moves into the full-screen
// window, is dressed for the presentation (fill colour, aspect handling, the panoramic image hook) and
// goes back to the player window exactly as it was when the presentation ends.
#include "core/notification_names.h"
#include "document/document_windows.h"
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_hud_window_controller.h"
#include "fullscreen/presentation_resize_helper.h"
#include "document/presentation_settings.h"
#include "fullscreen/presentation_window.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/window_controller.h"
#include "player/window/window_controller.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class HXImage;
class HXObject;
class HXTimer;
class HXView;
class MVMovie;
class MVMovieView;
class MVPPanoramicStretchFilter;

enum class FSPresentationState { Inactive = 0, Entering = 1, FullScreen = 2, Exiting = 3 };

// How long a pinch may wait for its next gesture event before it counts as over.
inline constexpr double FSPresentationGestureTimeout = 1.0;

class FSPresentationWindowController : public MVPWindowController,
                                       public FSPresentationHUDDelegate,
                                       public MVPDocumentPresentation {
public:
    // Installs what the movie document makes for full screen: the presentation, the settings sheet of the
    // present-movie command, and the check whether a screen is free to present on.
    static void installDocumentPresentationMakers();

    FSPresentationWindowController();
    ~FSPresentationWindowController() override;

    // Merges `settings` into the controller's own; settings it does not have come from the preferences.
    void setPresentationSettings(const FSPresentationSettings& settings) override { _settings.merge(settings); }
    void setPresentationSettingsToDefaults() override { _settings = {}; }
    const FSPresentationSettings& presentationSettings() const override { return _settings; }

    // Binds to a document (null unbinds): follows its natural size.
    void setDocument(const std::shared_ptr<HXDocument>& document) override;
    // Rebinds to the document's movie.
    void syncToNewMovie() override;
    // Re-examines the movie after an edit: leaves full screen when the movie has no picture to present.
    void syncToChangeInMovieContent() override;
    std::shared_ptr<MVMovie> movie() const { return _movie.lock(); }

    // Presents on the chosen screen (the settings' screen when it is available, else the first available
    // one). Without an available screen the controller stays inactive.
    void enterFullScreen() override;
    // True from the start of entry until the exit has completed.
    bool isFullscreen() const override { return _isFullscreen; }
    // Leaves full screen; nothing unless the state is 2.
    void exitFullScreen() override;
    // The heads-up panel's exit button and the full-screen menu command.
    void endFullScreen() override { exitFullScreen(); }
    void fullScreen(HXObject* sender = nullptr);
    FSPresentationState state() const { return _state; }
    // The screen presented on, noted at entry and kept until the exit has completed (none otherwise).
    const std::optional<HXScreen>& presentationScreen() const { return _screen; }
    std::optional<HXScreen> presentingScreen() const { return _isFullscreen ? _screen : std::nullopt; }
    // Leaves a presentation without the zoom back; the controller must not be used to present afterwards.
    void close() override;

    // 0.5, 1 and 2 choose the half, normal and double sizes; other scales size the picture by them.
    void setScale(double widthScale, double heightScale, bool animate);
    void setScale(const HXSize& factors, bool animate) override { setScale(factors.width, factors.height, animate); }
    HXSize scale() const { return _scale; }

    void loadWindow() override;
    std::shared_ptr<FSPresentationWindow> presentationWindow();

    // ---- Settings lookup and sizing modes ----
    // A setting by key: the controller's own, else the preference of the same name, which is then kept for
    // the rest of the presentation ("FullscreenPreferenceSize" has no fallback). The screen and the colour
    // answer their stored forms (a display number, archived colour data); Null when there is none.
    HXPropertyList presentationSettingForKey(const std::string& key) override;
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
    uint16_t presentationMode() const override;
    void setPresentationMode(uint16_t mode, bool animate) override;
    // The movie view frame in the window and the window frame (the presenting screen's) of a mode.
    void getMovieViewFrame(HXRect* movieViewFrame, HXRect* windowFrame, uint16_t mode);
    // The mode for the movie's class; panoramic only for a movie whose pictures can be filtered.
    uint16_t defaultPresentationModeForMovie(const MVMovie* movie, const std::optional<HXScreen>& screen) const;
    // The heads-up panel's toggle target.
    uint16_t mysteryPresentationMode() override;
    bool isPanoramicStretchAvailable() const override;
    bool imageFiltersAreAccelerated() const;
    // The movie's natural size, and the presenting screen's size.
    HXSize contentSize() const override;
    HXSize displaySize() override;
    // Mode actions.
    void normalSize(HXObject* sender = nullptr);
    void doubleSize(HXObject* sender = nullptr);
    void halfSize(HXObject* sender = nullptr);
    void fitToScreen(HXObject* sender = nullptr) override;
    void letterboxToScreen(HXObject* sender = nullptr) override;
    void cropToScreen(HXObject* sender = nullptr) override;
    void stretchToScreen(HXObject* sender = nullptr);
    void panoramicStretchToScreen(HXObject* sender = nullptr) override;
    // The full-screen window never cascades.
    void cascadeWindow(HXObject*) { }
    // Sets the movie view's frame, made integral; animated when asked and the controller animates.
    void setMovieViewFrame(HXRect frame, bool animate);
    // The movie view the presentation sizes: the player window's (the controller borrows it), else one of
    // its own when the player window has none.
    std::shared_ptr<MVMovieView> movieView();
    void setMovieView(std::shared_ptr<MVMovieView> view);
    bool animates() const { return _animate; }
    void setAnimates(bool flag) { _animate = flag; }
    bool doesPanoramicStretch() const { return _doPanoramicStretch; }
    // Each picture of the movie view in panoramic mode: squeezed in the middle by the panoramic filter.
    // A picture the filter cannot take is drawn as it is, i.e. plainly stretched. May run on a drawing
    // thread: it reads only the atomic mode flag and the natural size under its lock.
    std::shared_ptr<HXImage> viewWillDisplayImage(MVMovieView& view, const std::shared_ptr<HXImage>& image);
    // Told after every change of the stored mode.
    std::function<void(uint16_t mode)> presentationModeDidChange;
    // The natural size as the per-frame call reads it.
    HXSize naturalSizeForFrames() const;

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
    // The size the display is switched to at entry for a mode: the natural size, halved for mode 2,
    // doubled for mode 1, the user size for mode 4.
    static HXSize resolutionSwitchSize(uint16_t mode, HXSize natural, HXSize user);

    // ---- Events, cursor, movie end ----
    bool handleEvent(const HXEvent& event) override;
    // The pinch: closing the fingers beyond the threshold leaves full screen. Reads the gesture's further
    // events until it ends, or until none has come for FSPresentationGestureTimeout seconds.
    void magnifyWithEvent(const HXEvent& event) override;
    // The cursor hides for movies that are neither interactive nor panoramas (all of ours).
    bool shouldHideCursor() const override;
    // Hides the cursor 2 seconds from now (when it should still hide then).
    void hideCursorAfterDelay();
    bool hasCursorTimer() const { return _cursorTimer != nullptr; }
    // The movie stopped at its end: a movie that does not loop ends the presentation.
    void movieEnded();
    using MVPWindowController::windowDidBecomeMain;
    void windowDidBecomeMain(const HXNotification& notification);
    void applicationDidChangeScreenParameters();
    void respondToChangeInNaturalSize();

    // ---- The heads-up panel and the zoom ----
    const std::shared_ptr<FSPresentationHUDWindowController>& fsPresentationHUDWindowController() const
    {
        return _fsPresentationHUDWindowController;
    }
    const std::unique_ptr<FSPresentationResizeHelper>& fsPresentationResizeHelper() const
    {
        return _fsPresentationResizeHelper;
    }

    bool validateMenuItem(HXMenuItem& item) override;
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;

private:
    // What the movie view looked like before the presentation, given back at the end.
    struct ViewDressing {
        HXColor fillColor;
        bool preservesAspectRatio = true;
        std::function<std::shared_ptr<HXImage>(MVMovieView&, const std::shared_ptr<HXImage>&)> imageHook;
        bool muted = false;
    };
    // Where the borrowed view sat in the player window.
    struct ViewPlace {
        std::weak_ptr<HXView> superview;
        // The window whose content view the borrowed view was.
        std::weak_ptr<HXWindow> contentOf;
        // The player window controller that handed the view over.
        std::weak_ptr<MVPWindowController> player;
        HXRect frame;
        unsigned autoresizingMask = 0;
        size_t index = 0;
    };

    void setState(FSPresentationState state);
    void applyScale(HXSize scale, bool animate);
    std::shared_ptr<HXWindowController> playerWindowController() const;
    std::shared_ptr<MVPWindowController> playerMVPWindowController() const;
    std::shared_ptr<HXWindow> playerWindow() const;
    std::shared_ptr<MVMovieView> playerMovieView() const;
    void removeMovieViewFromPlayerWindow(const std::shared_ptr<MVMovieView>& view);
    void restoreMovieViewToPlayerWindow(const std::shared_ptr<MVMovieView>& view);
    void configureHUD();
    void setNaturalSize(HXSize size);
    void stopObserving();
    void installActions();
    void hideMenuBar();
    FSPresentationZoomPlayer zoomPlayerFor(const std::shared_ptr<HXWindow>& player) const;

    FSPresentationSettings _settings;
    FSPresentationState _state = FSPresentationState::Inactive;
    bool _isFullscreen = false;
    std::optional<HXScreen> _screen;
    std::weak_ptr<MVMovie> _movie;
    HXSize _scale { 1, 1 };

    std::shared_ptr<FSPresentationHUDWindowController> _fsPresentationHUDWindowController;
    std::unique_ptr<FSPresentationResizeHelper> _fsPresentationResizeHelper;
    std::shared_ptr<MVMovieView> _movieView;
    std::shared_ptr<MVPPanoramicStretchFilter> _panoramicFilter;
    std::atomic<bool> _doPanoramicStretch = false;
    bool _animate = true;
    bool _autoShowHUD = true;
    bool _zoomedIn = false;
    ViewDressing _initial;
    ViewPlace _viewPlace;
    std::shared_ptr<FSPresentationWindow> _fsWindow;
    HXRect _movieRectInPlayer {};

    bool _switchedResolution = false;
    std::optional<uint32_t> _saveDirectDisplayID;
    std::optional<FSDisplayMode> _saveDisplayMode;

    std::shared_ptr<HXTimer> _cursorTimer;
    mutable std::atomic_flag _naturalSizeLock = ATOMIC_FLAG_INIT;
    HXSize _naturalSize {};

    HXObserverToken _naturalSizeObserver = 0;
    HXObserverToken _movieEndObserver = 0;
    HXObserverToken _becameMainObserver = 0;
    HXObserverToken _screenParametersObserver = 0;
};
