// The accessibility bridge on a private bus daemon, asked over D-Bus the way assistive software asks: the
// application and its windows, roles and names, actions, values, positions, events, bad requests, and the
// registry's desktop as the application's parent.
#include "controls_fixture.h"

#include "platform/basekit/dbus_run_loop.h"
#include "platform/winkit/accessibility_bridge.h"
#include "platform/winkit/atspi_mapping.h"
#include "platform/winkit/button.h"
#include "platform/winkit/slider.h"
#include "private_bus.h"

#include <dbus/dbus.h>

#include <chrono>
#include <functional>
#include <future>

namespace {

using movara::test::haveProgram;
using movara::test::PrivateBus;

constexpr const char* kRoot = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

using Message = std::unique_ptr<DBusMessage, void (*)(DBusMessage*)>;

// An assistive client of our own on the private bus. Its calls block on a thread of their own while the
// test's main thread runs the loop that serves the bridge.
class Client {
public:
    explicit Client(const std::string& address)
        : _bus(HXDBusOpenPrivateConnection(address))
    {
    }
    ~Client()
    {
        if (_bus) {
            dbus_connection_close(_bus);
            dbus_connection_unref(_bus);
        }
    }
    DBusConnection* bus() const { return _bus; }

    Message call(const std::string& destination, const std::string& path, const char* interface,
        const char* member, const std::function<void(DBusMessageIter*)>& fill = {})
    {
        DBusMessage* request
            = dbus_message_new_method_call(destination.c_str(), path.c_str(), interface, member);
        if (fill) {
            DBusMessageIter args;
            dbus_message_iter_init_append(request, &args);
            fill(&args);
        }
        // An error answer gives no message (errorOf reads those).
        auto future = std::async(std::launch::async, [this, request] {
            return dbus_connection_send_with_reply_and_block(_bus, request, 5000, nullptr);
        });
        serveUntil(
            [&] { return future.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
        dbus_message_unref(request);
        return Message(future.get(), [](DBusMessage* m) {
            if (m)
                dbus_message_unref(m);
        });
    }

    // The error name of a call that failed; empty when it succeeded.
    std::string errorOf(const std::string& destination, const std::string& path, const char* interface,
        const char* member, const std::function<void(DBusMessageIter*)>& fill = {})
    {
        DBusMessage* request
            = dbus_message_new_method_call(destination.c_str(), path.c_str(), interface, member);
        if (fill) {
            DBusMessageIter args;
            dbus_message_iter_init_append(request, &args);
            fill(&args);
        }
        auto future = std::async(std::launch::async, [this, request] {
            DBusError error;
            dbus_error_init(&error);
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(_bus, request, 5000, &error);
            std::string name = dbus_error_is_set(&error) ? error.name : "";
            dbus_error_free(&error);
            if (reply)
                dbus_message_unref(reply);
            return name;
        });
        serveUntil(
            [&] { return future.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
        dbus_message_unref(request);
        return future.get();
    }

    // Runs the main loop until `done` (at most ten seconds).
    static void serveUntil(const std::function<bool()>& done)
    {
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < limit)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
    }

private:
    DBusConnection* _bus = nullptr;
};

std::string stringOf(DBusMessage* reply)
{
    const char* text = nullptr;
    if (!reply || !dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID))
        return "<none>";
    return text;
}

uint32_t uint32Of(DBusMessage* reply)
{
    dbus_uint32_t value = 0;
    if (reply)
        dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &value, DBUS_TYPE_INVALID);
    return value;
}

bool boolOf(DBusMessage* reply)
{
    dbus_bool_t value = FALSE;
    if (reply)
        dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &value, DBUS_TYPE_INVALID);
    return value;
}

// The object path of a reference (so), at `it`.
std::string referencePath(DBusMessageIter* it)
{
    DBusMessageIter fields;
    dbus_message_iter_recurse(it, &fields);
    dbus_message_iter_next(&fields);
    const char* path = nullptr;
    dbus_message_iter_get_basic(&fields, &path);
    return path ? path : "";
}

std::vector<std::string> referencePaths(DBusMessage* reply)
{
    std::vector<std::string> paths;
    DBusMessageIter args, list;
    if (!reply || !dbus_message_iter_init(reply, &args)
        || dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY)
        return paths;
    for (dbus_message_iter_recurse(&args, &list); dbus_message_iter_get_arg_type(&list) == DBUS_TYPE_STRUCT;
         dbus_message_iter_next(&list))
        paths.push_back(referencePath(&list));
    return paths;
}

// The object path of the reference a reply holds, directly (a method's answer) or in a variant (a property).
std::string firstReferencePath(DBusMessage* reply)
{
    DBusMessageIter args, inner;
    if (!reply || !dbus_message_iter_init(reply, &args))
        return "<none>";
    DBusMessageIter* it = &args;
    if (dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&args, &inner);
        it = &inner;
    }
    if (dbus_message_iter_get_arg_type(it) != DBUS_TYPE_STRUCT)
        return "<none>";
    return referencePath(it);
}

