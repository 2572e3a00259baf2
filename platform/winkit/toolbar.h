#pragma once
// HXToolbar: a row of items under a window's title (and menu bar), made by its delegate from identifiers.
// Items are icons with a label; a click sends the item's action to its target (or along the responder
// chain) and, for a selectable identifier, marks the item selected. Showing or hiding the toolbar grows or
// shrinks the window around its content, which keeps its size.
#include "platform/drawing/geometry.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/responder.h"
#include "platform/winkit/selector.h"
#include "platform/winkit/view.h"

#include <memory>
#include <string>
#include <vector>

class HXImage;
class HXToolbar;
class HXWindow;

class HXToolbarItem : public HXObject, public HXValidatedUserInterfaceItem, public HXAccessibilityElement {
public:
    explicit HXToolbarItem(std::string identifier) : _identifier(std::move(identifier)) {}

    const std::string& itemIdentifier() const { return _identifier; }
    const std::string& label() const { return _label; }
    void setLabel(const std::string& label) { _label = label; }
    const std::string& paletteLabel() const { return _paletteLabel.empty() ? _label : _paletteLabel; }
    void setPaletteLabel(const std::string& label) { _paletteLabel = label; }
    const std::string& toolTip() const { return _toolTip; }
    void setToolTip(const std::string& toolTip) { _toolTip = toolTip; }
    std::shared_ptr<HXImage> image() const { return _image; }
    void setImage(std::shared_ptr<HXImage> image) { _image = std::move(image); }
    std::shared_ptr<HXObject> target() const { return _target.lock(); }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    HXSelector action() const override { return _action; }
    void setAction(HXSelector action) { _action = action; }
    long tag() const override { return _tag; }
    void setTag(long tag) { _tag = tag; }
    bool isEnabled() const { return _enabled; }
    void setEnabled(bool flag) { _enabled = flag; }
    // The toolbar the item is in (null before it is inserted).
    HXToolbar* toolbar() const { return _toolbar; }

    // Accessibility: a button titled with the label, the tool tip as help, pressed to act.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override;
    void accessibilityPerformAction(const std::string& action) override;

private:
    friend class HXToolbar;
    std::string _identifier;
    std::string _label;
    std::string _paletteLabel;
    std::string _toolTip;
    std::shared_ptr<HXImage> _image;
    std::weak_ptr<HXObject> _target;
    HXSelector _action;
    long _tag = 0;
    bool _enabled = true;
    HXToolbar* _toolbar = nullptr;
};

class HXToolbarDelegate {
public:
    virtual ~HXToolbarDelegate() = default;
    // The item of `identifier`, or null for an identifier the delegate does not know (no item is shown).
    virtual std::shared_ptr<HXToolbarItem> toolbarItemForItemIdentifier(
        HXToolbar& toolbar, const std::string& identifier, bool willBeInsertedIntoToolbar) = 0;
    virtual std::vector<std::string> toolbarDefaultItemIdentifiers(HXToolbar& toolbar) = 0;
    virtual std::vector<std::string> toolbarAllowedItemIdentifiers(HXToolbar& toolbar) = 0;
    // Items whose identifiers are listed here stay selected after a click.
    virtual std::vector<std::string> toolbarSelectableItemIdentifiers(HXToolbar&) { return {}; }
};

enum HXToolbarDisplayMode : int {
    HXToolbarDisplayModeDefault = 0,
    HXToolbarDisplayModeIconAndLabel = 1,
    HXToolbarDisplayModeIconOnly = 2,
    HXToolbarDisplayModeLabelOnly = 3,
};

class HXToolbarView;

class HXToolbar : public HXObject, public HXAccessibilityElement {
public:
    explicit HXToolbar(std::string identifier);
    ~HXToolbar() override;

    const std::string& identifier() const { return _identifier; }
    std::shared_ptr<HXToolbarDelegate> delegate() const { return _delegate.lock(); }
    // Setting the delegate asks it for the default items (again).
    void setDelegate(const std::shared_ptr<HXToolbarDelegate>& delegate);

    const std::vector<std::shared_ptr<HXToolbarItem>>& items() const { return _items; }
    std::shared_ptr<HXToolbarItem> itemWithIdentifier(const std::string& identifier) const;
    // Inserts the delegate's item for `identifier` at `index` (clamped); an identifier that is not allowed,
    // or for which the delegate makes no item, inserts nothing.
    void insertItemWithItemIdentifier(const std::string& identifier, long index);
    void removeItemAtIndex(long index);

    // The selected identifier ("" for none). Only a selectable identifier of a present item can be selected.
    const std::string& selectedItemIdentifier() const { return _selected; }
    void setSelectedItemIdentifier(const std::string& identifier);

    bool isVisible() const { return _visible; }
    void setVisible(bool flag);
    HXToolbarDisplayMode displayMode() const { return _displayMode; }
    void setDisplayMode(HXToolbarDisplayMode mode);

    // Asks the targets (or the responder chain) whether each item is enabled, as menus do.
    void validateVisibleItems();
    // As if the item were clicked: selects it when selectable, then sends its action. False when the item
    // is disabled or absent or nobody handled the action.
    bool performItemAction(const std::string& identifier);

    // The window showing the toolbar (set by HXWindow::setToolbar).
    HXWindow* window() const { return _window; }
    // The view that draws the items, made on first use.
    std::shared_ptr<HXToolbarView> toolbarView();
    // The height the toolbar takes in its window when visible.
    double height() const;

    // Accessibility: a toolbar whose children are its items (buttons, by label).
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    friend class HXWindow;
    void reload();
    void itemsChanged();

    std::string _identifier;
    std::weak_ptr<HXToolbarDelegate> _delegate;
    std::vector<std::shared_ptr<HXToolbarItem>> _items;
    std::string _selected;
    bool _visible = true;
    HXToolbarDisplayMode _displayMode = HXToolbarDisplayModeIconAndLabel;
    HXWindow* _window = nullptr;
    std::shared_ptr<HXToolbarView> _view;
};

// Draws a toolbar's items in a row and turns clicks into item actions.
class HXToolbarView : public HXView {
public:
    explicit HXToolbarView(HXToolbar* toolbar);
    HXToolbar* toolbar() const { return _toolbar; }
    // Where each item is drawn, in this view's coordinates, in the order of the toolbar's items.
    std::vector<HXRect> itemRects() const;
    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;

private:
    friend class HXToolbar;
    HXToolbar* _toolbar;
};
