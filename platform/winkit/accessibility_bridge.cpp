#include "platform/winkit/accessibility_bridge.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/dbus_run_loop.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/process_info.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/application.h"
#include "platform/winkit/atspi_mapping.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kElementPathPrefix = "/org/a11y/atspi/accessible/";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
constexpr const char* kCachePath = "/org/a11y/atspi/cache";
constexpr const char* kRegistryName = "org.a11y.atspi.Registry";

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kApplication = "org.a11y.atspi.Application";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kValue = "org.a11y.atspi.Value";
constexpr const char* kCache = "org.a11y.atspi.Cache";
constexpr const char* kSocket = "org.a11y.atspi.Socket";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectable = "org.freedesktop.DBus.Introspectable";
constexpr const char* kObjectEvents = "org.a11y.atspi.Event.Object";
constexpr const char* kWindowEvents = "org.a11y.atspi.Event.Window";
constexpr const char* kFocusEvents = "org.a11y.atspi.Event.Focus";

constexpr const char* kCacheItemSignature = "((so)(so)(so)iiassusau)";
constexpr int kCallTimeoutMilliseconds = 5000;

// libdbus refuses text that is not UTF-8 (and may end the program over it): such bytes become '?'.
std::string validUTF8(const std::string& text)
{
    if (dbus_validate_utf8(text.c_str(), nullptr) && text.find('\0') == std::string::npos)
        return text;
    std::string clean;
    for (unsigned char c : text)
        clean += (c >= 0x20 && c < 0x7f) ? char(c) : '?';
    return clean;
}

// Appends values to a message, opening containers as it goes.
class Writer {
public:
    explicit Writer(DBusMessage* message) { dbus_message_iter_init_append(message, &_it); }
    explicit Writer(const DBusMessageIter& it)
        : _it(it)
    {
    }

    void string(const std::string& value)
    {
        std::string text = validUTF8(value);
        const char* c = text.c_str();
        dbus_message_iter_append_basic(&_it, DBUS_TYPE_STRING, &c);
    }
    void path(const std::string& value)
    {
        const char* c = value.c_str();
        dbus_message_iter_append_basic(&_it, DBUS_TYPE_OBJECT_PATH, &c);
    }
    void boolean(bool value)
    {
        dbus_bool_t b = value ? TRUE : FALSE;
        dbus_message_iter_append_basic(&_it, DBUS_TYPE_BOOLEAN, &b);
    }
    void int16(int16_t value) { dbus_message_iter_append_basic(&_it, DBUS_TYPE_INT16, &value); }
    void int32(int32_t value) { dbus_message_iter_append_basic(&_it, DBUS_TYPE_INT32, &value); }
    void uint32(uint32_t value) { dbus_message_iter_append_basic(&_it, DBUS_TYPE_UINT32, &value); }
    void real(double value)
    {
        double v = std::isfinite(value) ? value : 0.0;
        dbus_message_iter_append_basic(&_it, DBUS_TYPE_DOUBLE, &v);
    }

    void open(int type, const char* signature, const std::function<void(Writer&)>& fill)
    {
        DBusMessageIter sub;
        dbus_message_iter_open_container(&_it, type, signature, &sub);
        Writer inner(sub);
        fill(inner);
        dbus_message_iter_close_container(&_it, &inner._it);
    }
    void structure(const std::function<void(Writer&)>& fill) { open(DBUS_TYPE_STRUCT, nullptr, fill); }
    void array(const char* elementSignature, const std::function<void(Writer&)>& fill)
    {
        open(DBUS_TYPE_ARRAY, elementSignature, fill);
    }
    void variant(const char* signature, const std::function<void(Writer&)>& fill)
    {
        open(DBUS_TYPE_VARIANT, signature, fill);
    }
    void reference(const std::string& name, const std::string& objectPath)
    {
        structure([&](Writer& w) {
            w.string(name);
            w.path(objectPath);
        });
    }

private:
    DBusMessageIter _it;
};

// Reads the arguments of a request; each read fails (false) on a type mismatch.
class Reader {
public:
    explicit Reader(DBusMessage* message) { _valid = dbus_message_iter_init(message, &_it); }
    explicit Reader(const DBusMessageIter& it)
        : _it(it)
        , _valid(true)
    {
    }

    bool string(std::string& out)
    {
        return basic(DBUS_TYPE_STRING, [&](DBusMessageIter* it) { out = text(it); });
    }
    bool int32(int32_t& out)
    {
        return basic(DBUS_TYPE_INT32, [&](DBusMessageIter* it) { dbus_message_iter_get_basic(it, &out); });
    }
    bool uint32(uint32_t& out)
    {
        return basic(DBUS_TYPE_UINT32, [&](DBusMessageIter* it) { dbus_message_iter_get_basic(it, &out); });
    }
    // A variant holding a number of any width, as a double.
    bool variantNumber(double& out)
    {
        if (!_valid || dbus_message_iter_get_arg_type(&_it) != DBUS_TYPE_VARIANT)
            return false;
        DBusMessageIter inner;
        dbus_message_iter_recurse(&_it, &inner);
        bool ok = true;
        switch (dbus_message_iter_get_arg_type(&inner)) {
        case DBUS_TYPE_DOUBLE:
            dbus_message_iter_get_basic(&inner, &out);
            break;
        case DBUS_TYPE_INT32: {
            int32_t v;
            dbus_message_iter_get_basic(&inner, &v);
            out = v;
            break;
        }
        case DBUS_TYPE_UINT32: {
            uint32_t v;
            dbus_message_iter_get_basic(&inner, &v);
            out = v;
            break;
        }
        case DBUS_TYPE_INT64: {
            int64_t v;
            dbus_message_iter_get_basic(&inner, &v);
            out = double(v);
            break;
        }
        case DBUS_TYPE_INT16: {
            int16_t v;
            dbus_message_iter_get_basic(&inner, &v);
            out = v;
            break;
        }
        default:
            ok = false;
        }
        _valid = dbus_message_iter_next(&_it);
        return ok;
    }
    // The two strings of an object reference (a structure (so)).
    bool reference(std::string& name, std::string& objectPath)
    {
        if (!_valid || dbus_message_iter_get_arg_type(&_it) != DBUS_TYPE_STRUCT)
            return false;
        DBusMessageIter inner;
        dbus_message_iter_recurse(&_it, &inner);
        Reader fields(inner);
        bool ok = fields.string(name)
            && fields.basic(DBUS_TYPE_OBJECT_PATH, [&](DBusMessageIter* it) { objectPath = text(it); });
        _valid = dbus_message_iter_next(&_it);
        return ok;
    }

private:
    static std::string text(DBusMessageIter* it)
    {
        const char* c = nullptr;
        dbus_message_iter_get_basic(it, &c);
        return c ? c : "";
    }
    bool basic(int type, const std::function<void(DBusMessageIter*)>& get)
    {
        if (!_valid || dbus_message_iter_get_arg_type(&_it) != type)
            return false;
        get(&_it);
        _valid = dbus_message_iter_next(&_it);
        return true;
    }

