#pragma once
// ImageButton: a button drawn entirely from a button image set — one picture per state (on, off, mixed;
// pressed, enabled, disabled; in an inactive window). It can send its action on press and again on
// release instead of on mouse-up (for buttons that act while held, like rewind), and can step through its
// states on each click. Round artwork: clicks in the corners outside the circle go to the view behind.
#include "player/controls/accessibility_titled_button.h"

#include <memory>

class MVPButtonImageSet;

// What a button shows, as the image set keys it.
struct MVPButtonImageState {
    int value = 0; // the cell's state: 1 on, 0 off, −1 mixed
    int state = 0; // −1 disabled, 1 pressed, 0 enabled
    bool active = true; // the button's window is the main window
    bool rollover = false;
    bool operator==(const MVPButtonImageState&) const = default;
};

class ImageButtonCell : public AccessibilityTitledButtonCell {
public:
    ImageButtonCell();

    const std::shared_ptr<MVPButtonImageSet>& buttonImageSet() const { return _images; }
    void setButtonImageSet(std::shared_ptr<MVPButtonImageSet> images);
    // Sends the action when the button is pressed and again when it is let go (read isHighlighted() in
    // the action to tell which), never on mouse-up alone.
    bool sendActionOnHighlightChange() const { return _sendActionOnHighlightChange; }
    void setSendActionOnHighlightChange(bool flag);
    // Each click moves the state on: on → off → mixed (when allowed, else on) → on.
    bool toggles() const { return _toggles; }
    void setToggles(bool flag) { _toggles = flag; }

    int nextState() const override;
    void mouseUpInside() override;
    void highlight(bool flag, HXRect cellFrame, HXView& controlView) override;
    void performClick(HXObject* sender) override;

    // Pictures come from the set only.
    void setImage(std::shared_ptr<HXImage>) override { }
    bool imageDimsWhenDisabled() const { return false; }

    MVPButtonImageState buttonImageState() const;
    // The picture of the current state; in an inactive window the active one when the set has no inactive
    // picture; an "on" button without "on" pictures shows the "off" one.
    std::shared_ptr<HXImage> image() const;
    // The largest width and height of the set's pictures (zero without a set).
    HXSize cellSize() const override;
    HXSize cellSizeForBounds(HXRect bounds) const override;
    // Where the picture goes in `frame`: centred at its own size.
    HXRect imageRectForFrame(HXRect frame, HXView* controlView) const;

    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;
    bool controlDrawsFocusRing() const override { return false; }

    // Accessibility: the press action, described as "mvpPress". Pressing the speaker button of the volume
    // control mutes (its superview answers "mute:"); any other image button is clicked.
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;

private:
    std::shared_ptr<MVPButtonImageSet> _images;
    bool _sendActionOnHighlightChange = false;
    bool _toggles = false;
};

class ImageButton : public HXButton {
public:
    explicit ImageButton(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<ImageButtonCell> imageButtonCell() const
    {
        return std::static_pointer_cast<ImageButtonCell>(cell());
    }

    const std::shared_ptr<MVPButtonImageSet>& buttonImageSet() const
    {
        return imageButtonCell()->buttonImageSet();
    }
    void setButtonImageSet(std::shared_ptr<MVPButtonImageSet> images);
    bool sendActionOnHighlightChange() const { return imageButtonCell()->sendActionOnHighlightChange(); }
    void setSendActionOnHighlightChange(bool flag)
    {
        imageButtonCell()->setSendActionOnHighlightChange(flag);
    }
    bool toggles() const { return imageButtonCell()->toggles(); }
    void setToggles(bool flag) { imageButtonCell()->setToggles(flag); }
    // Image buttons follow their window's main state; asking them to look active is ignored.
    void setAlwaysActive(bool) { }
    bool alwaysActive() const { return false; }

    std::shared_ptr<HXView> hitTest(HXPoint point) override;
    void mouseDown(const HXEvent& event) override;

protected:
    ImageButton(std::shared_ptr<ImageButtonCell> cell, HXRect frame);
};
