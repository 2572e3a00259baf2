#include "player/timeline/time_code_field.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/window.h"

MVPTimeCodeField::MVPTimeCodeField(HXRect frame)
    : HXTextField(std::make_shared<MVPTimeCodeCell>(), frame)
{
    setBezeled(false);
    setDrawsBackground(false);
    setAlignment(HXRightTextAlignment);
}

MVPTimeCodeField::~MVPTimeCodeField()
{
    HXRunLoop::main().cancelPerformRequests(this);
}

HXRect MVPTimeCodeField::textRectForBounds(HXRect b) const
{
    return timeCodeCell()->drawingRectForBounds(b);
}

void MVPTimeCodeField::drawRect(HXRect dirtyRect)
{
    bool changed = timeCodeCell()->takeTimeString(false);
    HXTextField::drawRect(dirtyRect);
    if (changed && !HXContainsRect(HXInsetRect(dirtyRect, -1e-6, -1e-6), bounds()))
        setNeedsDisplay(true);
}

bool MVPTimeCodeField::cellMouseDown(const HXEvent& event)
{
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    HXRect b = bounds();
    bool inBounds = HXPointInRect(p, b);
    if ((inBounds && !HXPointInRect(p, textRectForBounds(b))) || event.type() == HXRightMouseDown) {
        contextMenuWithEvent(event);
        return true;
    }
    if (event.type() != HXLeftMouseDown)
        return true;
    if (!isEditing() && event.clickCount() == 1) {
        HXEvent copy = event;
        HXRunLoop::main().performAfterDelay(
            this, "performDelayedClick:", kDoubleClickInterval, [this, copy] { performDelayedClick(copy); });
        return true;
    }
    if (isEditing() && event.clickCount() == 1)
        return true;
    // A second click: no menu after all, the field starts editing.
    HXRunLoop::main().cancelPerformRequests(this, "performDelayedClick:");
    return false;
}

void MVPTimeCodeField::performDelayedClick(const HXEvent& event)
{
    contextMenuWithEvent(event);
}

void MVPTimeCodeField::mouseDown(const HXEvent& event)
{
    if (cellMouseDown(event))
        return;
    // The double click that starts editing is the one click that may give the field the focus.
    _startingEditing = true;
    HXTextField::mouseDown(event);
    _startingEditing = false;
}

void MVPTimeCodeField::rightMouseDown(const HXEvent& event)
{
    if (!cellMouseDown(event))
        HXTextField::rightMouseDown(event);
}

void MVPTimeCodeField::contextMenuWithEvent(const HXEvent& event)
{
    auto modes = menu();
    if (!modes)
        return;
    // Under the field: its origin in the window, five points down.
    HXPoint origin = convertPointToView(bounds().origin, nullptr);
    HXEvent below = HXEvent::mouseEvent(event.type(), HXMakePoint(origin.x, origin.y - 5),
        event.modifierFlags(), event.timestamp(), event.windowNumber(), 0, event.clickCount());
    HXMenu::popUpContextMenu(modes, below, std::static_pointer_cast<HXView>(shared_from_this()));
}

bool MVPTimeCodeField::textViewShouldChangeTextInRange(
    HXTextView& textView, HXRange range, const std::string& replacement)
{
    (void)range;
    return timeCodeCell()->textViewShouldChangeText(textView, replacement);
}

bool MVPTimeCodeField::textViewDoCommandBySelector(HXTextView& textView, HXSelector command)
{
    auto cell = timeCodeCell();
    cell->onEndEditing = [this](int movement) {
        endEditing(movement);
        // Return and Escape leave the field for the next control.
        if (auto w = window())
            w->makeFirstResponder(nextValidKeyView());
    };
    return cell->doCommandBySelector(textView, command)
        || HXTextField::textViewDoCommandBySelector(textView, command);
}

bool MVPTimeCodeField::textViewShouldHandleEvent(HXTextView& textView, const HXEvent& event)
{
    bool right = event.type() == HXRightMouseDown;
    if (!right && event.type() != HXLeftMouseDown)
        return true;
    int index = int(
        textView.characterIndexForPoint(textView.convertPointFromView(event.locationInWindow(), nullptr)));
    switch (timeCodeCell()->editorClick(textView, right, event.clickCount(), index)) {
    case MVPTimeCodeCell::EditorClick::OpenMenu:
        contextMenuWithEvent(event);
        return false;
    case MVPTimeCodeCell::EditorClick::Handled:
        return false;
    case MVPTimeCodeCell::EditorClick::Pass:
        return true;
    }
    return true;
}

std::shared_ptr<HXMenu> MVPTimeCodeField::textViewMenuForEvent(HXTextView& textView, const HXEvent& event)
{
    (void)textView;
    (void)event;
    return menu();
}

bool MVPTimeCodeField::isCurrentEventTabKey(const HXWindow* window, bool* backwards)
{
    const HXEvent* event = window ? window->currentEvent() : nullptr;
    if (!event || event->type() != HXKeyDown || event->charactersIgnoringModifiers().empty())
        return false;
    char c = event->charactersIgnoringModifiers()[0];
    if (c != 9 && c != 25)
        return false;
    if (backwards)
        *backwards = c == 25 || (event->modifierFlags() & HXShiftKeyMask);
    return true;
}

bool MVPTimeCodeField::acceptsFirstResponder() const
{
    return isEditable() && (_startingEditing || isCurrentEventTabKey(window().get(), nullptr));
}

bool MVPTimeCodeField::becomeFirstResponder()
{
    if (!HXTextField::becomeFirstResponder())
        return false;
    bool backwards = false;
    if (isCurrentEventTabKey(window().get(), &backwards)) {
        auto editor = currentEditor();
        if (backwards)
            timeCodeCell()->selectLastField(editor.get());
        else
            timeCodeCell()->selectFirstField(editor.get());
    }
    return true;
}

void MVPTimeCodeField::textDidEndEditing(HXTextView& textView, int movement)
{
    // Leaving the field without Return drops the edit; the field shows the movie's time again.
    if (auto formatter = timeCodeCell()->formatter())
        formatter->cancelEdit();
    HXTextField::textDidEndEditing(textView, movement);
}

void MVPTimeCodeField::mouseEntered(const HXEvent& event)
{
    (void)event;
    timeCodeCell()->setDrawFrame(true);
    setNeedsDisplay(true);
}

void MVPTimeCodeField::mouseExited(const HXEvent& event)
{
    (void)event;
    timeCodeCell()->setDrawFrame(false);
    setNeedsDisplay(true);
}

void MVPTimeCodeField::updateTrackingRect()
{
    if (_trackingRectTag)
        removeTrackingRect(_trackingRectTag);
    _trackingRectTag = 0;
    if (window())
        _trackingRectTag = addTrackingRect(
            bounds(), std::static_pointer_cast<HXResponder>(shared_from_this()), nullptr, false);
}

void MVPTimeCodeField::viewDidMoveToWindow()
{
    HXTextField::viewDidMoveToWindow();
    updateTrackingRect();
}

void MVPTimeCodeField::setFrame(HXRect frame)
{
    HXTextField::setFrame(frame);
    if (_trackingRectTag)
        updateTrackingRect();
}
