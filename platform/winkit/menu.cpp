#include "platform/winkit/menu.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/application.h"
#include "platform/drawing/image.h"
#include "platform/winkit/text_drawing.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

bool HXObject::validateMenuItem(HXMenuItem& item) { return validateUserInterfaceItem(item); }

// Items

HXMenuItem::HXMenuItem(std::string title, HXSelector action, std::string keyEquivalent)
    : _title(std::move(title))
    , _action(action)
    , _keyEquivalent(std::move(keyEquivalent))
{
}

std::string HXMenuItem::keyEquivalentDisplayString() const
{
    if (_keyEquivalent.empty() || _separator)
        return {};
    uint32_t modifiers = _keyEquivalentModifierMask;
    std::string key = _keyEquivalent;
    // An upper-case letter is typed with Shift; the menu names the key by its capital either way.
    if (key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0]))) {
        if (std::isupper(static_cast<unsigned char>(key[0])))
            modifiers |= HXShiftKeyMask;
        key[0] = char(std::toupper(static_cast<unsigned char>(key[0])));
    }
    // Keys without a printable character of their own are named.
    static const struct {
        const char* characters;
        const char* name;
    } names[] = {
        { "\uF700", "Up" }, { "\uF701", "Down" }, { "\uF702", "Left" }, { "\uF703", "Right" },
        { "\uF728", "Delete" }, { "\uF729", "Home" }, { "\uF72B", "End" }, { "\uF72C", "Page Up" },
        { "\uF72D", "Page Down" }, { "\x08", "Backspace" }, { "\x7f", "Backspace" }, { "\t", "Tab" },
        { "\r", "Return" }, { "\x03", "Enter" }, { "\x1b", "Esc" }, { " ", "Space" },
    };
    for (const auto& n : names) {
        if (key == n.characters)
            key = n.name;
    }
    static const char* const functionKeys[] = { "\uF704", "\uF705", "\uF706", "\uF707", "\uF708", "\uF709",
        "\uF70A", "\uF70B", "\uF70C", "\uF70D", "\uF70E", "\uF70F" };
    for (size_t i = 0; i < std::size(functionKeys); ++i) {
        if (key == functionKeys[i])
            key = "F" + std::to_string(i + 1);
    }
    // The keys that make the modifiers here: Command is Ctrl, Option is Alt, Control is the Super key.
    std::string text;
    if (modifiers & HXCommandKeyMask)
        text += "Ctrl+";
    if (modifiers & HXAlternateKeyMask)
        text += "Alt+";
    if (modifiers & HXShiftKeyMask)
        text += "Shift+";
    if (modifiers & HXControlKeyMask)
        text += "Super+";
    return text + key;
}

std::shared_ptr<HXMenuItem> HXMenuItem::separatorItem()
{
    auto item = std::make_shared<HXMenuItem>();
    item->_separator = true;
    item->_enabled = false;
    return item;
}

void HXMenuItem::noteChanged()
{
    if (auto m = menu())
        m->itemChanged(*this);
}

void HXMenuItem::setImage(std::shared_ptr<HXImage> image)
{
    _image = std::move(image);
    noteChanged();
}

void HXMenuItem::setTitle(const std::string& title)
{
    _title = title;
    noteChanged();
}

void HXMenuItem::setState(int state)
{
    _state = state;
    noteChanged();
}

void HXMenuItem::setEnabled(bool enabled)
{
    if (_enabled == enabled)
        return;
    _enabled = enabled;
    noteChanged();
}

void HXMenuItem::setSubmenu(const std::shared_ptr<HXMenu>& menu)
{
    _submenu = menu;
    if (menu)
        menu->setSupermenu(this->menu());
}

