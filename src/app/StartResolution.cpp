#include "app/StartResolution.h"

StartResolution_T ResolveStart(const ProgramSettings_T& s, PortFlags_T& ports) {
    StartResolution_T r;
    r.radioEnabled = s.kindSectionPresent;
    r.typeDevice = s.controlDeviceName;
    r.nPacket = s.kindNPacket;
    r.packet = s.kindPacket;
    r.stationMode = s.stationMode;

    r.portsRead = s.portSectionPresent;
    if (s.portSectionPresent) {
        ports.stationPort = s.connectStation;
        ports.standPort = s.connectStand;
        ports.echo = s.echo != 0;
        ports.monitor = s.show;
        ports.stationRts = 1;
        if (s.rts == 0) {
            ports.stationRts = 1;
            ports.standRts = 1;
        } else if (s.rts == 1) {
            ports.stationRts = 0;
            ports.standRts = 0;
        }
        // Any other value: the stand channel's flag stays as it was.
    }

    r.constructionOld = s.ConstructionOld() ? 1 : 0;
    r.versionsRead = s.versionSectionPresent;
    if (s.versionSectionPresent) {
        r.vCP = s.vCP, r.vKK = s.vKK, r.vRG = s.vRG, r.vIzm = s.vIzm, r.vPzu = s.vPzu;
    }

    const std::string& name = s.controlDeviceName;
    if (name == "Block") {
        r.typeDevice = "Блок", r.radioIndex = 2;
    } else if (name == "FullTest") {
        r.typeDevice = "Плата", r.radioIndex = 0;
    } else if (name == "CurzTest") {
        r.typeDevice = "Вх.контр.платы", r.radioIndex = 1;
    } else if (name == "Drossel") {
        r.typeDevice = "Дроссель", r.radioIndex = 3;
    } else if (name == "Stantion") {
        r.typeDevice = "Станция";
        if (s.stationMode == "КАЛВЕ" || s.stationMode == "ВОЛТАР") r.radioIndex = 4;
    } else if (name == "None") {
        r.typeDevice.clear();
        r.terminate = true;
    }
    return r;
}

StationCheck_T PressStationCheck(const ProgramSettings_T& s, int radioIndex) {
    StationCheck_T c;
    c.packet = s.stationPacket;
    c.nPacket = s.stationNPacket;
    const int i = radioIndex >= 0 && radioIndex < static_cast<int>(kDeviceKinds.size()) ? radioIndex : 2;
    c.typeDevice = kDeviceKinds[i].label;
    return c;
}
