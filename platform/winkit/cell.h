#pragma once
// HXCell: what a control shows and how it reacts, without being a view itself. A control owns one cell
// (a matrix or a table many) and lends it its frame to draw in and its events to track. The cell keeps
// the value (an object value shown through an optional formatter), the look (text or image, alignment,
// font, border), the state of buttons (off, on, mixed), and the action that goes to the target.
//
// Tracking: trackMouse runs the loop of a mouse press; subclasses shape it through startTrackingAt,
// continueTracking and stopTracking, all in the control view's coordinates.
#include "platform/basekit/property_list.h"
#include "platform/drawing/attributed_string.h"
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/menu.h"

#include <any>
#include <memory>
#include <string>

class HXFormatter;
class HXImage;
class HXTextView;
class HXView;
class HXControl;

enum HXCellType : int { HXNullCellType = 0, HXTextCellType = 1, HXImageCellType = 2 };

enum HXFocusRingType : int { HXFocusRingTypeDefault = 0, HXFocusRingTypeNone = 1, HXFocusRingTypeExterior = 2 };

// Where a focus ring goes relative to what is drawn.
enum HXFocusRingPlacement : int { HXFocusRingOnly = 0, HXFocusRingBelow = 1, HXFocusRingAbove = 2 };

// The colours and measures of the toolkit's flat look, shared by every control.
namespace HXControlStyle {
HXColor accentColor();        // selection, knobs, the default button, focus rings
HXColor faceColor();          // the face of buttons and fields
HXColor pressedFaceColor();
HXColor borderColor();
HXColor trackColor();
HXColor textColor(bool enabled);
constexpr double cornerRadius = 4;
// Draws a rounded focus ring around `rect` (in the current context).
void drawFocusRing(HXRect rect, double radius = cornerRadius);
// A rounded, filled and stroked rectangle.
void drawPanel(HXRect rect, const HXColor& fill, const HXColor& stroke, double radius = cornerRadius);
}  // namespace HXControlStyle

class HXCell : public HXObject, public HXAccessibilityElement {
public:
    HXCell();
    explicit HXCell(std::string text);
    explicit HXCell(std::shared_ptr<HXImage> image);
    ~HXCell() override;

    // The control that shows the cell (not owned).
    HXView* controlView() const { return _controlView; }
    virtual void setControlView(HXView* view) { _controlView = view; }

    HXCellType type() const { return _type; }
    void setType(HXCellType type) { _type = type; }

    // Value. The object value is what the program works with; the string value is how it reads, through
    // the formatter when there is one.
    const HXPropertyList& objectValue() const { return _objectValue; }
    virtual void setObjectValue(const HXPropertyList& value);
    virtual std::string stringValue() const;
    virtual void setStringValue(const std::string& value);
    long intValue() const;
    void setIntValue(long value) { setObjectValue(HXPropertyList(int64_t(value))); }
    double doubleValue() const;
    void setDoubleValue(double value) { setObjectValue(HXPropertyList(value)); }
    float floatValue() const { return float(doubleValue()); }
    void setFloatValue(float value) { setDoubleValue(value); }
    bool hasValidObjectValue() const { return _validObjectValue; }
    std::shared_ptr<HXFormatter> formatter() const { return _formatter; }
    void setFormatter(std::shared_ptr<HXFormatter> formatter);

    const std::string& title() const { return _title; }
    virtual void setTitle(const std::string& title);
    std::shared_ptr<HXImage> image() const { return _image; }
    virtual void setImage(std::shared_ptr<HXImage> image);

    // State of buttons: HXOffState, HXOnState, HXMixedState (only with allowsMixedState).
    int state() const { return _state; }
    virtual void setState(int state);
    bool allowsMixedState() const { return _allowsMixedState; }
    void setAllowsMixedState(bool flag) { _allowsMixedState = flag; }
    // off → on; on → off; off → mixed → on when mixed is allowed: on → off, off → mixed, mixed → on.
    virtual int nextState() const;
    void setNextState() { setState(nextState()); }

    // Look and behaviour.
    bool isEnabled() const { return _enabled; }
    virtual void setEnabled(bool enabled);
    bool isHighlighted() const { return _highlighted; }
    virtual void setHighlighted(bool flag);
    bool isEditable() const { return _editable; }
    virtual void setEditable(bool flag);
    bool isSelectable() const { return _selectable || _editable; }
    virtual void setSelectable(bool flag);
    bool isBordered() const { return _bordered; }
    void setBordered(bool flag);
    bool isBezeled() const { return _bezeled; }
    void setBezeled(bool flag);
    bool isScrollable() const { return _scrollable; }
    void setScrollable(bool flag) { _scrollable = flag; }
    bool isContinuous() const { return _continuous; }
    void setContinuous(bool flag) { _continuous = flag; }
    HXTextAlignment alignment() const { return _alignment; }
    void setAlignment(HXTextAlignment alignment);
    const HXFont& font() const { return _font; }
    void setFont(const HXFont& font);
    HXLineBreakMode lineBreakMode() const { return _lineBreakMode; }
    void setLineBreakMode(HXLineBreakMode mode);
    HXControlSize controlSize() const { return _controlSize; }
    void setControlSize(HXControlSize size);
    HXFocusRingType focusRingType() const { return _focusRingType; }
    void setFocusRingType(HXFocusRingType type) { _focusRingType = type; }
    bool showsFirstResponder() const { return _showsFirstResponder; }
    void setShowsFirstResponder(bool flag);
    virtual bool acceptsFirstResponder() const { return false; }
    // A cell that draws its own focus ring answers false and the control leaves it alone.
    virtual bool controlDrawsFocusRing() const { return true; }