// The value of a property (Get's reply holds one variant).
template<class T> T variantOf(DBusMessage* reply, int type)
{
    T value {};
    DBusMessageIter args, inner;
    if (reply && dbus_message_iter_init(reply, &args)
        && dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&args, &inner);
        if (dbus_message_iter_get_arg_type(&inner) == type)
            dbus_message_iter_get_basic(&inner, &value);
    }
    return value;
}

std::function<void(DBusMessageIter*)> strings(std::vector<std::string> values)
{
    return [values](DBusMessageIter* it) {
        for (const auto& v : values) {
            const char* c = v.c_str();
            dbus_message_iter_append_basic(it, DBUS_TYPE_STRING, &c);
        }
    };
}

std::function<void(DBusMessageIter*)> int32s(std::vector<int32_t> values)
{
    return [values](DBusMessageIter* it) {
        for (auto v : values)
            dbus_message_iter_append_basic(it, DBUS_TYPE_INT32, &v);
    };
}

} // namespace

class AccessibilityBridgeTest : public ControlsTest {
protected:
    std::vector<HXScreen> screens() override
    {
        return { HXScreen(1, HXMakeRect(0, 0, 1280, 1024), HXMakeRect(0, 0, 1280, 1000)) };
    }

    void SetUp() override
    {
        if (!haveProgram("dbus-daemon"))
            GTEST_SKIP() << "dbus-daemon is not installed";
        ControlsTest::SetUp();
        // Real time: the client's calls wait on another thread.
        HXRunLoop::main().setClock(nullptr);
        window->setTitle("Movie");
        play = add(std::make_shared<HXButton>(HXMakeRect(20, 30, 60, 24), "Play"));
        volume = add(std::make_shared<HXSlider>(HXMakeRect(100, 30, 150, 20)), nullptr);
        volume->setMinValue(0);
        volume->setMaxValue(10);
        volume->setDoubleValue(3);
        bus = std::make_unique<PrivateBus>();
        ASSERT_FALSE(bus->address().empty());
        client = std::make_unique<Client>(bus->address());
        ASSERT_NE(client->bus(), nullptr);
    }

    void TearDown() override
    {
        bridge.stop();
        client.reset();
        bus.reset();
        ControlsTest::TearDown();
    }

    void connect() { ASSERT_TRUE(bridge.startWithAddress(bus->address())); }
    std::string name() const { return bridge.uniqueName(); }

    Message get(const std::string& path, const char* interface, const char* property)
    {
        return client->call(name(), path, kProperties, "Get", strings({ interface, property }));
    }
    std::string stringProperty(const std::string& path, const char* property)
    {
        auto reply = get(path, kAccessible, property);
        const char* text = variantOf<const char*>(reply.get(), DBUS_TYPE_STRING);
        return text ? text : "<none>";
    }

    std::shared_ptr<HXButton> play;
    std::shared_ptr<HXSlider> volume;
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<Client> client;
    HXAccessibilityBridge bridge;
};

TEST_F(AccessibilityBridgeTest, TheApplicationShowsItsWindowsAndTheirControls)
{
    connect();
    EXPECT_EQ(uint32Of(client->call(name(), kRoot, kAccessible, "GetRole").get()), HXATSPI::RoleApplication);
    auto windows = referencePaths(client->call(name(), kRoot, kAccessible, "GetChildren").get());
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0], bridge.pathForElement(window));
    EXPECT_EQ(stringProperty(windows[0], "Name"), "Movie");
    EXPECT_EQ(uint32Of(client->call(name(), windows[0], kAccessible, "GetRole").get()), HXATSPI::RoleFrame);
    EXPECT_EQ(firstReferencePath(get(windows[0], kAccessible, "Parent").get()), kRoot);

    auto controls = referencePaths(client->call(name(), windows[0], kAccessible, "GetChildren").get());
    std::string playPath = bridge.pathForElement(play);
    ASSERT_NE(std::find(controls.begin(), controls.end(), playPath), controls.end());
    EXPECT_EQ(stringProperty(playPath, "Name"), "Play");
    EXPECT_EQ(
        uint32Of(client->call(name(), playPath, kAccessible, "GetRole").get()), HXATSPI::RolePushButton);
    EXPECT_EQ(stringOf(client->call(name(), playPath, kAccessible, "GetRoleName").get()), "push button");
    EXPECT_EQ(firstReferencePath(get(playPath, kAccessible, "Parent").get()), windows[0]);
    EXPECT_EQ(variantOf<int32_t>(get(windows[0], kAccessible, "ChildCount").get(), DBUS_TYPE_INT32),
        int32_t(controls.size()));
}

