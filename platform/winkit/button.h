#pragma once
// HXButton: a push button, toggle, check box, radio button or image button (see HXButtonCell for the
// types). Space or Return work it when it has the keyboard focus; its key equivalent works it from
// anywhere in the window.
#include "platform/winkit/button_cell.h"
#include "platform/winkit/control.h"

#include <memory>
#include <string>

class HXButton : public HXControl {
public:
    explicit HXButton(HXRect frame = HXZeroRect, std::string title = {});
    static HXCellFactory& cellClass();
    std::shared_ptr<HXButtonCell> buttonCell() const { return std::static_pointer_cast<HXButtonCell>(cell()); }

    const std::string& title() const { return buttonCell()->title(); }
    void setTitle(const std::string& title);
    const std::string& alternateTitle() const { return buttonCell()->alternateTitle(); }
    void setAlternateTitle(const std::string& title) { buttonCell()->setAlternateTitle(title); }
    std::shared_ptr<HXImage> image() const { return buttonCell()->image(); }
    void setImage(std::shared_ptr<HXImage> image) { buttonCell()->setImage(std::move(image)); }
    std::shared_ptr<HXImage> alternateImage() const { return buttonCell()->alternateImage(); }
    void setAlternateImage(std::shared_ptr<HXImage> image) { buttonCell()->setAlternateImage(std::move(image)); }
    HXCellImagePosition imagePosition() const { return buttonCell()->imagePosition(); }
    void setImagePosition(HXCellImagePosition position) { buttonCell()->setImagePosition(position); }
    void setButtonType(HXButtonType type) { buttonCell()->setButtonType(type); }
    HXBezelStyle bezelStyle() const { return buttonCell()->bezelStyle(); }
    void setBezelStyle(HXBezelStyle style) { buttonCell()->setBezelStyle(style); }
    bool isBordered() const { return buttonCell()->isBordered(); }
    void setBordered(bool flag) { buttonCell()->setBordered(flag); }
    bool isTransparent() const { return buttonCell()->isTransparent(); }
    void setTransparent(bool flag) { buttonCell()->setTransparent(flag); }
    int state() const { return cell()->state(); }
    void setState(int state);
    bool allowsMixedState() const { return cell()->allowsMixedState(); }
    void setAllowsMixedState(bool flag) { cell()->setAllowsMixedState(flag); }
    void setNextState() { setState(cell()->nextState()); }
    // Context menu on a right click.
    std::shared_ptr<HXMenu> menu() const { return cell()->menu(); }
    void setMenu(std::shared_ptr<HXMenu> menu) { cell()->setMenu(std::move(menu)); }

    const std::string& keyEquivalent() const { return buttonCell()->keyEquivalent(); }
    void setKeyEquivalent(const std::string& key) { buttonCell()->setKeyEquivalent(key); }
    uint32_t keyEquivalentModifierMask() const { return buttonCell()->keyEquivalentModifierMask(); }
    void setKeyEquivalentModifierMask(uint32_t mask) { buttonCell()->setKeyEquivalentModifierMask(mask); }
    void highlight(bool flag);

    // Width that fits the title.
    double naturalWidth() const;

    bool performKeyEquivalent(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;

protected:
    // For subclasses with a cell class of their own.
    HXButton(std::shared_ptr<HXButtonCell> cell, HXRect frame);
};
