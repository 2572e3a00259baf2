#include "platform/basekit/scripting_runtime.h"

#include "platform/basekit/scripting_coercion.h"

namespace {

constexpr int kMaximumValueDepth = 64;

// "a track", "an application": a class or kind name as the messages name it.
std::string a(const std::string& word, bool capital = false)
{
    bool vowel = !word.empty() && std::string_view("aeiouAEIOU").find(word.front()) != std::string_view::npos;
    return std::string(capital ? (vowel ? "An " : "A ") : (vowel ? "an " : "a ")) + word;
}

std::string describe(const HXScriptObjectSpecifier& s)
{
    switch (s.form) {
    case HXScriptObjectSpecifier::Form::Index: {
        // Positions as a user types them: from 1, or from -1 at the end (unsigned, so that the last
        // index a request can hold still has a next one).
        int64_t i = s.value.integerValue();
        return s.key + "[" + (i >= 0 ? std::to_string(uint64_t(i) + 1) : std::to_string(i)) + "]";
    }
    case HXScriptObjectSpecifier::Form::Name:
        return s.key + " \u201c" + s.value.stringValue() + "\u201d";
    case HXScriptObjectSpecifier::Form::UniqueID:
        return s.key + " with id "
            + (s.value.isString() ? s.value.stringValue() : std::to_string(s.value.integerValue()));
    case HXScriptObjectSpecifier::Form::Every:
        return "every " + s.key;
    case HXScriptObjectSpecifier::Form::Property:
        return s.key;
    }
    return s.key;
}

// The "uniqueID" (else "id") of an element, for identifier specifiers of classes without a lookup.
HXPropertyList identifierOf(const HXScriptValue& element)
{
    if (!element.isObject())
        return {};
    auto* cls = element.object().classDescription();
    for (const char* key : { "uniqueID", "id" })
        if (auto v = cls->valueForKey(element.object().object().get(), key); v && v->isPropertyList())
            return v->propertyList();
    return {};
}

std::string nameOf(const HXScriptValue& element)
{
    if (element.isPropertyList() && element.propertyList().isString())
        return element.propertyList().stringValue();
    if (!element.isObject())
        return {};
    auto v = element.object().classDescription()->valueForKey(element.object().object().get(), "name");
    return v && v->isPropertyList() ? v->propertyList().stringValue() : std::string();
}

bool sameIdentifier(const HXPropertyList& a, const HXPropertyList& b)
{
    if (a.isNumber() && b.isNumber())
        return a.integerValue() == b.integerValue();
    if (a.isString() && b.isNumber())
        return a.stringValue() == std::to_string(b.integerValue());
    if (a.isNumber() && b.isString())
        return std::to_string(a.integerValue()) == b.stringValue();
    return a == b;
}

} // namespace

HXScriptValue HXScriptRuntime::evaluate(const HXPropertyList& value, HXScriptCommand& command, int depth)
{
    if (depth > kMaximumValueDepth) {
        command.fail(HXScriptMalformedRequestError, "The value nests too deep.");
        return {};
    }
    if (value.isArray()) {
        HXScriptValue::List list;
        for (const auto& e : value.arrayValue())
            list.push_back(evaluate(e, command, depth + 1));
        return HXScriptValue(std::move(list));
    }
    if (value.isDictionary() && value.contains("$specifier")) {
        std::string error;
        auto objectSpec = HXScriptObjectSpecifier::fromPropertyList(value["$specifier"], &error);
        if (!objectSpec) {
            command.fail(HXScriptMalformedRequestError, error);
            return {};
        }
        return resolve(*objectSpec, command);
    }
    return HXScriptValue(value);
}

HXScriptValue HXScriptRuntime::resolve(const HXScriptObjectSpecifier& specifier, HXScriptCommand& command)
{
    HXScriptValue container
        = specifier.container ? resolve(*specifier.container, command) : HXScriptValue(_root());
    if (command.failed())
        return {};
    return applyForm(container, specifier, command);
}

