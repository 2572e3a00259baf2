#pragma once
// FSPresentationHUDWindowController: the heads-up panel over a full-screen presentation — the movie's
// name, the volume control, the transport buttons, a one-line time display, an exit button and, where the
// presentation offers another sizing, a toggle between two sizing modes with a context menu of three more.
// The panel fades in on mouse activity and fades out after an idle time-out. One panel serves one
// presentation controller, which creates it, configures it and is its delegate.
#include "fullscreen/presentation_window.h"
#include "platform/basekit/timer.h"
#include "platform/winkit/window_controller.h"

#include <cstdint>
#include <memory>
#include <string>

class HXButton;
class HXMenu;
class HUDTextField;
class MVMovie;

// The user default holding the panel's last origin, as a point string "{x, y}".
inline constexpr const char* FSPresentationHUDPosition = "FSPresentationHUDPosition";

// What the panel asks of the presentation it serves.
class FSPresentationHUDDelegate : public FSPresentationEventHandler {
public:
    // Whether the size and mode queries below are answered; without them the panel shows no toggle and
    // only the movie's name.
    virtual bool answersPresentationQueries() const { return true; }
    virtual HXSize contentSize() const = 0;
    virtual HXSize displaySize() = 0;
    virtual uint16_t presentationMode() const = 0;
    virtual uint16_t mysteryPresentationMode() = 0;
    virtual bool isPanoramicStretchAvailable() const = 0;
    virtual void setPresentationMode(uint16_t mode, bool animate) = 0;
    virtual void endFullScreen() = 0;
    virtual bool shouldHideCursor() const = 0;
    virtual void letterboxToScreen(HXObject* sender) = 0;
    virtual void cropToScreen(HXObject* sender) = 0;
    virtual void panoramicStretchToScreen(HXObject* sender) = 0;
};

// The panel: plain, dragged anywhere by its background, and its delegate sees every event first.
class FSPresentationHUDPanel : public HXPanel {
public:
    explicit FSPresentationHUDPanel(HXRect frame);
    FSPresentationEventHandler* eventDelegate() const { return _eventDelegate; }
    void setEventDelegate(FSPresentationEventHandler* delegate) { _eventDelegate = delegate; }
    bool canBecomeKeyWindow() const override { return true; }
    void sendEvent(const HXEvent& event) override;
    bool performKeyEquivalent(const HXEvent& event) override;
    void mouseDown(const HXEvent& event) override;
    void mouseDragged(const HXEvent& event) override;

private:
    FSPresentationEventHandler* _eventDelegate = nullptr;
    HXPoint _initialMouseLocation;
};

// The panel's background: the "FSBase" picture.
class FSPresentationHUDContentView : public HXView {
public:
    explicit FSPresentationHUDContentView(HXRect frame);
    // The size of "FSBase" (the panel's natural size).
    static HXSize naturalSize();
    bool isOpaque() const override { return true; }
    void drawRect(HXRect dirtyRect) override;
};

// Where the panel's parts go in a panel of natural size W × H (bottom-left coordinates).
struct FSPresentationHUDLayout {
    HXRect title;
    HXRect volume;
    HXRect transport;
    HXRect toggle;
    HXRect exit;
    HXRect timeDisplay;
};
FSPresentationHUDLayout FSPresentationHUDLayoutForSize(HXSize natural, HXSize transportSize, HXSize volumeSize);

// The panel's frame: at the saved origin when a panel there meets the parent rectangle, else centred
// across and a quarter up; whole points. `scaleFactor` scales the size.
HXRect FSPresentationHUDFrameForParent(
    HXRect parent, HXSize size, const std::optional<HXPoint>& savedOrigin, double scaleFactor = 1);

// The toggle's look for a movie of `content` size on a display of `display` size: the image set name
// ("FSLetterboxIn" ...), or empty when the toggle hides (equal aspects, or no panoramic stretch).
std::string FSPresentationHUDToggleImageName(
    HXSize content, HXSize display, bool panoramicAvailable, uint16_t mysteryMode);
// The localized key naming a mode in the title line; empty for a mode without a name.
std::string FSPresentationHUDModeTitleKey(uint16_t mode);

