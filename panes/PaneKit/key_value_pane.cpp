#include "key_value_pane.h"

#include "platform/winkit/button.h"
#include "platform/winkit/pop_up_button.h"

#include <cmath>
#include <cstdlib>

MVPKeyValuePane::MVPKeyValuePane(std::shared_ptr<MVMovie> movie)
    : _movie(std::move(movie))
{
}

MVPKeyValuePane::~MVPKeyValuePane()
{
    if (auto* manager = undoManager())
        manager->removeAllActionsWithTarget(this);
}

HXUndoManager* MVPKeyValuePane::undoManager() const
{
    return _movie ? _movie->undoManager() : nullptr;
}

bool MVPKeyValuePane::validateValue(HXPropertyList& value, const std::string&, const HXPropertyList& current)
{
    value = MVPCoerceLike(value, current);
    return true;
}

bool MVPKeyValuePane::setValueForKey(const HXPropertyList& value, const std::string& key)
{
    HXPropertyList old = valueForKey(key);
    HXPropertyList now = value;
    if (!validateValue(now, key, old)) {
        didChangeValueForKey(key); // a control showing the refused value goes back
        return false;
    }
    if (old == now)
        return true;
    // What the ordinary setter registers itself is part of the same undo step. An event group, when
    // the manager keeps one, gathers both anyway; undo and redo fill a group of their own.
    auto* manager = undoManager();
    const bool group
        = manager && !(manager->groupsByEvent() && !manager->isUndoing() && !manager->isRedoing());
    if (group)
        manager->beginUndoGrouping();
    if (manager)
        manager->registerUndo(this, [this, old, key] { unsetValueForKey(old, key); });
    takeValueForKey(now, key);
    if (group)
        manager->endUndoGrouping();
    didChangeValueForKey(key);
    return true;
}

void MVPKeyValuePane::bindControl(const std::shared_ptr<HXControl>& control, const std::string& key)
{
    _bindings.push_back({ control, key });
    control->setTarget(std::static_pointer_cast<HXObject>(shared_from_this()));
    HXSelector action("takeValueFor_" + key + ":");
    control->setAction(action);
    setActionHandler(action, [this, key](HXObject* sender) {
        auto* c = dynamic_cast<HXControl*>(sender);
        if (!c)
            return;
        HXPropertyList value;
        if (auto* popup = dynamic_cast<HXPopUpButton*>(c))
            value = HXPropertyList(int64_t(popup->selectedTag()));
        else if (auto* button = dynamic_cast<HXButton*>(c))
            value = HXPropertyList(button->state() != 0);
        else
            value = c->objectValue();
        setValueForKey(value, key);
    });
    if (_bindingsActive)
        refreshBinding(_bindings.back());
}

void MVPKeyValuePane::refreshBinding(const Binding& binding)
{
    auto control = binding.control.lock();
    if (!control)
        return;
    HXPropertyList value = valueForKey(binding.key);
    if (auto* popup = dynamic_cast<HXPopUpButton*>(control.get()))
        popup->selectItemWithTag(long(value.integerValue()));
    else if (auto* button = dynamic_cast<HXButton*>(control.get()))
        button->setState(value.boolValue() ? 1 : 0);
    else
        control->setObjectValue(value);
}

void MVPKeyValuePane::setBindingsActive(bool active)
{
    _bindingsActive = active;
    if (active)
        didChangeValueForKey();
}

void MVPKeyValuePane::didChangeValueForKey(const std::string& key)
{
    if (_bindingsActive) {
        for (const auto& binding : _bindings)
            if (key.empty() || binding.key == key)
                refreshBinding(binding);
    }
    if (onValueChanged)
        onValueChanged(key);
}

HXPropertyList MVPCoerceLike(const HXPropertyList& value, const HXPropertyList& model)
{
    if ((model.isNumber() || model.isBoolean()) && value.isString()) {
        // Text typed into a field: a number only when the whole text is one.
        const std::string text = value.stringValue();
        char* end = nullptr;
        double number = std::strtod(text.c_str(), &end);
        if (text.empty() || !end || *end != '\0')
            return value;
        return MVPCoerceLike(HXPropertyList(number), model);
    }
    if (model.isBoolean() && value.isNumber())
        return HXPropertyList(value.realValue() != 0);
    if (model.isInteger() && (value.isReal() || value.isBoolean()))
        return HXPropertyList(int64_t(std::llround(value.realValue())));
    if (model.isReal() && (value.isInteger() || value.isBoolean()))
        return HXPropertyList(value.realValue());
    return value;
}