    // Target and action.
    HXSelector action() const { return _action; }
    void setAction(HXSelector action) { _action = action; }
    std::shared_ptr<HXObject> target() const { return _target.lock(); }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    long tag() const { return _tag; }
    void setTag(long tag) { _tag = tag; }
    // Which mouse events send the action; returns the old mask. The default is the mouse going up.
    HXEventMask sendActionOn(HXEventMask mask);
    HXEventMask sendActionOnMask() const { return _sendActionOnMask; }
    std::shared_ptr<HXMenu> menu() const { return _menu; }
    void setMenu(std::shared_ptr<HXMenu> menu) { _menu = std::move(menu); }
    virtual std::shared_ptr<HXMenu> menuForEvent(const HXEvent& event, HXRect cellFrame, HXView& view);
    const std::any& representedObject() const { return _representedObject; }
    void setRepresentedObject(std::any object) { _representedObject = std::move(object); }

    // Tracking, in the control view's coordinates. trackMouse returns true when the mouse went up (inside
    // the frame, or anywhere with untilMouseUp).
    virtual bool trackMouse(const HXEvent& event, HXRect cellFrame, HXView& controlView, bool untilMouseUp);
    virtual bool startTrackingAt(HXPoint startPoint, HXView& controlView);
    virtual bool continueTracking(HXPoint lastPoint, HXPoint currentPoint, HXView& controlView);
    virtual void stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp);
    virtual bool prefersTrackingUntilMouseUp() const { return false; }
    // A press ended inside the cell, just before the action goes: buttons move their state on here.
    virtual void mouseUpInside() {}
    // Highlights (or not) the cell in `frame` of `view` and redraws it.
    virtual void highlight(bool flag, HXRect cellFrame, HXView& controlView);
    // Sends the action to the target through the control view (or the application when there is none).
    bool sendAction();
    // As if clicked: highlights briefly, moves to the next state, sends the action.
    virtual void performClick(HXObject* sender);

    // Geometry.
    virtual HXSize cellSize() const;
    virtual HXSize cellSizeForBounds(HXRect bounds) const;
    virtual HXRect drawingRectForBounds(HXRect bounds) const;
    virtual HXRect titleRectForBounds(HXRect bounds) const;
    virtual HXRect imageRectForBounds(HXRect bounds) const;

    // Adds the cell's cursor rectangles to `controlView`: the I-beam over the text of a selectable text
    // cell, nothing otherwise.
    virtual void resetCursorRect(HXRect cellFrame, HXView& controlView);

    // Drawing into the current context, which is set up for `controlView`.
    virtual void drawWithFrame(HXRect cellFrame, HXView& controlView);
    virtual void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView);
    virtual void drawFocusRingMaskWithFrame(HXRect cellFrame, HXView& controlView);
    HXColor textColor() const { return _textColor; }
    void setTextColor(const HXColor& color);
    // For a control that draws its text more than once in one drawRect (an embossed shadow under it): the
    // colour of the next drawing, without asking the control view to draw again.
    void setTextColorForDrawing(const HXColor& color) { _textColor = color; }

    // Editing with the window's field editor (text cells).
    virtual void editWithFrame(HXRect frame, HXView& controlView, HXTextView& editor, const HXEvent* event);
    virtual void selectWithFrame(HXRect frame, HXView& controlView, HXTextView& editor, size_t start, size_t length);
    virtual void endEditing(HXTextView& editor);
    // Gives the field editor the cell's look before editing starts.
    virtual void setUpFieldEditorAttributes(HXTextView& editor);

    // Accessibility: the cell speaks for its control.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

protected:
    // Asks the control view to draw again.
    void noteChanged();

private:
    HXView* _controlView = nullptr;
    HXCellType _type = HXNullCellType;
    HXPropertyList _objectValue;
    bool _validObjectValue = true;
    std::shared_ptr<HXFormatter> _formatter;
    std::string _title;
    std::shared_ptr<HXImage> _image;
    int _state = HXOffState;
    bool _allowsMixedState = false;
    bool _enabled = true;
    bool _highlighted = false;
    bool _editable = false;
    bool _selectable = false;
    bool _bordered = false;
    bool _bezeled = false;
    bool _scrollable = false;
    bool _continuous = false;
    HXTextAlignment _alignment = HXNaturalTextAlignment;
    HXFont _font;
    HXLineBreakMode _lineBreakMode = HXLineBreakByTruncatingTail;
    HXControlSize _controlSize = HXRegularControlSize;
    HXFocusRingType _focusRingType = HXFocusRingTypeDefault;
    bool _showsFirstResponder = false;
    HXColor _textColor = HXColor::controlTextColor();
    HXSelector _action;
    std::weak_ptr<HXObject> _target;
    long _tag = 0;
    HXEventMask _sendActionOnMask = HXLeftMouseUpMask;
    std::shared_ptr<HXMenu> _menu;
    std::any _representedObject;
};
