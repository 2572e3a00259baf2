#include "platform/basekit/network_diagnostics.h"

#include "platform/basekit/dbus_run_loop.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <variant>

namespace {

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kPath = "/org/freedesktop/NetworkManager";
constexpr const char* kInterface = "org.freedesktop.NetworkManager";
constexpr const char* kActiveInterface = "org.freedesktop.NetworkManager.Connection.Active";
constexpr const char* kDeviceInterface = "org.freedesktop.NetworkManager.Device";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr int kCallMilliseconds = 2000;
// A connectivity test goes out to the internet: it may take longer.
constexpr int kCheckMilliseconds = 8000;
constexpr long kDeviceTypeLoopback = 32;

struct Close {
    void operator()(DBusConnection* bus) const
    {
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
    }
};
using Bus = std::unique_ptr<DBusConnection, Close>;

struct Unref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, Unref>;

Bus systemBus()
{
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return Bus(HXDBusOpenPrivateConnection(
        address && *address ? address : "unix:path=/var/run/dbus/system_bus_socket"));
}

// A call and its reply; null when the call failed or no reply came in time.
Message call(DBusConnection* bus, Message request, int milliseconds = kCallMilliseconds)
{
    if (!request)
        return nullptr;
    // Never started for us: where the service does not run, there is nothing to ask.
    dbus_message_set_auto_start(request.get(), FALSE);
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, request.get(), milliseconds, &error);
    dbus_error_free(&error);
    return Message(reply);
}

using Value = std::variant<std::monostate, long, std::string, std::vector<std::string>>;

// The value inside a variant: integers, strings and object paths, arrays of object paths.
Value readVariant(DBusMessageIter* variant)
{
    DBusMessageIter inner;
    dbus_message_iter_recurse(variant, &inner);
    switch (dbus_message_iter_get_arg_type(&inner)) {
    case DBUS_TYPE_UINT32: {
        dbus_uint32_t v = 0;
        dbus_message_iter_get_basic(&inner, &v);
        return long(v);
    }
    case DBUS_TYPE_INT32: {
        dbus_int32_t v = 0;
        dbus_message_iter_get_basic(&inner, &v);
        return long(v);
    }
    case DBUS_TYPE_STRING:
    case DBUS_TYPE_OBJECT_PATH: {
        const char* v = nullptr;
        dbus_message_iter_get_basic(&inner, &v);
        return std::string(v ? v : "");
    }
    case DBUS_TYPE_ARRAY: {
        std::vector<std::string> paths;
        DBusMessageIter items;
        dbus_message_iter_recurse(&inner, &items);
        while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_OBJECT_PATH) {
            const char* v = nullptr;
            dbus_message_iter_get_basic(&items, &v);
            paths.emplace_back(v ? v : "");
            dbus_message_iter_next(&items);
        }
        return paths;
    }
    default:
        return {};
    }
}

// Properties.GetAll of `interface` on `path`: the properties we can read, by name.
std::optional<std::map<std::string, Value>> allProperties(
    DBusConnection* bus, const char* path, const char* interface)
{
    Message request(dbus_message_new_method_call(kService, path, kProperties, "GetAll"));
    if (!request)
        return std::nullopt;
    dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID);
    Message reply = call(bus, std::move(request));
    if (!reply || dbus_message_get_type(reply.get()) != DBUS_MESSAGE_TYPE_METHOD_RETURN)
        return std::nullopt;
    DBusMessageIter args, entries;
    if (!dbus_message_iter_init(reply.get(), &args) || dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY)
        return std::nullopt;
    std::map<std::string, Value> properties;
    dbus_message_iter_recurse(&args, &entries);
    while (dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&entries, &entry);
        if (dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING) {
            const char* name = nullptr;
            dbus_message_iter_get_basic(&entry, &name);
            dbus_message_iter_next(&entry);
            if (name && dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_VARIANT)
                properties[name] = readVariant(&entry);
        }
        dbus_message_iter_next(&entries);
    }
    return properties;
}

long integer(const std::map<std::string, Value>& properties, const char* name)
{
    auto it = properties.find(name);
    const long* v = it == properties.end() ? nullptr : std::get_if<long>(&it->second);
    return v ? *v : 0;
}

std::string text(const std::map<std::string, Value>& properties, const char* name)
{
    auto it = properties.find(name);
    const std::string* v = it == properties.end() ? nullptr : std::get_if<std::string>(&it->second);
    return v ? *v : std::string();
}

