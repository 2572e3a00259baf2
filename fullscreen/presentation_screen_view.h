#pragma once
// FSPresentationScreenView: the arrangement of the displays as small rectangles, in which the user clicks
// the display to present on. The first display carries a menu-bar strip, the chosen one a frame and the
// program's small logo. A click sends the view's action to its target, a double click its double action.
// The presentation settings sheet and the full-screen preferences hold one.
#include "platform/drawing/color.h"
#include "platform/winkit/responder.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"

#include <memory>
#include <optional>
#include <vector>

// The transform that draws the union of `frames` centred in `bounds` inset by 8 points, scaled alike in
// both directions; none when there is nothing to draw (no screens, or a union or inset without area).
std::optional<HXAffineTransform> FSPresentationScreenViewTransform(
    const std::vector<HXRect>& frames, const HXRect& bounds);

class FSPresentationScreenView : public HXView {
public:
    explicit FSPresentationScreenView(HXRect frame = HXZeroRect);

    // Reads the free screens again: a selection that is no longer among them gives way to the first one.
    void updateScreens();
    const std::vector<HXScreen>& screens() const { return _screens; }
    void setScreens(std::vector<HXScreen> screens);
    const std::optional<HXScreen>& selectedScreen() const { return _selectedScreen; }
    void setSelectedScreen(const std::optional<HXScreen>& screen);
    const std::optional<HXScreen>& highlightedScreen() const { return _highlightedScreen; }
    const std::optional<HXAffineTransform>& affineTransform() const { return _affineTransform; }
    void setAffineTransform(const std::optional<HXAffineTransform>& transform) { _affineTransform = transform; }

    std::shared_ptr<HXObject> target() const { return _target.lock(); }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    HXSelector action() const { return _action; }
    void setAction(HXSelector action) { _action = action; }
    HXSelector doubleAction() const { return _doubleAction; }
    void setDoubleAction(HXSelector action) { _doubleAction = action; }

    static HXColor screenBackgroundColor();
    // The screen under a point of the view (the first in order whose frame holds it), or none.
    std::optional<HXScreen> screenAtPoint(HXPoint point);

    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void mouseDragged(const HXEvent& event) override;
    void mouseUp(const HXEvent& event) override;
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }

private:
    void ensureTransform();

    std::vector<HXScreen> _screens;
    std::optional<HXScreen> _selectedScreen;
    std::optional<HXScreen> _highlightedScreen;
    std::optional<HXAffineTransform> _affineTransform;
    std::weak_ptr<HXObject> _target;
    HXSelector _action;
    HXSelector _doubleAction;
};
