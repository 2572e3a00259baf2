// The monitor against a private bus daemon started here, with a fake login manager on it; the machine's own
// buses are never touched.
#include "platform/basekit/logind_monitor.h"

#include "platform/basekit/dbus_run_loop.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/workspace.h"
#include "private_bus.h"
#include "test_support.h"

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using movara::test::haveProgram;
using movara::test::PrivateBus;
using movara::test::TempDir;
using movara::test::writeFile;

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// One connection to the private bus, driven by hand (never by the run loop under test).
class Peer {
public:
    explicit Peer(const std::string& address)
        : _bus(HXDBusOpenPrivateConnection(address))
    {
    }
    virtual ~Peer()
    {
        if (_bus) {
            dbus_connection_close(_bus);
            dbus_connection_unref(_bus);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    DBusConnection* bus() const { return _bus; }
    void serve() const
    {
        if (_bus)
            dbus_connection_read_write_dispatch(_bus, 0);
    }

    // Sends a signal built by `fill` (arguments), to everyone or to `destination`, then waits for a reply
    // from the daemon, so that the signal has been routed before anything sent afterwards.
    void emit(const std::string& path, const std::string& interface, const std::string& member,
        const std::function<void(DBusMessageIter*)>& fill, const std::string& destination = {}) const
    {
        DBusMessage* signal = dbus_message_new_signal(path.c_str(), interface.c_str(), member.c_str());
        if (!destination.empty())
            dbus_message_set_destination(signal, destination.c_str());
        DBusMessageIter args;
        dbus_message_iter_init_append(signal, &args);
        if (fill)
            fill(&args);
        dbus_connection_send(_bus, signal, nullptr);
        dbus_message_unref(signal);
        DBusMessage* ping = dbus_message_new_method_call(
            DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, "org.freedesktop.DBus.Peer", "Ping");
        if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(_bus, ping, 5000, nullptr))
            dbus_message_unref(reply);
        dbus_message_unref(ping);
    }

private:
    DBusConnection* _bus = nullptr;
};

// Argument writers for emit().
void appendBool(DBusMessageIter* args, bool value)
{
    dbus_bool_t b = value;
    dbus_message_iter_append_basic(args, DBUS_TYPE_BOOLEAN, &b);
}

void appendString(DBusMessageIter* args, const char* value)
{
    dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &value);
}

// The PropertiesChanged arguments "sa{sv}as" with one changed property of the variant type `type`.
void appendPropertiesChanged(DBusMessageIter* args, const char* interface, const char* property, int type,
    const void* value, const char* invalidated = nullptr)
{
    appendString(args, interface);
    DBusMessageIter dict, entry, variant, list;
    dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "{sv}", &dict);
    if (property) {
        dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &property);
        char signature[2] = { char(type), 0 };
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
        dbus_message_iter_append_basic(&variant, type, value);
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&dict, &entry);
    }
    dbus_message_iter_close_container(args, &dict);
    dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "s", &list);
    if (invalidated)
        dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &invalidated);
    dbus_message_iter_close_container(args, &list);
}

// Owns "org.freedesktop.login1" and answers what the monitor asks: our session and whether it is active.
class FakeLogind : public Peer {
public:
    explicit FakeLogind(const std::string& address)
        : Peer(address)
    {
        if (!bus())
            return;
        dbus_bus_request_name(bus(), kLogind, DBUS_NAME_FLAG_DO_NOT_QUEUE, nullptr);
        dbus_connection_add_filter(bus(), &FakeLogind::filter, this, nullptr);
    }
    ~FakeLogind() override
    {
        if (bus())
            dbus_connection_remove_filter(bus(), &FakeLogind::filter, this);
    }

    std::string sessionPath = "/org/freedesktop/login1/session/_31";
    bool active = true; // answered to Get("Active")
    std::string askedFor; // "GetSession <id>" or "GetSessionByPID <pid>"
    std::string client; // unique name of whoever asked
    int activeQueries = 0;