HXScriptValue HXScriptRuntime::applyForm(
    const HXScriptValue& container, const HXScriptObjectSpecifier& specifier, HXScriptCommand& command)
{
    using Form = HXScriptObjectSpecifier::Form;
    if (container.isList()) {
        HXScriptValue::List results;
        for (const auto& c : container.list()) {
            results.push_back(applyForm(c, specifier, command));
            if (command.failed())
                return {};
        }
        return HXScriptValue(std::move(results));
    }
    if (!container.isObject()) {
        command.fail(HXScriptNoSuchObjectError,
            "Can\u2019t get " + describe(specifier) + " of something that is no object.");
        return {};
    }
    auto* cls = container.object().classDescription();
    void* object = container.object().object().get();

    if (specifier.form == Form::Property) {
        if (auto v = cls->valueForKey(object, specifier.key))
            return *v;
        command.fail(HXScriptNoSuchObjectError,
            a(cls->className(), true) + " has no property \u201c" + specifier.key + "\u201d.");
        return {};
    }

    const auto* element = cls->element(specifier.key);
    if (!element || !element->list) {
        command.fail(HXScriptNoSuchObjectError,
            a(cls->className(), true) + " has no elements \u201c" + specifier.key + "\u201d.");
        return {};
    }
    if (specifier.form == Form::UniqueID && element->valueWithUniqueID) {
        HXScriptValue found = element->valueWithUniqueID(object, specifier.value);
        if (found.isMissing())
            command.fail(HXScriptNoSuchObjectError, "Can\u2019t get " + describe(specifier) + ".");
        return found;
    }
    HXScriptValue::List list = element->list(object);
    switch (specifier.form) {
    case Form::Every:
        return HXScriptValue(std::move(list));
    case Form::Index: {
        int64_t i = specifier.value.integerValue();
        int64_t n = int64_t(list.size());
        if (i < 0)
            i += n;
        if (i < 0 || i >= n) {
            command.fail(HXScriptNoSuchObjectError,
                "Can\u2019t get " + describe(specifier) + ": there are " + std::to_string(n) + ".");
            return {};
        }
        return list[size_t(i)];
    }
    case Form::Name:
        for (const auto& e : list)
            if (nameOf(e) == specifier.value.stringValue())
                return e;
        break;
    case Form::UniqueID:
        for (const auto& e : list)
            if (sameIdentifier(identifierOf(e), specifier.value))
                return e;
        break;
    case Form::Property:
        break;
    }
    command.fail(HXScriptNoSuchObjectError, "Can\u2019t get " + describe(specifier) + ".");
    return {};
}

HXScriptValue HXScriptRuntime::setValue(
    const HXScriptObjectSpecifier& specifier, const HXScriptValue& value, HXScriptCommand& command)
{
    if (specifier.form != HXScriptObjectSpecifier::Form::Property) {
        command.fail(HXScriptReadOnlyError, "Only properties can be set.");
        return {};
    }
    HXScriptValue container
        = specifier.container ? resolve(*specifier.container, command) : HXScriptValue(_root());
    if (command.failed())
        return {};
    HXScriptValue::List targets = container.isList() ? container.list() : HXScriptValue::List { container };
    for (const auto& target : targets) {
        if (!target.isObject()) {
            command.fail(HXScriptNoSuchObjectError,
                "Can\u2019t set " + specifier.key + " of something that is no object.");
            return {};
        }
        auto* cls = target.object().classDescription();
        void* object = target.object().object().get();
        const auto* property = cls->property(specifier.key);
        if (!property) {
            if (!cls->element(specifier.key) && cls->setValueForUndefinedKey(object, value, specifier.key))
                continue;
            command.fail(
                cls->valueForKey(object, specifier.key) ? HXScriptReadOnlyError : HXScriptNoSuchObjectError,
                "Can\u2019t set " + specifier.key + " of " + a(cls->className()) + ".");
            return {};
        }
        if (!property->set) {
            command.fail(HXScriptReadOnlyError,
                "The " + specifier.key + " of " + a(cls->className()) + " is read only.");
            return {};
        }
        auto coerced = HXScriptCoercionHandler::sharedCoercionHandler().coerce(value, property->type);
        if (!coerced) {
            const std::string kind = HXScriptCoercionHandler::kindOf(value);
            command.fail(HXScriptCoercionError,
                "The " + specifier.key + " of " + a(cls->className()) + " is " + a(property->type)
                    + (kind == property->type ? "; this one cannot be used." : ", not " + a(kind) + "."));
            return {};
        }
        property->set(object, *coerced, command);
        if (command.failed())
            return {};
    }
    return {};
}

