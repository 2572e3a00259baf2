#include "platform/winkit/pop_up_button_cell.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/control.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/view.h"

#include <algorithm>

namespace {
constexpr double kArrowArea = 20;
const HXSelector kChosenAction("_popUpItemChosen:");
}  // namespace

HXPopUpButtonCell::HXPopUpButtonCell(std::string title, bool pullsDown)
    : HXButtonCell(std::move(title))
    , _pullsDown(pullsDown)
{
    HXCell::setMenu(std::make_shared<HXMenu>());
    setAlignment(HXLeftTextAlignment);
    setActionHandler(kChosenAction, [this](HXObject* sender) {
        if (auto* item = dynamic_cast<HXMenuItem*>(sender))
            for (const auto& i : itemArray())
                if (i.get() == item)
                    _chosen = i;
    });
}

void HXPopUpButtonCell::setPullsDown(bool flag)
{
    _pullsDown = flag;
    synchronizeTitleAndSelectedItem();
}

bool HXPopUpButtonCell::autoenablesItems() const { return menu()->autoenablesItems(); }
void HXPopUpButtonCell::setAutoenablesItems(bool flag) { menu()->setAutoenablesItems(flag); }

void HXPopUpButtonCell::setArrowPosition(HXPopUpArrowPosition position)
{
    _arrowPosition = position;
    noteChanged();
}

const std::vector<std::shared_ptr<HXMenuItem>>& HXPopUpButtonCell::itemArray() const { return menu()->itemArray(); }
long HXPopUpButtonCell::numberOfItems() const { return menu()->numberOfItems(); }

void HXPopUpButtonCell::itemsChanged()
{
    if (_selectedIndex >= numberOfItems())
        _selectedIndex = numberOfItems() - 1;
    if (_selectedIndex < 0 && numberOfItems() > 0)
        _selectedIndex = 0;
    synchronizeTitleAndSelectedItem();
}

void HXPopUpButtonCell::addItemWithTitle(const std::string& title)
{
    // Titles are unique: an item with the same title goes first.
    removeItemWithTitle(title);
    menu()->addItemWithTitle(title, {});
    itemsChanged();
}

void HXPopUpButtonCell::addItemsWithTitles(const std::vector<std::string>& titles)
{
    for (const auto& t : titles)
        addItemWithTitle(t);
}

void HXPopUpButtonCell::insertItemWithTitle(const std::string& title, long index)
{
    removeItemWithTitle(title);
    index = std::clamp(index, 0L, numberOfItems());
    auto selected = selectedItem();
    menu()->insertItemWithTitle(title, {}, {}, index);
    _selectedIndex = selected ? menu()->indexOfItem(selected) : _selectedIndex;
    itemsChanged();
}

void HXPopUpButtonCell::removeItemWithTitle(const std::string& title)
{
    long index = indexOfItemWithTitle(title);
    if (index >= 0)
        removeItemAtIndex(index);
}

void HXPopUpButtonCell::removeItemAtIndex(long index)
{
    if (index < 0 || index >= numberOfItems())
        return;
    auto selected = selectedItem();
    menu()->removeItemAtIndex(index);
    long at = selected ? menu()->indexOfItem(selected) : -1;
    _selectedIndex = at >= 0 ? at : std::min(index, numberOfItems() - 1);
    itemsChanged();
}

void HXPopUpButtonCell::removeAllItems()
{
    menu()->removeAllItems();
    _selectedIndex = -1;
    synchronizeTitleAndSelectedItem();
}

std::shared_ptr<HXMenuItem> HXPopUpButtonCell::itemAtIndex(long index) const { return menu()->itemAtIndex(index); }
std::shared_ptr<HXMenuItem> HXPopUpButtonCell::itemWithTitle(const std::string& title) const { return menu()->itemWithTitle(title); }
std::shared_ptr<HXMenuItem> HXPopUpButtonCell::lastItem() const { return numberOfItems() ? itemAtIndex(numberOfItems() - 1) : nullptr; }
long HXPopUpButtonCell::indexOfItem(const std::shared_ptr<HXMenuItem>& item) const { return menu()->indexOfItem(item); }
long HXPopUpButtonCell::indexOfItemWithTitle(const std::string& title) const { return menu()->indexOfItemWithTitle(title); }
long HXPopUpButtonCell::indexOfItemWithTag(long tag) const { return menu()->indexOfItemWithTag(tag); }

