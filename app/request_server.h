#pragma once
// MVPRequestServer: the player's per-user socket. Other programs of the same user (a second start of the
// player, scripts, tests) send it requests and get replies: each message is a 4-byte big-endian length and
// an XML property-list dictionary. A request names its command under "command"; the reply is a dictionary
// holding "error" (a text) when the request failed.
//
// The socket lives in a folder of its own in $XDG_RUNTIME_DIR ("movara-player", mode 0700, owned by the
// user); a folder that is not ours or is open to others is refused, and so is a peer of another user.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class HXSocketListener;
class HXMessageConnection;

inline constexpr const char* MVPRequestCommandKey = "command";
inline constexpr const char* MVPRequestErrorKey = "error";
// A message marked with this key (YES) is no reply yet: the player is still working on the request and
// tells so (with "progress", 0...1, when it knows how far it is). The reply follows.
inline constexpr const char* MVPRequestInterimKey = "interim";
// The code of the error sendRequest gives when it would not talk to the socket it found.
inline constexpr int MVPRequestRefusedError = 257;

// The reply to one request that may come later than the handler's return.
class MVPRequestReply {
public:
    explicit MVPRequestReply(std::weak_ptr<HXMessageConnection> connection);
    ~MVPRequestReply();
    MVPRequestReply(const MVPRequestReply&) = delete;
    MVPRequestReply& operator=(const MVPRequestReply&) = delete;
    // The reply (once; later calls are ignored). A reply dropped without being sent answers an error.
    void send(const HXPropertyList& reply);
    // A message that keeps the sender waiting (marked interim); ignored after the reply.
    void sendInterim(HXPropertyList::Dictionary message);
    bool isSent() const { return _sent; }

private:
    std::weak_ptr<HXMessageConnection> _connection;
    bool _sent = false;
};

class MVPRequestServer {
public:
    using Handler = std::function<HXPropertyList(const HXPropertyList& request)>;
    // A handler that answers through `reply`, now or later.
    using AsyncHandler
        = std::function<void(const HXPropertyList& request, std::shared_ptr<MVPRequestReply> reply)>;

    static MVPRequestServer& sharedServer();

    // "$XDG_RUNTIME_DIR/movara-player" (without the variable: a folder of the user's in the temporary
    // folder).
    static std::string socketFolder();
    static std::string socketPath();
    // Makes the folder (0700) when needed; false, with `error`, when it cannot be made or is unsafe.
    static bool prepareSocketFolder(HXError* error);

    // Listens on socketPath(). False when another player already listens there or the folder is unsafe.
    bool start(HXError* error = nullptr);
    void stop();
    ~MVPRequestServer() { stop(); }
    bool isListening() const;

    // The handler of `command` (an empty function removes it).
    void setHandler(const std::string& command, Handler handler);
    void setAsyncHandler(const std::string& command, AsyncHandler handler);

    // What a request gets: the handler's reply, or an error for an unknown command or a message that is no
    // dictionary.
    HXPropertyList replyToRequest(const HXPropertyList& request) const;

    // Sends one request to the player listening on socketPath() and waits for the reply, without a run
    // loop: at most `timeout` seconds after the request went out or after the last interim message (which
    // `onInterim` hears), so a player that keeps saying it works is waited for; a timeout of 0 waits as
    // long as the connection stays open. Replies may be of any size. nullopt, with `error`, when no player
    // answers; the error's code is MVPRequestRefusedError when the request was not sent because the
    // socket's folder is not private to this user or the program listening belongs to another user.
    static std::optional<HXPropertyList> sendRequest(const HXPropertyList& request, double timeout,
        HXError* error = nullptr, const std::function<void(const HXPropertyList& interim)>& onInterim = {});

private:
    std::shared_ptr<HXSocketListener> _listener;
    std::shared_ptr<std::set<std::shared_ptr<HXMessageConnection>>> _connections
        = std::make_shared<std::set<std::shared_ptr<HXMessageConnection>>>();
    std::map<std::string, Handler> _handlers;
    std::map<std::string, AsyncHandler> _asyncHandlers;
};
