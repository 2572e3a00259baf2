#include "platform/winkit/text_view.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/application.h"
#include "platform/winkit/cell.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr double kInset = 2;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

HXStringAttributes attributesFor(const HXFont& font, const HXColor& color)
{
    HXStringAttributes a;
    a.font = font;
    a.foregroundColor = color;
    a.paragraphStyle = HXParagraphStyle { HXLeftTextAlignment, HXLineBreakByClipping };
    return a;
}

}  // namespace

HXTextView::HXTextView(HXRect frame)
    : HXView(frame)
{
    setActionHandler("selectAll:", [this](HXObject*) { selectAll(); });
    setActionHandler("copy:", [this](HXObject*) {
        if (_selectedRange.length && !_secure)
            HXApp().windowServer().setClipboardText(_string.substr(_selectedRange.location, _selectedRange.length));
    });
    setActionHandler("cut:", [this](HXObject*) {
        if (!_selectedRange.length || !_editable || _secure)
            return;
        HXApp().windowServer().setClipboardText(_string.substr(_selectedRange.location, _selectedRange.length));
        insertText({});
    });
    setActionHandler("paste:", [this](HXObject*) {
        if (auto text = HXApp().windowServer().clipboardText(); text && _editable) {
            std::string pasted = *text;
            if (_fieldEditor)
                std::replace(pasted.begin(), pasted.end(), '\n', ' ');
            insertText(pasted);
        }
    });
}

void HXTextView::setString(const std::string& string)
{
    _string = string;
    _selectedRange = { _string.size(), 0 };
    _anchor = _string.size();
    _didBeginEditing = false;
    setNeedsDisplay(true);
}

size_t HXTextView::previousBoundary(size_t index) const
{
    index = std::min(index, _string.size());
    if (index == 0)
        return 0;
    --index;
    while (index > 0 && isContinuationByte(_string[index]))
        --index;
    return index;
}

size_t HXTextView::nextBoundary(size_t index) const
{
    if (index >= _string.size())
        return _string.size();
    ++index;
    while (index < _string.size() && isContinuationByte(_string[index]))
        ++index;
    return index;
}

void HXTextView::setSelectedRange(HXRange range)
{
    size_t start = std::min(range.location == HXNotFound ? _string.size() : range.location, _string.size());
    size_t end = std::min(start + std::min(range.length, _string.size()), _string.size());
    while (start > 0 && start < _string.size() && isContinuationByte(_string[start]))
        --start;
    while (end < _string.size() && isContinuationByte(_string[end]))
        ++end;
    if (range.length == 0)
        end = start;
    _selectedRange = { start, end - start };
    _anchor = start;
    setNeedsDisplay(true);
}

void HXTextView::selectAll(HXObject*)
{
    if (!isSelectable())
        return;
    setSelectedRange({ 0, _string.size() });
}

void HXTextView::replaceCharactersInRange(HXRange range, const std::string& string)
{
    size_t start = std::min(range.location, _string.size());
    size_t length = std::min(range.length, _string.size() - start);
    _string.replace(start, length, string);
    _selectedRange = { start + string.size(), 0 };
    _anchor = _selectedRange.location;
    setNeedsDisplay(true);
}

void HXTextView::changed()
{
    setNeedsDisplay(true);
    auto keep = shared_from_this();
    if (auto d = delegate())
        d->textDidChange(*this);
    HXNotificationCenter::defaultCenter().postNotificationName(HXTextDidChangeNotification, this);
}

bool HXTextView::insertText(const std::string& text)
{
    if (!_editable)
        return false;
    std::string clean = text;
    if (_fieldEditor)
        clean.erase(std::remove_if(clean.begin(), clean.end(), [](char c) { return c == '\n' || c == '\r'; }), clean.end());
    auto d = delegate();
    if (!_didBeginEditing) {
        if (d && !d->textShouldBeginEditing(*this))
            return false;
    }
    if (d && !d->textViewShouldChangeTextInRange(*this, _selectedRange, clean))
        return false;
    if (!_didBeginEditing) {
        _didBeginEditing = true;
        if (d)
            d->textDidBeginEditing(*this);
        HXNotificationCenter::defaultCenter().postNotificationName(HXTextDidBeginEditingNotification, this);
    }
    replaceCharactersInRange(_selectedRange, clean);
    changed();
    return true;
}

HXRect HXTextView::textRect() const { return HXInsetRect(bounds(), kInset, _fieldEditor ? 0 : kInset); }

