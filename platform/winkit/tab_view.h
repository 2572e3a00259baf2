#pragma once
// HXTabView and HXTabViewItem: panes of views one at a time, chosen by a row of tabs along the top.
// The delegate may refuse a choice and hears about it before and after.
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/view.h"

#include <memory>
#include <string>
#include <vector>

class HXTabView;

enum HXTabViewType : int { HXTopTabsBezelBorder = 0, HXNoTabsBezelBorder = 4, HXNoTabsLineBorder = 5, HXNoTabsNoBorder = 6 };
enum HXTabState : int { HXSelectedTab = 0, HXBackgroundTab = 1, HXPressedTab = 2 };

class HXTabViewItem : public HXObject {
public:
    explicit HXTabViewItem(std::string identifier = {});

    const std::string& identifier() const { return _identifier; }
    void setIdentifier(const std::string& identifier) { _identifier = identifier; }
    const std::string& label() const { return _label; }
    void setLabel(const std::string& label);
    std::shared_ptr<HXView> view() const { return _view; }
    void setView(const std::shared_ptr<HXView>& view);
    HXColor color() const { return _color; }
    void setColor(const HXColor& color) { _color = color; }
    HXTabState tabState() const;
    HXTabView* tabView() const { return _tabView; }
    void setTabView(HXTabView* tabView) { _tabView = tabView; }
    std::shared_ptr<HXView> initialFirstResponder() const { return _initialFirstResponder.lock(); }
    void setInitialFirstResponder(const std::shared_ptr<HXView>& view) { _initialFirstResponder = view; }

private:
    std::string _identifier;
    std::string _label;
    std::shared_ptr<HXView> _view;
    HXColor _color = HXColor::controlColor();
    HXTabView* _tabView = nullptr;
    std::weak_ptr<HXView> _initialFirstResponder;
};

class HXTabViewDelegate {
public:
    virtual ~HXTabViewDelegate() = default;
    virtual bool shouldSelectTabViewItem(HXTabView& tabView, HXTabViewItem& item) { (void)tabView, (void)item; return true; }
    virtual void willSelectTabViewItem(HXTabView& tabView, HXTabViewItem& item) { (void)tabView, (void)item; }
    virtual void didSelectTabViewItem(HXTabView& tabView, HXTabViewItem& item) { (void)tabView, (void)item; }
    virtual void didChangeNumberOfTabViewItems(HXTabView& tabView) { (void)tabView; }
};

class HXTabView : public HXView, public HXAccessibilityElement {
public:
    explicit HXTabView(HXRect frame = HXZeroRect);
    ~HXTabView() override;
    static constexpr double tabHeight() { return 24; }

    void addTabViewItem(const std::shared_ptr<HXTabViewItem>& item);
    void insertTabViewItem(const std::shared_ptr<HXTabViewItem>& item, long index);
    void removeTabViewItem(const std::shared_ptr<HXTabViewItem>& item);
    const std::vector<std::shared_ptr<HXTabViewItem>>& tabViewItems() const { return _items; }
    long numberOfTabViewItems() const { return long(_items.size()); }
    long indexOfTabViewItem(const std::shared_ptr<HXTabViewItem>& item) const;
    long indexOfTabViewItemWithIdentifier(const std::string& identifier) const;
    std::shared_ptr<HXTabViewItem> tabViewItemAtIndex(long index) const;

    std::shared_ptr<HXTabViewItem> selectedTabViewItem() const { return _selected; }
    // False when the delegate refused (or there is no such item).
    bool selectTabViewItem(const std::shared_ptr<HXTabViewItem>& item);
    bool selectTabViewItemAtIndex(long index) { return selectTabViewItem(tabViewItemAtIndex(index)); }
    bool selectTabViewItemWithIdentifier(const std::string& identifier);
    void selectFirstTabViewItem(HXObject* = nullptr) { selectTabViewItemAtIndex(0); }
    void selectLastTabViewItem(HXObject* = nullptr) { selectTabViewItemAtIndex(numberOfTabViewItems() - 1); }
    void selectNextTabViewItem(HXObject* sender = nullptr);
    void selectPreviousTabViewItem(HXObject* sender = nullptr);

    std::shared_ptr<HXTabViewDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXTabViewDelegate>& delegate) { _delegate = delegate; }
    HXTabViewType tabViewType() const { return _type; }
    void setTabViewType(HXTabViewType type);
    const HXFont& font() const { return _font; }
    void setFont(const HXFont& font);
    HXControlSize controlSize() const { return _controlSize; }
    void setControlSize(HXControlSize size);
    // Where the selected item's view goes.
    HXRect contentRect() const;
    HXRect rectOfTabAtIndex(long index) const;
    std::shared_ptr<HXTabViewItem> tabViewItemAtPoint(HXPoint point) const;

    bool isFlipped() const override { return true; }
    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return _type == HXTopTabsBezelBorder && !_items.empty(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void setFrame(HXRect frame) override;

    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;

private:
    void placeSelectedView();

    std::vector<std::shared_ptr<HXTabViewItem>> _items;
    std::shared_ptr<HXTabViewItem> _selected;
    std::weak_ptr<HXTabViewDelegate> _delegate;
    HXTabViewType _type = HXTopTabsBezelBorder;
    HXFont _font = HXFont::systemFontOfSize(HXFont::smallSystemFontSize());
    HXControlSize _controlSize = HXRegularControlSize;
    long _pressed = -1;
};
