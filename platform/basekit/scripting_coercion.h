#pragma once
// HXScriptCoercionHandler: the shared converter of script values from one kind to another. Kinds are
// named by text: "missing", "string", "integer", "real", "boolean", "date", "data", "record", "list",
// "code" (a four-character code in a 32-bit number), "any", or the class name of an object.
//
// Built in: between numbers (a real becomes an integer only when finite and in range, truncated),
// numbers and text (the whole text must be the number), booleans and integers (0 and 1; "true"/"false"
// text), a four-character text or an unsigned 32-bit number to a code, any single value to a list of
// one, and a list of one to the kind of its element. Other conversions are registered by the classes
// that need them and are tried first.
#include "platform/basekit/scripting_object.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

class HXScriptCoercionHandler {
public:
    using Coercer = std::function<std::optional<HXScriptValue>(const HXScriptValue& value)>;

    static HXScriptCoercionHandler& sharedCoercionHandler();

    // An empty coercer removes the one registered for the pair.
    void registerCoercer(const std::string& fromKind, const std::string& toKind, Coercer coercer);
    // The value as `toKind`; nothing when it cannot be converted.
    std::optional<HXScriptValue> coerce(const HXScriptValue& value, const std::string& toKind) const;

    // The kind of a value as named above.
    static std::string kindOf(const HXScriptValue& value);

private:
    std::optional<HXScriptValue> builtIn(const HXScriptValue& value, const std::string& toKind) const;
    std::map<std::pair<std::string, std::string>, Coercer> _coercers;
};