void HXTextView::setWidthTracksTextView(bool flag)
{
    _widthTracksTextView = flag;
    setNeedsDisplay(true);
}

void HXTextView::setSecure(bool flag)
{
    _secure = flag;
    setNeedsDisplay(true);
}

std::string HXTextView::bulletsFor(std::string_view text)
{
    std::string bullets;
    for (char c : text)
        if (!isContinuationByte(c))
            bullets += "\u2022";
    return bullets;
}

std::string HXTextView::displayed(std::string_view text) const
{
    return _secure ? bulletsFor(text) : std::string(text);
}

std::vector<winkit::TextLine> HXTextView::lineLayout() const
{
    double width = _widthTracksTextView && !_fieldEditor ? textRect().size.width : 0;
    auto attrs = attributesFor(_font, _textColor);
    return winkit::layOutTextLines(_string, width, [&](std::string_view text) {
        return HXStringDrawing::sizeWithAttributes(displayed(text), attrs).width;
    });
}

double HXTextView::offsetOnLine(const winkit::TextLine& line, size_t index) const
{
    HXRect r = textRect();
    auto attrs = attributesFor(_font, _textColor);
    auto widthOf = [&](size_t end) {
        return HXStringDrawing::sizeWithAttributes(
            displayed(std::string_view(_string).substr(line.range.location, end - line.range.location)), attrs)
            .width;
    };
    double x = r.origin.x;
    if (_alignment == HXRightTextAlignment || _alignment == HXCenterTextAlignment) {
        double w = widthOf(line.end());
        x += _alignment == HXRightTextAlignment ? r.size.width - w : (r.size.width - w) / 2;
    }
    return x + widthOf(std::clamp(index, line.range.location, line.end()));
}

size_t HXTextView::indexOnAdjacentLine(size_t index, int direction) const
{
    auto lines = lineLayout();
    size_t line = winkit::lineIndexForCharacter(lines, index);
    if (direction < 0 && line == 0)
        return 0;
    if (direction > 0 && line + 1 >= lines.size())
        return _string.size();
    size_t target = direction < 0 ? line - 1 : line + 1;
    double y = textRect().origin.y + (double(target) + 0.5) * _font.lineHeight();
    return characterIndexForPoint({ offsetOnLine(lines[line], index), y });
}

size_t HXTextView::characterIndexForPoint(HXPoint point) const
{
    HXRect r = textRect();
    auto attrs = attributesFor(_font, _textColor);
    double lineHeight = _font.lineHeight();
    auto lines = lineLayout();
    size_t lineIndex = 0;
    if (!_fieldEditor && lineHeight > 0 && point.y > r.origin.y)
        lineIndex = std::min(lines.size() - 1, size_t((point.y - r.origin.y) / lineHeight));
    HXRange line = lines[lineIndex].range;
    // The spaces a wrapped line ends with hang past its end: the last index on it is before them.
    size_t last
        = lines[lineIndex].soft ? previousBoundary(lines[lineIndex].end()) : line.location + line.length;
    double x = point.x - r.origin.x;
    if (_alignment == HXRightTextAlignment || _alignment == HXCenterTextAlignment) {
        double w = HXStringDrawing::sizeWithAttributes(displayed(std::string_view(_string).substr(line.location, line.length)), attrs).width;
        x -= _alignment == HXRightTextAlignment ? r.size.width - w : (r.size.width - w) / 2;
    }
    size_t best = line.location;
    double previousWidth = 0;
    for (size_t i = line.location; i < last;) {
        size_t next = nextBoundary(i);
        double w = HXStringDrawing::sizeWithAttributes(displayed(std::string_view(_string).substr(line.location, next - line.location)), attrs).width;
        if (x < (previousWidth + w) / 2)
            return i;
        previousWidth = w;
        best = next;
        i = next;
    }
    return best;
}

void HXTextView::resetCursorRects()
{
    if (isSelectable())
        addCursorRect(visibleRect(), HXCursor::IBeamCursor());
}

void HXTextView::setFont(const HXFont& font)
{
    _font = font;
    setNeedsDisplay(true);
}

void HXTextView::setTextColor(const HXColor& color)
{
    _textColor = color;
    setNeedsDisplay(true);
}

void HXTextView::setBackgroundColor(const HXColor& color)
{
    _backgroundColor = color;
    setNeedsDisplay(true);
}

void HXTextView::setDrawsBackground(bool flag)
{
    _drawsBackground = flag;
    setNeedsDisplay(true);
}

void HXTextView::setAlignment(HXTextAlignment alignment)
{
    _alignment = alignment;
    setNeedsDisplay(true);
}

