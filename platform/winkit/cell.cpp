#include "platform/winkit/cell.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/formatter.h"
#include "platform/winkit/text_view.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <cmath>
#include <limits>

// ---- The flat look -------------------------------------------------------------------------------------

namespace HXControlStyle {

HXColor accentColor() { return HXColor::colorWithCalibratedRed(0.20, 0.48, 0.93); }
HXColor faceColor() { return HXColor::colorWithCalibratedWhite(0.98); }
HXColor pressedFaceColor() { return HXColor::colorWithCalibratedWhite(0.84); }
HXColor borderColor() { return HXColor::colorWithCalibratedWhite(0.68); }
HXColor trackColor() { return HXColor::colorWithCalibratedWhite(0.80); }
HXColor textColor(bool enabled)
{
    return enabled ? HXColor::colorWithCalibratedWhite(0.10) : HXColor::colorWithCalibratedWhite(0.60);
}

void drawPanel(HXRect rect, const HXColor& fill, const HXColor& stroke, double radius)
{
    HXRect r = HXInsetRect(rect, 0.5, 0.5);
    auto path = HXBezierPath::bezierPathWithRoundedRect(r, radius, radius);
    fill.setFill();
    path.fill();
    stroke.setStroke();
    path.setLineWidth(1);
    path.stroke();
}

void drawFocusRing(HXRect rect, double radius)
{
    auto path = HXBezierPath::bezierPathWithRoundedRect(HXInsetRect(rect, -1.5, -1.5), radius + 1.5, radius + 1.5);
    accentColor().colorWithAlphaComponent(0.55).setStroke();
    path.setLineWidth(3);
    path.stroke();
}

}  // namespace HXControlStyle

// ---- HXCell --------------------------------------------------------------------------------------------------

HXCell::HXCell() = default;

HXCell::HXCell(std::string text)
    : _type(HXTextCellType)
    , _objectValue(text)
    , _title(std::move(text))
{
}

HXCell::HXCell(std::shared_ptr<HXImage> image)
    : _type(HXImageCellType)
    , _image(std::move(image))
{
}

HXCell::~HXCell() = default;

// Whether the cell can be selected or is enabled decides its cursor rectangles.
static void invalidateCursorRectsOf(HXView* view)
{
    if (view)
        if (auto w = view->window())
            w->invalidateCursorRectsForView(*view);
}

void HXCell::noteChanged()
{
    if (_controlView)
        _controlView->setNeedsDisplay(true);
}

void HXCell::setObjectValue(const HXPropertyList& value)
{
    _objectValue = value;
    _validObjectValue = true;
    if (_type == HXNullCellType)
        _type = HXTextCellType;
    noteChanged();
}

std::string HXCell::stringValue() const
{
    if (_formatter && _validObjectValue)
        return _formatter->stringForObjectValue(_objectValue);
    switch (_objectValue.type()) {
    case HXPropertyList::Type::String:
        return _objectValue.stringValue();
    case HXPropertyList::Type::Integer:
        return std::to_string(_objectValue.integerValue());
    case HXPropertyList::Type::Real: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", _objectValue.realValue());
        return buffer;
    }
    case HXPropertyList::Type::Boolean:
        return _objectValue.boolValue() ? "1" : "0";
    default:
        return {};
    }
}

void HXCell::setStringValue(const std::string& value)
{
    if (_formatter) {
        HXPropertyList parsed;
        if (_formatter->getObjectValue(parsed, value, nullptr)) {
            setObjectValue(parsed);
            return;
        }
        // Text the formatter cannot read is kept as text, and the cell says it holds no valid value.
        _objectValue = HXPropertyList(value);
        _validObjectValue = false;
        noteChanged();
        return;
    }
    setObjectValue(HXPropertyList(value));
}

long HXCell::intValue() const
{
    if (_objectValue.isNumber() || _objectValue.isBoolean())
        return long(_objectValue.isReal() ? std::lround(_objectValue.realValue()) : _objectValue.integerValue());
    if (_objectValue.isString())
        return std::strtol(_objectValue.stringValue().c_str(), nullptr, 10);
    return 0;
}

