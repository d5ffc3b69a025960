#include "app/StartResolution.h"

#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "platform/IniFile.h"

namespace {

ProgramSettings_T Settings(const std::string& utf8) {
    platform::IniFile ini;
    ini.LoadBytes(platform::Utf8ToCp1251(utf8));
    return ReadProgramSettings(ini);
}

}  // namespace

TEST(StartResolution, EveryKindResolvesToItsLabelAndRadioItem) {
    const struct {
        const char* name;
        const char* label;
        int index;
    } cases[] = {{"Block", "Блок", 2},       {"FullTest", "Плата", 0},   {"CurzTest", "Вх.контр.платы", 1},
                 {"Drossel", "Дроссель", 3}, {"Something", "Something", 2}};
    for (const auto& c : cases) {
        PortFlags_T ports;
        const auto r = ResolveStart(Settings(std::string("[ControlDevice]\nname=") + c.name + "\n"), ports);
        EXPECT_EQ(r.typeDevice, c.label) << c.name;
        EXPECT_EQ(r.radioIndex, c.index) << c.name;
        EXPECT_FALSE(r.terminate);
        // The label that leaves the window is the kind at the radio index.
        EXPECT_EQ(PressStationCheck(Settings(""), r.radioIndex).typeDevice,
                  kDeviceKinds[c.index].label);
    }
}

TEST(StartResolution, AStationNeedsAKnownModelForItsRadioItem) {
    for (const char* mode : {"КАЛВЕ", "ВОЛТАР"}) {
        PortFlags_T ports;
        const auto s = Settings(std::string("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=") + mode +
                                "\npacket=P7\nnpacket=3\n");
        const auto r = ResolveStart(s, ports);
        EXPECT_EQ(r.typeDevice, "Станция");
        EXPECT_EQ(r.radioIndex, 4);
        const auto pressed = PressStationCheck(s, r.radioIndex);
        EXPECT_EQ(pressed.typeDevice, "Станция");
        EXPECT_EQ(pressed.stationMode, "ВОЛТАР");
        EXPECT_EQ(pressed.packet, "P7");
        EXPECT_EQ(pressed.nPacket, 3);
    }
    PortFlags_T ports;
    const auto other = Settings("[ControlDevice]\nname=Stantion\n[Stantion]\nmode=ДРУГАЯ\n");
    const auto r = ResolveStart(other, ports);
    EXPECT_EQ(r.radioIndex, 2);
    EXPECT_EQ(PressStationCheck(other, r.radioIndex).typeDevice, "Блок");
}

TEST(StartResolution, NoneOrNoFileEndsTheProgram) {
    PortFlags_T ports;
    for (const char* text : {"", "[ControlDevice]\nname=None\n"}) {
        const auto r = ResolveStart(Settings(text), ports);
        EXPECT_TRUE(r.terminate);
        EXPECT_EQ(r.typeDevice, "");
    }
}

TEST(StartResolution, PackagesComeFromTheKindAtStartAndFromStantionOnTheButton) {
    PortFlags_T ports;
    const auto s = Settings("[ControlDevice]\nname=Block\n[Block]\n");
    const auto r = ResolveStart(s, ports);
    EXPECT_EQ(r.nPacket, 1);
    EXPECT_EQ(r.packet, "1");
    EXPECT_EQ(r.radioEnabled, (std::array<bool, 5>{false, false, true, false, false}));
    const auto pressed = PressStationCheck(s, r.radioIndex);
    EXPECT_EQ(pressed.nPacket, 1);
    EXPECT_EQ(pressed.packet, "1");
}

TEST(StartResolution, PortFlagsFollowTheRtsRuleOnlyWithAPortSection) {
    PortFlags_T ports{"X", "Y", 7, 7, true, 5};
    ResolveStart(Settings("[ControlDevice]\nname=Block\n"), ports);
    EXPECT_EQ(ports.stationPort, "X");  // no [port]: untouched
    EXPECT_EQ(ports.standRts, 7);

    ports = {"X", "Y", 7, 7, true, 5};
    ResolveStart(Settings("[port]\nRTS=0\n"), ports);
    EXPECT_EQ(ports.stationPort, "COM1");
    EXPECT_EQ(ports.standPort, "COM2");
    EXPECT_EQ(ports.stationRts, 1);
    EXPECT_EQ(ports.standRts, 1);
    EXPECT_FALSE(ports.echo);
    EXPECT_EQ(ports.monitor, 0);

    ports = {"X", "Y", 7, 7, false, 0};
    ResolveStart(Settings("[port]\nRTS=1\nEcho=3\nShow=1\n"), ports);
    EXPECT_EQ(ports.stationRts, 0);
    EXPECT_EQ(ports.standRts, 0);
    EXPECT_TRUE(ports.echo);
    EXPECT_EQ(ports.monitor, 1);

    ports = {"X", "Y", 7, 7, false, 0};
    ResolveStart(Settings("[port]\nRTS=2\n"), ports);
    EXPECT_EQ(ports.stationRts, 1);
    EXPECT_EQ(ports.standRts, 7);  // any other value leaves the stand channel's flag
}

TEST(StartResolution, ConstructionAndVersions) {
    PortFlags_T ports;
    EXPECT_EQ(ResolveStart(Settings(""), ports).constructionOld, 0);  // the Latin "c" default
    EXPECT_EQ(ResolveStart(Settings("[plata]\nconstruction=старая\n"), ports).constructionOld, 1);
    const auto r = ResolveStart(Settings("[version]\nvCP=5\nvPzu=70001\n"), ports);
    EXPECT_TRUE(r.versionsRead);
    EXPECT_EQ(r.vCP, 5);
    EXPECT_EQ(r.vPzu, 70001 & 0xFFFF);
    EXPECT_FALSE(ResolveStart(Settings(""), ports).versionsRead);
}