std::vector<std::string> HXPopUpButtonCell::itemTitles() const
{
    std::vector<std::string> titles;
    for (const auto& item : itemArray())
        titles.push_back(item->title());
    return titles;
}

void HXPopUpButtonCell::setMenu(std::shared_ptr<HXMenu> menu)
{
    HXCell::setMenu(menu ? std::move(menu) : std::make_shared<HXMenu>());
    _selectedIndex = numberOfItems() > 0 ? 0 : -1;
    synchronizeTitleAndSelectedItem();
}

std::shared_ptr<HXMenuItem> HXPopUpButtonCell::selectedItem() const
{
    return _selectedIndex >= 0 ? itemAtIndex(_selectedIndex) : nullptr;
}

void HXPopUpButtonCell::selectItem(const std::shared_ptr<HXMenuItem>& item) { selectItemAtIndex(item ? indexOfItem(item) : -1); }

void HXPopUpButtonCell::selectItemAtIndex(long index)
{
    _selectedIndex = index >= 0 && index < numberOfItems() ? index : -1;
    synchronizeTitleAndSelectedItem();
}

void HXPopUpButtonCell::setObjectValue(const HXPropertyList& value)
{
    if (value.isNumber()) {
        double index = value.isInteger() ? double(value.integerValue()) : value.realValue();
        selectItemAtIndex(index >= 0 && index < double(numberOfItems()) ? long(index) : -1);
        return;
    }
    HXButtonCell::setObjectValue(value);
}

void HXPopUpButtonCell::selectItemWithTitle(const std::string& title) { selectItemAtIndex(indexOfItemWithTitle(title)); }

bool HXPopUpButtonCell::selectItemWithTag(long tag)
{
    long index = indexOfItemWithTag(tag);
    if (index < 0)
        return false;
    selectItemAtIndex(index);
    return true;
}

std::string HXPopUpButtonCell::titleOfSelectedItem() const
{
    auto item = selectedItem();
    return item ? item->title() : std::string();
}

void HXPopUpButtonCell::synchronizeTitleAndSelectedItem()
{
    if (!_pullsDown)
        for (long i = 0; i < numberOfItems(); ++i)
            itemAtIndex(i)->setState(i == _selectedIndex ? HXOnState : HXOffState);
    auto shown = _pullsDown ? itemAtIndex(0) : selectedItem();
    HXButtonCell::setTitle(shown ? shown->title() : std::string());
    // The shown item's picture goes before its title; pop-ups whose items have none stay text only.
    auto picture = shown ? shown->image() : nullptr;
    if (picture || image()) {
        HXButtonCell::setImage(picture);
        setImagePosition(picture ? HXImageLeft : HXNoImage);
    }
    noteChanged();
}

bool HXPopUpButtonCell::popUp(HXView& controlView)
{
    auto theMenu = menu();
    if (!isEnabled() || numberOfItems() == 0 || theMenu->isTracking())
        return false;
    auto keep = shared_from_this();
    auto viewKeep = controlView.shared_from_this();
    HXNotificationCenter::defaultCenter().postNotificationName(HXPopUpButtonWillPopUpNotification, &controlView);
    // Items without an action of their own report the choice to the cell.
    std::vector<std::shared_ptr<HXMenuItem>> borrowed;
    for (const auto& item : itemArray())
        if (!item->action() && !item->isSeparatorItem() && !item->hasSubmenu()) {
            item->setAction(kChosenAction);
            item->setTarget(keep);
            borrowed.push_back(item);
        }
    // Items with actions announce themselves when they send.
    std::shared_ptr<HXMenuItem> sentItem;
    auto token = HXNotificationCenter::defaultCenter().addObserver(HXMenuDidSendActionNotification, theMenu.get(),
        [&](const HXNotification& n) {
            auto index = n.userInfo().find(HXMenuItemIndex);
            if (index != n.userInfo().end())
                sentItem = itemAtIndex(long(index->second.integerValue()));
        });
    _chosen = nullptr;
    HXRect b = controlView.bounds();
    bool flipped = controlView.isFlipped();
    HXPoint location = _pullsDown ? HXPoint { b.origin.x, flipped ? HXMaxY(b) : HXMinY(b) }
                                  : HXPoint { b.origin.x, flipped ? HXMinY(b) : HXMaxY(b) };
    theMenu->popUpMenuPositioningItem(_pullsDown ? nullptr : selectedItem(), location,
        std::static_pointer_cast<HXView>(controlView.shared_from_this()));
    HXNotificationCenter::defaultCenter().removeObserver(token);
    for (const auto& item : borrowed) {
        item->setAction({});
        item->setTarget(nullptr);
    }
    // A borrowed item reports through the handler; an item with its own action only through the notice.
    bool ownAction = !_chosen && sentItem;
    auto chosen = _chosen ? _chosen : sentItem;
    _chosen = nullptr;
    if (!chosen)
        return false;
    if (!_pullsDown)
        selectItem(chosen);
    else
        _selectedIndex = indexOfItem(chosen);
    if (!ownAction) {
        if (auto* control = dynamic_cast<HXControl*>(&controlView))
            control->sendAction();
        else
            sendAction();
    }
    HXAccessibility::postNotification(controlView, HXAccessibilityValueChangedNotification);
    return true;
}

