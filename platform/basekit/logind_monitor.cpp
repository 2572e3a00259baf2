#include "platform/basekit/logind_monitor.h"

#include "platform/basekit/dbus_run_loop.h"
#include "platform/basekit/error.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/workspace.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kLogindName = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr int kCallTimeoutMilliseconds = 5000;

std::string stringOrEmpty(const char* s)
{
    return s ? s : "";
}

// The value of a variant that holds a boolean; nullopt for any other type.
std::optional<bool> variantBool(DBusMessageIter* variant)
{
    if (dbus_message_iter_get_arg_type(variant) != DBUS_TYPE_VARIANT)
        return std::nullopt;
    DBusMessageIter inner;
    dbus_message_iter_recurse(variant, &inner);
    if (dbus_message_iter_get_arg_type(&inner) != DBUS_TYPE_BOOLEAN)
        return std::nullopt;
    dbus_bool_t value = FALSE;
    dbus_message_iter_get_basic(&inner, &value);
    return value != FALSE;
}

} // namespace

struct HXLogindMonitor::Connection {
    DBusConnection* bus = nullptr;
    std::unique_ptr<HXDBusRunLoopSource> source; // serves the connection from the main run loop
    std::string logindOwner; // unique name of whoever owns "org.freedesktop.login1" now
    std::string sessionPath;
    std::optional<bool> sessionActive; // last known "Active" of our session
    bool disconnected = false;
    // Cleared when the connection goes away, so work queued on the run loop for it is dropped.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    ~Connection() { close(); }

    void close();
    bool open(const std::string& address);
    void post(const char* name);

    static DBusHandlerResult filter(DBusConnection*, DBusMessage* message, void* data);

    // Calls whose replies come back through the run loop.
    using ReplyHandler = void (Connection::*)(DBusMessage* reply);
    void call(DBusMessage* message, ReplyHandler handler);
    void askForSession();
    void didGetNameOwner(DBusMessage* reply);
    void didGetSession(DBusMessage* reply);
    void didGetActive(DBusMessage* reply) { readActive(reply, false); }
    void didGetChangedActive(DBusMessage* reply) { readActive(reply, true); }
    void readActive(DBusMessage* reply, bool announce);

    void handleSignal(DBusMessage* message);
    void handleNameOwnerChanged(DBusMessage* message);
    void handlePrepareForSleep(DBusMessage* message);
    void handleSessionPropertiesChanged(DBusMessage* message);
    void sessionActiveIs(bool active, bool announce);
};

// MARK: Connecting

