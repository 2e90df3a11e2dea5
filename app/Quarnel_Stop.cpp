// Quarnel_Stop.exe: ends the running monitor and starts it again with the
// command line it was given.
#include "platform/api/Program.h"
#include "stop/Module1.h"

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    Module1::Main();
    return 0;
}
