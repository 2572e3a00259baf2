#include "platform/basekit/scripting_coercion.h"

#include "platform/basekit/fourcc.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

std::optional<int64_t> parseInteger(const std::string& text)
{
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return v;
}

std::optional<double> parseReal(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int64_t> integerFromReal(double d)
{
    // Only values an int64 holds: the conversion of anything else is undefined.
    if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0)
        return std::nullopt;
    return int64_t(d);
}

std::string realText(double d)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), d);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

} // namespace

HXScriptCoercionHandler& HXScriptCoercionHandler::sharedCoercionHandler()
{
    static HXScriptCoercionHandler handler;
    return handler;
}

void HXScriptCoercionHandler::registerCoercer(
    const std::string& fromKind, const std::string& toKind, Coercer coercer)
{
    if (coercer)
        _coercers[{ fromKind, toKind }] = std::move(coercer);
    else
        _coercers.erase({ fromKind, toKind });
}

std::string HXScriptCoercionHandler::kindOf(const HXScriptValue& value)
{
    switch (value.kind()) {
    case HXScriptValue::Kind::Missing:
        return "missing";
    case HXScriptValue::Kind::List:
        return "list";
    case HXScriptValue::Kind::Object:
        return value.object().classDescription()->className();
    case HXScriptValue::Kind::PropertyList:
        break;
    }
    switch (value.propertyList().type()) {
    case HXPropertyList::Type::Null:
        return "missing";
    case HXPropertyList::Type::String:
        return "string";
    case HXPropertyList::Type::Integer:
        return "integer";
    case HXPropertyList::Type::Real:
        return "real";
    case HXPropertyList::Type::Boolean:
        return "boolean";
    case HXPropertyList::Type::Date:
        return "date";
    case HXPropertyList::Type::Data:
        return "data";
    case HXPropertyList::Type::Array:
        return "list";
    case HXPropertyList::Type::Dictionary:
        return "record";
    }
    return "missing";
}

std::optional<HXScriptValue> HXScriptCoercionHandler::coerce(
    const HXScriptValue& value, const std::string& toKind) const
{
    std::string from = kindOf(value);
    // A list from a property list becomes a list of script values (its elements may be objects later).
    bool plainArray = value.isPropertyList() && value.propertyList().isArray();
    // Not a number and the infinities are no amount of anything a script sets (a rate, a level).
    if (toKind == "real" && from == "real" && !std::isfinite(value.propertyList().realValue()))
        return std::nullopt;
    if (toKind == "any" || (toKind == from && !plainArray))
        return value;
    if (auto it = _coercers.find({ from, toKind }); it != _coercers.end())
        return it->second(value);
    return builtIn(value, toKind);
}

std::optional<HXScriptValue> HXScriptCoercionHandler::builtIn(
    const HXScriptValue& value, const std::string& toKind) const
{
    if (toKind == "list") {
        if (value.isPropertyList() && value.propertyList().isArray()) {
            HXScriptValue::List list;
            for (const auto& e : value.propertyList().arrayValue())
                list.emplace_back(e);
            return HXScriptValue(std::move(list));
        }
        if (value.isMissing())
            return std::nullopt;
        return HXScriptValue(HXScriptValue::List { value });
    }
    if (value.isList()) {
        if (value.list().size() == 1)
            return coerce(value.list().front(), toKind);
        return std::nullopt;
    }
    if (!value.isPropertyList())
        return std::nullopt;
    const HXPropertyList& v = value.propertyList();
    if (v.isArray()) {
        if (v.count() == 1)
            return coerce(HXScriptValue(v[size_t(0)]), toKind);
        return std::nullopt;
    }

    if (toKind == "integer") {
        if (v.isReal()) {
            if (auto i = integerFromReal(v.realValue()))
                return HXScriptValue(*i);
        } else if (v.isBoolean()) {
            return HXScriptValue(int64_t(v.boolValue() ? 1 : 0));
        } else if (v.isString()) {
            if (auto i = parseInteger(v.stringValue()))
                return HXScriptValue(*i);
            if (auto d = parseReal(v.stringValue()))
                if (auto i = integerFromReal(*d))
                    return HXScriptValue(*i);
        }
        return std::nullopt;
    }
    if (toKind == "real") {
        if (v.isInteger())
            return HXScriptValue(double(v.integerValue()));
        if (v.isString())
            if (auto d = parseReal(v.stringValue()))
                return HXScriptValue(*d);
        return std::nullopt;
    }
    if (toKind == "boolean") {
        if (v.isInteger() && (v.integerValue() == 0 || v.integerValue() == 1))
            return HXScriptValue(v.integerValue() == 1);
        if (v.isString()) {
            const std::string& s = v.stringValue();
            if (s == "true" || s == "yes")
                return HXScriptValue(true);
            if (s == "false" || s == "no")
                return HXScriptValue(false);
        }
        return std::nullopt;
    }
    if (toKind == "string") {
        if (v.isInteger())
            return HXScriptValue(std::to_string(v.integerValue()));
        if (v.isReal())
            return HXScriptValue(realText(v.realValue()));
        if (v.isBoolean())
            return HXScriptValue(std::string(v.boolValue() ? "true" : "false"));
        return std::nullopt;
    }
    if (toKind == "code") {
        if (v.isInteger() && v.integerValue() >= 0 && v.integerValue() <= int64_t(UINT32_MAX))
            return value;
        if (v.isString() && !v.stringValue().empty() && v.stringValue().size() <= 4)
            return HXScriptValue(int64_t(HXFourCharCode(v.stringValue())));
        return std::nullopt;
    }
    return std::nullopt;
}
