#include "app/ProgramSettings.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"

bool ProgramSettings_T::ConstructionOld() const {
    return construction == "старая";
}

std::string ProgramSettingsPath(const std::string& workDir) {
    return platform::JoinPath(workDir, "data\\nastr.ini");
}

ProgramSettings_T ReadProgramSettings(const platform::IniFile& ini) {
    ProgramSettings_T s;
    for (size_t i = 0; i < s.kKindSections.size(); ++i)
        s.kindSectionPresent[i] = ini.HasSection(s.kKindSections[i]);

    s.controlDeviceName = ini.ReadString("ControlDevice", "name", "None");
    s.kindNPacket = ini.ReadInteger(s.controlDeviceName, "npacket", 1);
    s.kindPacket = ini.ReadString(s.controlDeviceName, "packet", "1");

    s.stationMode = ini.ReadString("Stantion", "mode", "КАЛВЕ");
    s.stationNPacket = ini.ReadInteger("Stantion", "npacket", 1);
    s.stationPacket = ini.ReadString("Stantion", "packet", "1");

    s.portSectionPresent = ini.HasSection("port");
    if (s.portSectionPresent) {
        s.connectStation = ini.ReadString("port", "connect_stantion", "COM1");
        s.connectStand = ini.ReadString("port", "connect_stend", "COM2");
        s.echo = ini.ReadInteger("port", "Echo", 0);
        s.show = ini.ReadInteger("port", "Show", 0);
        s.rts = ini.ReadInteger("port", "RTS", 0);
    }

    s.construction =
        ini.ReadString("plata", "construction", ProgramSettings_T::kConstructionDefault);

    s.versionSectionPresent = ini.HasSection("version");
    if (s.versionSectionPresent) {
        auto v16 = [&](const char* key) {
            return static_cast<uint16_t>(ini.ReadInteger("version", key, 0));
        };
        s.vCP = v16("vCP");
        s.vKK = v16("vKK");
        s.vRG = v16("vRG");
        s.vIzm = v16("vIzm");
        s.vPzu = v16("vPzu");
    }

    s.pzuSectionPresent = ini.HasSection("pzu");
    if (s.pzuSectionPresent) s.pzu = ini.ReadString("pzu", "pzu", " ");
    s.pzuPacedByAnswer = ini.ReadString("pzu", "pacing", "timer") == "answer";
    s.recordsDatabase = ini.ReadString("records", "database", s.recordsDatabase);
    if (s.recordsDatabase.empty()) s.recordsDatabase = "data/runs.sqlite";
    s.recordsPostgres = ini.ReadString("records", "postgres", "");
    s.standName = ini.ReadString("records", "stand", "");
    return s;
}
