#include "execution/ServiceCommands.h"

#include <gtest/gtest.h>

#include "link/StationCodec.h"

TEST(ServiceCommands, TheExactTextsOfThePage) {
    const auto speed = RotationSpeedCommand("250");
    ASSERT_TRUE(speed.ok);
    EXPECT_EQ(speed.text, "00  04 ab 01 00 FA");
    EXPECT_EQ(InstantTripCommand(1).text, "00  04 ab 02 01");
    EXPECT_EQ(InstantTripCommand(0).text, "00  04 ab 02 00");
    EXPECT_EQ(DacCommand("127").text, "00 03 02 93 7F");
    EXPECT_EQ(PwmCommand(" 5 ").text, "00 03 02 95 05");
    EXPECT_EQ(PotentiometerCommand(3, "127").text, "00 04 03 77 03 7F");
    EXPECT_EQ(CloseKeysCommand(0x10, 0x10), "00 04 04 47 10 10");
    EXPECT_EQ(HexTextToBytes(CloseKeysCommand(0x10, 0x10)), (std::vector<uint8_t>{0, 4, 4, 0x47, 0x10, 0x10}));
}

TEST(ServiceCommands, FieldsOutOfRangeOrNotNumbersSendNothing) {
    for (const char* bad : {"256", "-1", "1e2", "", "12a", "0x10", "99999999999999999999"}) {
        const auto dac = DacCommand(bad);
        EXPECT_FALSE(dac.ok) << bad;
        EXPECT_TRUE(dac.text.empty());
        EXPECT_NE(dac.error.find("от 0 до 255"), std::string::npos) << bad;
    }
    EXPECT_TRUE(DacCommand("255").ok);
    EXPECT_FALSE(RotationSpeedCommand("65536").ok);
    EXPECT_TRUE(RotationSpeedCommand("65535").ok);
    EXPECT_FALSE(PotentiometerCommand(5, "1").ok);
    const ClockFn clock = [] { return LocalDateTime_T{2026, 12, 7, 20, 5, 0}; };
    EXPECT_FALSE(SetpointBlockCommand("250", 0, 0, "70000", 1, clock).ok);
    const auto block = SetpointBlockCommand("250", 1, 1, "380", 2, clock);
    ASSERT_TRUE(block.ok);
    EXPECT_EQ(block.text, "00  0F a9  00 FA 01 14 05 07 0C 07 EA 01 01 7C 00 02");
}
