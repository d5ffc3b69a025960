#include "rsmanager/RsSettings.h"

#include "rsmanager/Ini.h"

int ParityCode(const std::string& name) {
    if (name == "NOPARITY") return 0;
    if (name == "ODDPARITY") return 1;
    if (name == "EVENPARITY") return 2;
    if (name == "MARKPARITY") return 3;
    return -1;
}

int StopBitsCode(const std::string& name) {
    if (name == "ONESTOPBIT") return 0;
    if (name == "ONE5STOPBITS") return 1;
    if (name == "TWOSTOPBITS") return 2;
    return -1;
}

TRsSettings::TRsSettings() {
    ApplyPortSettings(my_dcb_T{});
}

int TRsSettings::ApplyPortSettings(const my_dcb_T& d) {
    const int parity = ParityCode(d.parity);
    if (parity < 0) return -1;
    dcb.Parity = static_cast<uint8_t>(parity);
    const int stop = StopBitsCode(d.stopbits);
    if (stop < 0) return -1;
    dcb.StopBits = static_cast<uint8_t>(stop);
    dcb.BaudRate = static_cast<uint32_t>(d.baud_rate);
    dcb.ByteSize = d.byte_size;
    return 0;
}

void TRsSettings::LoadConfig(const std::string& path) {
    std::unique_ptr<TIni> ini;
    try {
        ini = std::make_unique<TIni>(path);
    } catch (const TErrIni& e) {
        throw TErrRsManager("Ошибка при чтении конфигурационного файла. " + e.Message());
    }
    my_dcb_T d;
    const std::string portName = ini->ReadString("port_setting", "port", "COM1");
    d.byte_size = static_cast<uint8_t>(ini->ReadNumber("port_setting", "byte_size", 8));
    d.parity = ini->ReadString("port_setting", "parity", "NOPARITY");
    d.stopbits = ini->ReadString("port_setting", "stopbits", "ONESTOPBIT");
    d.baud_rate = ini->ReadNumber("port_setting", "baud_rate", 9600);
    const std::string protocol = ini->ReadString("DEVICE", "name", "HOLE");
    const int32_t sender = ini->ReadNumber("TIMERS", "ComPortSender", 10);
    const int32_t receiveWait = ini->ReadNumber("TIMERS", "ComPortReciverWait", 500);

    // An unknown parity or stop-bit name quietly keeps the earlier settings from that field on.
    ApplyPortSettings(d);
    port = portName;
    sendProtocol = protocol;
    receiveProtocol = protocol;
    senderPeriodMs = sender;
    receiveWaitMs = receiveWait;
}
