#include "execution/PassportCheck.h"

#include <gtest/gtest.h>

namespace {
const std::vector<uint8_t> kPassport = {0x01, 0x2C, 3, 4, 5, 6, 7, 3, 0x07, 0xE0, 14, 5, 0, 0};
}

TEST(PassportCheck, MatchingVersionsKeepTheFieldsAndWriteTheTable) {
    const auto r = CheckPassport(kPassport, 9, {3, 4, 5, 6, 9}, {1, 1, 1, 1, 1}, true);
    EXPECT_EQ(r.logicalNumber, 300);
    EXPECT_EQ(r.boardDate, "07.03.2016");
    EXPECT_EQ(r.firmwareTime, "14:05");
    EXPECT_TRUE(r.message.empty());
    EXPECT_FALSE(r.stationFailed);
    ASSERT_GE(r.protocol.size(), 4u);
    EXPECT_EQ(r.protocol[0], (std::pair<std::string, std::string>{"Логический номер", "300"}));
    EXPECT_EQ(r.protocol[2].first, "\nВерсии ПО ПУ-ПЧ:");
    EXPECT_EQ(r.protocol[3].first, "                         Ожидаемое|Текущее");
    EXPECT_EQ(r.protocol[4].first, " Центральный             3        |      3");
    // Only the first check of a run names the logical number.
    EXPECT_NE(CheckPassport(kPassport, 9, {3, 4, 5, 6, 9}, {}, false).protocol[0].first, "Логический номер");
}

TEST(PassportCheck, OldNumberingWarnsWithoutFailing) {
    const auto r = CheckPassport(kPassport, 9, {1, 1, 1, 1, 1}, {3, 4, 5, 6, 9}, false);
    EXPECT_TRUE(r.warning);
    EXPECT_FALSE(r.stationFailed);
    EXPECT_EQ(r.message, "Станция содержит старую нумерацию версий ПО процессора.");
    EXPECT_EQ(r.status, "Внимание! Станция содержит старую нумерацию версий ПО процессора.");
    EXPECT_EQ(r.colours[0], PassportCheck_T::FieldColour::Yellow);
    EXPECT_EQ(r.protocol[1].first, "Предупреждение: Станция содержит старую нумерацию версий ПО процессора.");
}

TEST(PassportCheck, OtherVersionsFailTheStationAndMarkTheDifferingFields) {
    const auto r = CheckPassport(kPassport, 9, {3, 4, 7, 6, 9}, {1, 1, 1, 1, 1}, false);
    EXPECT_TRUE(r.stationFailed);
    EXPECT_FALSE(r.warning);
    EXPECT_EQ(r.message, "Ошибка номера версии ПО процессора платы ПУ-ПЧ.");
    EXPECT_EQ(r.colours[2], PassportCheck_T::FieldColour::Red);
    EXPECT_EQ(r.colours[0], PassportCheck_T::FieldColour::Normal);
    EXPECT_EQ(r.protocol[1].first, "Ошибка: Ошибка номера версии ПО процессора платы ПУ-ПЧ.");
    // A short passport reads its missing bytes as 0 instead of past its end.
    EXPECT_EQ(CheckPassport({0x00, 0x05}, -1, {}, {}, true).logicalNumber, 5);
}
