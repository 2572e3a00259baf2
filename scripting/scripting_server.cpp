#include "scripting/scripting_server.h"

#include "app/request_server.h"
#include "platform/basekit/scripting_runtime.h"
#include "platform/winkit/alert.h"
#include "scripting/app_scripting.h"

namespace MVPScriptingServer {

HXPropertyList replyToScriptRequest(const HXPropertyList& request)
{
    // A script is no one to click a button and must not wait for one: what an alert asked, and the default
    // answer it got, travel back in the reply.
    HXPropertyList::Array alerts;
    HXUnattendedAlerts unattended([&alerts](const std::string& message, const std::string& answer) {
        HXPropertyList::Dictionary entry;
        entry.emplace(MVPScriptAlertMessageKey, message);
        entry.emplace(MVPScriptAlertAnswerKey, answer);
        alerts.emplace_back(std::move(entry));
    });
    HXScriptRuntime runtime([] { return MVPAppScripting::root(); });
    HXPropertyList reply = runtime.execute(request);
    if (!alerts.empty() && reply.isDictionary())
        reply.mutableDictionary()[MVPScriptAlertsKey] = HXPropertyList(std::move(alerts));
    return reply;
}

void install(MVPRequestServer& server)
{
    server.setHandler(MVPScriptRequestCommand, replyToScriptRequest);
}

} // namespace MVPScriptingServer