bool HXMenuItem::matchesKeyEquivalent(const HXEvent& event) const
{
    if (_keyEquivalent.empty() || _separator)
        return false;
    const uint32_t relevant = HXCommandKeyMask | HXControlKeyMask | HXAlternateKeyMask | HXShiftKeyMask;
    uint32_t held = event.modifierFlags() & relevant;
    uint32_t wanted = _keyEquivalentModifierMask & relevant;
    std::string key = _keyEquivalent;
    // An upper-case letter implies Shift.
    if (key.size() == 1 && std::isupper(static_cast<unsigned char>(key[0]))) {
        wanted |= HXShiftKeyMask;
        key[0] = char(std::tolower(static_cast<unsigned char>(key[0])));
    }
    // Shift makes the symbol itself on keys that are not letters ("?" is Shift-/): it only counts when asked for.
    bool letter = key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0]));
    if (!letter && !(wanted & HXShiftKeyMask))
        held &= ~HXShiftKeyMask;
    std::string typed = event.charactersIgnoringModifiers();
    if (typed.size() == 1)
        typed[0] = char(std::tolower(static_cast<unsigned char>(typed[0])));
    if (typed != key) {
        // Shifted symbols ("?" for Command-?) arrive with Shift held: compare the text as it is.
        if (event.characters() != _keyEquivalent)
            return false;
        held &= ~HXShiftKeyMask;
        wanted &= ~HXShiftKeyMask;
    }
    return held == wanted;
}

// Menus

HXMenu::HXMenu(std::string title)
    : _title(std::move(title))
{
}

void HXMenu::addItem(const std::shared_ptr<HXMenuItem>& item) { insertItem(item, numberOfItems()); }

void HXMenu::insertItem(const std::shared_ptr<HXMenuItem>& item, long index)
{
    if (!item || index < 0 || index > numberOfItems())
        return;
    if (auto old = item->menu())
        old->removeItem(item);
    _items.insert(_items.begin() + index, item);
    auto self = std::static_pointer_cast<HXMenu>(shared_from_this());
    item->setMenu(self);
    if (auto sub = item->submenu())
        sub->setSupermenu(self);
    postItemNotification(HXMenuDidAddItemNotification, index);
}

std::shared_ptr<HXMenuItem> HXMenu::addItemWithTitle(const std::string& title, HXSelector action,
    const std::string& keyEquivalent)
{
    return insertItemWithTitle(title, action, keyEquivalent, numberOfItems());
}

std::shared_ptr<HXMenuItem> HXMenu::insertItemWithTitle(const std::string& title, HXSelector action,
    const std::string& keyEquivalent, long index)
{
    auto item = std::make_shared<HXMenuItem>(title, action, keyEquivalent);
    insertItem(item, index);
    return item->menu() ? item : nullptr;
}

void HXMenu::removeItem(const std::shared_ptr<HXMenuItem>& item) { removeItemAtIndex(indexOfItem(item)); }

void HXMenu::removeItemAtIndex(long index)
{
    if (index < 0 || index >= numberOfItems())
        return;
    auto item = _items[size_t(index)];
    _items.erase(_items.begin() + index);
    item->setMenu(nullptr);
    postItemNotification(HXMenuDidRemoveItemNotification, index);
}

void HXMenu::removeAllItems()
{
    while (!_items.empty())
        removeItemAtIndex(numberOfItems() - 1);
}

void HXMenu::setSubmenu(const std::shared_ptr<HXMenu>& menu, const std::shared_ptr<HXMenuItem>& item)
{
    if (item)
        item->setSubmenu(menu);
}

std::shared_ptr<HXMenuItem> HXMenu::itemAtIndex(long index) const
{
    return index >= 0 && index < numberOfItems() ? _items[size_t(index)] : nullptr;
}

std::shared_ptr<HXMenuItem> HXMenu::itemWithTitle(const std::string& title) const
{
    return itemAtIndex(indexOfItemWithTitle(title));
}

std::shared_ptr<HXMenuItem> HXMenu::itemWithTag(long tag) const { return itemAtIndex(indexOfItemWithTag(tag)); }

long HXMenu::indexOfItem(const std::shared_ptr<HXMenuItem>& item) const
{
    auto it = std::find(_items.begin(), _items.end(), item);
    return it == _items.end() ? -1 : long(it - _items.begin());
}

long HXMenu::indexOfItemWithTitle(const std::string& title) const
{
    for (size_t i = 0; i < _items.size(); ++i) {
        if (_items[i]->title() == title)
            return long(i);
    }
    return -1;
}

long HXMenu::indexOfItemWithTag(long tag) const
{
    for (size_t i = 0; i < _items.size(); ++i) {
        if (_items[i]->tag() == tag)
            return long(i);
    }
    return -1;
}

