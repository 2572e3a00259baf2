#pragma once
// HXMenu and HXMenuItem: menus of items that send actions (to a target, or along the responder chain when
// the target is null). Before a menu is shown, and before a key equivalent fires, its items are validated:
// the delegate may rebuild the menu first (menuNeedsUpdate), then each item with an action is enabled when
// some object handles the action and that object's validateMenuItem agrees.
#include "platform/drawing/geometry.h"
#include "platform/winkit/responder.h"

#include <any>
#include <memory>
#include <string>
#include <vector>

class HXMenu;
class HXView;

inline constexpr const char* HXMenuDidAddItemNotification = "HXMenuDidAddItemNotification";
inline constexpr const char* HXMenuDidRemoveItemNotification = "HXMenuDidRemoveItemNotification";
inline constexpr const char* HXMenuDidChangeItemNotification = "HXMenuDidChangeItemNotification";
inline constexpr const char* HXMenuWillSendActionNotification = "HXMenuWillSendActionNotification";
inline constexpr const char* HXMenuDidSendActionNotification = "HXMenuDidSendActionNotification";
inline constexpr const char* HXMenuItemIndex = "HXMenuItemIndex";

enum : int { HXMixedState = -1, HXOffState = 0, HXOnState = 1 };

class HXImage;

class HXMenuItem : public HXObject, public HXValidatedUserInterfaceItem {
public:
    HXMenuItem() = default;
    HXMenuItem(std::string title, HXSelector action, std::string keyEquivalent);
    static std::shared_ptr<HXMenuItem> separatorItem();

    const std::string& title() const { return _title; }
    void setTitle(const std::string& title);
    HXSelector action() const override { return _action; }
    void setAction(HXSelector action) { _action = action; }
    std::shared_ptr<HXObject> target() const { return _target.lock(); }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    long tag() const override { return _tag; }
    void setTag(long tag) { _tag = tag; }
    int state() const { return _state; }
    void setState(int state);
    bool isEnabled() const { return _enabled; }
    void setEnabled(bool enabled);
    bool isHidden() const { return _hidden; }
    void setHidden(bool hidden) { _hidden = hidden; }
    bool isSeparatorItem() const { return _separator; }

    // Key equivalent: a character ("q", "N" means Shift-n) and the modifiers (default Command).
    const std::string& keyEquivalent() const { return _keyEquivalent; }
    void setKeyEquivalent(const std::string& key) { _keyEquivalent = key; }
    uint32_t keyEquivalentModifierMask() const { return _keyEquivalentModifierMask; }
    void setKeyEquivalentModifierMask(uint32_t mask) { _keyEquivalentModifierMask = mask; }
    // The key equivalent as the menu shows it, with the keys a user presses ("Ctrl+Shift+S",
    // "Ctrl+Alt+N", "Ctrl+Shift+Right"); empty without one.
    std::string keyEquivalentDisplayString() const;
    // An alternate item stands in for the item before it while its modifiers are held.
    bool isAlternate() const { return _alternate; }
    void setAlternate(bool flag) { _alternate = flag; }
    int indentationLevel() const { return _indentationLevel; }
    void setIndentationLevel(int level) { _indentationLevel = level; }
    // A small picture drawn before the title (menus draw it at 16 x 16 points; pop-ups show the selected
    // item's).
    const std::shared_ptr<HXImage>& image() const { return _image; }
    void setImage(std::shared_ptr<HXImage> image);

    std::shared_ptr<HXMenu> submenu() const { return _submenu; }
    void setSubmenu(const std::shared_ptr<HXMenu>& menu);
    bool hasSubmenu() const { return _submenu != nullptr; }
    std::shared_ptr<HXMenu> menu() const { return _menu.lock(); }
    void setMenu(const std::shared_ptr<HXMenu>& menu) { _menu = menu; }

    const std::any& representedObject() const { return _representedObject; }
    void setRepresentedObject(std::any object) { _representedObject = std::move(object); }

    // True when the event's key and device-independent modifiers match this item's key equivalent.
    bool matchesKeyEquivalent(const HXEvent& event) const;

private:
    void noteChanged();

