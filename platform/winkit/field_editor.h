#pragma once
// HXFieldEditor: the one text view each window lends to its text fields for typing. A field asks for it
// when editing starts and gives it back when editing ends; two fields of a window never edit at once.
#include "platform/winkit/text_view.h"

#include <memory>

class HXWindow;

class HXFieldEditor {
public:
    // The window's field editor, made on first use (null without `create` when none was made yet, and
    // for a null window).
    static std::shared_ptr<HXTextView> fieldEditorForWindow(const HXWindow* window, bool create = true);
    // Drops the field editors of windows that are gone (called as a matter of course by the lookup).
    static void purge();
};
