#pragma once
// The scripting object model: what a script can point at, and how each scriptable class answers.
//
// HXScriptValue      a value a script reads or writes: a property-list value, a reference to a live
//                    scriptable object, or a list of values; "missing" is a real state (nothing answered).
//                    A property-list value may carry the name of what it stands for ("code" for a
//                    four-character code in a number, "point", "size", "rectangle", "color" for records),
//                    so that a client can show it the way a user reads it.
// HXScriptReference  a live object together with the class description that knows its keys: the pair
//                    stands for an object of a dynamic language here, so that our own classes (documents,
//                    windows) become scriptable without deriving from anything.
// HXScriptObjectSpecifier  how a script names an object: by index, name or unique identifier among the
//                    elements of a container, all of them ("every"), or one property of a container. A
//                    specifier without a container starts at the application object.
// HXScriptClassDescription  the keys of one scriptable class: property getters and setters, element
//                    lists with their insert, remove and unique-identifier lookups, command handlers, the
//                    fallback for keys it does not define, and how an object specifies itself.
#include "platform/basekit/property_list.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXScriptClassDescription;
class HXScriptCommand;

class HXScriptReference {
public:
    HXScriptReference() = default;
    HXScriptReference(const HXScriptClassDescription* classDescription, std::shared_ptr<void> object)
        : _classDescription(classDescription)
        , _object(std::move(object))
    {
    }
    template<class T> static HXScriptReference make(const HXScriptClassDescription& cls, std::shared_ptr<T> object)
    {
        if (!object)
            return {};
        return HXScriptReference(&cls, std::static_pointer_cast<void>(std::move(object)));
    }

    explicit operator bool() const { return _classDescription && _object; }
    const HXScriptClassDescription* classDescription() const { return _classDescription; }
    const std::shared_ptr<void>& object() const { return _object; }
    // The object as `T`: only for a reference made with a class description of T's objects.
    template<class T> std::shared_ptr<T> as() const { return std::static_pointer_cast<T>(_object); }
    bool operator==(const HXScriptReference& other) const { return _object == other._object; }

private:
    const HXScriptClassDescription* _classDescription = nullptr;
    std::shared_ptr<void> _object;
};

class HXScriptValue {
public:
    enum class Kind { Missing, PropertyList, Object, List };
    using List = std::vector<HXScriptValue>;

    HXScriptValue() = default;
    HXScriptValue(HXPropertyList value);
    HXScriptValue(HXScriptReference object);
    HXScriptValue(List list);
    // Convenience for the common scalar answers.
    HXScriptValue(const char* s)
        : HXScriptValue(HXPropertyList(s))
    {
    }
    HXScriptValue(std::string s)
        : HXScriptValue(HXPropertyList(std::move(s)))
    {
    }
    HXScriptValue(bool b)
        : HXScriptValue(HXPropertyList(b))
    {
    }
    HXScriptValue(int64_t i)
        : HXScriptValue(HXPropertyList(i))
    {
    }
    HXScriptValue(int i)
        : HXScriptValue(HXPropertyList(i))
    {
    }
    HXScriptValue(double d)
        : HXScriptValue(HXPropertyList(d))
    {
    }

    // A property-list value standing for a `type` (see above): the value travels as it is, the type beside it.
    static HXScriptValue typed(HXPropertyList value, std::string type)
    {
        HXScriptValue v(std::move(value));
        v._type = std::move(type);
        return v;
    }
    const std::string& typeName() const { return _type; }

    Kind kind() const { return _kind; }
    bool isMissing() const { return _kind == Kind::Missing; }
    bool isObject() const { return _kind == Kind::Object; }
    bool isList() const { return _kind == Kind::List; }
    bool isPropertyList() const { return _kind == Kind::PropertyList; }
    const HXPropertyList& propertyList() const { return _value; }
    const HXScriptReference& object() const { return _object; }
    const List& list() const { return _list; }

    // The value as it travels to a script: a list becomes an array, an object the dictionary
    // {"$class": name, "$specifier": its specifier} (no specifier when it has none), missing becomes Null.
    HXPropertyList encoded() const;
    // The types of the value's parts, shaped like encoded(): a type name for a typed value, an array for a
    // list holding typed values (an empty text where a part has none), Null when nothing is typed.
    HXPropertyList encodedType() const;

private:
    Kind _kind = Kind::Missing;
    std::string _type;
    HXPropertyList _value;
    HXScriptReference _object;
    List _list;
};

struct HXScriptObjectSpecifier {
    enum class Form { Index, Name, UniqueID, Property, Every };
    Form form = Form::Property;
    std::string key; // the element key (or the property key)
    HXPropertyList value; // index (from 0; negative counts from the end), name or identifier
    std::shared_ptr<HXScriptObjectSpecifier> container; // null: the application

