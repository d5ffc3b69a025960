#include "execution/StandIo.h"

#include <gtest/gtest.h>

using Bytes = std::vector<uint8_t>;

TEST(StandIo, OutputCommandsCarryTheModuleAndItsMask) {
    TStandIo io;
    auto c = io.SwitchContactor(7, 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(*c, (Bytes{0x40, 0x30, 0x32, 0x30, 0x32, 0x0D}));  // module 02, bit value 2
    EXPECT_EQ(TStandIo::LogOut(*c), "ICP:40 30 32 30 32 0D");
    EXPECT_FALSE(io.ModuleAnswered());
    // Until a module answers, changes only go into the masks.
    EXPECT_FALSE(io.SwitchContactor(5, 1));
    const Bytes reply = {'>', '\r'};
    io.OnReply(reply.data(), reply.size());
    c = io.SwitchContactor(1, 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(io.Mask(1), 17);
    EXPECT_EQ(std::string(c->begin() + 1, c->end() - 1), "0111");
    EXPECT_FALSE(io.SwitchContactor(16, 1));
    EXPECT_FALSE(io.SwitchContactor(0, 1));
    io.OnReply(reply.data(), reply.size());
    io.SwitchContactor(5, 0);
    EXPECT_EQ(io.Mask(1), 1);
    io.OnReply(reply.data(), reply.size());
    io.SwitchContactor(5, 0);  // clearing a clear bit changes nothing
    EXPECT_EQ(io.Mask(1), 1);
}

TEST(StandIo, InputRepliesGiveTheDigitAndTheInvertedNibble) {
    TStandIo io;
    EXPECT_EQ(io.InputNibble(), 15);
    const std::string r = ">010E\r";
    io.OnReply(reinterpret_cast<const uint8_t*>(r.data()), r.size());
    EXPECT_EQ(io.InputNibble(), 1);  // E XOR F
    EXPECT_EQ(io.ModuleDigit(), 1);
    const std::string bad = ">010Z\r";
    io.OnReply(reinterpret_cast<const uint8_t*>(bad.data()), bad.size());
    EXPECT_EQ(io.InputNibble(), 0);  // not a hex digit counts as F
    const std::string shortReply = ">0\r";
    io.OnReply(reinterpret_cast<const uint8_t*>(shortReply.data()), shortReply.size());
    EXPECT_EQ(io.InputNibble(), 0);
    EXPECT_EQ(TStandIo::InputRequest(), (Bytes{0x40, '0', '3', 0x0D}));
    EXPECT_EQ(TStandIo::LogIn(reinterpret_cast<const uint8_t*>(r.data()), 2), "ICP in: 3E 30");
}

TEST(Combination, TablesAndOrder) {
    TCombination c;
    c.Set(10);
    TCombination::Pair p;
    ASSERT_TRUE(c.Next(p));
    EXPECT_EQ(p, (TCombination::Pair{12, 0}));
    ASSERT_TRUE(c.Next(p));
    EXPECT_EQ(p, (TCombination::Pair{2, 1}));
    EXPECT_FALSE(c.Next(p));
    c.Set(5);
    EXPECT_FALSE(c.Next(p));
    EXPECT_TRUE(TCombination::Pairs(18).empty());
    EXPECT_EQ(TCombination::Pairs(1).size(), 15u);
    EXPECT_EQ(TCombination::Pairs(3)[11], (TCombination::Pair{1, 1}));
    EXPECT_EQ(TCombination::Pairs(16).back(), (TCombination::Pair{6, 0}));
}

TEST(ContactorAction, ActionOneTakesFiveTicks) {
    TContactorAction a;
    auto t = a.OnTick(1);
    EXPECT_TRUE(t.setAutomatOff);
    EXPECT_EQ(t.combination, 1);
    t = a.OnTick(1);
    EXPECT_EQ(t.combination, 3);
    t = a.OnTick(1);
    EXPECT_EQ(t.combination, 0);  // a pause
    t = a.OnTick(1);
    EXPECT_EQ(t.stationCommands, 2);
    t = a.OnTick(1);
    EXPECT_TRUE(t.finished);
    EXPECT_EQ(a.Stage(), 0);
    TContactorAction b;
    b.OnTick(3);
    EXPECT_EQ(b.OnTick(3).combination, 8);
    EXPECT_EQ(b.OnTick(3).combination, 4);
    EXPECT_TRUE(TContactorAction().OnTick(7).finished);
    EXPECT_STREQ(TContactorAction::StatusText(2),
                 "Коммутация нормального напр. пит. станции при маломощ. нагр.");
}
