// movara-player: the Movara Player program.
#include "app/player_program.h"

int main(int argc, char** argv)
{
    return MVPPlayerProgram::run(argc, argv);
}