long HXMenu::indexOfItemWithSubmenu(const std::shared_ptr<HXMenu>& submenu) const
{
    for (size_t i = 0; i < _items.size(); ++i) {
        if (_items[i]->submenu() == submenu)
            return long(i);
    }
    return -1;
}

void HXMenu::postItemNotification(const char* name, long index)
{
    auto self = std::static_pointer_cast<HXMenu>(shared_from_this());
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(name, self, { { HXMenuItemIndex, HXPropertyList(int64_t(index)) } }));
}

void HXMenu::itemChanged(HXMenuItem& item)
{
    long index = -1;
    for (size_t i = 0; i < _items.size(); ++i) {
        if (_items[i].get() == &item)
            index = long(i);
    }
    if (index >= 0)
        postItemNotification(HXMenuDidChangeItemNotification, index);
}

bool HXMenu::validateItem(HXMenuItem& item)
{
    if (!item.action())
        return item.hasSubmenu();
    if (!HXApplication::hasSharedApplication())
        return false;
    auto& app = *HXApplication::sharedApplication();
    auto explicitTarget = item.target();
    HXObject* target = app.targetForAction(item.action(), explicitTarget.get(), &item);
    if (!target)
        return false;
    return target->validateMenuItem(item);
}

void HXMenu::update()
{
    if (auto d = delegate())
        d->menuNeedsUpdate(*this);
    if (!_autoenablesItems)
        return;
    auto items = _items;
    for (auto& item : items) {
        if (item->isSeparatorItem())
            continue;
        if (item->action() || !item->hasSubmenu())
            item->setEnabled(validateItem(*item));
    }
}

bool HXMenu::performKeyEquivalent(const HXEvent& event)
{
    if (event.type() != HXKeyDown)
        return false;
    auto items = _items;
    for (size_t i = 0; i < items.size(); ++i) {
        auto& item = items[i];
        if (item->hasSubmenu()) {
            if (item->submenu()->performKeyEquivalent(event))
                return true;
            continue;
        }
        if (item->isHidden() || !item->matchesKeyEquivalent(event))
            continue;
        // Validation first: the delegate may rebuild the menu, and a disabled item does nothing.
        update();
        long index = indexOfItem(item);
        if (index < 0)
            return false;
        if (!item->isEnabled()) {
            HXBeep();
            return true;
        }
        performActionForItemAtIndex(index);
        return true;
    }
    return false;
}

void HXMenu::performActionForItemAtIndex(long index)
{
    auto item = itemAtIndex(index);
    if (!item || !item->action())
        return;
    postItemNotification(HXMenuWillSendActionNotification, index);
    HXApplication::sharedApplication()->sendAction(item->action(), item->target().get(), item.get());
    postItemNotification(HXMenuDidSendActionNotification, index);
}

// Pop-up menus

namespace {

constexpr double kItemHeight = 20;
constexpr double kSeparatorHeight = 9;
constexpr double kMenuPadding = 4;
constexpr double kShortcutMargin = 10; // between a key equivalent and the menu's right edge

// The list of items of a menu on screen (flipped: the first item on top).
class MenuView : public HXView {
public:
    MenuView(HXRect frame, std::shared_ptr<HXMenu> menu)
        : HXView(frame)
        , _menu(std::move(menu))
    {
    }
    bool isFlipped() const override { return true; }
    bool isOpaque() const override { return true; }

    static double rowHeight(const HXMenuItem& item) { return item.isSeparatorItem() ? kSeparatorHeight : kItemHeight; }

    std::vector<std::shared_ptr<HXMenuItem>> visibleItems() const
    {
        std::vector<std::shared_ptr<HXMenuItem>> items;
        for (auto& item : _menu->itemArray()) {
            if (!item->isHidden() && !item->isAlternate())
                items.push_back(item);
        }
        return items;
    }

    HXRect rectOfItem(const HXMenuItem& item) const
    {
        double y = kMenuPadding;
        for (auto& i : visibleItems()) {
            if (i.get() == &item)
                return { { 0, y }, { bounds().size.width, rowHeight(*i) } };
            y += rowHeight(*i);
        }
        return HXZeroRect;
    }

