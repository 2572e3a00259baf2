// movara-player: the Movara Player program.
#include "app/player_program.h"
#include "platform/basekit/logind_monitor.h"
// ---- scripting: script requests on the player's socket ----
#include "app/request_server.h"
#include "scripting/scripting_server.h"
// ---- end of scripting ----

int main(int argc, char** argv)
{
    HXLogindMonitor::shared(); // sleep and session switches from the login manager, where there is one
    // ---- scripting: the socket answers script requests once it listens ----
    MVPScriptingServer::install(MVPRequestServer::sharedServer());
    // ---- end of scripting ----
    return MVPPlayerProgram::run(argc, argv);
}