TEST_F(AccessibilityBridgeTest, ActionsRunAfterTheirReply)
{
    connect();
    std::string path = bridge.pathForElement(play);
    auto actionName = client->call(name(), path, "org.a11y.atspi.Action", "GetName", int32s({ 0 }));
    EXPECT_EQ(stringOf(actionName.get()), "click");
    EXPECT_EQ(variantOf<int32_t>(get(path, "org.a11y.atspi.Action", "NActions").get(), DBUS_TYPE_INT32), 1);

    auto done = client->call(name(), path, "org.a11y.atspi.Action", "DoAction", int32s({ 0 }));
    EXPECT_TRUE(boolOf(done.get()));
    Client::serveUntil([&] { return target->count() == 1; });
    EXPECT_EQ(target->count(), 1u);

    EXPECT_FALSE(
        boolOf(client->call(name(), path, "org.a11y.atspi.Action", "DoAction", int32s({ 4 })).get()));
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    EXPECT_EQ(target->count(), 1u);
}

TEST_F(AccessibilityBridgeTest, SlidersShowAndTakeTheirValue)
{
    connect();
    std::string path = bridge.pathForElement(volume);
    const char* value = "org.a11y.atspi.Value";
    EXPECT_EQ(variantOf<double>(get(path, value, "CurrentValue").get(), DBUS_TYPE_DOUBLE), 3.0);
    EXPECT_EQ(variantOf<double>(get(path, value, "MaximumValue").get(), DBUS_TYPE_DOUBLE), 10.0);

    auto set = client->call(name(), path, kProperties, "Set", [value](DBusMessageIter* it) {
        strings({ value, "CurrentValue" })(it);
        DBusMessageIter variant;
        dbus_message_iter_open_container(it, DBUS_TYPE_VARIANT, "d", &variant);
        double seven = 7;
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_DOUBLE, &seven);
        dbus_message_iter_close_container(it, &variant);
    });
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(volume->doubleValue(), 7.0);
    // A button has no value to read.
    EXPECT_EQ(client->errorOf(name(), bridge.pathForElement(play), kProperties, "Get",
                  strings({ value, "CurrentValue" })),
        DBUS_ERROR_UNKNOWN_PROPERTY);
}

TEST_F(AccessibilityBridgeTest, PositionsAreInScreenCoordinatesFromTheTop)
{
    connect();
    auto reply = client->call(name(), bridge.pathForElement(play), "org.a11y.atspi.Component", "GetExtents",
        [](DBusMessageIter* it) {
            dbus_uint32_t screen = 0;
            dbus_message_iter_append_basic(it, DBUS_TYPE_UINT32, &screen);
        });
    ASSERT_NE(reply, nullptr);
    DBusMessageIter args, box;
    ASSERT_TRUE(dbus_message_iter_init(reply.get(), &args));
    dbus_message_iter_recurse(&args, &box);
    int32_t r[4] {};
    for (auto& v : r) {
        dbus_message_iter_get_basic(&box, &v);
        dbus_message_iter_next(&box);
    }
    HXRect onScreen = play->convertRectToScreen(play->bounds());
    EXPECT_EQ(r[0], int32_t(onScreen.origin.x));
    EXPECT_EQ(r[1], int32_t(1024 - (onScreen.origin.y + onScreen.size.height)));
    EXPECT_EQ(r[2], 60);
    EXPECT_EQ(r[3], 24);
}

