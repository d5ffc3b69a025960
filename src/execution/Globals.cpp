#include "execution/Globals.h"

StartGlobals_T& Globals() {
    static StartGlobals_T g;
    return g;
}

bool IsMaster = false;
std::string WorkDir;
bool GetLN = false;
