#include "platform/winkit/toolbar.h"

#include "platform/drawing/attributed_string.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/cell.h"
#include "platform/winkit/event.h"
#include "platform/winkit/window.h"

#include <algorithm>

namespace {

constexpr double kIconSize = 32;
constexpr double kMinItemWidth = 56;
constexpr double kItemPadding = 8;
constexpr double kLabelFontSize = 11;

HXStringAttributes labelAttributes(bool enabled)
{
    HXStringAttributes attributes;
    attributes.font = HXFont::systemFontOfSize(kLabelFontSize);
    attributes.foregroundColor = HXControlStyle::textColor(enabled);
    return attributes;
}

bool contains(const std::vector<std::string>& list, const std::string& value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

// ---- Items ----

std::vector<std::string> HXToolbarItem::accessibilityAttributeNames() const
{
    return { HXAccessibilityRoleAttribute, HXAccessibilityRoleDescriptionAttribute, HXAccessibilityTitleAttribute,
        HXAccessibilityHelpAttribute, HXAccessibilityEnabledAttribute };
}

HXAccessibilityValue HXToolbarItem::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityButtonRole;
    if (attribute == HXAccessibilityRoleDescriptionAttribute)
        return HXAccessibility::roleDescription(HXAccessibilityButtonRole);
    if (attribute == HXAccessibilityTitleAttribute)
        return _label;
    if (attribute == HXAccessibilityHelpAttribute)
        return _toolTip;
    if (attribute == HXAccessibilityEnabledAttribute)
        return _enabled;
    return {};
}

std::vector<std::string> HXToolbarItem::accessibilityActionNames() const
{
    return _enabled ? std::vector<std::string> { HXAccessibilityPressAction } : std::vector<std::string> {};
}

void HXToolbarItem::accessibilityPerformAction(const std::string& action)
{
    if (action == HXAccessibilityPressAction && _toolbar)
        _toolbar->performItemAction(_identifier);
}

// ---- Toolbar ----

HXToolbar::HXToolbar(std::string identifier)
    : _identifier(std::move(identifier))
{
}

HXToolbar::~HXToolbar()
{
    for (auto& item : _items)
        item->_toolbar = nullptr;
}

void HXToolbar::setDelegate(const std::shared_ptr<HXToolbarDelegate>& delegate)
{
    _delegate = delegate;
    reload();
}

void HXToolbar::reload()
{
    for (auto& item : _items)
        item->_toolbar = nullptr;
    _items.clear();
    if (auto delegate = _delegate.lock()) {
        auto allowed = delegate->toolbarAllowedItemIdentifiers(*this);
        for (const auto& identifier : delegate->toolbarDefaultItemIdentifiers(*this)) {
            if (!contains(allowed, identifier) || itemWithIdentifier(identifier))
                continue;
            if (auto item = delegate->toolbarItemForItemIdentifier(*this, identifier, true)) {
                item->_toolbar = this;
                _items.push_back(item);
            }
        }
    }
    if (!_selected.empty() && !itemWithIdentifier(_selected))
        _selected.clear();
    itemsChanged();
}

std::shared_ptr<HXToolbarItem> HXToolbar::itemWithIdentifier(const std::string& identifier) const
{
    for (const auto& item : _items)
        if (item->itemIdentifier() == identifier)
            return item;
    return nullptr;
}

void HXToolbar::insertItemWithItemIdentifier(const std::string& identifier, long index)
{
    auto delegate = _delegate.lock();
    if (!delegate || !contains(delegate->toolbarAllowedItemIdentifiers(*this), identifier) || itemWithIdentifier(identifier))
        return;
    auto item = delegate->toolbarItemForItemIdentifier(*this, identifier, true);
    if (!item)
        return;
    item->_toolbar = this;
    index = std::clamp<long>(index, 0, long(_items.size()));
    _items.insert(_items.begin() + index, item);
    itemsChanged();
}

void HXToolbar::removeItemAtIndex(long index)
{
    if (index < 0 || index >= long(_items.size()))
        return;
    if (_items[size_t(index)]->itemIdentifier() == _selected)
        _selected.clear();
    _items[size_t(index)]->_toolbar = nullptr;
    _items.erase(_items.begin() + index);
    itemsChanged();
}

void HXToolbar::setSelectedItemIdentifier(const std::string& identifier)
{
    if (identifier.empty()) {
        _selected.clear();
    } else {
        auto delegate = _delegate.lock();
        if (!delegate || !itemWithIdentifier(identifier)
            || !contains(delegate->toolbarSelectableItemIdentifiers(*this), identifier))
            return;
        _selected = identifier;
    }
    if (_view)
        _view->setNeedsDisplay(true);
}

void HXToolbar::setVisible(bool flag)
{
    if (flag == _visible)
        return;
    double oldHeight = _visible ? height() : 0;
    _visible = flag;
    if (_window)
        _window->toolbarHeightDidChange(oldHeight);
}

void HXToolbar::setDisplayMode(HXToolbarDisplayMode mode)
{
    if (mode == _displayMode)
        return;
    double oldHeight = _visible ? height() : 0;
    _displayMode = mode;
    if (_window)
        _window->toolbarHeightDidChange(oldHeight);
    if (_view)
        _view->setNeedsDisplay(true);
}

double HXToolbar::height() const
{
    switch (_displayMode) {
    case HXToolbarDisplayModeIconOnly:
        return kIconSize + 2 * kItemPadding;
    case HXToolbarDisplayModeLabelOnly:
        return 28;
    default:
        return kIconSize + 2 * kItemPadding + kLabelFontSize + 6;
    }
}

void HXToolbar::itemsChanged()
{
    if (_view)
        _view->setNeedsDisplay(true);
}

void HXToolbar::validateVisibleItems()
{
    auto app = HXApplication::sharedApplication();
    for (auto& item : _items) {
        if (!item->action()) {
            continue;
        }
        auto target = item->target();
        HXObject* receiver = target ? target.get() : app->targetForAction(item->action(), nullptr, item.get());
        bool enabled = receiver && receiver->validateUserInterfaceItem(*item);
        if (enabled != item->isEnabled()) {
            item->setEnabled(enabled);
            itemsChanged();
        }
    }
}

bool HXToolbar::performItemAction(const std::string& identifier)
{
    auto item = itemWithIdentifier(identifier);
    if (!item || !item->isEnabled())
        return false;
    if (auto delegate = _delegate.lock(); delegate && contains(delegate->toolbarSelectableItemIdentifiers(*this), identifier))
        setSelectedItemIdentifier(identifier);
    if (!item->action())
        return false;
    if (auto target = item->target())
        return target->performAction(item->action(), item.get());
    return HXApplication::sharedApplication()->sendAction(item->action(), nullptr, item.get());
}

std::shared_ptr<HXToolbarView> HXToolbar::toolbarView()
{
    if (!_view)
        _view = std::make_shared<HXToolbarView>(this);
    return _view;
}

std::vector<std::string> HXToolbar::accessibilityAttributeNames() const
{
    return { HXAccessibilityRoleAttribute, HXAccessibilityRoleDescriptionAttribute, HXAccessibilityChildrenAttribute };
}

HXAccessibilityValue HXToolbar::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityToolbarRole;
    if (attribute == HXAccessibilityRoleDescriptionAttribute)
        return HXAccessibility::roleDescription(HXAccessibilityToolbarRole);
    if (attribute == HXAccessibilityChildrenAttribute) {
        HXAccessibilityValue::Elements children(_items.begin(), _items.end());
        return children;
    }
    return {};
}

