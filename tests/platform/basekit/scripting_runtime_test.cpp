// The scripting runtime against a small object model of its own: a library holding books.
#include "platform/basekit/fourcc.h"
#include "platform/basekit/scripting_coercion.h"
#include "platform/basekit/scripting_runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;
using Specifier = HXScriptObjectSpecifier;

struct Book {
    std::string title;
    int64_t id = 0;
    int64_t pages = 0;
    std::map<std::string, HXPropertyList> extra; // keys the class does not define
};

struct Library {
    std::vector<std::shared_ptr<Book>> books;
    bool open = true;
    int64_t loans = 0;
};

const HXScriptClass<Book>& bookClass();

const HXScriptClass<Library>& libraryClass()
{
    static HXScriptClass<Library> cls = [] {
        HXScriptClass<Library> c("library");
        c.getSet(
            "open", [](Library& l) { return HXScriptValue(l.open); }, "boolean",
            [](Library& l, const HXScriptValue& v, HXScriptCommand&) {
                l.open = v.propertyList().boolValue();
            });
        c.get("loans", [](Library& l) { return HXScriptValue(l.loans); });
        c.elements("books", [](Library& l) {
            HXScriptValue::List list;
            for (auto& b : l.books)
                list.emplace_back(bookClass().reference(b));
            return list;
        });
        c.elementInsert("books",
            [](Library& l, const HXScriptValue& v, std::optional<int64_t> index, HXScriptCommand& command) {
                if (!v.isPropertyList() || !v.propertyList().isString()) {
                    command.fail(HXScriptParameterError, "A book is made from its title.");
                    return;
                }
                auto b = std::make_shared<Book>(
                    Book { v.propertyList().stringValue(), 100 + int64_t(l.books.size()), 1, {} });
                size_t at
                    = index ? std::min(size_t(std::max<int64_t>(*index, 0)), l.books.size()) : l.books.size();
                l.books.insert(l.books.begin() + long(at), b);
            });
        c.elementRemove("books", [](Library& l, int64_t index, HXScriptCommand&) {
            l.books.erase(l.books.begin() + long(index));
        });
        c.command("lend", [](Library& l, HXScriptCommand& command) {
            auto count = command.integerArgument("Count");
            if (command.failed())
                return HXScriptValue();
            l.loans += count.value_or(1);
            return HXScriptValue(l.loans);
        });
        return c;
    }();
    return cls;
}

const HXScriptClass<Book>& bookClass()
{
    static HXScriptClass<Book> cls = [] {
        HXScriptClass<Book> c("book");
        c.get("name", [](Book& b) { return HXScriptValue(b.title); });
        c.get("id", [](Book& b) { return HXScriptValue(b.id); });
        c.getSet(
            "pages", [](Book& b) { return HXScriptValue(b.pages); }, "integer",
            [](Book& b, const HXScriptValue& v, HXScriptCommand& command) {
                if (v.propertyList().integerValue() < 1)
                    command.fail(HXScriptParameterError, "A book has pages.");
                else
                    b.pages = v.propertyList().integerValue();
            });
        c.undefinedKeys([](Book& b, const std::string& key) { return b.extra.count(key) > 0; },
            [](Book& b, const std::string& key) { return HXScriptValue(b.extra[key]); },
            [](Book& b, const HXScriptValue& v, const std::string& key) {
                if (!b.extra.count(key))
                    return false;
                b.extra[key] = v.encoded();
                return true;
            });
        c.command("read", [](Book& b, HXScriptCommand&) { return HXScriptValue(b.title); });
        c.specifier([](Book& b) -> std::optional<Specifier> {
            return Specifier::uniqueID("books", HXPropertyList(b.id));
        });
        return c;
    }();
    return cls;
}

class ScriptingRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = std::make_shared<Library>();
        for (auto [title, id] : { std::pair { "Dune", 7 }, { "Emma", 9 }, { "Ulysses", 11 } })
            library->books.push_back(
                std::make_shared<Book>(Book { title, id, 200, { { "shelf", HXPropertyList("A") } } }));
    }
    HXPropertyList run(Dict request) { return runtime.execute(HXPropertyList(std::move(request))); }
    static HXPropertyList objectSpec(const Specifier& s) { return s.propertyList(); }
    static std::shared_ptr<Specifier> ptr(Specifier s) { return std::make_shared<Specifier>(std::move(s)); }

    std::shared_ptr<Library> library;
    HXScriptRuntime runtime { [this] { return libraryClass().reference(library); } };
};