double HXCell::doubleValue() const
{
    if (_objectValue.isNumber())
        return _objectValue.realValue();
    if (_objectValue.isBoolean())
        return _objectValue.boolValue() ? 1 : 0;
    if (_objectValue.isString()) {
        double d = std::strtod(_objectValue.stringValue().c_str(), nullptr);
        return std::isfinite(d) ? d : 0;
    }
    return 0;
}

void HXCell::setFormatter(std::shared_ptr<HXFormatter> formatter)
{
    _formatter = std::move(formatter);
    noteChanged();
}

void HXCell::setTitle(const std::string& title)
{
    _title = title;
    noteChanged();
}

void HXCell::setImage(std::shared_ptr<HXImage> image)
{
    _image = std::move(image);
    if (_type == HXNullCellType)
        _type = HXImageCellType;
    noteChanged();
}

void HXCell::setState(int state)
{
    if (state == HXMixedState && !_allowsMixedState)
        state = HXOnState;
    else if (state != HXMixedState && state != HXOffState)
        state = HXOnState;  // any other number counts as on
    if (_state == state)
        return;
    _state = state;
    noteChanged();
}

int HXCell::nextState() const
{
    if (_state == HXOnState)
        return HXOffState;
    if (_state == HXOffState)
        return _allowsMixedState ? HXMixedState : HXOnState;
    return HXOnState;
}

void HXCell::setEnabled(bool enabled)
{
    _enabled = enabled;
    noteChanged();
    invalidateCursorRectsOf(_controlView);
}

void HXCell::setHighlighted(bool flag)
{
    if (_highlighted == flag)
        return;
    _highlighted = flag;
    noteChanged();
}

void HXCell::setEditable(bool flag)
{
    _editable = flag;
    noteChanged();
    invalidateCursorRectsOf(_controlView);
}

void HXCell::setSelectable(bool flag)
{
    _selectable = flag;
    if (!flag)
        _editable = false;
    invalidateCursorRectsOf(_controlView);
}

void HXCell::setBordered(bool flag)
{
    _bordered = flag;
    if (flag)
        _bezeled = false;
    noteChanged();
}

void HXCell::setBezeled(bool flag)
{
    _bezeled = flag;
    if (flag)
        _bordered = false;
    noteChanged();
}

void HXCell::setAlignment(HXTextAlignment alignment)
{
    _alignment = alignment;
    noteChanged();
}

void HXCell::setFont(const HXFont& font)
{
    _font = font;
    noteChanged();
}

void HXCell::setLineBreakMode(HXLineBreakMode mode)
{
    _lineBreakMode = mode;
    noteChanged();
}

void HXCell::setControlSize(HXControlSize size)
{
    _controlSize = size;
    _font = _font.fontWithSize(HXFont::systemFontSizeForControlSize(size));
    noteChanged();
}

void HXCell::setShowsFirstResponder(bool flag)
{
    _showsFirstResponder = flag;
    noteChanged();
}

void HXCell::setTextColor(const HXColor& color)
{
    // Cells that pick their colour while drawing set it on every draw; only a real change redraws.
    if (color == _textColor)
        return;
    _textColor = color;
    noteChanged();
}

HXEventMask HXCell::sendActionOn(HXEventMask mask)
{
    HXEventMask old = _sendActionOnMask;
    _sendActionOnMask = mask;
    return old;
}

std::shared_ptr<HXMenu> HXCell::menuForEvent(const HXEvent&, HXRect, HXView&) { return _menu; }

// ---- Actions and tracking ---------------------------------------------------------------------------------

bool HXCell::sendAction()
{
    if (!_action)
        return false;
    auto keep = shared_from_this();
    HXObject* sender = _controlView ? static_cast<HXObject*>(_controlView) : this;
    return HXApplication::sharedApplication()->sendAction(_action, target().get(), sender);
}

void HXCell::performClick(HXObject*)
{
    if (!_enabled)
        return;
    auto keep = shared_from_this();
    if (_controlView)
        highlight(true, _controlView->bounds(), *_controlView);
    if (_controlView)
        highlight(false, _controlView->bounds(), *_controlView);
    mouseUpInside();
    sendAction();
}

