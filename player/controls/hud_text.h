#pragma once
// Light-on-dark text of the heads-up panels: HUDTextField, an inert label, and HUDTextView, selectable
// text that posts "HUDTextClickedNotification" on a Control-click when it has the toggle.
#include "platform/winkit/text_field.h"
#include "platform/winkit/text_view.h"

inline constexpr const char* HUDTextClickedNotification = "HUDTextClickedNotification";

class HUDTextField : public HXTextField {
public:
    explicit HUDTextField(HXRect frame = HXZeroRect);
};

class HUDTextView : public HXTextView {
public:
    explicit HUDTextView(HXRect frame = HXZeroRect);

    bool hasToggle() const { return _hasToggle; }
    void setHasToggle(bool flag) { _hasToggle = flag; }

    bool acceptsFirstResponder() const override { return true; }
    bool needsPanelToBecomeKey() const override { return true; }
    // Leaving first responder empties the selection.
    bool resignFirstResponder() override;
    void mouseUp(const HXEvent& event) override;
    // With Control held (and the toggle set) the text is not selectable, so the click can toggle.
    void flagsChanged(const HXEvent& event) override;

private:
    bool _hasToggle = false;
};