std::optional<int64_t> HXScriptRuntime::elementIndex(
    const HXScriptReference& container, const HXScriptObjectSpecifier& specifier, HXScriptCommand& command)
{
    const auto* element = container.classDescription()->element(specifier.key);
    if (!element || !element->list) {
        command.fail(HXScriptNoSuchObjectError, "No elements \u201c" + specifier.key + "\u201d here.");
        return std::nullopt;
    }
    HXScriptValue::List list = element->list(container.object().get());
    if (specifier.form == HXScriptObjectSpecifier::Form::Index) {
        int64_t i = specifier.value.integerValue();
        if (i < 0)
            i += int64_t(list.size());
        if (i >= 0 && i < int64_t(list.size()))
            return i;
    } else {
        HXScriptValue found = applyForm(HXScriptValue(container), specifier, command);
        if (command.failed())
            return std::nullopt;
        // The very object, or (for elements made anew for each list) the one that names itself the same way.
        for (size_t i = 0; i < list.size(); ++i) {
            bool same = found.isObject() && list[i].isObject() && list[i].object() == found.object();
            if (same || list[i].encoded() == found.encoded())
                return int64_t(i);
        }
    }
    command.fail(HXScriptNoSuchObjectError, "Can\u2019t get " + describe(specifier) + ".");
    return std::nullopt;
}

HXScriptValue HXScriptRuntime::deleteElement(
    const HXScriptObjectSpecifier& specifier, HXScriptCommand& command)
{
    using Form = HXScriptObjectSpecifier::Form;
    if (specifier.form == Form::Property || specifier.form == Form::Every) {
        command.fail(HXScriptParameterError, "Delete names one element.");
        return {};
    }
    HXScriptValue container
        = specifier.container ? resolve(*specifier.container, command) : HXScriptValue(_root());
    if (command.failed())
        return {};
    if (!container.isObject()) {
        command.fail(HXScriptNoSuchObjectError, "Can\u2019t delete " + describe(specifier) + ".");
        return {};
    }
    auto index = elementIndex(container.object(), specifier, command);
    if (!index)
        return {};
    const auto* element = container.object().classDescription()->element(specifier.key);
    if (!element->remove) {
        command.fail(HXScriptReadOnlyError, "The " + specifier.key + " cannot be deleted.");
        return {};
    }
    element->remove(container.object().object().get(), *index, command);
    return {};
}

HXScriptValue HXScriptRuntime::makeElement(const HXPropertyList& request, HXScriptCommand& command)
{
    const std::string key = request["key"].stringValue();
    HXScriptValue container = _root();
    if (request.contains("target")) {
        std::string error;
        auto objectSpec = HXScriptObjectSpecifier::fromPropertyList(request["target"], &error);
        if (!objectSpec) {
            command.fail(HXScriptMalformedRequestError, error);
            return {};
        }
        container = resolve(*objectSpec, command);
        if (command.failed())
            return {};
    }
    if (!container.isObject()) {
        command.fail(HXScriptNoSuchObjectError, "Elements are made in an object.");
        return {};
    }
    const auto* element = container.object().classDescription()->element(key);
    if (!element) {
        command.fail(HXScriptNoSuchObjectError,
            a(container.object().classDescription()->className(), true) + " has no elements \u201c" + key
                + "\u201d.");
        return {};
    }
    if (!element->insert) {
        command.fail(HXScriptReadOnlyError, "Nothing can be added to the " + key + ".");
        return {};
    }
    std::optional<int64_t> index;
    if (request.contains("index")) {
        if (!request["index"].isInteger()) {
            command.fail(HXScriptCoercionError, "The index is an integer.");
            return {};
        }
        index = request["index"].integerValue();
    }
    if (request.contains("properties") && !request["properties"].isDictionary()) {
        command.fail(HXScriptMalformedRequestError, "The properties are a dictionary.");
        return {};
    }
    HXScriptValue data = evaluate(request["data"], command);
    if (command.failed())
        return {};
    // The value becomes an element of the elements' class (a text becomes a track, say), then takes the
    // properties it was given.
    if (!element->elementClass.empty()) {
        auto made = HXScriptCoercionHandler::sharedCoercionHandler().coerce(data, element->elementClass);
        if (made && !made->isMissing())
            data = std::move(*made);
        else if (request.contains("properties") || !data.isMissing()) {
            command.fail(HXScriptCoercionError,
                a(HXScriptCoercionHandler::kindOf(data), true) + " cannot be made into "
                    + a(element->elementClass) + ".");
            return {};
        }
    }
    for (const auto& [name, raw] : request["properties"].dictionaryValue()) {
        if (!data.isObject()) {
            command.fail(HXScriptParameterError, "Only an object takes properties.");
            return {};
        }
        HXScriptValue value = evaluate(raw, command);
        if (command.failed())
            return {};
        auto* cls = data.object().classDescription();
        const auto* property = cls->property(name);
        if (!property || !property->set) {
            command.fail(
                HXScriptReadOnlyError, "A new " + cls->className() + " takes no \u201c" + name + "\u201d.");
            return {};
        }
        auto coerced = HXScriptCoercionHandler::sharedCoercionHandler().coerce(value, property->type);
        if (!coerced) {
            command.fail(HXScriptCoercionError,
                "The " + name + " of " + a(cls->className()) + " is " + a(property->type) + ".");
            return {};
        }
        property->set(data.object().object().get(), *coerced, command);
        if (command.failed())
            return {};
    }
    return element->insert(container.object().object().get(), data, index, command);
}

