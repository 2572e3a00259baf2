#pragma once
// HXScriptRuntime: carries out script requests against the object model whose root (the application
// object) it is given. Requests and replies are property-list dictionaries, so any transport that moves
// property lists can carry them.
//
// Request: {"event": name, "target": specifier, "value": v, "direct": v, "arguments": {key: v},
//           "key": element key, "data": v, "index": n}
//   get      the value the target specifier names (objects come back as their specifiers)
//   set      target names a property: writes "value" through the property's setter
//   count    the number of objects or values the target names
//   exists   whether the target names something
//   make     inserts "data" into the elements "key" of the target object (at "index" when given)
//   delete   removes the element the target names from its container
//   other    the command of that name, sent to each object the target names (the application when
//            there is no target), with "direct" and "arguments"
// Values inside "value", "direct", "data" and "arguments" may be {"$specifier": specifier}: they are
// resolved to the objects they name before the handler sees them.
//
// Reply: {"result": value} (absent when the answer is missing), or on failure {"errorNumber": n,
//         "error": text}.
#include "platform/basekit/scripting_command.h"

#include <functional>

class HXScriptRuntime {
public:
    explicit HXScriptRuntime(std::function<HXScriptReference()> root)
        : _root(std::move(root))
    {
    }

    HXPropertyList execute(const HXPropertyList& request);

    // What `specifier` names: one value, or a list for "every" and for forms applied to a list. On a
    // failure the command carries the error and the answer is missing.
    HXScriptValue resolve(const HXScriptObjectSpecifier& specifier, HXScriptCommand& command);
    // A value from a request, its {"$specifier": ...} parts resolved.
    HXScriptValue evaluate(const HXPropertyList& value, HXScriptCommand& command, int depth = 0);

    static constexpr const char* resultKey = "result";
    static constexpr const char* errorNumberKey = "errorNumber";
    static constexpr const char* errorKey = "error";

private:
    HXScriptValue applyForm(const HXScriptValue& container, const HXScriptObjectSpecifier& specifier,
        HXScriptCommand& command);
    HXScriptValue setValue(const HXScriptObjectSpecifier& specifier, const HXScriptValue& value,
        HXScriptCommand& command);
    HXScriptValue makeElement(const HXPropertyList& request, HXScriptCommand& command);
    HXScriptValue deleteElement(const HXScriptObjectSpecifier& specifier, HXScriptCommand& command);
    HXScriptValue sendCommand(const HXScriptValue& receivers, HXScriptCommand& command);
    // The index of the element `specifier` names among its container's elements (for delete).
    std::optional<int64_t> elementIndex(const HXScriptReference& container,
        const HXScriptObjectSpecifier& specifier, HXScriptCommand& command);

    std::function<HXScriptReference()> _root;
};
