#pragma once
// HXTextView: editable plain text in a view. As a window's field editor it does the typing for text
// fields: the field puts it over its text, forwards its keys to it and is its delegate.
//
// Keys become text (insertText) or commands (moveLeft:, deleteBackward:, insertNewline: ...) through the
// key bindings in interpretKeyEvents; the delegate sees every command first. Ranges are byte ranges of the
// UTF-8 text and always fall on character boundaries.
#include "platform/basekit/strings.h"
#include "platform/drawing/attributed_string.h"
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/text_line_layout.h"
#include "platform/winkit/view.h"

#include <memory>
#include <string>

class HXMenu;
class HXTextView;

// How editing ended (the "HXTextMovement" of the end-editing notifications).
enum HXTextMovement : int {
    HXIllegalTextMovement = 0,
    HXOtherTextMovement = 0,
    HXReturnTextMovement = 0x10,
    HXTabTextMovement = 0x11,
    HXBacktabTextMovement = 0x12,
    HXLeftTextMovement = 0x13,
    HXRightTextMovement = 0x14,
    HXUpTextMovement = 0x15,
    HXDownTextMovement = 0x16,
    HXCancelTextMovement = 0x17,
};

inline constexpr const char* HXTextDidBeginEditingNotification = "HXTextDidBeginEditingNotification";
inline constexpr const char* HXTextDidChangeNotification = "HXTextDidChangeNotification";
inline constexpr const char* HXTextDidEndEditingNotification = "HXTextDidEndEditingNotification";
inline constexpr const char* HXTextMovementKey = "HXTextMovement";

class HXTextViewDelegate {
public:
    virtual ~HXTextViewDelegate() = default;
    virtual bool textShouldBeginEditing(HXTextView& textView) { (void)textView; return true; }
    virtual void textDidBeginEditing(HXTextView& textView) { (void)textView; }
    virtual void textDidChange(HXTextView& textView) { (void)textView; }
    virtual bool textShouldEndEditing(HXTextView& textView) { (void)textView; return true; }
    virtual void textDidEndEditing(HXTextView& textView, int movement) { (void)textView; (void)movement; }
    // Asked before typed or pasted text replaces `range`.
    virtual bool textViewShouldChangeTextInRange(HXTextView& textView, HXRange range, const std::string& replacement)
    {
        (void)textView;
        (void)range;
        (void)replacement;
        return true;
    }
    // True when the delegate performed the command itself.
    virtual bool textViewDoCommandBySelector(HXTextView& textView, HXSelector command)
    {
        (void)textView;
        (void)command;
        return false;
    }
    // False keeps the event from the text view (a field that opens a menu on a click instead).
    virtual bool textViewShouldHandleEvent(HXTextView& textView, const HXEvent& event)
    {
        (void)textView;
        (void)event;
        return true;
    }
    virtual std::shared_ptr<HXMenu> textViewMenuForEvent(HXTextView& textView, const HXEvent& event)
    {
        (void)textView;
        (void)event;
        return nullptr;
    }
};

class HXTextView : public HXView, public HXAccessibilityElement {
public:
    explicit HXTextView(HXRect frame = HXZeroRect);

    // Text and selection.
    const std::string& string() const { return _string; }
    // Replaces the text without asking the delegate; the selection goes to the end.
    void setString(const std::string& string);
    HXRange selectedRange() const { return _selectedRange; }
    // Clamped to the text and widened to character boundaries.
    void setSelectedRange(HXRange range);
    void selectAll(HXObject* sender = nullptr);
    // Replaces `range` without asking the delegate (the program's own changes).
    void replaceCharactersInRange(HXRange range, const std::string& string);
    // Typing: replaces the selection when the view is editable and the delegate agrees. True when changed.
    bool insertText(const std::string& text);
    // The index of the character boundary nearest to `point` (view coordinates).
    size_t characterIndexForPoint(HXPoint point) const;