TEST_F(ScriptingRuntimeTest, SpecifiersResolve)
{
    struct Case {
        const char* name;
        Specifier target;
        HXPropertyList result; // Null: an error is expected
        int error = 0;
    };
    auto titleOf = [](const char* key, Specifier element) {
        return Specifier::property(key, ptr(std::move(element)));
    };
    const Case cases[] = {
        { "by index", titleOf("name", Specifier::index("books", 1)), HXPropertyList("Emma") },
        { "negative index from the end", titleOf("name", Specifier::index("books", -1)),
            HXPropertyList("Ulysses") },
        { "index past the end", titleOf("name", Specifier::index("books", 3)), {},
            HXScriptNoSuchObjectError },
        { "index before the start", titleOf("name", Specifier::index("books", -4)), {},
            HXScriptNoSuchObjectError },
        { "by name", titleOf("id", Specifier::name("books", "Ulysses")), HXPropertyList(11) },
        { "unknown name", titleOf("id", Specifier::name("books", "Odyssey")), {}, HXScriptNoSuchObjectError },
        { "by unique identifier", titleOf("name", Specifier::uniqueID("books", HXPropertyList(9))),
            HXPropertyList("Emma") },
        { "identifier as text", titleOf("name", Specifier::uniqueID("books", HXPropertyList("7"))),
            HXPropertyList("Dune") },
        { "unknown identifier", titleOf("name", Specifier::uniqueID("books", HXPropertyList(8))), {},
            HXScriptNoSuchObjectError },
        { "every", titleOf("name", Specifier::every("books")),
            HXPropertyList(
                Array { HXPropertyList("Dune"), HXPropertyList("Emma"), HXPropertyList("Ulysses") }) },
        { "property of the application", Specifier::property("open"), HXPropertyList(true) },
        { "unknown property", Specifier::property("colour"), {}, HXScriptNoSuchObjectError },
        { "unknown elements", Specifier::index("shelves", 0), {}, HXScriptNoSuchObjectError },
        { "an undefined key the object answers", titleOf("shelf", Specifier::index("books", 0)),
            HXPropertyList("A") },
        { "property of a property", Specifier::property("x", ptr(Specifier::property("open"))), {},
            HXScriptNoSuchObjectError },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto reply = run({ { "event", HXPropertyList("get") }, { "target", objectSpec(c.target) } });
        if (c.error) {
            EXPECT_EQ(reply["errorNumber"].integerValue(), c.error);
            EXPECT_FALSE(reply["error"].stringValue().empty());
        } else {
            EXPECT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
            EXPECT_EQ(reply["result"], c.result);
        }
    }
}

TEST_F(ScriptingRuntimeTest, ObjectsComeBackAsTheirSpecifiersAndCanBeSentBack)
{
    // A book specifies itself by identifier under the library: the answer can be used as a target again.
    auto reply
        = run({ { "event", HXPropertyList("get") }, { "target", objectSpec(Specifier::index("books", 2)) } });
    ASSERT_TRUE(reply["result"].isDictionary());
    EXPECT_EQ(reply["result"]["$class"].stringValue(), "book");
    auto back = run({ { "event", HXPropertyList("read") }, { "target", reply["result"]["$specifier"] } });
    EXPECT_EQ(back["result"].stringValue(), "Ulysses");
}

