#include "scripting/scripting_server.h"

#include "app/request_server.h"
#include "platform/basekit/scripting_runtime.h"
#include "scripting/app_scripting.h"

namespace MVPScriptingServer {

HXPropertyList replyToScriptRequest(const HXPropertyList& request)
{
    HXScriptRuntime runtime([] { return MVPAppScripting::root(); });
    return runtime.execute(request);
}

void install(MVPRequestServer& server)
{
    server.setHandler(MVPScriptRequestCommand, replyToScriptRequest);
}

} // namespace MVPScriptingServer