// ---- Keys and commands ----------------------------------------------------------------------------------

HXSelector HXTextView::commandForKeyEvent(const HXEvent& event, bool fieldEditor)
{
    (void)fieldEditor;
    uint32_t flags = event.modifierFlags();
    bool shift = flags & HXShiftKeyMask;
    bool command = flags & (HXCommandKeyMask | HXControlKeyMask);
    char32_t c = event.firstCharacterIgnoringModifiers();
    switch (c) {
    case U'\r':
    case char32_t(HXEnterCharacter):
        return "insertNewline:";
    case U'\t':
        return shift ? "insertBacktab:" : "insertTab:";
    case char32_t(HXBackTabCharacter):
        return "insertBacktab:";
    case char32_t(HXEscapeCharacter):
        return "cancelOperation:";
    case char32_t(HXBackspaceCharacter):
    case char32_t(HXDeleteCharacter):
        return "deleteBackward:";
    case HXDeleteFunctionKey:
        return "deleteForward:";
    case HXLeftArrowFunctionKey:
        return command ? (shift ? "moveToBeginningOfLineAndModifySelection:" : "moveToBeginningOfLine:")
                       : (shift ? "moveLeftAndModifySelection:" : "moveLeft:");
    case HXRightArrowFunctionKey:
        return command ? (shift ? "moveToEndOfLineAndModifySelection:" : "moveToEndOfLine:")
                       : (shift ? "moveRightAndModifySelection:" : "moveRight:");
    case HXUpArrowFunctionKey:
        return shift ? "moveUpAndModifySelection:" : "moveUp:";
    case HXDownArrowFunctionKey:
        return shift ? "moveDownAndModifySelection:" : "moveDown:";
    case HXHomeFunctionKey:
        return "moveToBeginningOfDocument:";
    case HXEndFunctionKey:
        return "moveToEndOfDocument:";
    case HXPageUpFunctionKey:
        return "pageUp:";
    case HXPageDownFunctionKey:
        return "pageDown:";
    default:
        break;
    }
    if (command && (c == U'a' || c == U'A'))
        return "selectAll:";
    return {};
}

void HXTextView::interpretKeyEvents(const HXEvent& event)
{
    if (auto command = commandForKeyEvent(event, _fieldEditor)) {
        doCommandBySelector(command);
        return;
    }
    const std::string& text = event.characters();
    bool printable = !text.empty() && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7f
        && !(event.modifierFlags() & (HXCommandKeyMask | HXControlKeyMask));
    // Function keys without a binding come through as private-use characters: never typed.
    if (printable && event.firstCharacterIgnoringModifiers() >= 0xF700 && event.firstCharacterIgnoringModifiers() <= 0xF8FF)
        printable = false;
    if (printable) {
        if (!insertText(text))
            HXBeep();
        return;
    }
    HXBeep();
}

void HXTextView::doCommandBySelector(HXSelector command)
{
    auto keep = shared_from_this();
    if (auto d = delegate(); d && d->textViewDoCommandBySelector(*this, command))
        return;
    if (performTextCommand(command))
        return;
    HXResponder::doCommandBySelector(command);
}

void HXTextView::moveInsertion(size_t index, bool extend)
{
    index = std::min(index, _string.size());
    if (extend) {
        size_t a = std::min(_anchor, index), b = std::max(_anchor, index);
        _selectedRange = { a, b - a };
    } else {
        _selectedRange = { index, 0 };
        _anchor = index;
    }
    setNeedsDisplay(true);
}

