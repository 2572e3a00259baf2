#include "platform/winkit/control.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/undo_manager.h"
#include "platform/winkit/application.h"
#include "platform/winkit/text_view.h"
#include "platform/winkit/window.h"

#include <limits>
#include <optional>

HXCellFactory& HXControl::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXCell>(std::string()); };
    return factory;
}

HXControl::HXControl(HXRect frame)
    : HXControl(cellClass()(), frame)
{
}

HXControl::HXControl(std::shared_ptr<HXCell> cell, HXRect frame)
    : HXView(frame)
    , _cell(cell ? std::move(cell) : std::make_shared<HXCell>(std::string()))
{
    _cell->setControlView(this);
}

HXControl::~HXControl()
{
    if (_cell && _cell->controlView() == this)
        _cell->setControlView(nullptr);
}

void HXControl::setCell(std::shared_ptr<HXCell> cell)
{
    if (!cell)
        return;
    if (_cell && _cell->controlView() == this)
        _cell->setControlView(nullptr);
    _cell = std::move(cell);
    _cell->setControlView(this);
    setNeedsDisplay(true);
}

void HXControl::updateCell(HXCell&) { setNeedsDisplay(true); }

HXSelector HXControl::action() const { return _cell->action(); }
void HXControl::setAction(HXSelector action) { _cell->setAction(action); }
std::shared_ptr<HXObject> HXControl::target() const { return _cell->target(); }
void HXControl::setTarget(const std::shared_ptr<HXObject>& target) { _cell->setTarget(target); }
HXEventMask HXControl::sendActionOn(HXEventMask mask) { return _cell->sendActionOn(mask); }
bool HXControl::isContinuous() const { return _cell->isContinuous(); }
void HXControl::setContinuous(bool flag) { _cell->setContinuous(flag); }

bool HXControl::sendAction(HXSelector action, HXObject* target)
{
    if (!action)
        return false;
    auto keep = shared_from_this();
    return HXApplication::sharedApplication()->sendAction(action, target, this);
}

HXPropertyList HXControl::objectValue() const
{
    // A field being edited reads as what is typed so far.
    if (auto editor = currentEditor()) {
        HXCell probe;
        probe.setFormatter(_cell->formatter());
        probe.setStringValue(editor->string());
        return probe.objectValue();
    }
    return _cell->objectValue();
}

void HXControl::setObjectValue(const HXPropertyList& value)
{
    abortEditing();
    _cell->setObjectValue(value);
    setNeedsDisplay(true);
    noteValueChanged();
}

std::string HXControl::stringValue() const
{
    if (auto editor = currentEditor())
        return editor->string();
    return _cell->stringValue();
}

void HXControl::setStringValue(const std::string& value)
{
    abortEditing();
    _cell->setStringValue(value);
    setNeedsDisplay(true);
    noteValueChanged();
}

long HXControl::intValue() const
{
    if (currentEditor()) {
        HXCell probe(stringValue());
        return probe.intValue();
    }
    return _cell->intValue();
}

void HXControl::setIntValue(long value) { setObjectValue(HXPropertyList(int64_t(value))); }

double HXControl::doubleValue() const
{
    if (currentEditor()) {
        HXCell probe(stringValue());
        return probe.doubleValue();
    }
    return _cell->doubleValue();
}

void HXControl::setDoubleValue(double value) { setObjectValue(HXPropertyList(value)); }

void HXControl::takeDoubleValueFrom(HXObject* sender)
{
    if (auto* control = dynamic_cast<HXControl*>(sender))
        setDoubleValue(control->doubleValue());
    else if (auto* cell = dynamic_cast<HXCell*>(sender))
        setDoubleValue(cell->doubleValue());
}

void HXControl::takeStringValueFrom(HXObject* sender)
{
    if (auto* control = dynamic_cast<HXControl*>(sender))
        setStringValue(control->stringValue());
    else if (auto* cell = dynamic_cast<HXCell*>(sender))
        setStringValue(cell->stringValue());
}

std::shared_ptr<HXFormatter> HXControl::formatter() const { return _cell->formatter(); }
void HXControl::setFormatter(std::shared_ptr<HXFormatter> formatter) { _cell->setFormatter(std::move(formatter)); }

bool HXControl::isEnabled() const { return _cell->isEnabled(); }

void HXControl::setEnabled(bool enabled)
{
    if (!enabled)
        abortEditing();
    _cell->setEnabled(enabled);
    setNeedsDisplay(true);
}

HXTextAlignment HXControl::alignment() const { return _cell->alignment(); }
void HXControl::setAlignment(HXTextAlignment alignment) { _cell->setAlignment(alignment); }
HXFont HXControl::font() const { return _cell->font(); }
void HXControl::setFont(const HXFont& font) { _cell->setFont(font); }
HXControlSize HXControl::controlSize() const { return _cell->controlSize(); }
void HXControl::setControlSize(HXControlSize size) { _cell->setControlSize(size); }
bool HXControl::isHighlighted() const { return _cell->isHighlighted(); }