    void sleep(bool sleeping) const
    {
        emit(kManagerPath, kManager, "PrepareForSleep", [&](DBusMessageIter* a) { appendBool(a, sleeping); });
    }
    void sessionActive(bool value, const std::string& path = {}) const
    {
        dbus_bool_t b = value;
        emit(path.empty() ? sessionPath : path, kProperties, "PropertiesChanged", [&](DBusMessageIter* a) {
            appendPropertiesChanged(a, kSession, "Active", DBUS_TYPE_BOOLEAN, &b);
        });
    }

private:
    static DBusHandlerResult filter(DBusConnection* bus, DBusMessage* message, void* data)
    {
        auto* self = static_cast<FakeLogind*>(data);
        if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL)
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        self->client = dbus_message_get_sender(message);
        DBusMessage* reply = dbus_message_new_method_return(message);
        const char* path = self->sessionPath.c_str();
        if (dbus_message_is_method_call(message, kManager, "GetSession")) {
            const char* id = "";
            dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &id, DBUS_TYPE_INVALID);
            self->askedFor = std::string("GetSession ") + id;
            dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &path, DBUS_TYPE_INVALID);
        } else if (dbus_message_is_method_call(message, kManager, "GetSessionByPID")) {
            dbus_uint32_t pid = 0;
            dbus_message_get_args(message, nullptr, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID);
            self->askedFor = "GetSessionByPID " + std::to_string(pid);
            dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &path, DBUS_TYPE_INVALID);
        } else if (dbus_message_is_method_call(message, kProperties, "Get")) {
            ++self->activeQueries;
            DBusMessageIter args, variant;
            dbus_message_iter_init_append(reply, &args);
            dbus_message_iter_open_container(&args, DBUS_TYPE_VARIANT, "b", &variant);
            dbus_bool_t b = self->active;
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &b);
            dbus_message_iter_close_container(&args, &variant);
        } else {
            dbus_message_unref(reply);
            reply = dbus_message_new_error(message, DBUS_ERROR_UNKNOWN_METHOD, "no such method");
        }
        dbus_connection_send(bus, reply, nullptr);
        dbus_message_unref(reply);
        return DBUS_HANDLER_RESULT_HANDLED;
    }
};

// Records the workspace notifications.
class WorkspaceRecorder {
public:
    WorkspaceRecorder()
    {
        HXWorkspace::notificationCenter().addObserver(this, "", &HXWorkspace::sharedWorkspace(),
            [this](const HXNotification& n) { names.push_back(n.name()); });
    }
    ~WorkspaceRecorder() { HXWorkspace::notificationCenter().removeObserver(this); }
    WorkspaceRecorder(const WorkspaceRecorder&) = delete;
    WorkspaceRecorder& operator=(const WorkspaceRecorder&) = delete;
    std::vector<std::string> names;
};

// Runs the main loop and serves the peers until `done` or five seconds have passed.
bool pumpUntil(const std::function<bool()>& done, const std::vector<const Peer*>& peers, double seconds = 5)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        for (auto* peer : peers)
            peer->serve();
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.005);
        if (done())
            return true;
    }
    return done();
}

const std::string kWillSleep = HXWorkspaceWillSleepNotification;
const std::string kDidWake = HXWorkspaceDidWakeNotification;
const std::string kResign = HXWorkspaceSessionDidResignActiveNotification;
const std::string kBecome = HXWorkspaceSessionDidBecomeActiveNotification;

class LogindMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The main loop opens its wake-up descriptor on first use; open it before the bus's descriptors so
        // that the descriptor numbers later tests in this program see stay as they are without these tests.
        HXRunLoop::main();
        if (!haveProgram("dbus-daemon"))
            GTEST_SKIP() << "dbus-daemon is not installed";
        ::unsetenv("XDG_SESSION_ID");
        bus = std::make_unique<PrivateBus>();
        ASSERT_FALSE(bus->address().empty()) << "the private bus did not start";
        logind = std::make_unique<FakeLogind>(bus->address());
        ASSERT_NE(logind->bus(), nullptr);
    }

    // Starts the monitor and waits until it knows where its session starts from (its matches are then in
    // place).
    void startMonitor()
    {
        monitor = std::make_unique<HXLogindMonitor>(bus->address());
        ASSERT_TRUE(monitor->start());
        ASSERT_TRUE(pumpUntil([&] { return logind->activeQueries > 0; }, { logind.get() }));
    }

    bool waitForNames(size_t count)
    {
        return pumpUntil([&] { return recorder.names.size() >= count; }, { logind.get() });
    }

    WorkspaceRecorder recorder;
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<FakeLogind> logind;
    std::unique_ptr<HXLogindMonitor> monitor;
};