    std::shared_ptr<HXMenuItem> itemAtPoint(HXPoint p) const
    {
        double y = kMenuPadding;
        for (auto& i : visibleItems()) {
            if (p.y >= y && p.y < y + rowHeight(*i) && p.x >= 0 && p.x < bounds().size.width)
                return i;
            y += rowHeight(*i);
        }
        return nullptr;
    }

    void drawRect(HXRect) override
    {
        winkit::fillRect(bounds(), HXColor::colorWithCalibratedWhite(0.97), true);
        winkit::strokeRect(bounds(), HXColor::colorWithCalibratedWhite(0.6));
        for (auto& item : visibleItems()) {
            HXRect r = rectOfItem(*item);
            if (item->isSeparatorItem()) {
                winkit::fillRect({ { 8, HXMidY(r) }, { r.size.width - 16, 1 } }, HXColor::colorWithCalibratedWhite(0.8));
                continue;
            }
            bool highlighted = item == highlighted_ && item->isEnabled();
            if (highlighted)
                winkit::fillRect(r, HXColor::selectedControlColor());
            winkit::TextStyle style;
            style.color = item->isEnabled() ? (highlighted ? HXColor::whiteColor() : HXColor::blackColor())
                                            : HXColor::colorWithCalibratedWhite(0.6);
            if (item->state() == HXOnState)
                winkit::drawText("\u2713", { { 6, r.origin.y }, { 14, r.size.height } }, style);
            double titleX = 22 + 10.0 * item->indentationLevel();
            if (auto& image = item->image(); image && image->isValid()) {
                image->drawInRect({ { titleX, HXMidY(r) - 8 }, { 16, 16 } });
                titleX += 20;
            }
            winkit::drawText(item->title(), { { titleX, r.origin.y }, { r.size.width - titleX - 38, r.size.height } }, style);
            if (item->hasSubmenu()) {
                winkit::drawText("\u25B8", { { r.size.width - 18, r.origin.y }, { 12, r.size.height } }, style);
            } else if (std::string shortcut = item->keyEquivalentDisplayString(); !shortcut.empty()) {
                double shortcutWidth = winkit::measureText(shortcut, {}).width;
                winkit::drawText(shortcut,
                    { { r.size.width - kShortcutMargin - shortcutWidth, r.origin.y }, { shortcutWidth + 2, r.size.height } },
                    style);
            }
        }
    }

    std::shared_ptr<HXMenuItem> highlighted_;

private:
    std::shared_ptr<HXMenu> _menu;
};

}  // namespace