TEST_F(ScriptingRuntimeTest, SetCoercesToThePropertysKind)
{
    struct Case {
        const char* name;
        Specifier target;
        HXPropertyList value;
        int error;
        int64_t pagesAfter;
    };
    auto pages = Specifier::property("pages", ptr(Specifier::index("books", 0)));
    const Case cases[] = {
        { "an integer", pages, HXPropertyList(321), 0, 321 },
        { "a real is truncated", pages, HXPropertyList(12.9), 0, 12 },
        { "a numeric text", pages, HXPropertyList("44"), 0, 44 },
        { "a list of one", pages, HXPropertyList(Array { HXPropertyList(5) }), 0, 5 },
        { "a text that is no number", pages, HXPropertyList("many"), HXScriptCoercionError, 200 },
        { "a real out of range", pages, HXPropertyList(1e300), HXScriptCoercionError, 200 },
        { "the setter refuses", pages, HXPropertyList(0), HXScriptParameterError, 200 },
        { "a read-only property", Specifier::property("name", ptr(Specifier::index("books", 0))),
            HXPropertyList("X"), HXScriptReadOnlyError, 200 },
        { "an element, not a property", Specifier::index("books", 0), HXPropertyList("X"),
            HXScriptReadOnlyError, 200 },
        { "a key nobody knows", Specifier::property("weight", ptr(Specifier::index("books", 0))),
            HXPropertyList(1), HXScriptNoSuchObjectError, 200 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        library->books[0]->pages = 200;
        auto reply = run(
            { { "event", HXPropertyList("set") }, { "target", objectSpec(c.target) }, { "value", c.value } });
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error) << reply["error"].stringValue();
        EXPECT_EQ(library->books[0]->pages, c.pagesAfter);
    }
    // Every book at once, and a key the class hands to the object.
    run({ { "event", HXPropertyList("set") },
        { "target", objectSpec(Specifier::property("pages", ptr(Specifier::every("books")))) },
        { "value", HXPropertyList(9) } });
    for (auto& b : library->books)
        EXPECT_EQ(b->pages, 9);
    run({ { "event", HXPropertyList("set") },
        { "target", objectSpec(Specifier::property("shelf", ptr(Specifier::index("books", 1)))) },
        { "value", HXPropertyList("B") } });
    EXPECT_EQ(library->books[1]->extra["shelf"], HXPropertyList("B"));
}

TEST_F(ScriptingRuntimeTest, CountExistsMakeAndDelete)
{
    EXPECT_EQ(run({ { "event", HXPropertyList("count") },
                  { "target", objectSpec(Specifier::every("books")) } })["result"],
        HXPropertyList(3));
    EXPECT_EQ(run({ { "event", HXPropertyList("exists") },
                  { "target", objectSpec(Specifier::name("books", "Emma")) } })["result"],
        HXPropertyList(true));
    EXPECT_EQ(run({ { "event", HXPropertyList("exists") },
                  { "target", objectSpec(Specifier::index("books", 7)) } })["result"],
        HXPropertyList(false));

    run({ { "event", HXPropertyList("make") }, { "key", HXPropertyList("books") },
        { "data", HXPropertyList("Ada") }, { "index", HXPropertyList(0) } });
    ASSERT_EQ(library->books.size(), 4u);
    EXPECT_EQ(library->books[0]->title, "Ada");
    auto refused = run({ { "event", HXPropertyList("make") }, { "key", HXPropertyList("books") },
        { "data", HXPropertyList(3) } });
    EXPECT_EQ(refused["errorNumber"].integerValue(), HXScriptParameterError);
    EXPECT_EQ(
        run({ { "event", HXPropertyList("make") }, { "key", HXPropertyList("shelves") } })["errorNumber"]
            .integerValue(),
        HXScriptNoSuchObjectError);

    run({ { "event", HXPropertyList("delete") },
        { "target", objectSpec(Specifier::name("books", "Emma")) } });
    ASSERT_EQ(library->books.size(), 3u);
    EXPECT_EQ(library->books[2]->title, "Ulysses");
    EXPECT_EQ(run({ { "event", HXPropertyList("delete") },
                  { "target", objectSpec(Specifier::index("books", 5)) } })["errorNumber"]
                  .integerValue(),
        HXScriptNoSuchObjectError);
    EXPECT_EQ(run({ { "event", HXPropertyList("delete") },
                  { "target", objectSpec(Specifier::every("books")) } })["errorNumber"]
                  .integerValue(),
        HXScriptParameterError);
    EXPECT_EQ(library->books.size(), 3u);
}