    std::string _title;
    HXSelector _action;
    std::weak_ptr<HXObject> _target;
    long _tag = 0;
    int _state = HXOffState;
    bool _enabled = true;
    bool _hidden = false;
    bool _separator = false;
    std::string _keyEquivalent;
    uint32_t _keyEquivalentModifierMask = HXCommandKeyMask;
    bool _alternate = false;
    int _indentationLevel = 0;
    std::shared_ptr<HXImage> _image;
    std::shared_ptr<HXMenu> _submenu;
    std::weak_ptr<HXMenu> _menu;
    std::any _representedObject;
};

class HXMenuDelegate {
public:
    virtual ~HXMenuDelegate() = default;
    virtual void menuNeedsUpdate(HXMenu& menu) { (void)menu; }
    virtual void menuWillOpen(HXMenu& menu) { (void)menu; }
    virtual void menuDidClose(HXMenu& menu) { (void)menu; }
};

class HXMenu : public HXObject {
public:
    explicit HXMenu(std::string title = {});

    const std::string& title() const { return _title; }
    void setTitle(const std::string& title) { _title = title; }
    std::shared_ptr<HXMenu> supermenu() const { return _supermenu.lock(); }
    void setSupermenu(const std::shared_ptr<HXMenu>& menu) { _supermenu = menu; }

    const std::vector<std::shared_ptr<HXMenuItem>>& itemArray() const { return _items; }
    long numberOfItems() const { return long(_items.size()); }
    void addItem(const std::shared_ptr<HXMenuItem>& item);
    void insertItem(const std::shared_ptr<HXMenuItem>& item, long index);
    std::shared_ptr<HXMenuItem> addItemWithTitle(const std::string& title, HXSelector action,
        const std::string& keyEquivalent = {});
    std::shared_ptr<HXMenuItem> insertItemWithTitle(const std::string& title, HXSelector action,
        const std::string& keyEquivalent, long index);
    void removeItem(const std::shared_ptr<HXMenuItem>& item);
    void removeItemAtIndex(long index);
    void removeAllItems();
    void setSubmenu(const std::shared_ptr<HXMenu>& menu, const std::shared_ptr<HXMenuItem>& item);
    std::shared_ptr<HXMenuItem> itemAtIndex(long index) const;
    std::shared_ptr<HXMenuItem> itemWithTitle(const std::string& title) const;
    std::shared_ptr<HXMenuItem> itemWithTag(long tag) const;
    long indexOfItem(const std::shared_ptr<HXMenuItem>& item) const;
    long indexOfItemWithTitle(const std::string& title) const;
    long indexOfItemWithTag(long tag) const;
    long indexOfItemWithSubmenu(const std::shared_ptr<HXMenu>& submenu) const;

    bool autoenablesItems() const { return _autoenablesItems; }
    void setAutoenablesItems(bool flag) { _autoenablesItems = flag; }
    std::shared_ptr<HXMenuDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXMenuDelegate>& delegate) { _delegate = delegate; }

    // Lets the delegate rebuild the menu, then validates every item (when autoenabling).
    void update();
    // The enabled state an item would get: false when nobody handles its action.
    static bool validateItem(HXMenuItem& item);
    // Finds an enabled item (here or in submenus) whose key equivalent matches and performs it.
    bool performKeyEquivalent(const HXEvent& event);
    // Sends the item's action (with the will/did send notifications).
    void performActionForItemAtIndex(long index);

    // Shows the menu as a pop-up with `item` (or the first item) at `location` in `view` (screen coordinates
    // when view is null) and tracks the mouse until a choice or a dismissal. True when an item was chosen.
    bool popUpMenuPositioningItem(const std::shared_ptr<HXMenuItem>& item, HXPoint location,
        const std::shared_ptr<HXView>& view);
    static void popUpContextMenu(const std::shared_ptr<HXMenu>& menu, const HXEvent& event,
        const std::shared_ptr<HXView>& view);
    // Closes the menu being tracked (without a choice).
    void cancelTracking();
    bool isTracking() const { return _tracking; }

    // Internal: an item changed.
    void itemChanged(HXMenuItem& item);

private:
    void postItemNotification(const char* name, long index);

    std::string _title;
    std::weak_ptr<HXMenu> _supermenu;
    std::vector<std::shared_ptr<HXMenuItem>> _items;
    bool _autoenablesItems = true;
    bool _tracking = false;
    bool _cancelTracking = false;
    std::weak_ptr<HXMenuDelegate> _delegate;
};
