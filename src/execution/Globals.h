#pragma once

#include <cstdint>
#include <string>

// Process-wide values fixed at start-up by the start window and read by the rest of the
// program for the whole run. They live on the window thread only.
struct StartGlobals_T {
    std::string TypeDevice = "None";  // label of the device kind ("Плата", "Блок", ...)
    std::string StationMode;          // "КАЛВЕ" or "ВОЛТАР"
    std::string Packet = "1";
    int32_t NPacket = 1;
    int32_t ConstructionOld = 0;
    uint16_t vCP = 0, vKK = 0, vRG = 0, vIzm = 0, vPzu = 0;
};

StartGlobals_T& Globals();

// Set when a run starts from the test tag; cleared when a station request is seen on channel 1.
extern bool IsMaster;
// Working directory recorded by the test window when it is created.
extern std::string WorkDir;
// Set once the logical number line went to a protocol in this program run.
extern bool GetLN;
