// movara-player: the Movara Player program.
#include "app/player_program.h"
#include "platform/basekit/logind_monitor.h"

int main(int argc, char** argv)
{
    HXLogindMonitor::shared(); // sleep and session switches from the login manager, where there is one
    return MVPPlayerProgram::run(argc, argv);
}
