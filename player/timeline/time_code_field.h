#pragma once
// MVPTimeCodeField: the time display's editable time readout — a thin shell around MVPTimeCodeCell.
//
// A single click on the field opens the mode menu once the double-click interval has passed; a double
// click starts editing instead; a click on the frame around the text (the pop-up arrows) or a right click
// opens the menu at once. While editing, the field editor's typing, commands and clicks go to the cell.
#include "player/timeline/time_code_cell.h"

#include "platform/winkit/text_field.h"

class MVPTimeCodeField : public HXTextField {
public:
    // The double-click interval used for the delayed menu.
    static constexpr double kDoubleClickInterval = 0.5;

    explicit MVPTimeCodeField(HXRect frame = HXZeroRect);
    ~MVPTimeCodeField() override;

    std::shared_ptr<MVPTimeCodeCell> timeCodeCell() const
    {
        return std::static_pointer_cast<MVPTimeCodeCell>(cell());
    }
    void setMovie(std::shared_ptr<MVMovie> movie) { timeCodeCell()->setMovie(std::move(movie)); }
    std::shared_ptr<HXMenu> menu() { return timeCodeCell()->menu(); }
    void removeAllItems() { timeCodeCell()->removeAllItems(); }
    void flushFormatterCache() { timeCodeCell()->flushFormatterCache(); }
    void chooseFormatter(int mode) { timeCodeCell()->chooseFormatter(mode); }
    void setTimeMaximum(int64_t maximum) { timeCodeCell()->setTimeMaximum(maximum); }
    int64_t timeMaximum() const { return timeCodeCell()->timeMaximum(); }
    void setTimeOrigin(int64_t origin) { timeCodeCell()->setTimeOrigin(origin); }
    int64_t timeOrigin() const { return timeCodeCell()->timeOrigin(); }

    // Takes the time the movie is at now: the field is marked for drawing only when the text it shows
    // changes, so a paused movie's field is not drawn again on every tick.
    void updateTimeString() { timeCodeCell()->takeTimeString(); }
    // A time that changed since the field was last marked is drawn here; when this pass draws only part
    // of the field, the rest is marked so that no part keeps the old time.
    void drawRect(HXRect dirtyRect) override;

    // The text's rectangle inside the bounds (the cell's drawing rectangle).
    HXRect textRectForBounds(HXRect bounds) const;

    // The width the longest time of the movie needs.
    int naturalWidth() const { return timeCodeCell()->naturalWidth(); }

    // The field takes the keyboard focus only by Tab or Shift-Tab (clicks open the menu or edit), and
    // then selects the first (Tab) or the last (Shift-Tab) field of the time.
    static bool isCurrentEventTabKey(const HXWindow* window, bool* backwards);
    bool acceptsFirstResponder() const override;
    bool becomeFirstResponder() override;
    void textDidEndEditing(HXTextView& textView, int movement) override;

    // Clicks: true when the field handled the event (else the text field's own handling runs).
    bool cellMouseDown(const HXEvent& event);
    void mouseDown(const HXEvent& event) override;
    void rightMouseDown(const HXEvent& event) override;
    // The pop-up frame shows while the mouse is over the field.
    void mouseEntered(const HXEvent& event) override;
    void mouseExited(const HXEvent& event) override;
    void viewDidMoveToWindow() override;
    void setFrame(HXRect frame) override;
    // Pops the mode menu up under the field.
    virtual void contextMenuWithEvent(const HXEvent& event);

    // The field editor's delegate.
    bool textViewShouldChangeTextInRange(
        HXTextView& textView, HXRange range, const std::string& replacement) override;
    bool textViewDoCommandBySelector(HXTextView& textView, HXSelector command) override;
    bool textViewShouldHandleEvent(HXTextView& textView, const HXEvent& event) override;
    std::shared_ptr<HXMenu> textViewMenuForEvent(HXTextView& textView, const HXEvent& event) override;

private:
    void performDelayedClick(const HXEvent& event);

    void updateTrackingRect();

    bool _startingEditing = false;
    HXTrackingRectTag _trackingRectTag = 0;
};