TEST_F(ScriptingRuntimeTest, CommandsGetEvaluatedArguments)
{
    struct Case {
        const char* name;
        Dict request;
        HXPropertyList result;
        int error;
    };
    auto args = [](HXPropertyList count) { return HXPropertyList(Dict { { "Count", std::move(count) } }); };
    const Case cases[] = {
        { "default argument", { { "event", HXPropertyList("lend") } }, HXPropertyList(1), 0 },
        { "integer argument",
            { { "event", HXPropertyList("lend") }, { "arguments", args(HXPropertyList(4)) } },
            HXPropertyList(4), 0 },
        { "argument from a specifier",
            { { "event", HXPropertyList("lend") },
                { "arguments",
                    args(HXPropertyList(Dict { { "$specifier",
                        objectSpec(Specifier::property("id", ptr(Specifier::index("books", 0)))) } })) } },
            HXPropertyList(7), 0 },
        { "argument of the wrong kind",
            { { "event", HXPropertyList("lend") }, { "arguments", args(HXPropertyList("lots")) } }, {},
            HXScriptCoercionError },
        { "argument naming nothing",
            { { "event", HXPropertyList("lend") },
                { "arguments",
                    args(HXPropertyList(
                        Dict { { "$specifier", objectSpec(Specifier::index("books", 9)) } })) } },
            {}, HXScriptNoSuchObjectError },
        { "a command the object does not understand", { { "event", HXPropertyList("burn") } }, {},
            HXScriptNotHandledError },
        { "sent to every book",
            { { "event", HXPropertyList("read") }, { "target", objectSpec(Specifier::every("books")) } },
            HXPropertyList(
                Array { HXPropertyList("Dune"), HXPropertyList("Emma"), HXPropertyList("Ulysses") }),
            0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        library->loans = 0;
        auto reply = run(c.request);
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error) << reply["error"].stringValue();
        if (!c.error) {
            EXPECT_EQ(reply["result"], c.result);
        }
    }
}

TEST_F(ScriptingRuntimeTest, MalformedRequestsGetAnErrorReply)
{
    HXPropertyList deep = HXPropertyList(Dict { { "key", HXPropertyList("books") } });
    for (int i = 0; i < 100; ++i)
        deep = HXPropertyList(Dict { { "key", HXPropertyList("books") }, { "container", deep } });
    HXPropertyList deepValue = HXPropertyList(Array {});
    for (int i = 0; i < 100; ++i)
        deepValue = HXPropertyList(Array { deepValue });
    const HXPropertyList cases[] = {
        HXPropertyList("get"),
        HXPropertyList(Dict {}),
        HXPropertyList(Dict { { "event", HXPropertyList(3) } }),
        HXPropertyList(Dict { { "event", HXPropertyList("get") }, { "target", HXPropertyList("books") } }),
        HXPropertyList(Dict { { "event", HXPropertyList("get") },
            { "target",
                HXPropertyList(
                    Dict { { "form", HXPropertyList("index") }, { "key", HXPropertyList("books") } }) } }),
        HXPropertyList(Dict { { "event", HXPropertyList("get") },
            { "target",
                HXPropertyList(
                    Dict { { "form", HXPropertyList("whose") }, { "key", HXPropertyList("books") } }) } }),
        HXPropertyList(Dict { { "event", HXPropertyList("get") }, { "target", deep } }),
        HXPropertyList(Dict { { "event", HXPropertyList("lend") }, { "direct", deepValue } }),
        HXPropertyList(Dict { { "event", HXPropertyList("lend") }, { "arguments", HXPropertyList(5) } }),
        HXPropertyList(Dict {
            { "event", HXPropertyList("set") }, { "target", objectSpec(Specifier::property("open")) } }),
    };
    for (const auto& request : cases) {
        SCOPED_TRACE(request.toXML());
        auto reply = runtime.execute(request);
        ASSERT_TRUE(reply.isDictionary());
        EXPECT_NE(reply["errorNumber"].integerValue(), 0);
        EXPECT_FALSE(reply["error"].stringValue().empty());
    }
    EXPECT_EQ(library->loans, 0);
}