bool HXTextView::performTextCommand(HXSelector command)
{
    const std::string& name = command.name();
    size_t start = _selectedRange.location, end = start + _selectedRange.length;
    // The moving end of an extended selection is the one away from the anchor.
    size_t head = _anchor == start ? end : start;
    std::function<size_t(size_t)> lineStart = [&](size_t i) {
        size_t nl = i == 0 ? std::string::npos : _string.rfind('\n', i - 1);
        return nl == std::string::npos ? size_t(0) : nl + 1;
    };
    std::function<size_t(size_t)> lineEnd = [&](size_t i) {
        size_t nl = _string.find('\n', i);
        return nl == std::string::npos ? _string.size() : nl;
    };
    bool wraps = _widthTracksTextView && !_fieldEditor;
    if (wraps) {
        // The lines as shown (a wrapped line ends before the spaces it hangs).
        auto lines = lineLayout();
        lineStart
            = [lines](size_t i) { return lines[winkit::lineIndexForCharacter(lines, i)].range.location; };
        lineEnd = [this, lines](size_t i) {
            const auto& line = lines[winkit::lineIndexForCharacter(lines, i)];
            return line.soft ? previousBoundary(line.end()) : line.end();
        };
    }
    if (name == "moveLeft:")
        moveInsertion(_selectedRange.length ? start : previousBoundary(start), false);
    else if (name == "moveRight:")
        moveInsertion(_selectedRange.length ? end : nextBoundary(end), false);
    else if (name == "moveLeftAndModifySelection:")
        moveInsertion(previousBoundary(head), true);
    else if (name == "moveRightAndModifySelection:")
        moveInsertion(nextBoundary(head), true);
    else if (name == "moveToBeginningOfLine:" || (name == "moveUp:" && _fieldEditor))
        moveInsertion(_fieldEditor ? 0 : lineStart(start), false);
    else if (name == "moveToEndOfLine:" || (name == "moveDown:" && _fieldEditor))
        moveInsertion(_fieldEditor ? _string.size() : lineEnd(end), false);
    else if (name == "moveToBeginningOfLineAndModifySelection:" || name == "moveUpAndModifySelection:")
        moveInsertion(_fieldEditor ? 0 : lineStart(head), true);
    else if (name == "moveToEndOfLineAndModifySelection:" || name == "moveDownAndModifySelection:")
        moveInsertion(_fieldEditor ? _string.size() : lineEnd(head), true);
    else if (wraps && (name == "moveUp:" || name == "moveDown:"))
        setSelectedRange(
            { indexOnAdjacentLine(name == "moveUp:" ? start : end, name == "moveUp:" ? -1 : 1), 0 });
    else if (name == "moveUp:" || name == "moveDown:") {
        size_t ls = lineStart(start);
        size_t column = start - ls;
        size_t target;
        if (name == "moveUp:") {
            if (ls == 0)
                target = 0;
            else {
                size_t prevStart = lineStart(ls - 1);
                target = std::min(prevStart + column, ls - 1);
            }
        } else {
            size_t le = lineEnd(end);
            if (le >= _string.size())
                target = _string.size();
            else
                target = std::min(le + 1 + column, lineEnd(le + 1));
        }
        setSelectedRange({ target, 0 });
    } else if (name == "moveToBeginningOfDocument:")
        moveInsertion(0, false);
    else if (name == "moveToEndOfDocument:")
        moveInsertion(_string.size(), false);
    else if (name == "selectAll:")
        selectAll();
    else if (name == "deleteBackward:" || name == "deleteForward:") {
        if (!_editable)
            return false;
        if (!_selectedRange.length) {
            bool back = name == "deleteBackward:";
            size_t from = back ? previousBoundary(start) : start;
            size_t to = back ? start : nextBoundary(start);
            if (from == to) {
                HXBeep();
                return true;
            }
            _selectedRange = { from, to - from };
        }
        if (!insertText({}))
            HXBeep();
    } else if (!_fieldEditor && name == "insertNewline:")
        insertText("\n");
    else if (!_fieldEditor && name == "insertTab:")
        insertText("\t");
    else
        return false;
    return true;
}

void HXTextView::keyDown(const HXEvent& event)
{
    if (auto d = delegate(); d && !d->textViewShouldHandleEvent(*this, event))
        return;
    interpretKeyEvents(event);
}

bool HXTextView::hasKeyboardFocus() const
{
    auto window = this->window();
    if (!window || !window->isKeyWindow())
        return false;
    auto responder = window->firstResponder();
    if (responder.get() == this)
        return true;
    return _fieldEditor && superview() && responder == superview();
}

void HXTextView::mouseDown(const HXEvent& event)
{
    if (auto d = delegate(); d && !d->textViewShouldHandleEvent(*this, event))
        return;
    if (!isSelectable())
        return;
    auto keep = shared_from_this();
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    size_t index = characterIndexForPoint(p);
    if (event.clickCount() >= 3) {
        selectAll();
        return;
    }
    if (event.clickCount() == 2) {
        // A word: the run of letters and digits around the click.
        auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || (static_cast<unsigned char>(c) & 0x80); };
        size_t a = index, b = index;
        while (a > 0 && isWord(_string[a - 1]))
            --a;
        while (b < _string.size() && isWord(_string[b]))
            ++b;
        setSelectedRange({ a, b - a });
        return;
    }
    moveInsertion(index, (event.modifierFlags() & HXShiftKeyMask) != 0);
    // Drag to select.
    for (;;) {
        auto next = HXApp().nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next || next->type() == HXLeftMouseUp)
            break;
        moveInsertion(characterIndexForPoint(convertPointFromView(next->locationInWindow(), nullptr)), true);
        if (auto w = window())
            w->displayIfNeeded();
    }
}