    static HXScriptObjectSpecifier index(std::string key, int64_t index,
        std::shared_ptr<HXScriptObjectSpecifier> container = nullptr);
    static HXScriptObjectSpecifier name(std::string key, std::string name,
        std::shared_ptr<HXScriptObjectSpecifier> container = nullptr);
    static HXScriptObjectSpecifier uniqueID(std::string key, HXPropertyList identifier,
        std::shared_ptr<HXScriptObjectSpecifier> container = nullptr);
    static HXScriptObjectSpecifier property(std::string key,
        std::shared_ptr<HXScriptObjectSpecifier> container = nullptr);
    static HXScriptObjectSpecifier every(std::string key,
        std::shared_ptr<HXScriptObjectSpecifier> container = nullptr);

    // {"form": "index"|"name"|"id"|"property"|"every", "key": ..., "value": ..., "container": {...}}.
    HXPropertyList propertyList() const;
    // Nothing, with `error` saying why, for a dictionary that is no specifier (or nests too deep).
    static std::optional<HXScriptObjectSpecifier> fromPropertyList(
        const HXPropertyList& plist, std::string* error = nullptr);

    bool operator==(const HXScriptObjectSpecifier& other) const;

    static constexpr int maximumDepth = 64;
};

class HXScriptClassDescription {
public:
    using Getter = std::function<HXScriptValue(void* object)>;
    using Setter = std::function<void(void* object, const HXScriptValue& value, HXScriptCommand& command)>;
    using Handler = std::function<HXScriptValue(void* object, HXScriptCommand& command)>;

    struct Property {
        Getter get;
        Setter set; // empty: read only
        std::string type = "any"; // what a written value is coerced to (see HXScriptCoercionHandler)
    };
    struct Element {
        std::function<HXScriptValue::List(void* object)> list;
        // The class (or kind) of the elements: a value made into an element is first coerced to it
        // (see HXScriptCoercionHandler); empty: the value goes in as it is.
        std::string elementClass;
        // insertIn<Key> (index: the ...AtIndex variant): answers what it made (missing when it cannot tell);
        // empty: elements cannot be added.
        std::function<HXScriptValue(void* object, const HXScriptValue& value, std::optional<int64_t> index,
            HXScriptCommand& command)>
            insert;
        // removeFrom<Key>AtIndex; empty: elements cannot be removed.
        std::function<void(void* object, int64_t index, HXScriptCommand& command)> remove;
        // valueIn<Key>WithUniqueID; empty: the first element whose "uniqueID" (else "id") equals.
        std::function<HXScriptValue(void* object, const HXPropertyList& identifier)> valueWithUniqueID;
    };

    explicit HXScriptClassDescription(std::string className)
        : _className(std::move(className))
    {
    }
    const std::string& className() const { return _className; }

    const Property* property(const std::string& key) const;
    const Element* element(const std::string& key) const;
    const Handler* commandHandler(const std::string& name) const;
    std::vector<std::string> propertyKeys() const;
    std::vector<std::string> elementKeys() const;
    std::vector<std::string> commandNames() const;

    // The value of `key`: its getter, else the element list, else the undefined-key fallback; nothing
    // when the class does not know the key.
    std::optional<HXScriptValue> valueForKey(void* object, const std::string& key) const;
    std::optional<HXScriptObjectSpecifier> objectSpecifier(void* object) const
    {
        return _objectSpecifier ? _objectSpecifier(object) : std::nullopt;
    }

    // Registration with untyped objects (the typed forms below are what classes use).
    void addProperty(const std::string& key, Property property) { _properties[key] = std::move(property); }
    void addElement(const std::string& key, Element element) { _elements[key] = std::move(element); }
    void addCommand(const std::string& name, Handler handler) { _commands[name] = std::move(handler); }
    void setUndefinedKeyHandlers(std::function<HXScriptValue(void*, const std::string&)> getter,
        std::function<bool(void*, const std::string&)> hasKey,
        std::function<bool(void*, const HXScriptValue&, const std::string&)> setter);
    void setObjectSpecifier(std::function<std::optional<HXScriptObjectSpecifier>(void*)> fn)
    {
        _objectSpecifier = std::move(fn);
    }
    // A key the class does not define, written: the undefined-key setter; false when there is none
    // or it refused.
    bool setValueForUndefinedKey(void* object, const HXScriptValue& value, const std::string& key) const;

private:
    std::string _className;
    std::map<std::string, Property> _properties;
    std::map<std::string, Element> _elements;
    std::map<std::string, Handler> _commands;
    std::function<HXScriptValue(void*, const std::string&)> _undefinedGetter;
    std::function<bool(void*, const std::string&)> _undefinedHasKey;
    std::function<bool(void*, const HXScriptValue&, const std::string&)> _undefinedSetter;
    std::function<std::optional<HXScriptObjectSpecifier>(void*)> _objectSpecifier;
};