TEST(ScriptingCoercionTest, BuiltInConversions)
{
    struct Case {
        HXPropertyList value;
        const char* to;
        std::optional<HXPropertyList> result;
    };
    const Case cases[] = {
        { HXPropertyList(3), "real", HXPropertyList(3.0) },
        { HXPropertyList(-2.75), "integer", HXPropertyList(-2) },
        { HXPropertyList(std::numeric_limits<double>::quiet_NaN()), "integer", std::nullopt },
        { HXPropertyList(9.3e18), "integer", std::nullopt },
        { HXPropertyList(std::numeric_limits<double>::quiet_NaN()), "real", std::nullopt },
        { HXPropertyList(-std::numeric_limits<double>::infinity()), "real", std::nullopt },
        { HXPropertyList("12"), "integer", HXPropertyList(12) },
        { HXPropertyList("12abc"), "integer", std::nullopt },
        { HXPropertyList(""), "real", std::nullopt },
        { HXPropertyList("0.5"), "real", HXPropertyList(0.5) },
        { HXPropertyList(true), "integer", HXPropertyList(1) },
        { HXPropertyList(1), "boolean", HXPropertyList(true) },
        { HXPropertyList(2), "boolean", std::nullopt },
        { HXPropertyList("no"), "boolean", HXPropertyList(false) },
        { HXPropertyList(42), "string", HXPropertyList("42") },
        { HXPropertyList("norm"), "code", HXPropertyList(int64_t(0x6E6F726D)) },
        { HXPropertyList("up"), "code", HXPropertyList(int64_t(0x75702020)) },
        { HXPropertyList("toolong"), "code", std::nullopt },
        { HXPropertyList(int64_t(0x100000000)), "code", std::nullopt },
        { HXPropertyList(-1), "code", std::nullopt },
        { HXPropertyList(Array { HXPropertyList("7") }), "integer", HXPropertyList(7) },
        { HXPropertyList(Array { HXPropertyList(1), HXPropertyList(2) }), "integer", std::nullopt },
        { HXPropertyList(Dict {}), "integer", std::nullopt },
        { HXPropertyList(HXData(std::string("ab"))), "string", std::nullopt },
    };
    auto& handler = HXScriptCoercionHandler::sharedCoercionHandler();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toXML() + " to " + c.to);
        auto r = handler.coerce(HXScriptValue(c.value), c.to);
        ASSERT_EQ(r.has_value(), c.result.has_value());
        if (r) {
            EXPECT_EQ(r->encoded(), *c.result);
        }
    }
    // A single value becomes a list of one; a registered coercer comes before the built-in ones.
    auto list = handler.coerce(HXScriptValue(HXPropertyList(5)), "list");
    ASSERT_TRUE(list && list->isList());
    EXPECT_EQ(list->list().size(), 1u);
    handler.registerCoercer("string", "integer", [](const HXScriptValue& v) {
        return std::optional<HXScriptValue>(HXScriptValue(int64_t(v.propertyList().stringValue().size())));
    });
    EXPECT_EQ(handler.coerce(HXScriptValue(HXPropertyList("12")), "integer")->encoded(), HXPropertyList(2));
    handler.registerCoercer("string", "integer", nullptr);
}

TEST(ScriptingSpecifierTest, PropertyListRoundTrip)
{
    auto movie = std::make_shared<Specifier>(Specifier::uniqueID("orderedDocuments", HXPropertyList(4)));
    auto track = std::make_shared<Specifier>(Specifier::index("tracks", -1, movie));
    const Specifier specs[] = { Specifier::property("currentTime", movie),
        Specifier::every("chapters", track), Specifier::name("favorites", "Film"), *track };
    for (const auto& s : specs) {
        auto back = Specifier::fromPropertyList(s.propertyList());
        ASSERT_TRUE(back);
        EXPECT_TRUE(*back == s);
    }
}

} // namespace