TEST_F(LogindMonitorTest, SleepAndSessionSignalsArriveAsWorkspaceNotificationsInOrder)
{
    startMonitor();
    EXPECT_EQ(monitor->sessionPath(), logind->sessionPath);

    logind->sleep(true);
    logind->sessionActive(false);
    logind->sessionActive(false); // the same state again announces nothing
    logind->sessionActive(true);
    logind->sleep(false);
    ASSERT_TRUE(waitForNames(4));
    EXPECT_EQ(recorder.names, (std::vector<std::string> { kWillSleep, kResign, kBecome, kDidWake }));
}

TEST_F(LogindMonitorTest, TheSessionIsTheNamedOneOrElseOursByProcess)
{
    struct Case {
        const char* sessionID;
        std::string expected;
    };
    const Case cases[] = {
        { "c7", "GetSession c7" },
        { nullptr, "GetSessionByPID " + std::to_string(::getpid()) },
        { "", "GetSessionByPID " + std::to_string(::getpid()) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sessionID ? c.sessionID : "(unset)");
        if (c.sessionID)
            ::setenv("XDG_SESSION_ID", c.sessionID, 1);
        else
            ::unsetenv("XDG_SESSION_ID");
        logind->askedFor.clear();
        logind->activeQueries = 0;
        startMonitor();
        EXPECT_EQ(logind->askedFor, c.expected);
        monitor.reset();
    }
    ::unsetenv("XDG_SESSION_ID");
}

TEST_F(LogindMonitorTest, AStartInAnInactiveSessionAnnouncesOnlyTheReturn)
{
    logind->active = false;
    startMonitor();
    logind->sessionActive(false);
    logind->sessionActive(true);
    ASSERT_TRUE(waitForNames(1));
    EXPECT_EQ(recorder.names, std::vector<std::string> { kBecome });
}

TEST_F(LogindMonitorTest, AnActiveChangeWithoutItsValueIsReadBack)
{
    startMonitor();
    logind->active = false;
    logind->emit(logind->sessionPath, kProperties, "PropertiesChanged",
        [](DBusMessageIter* a) { appendPropertiesChanged(a, kSession, nullptr, 0, nullptr, "Active"); });
    ASSERT_TRUE(waitForNames(1));
    EXPECT_EQ(recorder.names, std::vector<std::string> { kResign });
}

