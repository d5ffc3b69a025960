#include "execution/AnswerDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "link/StationCodec.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Frame(uint8_t code, const Bytes& data) {
    Bytes f;
    f.reserve(data.size() + 6);
    for (uint8_t b : {uint8_t{0x4D}, uint8_t{0x00}, static_cast<uint8_t>(data.size() + 1), code}) f.push_back(b);
    f.insert(f.end(), data.begin(), data.end());
    const uint16_t crc = StationCrc(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}

struct Rig {
    std::array<float, 2005> b{};
    TAnswerDecoder d{b.data()};
};

}  // namespace

TEST(AnswerDecoder, ConverterStateWithItsCoefficients) {
    Rig r;
    r.d.SetCoefficients({2.0, 0.5, 10.0});
    Bytes data(29, 0);
    data[0] = 0x01, data[1] = 0x2C;   // 300 rpm
    data[2] = 0xFF, data[3] = 0xF6;   // -10 × K Uвх
    data[8] = 0x85;                   // -5 (sign and magnitude)
    data[10] = 0x21, data[11] = 0x02, data[12] = 0x04, data[13] = 0x08;
    data[14] = 0x00, data[15] = 0x03; // 3 × K Uвых
    data[20] = 8;                     // 8 × K Iвых
    data[23] = 0x00, data[24] = 0x02; // [17] = 2 × 10
    data[25] = 0x00, data[26] = 0x05; // [18] = 5 × 10
    data[27] = 0, data[28] = 4;       // [19] = 0, [20] = 2
    const auto res = r.d.Decode(Frame(0x73, data));
    EXPECT_TRUE(res.answered);
    EXPECT_FLOAT_EQ(r.b[4], 300);
    EXPECT_EQ(r.d.State().rotationStatus, "Двигатель вращается. Обороты: 300");
    EXPECT_FLOAT_EQ(r.b[5], -20);
    EXPECT_FLOAT_EQ(r.b[14], -5);
    EXPECT_FLOAT_EQ(r.b[3], 0x21);
    EXPECT_FLOAT_EQ(r.b[0], 2);
    EXPECT_FLOAT_EQ(r.b[1], 4);
    EXPECT_FLOAT_EQ(r.b[2], 8);
    EXPECT_FLOAT_EQ(r.b[8], 30);
    EXPECT_FLOAT_EQ(r.b[11], 4);
    EXPECT_FLOAT_EQ(r.b[21], 2.5f);
    EXPECT_FLOAT_EQ(r.b[22], 0);  // [19] is 0: no division
    // A board counts K Uвых as 1.
    r.d.SetBoardKind(true);
    r.d.Decode(Frame(0x73, data));
    EXPECT_FLOAT_EQ(r.b[8], 3);
}

TEST(AnswerDecoder, ShortAnswersAreNeitherDecodedNorAnswered) {
    Rig r;
    r.b[4] = 123;
    const auto res = r.d.Decode(Frame(0x73, Bytes(10, 0xFF)));
    EXPECT_TRUE(res.known);
    EXPECT_TRUE(res.tooShort);
    EXPECT_FALSE(res.answered);
    EXPECT_FLOAT_EQ(r.b[4], 123);
    // A frame whose length byte claims more than it holds is cut at the frame.
    Bytes lying = Frame(0xEF, Bytes(5, 1));
    lying[2] = 60;
    EXPECT_TRUE(r.d.Decode(lying).tooShort);
}

