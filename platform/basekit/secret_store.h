#pragma once
// HXSecretStore: passwords kept in the desktop's Secret Service (the keyring of the user's session),
// reached over the session bus through libsecret. An item is found by its schema name and a set of text
// attributes; its secret is text.
//
// Nothing here starts a bus or a keyring: without a session bus (no DBUS_SESSION_BUS_ADDRESS and no
// $XDG_RUNTIME_DIR/bus) or with no Secret Service on it, every call answers NoService at once, and the
// caller decides where else a password may go. A call waits at most `timeout` seconds (the keyring may
// ask the user to unlock it), then gives up with Failed.
#include <map>
#include <string>

class HXSecretStore {
public:
    enum class Status {
        Done, // stored, or found
        NotFound, // the service runs but holds no such item
        NoService, // no Secret Service can be reached in this session
        Failed, // the service refused or did not answer in time (the message says why)
    };
    using Attributes = std::map<std::string, std::string>;

    // Whether a Secret Service runs on the session bus, or would be started by it when asked.
    static bool isRunning();

    static Status lookupPassword(const std::string& schema, const Attributes& attributes,
        std::string& password, std::string* message = nullptr, double timeout = 30);
    // Replaces the item with the same attributes, if there is one, in the default collection.
    static Status storePassword(const std::string& schema, const Attributes& attributes, const std::string& label,
        const std::string& password, std::string* message = nullptr, double timeout = 30);
    static Status clearPassword(const std::string& schema, const Attributes& attributes,
        std::string* message = nullptr, double timeout = 30);
};