std::optional<HXNetworkStatus> readStatus(DBusConnection* bus)
{
    auto manager = allProperties(bus, kPath, kInterface);
    if (!manager)
        return std::nullopt;
    HXNetworkStatus status;
    status.state = integer(*manager, "State");
    status.connectivity = integer(*manager, "Connectivity");
    std::string primary = text(*manager, "PrimaryConnection");
    if (!primary.empty() && primary != "/")
        if (auto active = allProperties(bus, primary.c_str(), kActiveInterface))
            status.primaryConnection = text(*active, "Id");
    status.description = HXNetworkDiagnostics::describe(status.state, status.connectivity, status.primaryConnection);
    return status;
}

const char* deviceTypeName(long type)
{
    switch (type) {
    case 1: return "Ethernet";
    case 2: return "Wi-Fi";
    case 5: return "Bluetooth";
    case 8: return "mobile broadband";
    case 13: return "bridge";
    case 14: return "VLAN";
    case 16: return "tunnel";
    case 29: return "WireGuard";
    default: return "network";
    }
}

const char* deviceStateName(long state)
{
    if (state == 100)
        return "connected";
    if (state == 120)
        return "failed to connect";
    if (state == 110)
        return "disconnecting";
    if (state >= 40 && state < 100)
        return "connecting";
    if (state == 30)
        return "disconnected";
    if (state == 20)
        return "unavailable (no cable, no network in reach, or switched off)";
    if (state == 10)
        return "not managed";
    return "in an unknown state";
}

} // namespace

std::string HXNetworkDiagnostics::describe(long state, long connectivity, const std::string& connection)
{
    std::string via = connection.empty() ? std::string() : " (" + connection + ")";
    switch (state) {
    case 10:
        return "Networking is turned off.";
    case 20:
        return "The computer is not connected to any network.";
    case 30:
        return "The computer is disconnecting from its network" + via + ".";
    case 40:
        return "The computer is still connecting to a network" + via + ".";
    case 50:
        return "The computer is connected to the local network only" + via + ": the internet cannot be reached.";
    case 60:
        return "The computer is connected to a network" + via + " from which the internet cannot be reached.";
    case 70:
        if (connectivity == 2)
            return "The network" + via + " asks for a sign-in page before it lets anything reach the internet.";
        if (connectivity == 3 || connectivity == 1)
            return "The network" + via + " reaches the internet only in part.";
        return "The computer is connected to the internet" + via
            + ": the movie's server may be down, or it refuses the connection.";
    default:
        return "The state of the network is not known.";
    }
}

std::optional<HXNetworkStatus> HXNetworkDiagnostics::copyNetworkStatusPassively()
{
    Bus bus = systemBus();
    if (!bus)
        return std::nullopt;
    return readStatus(bus.get());
}

std::optional<HXNetworkDiagnostics::Diagnosis> HXNetworkDiagnostics::diagnoseProblem()
{
    Bus bus = systemBus();
    if (!bus)
        return std::nullopt;
    // A fresh test of the way out, whose answer lands in the state read below. A service that does not
    // let us ask (or has testing turned off) still tells what it last knew.
    Message check(dbus_message_new_method_call(kService, kPath, kInterface, "CheckConnectivity"));
    call(bus.get(), std::move(check), kCheckMilliseconds);
    auto status = readStatus(bus.get());
    if (!status)
        return std::nullopt;
    Diagnosis diagnosis;
    diagnosis.status = *status;
    diagnosis.report = status->description;
    Message request(dbus_message_new_method_call(kService, kPath, kInterface, "GetDevices"));
    Message reply = call(bus.get(), std::move(request));
    DBusMessageIter args, items;
    if (reply && dbus_message_iter_init(reply.get(), &args) && dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_ARRAY) {
        dbus_message_iter_recurse(&args, &items);
        std::vector<std::string> paths;
        while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_OBJECT_PATH) {
            const char* path = nullptr;
            dbus_message_iter_get_basic(&items, &path);
            if (path)
                paths.emplace_back(path);
            dbus_message_iter_next(&items);
        }
        for (const auto& path : paths) {
            auto properties = allProperties(bus.get(), path.c_str(), kDeviceInterface);
            if (!properties)
                continue;
            HXNetworkDevice device;
            device.interface = text(*properties, "Interface");
            device.type = integer(*properties, "DeviceType");
            device.state = integer(*properties, "State");
            if (device.type == kDeviceTypeLoopback)
                continue;
            device.description = device.interface + " (" + deviceTypeName(device.type) + "): " + deviceStateName(device.state);
            diagnosis.report += "\n" + device.description;
            diagnosis.devices.push_back(std::move(device));
        }
    }
    return diagnosis;
}