TEST_F(LogindMonitorTest, GarbageWrongTypesAndStrangersAreIgnored)
{
    startMonitor();
    Peer stranger(bus->address());
    ASSERT_NE(stranger.bus(), nullptr);
    const std::string other = "/org/freedesktop/login1/session/_99";
    dbus_bool_t no = FALSE;
    const char* text = "no";

    struct Case {
        const char* name;
        std::function<void()> send;
    };
    const Case cases[] = {
        { "sleep with a string",
            [&] {
                logind->emit(kManagerPath, kManager, "PrepareForSleep",
                    [&](DBusMessageIter* a) { appendString(a, "true"); });
            } },
        { "sleep without arguments",
            [&] { logind->emit(kManagerPath, kManager, "PrepareForSleep", nullptr); } },
        { "sleep with two booleans",
            [&] {
                logind->emit(kManagerPath, kManager, "PrepareForSleep", [&](DBusMessageIter* a) {
                    appendBool(a, false);
                    appendBool(a, false);
                });
            } },
        { "sleep on another object",
            [&] {
                logind->emit("/org/freedesktop/login1/seat/seat0", kManager, "PrepareForSleep",
                    [&](DBusMessageIter* a) { appendBool(a, false); });
            } },
        { "Active as a string",
            [&] {
                logind->emit(logind->sessionPath, kProperties, "PropertiesChanged", [&](DBusMessageIter* a) {
                    appendPropertiesChanged(a, kSession, "Active", DBUS_TYPE_STRING, &text);
                });
            } },
        { "Active of another interface",
            [&] {
                logind->emit(logind->sessionPath, kProperties, "PropertiesChanged", [&](DBusMessageIter* a) {
                    appendPropertiesChanged(
                        a, "org.freedesktop.login1.User", "Active", DBUS_TYPE_BOOLEAN, &no);
                });
            } },
        { "Active of another session", [&] { logind->sessionActive(false, other); } },
        { "PropertiesChanged with a bare string",
            [&] {
                logind->emit(logind->sessionPath, kProperties, "PropertiesChanged",
                    [&](DBusMessageIter* a) { appendString(a, kSession); });
            } },
        { "a stranger's broadcast",
            [&] {
                stranger.emit(kManagerPath, kManager, "PrepareForSleep",
                    [&](DBusMessageIter* a) { appendBool(a, false); });
            } },
        { "a stranger's signal sent straight to us",
            [&] {
                stranger.emit(
                    kManagerPath, kManager, "PrepareForSleep",
                    [&](DBusMessageIter* a) { appendBool(a, false); }, logind->client);
                stranger.emit(
                    logind->sessionPath, kProperties, "PropertiesChanged",
                    [&](DBusMessageIter* a) {
                        appendPropertiesChanged(a, kSession, "Active", DBUS_TYPE_BOOLEAN, &no);
                    },
                    logind->client);
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.names.clear();
        c.send();
        logind->sleep(true); // the marker: everything sent before it has been delivered when it arrives
        ASSERT_TRUE(waitForNames(1));
        EXPECT_EQ(recorder.names, std::vector<std::string> { kWillSleep });
    }
    // Still listening, and still in the state it started in.
    recorder.names.clear();
    logind->sessionActive(false);
    ASSERT_TRUE(waitForNames(1));
    EXPECT_EQ(recorder.names, std::vector<std::string> { kResign });
}

TEST_F(LogindMonitorTest, ARestartedLoginManagerIsHeardAndItsPredecessorIsNot)
{
    startMonitor();
    ASSERT_TRUE(dbus_bus_release_name(logind->bus(), kLogind, nullptr) == DBUS_RELEASE_NAME_REPLY_RELEASED);
    FakeLogind successor(bus->address());
    ASSERT_NE(successor.bus(), nullptr);

    logind->sleep(true); // no longer the login manager
    successor.sleep(false);
    ASSERT_TRUE(pumpUntil([&] { return !recorder.names.empty(); }, { logind.get(), &successor }));
    EXPECT_EQ(recorder.names, std::vector<std::string> { kDidWake });
}

TEST_F(LogindMonitorTest, StoppedOrDisconnectedMonitorsStayQuiet)
{
    startMonitor();
    monitor->stop();
    EXPECT_FALSE(monitor->isConnected());
    logind->sleep(true);
    pumpUntil([&] { return !recorder.names.empty(); }, { logind.get() }, 0.5);
    EXPECT_TRUE(recorder.names.empty());

    // The bus going away leaves the program running and the monitor quiet.
    ASSERT_TRUE(monitor->start());
    EXPECT_TRUE(monitor->isConnected());
    logind.reset();
    bus->kill();
    EXPECT_TRUE(pumpUntil([&] { return !monitor->isConnected(); }, {}));
    EXPECT_TRUE(recorder.names.empty());
}

TEST(LogindMonitorWithoutBusTest, StartAnswersFalseQuietly)
{
    TempDir dir;
    // The system bus of this test is a socket that does not exist: the machine's own is never tried.
    std::string missing = "unix:path=" + (dir / "no-bus").string();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", missing.c_str(), 1);
    for (const std::string& address : { std::string(), missing, std::string("nonsense") }) {
        SCOPED_TRACE(address);
        HXLogindMonitor monitor(address);
        EXPECT_FALSE(monitor.start());
        EXPECT_FALSE(monitor.isConnected());
        EXPECT_EQ(monitor.sessionPath(), "");
    }
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

} // namespace
