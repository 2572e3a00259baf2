#include "platform/basekit/scripting_command.h"

#include "platform/basekit/scripting_coercion.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace {
thread_local HXScriptCommand* gCurrentCommand = nullptr;
}

HXScriptCommand* HXScriptCommand::currentCommand()
{
    return gCurrentCommand;
}

HXScriptCommand::CurrentScope::CurrentScope(HXScriptCommand& command)
    : _previous(gCurrentCommand)
{
    gCurrentCommand = &command;
}

HXScriptCommand::CurrentScope::~CurrentScope()
{
    gCurrentCommand = _previous;
}

const HXScriptValue& HXScriptCommand::argument(const std::string& key) const
{
    static const HXScriptValue missing;
    auto it = _arguments.find(key);
    return it == _arguments.end() ? missing : it->second;
}

std::optional<HXScriptValue> HXScriptCommand::coercedArgument(const std::string& key, const std::string& type)
{
    const HXScriptValue& value = argument(key);
    if (value.isMissing())
        return std::nullopt;
    auto coerced = HXScriptCoercionHandler::sharedCoercionHandler().coerce(value, type);
    if (!coerced || !coerced->isPropertyList()) {
        if (!failed())
            fail(HXScriptCoercionError,
                "The argument \u201c" + key + "\u201d is not "
                    + (!type.empty() && std::string_view("aeiou").find(type.front()) != std::string_view::npos
                            ? "an "
                            : "a ")
                    + type + ".");
        return std::nullopt;
    }
    return coerced;
}

std::optional<int64_t> HXScriptCommand::integerArgument(const std::string& key)
{
    auto v = coercedArgument(key, "integer");
    return v ? std::optional<int64_t>(v->propertyList().integerValue()) : std::nullopt;
}

std::optional<double> HXScriptCommand::realArgument(const std::string& key)
{
    auto v = coercedArgument(key, "real");
    return v ? std::optional<double>(v->propertyList().realValue()) : std::nullopt;
}

std::optional<bool> HXScriptCommand::booleanArgument(const std::string& key)
{
    auto v = coercedArgument(key, "boolean");
    return v ? std::optional<bool>(v->propertyList().boolValue()) : std::nullopt;
}

std::optional<std::string> HXScriptCommand::stringArgument(const std::string& key)
{
    auto v = coercedArgument(key, "string");
    return v ? std::optional<std::string>(v->propertyList().stringValue()) : std::nullopt;
}

std::optional<uint32_t> HXScriptCommand::codeArgument(const std::string& key)
{
    auto v = coercedArgument(key, "code");
    return v ? std::optional<uint32_t>(uint32_t(v->propertyList().integerValue())) : std::nullopt;
}

std::string HXScriptCommand::absolutePath(const std::string& path) const
{
    if (path.empty())
        return path;
    std::filesystem::path p = path;
    if (path == "~" || path.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        p = std::filesystem::path(home ? home : "/") / path.substr(std::min<size_t>(2, path.size()));
    } else if (p.is_relative()) {
        std::error_code ec;
        std::filesystem::path base
            = _directory.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(_directory);
        p = base / p;
    }
    return p.lexically_normal().string();
}

HXScriptCommand::Resumption HXScriptCommand::suspendExecution()
{
    if (!_resumption)
        return {};
    _suspended = true;
    return std::exchange(_resumption, nullptr);
}
