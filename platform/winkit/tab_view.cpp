#include "platform/winkit/tab_view.h"

#include "platform/drawing/attributed_string.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/cell.h"
#include "platform/winkit/window.h"

#include <algorithm>

HXTabViewItem::HXTabViewItem(std::string identifier)
    : _identifier(std::move(identifier))
    , _label(_identifier)
{
}

void HXTabViewItem::setLabel(const std::string& label)
{
    _label = label;
    if (_tabView)
        _tabView->setNeedsDisplay(true);
}

void HXTabViewItem::setView(const std::shared_ptr<HXView>& view)
{
    bool shown = _view && _view->superview() && _tabView && _tabView->selectedTabViewItem().get() == this;
    if (shown)
        _view->removeFromSuperview();
    _view = view;
    if (shown && _tabView)
        _tabView->selectTabViewItem(std::static_pointer_cast<HXTabViewItem>(shared_from_this()));
}

HXTabState HXTabViewItem::tabState() const
{
    return _tabView && _tabView->selectedTabViewItem().get() == this ? HXSelectedTab : HXBackgroundTab;
}

HXTabView::HXTabView(HXRect frame)
    : HXView(frame)
{
}

HXTabView::~HXTabView()
{
    for (auto& item : _items)
        item->setTabView(nullptr);
}

void HXTabView::addTabViewItem(const std::shared_ptr<HXTabViewItem>& item) { insertTabViewItem(item, numberOfTabViewItems()); }

void HXTabView::insertTabViewItem(const std::shared_ptr<HXTabViewItem>& item, long index)
{
    if (!item || indexOfTabViewItem(item) >= 0)
        return;
    index = std::clamp(index, 0L, numberOfTabViewItems());
    item->setTabView(this);
    _items.insert(_items.begin() + index, item);
    if (!_selected)
        selectTabViewItem(item);
    setNeedsDisplay(true);
    if (auto d = delegate())
        d->didChangeNumberOfTabViewItems(*this);
}

void HXTabView::removeTabViewItem(const std::shared_ptr<HXTabViewItem>& item)
{
    long index = indexOfTabViewItem(item);
    if (index < 0)
        return;
    if (_selected == item) {
        if (item->view())
            item->view()->removeFromSuperview();
        _selected = nullptr;
    }
    item->setTabView(nullptr);
    _items.erase(_items.begin() + index);
    if (!_selected && !_items.empty())
        selectTabViewItemAtIndex(std::min(index, numberOfTabViewItems() - 1));
    setNeedsDisplay(true);
    if (auto d = delegate())
        d->didChangeNumberOfTabViewItems(*this);
}

long HXTabView::indexOfTabViewItem(const std::shared_ptr<HXTabViewItem>& item) const
{
    auto it = std::find(_items.begin(), _items.end(), item);
    return it == _items.end() ? -1 : long(it - _items.begin());
}

long HXTabView::indexOfTabViewItemWithIdentifier(const std::string& identifier) const
{
    for (size_t i = 0; i < _items.size(); ++i)
        if (_items[i]->identifier() == identifier)
            return long(i);
    return -1;
}

std::shared_ptr<HXTabViewItem> HXTabView::tabViewItemAtIndex(long index) const
{
    return index >= 0 && index < numberOfTabViewItems() ? _items[size_t(index)] : nullptr;
}

bool HXTabView::selectTabViewItem(const std::shared_ptr<HXTabViewItem>& item)
{
    if (!item || indexOfTabViewItem(item) < 0)
        return false;
    auto d = delegate();
    if (item != _selected) {
        if (d && !d->shouldSelectTabViewItem(*this, *item))
            return false;
        if (d)
            d->willSelectTabViewItem(*this, *item);
    }
    // The window's focus leaves the pane going away.
    if (_selected && _selected != item && _selected->view()) {
        auto window = this->window();
        auto focus = window ? std::dynamic_pointer_cast<HXView>(window->firstResponder()) : nullptr;
        if (focus && (focus == _selected->view() || focus->isDescendantOf(*_selected->view())))
            window->makeFirstResponder(nullptr);
        _selected->view()->removeFromSuperview();
    }
    bool changed = item != _selected;
    _selected = item;
    placeSelectedView();
    setNeedsDisplay(true);
    if (changed) {
        if (d)
            d->didSelectTabViewItem(*this, *item);
        HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
    }
    return true;
}

