#pragma once
// HXButtonCell: the cell of buttons. The button type decides how a click changes the state and what the
// button shows while pressed or on: push buttons light up, toggles stay on, check boxes and radio
// buttons draw their mark, and momentary-change buttons show their alternate title and image while held.
#include "platform/winkit/cell.h"

#include <memory>
#include <string>

enum HXButtonType : int {
    HXMomentaryLightButton = 0,
    HXPushOnPushOffButton = 1,
    HXToggleButton = 2,
    HXSwitchButton = 3,  // a check box
    HXRadioButton = 4,
    HXMomentaryChangeButton = 5,
    HXOnOffButton = 6,
    HXMomentaryPushInButton = 7,
};

enum HXBezelStyle : int {
    HXRoundedBezelStyle = 1,
    HXRegularSquareBezelStyle = 2,
    HXShadowlessSquareBezelStyle = 6,
    HXTexturedSquareBezelStyle = 8,
    HXSmallSquareBezelStyle = 10,
    HXRecessedBezelStyle = 13,
};

enum HXCellImagePosition : int {
    HXNoImage = 0,
    HXImageOnly = 1,
    HXImageLeft = 2,
    HXImageRight = 3,
    HXImageBelow = 4,
    HXImageAbove = 5,
    HXImageOverlaps = 6,
};

class HXButtonCell : public HXCell {
public:
    explicit HXButtonCell(std::string title = {});

    HXButtonType buttonType() const { return _buttonType; }
    void setButtonType(HXButtonType type);
    // True for the types whose click moves the state on.
    bool toggles() const;

    const std::string& alternateTitle() const { return _alternateTitle; }
    void setAlternateTitle(const std::string& title);
    std::shared_ptr<HXImage> alternateImage() const { return _alternateImage; }
    void setAlternateImage(std::shared_ptr<HXImage> image);
    HXCellImagePosition imagePosition() const { return _imagePosition; }
    void setImagePosition(HXCellImagePosition position);
    HXBezelStyle bezelStyle() const { return _bezelStyle; }
    void setBezelStyle(HXBezelStyle style);
    bool isTransparent() const { return _transparent; }
    void setTransparent(bool flag);

    const std::string& keyEquivalent() const { return _keyEquivalent; }
    void setKeyEquivalent(const std::string& key);
    uint32_t keyEquivalentModifierMask() const { return _keyEquivalentModifierMask; }
    void setKeyEquivalentModifierMask(uint32_t mask) { _keyEquivalentModifierMask = mask; }

    // What the button shows now (the alternate content while pressed or on, as the type says).
    std::string shownTitle() const;
    std::shared_ptr<HXImage> shownImage() const;

    void setTitle(const std::string& title) override;
    void setImage(std::shared_ptr<HXImage> image) override;
    void mouseUpInside() override;
    bool acceptsFirstResponder() const override { return isEnabled(); }
    HXSize cellSizeForBounds(HXRect bounds) const override;
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawFocusRingMaskWithFrame(HXRect cellFrame, HXView& controlView) override;

    // Accessibility: a button, check box or radio button that can be pressed.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override;
    void accessibilityPerformAction(const std::string& action) override;

private:
    bool isMarkType() const { return _buttonType == HXSwitchButton || _buttonType == HXRadioButton; }
    HXRect markRect(HXRect frame) const;

    HXButtonType _buttonType = HXMomentaryPushInButton;
    std::string _alternateTitle;
    std::shared_ptr<HXImage> _alternateImage;
    HXCellImagePosition _imagePosition = HXNoImage;
    HXBezelStyle _bezelStyle = HXRoundedBezelStyle;
    bool _transparent = false;
    std::string _keyEquivalent;
    uint32_t _keyEquivalentModifierMask = 0;
};
