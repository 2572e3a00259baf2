#pragma once
// MVPTimeCodeCell: the behaviour of the time display's editable time readout. It keeps one formatter
// per display mode (1 hours-minutes-seconds, 2 time code, 3 drop-frame time code, 4 frames of the
// time-code track, 5 frames from the frame rate), offers the modes in a menu whose items are tagged
// with the mode, announces a change of mode with "MVPTimeCodeModeDidChange", and turns the field
// editor's typing, commands and clicks into formatter calls.
#include "player/timeline/generic_formatter.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/text_field_cell.h"
#include "platform/winkit/text_view.h"

#include <map>
#include <memory>

class MVPTimeCodeCell : public HXTextFieldCell {
public:
    explicit MVPTimeCodeCell(std::string text = {});
    ~MVPTimeCodeCell() override;

    void setMovie(std::shared_ptr<MVMovie> movie);
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    int mode() const { return _mode; }
    // The active formatter; null until a movie is given.
    GenericFormatter* formatter() const { return _formatter; }

    void chooseFormatter(int mode);
    // The mode menu; null when the cell is not editable. Items added to it act on the cell.
    std::shared_ptr<HXMenu> menu();
    void menuItemWasChosen(HXMenuItem* item);
    void removeAllItems();
    // Forgets the formatters whose mode left the menu and falls back to a mode that is still offered.
    void flushFormatterCache();

    // Counts in the movie's time scale, given to the active formatter only.
    void setTimeMaximum(int64_t maximum);
    int64_t timeMaximum() const;
    void setTimeOrigin(int64_t origin);
    int64_t timeOrigin() const;

    // The width of the cell showing the formatter's longest time.
    int naturalWidth() const;
    // Editable: 16 points wider (the pop-up frame) and 15 high.
    HXSize cellSizeForBounds(HXRect bounds) const override;
    // The text's rectangle: one point up and two shorter; when editable also five points in from the left
    // and sixteen narrower (room for the pop-up frame).
    HXRect drawingRectForBounds(HXRect bounds) const override;

    // The mouse over the field: the pop-up frame is drawn around the text while the cell is editable.
    void setDrawFrame(bool flag) { _drawFrame = flag; }
    bool shouldDrawFrame() const { return _drawFrame && isEditable(); }
    // Takes the formatter's current text. True when it differs from the text held before; only then is the
    // control view marked for drawing, and not at all with `markControlView` false (the caller draws it).
    bool takeTimeString(bool markControlView = true);
    // Shows the formatter's current text, over the pop-up frame when the mouse is inside. Drawing never
    // marks the control view again: what it takes from the formatter is what it draws.
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;

    // Accessibility: a pop-up button whose press opens the mode menu.
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;

    // Not editable shows hours, minutes and seconds.
    void setEditable(bool flag) override;

    // Editing through a field editor.
    void syncTextView(HXTextView& editor) const;
    void selectFirstField(HXTextView* editor);
    void selectLastField(HXTextView* editor);
    // Typing goes to the formatter; the editor never changes its text by itself (false) unless there is
    // no formatter.
    bool textViewShouldChangeText(HXTextView& editor, const std::string& replacement);
    // moveLeft:, moveRight:, moveUp:, moveDown:, deleteBackward:, cancelOperation:, insertNewline:,
    // insertTab:, insertBacktab:; true when handled.
    bool doCommandBySelector(HXTextView& editor, HXSelector command);

    // What a click in the field editor does.
    enum class EditorClick { Pass, OpenMenu, Handled };
    EditorClick editorClick(HXTextView& editor, bool rightMouse, int clickCount, int characterIndex);

    // Set by the field when editing ends through a command (Return, Escape, Tab past the last field).
    std::function<void(int movement)> onEndEditing;

private:
    void setTimeFormatter(GenericFormatter* formatter);
    void postModeChange();
    void leaveToKeyView(bool forward);

    GenericFormatter* _formatter = nullptr;
    std::shared_ptr<MVMovie> _movie;
    std::map<int, std::shared_ptr<GenericFormatter>> _formatters;
    int _mode = 0;
    std::shared_ptr<HXMenu> _menu;
    HXObserverToken _menuObserver = 0;
    bool _drawFrame = false;
};