class FSPresentationHUDWindowController : public HXWindowController, public FSPresentationEventHandler {
public:
    static std::shared_ptr<FSPresentationHUDWindowController> fsPresentationHUDWindowControllerWithMovie(
        const std::shared_ptr<MVMovie>& movie, FSPresentationHUDDelegate* delegate);
    FSPresentationHUDWindowController(const std::shared_ptr<MVMovie>& movie, FSPresentationHUDDelegate* delegate);
    ~FSPresentationHUDWindowController() override;

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    void setMovie(const std::shared_ptr<MVMovie>& movie);
    // The delegate is not owned; the presentation clears it when it ends.
    FSPresentationHUDDelegate* delegate() const { return _delegate; }
    void setDelegate(FSPresentationHUDDelegate* delegate) { _delegate = delegate; }
    // Seconds of idleness before the panel fades; 0: it never fades by itself.
    double fadeOutTime() const { return _fadeOutTime; }
    void setFadeOutTime(double seconds) { _fadeOutTime = seconds; }
    HXRect parentWindowRect() const { return _parentWindowRect; }
    void setParentWindowRect(HXRect rect) { _parentWindowRect = rect; }
    bool enabled() const { return _enabled; }
    // Disabling hides the panel at once and keeps its origin for the next presentation; enabling places it.
    void setEnabled(bool enabled);

    // Fades the panel in (nothing when disabled or visible already); with `autoHide` it fades out again
    // after the fade-out time.
    void showHUD(bool autoHide);
    // Fades out, or (NO) vanishes at once.
    void hideHUD(bool fade);
    bool isVisible() const { return _isVisible; }
    bool isFading() const { return _HUDFaderTimer != nullptr; }
    bool hasCountDown() const { return _HUDTimer != nullptr; }

    // The presentation's mode changed (or the panel is shown): the toggle and the title follow.
    void update();
    // The title line: the toggle's mode name (YES) or the movie's name.
    std::string windowTitle(bool forToggle);
    std::string title() const;
    // Observation.
    const std::shared_ptr<HXButton>& toggleButton() const { return _toggleButton; }
    const std::shared_ptr<HXButton>& closeButton() const { return _closeButton; }
    std::string toggleImageName() const { return _toggleImageName; }
    const std::shared_ptr<HXView>& movieControlsView() const { return _movieControlsView; }
    const std::shared_ptr<HXView>& movieVolumeView() const { return _movieVolumeView; }
    const std::shared_ptr<HXView>& lcdView() const { return _LCDView; }
    const std::shared_ptr<HUDTextField>& titleTextField() const { return _titleTextField; }
    bool isWindowLoadedForHUD() const { return _movieControlsView != nullptr; }
    // The panel's frame for the current parent rectangle and saved position.
    HXRect HUDFrame();

    void loadWindow() override;
    // The panel, built on first use.
    std::shared_ptr<HXWindow> panel();
    bool handleEvent(const HXEvent& event) override;
    void mouseEntered(const HXEvent& event) override;
    void mouseExited(const HXEvent& event) override;
    void togglePresentationMode(HXObject* sender = nullptr);
    void endFullScreen(HXObject* sender = nullptr);

    // One fade step (the fade timer's action).
    void fadeHUDTimer();
    void fadeHUD(bool fadeIn);
    void enableAutoFadeOut(bool enable);

private:
    void setHUDTimer(std::shared_ptr<HXTimer> timer);
    void setHUDFaderTimer(std::shared_ptr<HXTimer> timer);
    bool mouseIsInsideToggle();
    void setTitle(const std::string& title);

    std::shared_ptr<FSPresentationHUDPanel> _panel;
    std::shared_ptr<HUDTextField> _titleTextField;
    std::shared_ptr<HXView> _movieVolumeView;
    std::shared_ptr<HXView> _movieControlsView;
    std::shared_ptr<HXButton> _closeButton;
    std::shared_ptr<HXButton> _toggleButton;
    std::shared_ptr<HXView> _LCDView;
    std::shared_ptr<HXTimer> _HUDTimer;
    std::shared_ptr<HXTimer> _HUDFaderTimer;
    bool _fadingIn = false;
    std::shared_ptr<MVMovie> _movie;
    bool _enabled = true;
    double _fadeOutTime = 5.0;
    FSPresentationHUDDelegate* _delegate = nullptr;
    bool _isVisible = false;
    bool _autoFadeOut = false;
    HXRect _parentWindowRect {};
    double _fadeStartTime = 0;
    long _exitButtonTrackingRectTagNumber = 0;
    long _mysteryButtonTrackingRectTagNumber = 0;
    long _panelTrackingRectTagNumber = 0;
    std::string _toggleImageName;
};