// Typed registration: lambdas take the object as T&.
template<class T> class HXScriptClass : public HXScriptClassDescription {
public:
    using HXScriptClassDescription::HXScriptClassDescription;

    HXScriptReference reference(std::shared_ptr<T> object) const
    {
        return HXScriptReference::make(*this, std::move(object));
    }
    HXScriptClass& get(const std::string& key, std::function<HXScriptValue(T&)> getter)
    {
        addProperty(key, { [getter](void* o) { return getter(*static_cast<T*>(o)); }, {}, "any" });
        return *this;
    }
    HXScriptClass& getSet(const std::string& key, std::function<HXScriptValue(T&)> getter, std::string type,
        std::function<void(T&, const HXScriptValue&, HXScriptCommand&)> setter)
    {
        addProperty(key,
            { [getter](void* o) { return getter(*static_cast<T*>(o)); },
                [setter](void* o, const HXScriptValue& v, HXScriptCommand& c) {
                    setter(*static_cast<T*>(o), v, c);
                },
                std::move(type) });
        return *this;
    }
    HXScriptClass& elements(const std::string& key, std::function<HXScriptValue::List(T&)> list)
    {
        Element e;
        e.list = [list](void* o) { return list(*static_cast<T*>(o)); };
        addElement(key, std::move(e));
        return *this;
    }
    HXScriptClass& elementInsert(const std::string& key,
        std::function<void(T&, const HXScriptValue&, std::optional<int64_t>, HXScriptCommand&)> insert)
    {
        Element e = *element(key);
        e.insert = [insert](void* o, const HXScriptValue& v, std::optional<int64_t> i, HXScriptCommand& c) {
            insert(*static_cast<T*>(o), v, i, c);
            return HXScriptValue();
        };
        addElement(key, std::move(e));
        return *this;
    }
    // An insert that answers what it made, of elements of `elementClass`.
    HXScriptClass& elementMake(const std::string& key, std::string elementClass,
        std::function<HXScriptValue(T&, const HXScriptValue&, std::optional<int64_t>, HXScriptCommand&)> insert)
    {
        Element e = *element(key);
        e.elementClass = std::move(elementClass);
        e.insert = [insert](void* o, const HXScriptValue& v, std::optional<int64_t> i, HXScriptCommand& c) {
            return insert(*static_cast<T*>(o), v, i, c);
        };
        addElement(key, std::move(e));
        return *this;
    }
    HXScriptClass& elementRemove(const std::string& key, std::function<void(T&, int64_t, HXScriptCommand&)> remove)
    {
        Element e = *element(key);
        e.remove = [remove](void* o, int64_t i, HXScriptCommand& c) { remove(*static_cast<T*>(o), i, c); };
        addElement(key, std::move(e));
        return *this;
    }
    HXScriptClass& elementUniqueID(
        const std::string& key, std::function<HXScriptValue(T&, const HXPropertyList&)> lookup)
    {
        Element e = *element(key);
        e.valueWithUniqueID = [lookup](void* o, const HXPropertyList& id) { return lookup(*static_cast<T*>(o), id); };
        addElement(key, std::move(e));
        return *this;
    }
    HXScriptClass& command(const std::string& name, std::function<HXScriptValue(T&, HXScriptCommand&)> handler)
    {
        addCommand(name, [handler](void* o, HXScriptCommand& c) { return handler(*static_cast<T*>(o), c); });
        return *this;
    }
    HXScriptClass& specifier(std::function<std::optional<HXScriptObjectSpecifier>(T&)> fn)
    {
        setObjectSpecifier([fn](void* o) { return fn(*static_cast<T*>(o)); });
        return *this;
    }
    HXScriptClass& undefinedKeys(std::function<bool(T&, const std::string&)> hasKey,
        std::function<HXScriptValue(T&, const std::string&)> getter,
        std::function<bool(T&, const HXScriptValue&, const std::string&)> setter)
    {
        setUndefinedKeyHandlers([getter](void* o, const std::string& k) { return getter(*static_cast<T*>(o), k); },
            [hasKey](void* o, const std::string& k) { return hasKey(*static_cast<T*>(o), k); },
            [setter](void* o, const HXScriptValue& v, const std::string& k) {
                return setter(*static_cast<T*>(o), v, k);
            });
        return *this;
    }
};
