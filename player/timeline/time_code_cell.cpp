#include "player/timeline/time_code_cell.h"

#include "core/preferences.h"
#include "document/movie_document.h"
#include "player/controls/image_drawing.h"
#include "player/timeline/formatter_factory.h"
#include "player/timeline/time_code_field.h"

#include "platform/basekit/bundle.h"
#include "platform/winkit/accessibility.h"

#include <algorithm>

#include "platform/winkit/control.h"
#include "platform/winkit/window.h"

namespace {

constexpr double kTimeCodeCellTextGreyScaleValue = 0.282353;
constexpr double kTimeCodeCellTextAlpha = 1.0;
constexpr double kTimeCodeCellTextFontSize = 10;
const HXSelector kMenuItemWasChosen("menuItemWasChosen:");

} // namespace

MVPTimeCodeCell::MVPTimeCodeCell(std::string text)
    : HXTextFieldCell(std::move(text))
{
    setBordered(false);
    setSelectable(isEditable());
    setAlignment(HXRightTextAlignment);
    setFont(HXFont::fontWithName("Helvetica", kTimeCodeCellTextFontSize));
    setTextColor(HXColor::colorWithCalibratedWhite(kTimeCodeCellTextGreyScaleValue, kTimeCodeCellTextAlpha));
    setDrawsBackground(false);
    setActionHandler(kMenuItemWasChosen,
        [this](HXObject* sender) { menuItemWasChosen(dynamic_cast<HXMenuItem*>(sender)); });
    // Mode 1 waits in the cache; nothing is shown (or announced) until there is a movie.
    _mode = 1;
    _formatters[1] = FormatterFactory::formatterOfType(1);
}

MVPTimeCodeCell::~MVPTimeCodeCell()
{
    if (_menuObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_menuObserver);
}

void MVPTimeCodeCell::setMovie(std::shared_ptr<MVMovie> movie)
{
    if (movie == _movie)
        return;
    _movie = std::move(movie);
    chooseFormatter(_mode);
}

void MVPTimeCodeCell::chooseFormatter(int mode)
{
    if (_menu)
        if (auto item = _menu->itemWithTag(_mode))
            item->setState(HXOffState);
    _mode = mode;
    auto& cached = _formatters[mode];
    if (!cached)
        cached = FormatterFactory::formatterOfType(mode);
    if (!cached) {
        _formatters.erase(mode);
        setTimeFormatter(nullptr);
        postModeChange();
        return;
    }
    if (_menu)
        if (auto item = _menu->itemWithTag(mode))
            item->setState(HXOnState);
    cached->setMovie(_movie);
    if (MVPPreferences::preferences()
            .preference(kGeneralPreferenceShowTimeCodeAbsoluteFrameNumbers)
            .boolValue())
        cached->applyAbsoluteFrameNumberMode();
    setTimeFormatter(cached.get());
    postModeChange();
}

void MVPTimeCodeCell::setTimeFormatter(GenericFormatter* formatter)
{
    _formatter = formatter;
    if (_formatter)
        setStringValue(_formatter->timeString());
    _drawFrame = false;
}

void MVPTimeCodeCell::postModeChange()
{
    HXPropertyList::Dictionary info { { MVPLCDTimeModeKey, HXPropertyList(int64_t(_mode)) },
        { MVPLCDTimeModeMovieKey, HXPropertyList(MVPMovieDocument::timeModeMovieValue(_movie.get())) } };
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPTimeCodeModeDidChange, static_cast<const void*>(controlView()), info));
}

std::shared_ptr<HXMenu> MVPTimeCodeCell::menu()
{
    if (!isEditable())
        return nullptr;
    if (!_menu) {
        _menu = std::make_shared<HXMenu>("");
        _menuObserver = HXNotificationCenter::defaultCenter().addObserver(
            HXMenuDidAddItemNotification, _menu.get(), [this](const HXNotification& n) {
                auto it = n.userInfo().find(HXMenuItemIndex);
                if (it == n.userInfo().end() || !_menu)
                    return;
                auto item = _menu->itemAtIndex(it->second.integerValue());
                if (!item)
                    return;
                item->setTarget(shared_from_this());
                item->setAction(kMenuItemWasChosen);
                item->setEnabled(true);
                item->setState(item->tag() == _mode ? HXOnState : HXOffState);
            });
    }
    return _menu;
}

void MVPTimeCodeCell::menuItemWasChosen(HXMenuItem* item)
{
    if (!item)
        return;
    if (auto control = dynamic_cast<HXControl*>(controlView()))
        control->abortEditing();
    chooseFormatter(int(item->tag()));
}