namespace {

// How tracking one level of pop-up menus ended.
struct TrackResult {
    enum Kind { Chosen, Escaped, Dismissed, Returned } kind = Dismissed;
    std::shared_ptr<HXMenuItem> item;   // Chosen: the item (of this menu or a submenu)
    std::optional<HXEvent> event;       // Returned: the event that belongs to a menu further up
};

struct MenuLevel {
    std::shared_ptr<HXPanel> panel;
    std::shared_ptr<MenuView> view;
};

// Shows `menu` with its top-left corner at `topLeft` (screen), `offset` points above that for the item
// the menu is positioned by.
MenuLevel showMenu(const std::shared_ptr<HXMenu>& menu, HXPoint topLeft, double offset)
{
    double width = 120, height = 2 * kMenuPadding;
    for (auto& item : menu->itemArray()) {
        if (item->isHidden() || item->isAlternate())
            continue;
        height += MenuView::rowHeight(*item);
        // The title, then its key equivalent at the right, a good gap apart.
        double shortcut = 0;
        if (std::string keys = item->keyEquivalentDisplayString(); !keys.empty() && !item->hasSubmenu())
            shortcut = winkit::measureText(keys, {}).width + kShortcutMargin;
        width = std::max(width,
            22 + winkit::measureText(item->title(), {}).width + 30 + std::max(shortcut, 48.0) + (item->image() ? 20 : 0));
    }
    MenuLevel level;
    level.view = std::make_shared<MenuView>(HXRect { {}, { width, height } }, menu);
    HXRect frame { { topLeft.x, topLeft.y - height + offset }, { width, height } };
    level.panel = std::make_shared<HXPanel>(frame, HXBorderlessWindowMask);
    level.panel->setLevel(HXPopUpMenuWindowLevel);
    level.panel->setHidesOnDeactivate(false);
    level.panel->setExcludedFromWindowsMenu(true);
    if (auto s = level.panel->screen()) {
        HXRect vis = s->visibleFrame();
        frame.origin.x = std::clamp(frame.origin.x, HXMinX(vis), std::max(HXMinX(vis), HXMaxX(vis) - width));
        frame.origin.y = std::clamp(frame.origin.y, HXMinY(vis), std::max(HXMinY(vis), HXMaxY(vis) - height));
        level.panel->setFrame(frame, false);
    }
    level.panel->setContentView(level.view);
    level.panel->orderFront();
    return level;
}

bool pointInAny(const std::vector<HXWindow*>& windows, HXPoint screen)
{
    return std::any_of(windows.begin(), windows.end(), [&](HXWindow* w) { return HXPointInRect(screen, w->frame()); });
}

TrackResult trackMenu(const std::shared_ptr<HXMenu>& menu, HXPoint topLeft, double offset,
    std::vector<HXWindow*> ancestors, const bool& cancelled)
{
    auto& app = *HXApplication::sharedApplication();
    menu->update();
    if (auto d = menu->delegate())
        d->menuWillOpen(*menu);
    MenuLevel level = showMenu(menu, topLeft, offset);
    auto& view = level.view;
    auto& panel = level.panel;
    HXTimeInterval openedAt = HXRunLoop::main().now();
    const HXEventMask mask = HXLeftMouseDownMask | HXLeftMouseUpMask | HXLeftMouseDraggedMask | HXMouseMovedMask
        | HXRightMouseDownMask | HXRightMouseUpMask | HXKeyDownMask | HXApplicationDefinedMask;
    TrackResult result;
    std::optional<HXEvent> replay;

    auto highlight = [&](const std::shared_ptr<HXMenuItem>& item) {
        if (item == view->highlighted_)
            return;
        view->highlighted_ = item;
        view->setNeedsDisplay(true);
        panel->displayIfNeeded();
    };
    // Opens the highlighted item's submenu beside its row; true when tracking ends with it.
    auto openSubmenu = [&]() -> bool {
        auto item = view->highlighted_;
        if (!item || !item->hasSubmenu() || !item->isEnabled())
            return false;
        HXRect row = view->convertRectToView(view->rectOfItem(*item), nullptr);
        HXPoint corner = panel->convertBaseToScreen({ HXMaxX(row), HXMaxY(row) });
        auto chain = ancestors;
        chain.push_back(panel.get());
        TrackResult sub = trackMenu(item->submenu(), { corner.x - 2, corner.y + kMenuPadding }, 0, chain, cancelled);
        switch (sub.kind) {
        case TrackResult::Chosen:
        case TrackResult::Dismissed:
            result = sub;
            return true;
        case TrackResult::Escaped:
            return false;
        case TrackResult::Returned:
            replay = sub.event;
            return false;
        }
        return false;
    };

    for (;;) {
        if (cancelled) {
            result.kind = TrackResult::Dismissed;
            break;
        }
        std::optional<HXEvent> event;
        if (replay) {
            event = replay;
            replay.reset();
        } else {
            event = app.nextEventMatchingMask(mask, std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        }
        if (!event) {
            result.kind = TrackResult::Dismissed;  // nothing can come any more
            break;
        }
        if (event->type() == HXApplicationDefined)
            continue;
        if (event->type() == HXKeyDown) {
            char32_t c = event->firstCharacterIgnoringModifiers();
            auto items = view->visibleItems();
            if (c == char32_t(HXEscapeCharacter) || (c == HXLeftArrowFunctionKey && !ancestors.empty())) {
                result.kind = TrackResult::Escaped;
                break;
            }
            if (c == U'\r' || c == char32_t(HXEnterCharacter) || c == U' ' || c == HXRightArrowFunctionKey) {
                auto item = view->highlighted_;
                if (item && item->hasSubmenu()) {
                    if (openSubmenu())
                        break;
                    continue;
                }
                if (c == HXRightArrowFunctionKey)
                    continue;
                if (item && item->isEnabled()) {
                    result = { TrackResult::Chosen, item, {} };
                    break;
                }
                result.kind = TrackResult::Escaped;
                break;
            }
            if (c == HXDownArrowFunctionKey || c == HXUpArrowFunctionKey) {
                auto it = std::find(items.begin(), items.end(), view->highlighted_);
                long n = long(items.size()), i = it == items.end() ? -1 : long(it - items.begin());
                for (long step = 0; step < n; ++step) {
                    i = c == HXDownArrowFunctionKey ? (i + 1) % n : (i - 1 + n) % n;
                    if (items[size_t(i)]->isEnabled()) {
                        highlight(items[size_t(i)]);
                        break;
                    }
                }
            }
            continue;
        }
        // Mouse: where is it?
        auto source = event->window();
        HXPoint screen = source ? source->convertBaseToScreen(event->locationInWindow()) : event->locationInWindow();
        HXPoint local = view->convertPointFromView(panel->convertScreenToBase(screen), nullptr);
        bool inside = HXPointInRect(local, view->bounds());
        if (!inside && pointInAny(ancestors, screen)) {
            // Back over a menu further up: it takes over from here.
            result = { TrackResult::Returned, nullptr, event };
            break;
        }
        auto under = inside ? view->itemAtPoint(local) : nullptr;
        if (inside)
            highlight(under);
        if (event->type() == HXLeftMouseDown || event->type() == HXRightMouseDown) {
            if (!inside) {
                result.kind = TrackResult::Dismissed;  // a click elsewhere closes every menu
                break;
            }
            continue;
        }
        if (event->type() == HXLeftMouseUp || event->type() == HXRightMouseUp) {
            if (under && under->hasSubmenu()) {
                if (openSubmenu())
                    break;
                continue;
            }
            if (under && under->isEnabled() && !under->isSeparatorItem()) {
                result = { TrackResult::Chosen, under, {} };
                break;
            }
            // The release of the click that opened the menu leaves it open; a later one outside closes it.
            if (!inside && event->timestamp() - openedAt > HXEvent::doubleClickInterval()) {
                result.kind = TrackResult::Dismissed;
                break;
            }
            continue;
        }
        // Moved or dragged onto an item with a submenu: it opens.
        if (under && under->hasSubmenu() && openSubmenu())
            break;
    }
    panel->close();
    if (auto d = menu->delegate())
        d->menuDidClose(*menu);
    return result;
}

}  // namespace

bool HXMenu::popUpMenuPositioningItem(const std::shared_ptr<HXMenuItem>& positioned, HXPoint location,
    const std::shared_ptr<HXView>& view)
{
    if (_tracking)
        return false;
    auto self = std::static_pointer_cast<HXMenu>(shared_from_this());
    HXPoint screenPoint = view ? view->convertPointToScreen(location) : location;
    double offset = kMenuPadding;
    if (positioned) {
        MenuView probe(HXZeroRect, self);
        offset = probe.rectOfItem(*positioned).origin.y;
    }
    _tracking = true;
    _cancelTracking = false;
    TrackResult result = trackMenu(self, screenPoint, offset, {}, _cancelTracking);
    _tracking = false;
    if (result.kind != TrackResult::Chosen || !result.item)
        return false;
    auto owner = result.item->menu();
    long index = owner ? owner->indexOfItem(result.item) : -1;
    if (index >= 0)
        owner->performActionForItemAtIndex(index);
    return index >= 0;
}

void HXMenu::popUpContextMenu(const std::shared_ptr<HXMenu>& menu, const HXEvent& event, const std::shared_ptr<HXView>& view)
{
    if (!menu)
        return;
    HXPoint location = event.locationInWindow();
    if (view)
        location = view->convertPointFromView(location, nullptr);
    menu->popUpMenuPositioningItem(nullptr, location, view);
}

void HXMenu::cancelTracking()
{
    if (!_tracking)
        return;
    _cancelTracking = true;
    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->postEvent(
            HXEvent::otherEvent(HXApplicationDefined, {}, 0, HXRunLoop::main().now(), 0, 0, 0, 0), false);
}
