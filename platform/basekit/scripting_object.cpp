#include "platform/basekit/scripting_object.h"

namespace {

const char* formName(HXScriptObjectSpecifier::Form form)
{
    switch (form) {
    case HXScriptObjectSpecifier::Form::Index:
        return "index";
    case HXScriptObjectSpecifier::Form::Name:
        return "name";
    case HXScriptObjectSpecifier::Form::UniqueID:
        return "id";
    case HXScriptObjectSpecifier::Form::Property:
        return "property";
    case HXScriptObjectSpecifier::Form::Every:
        return "every";
    }
    return "property";
}

std::optional<HXScriptObjectSpecifier> parse(const HXPropertyList& plist, std::string* error, int depth)
{
    auto fail = [error](std::string text) -> std::optional<HXScriptObjectSpecifier> {
        if (error)
            *error = std::move(text);
        return std::nullopt;
    };
    if (depth > HXScriptObjectSpecifier::maximumDepth)
        return fail("The specifier nests too deep.");
    if (!plist.isDictionary())
        return fail("A specifier is a dictionary.");
    const auto& key = plist["key"];
    if (!key.isString() || key.stringValue().empty())
        return fail("A specifier names its key.");
    HXScriptObjectSpecifier s;
    s.key = key.stringValue();
    std::string form = plist["form"].isString() ? plist["form"].stringValue() : "property";
    const auto& value = plist["value"];
    if (form == "index") {
        if (!value.isInteger())
            return fail("An index specifier holds an integer.");
        s.form = HXScriptObjectSpecifier::Form::Index;
    } else if (form == "name") {
        if (!value.isString())
            return fail("A name specifier holds a text.");
        s.form = HXScriptObjectSpecifier::Form::Name;
    } else if (form == "id") {
        if (value.isNull() || value.isArray() || value.isDictionary())
            return fail("An identifier specifier holds a number or a text.");
        s.form = HXScriptObjectSpecifier::Form::UniqueID;
    } else if (form == "property") {
        s.form = HXScriptObjectSpecifier::Form::Property;
    } else if (form == "every") {
        s.form = HXScriptObjectSpecifier::Form::Every;
    } else {
        return fail("Unknown specifier form \u201c" + form + "\u201d.");
    }
    if (s.form != HXScriptObjectSpecifier::Form::Property && s.form != HXScriptObjectSpecifier::Form::Every)
        s.value = value;
    if (plist.contains("container")) {
        auto container = parse(plist["container"], error, depth + 1);
        if (!container)
            return std::nullopt;
        s.container = std::make_shared<HXScriptObjectSpecifier>(std::move(*container));
    }
    return s;
}

} // namespace

HXScriptValue::HXScriptValue(HXPropertyList value)
    : _kind(value.isNull() ? Kind::Missing : Kind::PropertyList)
    , _value(std::move(value))
{
}

HXScriptValue::HXScriptValue(HXScriptReference object)
    : _kind(object ? Kind::Object : Kind::Missing)
    , _object(std::move(object))
{
}

HXScriptValue::HXScriptValue(List list)
    : _kind(Kind::List)
    , _list(std::move(list))
{
}

HXPropertyList HXScriptValue::encoded() const
{
    switch (_kind) {
    case Kind::Missing:
        return {};
    case Kind::PropertyList:
        return _value;
    case Kind::List: {
        HXPropertyList::Array array;
        for (const auto& v : _list) {
            auto e = v.encoded();
            // A missing element still takes its place: an empty text keeps the positions of a list.
            array.push_back(e.isNull() ? HXPropertyList(std::string()) : std::move(e));
        }
        return HXPropertyList(std::move(array));
    }
    case Kind::Object: {
        HXPropertyList::Dictionary d { { "$class", HXPropertyList(_object.classDescription()->className()) } };
        if (auto objectSpec = _object.classDescription()->objectSpecifier(_object.object().get()))
            d["$specifier"] = objectSpec->propertyList();
        return HXPropertyList(std::move(d));
    }
    }
    return {};
}

HXPropertyList HXScriptValue::encodedType() const
{
    if (_kind == Kind::PropertyList && !_type.empty())
        return HXPropertyList(_type);
    if (_kind != Kind::List)
        return {};
    HXPropertyList::Array types;
    bool any = false;
    for (const auto& v : _list) {
        auto t = v.encodedType();
        any |= !t.isNull();
        types.push_back(t.isNull() ? HXPropertyList(std::string()) : std::move(t));
    }
    return any ? HXPropertyList(std::move(types)) : HXPropertyList();
}