void MVPTimeCodeCell::removeAllItems()
{
    if (!_menu)
        return;
    while (_menu->numberOfItems() > 0)
        _menu->removeItemAtIndex(0);
}

void MVPTimeCodeCell::flushFormatterCache()
{
    auto offered = [this](int mode) { return _menu && _menu->itemWithTag(mode) != nullptr; };
    for (auto it = _formatters.begin(); it != _formatters.end();)
        it = offered(it->first) ? std::next(it) : _formatters.erase(it);
    int mode = _mode;
    while (mode != 1 && !offered(mode))
        mode = mode == 4 ? 5 : 1; // frames of a time-code track that went away: frames from the rate
    chooseFormatter(mode);
}

void MVPTimeCodeCell::setTimeMaximum(int64_t maximum)
{
    if (_formatter)
        _formatter->setMaximum(maximum);
    takeTimeString();
}

int64_t MVPTimeCodeCell::timeMaximum() const
{
    return _formatter ? _formatter->maximum() : 0;
}

void MVPTimeCodeCell::setTimeOrigin(int64_t origin)
{
    if (_formatter)
        _formatter->setOrigin(origin);
    takeTimeString();
}

int64_t MVPTimeCodeCell::timeOrigin() const
{
    return _formatter ? _formatter->origin() : 0;
}

void MVPTimeCodeCell::setEditable(bool flag)
{
    if (!flag && _mode != 1)
        chooseFormatter(1);
    HXTextFieldCell::setEditable(flag);
    setSelectable(flag);
}

int MVPTimeCodeCell::naturalWidth() const
{
    if (!_formatter)
        return 0;
    // Measured on a copy showing the longest text, so the shown text stays as it is.
    HXTextFieldCell measure(_formatter->maxTimeString());
    measure.setFont(font());
    measure.setBordered(false);
    measure.setEditable(isEditable());
    HXSize size = measure.cellSizeForBounds(HXMakeRect(0, 0, 10000, 10000));
    if (isEditable())
        size.width += 16;
    return int(size.width);
}

HXRect MVPTimeCodeCell::drawingRectForBounds(HXRect b) const
{
    HXRect r = HXMakeRect(b.origin.x, b.origin.y + 1, b.size.width, b.size.height - 2);
    if (isEditable()) {
        r.origin.x += 5;
        r.size.width -= 16;
    }
    return r;
}

HXSize MVPTimeCodeCell::cellSizeForBounds(HXRect bounds) const
{
    HXSize size = HXTextFieldCell::cellSizeForBounds(bounds);
    if (isEditable()) {
        size.width += 10 + 6;
        size.height = 15;
    }
    return size;
}

bool MVPTimeCodeCell::takeTimeString(bool markControlView)
{
    if (!_formatter)
        return false;
    std::string text = _formatter->timeString();
    if (text == stringValue())
        return false;
    if (markControlView) {
        setStringValue(text);
        return true;
    }
    // Held without a control view for the moment, the new text marks nothing.
    HXView* view = controlView();
    HXCell::setControlView(nullptr);
    setStringValue(text);
    HXCell::setControlView(view);
    return true;
}

void MVPTimeCodeCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    takeTimeString(false);
    HXRect rect = HXMakeRect(cellFrame.origin.x, cellFrame.origin.y, naturalWidth(), cellFrame.size.height);
    if (shouldDrawFrame())
        DrawThreePartHorizontalImage(rect, rect, controlView.isFlipped(), "LCDTimeCodePopUpLeft.tif",
            "LCDTimeCodePopUpCenter.tif", "LCDTimeCodePopUpRight.tif", HXCompositeSourceOver, 1.0);
    HXTextFieldCell::drawWithFrame(rect, controlView);
}

// ---- Accessibility

HXAccessibilityValue MVPTimeCodeCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return std::string(HXAccessibilityPopUpButtonRole);
    return HXTextFieldCell::accessibilityAttributeValue(attribute);
}

std::vector<std::string> MVPTimeCodeCell::accessibilityActionNames() const
{
    auto names = HXTextFieldCell::accessibilityActionNames();
    if (std::find(names.begin(), names.end(), HXAccessibilityPressAction) == names.end())
        names.push_back(HXAccessibilityPressAction);
    return names;
}

std::string MVPTimeCodeCell::accessibilityActionDescription(const std::string& action) const
{
    if (action == HXAccessibilityPressAction)
        return HXLocalizedString("mvpPress");
    return HXTextFieldCell::accessibilityActionDescription(action);
}