HXScriptValue HXScriptRuntime::describeKeys(const HXScriptValue& target, HXScriptCommand& command)
{
    if (!target.isObject()) {
        command.fail(HXScriptNoSuchObjectError, "Only objects have keys.");
        return {};
    }
    auto* cls = target.object().classDescription();
    auto texts = [](const std::vector<std::string>& names) {
        HXPropertyList::Array array;
        for (const auto& n : names)
            array.emplace_back(n);
        return HXPropertyList(std::move(array));
    };
    return HXScriptValue(HXPropertyList(HXPropertyList::Dictionary {
        { "class", HXPropertyList(cls->className()) }, { "properties", texts(cls->propertyKeys()) },
        { "elements", texts(cls->elementKeys()) }, { "commands", texts(cls->commandNames()) } }));
}

HXScriptValue HXScriptRuntime::sendCommand(const HXScriptValue& receivers, HXScriptCommand& command)
{
    if (receivers.isList()) {
        HXScriptValue::List results;
        for (const auto& r : receivers.list()) {
            results.push_back(sendCommand(r, command));
            if (command.failed())
                return {};
        }
        return HXScriptValue(std::move(results));
    }
    if (!receivers.isObject()) {
        command.fail(
            HXScriptNoSuchObjectError, "The command \u201c" + command.name() + "\u201d goes to an object.");
        return {};
    }
    auto* cls = receivers.object().classDescription();
    const auto* handler = cls->commandHandler(command.name());
    if (!handler) {
        command.fail(HXScriptNotHandledError,
            a(cls->className(), true) + " does not understand \u201c" + command.name() + "\u201d.");
        return {};
    }
    return (*handler)(receivers.object().object().get(), command);
}

namespace {

HXPropertyList replyFor(const HXScriptCommand& command, const HXScriptValue& result)
{
    HXPropertyList::Dictionary reply;
    if (command.failed()) {
        reply[HXScriptRuntime::errorNumberKey] = HXPropertyList(int64_t(command.scriptErrorNumber()));
        std::string text = command.scriptErrorString();
        reply[HXScriptRuntime::errorKey]
            = HXPropertyList(text.empty() ? "Error " + std::to_string(command.scriptErrorNumber()) : text);
    } else if (auto encoded = result.encoded(); !encoded.isNull()) {
        reply[HXScriptRuntime::resultKey] = std::move(encoded);
        if (auto types = result.encodedType(); !types.isNull())
            reply[HXScriptRuntime::resultTypeKey] = std::move(types);
    }
    return HXPropertyList(std::move(reply));
}

// The answer of a suspended command, owed until it is given: a command whose resumption is dropped
// unanswered answers an error rather than leaving its script waiting.
struct PendingReply {
    std::shared_ptr<HXScriptCommand> command;
    std::function<void(HXPropertyList)> reply;
    bool answered = false;
    void answer(const HXScriptValue& result)
    {
        if (answered)
            return;
        answered = true;
        if (reply)
            reply(replyFor(*command, result));
    }
    ~PendingReply()
    {
        if (!answered && !command->failed())
            command->fail(HXScriptFailedError, "The command ended without an answer.");
        answer({});
    }
};

} // namespace