void HXTextView::rightMouseDown(const HXEvent& event)
{
    if (auto d = delegate()) {
        if (!d->textViewShouldHandleEvent(*this, event))
            return;
        if (auto menu = d->textViewMenuForEvent(*this, event)) {
            HXMenu::popUpContextMenu(menu, event, std::static_pointer_cast<HXView>(shared_from_this()));
            return;
        }
    }
    HXView::rightMouseDown(event);
}

bool HXTextView::becomeFirstResponder()
{
    setNeedsDisplay(true);
    return true;
}

bool HXTextView::resignFirstResponder()
{
    if (auto d = delegate(); d && _didBeginEditing) {
        if (!d->textShouldEndEditing(*this))
            return false;
        _didBeginEditing = false;
        d->textDidEndEditing(*this, HXOtherTextMovement);
    }
    setNeedsDisplay(true);
    return true;
}

// ---- Drawing ------------------------------------------------------------------------------------------------

void HXTextView::drawRect(HXRect)
{
    if (_drawsBackground) {
        _backgroundColor.setFill();
        HXBezierPath::fillRect(bounds());
    }
    HXRect r = textRect();
    auto attrs = attributesFor(_font, _textColor);
    double lineHeight = _font.lineHeight();
    auto lines = lineLayout();
    bool focused = hasKeyboardFocus();
    size_t selStart = _selectedRange.location, selEnd = selStart + _selectedRange.length;
    double y = _fieldEditor ? r.origin.y + std::max(0.0, (r.size.height - lineHeight) / 2) : r.origin.y;
    for (const auto& shown : lines) {
        const HXRange& line = shown.range;
        std::string text = displayed(std::string_view(_string).substr(line.location, line.length));
        double width = HXStringDrawing::sizeWithAttributes(text, attrs).width;
        double x = r.origin.x;
        if (_alignment == HXRightTextAlignment)
            x = HXMaxX(r) - width;
        else if (_alignment == HXCenterTextAlignment)
            x = r.origin.x + (r.size.width - width) / 2;
        auto offset = [&](size_t index) {
            index = std::clamp(index, line.location, line.location + line.length);
            return x + HXStringDrawing::sizeWithAttributes(displayed(std::string_view(_string).substr(line.location, index - line.location)), attrs).width;
        };
        size_t lineEnd = line.location + line.length;
        if (_selectedRange.length && selStart <= lineEnd && selEnd >= line.location) {
            double a = offset(selStart), b = offset(selEnd);
            if (selEnd > lineEnd && !_fieldEditor)
                b += 4;
            (focused ? HXColor::selectedTextBackgroundColor() : HXColor::colorWithCalibratedWhite(0.85)).setFill();
            HXBezierPath::fillRect({ { a, y }, { b - a, lineHeight } });
        }
        HXStringDrawing::drawInRect(text, { { x, y }, { std::max(width, 1.0) + 1, lineHeight } }, attrs);
        bool caretHere = selStart >= line.location && (shown.soft ? selStart < lineEnd : selStart <= lineEnd);
        if (focused && !_selectedRange.length && _editable && caretHere) {
            double cx = std::round(offset(selStart)) + 0.5;
            _textColor.setStroke();
            HXBezierPath::strokeLineFromPoint({ cx, y }, { cx, y + lineHeight });
        }
        y += lineHeight;
    }
}

// ---- Accessibility ---------------------------------------------------------------------------------------

std::vector<std::string> HXTextView::accessibilityAttributeNames() const
{
    auto names = HXAccessibilityElement::accessibilityAttributeNames();
    names.push_back(HXAccessibilityValueAttribute);
    return names;
}

HXAccessibilityValue HXTextView::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityTextAreaRole;
    if (attribute == HXAccessibilityValueAttribute)
        return _secure ? std::string() : _string;
    return HXAccessibilityElement::accessibilityAttributeValue(attribute);
}

bool HXTextView::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    if (attribute == HXAccessibilityValueAttribute)
        return _editable;
    return HXAccessibilityElement::accessibilityIsAttributeSettable(attribute);
}

void HXTextView::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute == HXAccessibilityValueAttribute && _editable) {
        selectAll();
        insertText(value.stringValue());
        HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
        return;
    }
    HXAccessibilityElement::accessibilitySetValue(value, attribute);
}
