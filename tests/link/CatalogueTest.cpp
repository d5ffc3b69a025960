#include "link/CommandCatalogue.h"

#include <gtest/gtest.h>

#include "link/StationCodec.h"

namespace {

// Payload length announced by a text's first two bytes, and the payload it actually carries.
std::pair<size_t, size_t> Announced(const char* text) {
    const auto b = HexTextToBytes(text);
    return {b.size() >= 2 ? b[0] * 256u + b[1] : 0u, b.size() >= 2 ? b.size() - 2 : 0u};
}

}  // namespace

TEST(Catalogue, CompleteTextsCarryWhatTheyAnnounce) {
    std::vector<const char*> complete = {
        cmd::kServiceCentral, cmd::kServiceSwitch, cmd::kServiceRegulator, cmd::kServiceMeter,
        cmd::kService04B9,    cmd::kService04B1,   cmd::kService01B9,       cmd::kService02B9,
        cmd::kService03B9,    cmd::kPowerOff,      cmd::kReadSetpoints,     cmd::kConverterParams,
        cmd::kState,          cmd::kMeasure,       cmd::kSwitchTest,        cmd::kScale,
        cmd::kService033B,    cmd::kStopTest,      cmd::kSawTest,           cmd::kSoftReset,
        cmd::kSoftResetToolbar, cmd::kB1,          cmd::kPassport,          cmd::kEepromRead00};
    for (const char* t : cmd::kIssueCombination) complete.push_back(t);
    for (const char* t : cmd::kEepromRead40) complete.push_back(t);
    for (const char* t : cmd::kEepromWriteFF) complete.push_back(t);
    for (const char* t : cmd::kProtectionReset) complete.push_back(t);
    for (const char* t : complete) {
        const auto [announced, carried] = Announced(t);
        EXPECT_EQ(announced, carried) << '"' << t << '"';
    }
    // The heads that operations complete announce more than they carry.
    EXPECT_EQ(Announced(cmd::kSetpointHead), std::make_pair(size_t{15}, size_t{1}));
    EXPECT_EQ(Announced(cmd::kInstantTrip), std::make_pair(size_t{4}, size_t{2}));
    EXPECT_EQ(Announced(cmd::kEepromWrite[3]), std::make_pair(size_t{6}, size_t{5}));
}

TEST(Catalogue, SpacingIsKeptAsStored) {
    EXPECT_STREQ(cmd::kSetpointHead, "00  0F a9 ");
    EXPECT_STREQ(cmd::kSoftReset, "00  01 41");
    EXPECT_STREQ(cmd::kSoftResetToolbar, "00 01 41");
    EXPECT_STREQ(cmd::kIssueCombination[5], "00  03 01 57 05");
    EXPECT_EQ(HexTextToBytes(cmd::kEepromRead40[7]), (std::vector<uint8_t>{0, 5, 0x10, 0xAE, 0, 0x40, 0x10}));
}

TEST(Catalogue, SetpointBlockTakesTheClockAndTheFields) {
    const ClockFn clock = [] { return LocalDateTime_T{2027, 1, 31, 23, 59, 58}; };
    SetpointValues_T v;
    v.rotationSpeed = 3000;
    v.instantTrip = 1;
    v.construction = 1;
    v.transformerVoltage = 1140;
    v.package = 3;
    EXPECT_EQ(SetpointCommand(v, clock), "00  0F a9  0B B8 01 17 3B 1F 01 07 EB 01 04 74 00 03");
    EXPECT_EQ(HexTextToBytes(SetpointCommand(v, clock)).size(), 17u);
}

TEST(Catalogue, SendAllIsSixCommandsInOrder) {
    const auto list = SendAllCommands("S");
    EXPECT_EQ(list, (std::vector<std::string>{"00 01 88", "00  01 3b", "00 01 a3", "S", "00  01 b1",
                                              "00 05 10 a0 00 00 10"}));
}

TEST(Catalogue, ParameterDigits) {
    EXPECT_EQ(HexParam(0x7F), "7F");
    EXPECT_EQ(HexParam(5), "05");
    EXPECT_EQ(HexParam(300), "12C");  // a field value above 255 keeps all its digits
    EXPECT_EQ(HexWord(250), "00 FA");
}
