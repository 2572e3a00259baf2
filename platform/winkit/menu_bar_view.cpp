#include "platform/winkit/menu_bar_view.h"

#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/text_drawing.h"

namespace {
constexpr double kTitlePadding = 10;
constexpr double kFirstTitleX = 6;
const std::string kOverflowTitle = "\u00BB"; // the menus that do not fit

std::string titleOf(const HXMenuItem& item)
{
    return item.submenu()->title().empty() ? item.title() : item.submenu()->title();
}

double titleWidth(const std::string& title)
{
    return winkit::measureText(title, {}).width + 2 * kTitlePadding;
}
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

HXMenuBarView::Layout HXMenuBarView::layout() const
{
    Layout l;
    auto m = menu();
    if (!m)
        return l;
    std::vector<long> indexes;
    std::vector<double> widths;
    double total = kFirstTitleX;
    for (long i = 0; i < m->numberOfItems(); ++i) {
        auto item = m->itemAtIndex(i);
        if (!item->hasSubmenu() || item->isHidden())
            continue;
        indexes.push_back(i);
        widths.push_back(titleWidth(titleOf(*item)));
        total += widths.back();
    }
    // A window narrower than the bar keeps the titles that fit, and one more title at the end that
    // opens the others.
    const double available = bounds().size.width;
    const double overflowWidth = total > available ? titleWidth(kOverflowTitle) : 0;
    double x = kFirstTitleX;
    for (size_t i = 0; i < indexes.size(); ++i) {
        if (overflowWidth > 0 && (x + widths[i] > available - overflowWidth || !l.overflow.empty())) {
            l.overflow.push_back(indexes[i]);
            continue;
        }
        l.indexes.push_back(indexes[i]);
        l.rects.push_back({ { x, 0 }, { widths[i], bounds().size.height } });
        x += widths[i];
    }
    if (!l.overflow.empty())
        l.overflowRect = { { x, 0 }, { overflowWidth, bounds().size.height } };
    return l;
}

std::vector<HXRect> HXMenuBarView::titleRects() const
{
    return layout().rects;
}

HXRect HXMenuBarView::overflowRect() const
{
    return layout().overflowRect;
}

void HXMenuBarView::drawRect(HXRect)
{
    winkit::fillRect(bounds(), HXColor::colorWithCalibratedWhite(0.93), true);
    winkit::fillRect({ { 0, 0 }, { bounds().size.width, 1 } }, HXColor::colorWithCalibratedWhite(0.75));
    auto m = menu();
    if (!m)
        return;
    auto l = layout();
    auto drawTitle = [](const std::string& title, HXRect rect, bool highlighted) {
        winkit::TextStyle style;
        style.centered = true;
        if (highlighted) {
            winkit::fillRect(rect, HXColor::selectedControlColor());
            style.color = HXColor::whiteColor();
        }
        winkit::drawText(title, rect, style);
    };
    for (size_t i = 0; i < l.rects.size(); ++i)
        drawTitle(titleOf(*m->itemAtIndex(l.indexes[i])), l.rects[i], l.indexes[i] == _highlighted);
    if (!l.overflow.empty())
        drawTitle(kOverflowTitle, l.overflowRect, _highlighted == kOverflowHighlighted);
}

void HXMenuBarView::mouseDown(const HXEvent& event)
{
    auto m = menu();
    if (!m)
        return;
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    auto l = layout();
    auto self = std::static_pointer_cast<HXView>(shared_from_this());
    auto popUp = [&](long highlighted, const std::shared_ptr<HXMenu>& submenu, HXRect rect) {
        _highlighted = highlighted;
        setNeedsDisplay(true);
        displayIfNeeded();
        submenu->popUpMenuPositioningItem(nullptr, { rect.origin.x, 0 }, self);
        _highlighted = -1;
        setNeedsDisplay(true);
    };
    for (size_t i = 0; i < l.rects.size(); ++i) {
        if (HXMouseInRect(p, l.rects[i], isFlipped()))
            return popUp(l.indexes[i], m->itemAtIndex(l.indexes[i])->submenu(), l.rects[i]);
    }
    if (l.overflow.empty() || !HXMouseInRect(p, l.overflowRect, isFlipped()))
        return;
    // The menus that do not fit, each as a submenu of one menu; they go back to the bar afterwards.
    auto more = std::make_shared<HXMenu>(kOverflowTitle);
    for (long index : l.overflow) {
        auto item = m->itemAtIndex(index);
        auto entry = more->addItemWithTitle(titleOf(*item), HXSelector());
        more->setSubmenu(item->submenu(), entry);
    }
    popUp(kOverflowHighlighted, more, l.overflowRect);
    for (long index : l.overflow) {
        auto item = m->itemAtIndex(index);
        m->setSubmenu(item->submenu(), item);
    }
}