// ---- The view ----

HXToolbarView::HXToolbarView(HXToolbar* toolbar)
    : HXView(HXZeroRect)
    , _toolbar(toolbar)
{
    setAutoresizingMask(HXViewWidthSizable | HXViewMinYMargin);
}

std::vector<HXRect> HXToolbarView::itemRects() const
{
    std::vector<HXRect> rects;
    if (!_toolbar)
        return rects;
    double x = kItemPadding;
    double h = bounds().size.height;
    for (const auto& item : _toolbar->items()) {
        double width = kMinItemWidth;
        if (_toolbar->displayMode() != HXToolbarDisplayModeIconOnly)
            width = std::max(width, HXStringDrawing::sizeWithAttributes(item->label(), labelAttributes(true)).width + 2 * kItemPadding);
        rects.push_back({ { x, 2 }, { width, std::max(0.0, h - 4) } });
        x += width + 2;
    }
    return rects;
}

void HXToolbarView::drawRect(HXRect)
{
    HXRect b = bounds();
    HXControlStyle::faceColor().setFill();
    HXBezierPath::fillRect(b);
    HXControlStyle::borderColor().setStroke();
    HXBezierPath::strokeLineFromPoint({ b.origin.x, b.origin.y + 0.5 }, { HXMaxX(b), b.origin.y + 0.5 });
    if (!_toolbar)
        return;
    auto rects = itemRects();
    const auto& items = _toolbar->items();
    auto mode = _toolbar->displayMode();
    for (size_t i = 0; i < items.size(); ++i) {
        const auto& item = *items[i];
        HXRect r = rects[i];
        if (item.itemIdentifier() == _toolbar->selectedItemIdentifier())
            HXControlStyle::drawPanel(r, HXControlStyle::pressedFaceColor(), HXControlStyle::borderColor());
        if (mode != HXToolbarDisplayModeLabelOnly && item.image()) {
            HXRect icon { { HXMidX(r) - kIconSize / 2, HXMaxY(r) - kItemPadding + 2 - kIconSize }, { kIconSize, kIconSize } };
            item.image()->drawInRect(icon, HXZeroRect, HXCompositeSourceOver, item.isEnabled() ? 1.0 : 0.4);
        }
        if (mode != HXToolbarDisplayModeIconOnly) {
            auto attributes = labelAttributes(item.isEnabled());
            HXSize size = HXStringDrawing::sizeWithAttributes(item.label(), attributes);
            double y = mode == HXToolbarDisplayModeLabelOnly ? HXMidY(r) - size.height / 2 : r.origin.y + 2;
            HXStringDrawing::drawAtPoint(item.label(), { HXMidX(r) - size.width / 2, y }, attributes);
        }
    }
}

void HXToolbarView::mouseDown(const HXEvent& event)
{
    if (!_toolbar)
        return;
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    auto rects = itemRects();
    const auto& items = _toolbar->items();
    for (size_t i = 0; i < rects.size() && i < items.size(); ++i)
        if (HXPointInRect(p, rects[i])) {
            // Keep the item alive through its action (which may rebuild the toolbar).
            auto item = items[i];
            _toolbar->performItemAction(item->itemIdentifier());
            return;
        }
}