namespace {

// A shelf of notes: elements made from plain values (a text becomes a note), commands that answer later,
// and answers that say what they are.
struct Note {
    std::string text;
    int64_t colour = 0;
};
struct Shelf {
    std::vector<std::shared_ptr<Note>> notes;
    std::vector<HXScriptCommand::Resumption> waiting;
};

const HXScriptClass<Note>& noteClass()
{
    static HXScriptClass<Note> cls = [] {
        HXScriptClass<Note> c("note");
        c.getSet(
            "text", [](Note& n) { return HXScriptValue(n.text); }, "string",
            [](Note& n, const HXScriptValue& v, HXScriptCommand&) {
                n.text = v.propertyList().stringValue();
            });
        c.getSet(
            "colour", [](Note& n) { return HXScriptValue::typed(HXPropertyList(n.colour), "code"); }, "code",
            [](Note& n, const HXScriptValue& v, HXScriptCommand&) {
                n.colour = v.propertyList().integerValue();
            });
        return c;
    }();
    return cls;
}

const HXScriptClass<Shelf>& shelfClass()
{
    static HXScriptClass<Shelf> cls = [] {
        HXScriptClass<Shelf> c("shelf");
        c.elements("notes", [](Shelf& s) {
            HXScriptValue::List list;
            for (auto& n : s.notes)
                list.emplace_back(noteClass().reference(n));
            return list;
        });
        c.elementMake("notes", "note",
            [](Shelf& s, const HXScriptValue& v, std::optional<int64_t>, HXScriptCommand& command) {
                if (!v.isObject()) {
                    command.fail(HXScriptParameterError, "Not a note.");
                    return HXScriptValue();
                }
                s.notes.push_back(v.object().as<Note>());
                return v;
            });
        c.get("sizes", [](Shelf&) {
            return HXScriptValue(HXScriptValue::List {
                HXScriptValue(int64_t(1)), HXScriptValue::typed(HXPropertyList(int64_t(2)), "point") });
        });
        // Answers when the shelf is told to (or never, when it forgets).
        c.command("wait", [](Shelf& s, HXScriptCommand& command) {
            if (!command.canSuspend())
                return HXScriptValue("at once");
            s.waiting.push_back(command.suspendExecution());
            return HXScriptValue();
        });
        c.command("whereAmI", [](Shelf&, HXScriptCommand& command) {
            return HXScriptValue(
                command.absolutePath(command.directParameter().propertyList().stringValue()));
        });
        return c;
    }();
    return cls;
}

class ScriptingMakingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXScriptCoercionHandler::sharedCoercionHandler().registerCoercer(
            "string", "note", [](const HXScriptValue& v) {
                auto n = std::make_shared<Note>();
                n->text = v.propertyList().stringValue();
                return std::optional<HXScriptValue>(HXScriptValue(noteClass().reference(n)));
            });
        HXScriptCoercionHandler::sharedCoercionHandler().registerCoercer(
            "missing", "note", [](const HXScriptValue&) {
                return std::optional<HXScriptValue>(
                    HXScriptValue(noteClass().reference(std::make_shared<Note>())));
            });
    }
    void TearDown() override
    {
        HXScriptCoercionHandler::sharedCoercionHandler().registerCoercer("string", "note", nullptr);
        HXScriptCoercionHandler::sharedCoercionHandler().registerCoercer("missing", "note", nullptr);
    }
    std::shared_ptr<Shelf> shelf = std::make_shared<Shelf>();
    HXScriptRuntime runtime { [this] { return shelfClass().reference(shelf); } };
};

TEST_F(ScriptingMakingTest, MakeCoercesToTheElementsClassAndAnswersWhatItMade)
{
    struct Case {
        const char* name;
        Dict request;
        std::string text; // of the note made ("" with an error)
        int64_t colour = 0;
        int error = 0;
    };
    auto make = [](std::optional<HXPropertyList> data, std::optional<Dict> properties) {
        Dict r { { "event", HXPropertyList("make") }, { "key", HXPropertyList("notes") } };
        if (data)
            r["data"] = *data;
        if (properties)
            r["properties"] = HXPropertyList(*properties);
        return r;
    };
    const Case cases[] = {
        { "from a text", make(HXPropertyList("milk"), std::nullopt), "milk" },
        { "from nothing, with properties",
            make(std::nullopt,
                Dict { { "text", HXPropertyList("eggs") }, { "colour", HXPropertyList("red ") } }),
            "eggs", int64_t(HXFourCharCode("red ")) },
        { "a text with properties", make(HXPropertyList("tea"), Dict { { "colour", HXPropertyList(7) } }),
            "tea", 7 },
        { "from a number", make(HXPropertyList(3), std::nullopt), "", 0, HXScriptCoercionError },
        { "with a property notes lack", make(HXPropertyList("x"), Dict { { "weight", HXPropertyList(1) } }),
            "", 0, HXScriptReadOnlyError },
        { "with a property of the wrong kind",
            make(HXPropertyList("x"), Dict { { "colour", HXPropertyList(-1) } }), "", 0,
            HXScriptCoercionError },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = shelf->notes.size();
        auto reply = runtime.execute(HXPropertyList(c.request));
        EXPECT_EQ(reply[HXScriptRuntime::errorNumberKey].integerValue(), c.error)
            << reply["error"].stringValue();
        if (c.error) {
            EXPECT_EQ(shelf->notes.size(), before);
            continue;
        }
        ASSERT_EQ(shelf->notes.size(), before + 1);
        EXPECT_EQ(shelf->notes.back()->text, c.text);
        EXPECT_EQ(shelf->notes.back()->colour, c.colour);
        EXPECT_EQ(reply["result"]["$class"].stringValue(), "note");
    }
}

