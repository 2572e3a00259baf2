#pragma once
// HXUndoManager: a stack of undo groups and a stack of redo groups.
//
// An action is a closure registered with a target (an opaque identity, used only to remove the
// target's actions). Registrations between beginUndoGrouping() and the matching endUndoGrouping()
// form one group, which undo() reverses as a whole, running its actions in the reverse order of
// registration. Actions registered while undoing go to the redo stack, while redoing to the undo
// stack; any other registration clears the redo stack.
//
// Without groupsByEvent (the default), a registration outside any group is a group of its own.
// With it, such a registration opens a group that stays open until the owner of the event loop
// calls endEventGroup() at the end of the pass, or until undo() is asked for.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class HXUndoManager {
public:
    using Action = std::function<void()>;

    HXUndoManager() = default;
    HXUndoManager(const HXUndoManager&) = delete;
    HXUndoManager& operator=(const HXUndoManager&) = delete;

    void registerUndo(const void* target, Action action);

    void beginUndoGrouping();
    void endUndoGrouping(); // an unbalanced call is ignored
    int groupingLevel() const { return int(_open.size()); }
    bool groupsByEvent() const { return _groupsByEvent; }
    void setGroupsByEvent(bool flag) { _groupsByEvent = flag; }
    // Closes the group that a registration opened automatically (see groupsByEvent).
    void endEventGroup();

    // The name of the group being built (or, during undo/redo, of the group being filled).
    void setActionName(const std::string& name);
    std::string undoActionName() const;
    std::string redoActionName() const;
    // "Undo" / "Redo", followed by a blank and the action name when there is one.
    std::string undoMenuItemTitle() const;
    std::string redoMenuItemTitle() const;
    std::string undoMenuTitleForUndoActionName(const std::string& name) const;
    std::string redoMenuTitleForUndoActionName(const std::string& name) const;

    bool canUndo() const;
    bool canRedo() const;
    // Reverses the top group (closing an open event group first). Ignored while undoing or redoing.
    void undo();
    void redo();
    bool isUndoing() const { return _state == State::Undoing; }
    bool isRedoing() const { return _state == State::Redoing; }

    // The most groups kept on each stack; 0 = unlimited. Older groups are dropped first.
    size_t levelsOfUndo() const { return _levels; }
    void setLevelsOfUndo(size_t levels);

    void removeAllActions();
    void removeAllActionsWithTarget(const void* target);

    // Nested: registration is enabled again after as many enable calls as disable calls.
    void disableUndoRegistration() { ++_disabled; }
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return _disabled == 0; }

private:
    struct Entry {
        const void* target;
        Action action;
    };
    struct Group {
        std::vector<Entry> entries;
        std::string actionName;
    };
    enum class State { Idle, Undoing, Redoing };

    void closeTopGroup();
    void push(std::vector<Group>& stack, Group group);
    void run(std::vector<Group>& from, State state);

    std::vector<Group> _undoStack;
    std::vector<Group> _redoStack;
    std::vector<Group> _open; // groups being built, innermost last
    bool _eventGroupOpen = false;
    bool _groupsByEvent = false;
    State _state = State::Idle;
    int _disabled = 0;
    size_t _levels = 0;
};