TEST_F(AccessibilityBridgeTest, BadRequestsGetErrors)
{
    connect();
    struct Case {
        std::string path;
        const char* interface;
        const char* member;
        std::function<void(DBusMessageIter*)> args;
        std::string error;
    };
    std::string playPath = bridge.pathForElement(play);
    std::vector<Case> cases {
        { "/org/a11y/atspi/accessible/999999", kAccessible, "GetRole", {},
            "org.freedesktop.DBus.Error.UnknownObject" },
        { "/org/a11y/atspi/accessible/x1", kAccessible, "GetRole", {},
            "org.freedesktop.DBus.Error.UnknownObject" },
        { playPath, kAccessible, "GetChildAtIndex", strings({ "one" }), DBUS_ERROR_INVALID_ARGS },
        { playPath, kProperties, "Get", int32s({ 1, 2 }), DBUS_ERROR_INVALID_ARGS },
        { playPath, kProperties, "Get", strings({ kAccessible, "Colour" }), DBUS_ERROR_UNKNOWN_PROPERTY },
        { playPath, kAccessible, "Explode", {}, DBUS_ERROR_UNKNOWN_METHOD },
        { playPath, "org.a11y.atspi.Action", "DoAction", {}, DBUS_ERROR_INVALID_ARGS },
    };
    for (const auto& c : cases)
        EXPECT_EQ(client->errorOf(name(), c.path, c.interface, c.member, c.args), c.error)
            << c.path << " " << c.member;
    // A child that does not exist is the null element.
    EXPECT_EQ(
        firstReferencePath(client->call(name(), kRoot, kAccessible, "GetChildAtIndex", int32s({ 7 })).get()),
        "/org/a11y/atspi/null");
    // An element that went away is unknown from then on.
    auto gone = std::make_shared<HXButton>(HXMakeRect(0, 0, 10, 10), "Gone");
    std::string gonePath = bridge.pathForElement(gone);
    gone.reset();
    EXPECT_EQ(client->errorOf(name(), gonePath, kAccessible, "GetRole"),
        "org.freedesktop.DBus.Error.UnknownObject");
}

TEST_F(AccessibilityBridgeTest, ValueChangesOfKnownElementsAreAnnounced)
{
    connect();
    std::string path = bridge.pathForElement(volume);
    std::string rule = "type='signal',sender='" + name() + "'";
    // With an error to fill the match is in place before the call returns.
    DBusError error;
    dbus_error_init(&error);
    dbus_bus_add_match(client->bus(), rule.c_str(), &error);
    ASSERT_FALSE(dbus_error_is_set(&error)) << error.message;
    volume->setDoubleValue(5);
    HXAccessibility::postNotification(*volume, HXAccessibilityValueChangedNotification);

    std::string seen;
    Client::serveUntil([&] {
        dbus_connection_read_write(client->bus(), 0);
        while (DBusMessage* m = dbus_connection_pop_message(client->bus())) {
            if (dbus_message_is_signal(m, "org.a11y.atspi.Event.Object", "PropertyChange")
                && dbus_message_get_path(m) == path) {
                const char* detail = nullptr;
                dbus_message_get_args(m, nullptr, DBUS_TYPE_STRING, &detail, DBUS_TYPE_INVALID);
                seen = detail ? detail : "";
            }
            dbus_message_unref(m);
        }
        return !seen.empty();
    });
    EXPECT_EQ(seen, "accessible-value");
}

TEST_F(AccessibilityBridgeTest, TheApplicationJoinsTheRegistrysDesktop)
{
    // A registry of our own that takes the embedding and names its desktop.
    ASSERT_EQ(dbus_bus_request_name(client->bus(), "org.a11y.atspi.Registry", 0, nullptr),
        DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
    connect();
    std::string embedded;
    Client::serveUntil([&] {
        dbus_connection_read_write(client->bus(), 0);
        while (DBusMessage* m = dbus_connection_pop_message(client->bus())) {
            if (dbus_message_is_method_call(m, "org.a11y.atspi.Socket", "Embed")) {
                DBusMessageIter args;
                if (dbus_message_iter_init(m, &args)
                    && dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_STRUCT)
                    embedded = referencePath(&args);
                DBusMessage* reply = dbus_message_new_method_return(m);
                DBusMessageIter out, ref;
                dbus_message_iter_init_append(reply, &out);
                dbus_message_iter_open_container(&out, DBUS_TYPE_STRUCT, nullptr, &ref);
                const char* me = dbus_bus_get_unique_name(client->bus());
                const char* desktop = "/org/a11y/atspi/accessible/root";
                dbus_message_iter_append_basic(&ref, DBUS_TYPE_STRING, &me);
                dbus_message_iter_append_basic(&ref, DBUS_TYPE_OBJECT_PATH, &desktop);
                dbus_message_iter_close_container(&out, &ref);
                dbus_connection_send(client->bus(), reply, nullptr);
                dbus_message_unref(reply);
            }
            dbus_message_unref(m);
        }
        return !embedded.empty();
    });
    EXPECT_EQ(embedded, kRoot);
    // The desktop's answer arrives on a later pass.
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
    auto parent = get(kRoot, kAccessible, "Parent");
    DBusMessageIter args, inner, fields;
    ASSERT_TRUE(parent && dbus_message_iter_init(parent.get(), &args));
    dbus_message_iter_recurse(&args, &inner);
    dbus_message_iter_recurse(&inner, &fields);
    const char* owner = nullptr;
    dbus_message_iter_get_basic(&fields, &owner);
    EXPECT_STREQ(owner, dbus_bus_get_unique_name(client->bus()));
}
