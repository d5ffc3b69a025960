#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {
class IniFile;
}

// The stand's settings file data\nastr.ini as the start window and the EEPROM window read it.
// The file is written by hand; every key has a default and the program never writes it.
struct ProgramSettings_T {
    // Sections of the five device kinds, in the order of the start window's radio items.
    static constexpr std::array<const char*, 5> kKindSections = {"FullTest", "CurzTest", "Block",
                                                                 "Drossel", "Stantion"};
    // What a missing `construction` reads as: its first letter is a Latin "c", so a missing
    // key never selects the old construction.
    static constexpr const char* kConstructionDefault =
        "c"
        "тарая";

    std::array<bool, 5> kindSectionPresent{};

    std::string controlDeviceName = "None";  // ControlDevice/name
    int32_t kindNPacket = 1;                 // npacket of the section named by `name`
    std::string kindPacket = "1";            // packet of that section

    std::string stationMode = "КАЛВЕ";  // Stantion/mode
    int32_t stationNPacket = 1;         // Stantion/npacket
    std::string stationPacket = "1";    // Stantion/packet

    // Section port; its keys keep their defaults unless the section exists.
    bool portSectionPresent = false;
    std::string connectStation = "COM1";
    std::string connectStand = "COM2";
    int32_t echo = 0;
    int32_t show = 0;
    int32_t rts = 0;

    std::string construction = kConstructionDefault;  // plata/construction

    // Section version; read only when it exists.
    bool versionSectionPresent = false;
    uint16_t vCP = 0, vKK = 0, vRG = 0, vIzm = 0, vPzu = 0;

    // Section pzu, key pzu: the EEPROM settings file beside the executable.
    bool pzuSectionPresent = false;
    std::string pzu = " ";
    // Key pacing: "answer" sends each block as soon as the previous one is answered (the
    // block timer bounding the wait); anything else, the block timer alone.
    bool pzuPacedByAnswer = false;

    // Section records: the stand's run records file, the plant's database (a libpq connection
    // string; empty: none) and the stand's name in both (empty: the computer's name).
    std::string recordsDatabase = "data/runs.sqlite";
    std::string recordsPostgres;
    std::string standName;

    bool ConstructionOld() const;
};

// Path of the settings file under a working directory.
std::string ProgramSettingsPath(const std::string& workDir);

ProgramSettings_T ReadProgramSettings(const platform::IniFile& ini);