bool HXTabView::selectTabViewItemWithIdentifier(const std::string& identifier)
{
    return selectTabViewItemAtIndex(indexOfTabViewItemWithIdentifier(identifier));
}

void HXTabView::selectNextTabViewItem(HXObject*)
{
    long index = indexOfTabViewItem(_selected);
    if (index + 1 < numberOfTabViewItems())
        selectTabViewItemAtIndex(index + 1);
}

void HXTabView::selectPreviousTabViewItem(HXObject*)
{
    long index = indexOfTabViewItem(_selected);
    if (index > 0)
        selectTabViewItemAtIndex(index - 1);
}

void HXTabView::placeSelectedView()
{
    if (!_selected || !_selected->view())
        return;
    auto view = _selected->view();
    if (view->superview().get() != this)
        addSubview(view);
    view->setFrame(contentRect());
}

void HXTabView::setTabViewType(HXTabViewType type)
{
    _type = type;
    placeSelectedView();
    setNeedsDisplay(true);
}

void HXTabView::setFont(const HXFont& font)
{
    _font = font;
    setNeedsDisplay(true);
}

void HXTabView::setControlSize(HXControlSize size)
{
    _controlSize = size;
    _font = _font.fontWithSize(HXFont::systemFontSizeForControlSize(size));
    setNeedsDisplay(true);
}

void HXTabView::setFrame(HXRect frame)
{
    HXView::setFrame(frame);
    placeSelectedView();
}

HXRect HXTabView::contentRect() const
{
    HXRect b = bounds();
    switch (_type) {
    case HXTopTabsBezelBorder:
        return HXInsetRect({ { b.origin.x, b.origin.y + tabHeight() }, { b.size.width, std::max(0.0, b.size.height - tabHeight()) } }, 8, 8);
    case HXNoTabsNoBorder:
        return b;
    default:
        return HXInsetRect(b, 2, 2);
    }
}

HXRect HXTabView::rectOfTabAtIndex(long index) const
{
    if (_type != HXTopTabsBezelBorder || index < 0 || index >= numberOfTabViewItems())
        return HXZeroRect;
    HXStringAttributes a;
    a.font = _font;
    std::vector<double> widths;
    double total = 0;
    for (const auto& item : _items) {
        widths.push_back(HXStringDrawing::sizeWithAttributes(item->label(), a).width + 24);
        total += widths.back();
    }
    // The tabs are centred along the top edge.
    double x = bounds().origin.x + std::max(0.0, (bounds().size.width - total) / 2);
    for (long i = 0; i < index; ++i)
        x += widths[size_t(i)];
    return { { x, bounds().origin.y + 2 }, { widths[size_t(index)], tabHeight() - 4 } };
}

std::shared_ptr<HXTabViewItem> HXTabView::tabViewItemAtPoint(HXPoint point) const
{
    for (long i = 0; i < numberOfTabViewItems(); ++i)
        if (HXMouseInRect(point, rectOfTabAtIndex(i), true))
            return _items[size_t(i)];
    return nullptr;
}