bool HXLogindMonitor::Connection::open(const std::string& address)
{
    if (address.empty()) {
        DBusError error;
        dbus_error_init(&error);
        bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
        dbus_error_free(&error);
        // A bus that goes away must not take the program with it.
        if (bus)
            dbus_connection_set_exit_on_disconnect(bus, FALSE);
    } else {
        bus = HXDBusOpenPrivateConnection(address);
    }
    if (!bus)
        return false;

    dbus_connection_add_filter(bus, &Connection::filter, this, nullptr);
    // Closing from inside dispatch is not allowed: a lost bus is closed once the dispatch is over.
    source = std::make_unique<HXDBusRunLoopSource>(bus, [this] {
        if (disconnected)
            close();
    });

    // The matches go out before the calls below, so by the time the login manager answers us the bus
    // already routes its signals here.
    dbus_bus_add_match(bus,
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0='org.freedesktop.login1'",
        nullptr);
    dbus_bus_add_match(bus,
        "type='signal',sender='org.freedesktop.login1',path='/org/freedesktop/login1',"
        "interface='org.freedesktop.login1.Manager',member='PrepareForSleep'",
        nullptr);

    DBusMessage* owner = dbus_message_new_method_call(
        DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "GetNameOwner");
    const char* name = kLogindName;
    dbus_message_append_args(owner, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    call(owner, &Connection::didGetNameOwner);
    askForSession();
    source->scheduleDispatch();
    return true;
}

void HXLogindMonitor::Connection::close()
{
    *alive = false;
    source.reset();
    if (bus) {
        dbus_connection_remove_filter(bus, &Connection::filter, this);
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
        bus = nullptr;
    }
    HXRunLoop::main().cancelPerformRequests(this);
}

void HXLogindMonitor::Connection::post(const char* name)
{
    // Observers may run a nested loop or stop us: post after this dispatch, outside libdbus.
    std::weak_ptr<bool> alive = this->alive;
    HXRunLoop::main().perform(
        [alive, name] {
            if (!alive.expired() && *alive.lock())
                HXWorkspace::sharedWorkspace().postNotificationName(name);
        },
        0, { HXRunLoopCommonModes }, this);
}

// MARK: Calls

namespace {

struct PendingReply {
    HXLogindMonitor::Connection* self;
    HXLogindMonitor::Connection::ReplyHandler handler;
};

} // namespace

void HXLogindMonitor::Connection::call(DBusMessage* message, ReplyHandler handler)
{
    DBusPendingCall* pending = nullptr;
    if (message && dbus_connection_send_with_reply(bus, message, &pending, kCallTimeoutMilliseconds)
        && pending) {
        dbus_pending_call_set_notify(
            pending,
            [](DBusPendingCall* call, void* data) {
                auto* p = static_cast<PendingReply*>(data);
                if (DBusMessage* reply = dbus_pending_call_steal_reply(call)) {
                    if (dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN)
                        (p->self->*(p->handler))(reply);
                    dbus_message_unref(reply);
                }
                dbus_pending_call_unref(call);
            },
            new PendingReply { this, handler }, [](void* p) { delete static_cast<PendingReply*>(p); });
    }
    if (message)
        dbus_message_unref(message);
}

void HXLogindMonitor::Connection::askForSession()
{
    DBusMessage* message = nullptr;
    std::string id = stringOrEmpty(std::getenv("XDG_SESSION_ID"));
    if (!id.empty() && dbus_validate_utf8(id.c_str(), nullptr)) {
        message = dbus_message_new_method_call(kLogindName, kLogindPath, kManagerInterface, "GetSession");
        const char* arg = id.c_str();
        dbus_message_append_args(message, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
    } else {
        message
            = dbus_message_new_method_call(kLogindName, kLogindPath, kManagerInterface, "GetSessionByPID");
        dbus_uint32_t pid = dbus_uint32_t(::getpid());
        dbus_message_append_args(message, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID);
    }
    call(message, &Connection::didGetSession);
}

void HXLogindMonitor::Connection::didGetNameOwner(DBusMessage* reply)
{
    const char* owner = nullptr;
    if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &owner, DBUS_TYPE_INVALID))
        logindOwner = stringOrEmpty(owner);
}

void HXLogindMonitor::Connection::didGetSession(DBusMessage* reply)
{
    const char* path = nullptr;
    if (!dbus_message_get_args(reply, nullptr, DBUS_TYPE_OBJECT_PATH, &path, DBUS_TYPE_INVALID) || !path)
        return;
    sessionPath = path;
    std::string rule
        = "type='signal',sender='org.freedesktop.login1',interface='org.freedesktop.DBus.Properties',"
          "member='PropertiesChanged',arg0='org.freedesktop.login1.Session',path='"
        + sessionPath + "'";
    dbus_bus_add_match(bus, rule.c_str(), nullptr);

    // Where we start from, so that only real changes are announced.
    DBusMessage* get = dbus_message_new_method_call(kLogindName, path, kPropertiesInterface, "Get");
    const char* interface = kSessionInterface;
    const char* property = "Active";
    dbus_message_append_args(
        get, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
    call(get, &Connection::didGetActive);
}

void HXLogindMonitor::Connection::readActive(DBusMessage* reply, bool announce)
{
    DBusMessageIter args;
    if (!dbus_message_iter_init(reply, &args))
        return;
    if (auto active = variantBool(&args))
        sessionActiveIs(*active, announce);
}

// MARK: Signals

DBusHandlerResult HXLogindMonitor::Connection::filter(DBusConnection*, DBusMessage* message, void* data)
{
    auto* self = static_cast<Connection*>(data);
    if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
        // Closing from inside dispatch is not allowed; the run-loop source closes it when dispatch returns.
        self->disconnected = true;
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL)
        self->handleSignal(message);
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

void HXLogindMonitor::Connection::handleSignal(DBusMessage* message)
{
    std::string sender = stringOrEmpty(dbus_message_get_sender(message));
    if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged")) {
        if (sender == DBUS_SERVICE_DBUS)
            handleNameOwnerChanged(message);
        return;
    }
    // Anyone may send us a signal directly; only the login manager's count.
    if (logindOwner.empty() || sender != logindOwner)
        return;
    std::string path = stringOrEmpty(dbus_message_get_path(message));
    if (path == kLogindPath && dbus_message_is_signal(message, kManagerInterface, "PrepareForSleep"))
        handlePrepareForSleep(message);
    else if (!sessionPath.empty() && path == sessionPath
        && dbus_message_is_signal(message, kPropertiesInterface, "PropertiesChanged"))
        handleSessionPropertiesChanged(message);
}