TEST_F(ScriptingMakingTest, AnswersCarryTheirTypes)
{
    auto colour = [&] {
        return runtime.execute(HXPropertyList(Dict { { "event", HXPropertyList("get") },
            { "target",
                Specifier::property("colour", std::make_shared<Specifier>(Specifier::index("notes", 0)))
                    .propertyList() } }));
    };
    shelf->notes.push_back(std::make_shared<Note>(Note { "a", int64_t(HXFourCharCode("blue")) }));
    EXPECT_EQ(colour()["resultType"], HXPropertyList("code"));
    EXPECT_EQ(colour()["result"].integerValue(), int64_t(HXFourCharCode("blue")));
    auto sizes = runtime.execute(HXPropertyList(Dict {
        { "event", HXPropertyList("get") }, { "target", Specifier::property("sizes").propertyList() } }));
    EXPECT_EQ(sizes["resultType"], HXPropertyList(Array { HXPropertyList(""), HXPropertyList("point") }));
    auto plain = runtime.execute(HXPropertyList(Dict {
        { "event", HXPropertyList("count") }, { "target", Specifier::every("notes").propertyList() } }));
    EXPECT_FALSE(plain.contains("resultType"));
}

TEST_F(ScriptingMakingTest, KeysOfAnObject)
{
    auto reply = runtime.execute(HXPropertyList(Dict { { "event", HXPropertyList("keys") } }));
    EXPECT_EQ(reply["result"]["class"].stringValue(), "shelf");
    EXPECT_EQ(reply["result"]["elements"], HXPropertyList(Array { HXPropertyList("notes") }));
    EXPECT_EQ(reply["result"]["commands"],
        HXPropertyList(Array { HXPropertyList("wait"), HXPropertyList("whereAmI") }));
    shelf->notes.push_back(std::make_shared<Note>());
    auto note = runtime.execute(HXPropertyList(Dict {
        { "event", HXPropertyList("keys") }, { "target", Specifier::index("notes", 0).propertyList() } }));
    EXPECT_EQ(note["result"]["properties"],
        HXPropertyList(Array { HXPropertyList("colour"), HXPropertyList("text") }));
    // A position past the end is named as a script types it (from 1).
    auto missing = runtime.execute(HXPropertyList(Dict {
        { "event", HXPropertyList("get") }, { "target", Specifier::index("notes", 3).propertyList() } }));
    EXPECT_NE(missing["error"].stringValue().find("notes[4]"), std::string::npos)
        << missing["error"].stringValue();
}

TEST_F(ScriptingMakingTest, ASuspendedCommandAnswersWhenResumed)
{
    std::vector<HXPropertyList> replies;
    auto send = [&] {
        runtime.execute(HXPropertyList(Dict { { "event", HXPropertyList("wait") } }),
            [&](HXPropertyList r) { replies.push_back(std::move(r)); });
    };
    send();
    EXPECT_TRUE(replies.empty());
    ASSERT_EQ(shelf->waiting.size(), 1u);
    shelf->waiting.front()(HXScriptValue("done"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0]["result"].stringValue(), "done");
    // Resuming twice answers once; a resumption dropped unanswered answers an error.
    shelf->waiting.front()(HXScriptValue("again"));
    send();
    shelf->waiting.clear();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1]["errorNumber"].integerValue(), HXScriptFailedError);
    // Where the reply is wanted at once, the command cannot wait.
    EXPECT_EQ(
        runtime.execute(HXPropertyList(Dict { { "event", HXPropertyList("wait") } }))["result"].stringValue(),
        "at once");
}

TEST_F(ScriptingMakingTest, RelativePathsAreTheSendersPaths)
{
    auto where = [&](const char* path, std::optional<std::string> directory) {
        Dict r { { "event", HXPropertyList("whereAmI") }, { "direct", HXPropertyList(path) } };
        if (directory)
            r["directory"] = HXPropertyList(*directory);
        return runtime.execute(HXPropertyList(r))["result"].stringValue();
    };
    EXPECT_EQ(where("clip.mov", "/home/someone/films"), "/home/someone/films/clip.mov");
    EXPECT_EQ(where("../clip.mov", "/home/someone/films"), "/home/someone/clip.mov");
    EXPECT_EQ(where("/tmp/clip.mov", "/home/someone"), "/tmp/clip.mov");
    EXPECT_EQ(where("", "/home/someone"), "");
    setenv("HOME", "/home/me", 1);
    EXPECT_EQ(where("~/clip.mov", "/elsewhere"), "/home/me/clip.mov");
}

} // namespace
