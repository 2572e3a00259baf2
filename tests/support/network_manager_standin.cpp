#include "network_manager_standin.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <cstring>

namespace movara::test {

namespace {

constexpr const char* kName = "org.freedesktop.NetworkManager";
constexpr const char* kPath = "/org/freedesktop/NetworkManager";
constexpr const char* kActivePath = "/org/freedesktop/NetworkManager/ActiveConnection/1";
constexpr const char* kDevicePrefix = "/org/freedesktop/NetworkManager/Devices/";

void appendEntry(DBusMessageIter* dict, const char* name, int type, const void* value)
{
    const char signature[2] = { char(type), 0 };
    DBusMessageIter entry, variant;
    dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &name);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
    dbus_message_iter_append_basic(&variant, type, value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dict, &entry);
}

} // namespace

NetworkManagerStandIn::NetworkManagerStandIn(const std::string& busAddress)
{
    DBusError error;
    dbus_error_init(&error);
    _bus = dbus_connection_open_private(busAddress.c_str(), &error);
    if (_bus && dbus_bus_register(_bus, &error)
        && dbus_bus_request_name(_bus, kName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error)
            == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        dbus_connection_set_exit_on_disconnect(_bus, FALSE);
        _ready = true;
        _thread = std::thread([this] { serve(); });
    }
    dbus_error_free(&error);
}

NetworkManagerStandIn::~NetworkManagerStandIn()
{
    _stop = true;
    if (_thread.joinable())
        _thread.join();
    if (_bus) {
        dbus_connection_close(_bus);
        dbus_connection_unref(_bus);
    }
}

void NetworkManagerStandIn::setState(uint32_t state, uint32_t connectivity, const std::string& primaryConnection)
{
    std::lock_guard lock(_mutex);
    _state = state;
    _connectivity = connectivity;
    _primary = primaryConnection;
}

void NetworkManagerStandIn::setConnectivityAfterCheck(uint32_t connectivity)
{
    std::lock_guard lock(_mutex);
    _afterCheck = connectivity;
}

void NetworkManagerStandIn::setDevices(std::vector<Device> devices)
{
    std::lock_guard lock(_mutex);
    _devices = std::move(devices);
}

void NetworkManagerStandIn::serve()
{
    while (!_stop && dbus_connection_read_write(_bus, 50)) {
        while (DBusMessage* message = dbus_connection_pop_message(_bus)) {
            if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
                if (DBusMessage* reply = answer(message)) {
                    dbus_connection_send(_bus, reply, nullptr);
                    dbus_message_unref(reply);
                }
            }
            dbus_message_unref(message);
        }
        dbus_connection_flush(_bus);
    }
}

DBusMessage* NetworkManagerStandIn::answer(DBusMessage* call)
{
    std::lock_guard lock(_mutex);
    const char* path = dbus_message_get_path(call);
    std::string where = path ? path : "";
    if (dbus_message_is_method_call(call, kName, "CheckConnectivity") && where == kPath) {
        ++_checks;
        _connectivity = _afterCheck;
        _state = _afterCheck == 4 ? 70 : 60;
        DBusMessage* reply = dbus_message_new_method_return(call);
        dbus_message_append_args(reply, DBUS_TYPE_UINT32, &_connectivity, DBUS_TYPE_INVALID);
        return reply;
    }
    if (dbus_message_is_method_call(call, kName, "GetDevices") && where == kPath) {
        DBusMessage* reply = dbus_message_new_method_return(call);
        DBusMessageIter args, array;
        dbus_message_iter_init_append(reply, &args);
        dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, DBUS_TYPE_OBJECT_PATH_AS_STRING, &array);
        for (size_t i = 0; i < _devices.size(); ++i) {
            std::string device = kDevicePrefix + std::to_string(i + 1);
            const char* p = device.c_str();
            dbus_message_iter_append_basic(&array, DBUS_TYPE_OBJECT_PATH, &p);
        }
        dbus_message_iter_close_container(&args, &array);
        return reply;
    }
    const char* interface = nullptr;
    if (!dbus_message_is_method_call(call, DBUS_INTERFACE_PROPERTIES, "GetAll")
        || !dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID))
        return dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, "not served by the stand-in");

    DBusMessage* reply = dbus_message_new_method_return(call);
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(reply, &args);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict);
    std::string which = interface;
    if (where == kPath && which == kName) {
        const char* primary = _primary.empty() ? "/" : kActivePath;
        appendEntry(&dict, "State", DBUS_TYPE_UINT32, &_state);
        appendEntry(&dict, "Connectivity", DBUS_TYPE_UINT32, &_connectivity);
        appendEntry(&dict, "PrimaryConnection", DBUS_TYPE_OBJECT_PATH, &primary);
    } else if (where == kActivePath && which == std::string(kName) + ".Connection.Active") {
        const char* id = _primary.c_str();
        appendEntry(&dict, "Id", DBUS_TYPE_STRING, &id);
    } else if (where.rfind(kDevicePrefix, 0) == 0 && which == std::string(kName) + ".Device") {
        size_t index = size_t(std::atoi(where.c_str() + std::strlen(kDevicePrefix)));
        if (index >= 1 && index <= _devices.size()) {
            const Device& device = _devices[index - 1];
            const char* name = device.interface.c_str();
            appendEntry(&dict, "Interface", DBUS_TYPE_STRING, &name);
            appendEntry(&dict, "DeviceType", DBUS_TYPE_UINT32, &device.type);
            appendEntry(&dict, "State", DBUS_TYPE_UINT32, &device.state);
        }
    }
    dbus_message_iter_close_container(&args, &dict);
    return reply;
}

} // namespace movara::test
