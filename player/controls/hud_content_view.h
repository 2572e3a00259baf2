#pragma once
// HUDContentView: the rounded content of a heads-up panel — a title bar (19 points, or the 14-point
// inspector bar with the utility style) with the window's title and a close button, the body below it,
// and divider lines under the subviews when asked for.
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/view.h"

#include <memory>
#include <vector>

class HXButton;

// The utility-window style bit: the small inspector title bar.
inline constexpr unsigned HUDUtilityWindowMask = 16;

class HUDContentView : public HXView {
public:
    // A content view with its close button in place (a view made with the constructor gets it when it
    // goes into a window).
    static std::shared_ptr<HUDContentView> initWithFrame(HXRect frame, unsigned styleMask = 0);
    explicit HUDContentView(HXRect frame, unsigned styleMask = 0);

    const std::shared_ptr<HXButton>& closeButton() const { return _closeButton; }
    void setDividedSubViews(bool flag);
    bool dividesSubViews() const { return _divideSubviews; }
    void setBackgroundOpacity(float opacity);
    float backgroundOpacity() const { return _opacity; }
    unsigned styleMask() const { return _styleMask; }
    void setStyleMask(unsigned styleMask);
    // Closes the window the view is in (as its close button does).
    void closeButtonPressed(HXObject* sender = nullptr);

    // The bounds less the title bar, never of negative height.
    HXRect contentRect() const;

    bool acceptsFirstMouse(const HXEvent*) const override { return true; }
    bool mouseDownCanMoveWindow() const override { return true; }
    void drawRect(HXRect dirtyRect) override;
    void viewDidMoveToWindow() override;

    // Geometry of the drawing, for a view of `size`.
    static double titleBarHeight(unsigned styleMask) { return styleMask & HUDUtilityWindowMask ? 14 : 19; }
    static HXBezierPath titleBarPath(HXSize size, unsigned styleMask);
    static HXBezierPath mainBoxPath(HXSize size, unsigned styleMask);
    // The close button's frame for a button of `buttonSize` in `bounds`.
    static HXRect closeButtonFrame(HXRect bounds, HXSize buttonSize, unsigned styleMask);
    // Where the title of `textSize` is drawn.
    static HXRect titleRect(HXSize size, HXSize textSize, unsigned styleMask);
    // The divider lines: under every subview that is not a button and lies above the title-bar band.
    std::vector<HXRect> dividerRects() const;

private:
    void addCloseButton();
    void placeCloseButton();

    std::shared_ptr<HXButton> _closeButton;
    float _opacity = 0.75f;
    bool _divideSubviews = true;
    unsigned _styleMask = 0;
};
