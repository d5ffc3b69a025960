#include <gtest/gtest.h>

#include "app/ProgramSettings.h"
#include "platform/Cp1251.h"
#include "platform/IniFile.h"

namespace {

ProgramSettings_T Read(const std::string& utf8Text) {
    platform::IniFile ini;
    ini.LoadBytes(platform::Utf8ToCp1251(utf8Text));
    return ReadProgramSettings(ini);
}

}  // namespace

TEST(ProgramSettings, AnEmptyFileGivesEveryDefault) {
    const ProgramSettings_T s = Read("");
    EXPECT_EQ(s.controlDeviceName, "None");
    EXPECT_EQ(s.kindSectionPresent, (std::array<bool, 5>{}));
    EXPECT_EQ(s.stationMode, "КАЛВЕ");
    EXPECT_EQ(s.kindNPacket, 1);
    EXPECT_EQ(s.kindPacket, "1");
    EXPECT_FALSE(s.portSectionPresent);
    EXPECT_EQ(s.connectStation, "COM1");
    EXPECT_EQ(s.connectStand, "COM2");
    EXPECT_FALSE(s.ConstructionOld());
    EXPECT_FALSE(s.versionSectionPresent);
    EXPECT_FALSE(s.pzuSectionPresent);
    EXPECT_EQ(s.pzu, " ");
}

TEST(ProgramSettings, BlockWithAnEmptySectionTakesPackageOneAndStationDefaults) {
    const ProgramSettings_T s = Read("[ControlDevice]\r\nname=Block\r\n[Block]\r\n");
    EXPECT_EQ(s.controlDeviceName, "Block");
    EXPECT_EQ(s.kindSectionPresent, (std::array<bool, 5>{false, false, true, false, false}));
    EXPECT_EQ(s.kindNPacket, 1);
    EXPECT_EQ(s.kindPacket, "1");
    EXPECT_EQ(s.stationNPacket, 1);
    EXPECT_EQ(s.stationPacket, "1");
}

TEST(ProgramSettings, TheKindsSectionGivesThePackage) {
    const ProgramSettings_T s = Read(
        "[ControlDevice]\nname=Stantion\n[Stantion]\nmode=ВОЛТАР\nnpacket=3\npacket=Пакет 3\n"
        "[FullTest]\nnpacket=x\n");
    EXPECT_EQ(s.kindSectionPresent, (std::array<bool, 5>{true, false, false, false, true}));
    EXPECT_EQ(s.stationMode, "ВОЛТАР");
    EXPECT_EQ(s.kindNPacket, 3);
    EXPECT_EQ(s.kindPacket, "Пакет 3");
    EXPECT_EQ(s.stationNPacket, 3);
    EXPECT_EQ(Read("[ControlDevice]\nname=FullTest\n[FullTest]\nnpacket=x\n").kindNPacket, 1);
}

TEST(ProgramSettings, PortKeysCountOnlyInsideThePortSection) {
    const ProgramSettings_T none = Read("[other]\nconnect_stantion=COM9\nRTS=1\n");
    EXPECT_FALSE(none.portSectionPresent);
    EXPECT_EQ(none.connectStation, "COM1");
    EXPECT_EQ(none.rts, 0);

    const ProgramSettings_T s =
        Read("[port]\nconnect_stantion=COM3\nconnect_stend=/dev/ttyUSB1\nEcho=2\nShow=1\nRTS=1\n");
    EXPECT_TRUE(s.portSectionPresent);
    EXPECT_EQ(s.connectStation, "COM3");
    EXPECT_EQ(s.connectStand, "/dev/ttyUSB1");
    EXPECT_EQ(s.echo, 2);
    EXPECT_EQ(s.show, 1);
    EXPECT_EQ(s.rts, 1);
    // Text where a number belongs reads as the default.
    EXPECT_EQ(Read("[port]\nRTS=да\nEcho=1x\n").rts, 0);
    EXPECT_EQ(Read("[port]\nRTS=да\nEcho=1x\n").echo, 0);
}

TEST(ProgramSettings, OnlyTheExactWordSelectsTheOldConstruction) {
    EXPECT_TRUE(Read("[plata]\nconstruction=старая\n").ConstructionOld());
    EXPECT_FALSE(Read("[plata]\nconstruction=новая\n").ConstructionOld());
    EXPECT_FALSE(Read("[plata]\nconstruction=Старая\n").ConstructionOld());
    // The missing key's default looks like the word but starts with a Latin "c".
    const ProgramSettings_T missing = Read("[plata]\n");
    EXPECT_EQ(missing.construction, "c\xD1\x82\xD0\xB0\xD1\x80\xD0\xB0\xD1\x8F");
    EXPECT_FALSE(missing.ConstructionOld());
}

TEST(ProgramSettings, VersionsAreSixteenBitAndReadOnlyWithTheirSection) {
    const ProgramSettings_T s = Read("[version]\nvCP=12\nvKK=70000\nvRG=-1\nvIzm=abc\n");
    EXPECT_TRUE(s.versionSectionPresent);
    EXPECT_EQ(s.vCP, 12);
    EXPECT_EQ(s.vKK, 70000 & 0xFFFF);
    EXPECT_EQ(s.vRG, 0xFFFF);
    EXPECT_EQ(s.vIzm, 0);
    EXPECT_EQ(s.vPzu, 0);
}

TEST(ProgramSettings, EepromSettingsFileNameAndThePath) {
    EXPECT_EQ(Read("[pzu]\npzu=pzu_set.ini\n").pzu, "pzu_set.ini");
    EXPECT_EQ(Read("[PZU]\n").pzu, " ");
    EXPECT_TRUE(Read("[PZU]\n").pzuSectionPresent);
    // The block timer alone unless "answer" is asked for.
    EXPECT_FALSE(Read("[pzu]\npzu=p.ini\n").pzuPacedByAnswer);
    EXPECT_FALSE(Read("[pzu]\npacing=timer\n").pzuPacedByAnswer);
    EXPECT_TRUE(Read("[pzu]\npacing=answer\n").pzuPacedByAnswer);
    EXPECT_EQ(ProgramSettingsPath("/home/stand"), "/home/stand/data/nastr.ini");
}
