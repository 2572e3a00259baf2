#pragma once
// HXScriptRuntime: carries out script requests against the object model whose root (the application
// object) it is given. Requests and replies are property-list dictionaries, so any transport that moves
// property lists can carry them.
//
// Request: {"event": name, "target": specifier, "value": v, "direct": v, "arguments": {key: v},
//           "key": element key, "data": v, "index": n, "properties": {key: v}, "directory": path}
//   get      the value the target specifier names (objects come back as their specifiers)
//   set      target names a property: writes "value" through the property's setter
//   count    the number of objects or values the target names
//   exists   whether the target names something
//   make     makes "data" (coerced to the class of the elements, then given "properties") an element
//            "key" of the target object (at "index" when given); answers what it made
//   delete   removes the element the target names from its container
//   keys     what the target object (the application when there is none) answers to: {"class": name,
//            "properties": [...], "elements": [...], "commands": [...]}
//   other    the command of that name, sent to each object the target names (the application when
//            there is no target), with "direct" and "arguments"
// Values inside "value", "direct", "data", "properties" and "arguments" may be {"$specifier": specifier}:
// they are resolved to the objects they name before the handler sees them. "directory" is the folder of
// the sender, against which relative paths resolve.
//
// Reply: {"result": value, "resultType": types} (result absent when the answer is missing, resultType
//         absent when nothing in it is typed; see HXScriptValue::encodedType), or on failure
//         {"errorNumber": n, "error": text}.
#include "platform/basekit/scripting_command.h"

#include <functional>
#include <memory>

class HXScriptRuntime {
public:
    explicit HXScriptRuntime(std::function<HXScriptReference()> root)
        : _root(std::move(root))
    {
    }

    // Carries out `request` and hands the reply to `reply`: at once, or later when a handler suspended
    // the command (HXScriptCommand::suspendExecution). `progress` hears a long command's progress.
    void execute(const HXPropertyList& request, std::function<void(HXPropertyList reply)> reply,
        std::function<void(double fraction)> progress = {});
    // The reply at once: no command may suspend (each answers before this returns).
    HXPropertyList execute(const HXPropertyList& request);

    // What `specifier` names: one value, or a list for "every" and for forms applied to a list. On a
    // failure the command carries the error and the answer is missing.
    HXScriptValue resolve(const HXScriptObjectSpecifier& specifier, HXScriptCommand& command);
    // A value from a request, its {"$specifier": ...} parts resolved.
    HXScriptValue evaluate(const HXPropertyList& value, HXScriptCommand& command, int depth = 0);

    static constexpr const char* resultKey = "result";
    static constexpr const char* errorNumberKey = "errorNumber";
    static constexpr const char* errorKey = "error";
    static constexpr const char* resultTypeKey = "resultType";

private:
    void run(const HXPropertyList& request, std::function<void(HXPropertyList)> reply,
        std::function<void(double)> progress, bool mayAnswerLater);
    HXScriptValue applyForm(const HXScriptValue& container, const HXScriptObjectSpecifier& specifier,
        HXScriptCommand& command);
    HXScriptValue setValue(const HXScriptObjectSpecifier& specifier, const HXScriptValue& value,
        HXScriptCommand& command);
    HXScriptValue makeElement(const HXPropertyList& request, HXScriptCommand& command);
    HXScriptValue describeKeys(const HXScriptValue& target, HXScriptCommand& command);
    HXScriptValue deleteElement(const HXScriptObjectSpecifier& specifier, HXScriptCommand& command);
    HXScriptValue sendCommand(const HXScriptValue& receivers, HXScriptCommand& command);
    // The index of the element `specifier` names among its container's elements (for delete).
    std::optional<int64_t> elementIndex(const HXScriptReference& container,
        const HXScriptObjectSpecifier& specifier, HXScriptCommand& command);

    std::function<HXScriptReference()> _root;
};
