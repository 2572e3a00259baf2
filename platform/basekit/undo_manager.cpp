#include "platform/basekit/undo_manager.h"

#include <algorithm>

void HXUndoManager::registerUndo(const void* target, Action action)
{
    if (!action || !isUndoRegistrationEnabled())
        return;
    if (_state == State::Idle)
        _redoStack.clear();
    bool single = false;
    if (_open.empty()) {
        // Outside any group: an event group that stays open, or a group of just this action.
        _open.push_back({});
        if (_groupsByEvent && _state == State::Idle)
            _eventGroupOpen = true;
        else
            single = true;
    }
    _open.back().entries.push_back({ target, std::move(action) });
    if (single)
        closeTopGroup();
}

void HXUndoManager::beginUndoGrouping()
{
    _open.push_back({});
}

void HXUndoManager::endUndoGrouping()
{
    if (_open.empty())
        return;
    if (_open.size() == 1)
        _eventGroupOpen = false;
    closeTopGroup();
}

void HXUndoManager::endEventGroup()
{
    if (_eventGroupOpen && _open.size() == 1) {
        _eventGroupOpen = false;
        closeTopGroup();
    }
}

// Closes the innermost group: a nested group becomes part of its parent; the outermost goes onto
// the stack that the current state writes to. Empty groups leave no trace.
void HXUndoManager::closeTopGroup()
{
    Group group = std::move(_open.back());
    _open.pop_back();
    if (!_open.empty()) {
        Group& parent = _open.back();
        for (auto& entry : group.entries)
            parent.entries.push_back(std::move(entry));
        if (parent.actionName.empty())
            parent.actionName = std::move(group.actionName);
        return;
    }
    if (group.entries.empty())
        return;
    push(_state == State::Undoing ? _redoStack : _undoStack, std::move(group));
}

void HXUndoManager::push(std::vector<Group>& stack, Group group)
{
    stack.push_back(std::move(group));
    if (_levels > 0 && stack.size() > _levels)
        stack.erase(stack.begin(), stack.begin() + std::ptrdiff_t(stack.size() - _levels));
}

void HXUndoManager::setActionName(const std::string& name)
{
    if (!_open.empty())
        _open.front().actionName = name;
    else if (!_undoStack.empty() && _state == State::Idle)
        _undoStack.back().actionName = name;
}

std::string HXUndoManager::undoActionName() const
{
    if (_eventGroupOpen && !_open.empty() && !_open.front().entries.empty())
        return _open.front().actionName;
    return _undoStack.empty() ? std::string() : _undoStack.back().actionName;
}

std::string HXUndoManager::redoActionName() const
{
    return _redoStack.empty() ? std::string() : _redoStack.back().actionName;
}

std::string HXUndoManager::undoMenuTitleForUndoActionName(const std::string& name) const
{
    return name.empty() ? "Undo" : "Undo " + name;
}

std::string HXUndoManager::redoMenuTitleForUndoActionName(const std::string& name) const
{
    return name.empty() ? "Redo" : "Redo " + name;
}

std::string HXUndoManager::undoMenuItemTitle() const
{
    return undoMenuTitleForUndoActionName(undoActionName());
}

std::string HXUndoManager::redoMenuItemTitle() const
{
    return redoMenuTitleForUndoActionName(redoActionName());
}

bool HXUndoManager::canUndo() const
{
    if (_eventGroupOpen && !_open.empty() && !_open.front().entries.empty())
        return true;
    return !_undoStack.empty();
}

bool HXUndoManager::canRedo() const
{
    return !_redoStack.empty();
}

void HXUndoManager::undo()
{
    if (_state != State::Idle)
        return;
    endEventGroup();
    if (!_open.empty())
        return; // an explicit group is still being built
    run(_undoStack, State::Undoing);
}

void HXUndoManager::redo()
{
    if (_state != State::Idle || !_open.empty())
        return;
    run(_redoStack, State::Redoing);
}

// Pops the top group of `from` and runs its actions last to first inside a group of their own,
// which collects what they register for the opposite direction.
void HXUndoManager::run(std::vector<Group>& from, State state)
{
    if (from.empty())
        return;
    Group group = std::move(from.back());
    from.pop_back();

    struct Restore {
        HXUndoManager& manager;
        ~Restore()
        {
            while (!manager._open.empty())
                manager.closeTopGroup();
            manager._state = State::Idle;
        }
    };
    _state = state;
    Restore restore { *this };
    _open.push_back({});
    _open.back().actionName = group.actionName;
    for (auto it = group.entries.rbegin(); it != group.entries.rend(); ++it)
        it->action();
}

void HXUndoManager::setLevelsOfUndo(size_t levels)
{
    _levels = levels;
    if (_levels == 0)
        return;
    for (auto* stack : { &_undoStack, &_redoStack })
        if (stack->size() > _levels)
            stack->erase(stack->begin(), stack->begin() + std::ptrdiff_t(stack->size() - _levels));
}

void HXUndoManager::removeAllActions()
{
    _undoStack.clear();
    _redoStack.clear();
    _open.clear();
    _eventGroupOpen = false;
}

void HXUndoManager::removeAllActionsWithTarget(const void* target)
{
    auto strip = [target](Group& group) {
        std::erase_if(group.entries, [target](const Entry& e) { return e.target == target; });
    };
    for (auto* stack : { &_undoStack, &_redoStack }) {
        for (auto& group : *stack)
            strip(group);
        std::erase_if(*stack, [](const Group& g) { return g.entries.empty(); });
    }
    for (auto& group : _open)
        strip(group);
}

void HXUndoManager::enableUndoRegistration()
{
    if (_disabled > 0)
        --_disabled;
}