    DBusMessageIter _it {};
    bool _valid = false;
};

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The session bus's address: $DBUS_SESSION_BUS_ADDRESS, else the per-user bus socket of the runtime folder.
// Never an address that would start a bus of its own.
std::string sessionBusAddress()
{
    std::string address = environment("DBUS_SESSION_BUS_ADDRESS");
    if (!address.empty())
        return address;
    std::string runtime = environment("XDG_RUNTIME_DIR");
    struct stat info { };
    if (!runtime.empty() && ::stat((runtime + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
        return "unix:path=" + runtime + "/bus";
    return {};
}

std::string applicationName()
{
    auto name = HXBundle::mainBundle()->objectForInfoDictionaryKey(kHFBundleNameKey).stringValue();
    return name.empty() ? HXProcessInfo::processInfo().processName() : name;
}

std::string localeName()
{
    const char* locale = std::setlocale(LC_MESSAGES, nullptr);
    std::string name = locale && *locale ? locale : "C";
    return name == "C" || name == "POSIX" ? "en_US" : name;
}

std::vector<std::shared_ptr<HXWindow>> shownWindows()
{
    std::vector<std::shared_ptr<HXWindow>> shown;
    if (!HXApplication::hasSharedApplication())
        return shown;
    for (auto& window : HXApplication::sharedApplication()->windows())
        if (window && window->isVisible())
            shown.push_back(window);
    return shown;
}

} // namespace

// MARK: The connection to the accessibility bus

struct HXAccessibilityBridge::Connection {
    DBusConnection* bus = nullptr;
    std::unique_ptr<HXDBusRunLoopSource> source;
    std::string uniqueName;
    std::string desktopName; // the registry's desktop, our application's parent
    std::string desktopPath = kNullPath;
    int32_t applicationId = 0;
    bool disconnected = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    // Paths of the elements: numbers given out in order, never reused.
    uint64_t nextId = 1;
    std::unordered_map<const HXObject*, uint64_t> ids;
    std::map<uint64_t, std::weak_ptr<HXObject>> elements;
    size_t pruneAt = 256;

    std::vector<HXObserverToken> observers;
    HXRunLoopSourceID passObserver = 0;
    std::vector<std::weak_ptr<HXWindow>> announcedWindows;
    std::weak_ptr<HXObject> focused;

    // What a request is addressed to: the application, or one element.
    struct Target {
        bool isRoot = false;
        std::shared_ptr<HXObject> element;
    };

    ~Connection() { close(); }
    bool open(const std::string& address);
    void close();

    // Paths and references.
    std::string pathFor(const std::shared_ptr<HXObject>& element);
    bool hasPath(const HXObject* element) const;
    std::optional<Target> targetAt(const std::string& objectPath);
    void writeReference(Writer& w, const std::shared_ptr<HXObject>& element);
    void writeRootReference(Writer& w) { w.reference(uniqueName, kRootPath); }
    void writeParent(Writer& w, const Target& target);
    void prune();

    // The tree.
    std::vector<std::shared_ptr<HXObject>> children(const Target& target);
    std::shared_ptr<HXObject> parentElement(HXObject& element);
    int32_t indexInParent(const Target& target);
    std::vector<std::string> interfaces(const Target& target);
    std::vector<std::string> actions(const Target& target);

    // Requests.
    static DBusHandlerResult filter(DBusConnection*, DBusMessage* message, void* data);
    DBusHandlerResult handle(DBusMessage* message);
    DBusMessage* handleProperties(DBusMessage* message, const Target& target, const std::string& member);
    bool writeProperty(
        Writer& w, const Target& target, const std::string& interface, const std::string& name);
    std::vector<std::string> propertyNames(const Target& target, const std::string& interface);
    DBusMessage* handleAccessible(DBusMessage* message, const Target& target, const std::string& member);
    DBusMessage* handleComponent(DBusMessage* message, const Target& target, const std::string& member);
    DBusMessage* handleAction(DBusMessage* message, const Target& target, const std::string& member);
    DBusMessage* handleApplication(DBusMessage* message, const Target& target, const std::string& member);
    DBusMessage* handleIntrospect(DBusMessage* message, const Target* target);
    HXRect extents(const Target& target, uint32_t coordinateType);

    // Registration and events.
    void embed();
    void didEmbed(DBusMessage* reply);
    void observe();
    void emit(const std::string& objectPath, const char* interface, const char* member,
        const std::string& detail, int32_t detail1, int32_t detail2, const char* variantSignature,
        const std::function<void(Writer&)>& value);
    void emitEmpty(const std::string& objectPath, const char* interface, const char* member,
        const std::string& detail, int32_t detail1 = 0, int32_t detail2 = 0);
    void valueChanged(const std::shared_ptr<HXObject>& element);
    void titleChanged(const std::shared_ptr<HXObject>& element);
    void focusChanged(const std::shared_ptr<HXObject>& element);
    void windowKeyChanged(const void* window, bool active);
    void checkWindows();
};

bool HXAccessibilityBridge::Connection::open(const std::string& address)
{
    bus = HXDBusOpenPrivateConnection(address);
    if (!bus)
        return false;
    const char* name = dbus_bus_get_unique_name(bus);
    uniqueName = name ? name : "";
    dbus_connection_add_filter(bus, &Connection::filter, this, nullptr);
    source = std::make_unique<HXDBusRunLoopSource>(bus, [this] {
        if (disconnected)
            close();
    });
    observe();
    embed();
    source->scheduleDispatch();
    return true;
}

void HXAccessibilityBridge::Connection::close()
{
    *alive = false;
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : observers)
        center.removeObserver(token);
    observers.clear();
    if (passObserver) {
        HXRunLoop::main().removeSource(passObserver);
        passObserver = 0;
    }
    source.reset();
    if (bus) {
        dbus_connection_remove_filter(bus, &Connection::filter, this);
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
        bus = nullptr;
    }
    HXRunLoop::main().cancelPerformRequests(this);
}

// MARK: Paths

std::string HXAccessibilityBridge::Connection::pathFor(const std::shared_ptr<HXObject>& element)
{
    if (!element)
        return kNullPath;
    auto it = ids.find(element.get());
    if (it != ids.end()) {
        auto known = elements.find(it->second);
        if (known != elements.end() && known->second.lock() == element)
            return kElementPathPrefix + std::to_string(it->second);
        // A new object at the address of one that is gone: it is a new element.
        if (known != elements.end())
            elements.erase(known);
    }
    uint64_t id = nextId++;
    ids[element.get()] = id;
    elements[id] = element;
    return kElementPathPrefix + std::to_string(id);
}

bool HXAccessibilityBridge::Connection::hasPath(const HXObject* element) const
{
    auto it = ids.find(element);
    if (it == ids.end())
        return false;
    auto known = elements.find(it->second);
    return known != elements.end() && known->second.lock().get() == element;
}

std::optional<HXAccessibilityBridge::Connection::Target> HXAccessibilityBridge::Connection::targetAt(
    const std::string& objectPath)
{
    if (objectPath == kRootPath)
        return Target { true, nullptr };
    std::string prefix = kElementPathPrefix;
    if (objectPath.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::string number = objectPath.substr(prefix.size());
    if (number.empty() || number.size() > 19
        || !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    auto known = elements.find(std::stoull(number));
    if (known == elements.end())
        return std::nullopt;
    auto element = known->second.lock();
    if (!element)
        return std::nullopt;
    return Target { false, element };
}

void HXAccessibilityBridge::Connection::writeReference(Writer& w, const std::shared_ptr<HXObject>& element)
{
    if (!element)
        w.reference(uniqueName, kNullPath);
    else
        w.reference(uniqueName, pathFor(element));
}

void HXAccessibilityBridge::Connection::prune()
{
    if (elements.size() < pruneAt)
        return;
    for (auto it = elements.begin(); it != elements.end();) {
        if (it->second.expired())
            it = elements.erase(it);
        else
            ++it;
    }
    for (auto it = ids.begin(); it != ids.end();) {
        if (!elements.count(it->second))
            it = ids.erase(it);
        else
            ++it;
    }
    pruneAt = std::max<size_t>(256, elements.size() * 2);
}

// MARK: The tree

std::vector<std::shared_ptr<HXObject>> HXAccessibilityBridge::Connection::children(const Target& target)
{
    std::vector<std::shared_ptr<HXObject>> list;
    if (target.isRoot) {
        for (auto& window : shownWindows())
            list.push_back(window);
        return list;
    }
    for (auto& child :
        HXAccessibility::attributeValue(*target.element, HXAccessibilityChildrenAttribute).elements()) {
        if (!child)
            continue;
        // A view may pass up an element that another one claims as its own (the timeline's knobs belong to
        // its track): it is listed under that parent only, so a client meets each element once.
        auto parent = parentElement(*child);
        if (parent && parent != target.element) {
            auto claimed = HXAccessibility::attributeValue(*parent, HXAccessibilityChildrenAttribute).elements();
            if (std::find(claimed.begin(), claimed.end(), child) != claimed.end())
                continue;
        }
        list.push_back(child);
    }
    return list;
}

std::shared_ptr<HXObject> HXAccessibilityBridge::Connection::parentElement(HXObject& element)
{
    if (dynamic_cast<HXWindow*>(&element))
        return nullptr;
    return HXAccessibility::attributeValue(element, HXAccessibilityParentAttribute).element();
}

void HXAccessibilityBridge::Connection::writeParent(Writer& w, const Target& target)
{
    if (target.isRoot) {
        w.reference(desktopName.empty() ? uniqueName : desktopName, desktopPath);
        return;
    }
    auto parent = parentElement(*target.element);
    if (parent)
        writeReference(w, parent);
    else
        writeRootReference(w);
}

int32_t HXAccessibilityBridge::Connection::indexInParent(const Target& target)
{
    if (target.isRoot)
        return -1;
    auto parent = parentElement(*target.element);
    auto siblings = children(parent ? Target { false, parent } : Target { true, nullptr });
    auto it = std::find(siblings.begin(), siblings.end(), target.element);
    return it == siblings.end() ? -1 : int32_t(it - siblings.begin());
}

std::vector<std::string> HXAccessibilityBridge::Connection::actions(const Target& target)
{
    if (target.isRoot)
        return {};
    return HXAccessibility::actionNames(*target.element);
}

std::vector<std::string> HXAccessibilityBridge::Connection::interfaces(const Target& target)
{
    if (target.isRoot)
        return { kAccessible, kApplication };
    std::vector<std::string> list { kAccessible, kComponent };
    if (!actions(target).empty())
        list.push_back(kAction);
    if (HXATSPI::hasValue(*target.element))
        list.push_back(kValue);
    return list;
}

HXRect HXAccessibilityBridge::Connection::extents(const Target& target, uint32_t coordinateType)
{
    if (target.isRoot)
        return {};
    double top = HXATSPI::primaryScreenTop();
    HXRect frame = HXATSPI::screenExtents(*target.element, top);
    if (coordinateType == HXATSPI::CoordinatesWindow) {
        std::shared_ptr<HXObject> window;
        if (auto* view = dynamic_cast<HXView*>(target.element.get()))
            window = view->window();
        else
            window
                = HXAccessibility::attributeValue(*target.element, HXAccessibilityWindowAttribute).element();
        if (window && window != target.element)
            return HXATSPI::relativeExtents(frame, HXATSPI::screenExtents(*window, top));
        if (window == target.element)
            return HXATSPI::relativeExtents(frame, frame);
    } else if (coordinateType == HXATSPI::CoordinatesParent) {
        if (auto parent = parentElement(*target.element))
            return HXATSPI::relativeExtents(frame, HXATSPI::screenExtents(*parent, top));
    }
    return frame;
}

// MARK: Requests

DBusHandlerResult HXAccessibilityBridge::Connection::filter(DBusConnection*, DBusMessage* message, void* data)
{
    auto* self = static_cast<Connection*>(data);
    if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
        self->disconnected = true;
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    return self->handle(message);
}

DBusHandlerResult HXAccessibilityBridge::Connection::handle(DBusMessage* message)
{
    std::string objectPath = dbus_message_get_path(message) ? dbus_message_get_path(message) : "";
    std::string interface = dbus_message_get_interface(message) ? dbus_message_get_interface(message) : "";
    std::string member = dbus_message_get_member(message) ? dbus_message_get_member(message) : "";

    DBusMessage* reply = nullptr;
    if (objectPath == kCachePath) {
        if (interface == kCache && member == "GetItems") {
            // Nothing is pushed ahead of time: clients ask for what they need.
            reply = dbus_message_new_method_return(message);
            Writer(reply).array(kCacheItemSignature, [](Writer&) {});
        } else if (interface == kIntrospectable && member == "Introspect") {
            reply = handleIntrospect(message, nullptr);
        }
    } else if (auto target = targetAt(objectPath)) {
        if (interface == kProperties)
            reply = handleProperties(message, *target, member);
        else if (interface == kIntrospectable && member == "Introspect")
            reply = handleIntrospect(message, &*target);
        else if (interface == kAccessible || interface.empty())
            reply = handleAccessible(message, *target, member);
        if (!reply && (interface == kComponent || interface.empty()) && !target->isRoot)
            reply = handleComponent(message, *target, member);
        if (!reply && (interface == kAction || interface.empty()) && !target->isRoot)
            reply = handleAction(message, *target, member);
        if (!reply && (interface == kApplication || interface.empty()) && target->isRoot)
            reply = handleApplication(message, *target, member);
    } else if (objectPath.compare(0, std::string(kElementPathPrefix).size(), kElementPathPrefix) == 0) {
        reply = dbus_message_new_error(
            message, "org.freedesktop.DBus.Error.UnknownObject", "The element is gone.");
    } else {
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }
    if (!reply)
        reply = dbus_message_new_error(
            message, DBUS_ERROR_UNKNOWN_METHOD, ("No method " + member + ".").c_str());
    if (reply) {
        if (!dbus_message_get_no_reply(message))
            dbus_connection_send(bus, reply, nullptr);
        dbus_message_unref(reply);
    }
    return DBUS_HANDLER_RESULT_HANDLED;
}

std::vector<std::string> HXAccessibilityBridge::Connection::propertyNames(
    const Target& target, const std::string& interface)
{
    auto supported = interfaces(target);
    if (std::find(supported.begin(), supported.end(), interface) == supported.end())
        return {};
    if (interface == kAccessible)
        return { "Name", "Description", "Parent", "ChildCount", "Locale", "AccessibleId", "HelpText" };
    if (interface == kApplication)
        return { "ToolkitName", "Version", "AtspiVersion", "Id" };
    if (interface == kAction)
        return { "NActions" };
    if (interface == kValue)
        return { "MinimumValue", "MaximumValue", "MinimumIncrement", "CurrentValue", "Text" };
    return {};
}

bool HXAccessibilityBridge::Connection::writeProperty(
    Writer& w, const Target& target, const std::string& interface, const std::string& name)
{
    auto names = propertyNames(target, interface);
    if (std::find(names.begin(), names.end(), name) == names.end())
        return false;
    HXObject* element = target.element.get();
    auto text = [&](const std::string& value) { w.variant("s", [&](Writer& v) { v.string(value); }); };
    auto number = [&](double value) { w.variant("d", [&](Writer& v) { v.real(value); }); };
    auto integer = [&](int32_t value) { w.variant("i", [&](Writer& v) { v.int32(value); }); };
    if (interface == kAccessible) {
        if (name == "Name")
            text(target.isRoot ? applicationName() : HXATSPI::name(*element));
        else if (name == "Description")
            text(target.isRoot ? std::string() : HXATSPI::description(*element));
        else if (name == "HelpText")
            text(target.isRoot
                    ? std::string()
                    : HXAccessibility::attributeValue(*element, HXAccessibilityHelpAttribute).stringValue());
        else if (name == "Parent")
            w.variant("(so)", [&](Writer& v) { writeParent(v, target); });
        else if (name == "ChildCount")
            integer(int32_t(children(target).size()));
        else if (name == "Locale")
            text(localeName());
        else if (name == "AccessibleId")
            text({});
    } else if (interface == kApplication) {
        if (name == "ToolkitName")
            text("winkit");
        else if (name == "Version")
            text(MOVARA_VERSION);
        else if (name == "AtspiVersion")
            text("2.1");
        else if (name == "Id")
            integer(applicationId);
    } else if (interface == kAction) {
        integer(int32_t(actions(target).size()));
    } else if (interface == kValue) {
        if (name == "MinimumValue")
            number(HXAccessibility::attributeValue(*element, HXAccessibilityMinValueAttribute).doubleValue());
        else if (name == "MaximumValue")
            number(HXAccessibility::attributeValue(*element, HXAccessibilityMaxValueAttribute).doubleValue());
        else if (name == "MinimumIncrement")
            number(0);
        else if (name == "CurrentValue")
            number(HXAccessibility::attributeValue(*element, HXAccessibilityValueAttribute).doubleValue());
        else if (name == "Text")
            text(HXATSPI::valueText(*element));
    }
    return true;
}

DBusMessage* HXAccessibilityBridge::Connection::handleProperties(
    DBusMessage* message, const Target& target, const std::string& member)
{
    Reader args(message);
    std::string interface, name;
    if (member == "Get") {
        if (!args.string(interface) || !args.string(name))
            return dbus_message_new_error(
                message, DBUS_ERROR_INVALID_ARGS, "Get takes an interface and a name.");
        DBusMessage* reply = dbus_message_new_method_return(message);
        Writer w(reply);
        if (!writeProperty(w, target, interface, name)) {
            dbus_message_unref(reply);
            return dbus_message_new_error(
                message, DBUS_ERROR_UNKNOWN_PROPERTY, ("No property " + name + ".").c_str());
        }
        return reply;
    }
    if (member == "GetAll") {
        if (!args.string(interface))
            return dbus_message_new_error(message, DBUS_ERROR_INVALID_ARGS, "GetAll takes an interface.");
        DBusMessage* reply = dbus_message_new_method_return(message);
        Writer(reply).array("{sv}", [&](Writer& list) {
            for (const auto& property : propertyNames(target, interface))
                list.open(DBUS_TYPE_DICT_ENTRY, nullptr, [&](Writer& entry) {
                    entry.string(property);
                    writeProperty(entry, target, interface, property);
                });
        });
        return reply;
    }
    if (member == "Set") {
        double value = 0;
        if (!args.string(interface) || !args.string(name) || !args.variantNumber(value))
            return dbus_message_new_error(
                message, DBUS_ERROR_INVALID_ARGS, "Set takes an interface, a name and a number.");
        if (target.isRoot && interface == kApplication && name == "Id") {
            applicationId = int32_t(value);
            return dbus_message_new_method_return(message);
        }
        if (!target.isRoot && interface == kValue && name == "CurrentValue"
            && HXATSPI::hasValue(*target.element)) {
            if (!HXAccessibility::setValue(*target.element, value, HXAccessibilityValueAttribute))
                return dbus_message_new_error(
                    message, DBUS_ERROR_PROPERTY_READ_ONLY, "The value cannot be set.");
            return dbus_message_new_method_return(message);
        }
        return dbus_message_new_error(
            message, DBUS_ERROR_PROPERTY_READ_ONLY, ("Cannot set " + name + ".").c_str());
    }
    return nullptr;
}

DBusMessage* HXAccessibilityBridge::Connection::handleAccessible(
    DBusMessage* message, const Target& target, const std::string& member)
{
    DBusMessage* reply = nullptr;
    auto answer = [&](const std::function<void(Writer&)>& fill) {
        reply = dbus_message_new_method_return(message);
        Writer w(reply);
        fill(w);
        return reply;
    };
    if (member == "GetChildAtIndex") {
        int32_t index = -1;
        if (!Reader(message).int32(index))
            return dbus_message_new_error(
                message, DBUS_ERROR_INVALID_ARGS, "GetChildAtIndex takes an index.");
        auto list = children(target);
        return answer([&](Writer& w) {
            writeReference(w, index >= 0 && size_t(index) < list.size() ? list[size_t(index)] : nullptr);
        });
    }
    if (member == "GetChildren") {
        auto list = children(target);
        return answer([&](Writer& w) {
            w.array("(so)", [&](Writer& a) {
                for (auto& child : list)
                    writeReference(a, child);
            });
        });
    }
    if (member == "GetIndexInParent")
        return answer([&](Writer& w) { w.int32(indexInParent(target)); });
    if (member == "GetRelationSet")
        return answer([&](Writer& w) { w.array("(ua(so))", [](Writer&) {}); });
    if (member == "GetRole")
        return answer([&](Writer& w) {
            w.uint32(target.isRoot ? HXATSPI::RoleApplication : HXATSPI::role(*target.element));
        });
    if (member == "GetRoleName" || member == "GetLocalizedRoleName") {
        uint32_t role = target.isRoot ? HXATSPI::RoleApplication : HXATSPI::role(*target.element);
        return answer([&](Writer& w) { w.string(HXATSPI::roleName(role)); });
    }
    if (member == "GetState") {
        std::array<uint32_t, 2> set {};
        if (!target.isRoot)
            set = HXATSPI::states(*target.element);
        return answer([&](Writer& w) {
            w.array("u", [&](Writer& a) {
                a.uint32(set[0]);
                a.uint32(set[1]);
            });
        });
    }
    if (member == "GetAttributes") {
        std::map<std::string, std::string> attributes { { "toolkit", "winkit" } };
        if (!target.isRoot) {
            if (auto text = HXATSPI::valueText(*target.element); !text.empty())
                attributes["valuetext"] = text;
        }
        return answer([&](Writer& w) {
            w.array("{ss}", [&](Writer& a) {
                for (const auto& attribute : attributes)
                    a.open(DBUS_TYPE_DICT_ENTRY, nullptr, [&](Writer& entry) {
                        entry.string(attribute.first);
                        entry.string(attribute.second);
                    });
            });
        });
    }
    if (member == "GetApplication")
        return answer([&](Writer& w) { writeRootReference(w); });
    if (member == "GetInterfaces") {
        auto list = interfaces(target);
        return answer([&](Writer& w) {
            w.array("s", [&](Writer& a) {
                for (const auto& name : list)
                    a.string(name);
            });
        });
    }
    return nullptr;
}

DBusMessage* HXAccessibilityBridge::Connection::handleComponent(
    DBusMessage* message, const Target& target, const std::string& member)
{
    auto answer = [&](const std::function<void(Writer&)>& fill) {
        DBusMessage* reply = dbus_message_new_method_return(message);
        Writer w(reply);
        fill(w);
        return reply;
    };
    auto roundedRect = [](HXRect r) {
        return std::array<int32_t, 4> { int32_t(std::lround(r.origin.x)), int32_t(std::lround(r.origin.y)),
            int32_t(std::lround(r.size.width)), int32_t(std::lround(r.size.height)) };
    };
    Reader args(message);
    if (member == "GetExtents") {
        uint32_t type = 0;
        args.uint32(type);
        auto r = roundedRect(extents(target, type));
        return answer([&](Writer& w) {
            w.structure([&](Writer& s) {
                for (int32_t v : r)
                    s.int32(v);
            });
        });
    }
    if (member == "GetPosition" || member == "GetSize") {
        uint32_t type = 0;
        if (member == "GetPosition")
            args.uint32(type);
        auto r = roundedRect(extents(target, type));
        bool position = member == "GetPosition";
        return answer([&](Writer& w) {
            w.int32(position ? r[0] : r[2]);
            w.int32(position ? r[1] : r[3]);
        });
    }
    if (member == "Contains" || member == "GetAccessibleAtPoint") {
        int32_t x = 0, y = 0;
        uint32_t type = 0;
        if (!args.int32(x) || !args.int32(y) || !args.uint32(type))
            return dbus_message_new_error(
                message, DBUS_ERROR_INVALID_ARGS, "Expected x, y and a coordinate type.");
        // The point on the screen, in X coordinates.
        HXRect frame = extents(target, type);
        HXRect onScreen = extents(target, HXATSPI::CoordinatesScreen);
        double sx = x + (onScreen.origin.x - frame.origin.x);
        double sy = y + (onScreen.origin.y - frame.origin.y);
        bool inside = sx >= onScreen.origin.x && sy >= onScreen.origin.y
            && sx < onScreen.origin.x + onScreen.size.width && sy < onScreen.origin.y + onScreen.size.height;
        if (member == "Contains")
            return answer([&](Writer& w) { w.boolean(inside); });
        std::shared_ptr<HXObject> hit;
        if (inside) {
            HXPoint point { sx, HXATSPI::primaryScreenTop() - sy };
            hit = HXAccessibility::hitTest(*target.element, point);
            if (hit == target.element)
                hit = nullptr; // the element itself is no child at that point
        }
        return answer([&](Writer& w) { writeReference(w, hit); });
    }
    if (member == "GetLayer") {
        bool window = dynamic_cast<HXWindow*>(target.element.get()) != nullptr;
        return answer([&](Writer& w) { w.uint32(window ? HXATSPI::LayerWindow : HXATSPI::LayerWidget); });
    }
    if (member == "GetMDIZOrder")
        return answer([&](Writer& w) { w.int16(0); });
    if (member == "GetAlpha")
        return answer([&](Writer& w) { w.real(1.0); });
    if (member == "GrabFocus") {
        bool ok = HXAccessibility::setValue(*target.element, true, HXAccessibilityFocusedAttribute);
        return answer([&](Writer& w) { w.boolean(ok); });
    }
    if (member == "SetExtents" || member == "SetPosition" || member == "SetSize" || member == "ScrollTo"
        || member == "ScrollToPoint")
        return answer([&](Writer& w) { w.boolean(false); });
    return nullptr;
}

DBusMessage* HXAccessibilityBridge::Connection::handleAction(
    DBusMessage* message, const Target& target, const std::string& member)
{
    auto list = actions(target);
    if (list.empty())
        return nullptr;
    auto answer = [&](const std::function<void(Writer&)>& fill) {
        DBusMessage* reply = dbus_message_new_method_return(message);
        Writer w(reply);
        fill(w);
        return reply;
    };
    if (member == "GetActions") {
        return answer([&](Writer& w) {
            w.array("(sss)", [&](Writer& a) {
                for (const auto& action : list)
                    a.structure([&](Writer& s) {
                        s.string(HXATSPI::actionName(action));
                        s.string(HXAccessibility::actionDescription(*target.element, action));
                        s.string({});
                    });
            });
        });
    }
    if (member != "GetName" && member != "GetLocalizedName" && member != "GetDescription"
        && member != "GetKeyBinding" && member != "DoAction")
        return nullptr;
    int32_t index = -1;
    if (!Reader(message).int32(index))
        return dbus_message_new_error(
            message, DBUS_ERROR_INVALID_ARGS, (member + " takes an index.").c_str());
    bool valid = index >= 0 && size_t(index) < list.size();
    std::string action = valid ? list[size_t(index)] : std::string();
    if (member == "DoAction") {
        if (valid) {
            // After the reply: the action may run a modal loop of its own.
            std::weak_ptr<HXObject> weak = target.element;
            std::weak_ptr<bool> live = alive;
            HXRunLoop::main().perform(
                [weak, action, live] {
                    auto element = weak.lock();
                    if (element && !live.expired() && *live.lock())
                        HXAccessibility::performAction(*element, action);
                },
                0, { HXRunLoopCommonModes }, this);
        }
        return answer([&](Writer& w) { w.boolean(valid); });
    }
    std::string text;
    if (valid && member == "GetName")
        text = HXATSPI::actionName(action);
    else if (valid && (member == "GetLocalizedName" || member == "GetDescription"))
        text = HXAccessibility::actionDescription(*target.element, action);
    return answer([&](Writer& w) { w.string(text); });
}

DBusMessage* HXAccessibilityBridge::Connection::handleApplication(
    DBusMessage* message, const Target&, const std::string& member)
{
    if (member != "GetLocale" && member != "GetApplicationBusAddress")
        return nullptr;
    DBusMessage* reply = dbus_message_new_method_return(message);
    // No private peer-to-peer bus: clients talk to us on the accessibility bus.
    Writer(reply).string(member == "GetLocale" ? localeName() : std::string());
    return reply;
}

DBusMessage* HXAccessibilityBridge::Connection::handleIntrospect(DBusMessage* message, const Target* target)
{
    std::string xml = "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\" "
                      "\"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
                      "  <interface name=\"org.freedesktop.DBus.Introspectable\"/>\n";
    if (target) {
        xml += "  <interface name=\"org.freedesktop.DBus.Properties\"/>\n";
        for (const auto& name : interfaces(*target))
            xml += "  <interface name=\"" + name + "\"/>\n";
    } else {
        xml += "  <interface name=\"org.a11y.atspi.Cache\"/>\n";
    }
    xml += "</node>\n";
    DBusMessage* reply = dbus_message_new_method_return(message);
    Writer(reply).string(xml);
    return reply;
}

// MARK: Registration

namespace {

struct PendingEmbed {
    std::weak_ptr<bool> alive;
    HXAccessibilityBridge::Connection* connection;
};

} // namespace

void HXAccessibilityBridge::Connection::embed()
{
    DBusMessage* call = dbus_message_new_method_call(kRegistryName, kRootPath, kSocket, "Embed");
    Writer(call).reference(uniqueName, kRootPath);
    DBusPendingCall* pending = nullptr;
    if (dbus_connection_send_with_reply(bus, call, &pending, kCallTimeoutMilliseconds) && pending) {
        dbus_pending_call_set_notify(
            pending,
            [](DBusPendingCall* done, void* data) {
                auto* p = static_cast<PendingEmbed*>(data);
                if (DBusMessage* reply = dbus_pending_call_steal_reply(done)) {
                    if (auto live = p->alive.lock(); live && *live)
                        p->connection->didEmbed(reply);
                    dbus_message_unref(reply);
                }
                dbus_pending_call_unref(done);
            },
            new PendingEmbed { alive, this }, [](void* p) { delete static_cast<PendingEmbed*>(p); });
    }
    dbus_message_unref(call);
}

void HXAccessibilityBridge::Connection::didEmbed(DBusMessage* reply)
{
    // Without a registry (a bare bus) the application is simply not on any desktop.
    if (dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN)
        return;
    std::string name, objectPath;
    if (Reader(reply).reference(name, objectPath)) {
        desktopName = name;
        desktopPath = objectPath;
    }
}

// MARK: Events

void HXAccessibilityBridge::Connection::emit(const std::string& objectPath, const char* interface,
    const char* member, const std::string& detail, int32_t detail1, int32_t detail2,
    const char* variantSignature, const std::function<void(Writer&)>& value)
{
    if (!bus)
        return;
    DBusMessage* signal = dbus_message_new_signal(objectPath.c_str(), interface, member);
    Writer w(signal);
    w.string(detail);
    w.int32(detail1);
    w.int32(detail2);
    w.variant(variantSignature, value);
    w.array("{sv}", [](Writer&) {});
    dbus_connection_send(bus, signal, nullptr);
    dbus_message_unref(signal);
}

void HXAccessibilityBridge::Connection::emitEmpty(const std::string& objectPath, const char* interface,
    const char* member, const std::string& detail, int32_t detail1, int32_t detail2)
{
    emit(objectPath, interface, member, detail, detail1, detail2, "i", [](Writer& w) { w.int32(0); });
}

void HXAccessibilityBridge::Connection::valueChanged(const std::shared_ptr<HXObject>& element)
{
    // Only elements a client has met are announced: the rest change unseen (the timeline moves all the time).
    if (!element || !hasPath(element.get()))
        return;
    std::string objectPath = pathFor(element);
    if (HXATSPI::hasValue(*element)) {
        double value = HXAccessibility::attributeValue(*element, HXAccessibilityValueAttribute).doubleValue();
        emit(objectPath, kObjectEvents, "PropertyChange", "accessible-value", 0, 0, "d",
            [value](Writer& w) { w.real(value); });
        return;
    }
    auto set = HXATSPI::states(*element);
    if (HXATSPI::hasState(set, HXATSPI::StateCheckable))
        emitEmpty(objectPath, kObjectEvents, "StateChanged", "checked",
            HXATSPI::hasState(set, HXATSPI::StateChecked));
}

void HXAccessibilityBridge::Connection::titleChanged(const std::shared_ptr<HXObject>& element)
{
    if (!element || !hasPath(element.get()))
        return;
    std::string name = HXATSPI::name(*element);
    emit(pathFor(element), kObjectEvents, "PropertyChange", "accessible-name", 0, 0, "s",
        [&name](Writer& w) { w.string(name); });
}

void HXAccessibilityBridge::Connection::focusChanged(const std::shared_ptr<HXObject>& element)
{
    if (!element)
        return;
    if (auto previous = focused.lock(); previous && previous != element && hasPath(previous.get()))
        emitEmpty(pathFor(previous), kObjectEvents, "StateChanged", "focused", 0);
    focused = element;
    // Focus is announced whether or not a client has met the element: that is how a screen reader meets it.
    std::string objectPath = pathFor(element);
    emitEmpty(objectPath, kObjectEvents, "StateChanged", "focused", 1);
    emitEmpty(objectPath, kFocusEvents, "Focus", {});
}

void HXAccessibilityBridge::Connection::windowKeyChanged(const void* object, bool active)
{
    for (auto& window : shownWindows()) {
        if (window.get() != object)
            continue;
        std::string objectPath = pathFor(window);
        emitEmpty(objectPath, kObjectEvents, "StateChanged", "active", active ? 1 : 0);
        emit(objectPath, kWindowEvents, active ? "Activate" : "Deactivate", {}, 0, 0, "s",
            [&window](Writer& w) { w.string(window->title()); });
        return;
    }
}

void HXAccessibilityBridge::Connection::checkWindows()
{
    auto shown = shownWindows();
    std::vector<std::shared_ptr<HXWindow>> before;
    for (auto& weak : announcedWindows)
        if (auto window = weak.lock())
            before.push_back(window);
    for (size_t i = 0; i < before.size(); ++i) {
        auto& window = before[i];
        if (std::find(shown.begin(), shown.end(), window) != shown.end())
            continue;
        std::string objectPath = pathFor(window);
        emit(kRootPath, kObjectEvents, "ChildrenChanged", "remove", int32_t(i), 0, "(so)",
            [&](Writer& w) { w.reference(uniqueName, objectPath); });
        emit(objectPath, kWindowEvents, "Destroy", {}, 0, 0, "s",
            [&](Writer& w) { w.string(window->title()); });
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        auto& window = shown[i];
        if (std::find(before.begin(), before.end(), window) != before.end())
            continue;
        std::string objectPath = pathFor(window);
        emit(kRootPath, kObjectEvents, "ChildrenChanged", "add", int32_t(i), 0, "(so)",
            [&](Writer& w) { w.reference(uniqueName, objectPath); });
        emit(objectPath, kWindowEvents, "Create", {}, 0, 0, "s",
            [&](Writer& w) { w.string(window->title()); });
    }
    announcedWindows.assign(shown.begin(), shown.end());
    prune();
}

void HXAccessibilityBridge::Connection::observe()
{
    auto& center = HXNotificationCenter::defaultCenter();
    std::weak_ptr<bool> live = alive;
    auto guard = [this, live](auto fn) {
        return [this, live, fn](const HXNotification& note) {
            if (auto l = live.lock(); l && *l && bus)
                fn(this, note);
        };
    };
    observers.push_back(center.addObserver(HXAccessibilityValueChangedNotification, nullptr,
        guard([](Connection* self, const HXNotification& note) {
            self->valueChanged(note.objectAs<HXObject>());
        })));
    observers.push_back(center.addObserver(HXAccessibilityTitleChangedNotification, nullptr,
        guard([](Connection* self, const HXNotification& note) {
            self->titleChanged(note.objectAs<HXObject>());
        })));
    observers.push_back(center.addObserver(HXAccessibilityFocusedUIElementChangedNotification, nullptr,
        guard([](Connection* self, const HXNotification& note) {
            self->focusChanged(note.objectAs<HXObject>());
        })));
    observers.push_back(center.addObserver(
        HXWindowDidBecomeKeyNotification, nullptr, guard([](Connection* self, const HXNotification& note) {
            self->windowKeyChanged(note.object(), true);
        })));
    observers.push_back(center.addObserver(
        HXWindowDidResignKeyNotification, nullptr, guard([](Connection* self, const HXNotification& note) {
            self->windowKeyChanged(note.object(), false);
        })));
    // Windows come and go in many ways; the list is compared before the loop sleeps.
    announcedWindows.clear();
    for (auto& window : shownWindows())
        announcedWindows.push_back(window);
    passObserver = HXRunLoop::main().addObserver(HXRunLoopBeforeWaiting, [this, live](HXRunLoopActivity) {
        if (auto l = live.lock(); l && *l && bus)
            checkWindows();
    });
}

// MARK: Finding the bus through the session

struct HXAccessibilityBridge::Lookup {
    DBusConnection* bus = nullptr;
    std::unique_ptr<HXDBusRunLoopSource> source;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    std::function<void(const std::string&)> found;

    ~Lookup()
    {
        *alive = false;
        source.reset();
        if (bus) {
            dbus_connection_close(bus);
            dbus_connection_unref(bus);
        }
        HXRunLoop::main().cancelPerformRequests(this);
    }

    bool start(const std::string& sessionAddress)
    {
        bus = HXDBusOpenPrivateConnection(sessionAddress);
        if (!bus)
            return false;
        source = std::make_unique<HXDBusRunLoopSource>(bus);
        DBusMessage* call
            = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
        DBusPendingCall* pending = nullptr;
        bool sent = dbus_connection_send_with_reply(bus, call, &pending, kCallTimeoutMilliseconds) && pending;
        dbus_message_unref(call);
        if (!sent)
            return false;
        struct Pending {
            std::weak_ptr<bool> alive;
            Lookup* lookup;
        };
        dbus_pending_call_set_notify(
            pending,
            [](DBusPendingCall* done, void* data) {
                auto* p = static_cast<Pending*>(data);
                DBusMessage* reply = dbus_pending_call_steal_reply(done);
                std::string address;
                if (reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN)
                    Reader(reply).string(address);
                if (reply)
                    dbus_message_unref(reply);
                dbus_pending_call_unref(done);
                auto live = p->alive.lock();
                if (!live || !*live)
                    return;
                // Not from inside the session connection's dispatch: the answer may end the lookup.
                Lookup* lookup = p->lookup;
                std::weak_ptr<bool> weak = live;
                HXRunLoop::main().perform(
                    [lookup, weak, address] {
                        if (auto l = weak.lock(); l && *l && lookup->found)
                            lookup->found(address);
                    },
                    0, { HXRunLoopCommonModes }, lookup);
            },
            new Pending { alive, this }, [](void* p) { delete static_cast<Pending*>(p); });
        return true;
    }
};

// MARK: HXAccessibilityBridge

HXAccessibilityBridge::HXAccessibilityBridge() = default;

HXAccessibilityBridge::~HXAccessibilityBridge()
{
    stop();
}

HXAccessibilityBridge& HXAccessibilityBridge::shared()
{
    static auto* bridge = new HXAccessibilityBridge();
    return *bridge;
}

bool HXAccessibilityBridge::start()
{
    if (_connection || _lookup)
        return true;
    if (environment("NO_AT_BRIDGE") == "1")
        return false;
    std::string direct = environment("AT_SPI_BUS_ADDRESS");
    if (!direct.empty())
        return startWithAddress(direct);
    std::string session = sessionBusAddress();
    if (session.empty())
        return false;
    auto lookup = std::make_unique<Lookup>();
    lookup->found = [this](const std::string& address) {
        // The session connection has done its work; the accessibility bus is joined in its stead.
        auto done = std::move(_lookup);
        if (!address.empty())
            startWithAddress(address);
        HXRunLoop::main().perform(
            [keep = std::shared_ptr<Lookup>(std::move(done))] {}, 0, { HXRunLoopCommonModes });
    };
    if (!lookup->start(session))
        return false;
    _lookup = std::move(lookup);
    return true;
}

bool HXAccessibilityBridge::startWithAddress(const std::string& address)
{
    stop();
    auto connection = std::make_unique<Connection>();
    if (address.empty() || !connection->open(address))
        return false;
    _connection = std::move(connection);
    return true;
}

void HXAccessibilityBridge::stop()
{
    _lookup.reset();
    _connection.reset();
}

bool HXAccessibilityBridge::isConnected() const
{
    return _connection && _connection->bus && !_connection->disconnected;
}

std::string HXAccessibilityBridge::uniqueName() const
{
    return isConnected() ? _connection->uniqueName : std::string();
}

std::string HXAccessibilityBridge::pathForElement(const std::shared_ptr<HXObject>& element)
{
    return _connection ? _connection->pathFor(element) : std::string(kNullPath);
}
