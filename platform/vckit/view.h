#pragma once
// VCView: a view that plays a composition. Rendering runs on a timer of the main run loop at the view's
// frame rate; the render time advances with the loop's clock while the view is not paused. The view
// keeps running averages of its frame rate and of its load (the share of each frame's interval spent
// drawing), and can take over a whole screen.
#include "platform/basekit/notification_center.h"
#include "platform/basekit/property_list.h"
#include "platform/drawing/color.h"
#include "platform/vckit/composition.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"

#include <deque>
#include <memory>
#include <optional>

class HXTimer;
class HXWindow;

// Posted (object: the view) when rendering starts and when it stops.
inline constexpr const char* VCViewDidStartRenderingNotification = "VCViewDidStartRenderingNotification";
inline constexpr const char* VCViewDidStopRenderingNotification = "VCViewDidStopRenderingNotification";
// Options of loadComposition: the composition's own URL (a string) and safe mode (a boolean: no file is
// read on the composition's behalf).
inline constexpr const char* VCViewCompositionURLOption = "compositionURL";
inline constexpr const char* VCViewEnableSafeModeOption = "enableSafeMode";
// Option of enterFullScreenMode: cover every screen (a boolean).
inline constexpr const char* HXFullScreenModeAllScreens = "HXFullScreenModeAllScreens";

class VCView : public HXView {
public:
    explicit VCView(HXRect frame = HXZeroRect);
    ~VCView() override;

    // Loading. Replaces the composition (rendering stops first); false for a null one.
    bool loadComposition(const std::shared_ptr<VCComposition>& composition);
    bool loadComposition(const std::shared_ptr<VCComposition>& composition,
        const HXPropertyList::Dictionary& options, bool* stateOK = nullptr);
    // Reads and loads a composition file.
    bool loadCompositionFromFile(const std::string& path, HXError* outError = nullptr);
    const std::shared_ptr<VCComposition>& composition() const { return _composition; }
    bool isSafeMode() const { return _safeMode; }
    void unloadComposition();

    // Rendering. startRendering answers false without a composition.
    bool startRendering();
    void stopRendering();
    bool isRendering() const { return _timer != nullptr; }
    void pauseRendering();
    void resumeRendering();
    bool isPausedRendering() const { return _paused; }
    // Seconds of the composition shown; setting it shows that moment at the next frame.
    double renderTime() const { return _renderTime; }
    void setRenderTime(double seconds);

    // Frames per second the view aims at (1 to 120; 30 at start).
    double maxRenderingFrameRate() const { return _frameRate; }
    void setMaxRenderingFrameRate(double fps);
    // Over the last second of frames drawn: frames per second, and the percentage of the frame interval
    // spent drawing. 0 while not rendering.
    double averageFrameRate() const;
    double averageLoad() const;

    // Background.
    HXColor eraseColor() const { return _eraseColor; }
    void setEraseColor(const HXColor& color) { _eraseColor = color; }
    bool drawsBackground() const { return _drawsBackground; }
    void setDrawsBackground(bool flag) { _drawsBackground = flag; }
    double checkerboardSquareSize() const { return _checkerboard; }
    void setCheckerboardSquareSize(double size) { _checkerboard = size; }

    // Full screen: the view moves into a borderless window over the screen and comes back on exit.
    bool enterFullScreenMode(
        const std::optional<HXScreen>& screen, const HXPropertyList::Dictionary& options = {});
    virtual void exitFullScreenModeWithOptions(const HXPropertyList::Dictionary& options = {});
    bool isInFullScreenMode() const { return _fullScreenWindow != nullptr; }

    // One frame now: the render time moves on by the clock (unless paused) and the view is redrawn.
    void renderFrame();

    // HXView.
    bool isFlipped() const override { return true; }
    bool acceptsFirstResponder() const override { return true; }
    void drawRect(HXRect dirtyRect) override;

private:
    void scheduleTimer();

    std::shared_ptr<VCComposition> _composition;
    bool _safeMode = false;
    std::shared_ptr<HXTimer> _timer;
    bool _paused = false;
    double _renderTime = 0;
    double _lastTick = 0;
    double _frameRate = 30;
    std::deque<std::pair<double, double>> _frames; // (when, seconds spent drawing) over the last second
    HXColor _eraseColor = HXColor::blackColor();
    bool _drawsBackground = true;
    double _checkerboard = 0;
    std::shared_ptr<HXWindow> _fullScreenWindow;
    std::weak_ptr<HXView> _formerSuperview;
    HXRect _formerFrame {};
    std::weak_ptr<HXWindow> _formerWindow;
};