void HXLogindMonitor::Connection::handleNameOwnerChanged(DBusMessage* message)
{
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &oldOwner,
            DBUS_TYPE_STRING, &newOwner, DBUS_TYPE_INVALID))
        return;
    if (stringOrEmpty(name) != kLogindName)
        return;
    logindOwner = stringOrEmpty(newOwner);
    // A restarted login manager knows our session afresh.
    if (!logindOwner.empty() && sessionPath.empty())
        askForSession();
}

void HXLogindMonitor::Connection::handlePrepareForSleep(DBusMessage* message)
{
    if (!dbus_message_has_signature(message, "b"))
        return;
    dbus_bool_t sleeping = FALSE;
    if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_BOOLEAN, &sleeping, DBUS_TYPE_INVALID))
        return;
    post(sleeping ? HXWorkspaceWillSleepNotification : HXWorkspaceDidWakeNotification);
}

void HXLogindMonitor::Connection::handleSessionPropertiesChanged(DBusMessage* message)
{
    if (!dbus_message_has_signature(message, "sa{sv}as"))
        return;
    DBusMessageIter args;
    dbus_message_iter_init(message, &args);
    const char* interface = nullptr;
    dbus_message_iter_get_basic(&args, &interface);
    if (stringOrEmpty(interface) != kSessionInterface)
        return;
    dbus_message_iter_next(&args);

    DBusMessageIter changed;
    dbus_message_iter_recurse(&args, &changed);
    for (; dbus_message_iter_get_arg_type(&changed) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&changed)) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&changed, &entry);
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        if (stringOrEmpty(key) != "Active")
            continue;
        dbus_message_iter_next(&entry);
        if (auto active = variantBool(&entry))
            sessionActiveIs(*active, true);
        return;
    }

    // Changed without a value: ask for it.
    dbus_message_iter_next(&args);
    DBusMessageIter invalidated;
    dbus_message_iter_recurse(&args, &invalidated);
    for (; dbus_message_iter_get_arg_type(&invalidated) == DBUS_TYPE_STRING;
         dbus_message_iter_next(&invalidated)) {
        const char* name = nullptr;
        dbus_message_iter_get_basic(&invalidated, &name);
        if (stringOrEmpty(name) != "Active")
            continue;
        DBusMessage* get
            = dbus_message_new_method_call(kLogindName, sessionPath.c_str(), kPropertiesInterface, "Get");
        const char* sessionInterface = kSessionInterface;
        const char* property = "Active";
        dbus_message_append_args(
            get, DBUS_TYPE_STRING, &sessionInterface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
        call(get, &Connection::didGetChangedActive);
        return;
    }
}

// A change is announced once: the same value reported again (or the state we started in) posts nothing.
void HXLogindMonitor::Connection::sessionActiveIs(bool active, bool announce)
{
    bool changed = !sessionActive || *sessionActive != active;
    sessionActive = active;
    if (!changed || !announce)
        return;
    post(active ? HXWorkspaceSessionDidBecomeActiveNotification
                : HXWorkspaceSessionDidResignActiveNotification);
}

// MARK: HXLogindMonitor

HXLogindMonitor::HXLogindMonitor(std::string address)
    : _address(std::move(address))
{
}

HXLogindMonitor::~HXLogindMonitor()
{
    stop();
}

bool HXLogindMonitor::start()
{
    if (isConnected())
        return true;
    stop();
    auto connection = std::make_unique<Connection>();
    if (!connection->open(_address))
        return false;
    _connection = std::move(connection);
    return true;
}

void HXLogindMonitor::stop()
{
    _connection.reset();
}

bool HXLogindMonitor::isConnected() const
{
    return _connection && _connection->bus && !_connection->disconnected;
}

std::string HXLogindMonitor::sessionPath() const
{
    return _connection ? _connection->sessionPath : std::string();
}

HXLogindMonitor& HXLogindMonitor::shared()
{
    static HXLogindMonitor* monitor = [] {
        auto* m = new HXLogindMonitor();
        m->start();
        return m;
    }();
    return *monitor;
}
