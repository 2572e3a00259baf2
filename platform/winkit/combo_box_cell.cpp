#include "platform/winkit/combo_box_cell.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/control.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/view.h"

#include <algorithm>
#include <cctype>

namespace {

const HXSelector kItemChosen("_comboBoxItemChosen:");
constexpr const char* kAccessibilityExpandedAttribute = "AXExpanded";

bool startsWithIgnoringCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(),
            [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

} // namespace

// The data source's defaults

std::string HXComboBoxCellDataSource::completedString(HXComboBoxCell& cell, const std::string& string)
{
    if (string.empty())
        return {};
    long count = numberOfItemsInComboBoxCell(cell);
    for (long i = 0; i < count; ++i) {
        std::string value = objectValueForItemAtIndex(cell, i).stringValue();
        if (startsWithIgnoringCase(value, string))
            return value;
    }
    return {};
}

long HXComboBoxCellDataSource::indexOfItemWithStringValue(HXComboBoxCell& cell, const std::string& string)
{
    long count = numberOfItemsInComboBoxCell(cell);
    for (long i = 0; i < count; ++i) {
        if (objectValueForItemAtIndex(cell, i).stringValue() == string)
            return i;
    }
    return -1;
}

// The cell

HXComboBoxCell::HXComboBoxCell(std::string text)
    : HXTextFieldCell(std::move(text))
{
}

void HXComboBoxCell::setUsesDataSource(bool flag)
{
    _usesDataSource = flag;
    _selectedIndex = -1;
}

void HXComboBoxCell::reloadData()
{
    if (_selectedIndex >= numberOfItems())
        _selectedIndex = -1;
    noteChanged();
}

void HXComboBoxCell::addItemWithObjectValue(const HXPropertyList& value)
{
    _items.push_back(value);
}

void HXComboBoxCell::addItemsWithObjectValues(const std::vector<HXPropertyList>& values)
{
    _items.insert(_items.end(), values.begin(), values.end());
}

void HXComboBoxCell::insertItemWithObjectValue(const HXPropertyList& value, long index)
{
    index = std::clamp(index, 0L, long(_items.size()));
    _items.insert(_items.begin() + index, value);
    if (_selectedIndex >= index)
        ++_selectedIndex;
}

void HXComboBoxCell::removeItemWithObjectValue(const HXPropertyList& value)
{
    auto at = std::find(_items.begin(), _items.end(), value);
    if (at != _items.end())
        removeItemAtIndex(long(at - _items.begin()));
}

void HXComboBoxCell::removeItemAtIndex(long index)
{
    if (index < 0 || index >= long(_items.size()))
        return;
    _items.erase(_items.begin() + index);
    if (_selectedIndex == index)
        _selectedIndex = -1;
    else if (_selectedIndex > index)
        --_selectedIndex;
}

void HXComboBoxCell::removeAllItems()
{
    _items.clear();
    _selectedIndex = -1;
}

long HXComboBoxCell::numberOfItems() const
{
    if (!_usesDataSource)
        return long(_items.size());
    auto source = dataSource();
    return source ? std::max(0L, source->numberOfItemsInComboBoxCell(const_cast<HXComboBoxCell&>(*this))) : 0;
}

HXPropertyList HXComboBoxCell::itemObjectValueAtIndex(long index) const
{
    if (index < 0 || index >= numberOfItems())
        return {};
    if (!_usesDataSource)
        return _items[size_t(index)];
    auto source = dataSource();
    return source ? source->objectValueForItemAtIndex(const_cast<HXComboBoxCell&>(*this), index)
                  : HXPropertyList();
}

long HXComboBoxCell::indexOfItemWithObjectValue(const HXPropertyList& value) const
{
    if (_usesDataSource) {
        auto source = dataSource();
        return source
            ? source->indexOfItemWithStringValue(const_cast<HXComboBoxCell&>(*this), stringOfValue(value))
            : -1;
    }
    auto at = std::find(_items.begin(), _items.end(), value);
    return at == _items.end() ? -1 : long(at - _items.begin());
}

std::string HXComboBoxCell::stringOfValue(const HXPropertyList& value) const
{
    if (value.isString())
        return value.stringValue();
    if (value.isNumber() || value.isBoolean())
        return value.stringValue();
    return {};
}

HXPropertyList HXComboBoxCell::objectValueOfSelectedItem() const
{
    return _selectedIndex >= 0 ? itemObjectValueAtIndex(_selectedIndex) : HXPropertyList();
}

void HXComboBoxCell::selectItemAtIndex(long index)
{
    if (index < 0 || index >= numberOfItems()) {
        deselectItemAtIndex(_selectedIndex);
        return;
    }
    _selectedIndex = index;
    std::string text = stringOfValue(itemObjectValueAtIndex(index));
    if (auto* control = dynamic_cast<HXControl*>(controlView()))
        control->setStringValue(text);
    else
        setStringValue(text);
    postSelectionChange();
}

void HXComboBoxCell::selectItemWithObjectValue(const HXPropertyList& value)
{
    selectItemAtIndex(indexOfItemWithObjectValue(value));
}

void HXComboBoxCell::deselectItemAtIndex(long index)
{
    if (index < 0 || index != _selectedIndex)
        return;
    _selectedIndex = -1;
    postSelectionChange();
}

void HXComboBoxCell::postSelectionChange()
{
    const void* sender = controlView() ? static_cast<const void*>(controlView()) : this;
    HXNotificationCenter::defaultCenter().postNotificationName(
        HXComboBoxSelectionDidChangeNotification, sender);
}

void HXComboBoxCell::setButtonBordered(bool flag)
{
    _buttonBordered = flag;
    noteChanged();
}

std::shared_ptr<HXMenu> HXComboBoxCell::listMenu() const
{
    auto menu = std::make_shared<HXMenu>();
    menu->setAutoenablesItems(false);
    long count = numberOfItems();
    for (long i = 0; i < count; ++i) {
        auto item = menu->addItemWithTitle(stringOfValue(itemObjectValueAtIndex(i)), kItemChosen);
        item->setTag(i);
        item->setState(i == _selectedIndex ? HXOnState : HXOffState);
    }
    return menu;
}

bool HXComboBoxCell::popUp(HXView& controlView)
{
    if (_poppedUp || !isEnabled() || numberOfItems() == 0)
        return false;
    auto keep = shared_from_this();
    auto viewKeep = controlView.shared_from_this();
    auto menu = listMenu();
    long chosen = -1;
    auto receiver = std::make_shared<HXObject>();
    receiver->setActionHandler(kItemChosen, [&chosen](HXObject* sender) {
        if (auto* item = dynamic_cast<HXMenuItem*>(sender))
            chosen = item->tag();
    });
    for (auto& item : menu->itemArray())
        item->setTarget(receiver);

    auto& center = HXNotificationCenter::defaultCenter();
    center.postNotificationName(HXComboBoxWillPopUpNotification, &controlView);
    _poppedUp = true;
    HXAccessibility::postNotification(controlView, HXAccessibilityValueChangedNotification);
    HXRect b = controlView.bounds();
    HXPoint below { b.origin.x, controlView.isFlipped() ? HXMaxY(b) : HXMinY(b) };
    menu->popUpMenuPositioningItem(nullptr, below, std::static_pointer_cast<HXView>(viewKeep));
    _poppedUp = false;
    center.postNotificationName(HXComboBoxWillDismissNotification, &controlView);
    if (chosen < 0)
        return false;
    selectItemAtIndex(chosen);
    if (auto* control = dynamic_cast<HXControl*>(&controlView))
        control->sendAction();
    else
        sendAction();
    return true;
}

std::string HXComboBoxCell::completedString(const std::string& string)
{
    if (string.empty())
        return {};
    if (_usesDataSource) {
        auto source = dataSource();
        return source ? source->completedString(*this, string) : std::string();
    }
    for (auto& value : _items) {
        std::string text = stringOfValue(value);
        if (startsWithIgnoringCase(text, string))
            return text;
    }
    return {};
}

// Geometry and drawing

HXRect HXComboBoxCell::buttonRectForBounds(HXRect cellFrame) const
{
    double width = std::min(kButtonWidth, cellFrame.size.width);
    return { { HXMaxX(cellFrame) - width, cellFrame.origin.y }, { width, cellFrame.size.height } };
}

HXRect HXComboBoxCell::titleRectForBounds(HXRect bounds) const
{
    HXRect text = bounds;
    text.size.width = std::max(0.0, bounds.size.width - kButtonWidth);
    return HXTextFieldCell::titleRectForBounds(text);
}

HXSize HXComboBoxCell::cellSizeForBounds(HXRect bounds) const
{
    HXSize size = HXTextFieldCell::cellSizeForBounds({ bounds.origin, { 1e6, bounds.size.height } });
    size.width += kButtonWidth;
    return { std::min(size.width, bounds.size.width), size.height };
}

void HXComboBoxCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    HXTextFieldCell::drawWithFrame(cellFrame, controlView);
    HXRect button = buttonRectForBounds(cellFrame);
    if (_buttonBordered) {
        HXControlStyle::drawPanel(HXInsetRect(button, 1, 1),
            isHighlighted() || _poppedUp ? HXControlStyle::pressedFaceColor() : HXControlStyle::faceColor(),
            HXControlStyle::borderColor(), 3);
    }
    // A chevron pointing to where the list opens.
    double cx = HXMidX(button), cy = HXMidY(button);
    double down = controlView.isFlipped() ? 1 : -1;
    auto path = HXBezierPath::bezierPath();
    path.moveToPoint({ cx - 3.5, cy - down * 1.75 });
    path.lineToPoint({ cx, cy + down * 1.75 });
    path.lineToPoint({ cx + 3.5, cy - down * 1.75 });
    path.setLineWidth(1.5);
    HXControlStyle::textColor(isEnabled()).setStroke();
    path.stroke();
}

// Accessibility

std::vector<std::string> HXComboBoxCell::accessibilityAttributeNames() const
{
    auto names = HXTextFieldCell::accessibilityAttributeNames();
    names.push_back(kAccessibilityExpandedAttribute);
    return names;
}

HXAccessibilityValue HXComboBoxCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityComboBoxRole;
    if (attribute == kAccessibilityExpandedAttribute)
        return _poppedUp;
    return HXTextFieldCell::accessibilityAttributeValue(attribute);
}

std::vector<std::string> HXComboBoxCell::accessibilityActionNames() const
{
    return { HXAccessibilityShowMenuAction, HXAccessibilityConfirmAction };
}

void HXComboBoxCell::accessibilityPerformAction(const std::string& action)
{
    if (action == HXAccessibilityShowMenuAction && controlView())
        popUp(*controlView());
    else if (action == HXAccessibilityConfirmAction)
        sendAction();
}