void MVPTimeCodeCell::accessibilityPerformAction(const std::string& action)
{
    if (action != HXAccessibilityPressAction) {
        HXTextFieldCell::accessibilityPerformAction(action);
        return;
    }
    auto field = dynamic_cast<MVPTimeCodeField*>(controlView());
    if (!field)
        return;
    auto window = field->window();
    field->contextMenuWithEvent(HXEvent::mouseEvent(
        HXLeftMouseDown, HXMakePoint(0, 0), 0, 1.0, window ? window->windowNumber() : 0, 1, 1, 0));
}

// ---- Editing

void MVPTimeCodeCell::syncTextView(HXTextView& editor) const
{
    if (!_formatter)
        return;
    std::string text = _formatter->timeString();
    editor.setString(text);
    int start = _formatter->selectionStart();
    int end = _formatter->selectionEnd();
    if (start == -1 && end == -1)
        editor.setSelectedRange({ text.size(), 0 });
    else if (start == 0 && end == -1)
        editor.setSelectedRange({ 0, text.size() });
    else
        editor.setSelectedRange({ size_t(std::max(start, 0)), size_t(std::max(end - start + 1, 0)) });
}

void MVPTimeCodeCell::selectFirstField(HXTextView* editor)
{
    if (!_formatter)
        return;
    _formatter->timeString();
    _formatter->select(0, false);
    if (editor)
        syncTextView(*editor);
}

void MVPTimeCodeCell::selectLastField(HXTextView* editor)
{
    if (!_formatter)
        return;
    _formatter->timeString();
    _formatter->select(0, false);
    while (_formatter->moveField(1)) { }
    if (editor)
        syncTextView(*editor);
}

bool MVPTimeCodeCell::textViewShouldChangeText(HXTextView& editor, const std::string& replacement)
{
    if (!_formatter)
        return true;
    for (char c : replacement) {
        _formatter->doKeyDown(c);
        syncTextView(editor);
    }
    return false;
}

void MVPTimeCodeCell::leaveToKeyView(bool forward)
{
    auto view = controlView();
    auto window = view ? view->window() : nullptr;
    if (!window)
        return;
    window->makeFirstResponder(forward ? view->nextValidKeyView() : view->previousValidKeyView());
}

bool MVPTimeCodeCell::doCommandBySelector(HXTextView& editor, HXSelector command)
{
    if (!isEditable() || !_formatter)
        return false;
    const std::string& name = command.name();
    if (name == "moveLeft:") {
        _formatter->moveField(-1);
    } else if (name == "moveRight:") {
        _formatter->moveField(1);
    } else if (name == "moveUp:") {
        _formatter->incrementField(1);
    } else if (name == "moveDown:") {
        _formatter->incrementField(-1);
    } else if (name == "deleteBackward:") {
        _formatter->doKeyDown(8);
    } else if (name == "cancelOperation:" || name == "insertNewline:") {
        if (name == "cancelOperation:")
            _formatter->cancelEdit();
        else
            _formatter->applyEdit();
        syncTextView(editor);
        if (onEndEditing)
            onEndEditing(name == "cancelOperation:" ? HXCancelTextMovement : HXReturnTextMovement);
        return true;
    } else if (name == "insertTab:" || name == "insertBacktab:") {
        bool forward = name == "insertTab:";
        if (!_formatter->moveField(forward ? 1 : -1)) {
            _formatter->applyEdit();
            syncTextView(editor);
            leaveToKeyView(forward);
            return true;
        }
    } else {
        return false;
    }
    syncTextView(editor);
    return true;
}

MVPTimeCodeCell::EditorClick MVPTimeCodeCell::editorClick(
    HXTextView& editor, bool rightMouse, int clickCount, int characterIndex)
{
    if (rightMouse)
        return EditorClick::OpenMenu;
    if (!_formatter)
        return EditorClick::Pass;
    bool selection = _formatter->selectionMode() != 0;
    bool selected = false;
    if (!selection && clickCount == 1)
        return EditorClick::OpenMenu;
    if (clickCount == 1 || (!selection && clickCount == 2))
        selected = _formatter->select(characterIndex, false);
    else if (clickCount == 2 || clickCount == 3)
        selected = _formatter->select(characterIndex, true);
    else
        return EditorClick::Pass;
    if (!selected)
        return EditorClick::Pass;
    syncTextView(editor);
    return EditorClick::Handled;
}
