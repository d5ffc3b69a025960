#pragma once

#include <cstdint>
#include <string>

// Serial settings as they come from the configuration file, before the names are turned into
// the codes the port takes.
struct my_dcb_T {
    int32_t baud_rate = 9600;
    uint8_t byte_size = 8;
    std::string parity = "NOPARITY";
    std::string stopbits = "ONESTOPBIT";
};

// The port's control block fields as the serial layer applies them when the port opens.
struct PortDcb_T {
    uint32_t BaudRate = 9600;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// Everything a serial manager is configured with. The manager owns one; it is read when the
// port opens and when the threads start, so a change takes effect at the next open.
class TRsSettings {
public:
    // The built-in defaults: COM1, 9600 8N1, protocol "HOLE", 10 ms / 500 ms.
    TRsSettings();

    // Names to codes, in this order, stopping at the first unknown name: parity, stop bits,
    // then baud rate and byte size. 0 when all applied, -1 when it stopped early.
    int ApplyPortSettings(const my_dcb_T& dcb);

    // Reads the file's port_setting, DEVICE and TIMERS sections; every value missing from the
    // file takes its default. A file that cannot be read raises TErrRsManager and changes nothing.
    void LoadConfig(const std::string& path);

    PortDcb_T dcb;
    std::string port = "COM1";
    std::string sendProtocol = "HOLE";
    std::string receiveProtocol = "HOLE";
    int32_t senderPeriodMs = 10;
    int32_t receiveWaitMs = 500;
};

// Code of a parity or stop-bit name (exact, case included), or -1 for an unknown name.
int ParityCode(const std::string& name);
int StopBitsCode(const std::string& name);
