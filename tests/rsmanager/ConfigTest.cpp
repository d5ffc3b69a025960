#include <gtest/gtest.h>

#include <filesystem>

#include "rsmanager/Ini.h"
#include "rsmanager/RsSettings.h"
#include "support/TempDir.h"

namespace {

// Settings that differ from every default, so a test sees what a load overwrote.
TRsSettings Changed() {
    TRsSettings s;
    s.ApplyPortSettings(my_dcb_T{115200, 7, "EVENPARITY", "TWOSTOPBITS"});
    s.port = "COM7";
    s.sendProtocol = s.receiveProtocol = "ICP";
    s.senderPeriodMs = 30;
    s.receiveWaitMs = 100;
    return s;
}

void ExpectPort(const TRsSettings& s, uint32_t baud, int bits, int parity, int stop) {
    EXPECT_EQ(s.dcb.BaudRate, baud);
    EXPECT_EQ(s.dcb.ByteSize, bits);
    EXPECT_EQ(s.dcb.Parity, parity);
    EXPECT_EQ(s.dcb.StopBits, stop);
}

}  // namespace

TEST(TIni, NumbersAreDecimalFirstThenHexadecimalElseZero) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"10", 10},      {"1A", 26},         {"0x10", 16},     {"0X1a", 26},
        {"4B00", 19200}, {"0x4B00", 19200},  {"  -5", -5},     {"+7", 7},
        {"", 0},         {"zz", 0},          {"0x", 0},        {"12 34", 0},
        {"-", 0},        {"4294967295", -1}, {"FFFFFFFF", -1}, {"99999999999999999999999", 0},
        {"0x1G", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TIni::ParseNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(TIni, SectionsAndKeysInAnyCaseAndTheDefaultWhenMissing) {
    const TIni ini =
        TIni::FromBytes("[Port_Setting]\r\nBAUD_RATE=0x4B00\r\nport=COM3\r\nport=COM4\r\n");
    EXPECT_EQ(ini.ReadNumber("port_setting", "baud_rate", 9600), 19200);
    EXPECT_EQ(ini.ReadString("PORT_SETTING", "Port", "COM1"), "COM4");  // the last one wins here
    EXPECT_EQ(ini.ReadString("port_setting", "parity", "NOPARITY"), "NOPARITY");
    EXPECT_EQ(ini.ReadNumber("TIMERS", "ComPortSender", 10), 10);
}

TEST(TIni, AFileThatCannotBeOpenedRaisesWithItsPath) {
    TempDir dir;
    for (const std::string& path : {dir.File("missing.ini"), dir.Path()}) {
        try {
            TIni ini(path);
            ADD_FAILURE() << "no exception for " << path;
        } catch (const TErrIni& e) {
            EXPECT_EQ(e.Message(), "Ini-file " + path + " not open.");
        }
    }
}

TEST(TIni, BadBytesAreReadSafelyUpToWhereTheyStart) {
    const std::string huge(1 << 20, '7');
    const char withNul[] = "[port_setting]\nport=COM5\n\0\nbaud_rate=1200\n";
    const TIni nul = TIni::FromBytes(std::string(withNul, sizeof withNul - 1));
    EXPECT_EQ(nul.ReadString("port_setting", "port", "COM1"), "COM5");
    EXPECT_EQ(nul.ReadNumber("port_setting", "baud_rate", 9600), 9600);  // behind the NUL
    const TIni garbage = TIni::FromBytes(
        "\x98\xFF\n=x\nno equals\n[port_setting]\nport=\xCA\xCE\xCC\n"
        "byte_size=" +
        huge + "\nparity=" + huge + "\n");
    EXPECT_EQ(garbage.ReadString("port_setting", "port", ""), "КОМ");
    EXPECT_EQ(garbage.ReadNumber("port_setting", "byte_size", 8), 0);  // too long for any number
    EXPECT_EQ(garbage.ReadString("port_setting", "parity", "").size(), huge.size());
}

TEST(LoadConfig, AnEmptyFileRestoresEveryDefault) {
    TempDir dir;
    TRsSettings s = Changed();
    s.LoadConfig(dir.Write("empty.ini", ""));
    ExpectPort(s, 9600, 8, 0, 0);
    EXPECT_EQ(s.port, "COM1");
    EXPECT_EQ(s.sendProtocol, "HOLE");
    EXPECT_EQ(s.receiveProtocol, "HOLE");
    EXPECT_EQ(s.senderPeriodMs, 10);
    EXPECT_EQ(s.receiveWaitMs, 500);
}

TEST(LoadConfig, AFullFileSetsEveryValue) {
    TempDir dir;
    TRsSettings s;
    s.LoadConfig(
        dir.Write("c.ini",
                  "[port_setting]\r\nport=/dev/ttyUSB0\r\nbyte_size=7\r\nparity=MARKPARITY\r\n"
                  "stopbits=ONE5STOPBITS\r\nbaud_rate=4800\r\n[DEVICE]\r\nname=ICP\r\n"
                  "[TIMERS]\r\nComPortSender=30\r\nComPortReciverWait=250\r\n"));
    ExpectPort(s, 4800, 7, 3, 1);
    EXPECT_EQ(s.port, "/dev/ttyUSB0");
    EXPECT_EQ(s.sendProtocol, "ICP");
    EXPECT_EQ(s.receiveProtocol, "ICP");
    EXPECT_EQ(s.senderPeriodMs, 30);
    EXPECT_EQ(s.receiveWaitMs, 250);
}

TEST(LoadConfig, AnUnknownParityKeepsThePortSettingsFromThereOn) {
    TempDir dir;
    TRsSettings s = Changed();
    // Space parity has no name here; a lower-case known name is unknown as well.
    for (const char* parity : {"SPACEPARITY", "noparity"}) {
        s.LoadConfig(dir.Write("c.ini", std::string("[port_setting]\nparity=") + parity +
                                            "\nstopbits=ONESTOPBIT\nbaud_rate=1200\nbyte_size=8\n"
                                            "[DEVICE]\nname=VOLTAR\n"));
        ExpectPort(s, 115200, 7, 2, 2);
        // The rest of the file is applied all the same.
        EXPECT_EQ(s.port, "COM1");
        EXPECT_EQ(s.sendProtocol, "VOLTAR");
        EXPECT_EQ(s.senderPeriodMs, 10);
    }
}

TEST(LoadConfig, StopBitsWrittenAsADigitChangeOnlyTheParity) {
    TempDir dir;
    TRsSettings s = Changed();
    s.LoadConfig(
        dir.Write("c.ini", "[port_setting]\nparity=ODDPARITY\nstopbits=2\nbaud_rate=1200\n"));
    ExpectPort(s, 115200, 7, 1, 2);
    EXPECT_EQ(s.ApplyPortSettings(my_dcb_T{1200, 8, "ODDPARITY", "2"}), -1);
    EXPECT_EQ(s.ApplyPortSettings(my_dcb_T{1200, 8, "NOPARITY", "TWOSTOPBITS"}), 0);
    ExpectPort(s, 1200, 8, 0, 2);
}

TEST(LoadConfig, BaudRatesInHexadecimalOrLetters) {
    TempDir dir;
    TRsSettings s;
    s.LoadConfig(dir.Write("a.ini", "[port_setting]\nbaud_rate=4B00\n"));
    EXPECT_EQ(s.dcb.BaudRate, 19200u);
    s.LoadConfig(dir.Write("b.ini", "[PORT_SETTING]\nBaud_Rate=0x4B00\n"));
    EXPECT_EQ(s.dcb.BaudRate, 19200u);
    s.LoadConfig(dir.Write("c.ini", "[port_setting]\nbaud_rate=fast\nbyte_size=0x107\n"));
    EXPECT_EQ(s.dcb.BaudRate, 0u);
    EXPECT_EQ(s.dcb.ByteSize, 7);  // truncated to 8 bits, no range check
}

TEST(LoadConfig, AMissingFileRaisesAndChangesNothing) {
    TempDir dir;
    TRsSettings s = Changed();
    const std::string path = dir.File("absent.ini");
    try {
        s.LoadConfig(path);
        ADD_FAILURE() << "no exception";
    } catch (const TErrRsManager& e) {
        EXPECT_EQ(e.Message(),
                  "Ошибка при чтении конфигурационного файла. Ini-file " + path + " not open.");
    }
    ExpectPort(s, 115200, 7, 2, 2);
    EXPECT_EQ(s.port, "COM7");
    EXPECT_EQ(s.senderPeriodMs, 30);
}