HXScriptObjectSpecifier HXScriptObjectSpecifier::index(
    std::string key, int64_t index, std::shared_ptr<HXScriptObjectSpecifier> container)
{
    return { Form::Index, std::move(key), HXPropertyList(index), std::move(container) };
}

HXScriptObjectSpecifier HXScriptObjectSpecifier::name(
    std::string key, std::string name, std::shared_ptr<HXScriptObjectSpecifier> container)
{
    return { Form::Name, std::move(key), HXPropertyList(std::move(name)), std::move(container) };
}

HXScriptObjectSpecifier HXScriptObjectSpecifier::uniqueID(
    std::string key, HXPropertyList identifier, std::shared_ptr<HXScriptObjectSpecifier> container)
{
    return { Form::UniqueID, std::move(key), std::move(identifier), std::move(container) };
}

HXScriptObjectSpecifier HXScriptObjectSpecifier::property(
    std::string key, std::shared_ptr<HXScriptObjectSpecifier> container)
{
    return { Form::Property, std::move(key), {}, std::move(container) };
}

HXScriptObjectSpecifier HXScriptObjectSpecifier::every(
    std::string key, std::shared_ptr<HXScriptObjectSpecifier> container)
{
    return { Form::Every, std::move(key), {}, std::move(container) };
}

HXPropertyList HXScriptObjectSpecifier::propertyList() const
{
    HXPropertyList::Dictionary d { { "form", HXPropertyList(formName(form)) }, { "key", HXPropertyList(key) } };
    if (!value.isNull())
        d["value"] = value;
    if (container)
        d["container"] = container->propertyList();
    return HXPropertyList(std::move(d));
}

std::optional<HXScriptObjectSpecifier> HXScriptObjectSpecifier::fromPropertyList(
    const HXPropertyList& plist, std::string* error)
{
    return parse(plist, error, 0);
}

bool HXScriptObjectSpecifier::operator==(const HXScriptObjectSpecifier& other) const
{
    if (form != other.form || key != other.key || !(value == other.value))
        return false;
    if (!container || !other.container)
        return !container && !other.container;
    return *container == *other.container;
}

const HXScriptClassDescription::Property* HXScriptClassDescription::property(const std::string& key) const
{
    auto it = _properties.find(key);
    return it == _properties.end() ? nullptr : &it->second;
}

const HXScriptClassDescription::Element* HXScriptClassDescription::element(const std::string& key) const
{
    auto it = _elements.find(key);
    return it == _elements.end() ? nullptr : &it->second;
}

const HXScriptClassDescription::Handler* HXScriptClassDescription::commandHandler(const std::string& name) const
{
    auto it = _commands.find(name);
    return it == _commands.end() ? nullptr : &it->second;
}

std::vector<std::string> HXScriptClassDescription::propertyKeys() const
{
    std::vector<std::string> keys;
    for (const auto& [k, p] : _properties)
        keys.push_back(k);
    return keys;
}

std::vector<std::string> HXScriptClassDescription::commandNames() const
{
    std::vector<std::string> names;
    for (const auto& [k, h] : _commands)
        names.push_back(k);
    return names;
}

std::vector<std::string> HXScriptClassDescription::elementKeys() const
{
    std::vector<std::string> keys;
    for (const auto& [k, e] : _elements)
        keys.push_back(k);
    return keys;
}

std::optional<HXScriptValue> HXScriptClassDescription::valueForKey(void* object, const std::string& key) const
{
    if (auto p = property(key); p && p->get)
        return p->get(object);
    if (auto e = element(key); e && e->list)
        return HXScriptValue(e->list(object));
    if (_undefinedGetter && _undefinedHasKey && _undefinedHasKey(object, key))
        return _undefinedGetter(object, key);
    return std::nullopt;
}

void HXScriptClassDescription::setUndefinedKeyHandlers(std::function<HXScriptValue(void*, const std::string&)> getter,
    std::function<bool(void*, const std::string&)> hasKey,
    std::function<bool(void*, const HXScriptValue&, const std::string&)> setter)
{
    _undefinedGetter = std::move(getter);
    _undefinedHasKey = std::move(hasKey);
    _undefinedSetter = std::move(setter);
}

bool HXScriptClassDescription::setValueForUndefinedKey(
    void* object, const HXScriptValue& value, const std::string& key) const
{
    return _undefinedSetter && _undefinedSetter(object, value, key);
}
