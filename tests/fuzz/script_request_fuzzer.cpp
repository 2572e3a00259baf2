// Feeds arbitrary bytes to the decoding of script requests: the message framing of the player's socket,
// then the scripting runtime carrying the request out against a small object model (a shelf of items with
// properties, elements, a command and an undefined-key fallback). Whole inputs that are no frame are also
// read as a request's property list directly.
#include "platform/basekit/message_framing.h"
#include "platform/basekit/scripting_runtime.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace {

struct Item {
    std::string name;
    int64_t size = 1;
};

struct Shelf {
    std::vector<std::shared_ptr<Item>> items;
    bool open = true;
};

const HXScriptClass<Item>& itemClass()
{
    static const HXScriptClass<Item> cls = [] {
        HXScriptClass<Item> c("item");
        c.get("name", [](Item& i) { return HXScriptValue(i.name); });
        c.getSet("size", [](Item& i) { return HXScriptValue(i.size); }, "integer",
            [](Item& i, const HXScriptValue& v, HXScriptCommand&) { i.size = v.propertyList().integerValue(); });
        c.specifier([](Item& i) -> std::optional<HXScriptObjectSpecifier> { return HXScriptObjectSpecifier::name("items", i.name); });
        c.undefinedKeys([](Item&, const std::string& k) { return k == "colour"; }, [](Item&, const std::string&) { return HXScriptValue("red"); },
            [](Item&, const HXScriptValue&, const std::string&) { return true; });
        return c;
    }();
    return cls;
}

const HXScriptClass<Shelf>& shelfClass()
{
    static const HXScriptClass<Shelf> cls = [] {
        HXScriptClass<Shelf> c("shelf");
        c.getSet("open", [](Shelf& s) { return HXScriptValue(s.open); }, "boolean",
            [](Shelf& s, const HXScriptValue& v, HXScriptCommand&) { s.open = v.propertyList().boolValue(); });
        c.elements("items", [](Shelf& s) {
            HXScriptValue::List list;
            for (auto& i : s.items)
                list.emplace_back(itemClass().reference(i));
            return list;
        });
        c.elementInsert("items", [](Shelf& s, const HXScriptValue& v, std::optional<int64_t>, HXScriptCommand&) {
            if (s.items.size() < 64 && v.isPropertyList())
                s.items.push_back(std::make_shared<Item>(Item { v.propertyList().stringValue(), 1 }));
        });
        c.elementRemove("items", [](Shelf& s, int64_t i, HXScriptCommand&) { s.items.erase(s.items.begin() + long(i)); });
        c.command("tidy", [](Shelf& s, HXScriptCommand& command) {
            auto n = command.integerArgument("Times");
            command.stringArgument("How");
            command.codeArgument("Kind");
            return HXScriptValue(int64_t(s.items.size()) + n.value_or(0));
        });
        return c;
    }();
    return cls;
}

void run(const HXPropertyList& request)
{
    auto shelf = std::make_shared<Shelf>();
    for (const char* n : { "a", "b", "c" })
        shelf->items.push_back(std::make_shared<Item>(Item { n, 1 }));
    HXScriptRuntime runtime([shelf] { return shelfClass().reference(shelf); });
    auto reply = runtime.execute(request);
    if (!reply.isDictionary())
        abort();
    (void)reply.toXML();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    HXMessageFraming framing(1 << 16);
    bool framed = framing.feed(bytes);
    while (framing.hasMessage())
        if (auto message = framing.nextMessage())
            run(*message);
    if (!framed || size < 4)
        if (auto plist = HXPropertyList::fromXML(bytes))
            run(*plist);
    return 0;
}
