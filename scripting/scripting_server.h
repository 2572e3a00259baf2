#pragma once
// The scripting requests of the player's per-user socket: a request {"command": "script", ...} is carried
// out by the scripting runtime against the application object (see scripting_runtime.h for the rest of
// the request and the reply).
#include "platform/basekit/property_list.h"

class MVPRequestServer;

namespace MVPScriptingServer {

inline constexpr const char* MVPScriptRequestCommand = "script";
// Alerts raised while a request ran are answered with their default button and listed in the reply under
// "alerts", each {"message": text, "answer": button title}.
inline constexpr const char* MVPScriptAlertsKey = "alerts";
inline constexpr const char* MVPScriptAlertMessageKey = "message";
inline constexpr const char* MVPScriptAlertAnswerKey = "answer";

// Answers "script" requests on `server`.
void install(MVPRequestServer& server);
// The reply to one script request (on the main thread, where the player runs scripts).
HXPropertyList replyToScriptRequest(const HXPropertyList& request);

} // namespace MVPScriptingServer
