#pragma once
// The sizing rules of the standard player window: the margins between movie and window, the window frame
// for a movie rectangle, sizing to a movie size with the aspect lock, live resizing with snapping to a table
// of scales, the natural-size zoom toggle and fit-to-screen.
//
// MVPMovieWindowControllerResizing holds the rules and the frame a toggle returns to; the player window's
// controller inherits it and answers the hooks below from its window, document, views and movie. All
// coordinates are screen coordinates, origin at the bottom left, y up.
#include "platform/drawing/geometry.h"

#include <array>
#include <cstdint>
#include <memory>

class HXView;
class HXWindow;
class MVPMovieWindowBevelView;

// Distances from the movie rectangle to the edges of the window's content area; `bottom` includes the
// controls strip.
struct MVPMovieWindowMargins {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    bool operator==(const MVPMovieWindowMargins&) const = default;
};

// The margins from the bevel view's border thicknesses (its min-x and min-y edges, and its max-x and max-y
// edges, as sizes in window coordinates) and the height of the controls strip in window coordinates.
MVPMovieWindowMargins MVPMovieWindowMarginsMake(
    const HXSize& bevelMinEdges, const HXSize& bevelMaxEdges, double controlsStripHeight);

// The margins of a player window from its views: the bevel view's border thicknesses and the height of the
// controls strip, in window coordinates.
MVPMovieWindowMargins MVPMovieWindowMarginsForViews(
    const MVPMovieWindowBevelView& bevelView, const HXView& controlsStrip);
// The smallest content area: 350 points (in the controls strip's units) by the strip's height.
HXSize MVPMinimumWindowContentSizeForControlsStrip(const HXView& controlsStrip);

// The largest rectangle of the proportions of `aspect` that fits `bounds`, centred in the other direction.
// An aspect with a component that is not a positive number has no proportions: the bounds are answered.
HXRect MVPBestRectWithAspectRatio(const HXRect& bounds, const HXSize& aspect);
// `rect` moved and sized onto whole pixels without growing: its size rounded to the nearest pixel and its
// centre kept as nearly as the grid allows. A picture of an odd width centred at a half pixel keeps its
// width rather than gaining a column.
HXRect MVPPixelAlignedRect(const HXRect& rect);
// The movie size for a scale of the natural size, in whole pixels (a 161-wide movie at 50% is 81 wide).
HXSize MVPScaledMovieSize(const HXSize& natural, const HXSize& factors);
// Each of the four edges of `a` lies strictly closer than `delta` to the same edge of `b`.
bool MVPEqualRectsWithinDelta(const HXRect& a, const HXRect& b, float delta);

// Where the bevel view goes after a resize: the rest of the content view above the controls strip.
HXRect MVPBevelFrameAboveControlsStrip(const HXRect& controlsStripFrame, const HXRect& contentViewBounds);

// The scales a live resize snaps to with Option held.
inline constexpr std::array<float, 11> magicScalesArray
    = { 0.125f, 0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f, 6.0f, 8.0f };
// The entry of magicScalesArray a scale snaps to: the nearest, an exact midpoint going to the larger one.
float MVPSnappedMagicScale(float scale);

class MVPMovieWindowControllerResizing {
public:
    virtual ~MVPMovieWindowControllerResizing() = default;

    // The window frame that shows the movie at `movieRect` (screen coordinates), with its chrome around it;
    // a movie narrower than the narrowest window stays centred in it.
    HXRect windowFrameForMovieViewScreenFrame(const HXRect& movieRect) const;
    // Sizes the window for a movie of `size`. resizeMode 0 keeps the top-left corner, 1 the top edge and the
    // horizontal centre; other modes place the window as the frame for a movie at the origin would be. The
    // window is then kept on the visible screen, its top and left edges winning.
    void setMovieSize(const HXSize& size, int resizeMode, bool animate);
    // setMovieSize of the natural size times the two factors, keeping the top edge and the centre.
    void setScale(const HXSize& factors, bool animate);

    // Live resizing (window delegate): the frame size the window may take for the proposed one.
    HXSize windowWillResize(const HXSize& proposedFrameSize);
    void windowDidResize();

    // The natural-size toggle: to the natural size, and back to the frame it left.
    void zoom();
    // Fit to the visible screen; with `toggle`, a second call close to the fitted frame goes back.
    void zoomWindow(bool toggle);
    // The fit-to-screen menu command: a toggle, like zoom.
    void fitToScreen() { zoomWindow(true); }

    // The frame a toggle returns to; the zero rectangle when there is none.
    HXRect userFrame() const { return _userFrame; }

    // Hooks answered by the window's controller.
    // YES while another window (full screen) shows the movie view: then nothing here sizes the window.
    virtual bool isMovieViewDetached() const = 0;
    virtual MVPMovieWindowMargins margins() const = 0;
    // The narrowest and lowest content area: 350 points by the height of the controls strip.
    virtual HXSize minimumWindowContentSize() const = 0;
    // The size the movie is shown at (the background view's content rectangle), in window coordinates.
    virtual HXSize movieSize() const = 0;

protected:
    // The window the rules size; the window hooks below answer from it (a controller without one, or
    // sizing something else, overrides them).
    virtual std::shared_ptr<HXWindow> resizedWindow() const { return nullptr; }
    virtual HXRect windowFrame() const;
    virtual void setWindowFrame(const HXRect& frame, bool display, bool animate);
    virtual HXRect windowFrameRectForContentRect(const HXRect& contentRect) const;
    virtual HXRect windowContentRectForFrameRect(const HXRect& frameRect) const;
    // The visible frame of the window's screen (without panels and docks); the main screen's for a window
    // on none.
    virtual HXRect visibleScreenFrame() const;
    // The modifier flags of the event being handled (Shift, Option, Caps Lock matter here); the keys held
    // now when there is none.
    virtual uint32_t currentModifierFlags() const;

    // The document's natural size (zero width or height: a movie without picture) and user size.
    virtual HXSize naturalSize() const = 0;
    virtual HXSize userSize() const = 0;
    virtual void setUserSize(const HXSize& size) = 0;
    // Whether the background view keeps the movie at its aspect ratio.
    virtual void setPreservesAspectRatio(bool preserves) = 0;
    // Size commands animate the window only for a movie drawn through a visual context.
    virtual bool usesVisualContext() const = 0;
    // Places the bevel view above the controls strip (see MVPBevelFrameAboveControlsStrip).
    virtual void layoutBevelAboveControlsStrip() = 0;

private:
    bool isSoundOnly() const;
    HXRect minimumFrame() const;
    HXRect fittedFrame(bool capsLock) const;

    HXRect _userFrame = HXZeroRect;
};