HXSize HXPopUpButtonCell::cellSizeForBounds(HXRect bounds) const
{
    HXStringAttributes a;
    a.font = font();
    double widest = 0, height = 0;
    for (const auto& item : itemArray()) {
        HXSize s = HXStringDrawing::sizeWithAttributes(item->title().empty() ? " " : item->title(), a);
        widest = std::max(widest, s.width);
        height = std::max(height, s.height);
    }
    HXSize size { widest + 16 + kArrowArea, std::max(24.0, height + 8) };
    return { std::min(size.width, bounds.size.width), std::min(size.height, bounds.size.height) };
}

void HXPopUpButtonCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    HXRect textArea = cellFrame;
    if (_arrowPosition != HXPopUpNoArrow) {
        textArea.size.width = std::max(0.0, cellFrame.size.width - kArrowArea);
        // Two small chevrons (up and down) for a pop-up, one down chevron for a pull-down.
        double cx = HXMaxX(cellFrame) - kArrowArea / 2, cy = HXMidY(cellFrame);
        double dir = controlView.isFlipped() ? 1 : -1;  // towards the bottom of the screen
        auto chevron = [&](double y, double towards) {
            auto path = HXBezierPath::bezierPath();
            path.moveToPoint({ cx - 3.5, y - towards * 2 });
            path.lineToPoint({ cx, y + towards * 1.5 });
            path.lineToPoint({ cx + 3.5, y - towards * 2 });
            path.setLineWidth(1.5);
            HXControlStyle::textColor(isEnabled()).setStroke();
            path.stroke();
        };
        if (_pullsDown)
            chevron(cy, dir);
        else {
            chevron(cy + dir * 3.5, dir);
            chevron(cy - dir * 3.5, -dir);
        }
    }
    HXButtonCell::drawInteriorWithFrame(textArea, controlView);
}

std::vector<std::string> HXPopUpButtonCell::accessibilityAttributeNames() const
{
    auto names = HXButtonCell::accessibilityAttributeNames();
    if (std::find(names.begin(), names.end(), HXAccessibilityValueAttribute) == names.end())
        names.push_back(HXAccessibilityValueAttribute);
    return names;
}

HXAccessibilityValue HXPopUpButtonCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return _pullsDown ? HXAccessibilityMenuButtonRole : HXAccessibilityPopUpButtonRole;
    if (attribute == HXAccessibilityValueAttribute)
        return titleOfSelectedItem();
    if (attribute == HXAccessibilityTitleAttribute)
        return _pullsDown ? title() : std::string();
    return HXButtonCell::accessibilityAttributeValue(attribute);
}

std::vector<std::string> HXPopUpButtonCell::accessibilityActionNames() const
{
    return { HXAccessibilityPressAction, HXAccessibilityShowMenuAction };
}

void HXPopUpButtonCell::accessibilityPerformAction(const std::string& action)
{
    if ((action == HXAccessibilityPressAction || action == HXAccessibilityShowMenuAction) && controlView())
        popUp(*controlView());
}
