#pragma once
// MVPSkinWindow: the shaped window without title bar of a movie that carries a skin. The skin gives a
// clip region (the window's visible shape) and a drag region (where a press moves the window), both in
// the movie's natural coordinates with y growing downwards; MVPSkinFrame scales them to the window's
// present size and hands the shape to the window system. The zoom command toggles between the largest
// frame of the window's proportions on its screen and the frame it came from.
#include "player/window/movie_ui_window.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/region.h"

#include <optional>

// The transform that maps `from` onto `to` (scales and offsets; tx and ty in double precision).
HXAffineTransform MVPAffineTransformMakeRectToRect(const HXRect& from, const HXRect& to);
// Error of MVPNewRegionByTransformingRegion when the identity transform has nowhere to put its result.
inline constexpr int MVPRegionTransformNoResult = 1001;
// Maps every rectangle of `region` through `transform` into `*outRegion`. The identity gives the region
// itself; without `outRegion` the identity answers MVPRegionTransformNoResult (any other transform builds
// the region and drops it). 0 on success.
int MVPNewRegionByTransformingRegion(
    const HXRegion& region, const HXAffineTransform& transform, HXRegion* outRegion);

// HXWindow(MVPWindowAdditions): the window's frame with y measured down from the top of the first screen.
HXRect MVPWindowFlippedFrame(const HXWindow& window);
HXRect MVPFlippedFrame(const HXRect& frame, const HXRect& firstScreenFrame);

// The skin of a window: its regions in natural coordinates, scaled to the window's frame. The window
// system's frame view of a skinned window; here a part of MVPSkinWindow, which draws no frame of its own.
class MVPSkinFrame {
public:
    // A different region replaces the stored copy.
    void setClipRegion(const std::optional<HXRegion>& region);
    void setDragRegion(const std::optional<HXRegion>& region);
    // The natural rectangle both regions refer to.
    void setBoundingBox(const HXRect& box) { _defaultBounds = box; }
    const std::optional<HXRegion>& clipRegion() const { return _defaultClip; }
    const std::optional<HXRegion>& dragRegion() const { return _defaultDrag; }
    HXRect boundingBox() const { return _defaultBounds; }

    // The clip region scaled to a frame of `frameSize` (client pixels, y down); none without a clip.
    std::optional<HXRegion> shapeForFrameSize(const HXSize& frameSize) const;
    // The drag region scaled the same way; none without one.
    std::optional<HXRegion> dragAreaForFrameSize(const HXSize& frameSize) const;
    // Whether `point` (window base coordinates, y up) of a frame view at `frame` falls in the drag region.
    bool hitsDragRegion(const HXPoint& point, const HXRect& frame) const;

private:
    std::optional<HXRegion> scaled(const std::optional<HXRegion>& region, const HXSize& frameSize) const;

    std::optional<HXRegion> _defaultClip;
    std::optional<HXRegion> _defaultDrag;
    HXRect _defaultBounds {};
};

class MVPSkinWindow : public MVPMovieUIWindow {
public:
    MVPSkinWindow(HXRect contentRect, unsigned styleMask);
    ~MVPSkinWindow() override;

    bool canBecomeKeyWindow() const override { return true; }
    bool canBecomeMainWindow() const override { return isVisible() || isMiniaturized(); }

    // Hands the regions and their natural rectangle to the frame and reshapes the window.
    void setClipRegion(
        const std::optional<HXRegion>& clip, const std::optional<HXRegion>& drag, const HXRect& boundingBox);
    const MVPSkinFrame& skinFrame() const { return _frame; }
    // The drag area in the window's present size (client pixels, y down), as the window system has it.
    const std::optional<HXRegion>& dragArea() const { return _dragArea; }

    // The fitted frame, or with `toggle` back to the frame it came from when it is already fitted.
    void zoomWindow(bool toggle);
    HXRect userFrame() const { return _userFrame; }

    void performSkinClose(HXObject* sender);
    void performSkinZoom(HXObject* sender) { (void)sender, zoomWindow(true); }
    void fitToScreen(HXObject* sender) { (void)sender, zoomWindow(false); }

    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;
    // A press in the drag region moves the window; a double click there miniaturizes it when the user
    // wants that ("HXMiniaturizeOnDoubleClick"); every other event goes its usual way.
    void sendEvent(const HXEvent& event) override;

    // Scales the regions to the present frame: the window's shape and its drag area.
    void shapeWindow();

private:
    void dragWindowFrom(const HXEvent& down);

    MVPSkinFrame _frame;
    std::optional<HXRegion> _dragArea;
    HXRect _userFrame {};
    HXSize _shapedSize {};
    HXObserverToken _resizeObserver = 0;
};
