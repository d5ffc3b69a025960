#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "link/Crc.h"
#include "support/TempDir.h"

namespace {

const std::string kCheck = "123456789";

uint32_t CrcOf(TModel model, const std::vector<uint8_t>& data) {
    TCRC crc;
    crc.SetModel(model);
    crc.Cm_Ini();
    crc.Cm_Blk(data.data(), data.size());
    return crc.Cm_CRC();
}

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// The classic table-driven engine, fed by Cm_Tab: it must agree with the bit-by-bit one.
uint32_t TableCrc(TModel model, const std::vector<uint8_t>& data) {
    TCRC crc;
    crc.SetModel(model);
    const TCRCModel& m = crc.CurrentModel();
    uint32_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = crc.Cm_Tab(i);
    const uint32_t mask = crc.Widmask();
    uint32_t reg = m.refIn ? TCRC::Reflect(m.init, m.width) : m.init;
    for (uint8_t b : data) {
        if (m.refIn)
            reg = (reg >> 8) ^ table[(reg ^ b) & 0xFF];
        else
            reg = ((reg << 8) ^ table[((reg >> (m.width - 8)) ^ b) & 0xFF]) & mask;
    }
    return (reg ^ m.xorOut) & mask;
}

}  // namespace

TEST(Crc, EveryModelGivesItsCheckValue) {
    const struct {
        TModel model;
        uint32_t check;
    } cases[] = {
        {mCRC_16_standart, 0xFEE8},
        {mLHA, 0xC7ED},
        {mCRC_16_CITT, 0x29B1},
        {mXMODEM, 0x0C73},
        {mARC, 0xBB3D},
        {mCRC_32, 0xCBF43926},
        {mCRC_32_reverse, 0xE07E661E},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CrcOf(c.model, Bytes(kCheck)), c.check) << StandartCRCModels[c.model].name;
        EXPECT_EQ(TableCrc(c.model, Bytes(kCheck)), c.check) << StandartCRCModels[c.model].name;
    }
}

TEST(Crc, StationStatePollHasItsKnownCheck) {
    EXPECT_EQ(CrcOf(mCRC_16_standart, {0x4D, 0x00, 0x01, 0x88}), 0x612Du);
}

TEST(Crc, ReadingTheValueLeavesTheRegisterSoMoreBytesMayFollow) {
    TCRC crc;
    crc.Cm_Ini();
    crc.Cm_Nxt(0x4D);
    crc.Cm_Nxt(0x00);
    const uint32_t first = crc.Cm_CRC();
    EXPECT_EQ(crc.Cm_CRC(), first);
    const uint8_t rest[] = {0x01, 0x88};
    crc.Cm_Blk(rest, 2);
    EXPECT_EQ(crc.Cm_CRC(), 0x612Du);
}

TEST(Crc, SetModelCopiesTheTableEntryWithItsZeroRegister) {
    TCRC crc;
    EXPECT_EQ(crc.Model(), mCRC_16_standart);
    crc.SetModel(mCRC_32);
    crc.Cm_Ini();
    crc.Cm_Nxt(0x31);
    crc.SetModel(mCRC_32);
    EXPECT_EQ(crc.CurrentModel().reg, 0u);
    EXPECT_EQ(crc.Cm_CRC(), 0xFFFFFFFFu);  // register 0, reflected, final XOR
    crc.Cm_Ini();
    EXPECT_EQ(crc.CurrentModel().reg, 0xFFFFFFFFu);
    EXPECT_EQ(crc.Cm_CRC(), 0u);  // the CRC-32 of nothing
}

TEST(Crc, AModelOutsideTheTableIsKeptButChangesNothing) {
    TCRC crc;
    crc.SetModel(mARC);
    crc.SetModel(static_cast<TModel>(7));
    EXPECT_EQ(crc.Model(), static_cast<TModel>(7));
    EXPECT_STREQ(crc.CurrentModel().name, "ARC");
    crc.Cm_Ini();
    crc.Cm_Blk(reinterpret_cast<const uint8_t*>(kCheck.data()), kCheck.size());
    EXPECT_EQ(crc.Cm_CRC(), 0xBB3Du);
}

TEST(Crc, ReflectAndWidmask) {
    EXPECT_EQ(TCRC::Reflect(0x12345601, 8), 0x12345680u);  // bits above stay
    EXPECT_EQ(TCRC::Reflect(0x0001, 16), 0x8000u);
    EXPECT_EQ(TCRC::Reflect(0x00000001, 32), 0x80000000u);
    EXPECT_EQ(TCRC::Reflect(0xABCD, 0), 0xABCDu);
    TCRC crc;
    EXPECT_EQ(crc.Widmask(), 0xFFFFu);
    crc.SetModel(mCRC_32);
    EXPECT_EQ(crc.Widmask(), 0xFFFFFFFFu);
}

TEST(Crc, PublishedModelsAgreeWithCrcmodOnRandomBuffers) {
    std::mt19937 rng(20261207);
    std::vector<std::vector<uint8_t>> buffers{{}, Bytes(kCheck)};
    for (int i = 0; i < 1200; ++i) {
        std::vector<uint8_t> b(rng() % 300);
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        buffers.push_back(std::move(b));
    }
    TempDir dir;
    {
        std::ofstream out(dir.File("buffers.txt"));
        for (const auto& b : buffers) {
            for (uint8_t x : b) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", x);
                out << hex;
            }
            out << "\n";
        }
    }
    const std::string cmd = std::string("/usr/bin/python3 ") + CRC_REFERENCE_SCRIPT + " " +
                            dir.File("buffers.txt") + " > " + dir.File("crcs.txt");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "crcmod (python3-crcmod) is needed: " << cmd;
    std::ifstream in(dir.File("crcs.txt"));
    const TModel models[] = {mCRC_16_standart, mCRC_16_CITT, mARC, mCRC_32};
    size_t compared = 0;
    for (const auto& b : buffers) {
        std::string line;
        ASSERT_TRUE(std::getline(in, line));
        std::istringstream fields(line);
        for (TModel m : models) {
            uint32_t expected = 0;
            fields >> std::hex >> expected;
            ASSERT_EQ(CrcOf(m, b), expected)
                << StandartCRCModels[m].name << ", buffer " << compared;
        }
        ++compared;
    }
    EXPECT_EQ(compared, buffers.size());
}