    // Looks and behaviour.
    bool isEditable() const { return _editable; }
    void setEditable(bool flag) { _editable = flag; }
    bool isSelectable() const { return _selectable || _editable; }
    bool needsPanelToBecomeKey() const override { return isSelectable(); }
    void setSelectable(bool flag) { _selectable = flag; }
    bool isFieldEditor() const { return _fieldEditor; }
    void setFieldEditor(bool flag) { _fieldEditor = flag; }
    const HXFont& font() const { return _font; }
    void setFont(const HXFont& font);
    HXColor textColor() const { return _textColor; }
    void setTextColor(const HXColor& color);
    HXColor backgroundColor() const { return _backgroundColor; }
    void setBackgroundColor(const HXColor& color);
    bool drawsBackground() const { return _drawsBackground; }
    void setDrawsBackground(bool flag);
    HXTextAlignment alignment() const { return _alignment; }
    void setAlignment(HXTextAlignment alignment);
    // Whether the text's width follows the view's, so that long lines wrap at the view's width (off by
    // default; a field editor never wraps). The caret, the selection, moving up and down and clicks
    // follow the wrapped lines.
    bool widthTracksTextView() const { return _widthTracksTextView; }
    void setWidthTracksTextView(bool flag);
    // Secure entry (passwords): every character shows as a bullet, and the text is never copied, cut or
    // told to assistive programs.
    bool isSecure() const { return _secure; }
    void setSecure(bool flag);
    // One bullet for each character of `text`: how secure text is shown.
    static std::string bulletsFor(std::string_view text);
    // The lines as shown: one per line of the text, more where lines wrap.
    std::vector<winkit::TextLine> lineLayout() const;

    std::shared_ptr<HXTextViewDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXTextViewDelegate>& delegate) { _delegate = delegate; }

    // Keys to text and commands.
    void interpretKeyEvents(const HXEvent& event);
    // The command a key stands for (null for text).
    static HXSelector commandForKeyEvent(const HXEvent& event, bool fieldEditor);
    void doCommandBySelector(HXSelector command) override;
    // True when the text view knows the command itself.
    bool performTextCommand(HXSelector command);

    // Whether the view shows the insertion point now: it (or, as a field editor, its field) has the focus.
    bool hasKeyboardFocus() const;

    // HXView and HXResponder.
    bool isFlipped() const override { return true; }
    bool isOpaque() const override { return _drawsBackground && _backgroundColor.alphaComponent() >= 1; }
    bool acceptsFirstResponder() const override { return !_fieldEditor && isSelectable(); }
    void drawRect(HXRect dirtyRect) override;
    // The I-beam over the text while it can be selected.
    void resetCursorRects() override;
    void keyDown(const HXEvent& event) override;
    void mouseDown(const HXEvent& event) override;
    void rightMouseDown(const HXEvent& event) override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    // Accessibility: a text area, or nothing of its own while it edits for a field.
    bool accessibilityIsIgnored() const override { return _fieldEditor; }
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;

private:
    HXRect textRect() const;
    size_t previousBoundary(size_t index) const;
    size_t nextBoundary(size_t index) const;
    void moveInsertion(size_t index, bool extend);
    // The index on the line above (-1) or below (+1) the one showing `index`, nearest to its position.
    size_t indexOnAdjacentLine(size_t index, int direction) const;
    // The x of the boundary `index` on `line`, in view coordinates.
    double offsetOnLine(const winkit::TextLine& line, size_t index) const;
    void changed();
    // What is drawn and measured for `text`: itself, or one bullet per character when secure.
    std::string displayed(std::string_view text) const;

    std::string _string;
    HXRange _selectedRange { 0, 0 };
    size_t _anchor = 0;
    bool _editable = true;
    bool _selectable = true;
    bool _fieldEditor = false;
    HXFont _font;
    HXColor _textColor = HXColor::textColor();
    HXColor _backgroundColor = HXColor::textBackgroundColor();
    bool _drawsBackground = true;
    HXTextAlignment _alignment = HXNaturalTextAlignment;
    bool _widthTracksTextView = false;
    bool _secure = false;
    std::weak_ptr<HXTextViewDelegate> _delegate;
    bool _didBeginEditing = false;
};
