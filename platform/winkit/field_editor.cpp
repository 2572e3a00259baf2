#include "platform/winkit/field_editor.h"

#include "platform/winkit/window.h"

#include <map>

namespace {

struct Entry {
    std::weak_ptr<HXObject> window;
    std::shared_ptr<HXTextView> editor;
};

// Keyed by the window's address; the weak pointer tells a live window from a new one at an old address.
std::map<const HXWindow*, Entry>& editors()
{
    static std::map<const HXWindow*, Entry> table;
    return table;
}

}  // namespace

void HXFieldEditor::purge()
{
    auto& table = editors();
    for (auto it = table.begin(); it != table.end();) {
        if (it->second.window.expired())
            it = table.erase(it);
        else
            ++it;
    }
}

std::shared_ptr<HXTextView> HXFieldEditor::fieldEditorForWindow(const HXWindow* window, bool create)
{
    if (!window)
        return nullptr;
    purge();
    auto& table = editors();
    auto it = table.find(window);
    if (it != table.end())
        return it->second.editor;
    if (!create)
        return nullptr;
    std::weak_ptr<HXObject> owner;
    try {
        owner = const_cast<HXWindow*>(window)->shared_from_this();
    } catch (const std::bad_weak_ptr&) {
        return nullptr;
    }
    auto editor = std::make_shared<HXTextView>();
    editor->setFieldEditor(true);
    table[window] = { owner, editor };
    return editor;
}
