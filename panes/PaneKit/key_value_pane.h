#pragma once
// MVPKeyValuePane: the undoable key-value setter the editing panes share, and bindings of their controls
// to keys.
//
// setValueForKey compares the new value with valueForKey and does nothing when they are equal; otherwise
// it registers unsetValueForKey with the old value on the movie's undo manager (the pane is the target,
// no action name) and sets the value through takeValueForKey, in one undo step with whatever that
// registers itself. unsetValueForKey calls setValueForKey again, so undo and redo take the same path. A
// pane's undo actions go away with the pane.
//
// A bound control shows valueForKey of its key whenever the pane announces a change of that key (or all
// keys), and its action sets the key through the undoable setter.
#include "inspectors/pane_interface.h"
#include "platform/basekit/property_list.h"
#include "platform/basekit/undo_manager.h"
#include "platform/winkit/control.h"
#include "platform/winkit/responder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class MVPKeyValuePane : public HXObject, public MVPPropertyInspector {
public:
    // `movie` is the movie whose undo manager takes the pane's undo actions.
    explicit MVPKeyValuePane(std::shared_ptr<MVMovie> movie);
    ~MVPKeyValuePane() override;

    // The value of `key` as the pane shows it; null for an unknown key.
    virtual HXPropertyList valueForKey(const std::string& key) const = 0;
    // The undoable setter. A value validateValue refuses changes nothing; answers whether the value is
    // in force afterwards.
    bool setValueForKey(const HXPropertyList& value, const std::string& key);
    void unsetValueForKey(const HXPropertyList& value, const std::string& key) { setValueForKey(value, key); }

    // The undo manager of the movie (null when the movie has none or is gone).
    HXUndoManager* undoManager() const;
    const std::shared_ptr<MVMovie>& undoMovie() const { return _movie; }

    // Binds `control` to `key`: it shows the key's value (a check box its state, others their object
    // value) and sets the key when it sends its action.
    void bindControl(const std::shared_ptr<HXControl>& control, const std::string& key);
    // Announces that `key` (every key when empty) changed: bound controls follow, observers are told.
    void didChangeValueForKey(const std::string& key = {});
    // Observers of changes (tests, views that draw a key themselves).
    std::function<void(const std::string&)> onValueChanged;

protected:
    // The ordinary setter (no undo); the value is of the type valueForKey answers.
    virtual void takeValueForKey(const HXPropertyList& value, const std::string& key) = 0;
    // Checks (and may adjust) a value before it is set, given the key's current value; false refuses it.
    // By default the value takes the current value's type.
    virtual bool validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current);
    // Whether bound controls follow the values (between start and stop of inspection).
    void setBindingsActive(bool active);

private:
    struct Binding {
        std::weak_ptr<HXControl> control;
        std::string key;
    };
    void refreshBinding(const Binding& binding);

    std::shared_ptr<MVMovie> _movie;
    std::vector<Binding> _bindings;
    bool _bindingsActive = false;
};

// Numbers of the property lists the panes trade in: a value read back from a control may be real where
// the key is an integer or boolean; these give it the key's type.
HXPropertyList MVPCoerceLike(const HXPropertyList& value, const HXPropertyList& model);