void HXControl::sizeToFit()
{
    HXSize size = _cell->cellSize();
    if (size.width > 0 && size.height > 0)
        setFrameSize(HXIntegralRect({ {}, size }).size);
}

void HXControl::performClick(HXObject* sender)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    _cell->performClick(sender);
    noteValueChanged();
}

bool HXControl::showsKeyboardFocus() const
{
    auto window = this->window();
    if (!window || !window->isKeyWindow() || _cell->focusRingType() == HXFocusRingTypeNone)
        return false;
    return window->firstResponder().get() == this;
}

void HXControl::resetCursorRects()
{
    if (_cell)
        _cell->resetCursorRect(bounds(), *this);
}

void HXControl::drawRect(HXRect)
{
    _cell->drawWithFrame(bounds(), *this);
    if (showsKeyboardFocus() && _cell->controlDrawsFocusRing())
        _cell->drawFocusRingMaskWithFrame(HXInsetRect(bounds(), 2, 2), *this);
}

void HXControl::mouseDown(const HXEvent& event)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    auto cell = _cell;
    auto window = this->window();
    HXRect frame = bounds();
    double before = cell->doubleValue();
    // All that a continuous control changes while the mouse is down is one change: one undo takes the
    // whole drag back to where it started.
    HXUndoManager* undo = cell->isContinuous() && window ? window->undoManager() : nullptr;
    if (undo)
        undo->beginUndoGrouping();
    bool upInside = false;
    HXEvent current = event;
    for (;;) {
        cell->highlight(true, frame, *this);
        if (window)
            window->displayIfNeeded();
        if (cell->trackMouse(current, frame, *this, cell->prefersTrackingUntilMouseUp())) {
            upInside = true;
            break;
        }
        // The mouse left while still down: wait until it comes back (tracking again) or goes up outside.
        cell->highlight(false, frame, *this);
        if (window)
            window->displayIfNeeded();
        std::optional<HXEvent> next;
        for (;;) {
            next = HXApplication::sharedApplication()->nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
                std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
            if (!next || next->type() == HXLeftMouseUp)
                break;
            if (mouseInRect(convertPointFromView(next->locationInWindow(), nullptr), frame))
                break;
        }
        if (!next || next->type() == HXLeftMouseUp)
            break;
        current = *next;
    }
    cell->highlight(false, frame, *this);
    if (upInside) {
        cell->mouseUpInside();
        if (cell->sendActionOnMask() & HXLeftMouseUpMask)
            sendAction();
    }
    if (cell->doubleValue() != before || upInside)
        noteValueChanged();
    if (undo)
        undo->endUndoGrouping();
    if (window)
        window->displayIfNeeded();
}

void HXControl::rightMouseDown(const HXEvent& event)
{
    if (auto menu = _cell->menuForEvent(event, bounds(), *this)) {
        HXMenu::popUpContextMenu(menu, event, std::static_pointer_cast<HXView>(shared_from_this()));
        return;
    }
    HXView::rightMouseDown(event);
}

bool HXControl::acceptsFirstResponder() const { return _cell->acceptsFirstResponder(); }

bool HXControl::becomeFirstResponder()
{
    setNeedsDisplay(true);
    HXAccessibility::postNotification(*this, HXAccessibilityFocusedUIElementChangedNotification);
    return true;
}

bool HXControl::resignFirstResponder()
{
    setNeedsDisplay(true);
    return true;
}

void HXControl::noteValueChanged() { HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification); }

// ---- Accessibility ------------------------------------------------------------------------------------------

std::vector<std::string> HXControl::accessibilityAttributeNames() const { return HXAccessibility::attributeNames(*_cell); }

HXAccessibilityValue HXControl::accessibilityAttributeValue(const std::string& attribute) const
{
    return HXAccessibility::attributeValue(*_cell, attribute);
}

bool HXControl::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    if (_cell->accessibilityIsAttributeSettable(attribute))
        return true;
    return attribute == HXAccessibilityFocusedAttribute && acceptsFirstResponder();
}

void HXControl::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (_cell->accessibilityIsAttributeSettable(attribute)) {
        _cell->accessibilitySetValue(value, attribute);
        setNeedsDisplay(true);
        return;
    }
    HXAccessibilityElement::accessibilitySetValue(value, attribute);
}

std::vector<std::string> HXControl::accessibilityActionNames() const { return _cell->accessibilityActionNames(); }

std::string HXControl::accessibilityActionDescription(const std::string& action) const
{
    return _cell->accessibilityActionDescription(action);
}

void HXControl::accessibilityPerformAction(const std::string& action)
{
    auto keep = shared_from_this();
    _cell->accessibilityPerformAction(action);
}

bool HXControl::accessibilityIsIgnored() const { return _cell->accessibilityIsIgnored(); }
