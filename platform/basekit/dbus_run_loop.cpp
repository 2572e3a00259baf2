#include "platform/basekit/dbus_run_loop.h"

#include "platform/basekit/run_loop.h"

#include <dbus/dbus.h>

#include <set>

struct HXDBusRunLoopSource::State : std::enable_shared_from_this<State> {
    DBusConnection* bus = nullptr;
    std::function<void()> afterDispatch;
    std::set<HXRunLoopSourceID> sources; // run-loop sources of the connection's watches
    bool dispatchScheduled = false;
    bool attached = false;

    void attach();
    void detach();
    void scheduleDispatch();
    void dispatch();

    static dbus_bool_t addWatch(DBusWatch* watch, void* data);
    static void removeWatch(DBusWatch* watch, void* data);
    static void toggleWatch(DBusWatch* watch, void* data);
    static dbus_bool_t addTimeout(DBusTimeout* timeout, void* data);
    static void removeTimeout(DBusTimeout* timeout, void* data);
    static void toggleTimeout(DBusTimeout* timeout, void* data);
    static void dispatchStatusChanged(DBusConnection*, DBusDispatchStatus status, void* data);
};

namespace {

uint32_t runLoopEvents(DBusWatch* watch)
{
    unsigned flags = dbus_watch_get_flags(watch);
    uint32_t events = 0;
    if (flags & DBUS_WATCH_READABLE)
        events |= HXFileDescriptorReadable;
    if (flags & DBUS_WATCH_WRITABLE)
        events |= HXFileDescriptorWritable;
    return events;
}

using State = HXDBusRunLoopSource::State;

// Work queued on the run loop holds the state weakly: once the source is gone it does nothing.
template<typename F> auto guarded(const std::shared_ptr<State>& state, F fn)
{
    return [weak = std::weak_ptr<State>(state), fn](auto&&... args) {
        if (auto self = weak.lock(); self && self->attached)
            fn(*self, args...);
    };
}

} // namespace

void State::attach()
{
    attached = true;
    dbus_connection_set_watch_functions(
        bus, &State::addWatch, &State::removeWatch, &State::toggleWatch, this, nullptr);
    dbus_connection_set_timeout_functions(
        bus, &State::addTimeout, &State::removeTimeout, &State::toggleTimeout, this, nullptr);
    dbus_connection_set_dispatch_status_function(bus, &State::dispatchStatusChanged, this, nullptr);
}

void State::detach()
{
    if (!attached)
        return;
    attached = false;
    dbus_connection_set_dispatch_status_function(bus, nullptr, nullptr, nullptr);
    dbus_connection_set_watch_functions(bus, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_set_timeout_functions(bus, nullptr, nullptr, nullptr, nullptr, nullptr);
    for (auto id : sources)
        HXRunLoop::main().removeSource(id);
    sources.clear();
    HXRunLoop::main().cancelPerformRequests(this);
}

dbus_bool_t State::addWatch(DBusWatch* watch, void* data)
{
    auto* self = static_cast<State*>(data);
    auto id = HXRunLoop::main().addFileDescriptor(dbus_watch_get_unix_fd(watch),
        dbus_watch_get_enabled(watch) ? runLoopEvents(watch) : 0,
        guarded(self->shared_from_this(), [watch](State& state, int, uint32_t events) {
            unsigned flags = 0;
            if (events & HXFileDescriptorReadable)
                flags |= DBUS_WATCH_READABLE;
            if (events & HXFileDescriptorWritable)
                flags |= DBUS_WATCH_WRITABLE;
            dbus_watch_handle(watch, flags);
            state.scheduleDispatch();
        }));
    self->sources.insert(id);
    dbus_watch_set_data(
        watch, new HXRunLoopSourceID(id), [](void* p) { delete static_cast<HXRunLoopSourceID*>(p); });
    return TRUE;
}

void State::removeWatch(DBusWatch* watch, void* data)
{
    auto* self = static_cast<State*>(data);
    if (auto* id = static_cast<HXRunLoopSourceID*>(dbus_watch_get_data(watch))) {
        HXRunLoop::main().removeSource(*id);
        self->sources.erase(*id);
        dbus_watch_set_data(watch, nullptr, nullptr);
    }
}

void State::toggleWatch(DBusWatch* watch, void*)
{
    if (auto* id = static_cast<HXRunLoopSourceID*>(dbus_watch_get_data(watch)))
        HXRunLoop::main().setFileDescriptorEvents(
            *id, dbus_watch_get_enabled(watch) ? runLoopEvents(watch) : 0);
}

dbus_bool_t State::addTimeout(DBusTimeout* timeout, void* data)
{
    if (!dbus_timeout_get_enabled(timeout))
        return TRUE;
    auto* self = static_cast<State*>(data);
    double seconds = dbus_timeout_get_interval(timeout) / 1000.0;
    // A timeout stays registered until libdbus removes it; it fires at each interval.
    struct Rearm {
        static void schedule(const std::shared_ptr<State>& state, DBusTimeout* timeout, double seconds)
        {
            HXRunLoop::main().performAfterDelay(timeout, seconds,
                guarded(state,
                    [timeout, seconds](State& self) {
                        schedule(self.shared_from_this(), timeout, seconds);
                        dbus_timeout_handle(timeout);
                        self.scheduleDispatch();
                    }),
                { HXRunLoopCommonModes });
        }
    };
    Rearm::schedule(self->shared_from_this(), timeout, seconds);
    return TRUE;
}

void State::removeTimeout(DBusTimeout* timeout, void*)
{
    HXRunLoop::main().cancelPerformRequests(timeout);
}

void State::toggleTimeout(DBusTimeout* timeout, void* data)
{
    removeTimeout(timeout, data);
    addTimeout(timeout, data);
}

void State::dispatchStatusChanged(DBusConnection*, DBusDispatchStatus status, void* data)
{
    // libdbus must not be re-entered from here: dispatch on a later pass.
    if (status == DBUS_DISPATCH_DATA_REMAINS)
        static_cast<State*>(data)->scheduleDispatch();
}

void State::scheduleDispatch()
{
    if (dispatchScheduled || !attached)
        return;
    dispatchScheduled = true;
    HXRunLoop::main().perform(guarded(shared_from_this(),
                                  [](State& self) {
                                      self.dispatchScheduled = false;
                                      self.dispatch();
                                  }),
        0, { HXRunLoopCommonModes }, this);
}

void State::dispatch()
{
    auto keep = shared_from_this();
    while (attached && dbus_connection_dispatch(bus) == DBUS_DISPATCH_DATA_REMAINS) { }
    if (!attached || !afterDispatch)
        return;
    // The callback may drop the source that owns this state: call a copy, and touch nothing after it.
    auto after = afterDispatch;
    after();
}

DBusConnection* HXDBusOpenPrivateConnection(const std::string& address)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_connection_open_private(address.c_str(), &error);
    if (bus && !dbus_bus_register(bus, &error)) {
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
        bus = nullptr;
    }
    dbus_error_free(&error);
    if (bus)
        dbus_connection_set_exit_on_disconnect(bus, FALSE);
    return bus;
}

HXDBusRunLoopSource::HXDBusRunLoopSource(DBusConnection* connection, std::function<void()> afterDispatch)
    : _state(std::make_shared<State>())
{
    _state->bus = connection;
    _state->afterDispatch = std::move(afterDispatch);
    if (connection) {
        _state->attach();
        _state->scheduleDispatch();
    }
}

HXDBusRunLoopSource::~HXDBusRunLoopSource()
{
    _state->detach();
}

void HXDBusRunLoopSource::scheduleDispatch()
{
    _state->scheduleDispatch();
}