void HXTabView::drawRect(HXRect)
{
    if (_type == HXNoTabsNoBorder)
        return;
    HXRect pane = _type == HXTopTabsBezelBorder
        ? HXRect { { bounds().origin.x, bounds().origin.y + tabHeight() / 2 }, { bounds().size.width, bounds().size.height - tabHeight() / 2 } }
        : bounds();
    HXControlStyle::drawPanel(pane, HXColor::colorWithCalibratedWhite(0, 0.03), HXColor::colorWithCalibratedWhite(0, 0.16), 6);
    if (_type != HXTopTabsBezelBorder || _items.empty())
        return;
    // One segmented strip: the selected segment in the accent colour.
    HXRect strip = HXUnionRect(rectOfTabAtIndex(0), rectOfTabAtIndex(numberOfTabViewItems() - 1));
    HXControlStyle::drawPanel(strip, HXControlStyle::faceColor(), HXControlStyle::borderColor(), 5);
    bool focused = window() && window()->isKeyWindow() && window()->firstResponder().get() == this;
    for (long i = 0; i < numberOfTabViewItems(); ++i) {
        HXRect r = rectOfTabAtIndex(i);
        bool selected = _items[size_t(i)] == _selected;
        if (selected || i == _pressed) {
            HXColor fill = selected ? HXControlStyle::accentColor() : HXControlStyle::pressedFaceColor();
            HXControlStyle::drawPanel(HXInsetRect(r, 1, 1), fill, fill, 4);
        } else if (i > 0) {
            HXControlStyle::borderColor().setFill();
            HXBezierPath::fillRect({ { r.origin.x, r.origin.y + 4 }, { 1, r.size.height - 8 } });
        }
        HXStringAttributes a;
        a.font = _font;
        a.foregroundColor = selected ? HXColor::whiteColor() : HXControlStyle::textColor(true);
        a.paragraphStyle = HXParagraphStyle { HXCenterTextAlignment, HXLineBreakByTruncatingTail };
        double h = HXStringDrawing::sizeWithAttributes("Ag", a).height;
        HXStringDrawing::drawInRect(_items[size_t(i)]->label(), { { r.origin.x, HXMidY(r) - h / 2 }, { r.size.width, h } }, a);
        if (selected && focused)
            HXControlStyle::drawFocusRing(HXInsetRect(r, 1, 1));
    }
}

void HXTabView::mouseDown(const HXEvent& event)
{
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    auto item = tabViewItemAtPoint(p);
    if (!item)
        return;
    selectTabViewItem(item);
}

void HXTabView::keyDown(const HXEvent& event)
{
    switch (event.firstCharacterIgnoringModifiers()) {
    case HXLeftArrowFunctionKey:
        selectPreviousTabViewItem();
        return;
    case HXRightArrowFunctionKey:
        selectNextTabViewItem();
        return;
    default:
        HXView::keyDown(event);
    }
}

bool HXTabView::becomeFirstResponder()
{
    setNeedsDisplay(true);
    return true;
}

bool HXTabView::resignFirstResponder()
{
    setNeedsDisplay(true);
    return true;
}

std::vector<std::string> HXTabView::accessibilityAttributeNames() const
{
    auto names = HXAccessibilityElement::accessibilityAttributeNames();
    names.push_back(HXAccessibilityValueAttribute);
    names.push_back(HXAccessibilityTabsAttribute);
    return names;
}

HXAccessibilityValue HXTabView::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityTabGroupRole;
    if (attribute == HXAccessibilityValueAttribute)
        return _selected ? _selected->label() : std::string();
    if (attribute == HXAccessibilityTabsAttribute) {
        std::string labels;
        for (const auto& item : _items)
            labels += (labels.empty() ? "" : "\n") + item->label();
        return labels;
    }
    return HXAccessibilityElement::accessibilityAttributeValue(attribute);
}

bool HXTabView::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityValueAttribute || HXAccessibilityElement::accessibilityIsAttributeSettable(attribute);
}

void HXTabView::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute != HXAccessibilityValueAttribute) {
        HXAccessibilityElement::accessibilitySetValue(value, attribute);
        return;
    }
    for (const auto& item : _items)
        if (item->label() == value.stringValue()) {
            selectTabViewItem(item);
            return;
        }
}