TEST(AnswerDecoder, BoardClockYearAndEepromAnswers) {
    Rig r;
    Bytes ef(28, 0);
    ef[0] = 1, ef[21] = 7, ef[22] = 12, ef[23] = 0xE0, ef[24] = 9, ef[25] = 5, ef[26] = 3;
    r.d.Decode(Frame(0xEF, ef));
    EXPECT_EQ(r.d.State().clockText, "07.12, 2016 09:05:03");
    EXPECT_FLOAT_EQ(r.b[7], 7);
    EXPECT_FLOAT_EQ(r.b[8], 0xE0);

    platform::IniFile pzu;
    r.d.SetPzuImage(&pzu);
    auto res = r.d.Decode(Frame(0x1A, {0xA4, 0x00, 0x40, 0x02, 0x5A, 0x11}));
    EXPECT_TRUE(res.eepromAnswer);
    EXPECT_FLOAT_EQ(r.b[2], 0x5A);
    EXPECT_EQ(pzu.ReadInteger("Pzu2", "Data", -1), 0x5A);
    EXPECT_EQ(r.d.State().eepromFields.at(2), "5A 11");
    r.d.Decode(Frame(0x1A, {0xA0, 0x00, 0x00, 0x05, 1, 2, 3, 4, 105}));
    EXPECT_EQ(r.d.State().eepromVersion, 5);
    // Another chip address is only shown: no index into BuffPar.
    r.b.fill(0);
    res = r.d.Decode(Frame(0x1A, {0x50, 0x00, 0x00, 0x01, 0x77}));
    EXPECT_FALSE(res.eepromAnswer);
    EXPECT_EQ(r.d.State().eepromGeneral, "77");
    EXPECT_EQ(std::count(r.b.begin(), r.b.end(), 0.0f), 2005);
    r.d.SetStoreEeprom(false);
    r.d.Decode(Frame(0x1A, {0xA4, 0x00, 0x40, 0x01, 0x01}));
    EXPECT_EQ(pzu.ReadInteger("Pzu2", "Data", -1), 0x5A);
}

TEST(AnswerDecoder, ZeroDivisorsGiveZeroAndKeepTheScale) {
    Rig r;
    r.d.Decode(Frame(0xE5, {0x80}));
    const double s = 255.0 / (0x80 * 198.0 / 255.0);
    EXPECT_DOUBLE_EQ(r.d.ScaleS(), s);
    r.d.Decode(Frame(0xE5, {0x00}));
    EXPECT_DOUBLE_EQ(r.d.ScaleS(), s);

    Bytes c7(29, 0);  // factor P := 0
    r.d.Decode(Frame(0x7C, c7));
    EXPECT_EQ(r.d.FactorP(), 0);
    Bytes eb(17, 0);
    eb[8] = 1;
    r.d.Decode(Frame(0xEB, eb));
    EXPECT_FLOAT_EQ(r.b[8], 0);
    Bytes e1(35, 0);
    e1[22] = 0xFF, e1[23] = 0xFF;  // 65535 - word = 0
    r.d.Decode(Frame(0xE1, e1));
    EXPECT_FLOAT_EQ(r.b[11], 0);
    for (float v : r.b) EXPECT_TRUE(std::isfinite(v));
}

TEST(AnswerDecoder, ProtectionsAndFrequencies) {
    Rig r;
    Bytes e3(15, 0);
    e3[0] = 2;  // divisor D
    r.d.Decode(Frame(0xE3, e3));
    EXPECT_EQ(r.d.DivisorD(), 2);
    Bytes c7(29, 0);
    c7[4] = 4;
    r.d.Decode(Frame(0x7C, c7));
    Bytes eb(17, 0);
    eb[8] = 0, eb[9] = 0x03, eb[10] = 0xE8;  // 1000 × 0.2 / 2 = 100
    eb[13] = 0, eb[14] = 0x01, eb[15] = 0xF4;  // g = 500
    eb[16] = 9;
    r.d.Decode(Frame(0xEB, eb));
    EXPECT_FLOAT_EQ(r.b[8], static_cast<float>(1e6 / 100.0 / 4 * 10));
    EXPECT_FLOAT_EQ(r.b[11], static_cast<float>(1e6 / (0.2 * 500)));
    EXPECT_FLOAT_EQ(r.b[12], 9);
    EXPECT_EQ(r.d.State().lastEbPayload.size(), 18u);
    EXPECT_EQ(r.d.State().lastEbPayload[0], 0xEB);
}

TEST(AnswerDecoder, UnknownCodesAndStationRequests) {
    Rig r;
    auto res = r.d.Decode(Frame(0x88, {}));
    EXPECT_FALSE(res.known);
    EXPECT_FALSE(res.answered);
    EXPECT_TRUE(res.stationRequest);  // another master on the line
    res = r.d.Decode(Frame(0x55, {}));
    EXPECT_FALSE(res.stationRequest);
    EXPECT_TRUE(r.d.Decode(Frame(0x68, {})).answered);
    EXPECT_TRUE(r.d.Decode(Frame(0x77, {0x4D})).clearingDone);
    EXPECT_TRUE(r.d.Decode(Frame(0x0B, {})).toEepromWindow);
    Bytes ed(7, 0);
    ed[5] = 0xE0;
    r.d.Decode(Frame(0xED, ed));
    EXPECT_FLOAT_EQ(r.b[5], 7);
}