HXPropertyList HXScriptRuntime::execute(const HXPropertyList& request)
{
    // No command may answer later here: each answers before this returns.
    HXPropertyList answer;
    run(
        request, [&answer](HXPropertyList reply) { answer = std::move(reply); }, {}, false);
    return answer;
}

void HXScriptRuntime::execute(const HXPropertyList& request, std::function<void(HXPropertyList)> reply,
    std::function<void(double)> progress)
{
    run(request, std::move(reply), std::move(progress), true);
}

void HXScriptRuntime::run(const HXPropertyList& request, std::function<void(HXPropertyList)> reply,
    std::function<void(double)> progress, bool mayAnswerLater)
{
    auto command = std::make_shared<HXScriptCommand>(request["event"].stringValue());
    command->setProgressHandler(std::move(progress));
    if (request["directory"].isString())
        command->setDirectory(request["directory"].stringValue());
    // Only a command sent to objects may answer later; everything else answers before this returns.
    auto pending = std::make_shared<PendingReply>();
    pending->command = command;
    pending->reply = std::move(reply);
    HXScriptCommand::CurrentScope current(*command);
    HXScriptValue result;
    auto finish = [&] { pending->answer(result); };

    if (!request.isDictionary() || !request["event"].isString() || command->name().empty()) {
        command->fail(HXScriptMalformedRequestError, "A script request names its event.");
        return finish();
    }
    std::optional<HXScriptObjectSpecifier> target;
    if (request.contains("target") && command->name() != "make") {
        std::string error;
        target = HXScriptObjectSpecifier::fromPropertyList(request["target"], &error);
        if (!target) {
            command->fail(HXScriptMalformedRequestError, error);
            return finish();
        }
    }
    if (request.contains("arguments") && !request["arguments"].isDictionary()) {
        command->fail(HXScriptMalformedRequestError, "The arguments are a dictionary.");
        return finish();
    }

    const std::string event = command->name();
    if (event == "get") {
        result = target ? resolve(*target, *command) : HXScriptValue(_root());
    } else if (event == "set") {
        if (!target)
            command->fail(HXScriptMissingParameterError, "Set needs a target.");
        else if (!request.contains("value"))
            command->fail(HXScriptMissingParameterError, "Set needs a value.");
        else if (HXScriptValue value = evaluate(request["value"], *command); !command->failed())
            setValue(*target, value, *command);
    } else if (event == "count") {
        HXScriptValue v = target ? resolve(*target, *command) : HXScriptValue();
        if (!command->failed())
            result = HXScriptValue(int64_t(v.isList() ? v.list().size() : v.isMissing() ? 0 : 1));
    } else if (event == "exists") {
        if (target)
            resolve(*target, *command);
        bool exists = target && !command->failed();
        if (command->scriptErrorNumber() == HXScriptNoSuchObjectError)
            command->fail(HXScriptNoError, {});
        if (!command->failed())
            result = HXScriptValue(exists);
    } else if (event == "make") {
        result = makeElement(request, *command);
    } else if (event == "delete") {
        if (!target)
            command->fail(HXScriptMissingParameterError, "Delete needs a target.");
        else
            deleteElement(*target, *command);
    } else if (event == "keys") {
        HXScriptValue object = target ? resolve(*target, *command) : HXScriptValue(_root());
        if (!command->failed())
            result = describeKeys(object, *command);
    } else {
        HXScriptValue receivers = target ? resolve(*target, *command) : HXScriptValue(_root());
        if (!command->failed()) {
            command->setDirectParameter(evaluate(request["direct"], *command));
            for (const auto& [key, value] : request["arguments"].dictionaryValue())
                command->setArgument(key, evaluate(value, *command));
        }
        if (!command->failed()) {
            // One object may answer later; a command sent to several answers for all of them at once.
            if (receivers.isObject() && mayAnswerLater)
                command->setResumption([pending](HXScriptValue later) { pending->answer(later); });
            result = sendCommand(receivers, *command);
            command->setResumption(nullptr);
            if (command->isSuspended() && !command->failed())
                return; // the resumption answers
        }
    }
    finish();
}
