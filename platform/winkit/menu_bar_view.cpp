#include "platform/winkit/menu_bar_view.h"

#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/text_drawing.h"

namespace {
constexpr double kTitlePadding = 10;
constexpr double kFirstTitleX = 6;
}  // namespace

HXMenuBarView::HXMenuBarView(HXRect frame)
    : HXView(frame)
{
    setAutoresizingMask(HXViewWidthSizable | HXViewMinYMargin);
}

std::shared_ptr<HXMenu> HXMenuBarView::menu() const
{
    if (_menu)
        return _menu;
    return HXApplication::hasSharedApplication() ? HXApplication::sharedApplication()->mainMenu() : nullptr;
}

std::vector<long> HXMenuBarView::titledItemIndexes() const
{
    std::vector<long> indexes;
    if (auto m = menu()) {
        for (long i = 0; i < m->numberOfItems(); ++i) {
            auto item = m->itemAtIndex(i);
            if (item->hasSubmenu() && !item->isHidden())
                indexes.push_back(i);
        }
    }
    return indexes;
}

std::vector<HXRect> HXMenuBarView::titleRects() const
{
    std::vector<HXRect> rects;
    auto m = menu();
    if (!m)
        return rects;
    double x = kFirstTitleX;
    for (long i : titledItemIndexes()) {
        auto item = m->itemAtIndex(i);
        std::string title = item->submenu()->title().empty() ? item->title() : item->submenu()->title();
        double width = winkit::measureText(title, {}).width + 2 * kTitlePadding;
        rects.push_back({ { x, 0 }, { width, bounds().size.height } });
        x += width;
    }
    return rects;
}

void HXMenuBarView::drawRect(HXRect)
{
    winkit::fillRect(bounds(), HXColor::colorWithCalibratedWhite(0.93), true);
    winkit::fillRect({ { 0, 0 }, { bounds().size.width, 1 } }, HXColor::colorWithCalibratedWhite(0.75));
    auto m = menu();
    if (!m)
        return;
    auto rects = titleRects();
    auto indexes = titledItemIndexes();
    for (size_t i = 0; i < rects.size(); ++i) {
        auto item = m->itemAtIndex(indexes[i]);
        std::string title = item->submenu()->title().empty() ? item->title() : item->submenu()->title();
        winkit::TextStyle style;
        style.centered = true;
        if (long(indexes[i]) == _highlighted) {
            winkit::fillRect(rects[i], HXColor::selectedControlColor());
            style.color = HXColor::whiteColor();
        }
        winkit::drawText(title, rects[i], style);
    }
}

void HXMenuBarView::mouseDown(const HXEvent& event)
{
    auto m = menu();
    if (!m)
        return;
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    auto rects = titleRects();
    auto indexes = titledItemIndexes();
    for (size_t i = 0; i < rects.size(); ++i) {
        if (!HXMouseInRect(p, rects[i], isFlipped()))
            continue;
        auto submenu = m->itemAtIndex(indexes[i])->submenu();
        _highlighted = indexes[i];
        setNeedsDisplay(true);
        displayIfNeeded();
        auto self = std::static_pointer_cast<HXView>(shared_from_this());
        submenu->popUpMenuPositioningItem(nullptr, { rects[i].origin.x, 0 }, self);
        _highlighted = -1;
        setNeedsDisplay(true);
        return;
    }
}