void HXCell::highlight(bool flag, HXRect, HXView&) { setHighlighted(flag); }

bool HXCell::startTrackingAt(HXPoint, HXView&) { return _continuous || (_sendActionOnMask & HXPeriodicMask); }

bool HXCell::continueTracking(HXPoint, HXPoint, HXView&) { return _continuous || (_sendActionOnMask & HXPeriodicMask); }

void HXCell::stopTracking(HXPoint, HXPoint, HXView&, bool) {}

bool HXCell::trackMouse(const HXEvent& event, HXRect cellFrame, HXView& controlView, bool untilMouseUp)
{
    auto keep = shared_from_this();
    auto window = controlView.window();
    HXPoint start = controlView.convertPointFromView(event.locationInWindow(), nullptr);
    HXPoint last = start;
    if (_sendActionOnMask & HXLeftMouseDownMask)
        sendAction();
    bool tracking = startTrackingAt(start, controlView);
    for (;;) {
        auto next = HXApplication::sharedApplication()->nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next) {
            // Nothing more can come (a test ran out of events): treat it as released where it was.
            stopTracking(last, last, controlView, true);
            return true;
        }
        HXPoint p = controlView.convertPointFromView(next->locationInWindow(), nullptr);
        bool inside = controlView.mouseInRect(p, cellFrame);
        if (next->type() == HXLeftMouseUp) {
            stopTracking(last, p, controlView, true);
            return inside || untilMouseUp;
        }
        if (!inside && !untilMouseUp) {
            stopTracking(last, p, controlView, false);
            return false;
        }
        if (tracking) {
            tracking = continueTracking(last, p, controlView);
            if (_continuous || (_sendActionOnMask & HXLeftMouseDraggedMask))
                sendAction();
        }
        last = p;
        if (window)
            window->displayIfNeeded();
    }
}

// ---- Geometry and drawing -----------------------------------------------------------------------------------

HXSize HXCell::cellSize() const { return cellSizeForBounds({ {}, { 1e6, 1e6 } }); }

HXSize HXCell::cellSizeForBounds(HXRect bounds) const
{
    HXSize size;
    if (_type == HXImageCellType && _image)
        size = _image->size();
    else if (_type == HXTextCellType) {
        HXStringAttributes a;
        a.font = _font;
        size = HXStringDrawing::sizeWithAttributes(stringValue(), a);
        size.width += 4;
    }
    if (_bordered || _bezeled) {
        size.width += 6;
        size.height += 6;
    }
    size.width = std::min(size.width, bounds.size.width);
    size.height = std::min(size.height, bounds.size.height);
    return size;
}

HXRect HXCell::drawingRectForBounds(HXRect bounds) const
{
    if (_bordered || _bezeled)
        return HXInsetRect(bounds, 3, 3);
    return bounds;
}

void HXCell::resetCursorRect(HXRect cellFrame, HXView& controlView)
{
    if (_type != HXImageCellType && isSelectable() && isEnabled())
        controlView.addCursorRect(titleRectForBounds(cellFrame), HXCursor::IBeamCursor());
}

HXRect HXCell::titleRectForBounds(HXRect bounds) const { return HXInsetRect(drawingRectForBounds(bounds), 2, 0); }

HXRect HXCell::imageRectForBounds(HXRect bounds) const
{
    HXRect area = drawingRectForBounds(bounds);
    if (!_image)
        return area;
    HXSize s = _image->size();
    double scale = std::min({ 1.0, s.width > 0 ? area.size.width / s.width : 1, s.height > 0 ? area.size.height / s.height : 1 });
    HXSize fitted { s.width * scale, s.height * scale };
    return HXIntegralRect({ { HXMidX(area) - fitted.width / 2, HXMidY(area) - fitted.height / 2 }, fitted });
}

void HXCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (_bezeled)
        HXControlStyle::drawPanel(cellFrame, HXColor::textBackgroundColor(), HXControlStyle::borderColor(), 3);
    else if (_bordered) {
        HXControlStyle::borderColor().setStroke();
        HXBezierPath::strokeRect(HXInsetRect(cellFrame, 0.5, 0.5));
    }
    drawInteriorWithFrame(cellFrame, controlView);
}

void HXCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (_type == HXImageCellType && _image) {
        HXRect r = imageRectForBounds(cellFrame);
        _image->drawInRect(r, HXZeroRect, HXCompositeSourceOver, _enabled ? 1.0 : 0.5);
        return;
    }
    if (_type != HXTextCellType)
        return;
    (void)controlView;
    HXRect r = titleRectForBounds(cellFrame);
    HXStringAttributes a;
    a.font = _font;
    a.foregroundColor = _enabled ? _textColor : HXControlStyle::textColor(false);
    a.paragraphStyle = HXParagraphStyle { _alignment, _lineBreakMode };
    std::string text = stringValue();
    double h = HXStringDrawing::sizeWithAttributes(text.empty() ? " " : text, a).height;
    HXRect line { { r.origin.x, HXMidY(r) - h / 2 }, { r.size.width, h } };
    HXStringDrawing::drawInRect(text, line, a);
}

void HXCell::drawFocusRingMaskWithFrame(HXRect cellFrame, HXView&) { HXControlStyle::drawFocusRing(cellFrame); }

// ---- Editing --------------------------------------------------------------------------------------------------

void HXCell::setUpFieldEditorAttributes(HXTextView& editor)
{
    editor.setFont(_font);
    editor.setTextColor(_textColor);
    editor.setAlignment(_alignment == HXNaturalTextAlignment ? HXLeftTextAlignment : _alignment);
    editor.setEditable(_editable);
    editor.setSelectable(isSelectable());
    editor.setDrawsBackground(true);
    editor.setBackgroundColor(HXColor::textBackgroundColor());
}

void HXCell::editWithFrame(HXRect frame, HXView& controlView, HXTextView& editor, const HXEvent* event)
{
    selectWithFrame(frame, controlView, editor, 0, 0);
    if (event)
        editor.mouseDown(*event);
}

void HXCell::selectWithFrame(HXRect frame, HXView& controlView, HXTextView& editor, size_t start, size_t length)
{
    if (!isSelectable())
        return;
    setUpFieldEditorAttributes(editor);
    editor.setFieldEditor(true);
    std::string text = _formatter && _validObjectValue ? _formatter->editingStringForObjectValue(_objectValue) : stringValue();
    editor.setString(text);
    editor.setFrame(titleRectForBounds(frame));
    auto editorPointer = std::static_pointer_cast<HXView>(editor.shared_from_this());
    if (editor.superview().get() != &controlView) {
        editor.removeFromSuperview();
        controlView.addSubview(editorPointer);
    }
    editor.setSelectedRange({ start, length });
}

void HXCell::endEditing(HXTextView& editor)
{
    setStringValue(editor.string());
    editor.removeFromSuperview();
    noteChanged();
}

// ---- Accessibility ---------------------------------------------------------------------------------------------

std::vector<std::string> HXCell::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilityTitleAttribute);
    names.push_back(HXAccessibilityValueAttribute);
    names.push_back(HXAccessibilityHelpAttribute);
    return names;
}

HXAccessibilityValue HXCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return _type == HXImageCellType ? HXAccessibilityImageRole : HXAccessibilityStaticTextRole;
    if (attribute == HXAccessibilityEnabledAttribute)
        return _enabled;
    if (attribute == HXAccessibilityTitleAttribute)
        return _title;
    if (attribute == HXAccessibilityValueAttribute)
        return _type == HXTextCellType ? HXAccessibilityValue(stringValue()) : HXAccessibilityValue();
    if (attribute == HXAccessibilityRoleDescriptionAttribute) {
        auto* self = const_cast<HXCell*>(this);
        HXObject& element = _controlView ? static_cast<HXObject&>(*_controlView) : static_cast<HXObject&>(*self);
        return HXAccessibility::roleDescription(HXAccessibility::attributeValue(element, HXAccessibilityRoleAttribute).stringValue());
    }
    if (_controlView)
        return HXAccessibility::viewAttributeValue(*_controlView, attribute);
    return {};
}
