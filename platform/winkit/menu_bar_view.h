#pragma once
// HXMenuBarView: the application's main menu drawn as a bar at the top of a document window. A click on a
// title opens that menu below it.
#include "platform/winkit/view.h"

#include <memory>
#include <vector>

class HXMenu;

class HXMenuBarView : public HXView {
public:
    explicit HXMenuBarView(HXRect frame);

    // The menu shown (the application's main menu unless set).
    std::shared_ptr<HXMenu> menu() const;
    void setMenu(const std::shared_ptr<HXMenu>& menu) { _menu = menu; setNeedsDisplay(true); }
    // The titles' rectangles (bounds coordinates), one per top-level item with a submenu, in order, as
    // far as they fit; the menus that do not fit open from one more title at the end (overflowRect,
    // empty when all fit).
    std::vector<HXRect> titleRects() const;
    HXRect overflowRect() const;
    long highlightedIndex() const { return _highlighted; }

    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    bool isOpaque() const override { return true; }
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }
    bool mouseDownCanMoveWindow() const override { return false; }

private:
    struct Layout {
        std::vector<long> indexes; // of the menu's items whose titles show
        std::vector<HXRect> rects; // theirs
        std::vector<long> overflow; // the items that open from the overflow title
        HXRect overflowRect {};
    };
    Layout layout() const;
    static constexpr long kOverflowHighlighted = -2;

    std::shared_ptr<HXMenu> _menu;
    long _highlighted = -1;
};
