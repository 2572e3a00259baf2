#include "platform/basekit/secret_store.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

constexpr const char* kSecretsBusName = "org.freedesktop.secrets";

// A session bus is only used where the session names one: asking GLib for it otherwise may start a
// bus of its own for the display, which would outlive the player.
bool sessionBusNamed()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return false;
    struct stat st { };
    return ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

GDBusConnection* sessionBus()
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return nullptr;
    }
    // The shared connection would end the whole program when the bus goes away.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
}

// Whether `call` on the bus daemon answers a list or a boolean that names the Secret Service.
bool busAnswers(GDBusConnection* bus, const char* method, GVariant* parameters)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
    if (!reply) {
        g_clear_error(&error);
        return false;
    }
    bool found = false;
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(b)"))) {
        gboolean owned = FALSE;
        g_variant_get(reply, "(b)", &owned);
        found = owned;
    } else if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(as)"))) {
        GVariantIter* names = nullptr;
        const char* name = nullptr;
        g_variant_get(reply, "(as)", &names);
        while (!found && g_variant_iter_loop(names, "&s", &name))
            found = g_strcmp0(name, kSecretsBusName) == 0;
        g_variant_iter_free(names);
    }
    g_variant_unref(reply);
    return found;
}

// The context on which the store's calls finish: the caller waits on it, not on the program's run loop.
GMainContext* storeContext()
{
    static GMainContext* context = g_main_context_new();
    return context;
}

struct Call {
    GAsyncResult* result = nullptr;
};

void callFinished(GObject*, GAsyncResult* result, gpointer data)
{
    static_cast<Call*>(data)->result = G_ASYNC_RESULT(g_object_ref(result));
}

gboolean cancelCall(gpointer cancellable)
{
    g_cancellable_cancel(G_CANCELLABLE(cancellable));
    return G_SOURCE_REMOVE;
}

// Starts one asynchronous call and waits for its end, cancelling it after `timeout` seconds. The result
// is the caller's to finish and release.
template <typename Start>
GAsyncResult* runCall(Start start, double timeout, bool* timedOut)
{
    GMainContext* context = storeContext();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    GSource* timer = g_timeout_source_new(guint(timeout * 1000));
    g_source_set_callback(timer, cancelCall, cancellable, nullptr);
    g_source_attach(timer, context);
    Call call;
    start(cancellable, callFinished, &call);
    while (!call.result)
        g_main_context_iteration(context, TRUE);
    *timedOut = g_cancellable_is_cancelled(cancellable);
    g_source_destroy(timer);
    g_source_unref(timer);
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    return call.result;
}

// The schema and attribute table libsecret takes, alive as long as this object.
struct Request {
    SecretSchema* schema;
    GHashTable* attributes;
    Request(const std::string& name, const HXSecretStore::Attributes& values)
    {
        GHashTable* types = g_hash_table_new(g_str_hash, g_str_equal);
        attributes = g_hash_table_new(g_str_hash, g_str_equal);
        for (const auto& [key, value] : values) {
            g_hash_table_insert(types, const_cast<char*>(key.c_str()), GINT_TO_POINTER(SECRET_SCHEMA_ATTRIBUTE_STRING));
            g_hash_table_insert(attributes, const_cast<char*>(key.c_str()), const_cast<char*>(value.c_str()));
        }
        schema = secret_schema_newv(name.c_str(), SECRET_SCHEMA_NONE, types);
        g_hash_table_unref(types);
    }
    ~Request()
    {
        g_hash_table_unref(attributes);
        secret_schema_unref(schema);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
};

HXSecretStore::Status failure(GError* error, bool timedOut, std::string* message)
{
    HXSecretStore::Status status = HXSecretStore::Status::Failed;
    if (error && error->domain == G_DBUS_ERROR
        && (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        status = HXSecretStore::Status::NoService;
    if (message)
        *message = timedOut ? std::string("The keyring did not answer in time.")
                            : std::string(error && error->message ? error->message : "The keyring refused.");
    g_clear_error(&error);
    return status;
}

// One call to the Secret Service: `start` begins it, `finish` reads its result (an error it sets wins).
template <typename Start, typename Finish>
HXSecretStore::Status secretCall(const std::string& schema, const HXSecretStore::Attributes& attributes,
    double timeout, std::string* message, Start start, Finish finish)
{
    if (!HXSecretStore::isRunning())
        return HXSecretStore::Status::NoService;
    Request request(schema, attributes);
    bool timedOut = false;
    GAsyncResult* result = runCall(
        [&](GCancellable* c, GAsyncReadyCallback done, gpointer data) { start(request, c, done, data); }, timeout,
        &timedOut);
    GError* error = nullptr;
    HXSecretStore::Status status = finish(result, &error);
    g_object_unref(result);
    if (error || status == HXSecretStore::Status::Failed)
        return failure(error, timedOut, message);
    return status;
}

} // namespace

bool HXSecretStore::isRunning()
{
    if (!sessionBusNamed())
        return false;
    GDBusConnection* bus = sessionBus();
    if (!bus)
        return false;
    bool running = busAnswers(bus, "NameHasOwner", g_variant_new("(s)", kSecretsBusName))
        || busAnswers(bus, "ListActivatableNames", nullptr);
    g_object_unref(bus);
    return running;
}

HXSecretStore::Status HXSecretStore::lookupPassword(const std::string& schema, const Attributes& attributes,
    std::string& password, std::string* message, double timeout)
{
    return secretCall(
        schema, attributes, timeout, message,
        [](const Request& r, GCancellable* c, GAsyncReadyCallback done, gpointer data) {
            secret_password_lookupv(r.schema, r.attributes, c, done, data);
        },
        [&password](GAsyncResult* result, GError** error) {
            gchar* found = secret_password_lookup_finish(result, error);
            if (!found)
                return Status::NotFound;
            password = found;
            secret_password_free(found);
            return Status::Done;
        });
}

HXSecretStore::Status HXSecretStore::storePassword(const std::string& schema, const Attributes& attributes,
    const std::string& label, const std::string& password, std::string* message, double timeout)
{
    return secretCall(
        schema, attributes, timeout, message,
        [&](const Request& r, GCancellable* c, GAsyncReadyCallback done, gpointer data) {
            secret_password_storev(
                r.schema, r.attributes, SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), c, done, data);
        },
        [](GAsyncResult* result, GError** error) {
            return secret_password_store_finish(result, error) ? Status::Done : Status::Failed;
        });
}

HXSecretStore::Status HXSecretStore::clearPassword(
    const std::string& schema, const Attributes& attributes, std::string* message, double timeout)
{
    return secretCall(
        schema, attributes, timeout, message,
        [](const Request& r, GCancellable* c, GAsyncReadyCallback done, gpointer data) {
            secret_password_clearv(r.schema, r.attributes, c, done, data);
        },
        [](GAsyncResult* result, GError** error) {
            return secret_password_clear_finish(result, error) ? Status::Done : Status::NotFound;
        });
}
