#include "link/StationCodec.h"

#include <gtest/gtest.h>

#include "link/CommandCatalogue.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A reply frame built by hand: 4D 00 N payload CRC-high CRC-low.
Bytes Reply(const Bytes& payload) {
    Bytes f = {0x4D, 0x00, static_cast<uint8_t>(payload.size())};
    f.insert(f.end(), payload.begin(), payload.end());
    const uint16_t crc = StationCrc(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}

TReplyReader::Read_T Feed(TReplyReader& r, const Bytes& b) { return r.Read(b.data(), b.size()); }

}  // namespace

TEST(HexText, DigitsSeparatorsAndTheThreeDigitRule) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue(' '), -1);
    EXPECT_EQ(HexTextToBytes("00  04 ab 01 0 FA"), (Bytes{0x00, 0x04, 0xAB, 0x01, 0x00, 0xFA}));
    EXPECT_EQ(HexTextToBytes("ABC"), (Bytes{0xAB, 0x0C}));
    EXPECT_EQ(HexTextToBytes(""), Bytes{});
    EXPECT_EQ(HexTextToBytes(" 5 "), Bytes{0x05});
    EXPECT_EQ(HexTextToBytes("12,34;zz56\t7"), (Bytes{0x12, 0x34, 0x56, 0x07}));
    uint8_t small[2];
    EXPECT_EQ(HexTextToBytes("01 02 03 04", small, 2), 2u);  // never past the buffer
    EXPECT_EQ(small[1], 0x02);
}

TEST(RequestPacket, TheStatePollIsSevenExactBytes) {
    const RequestPacket_T p = BuildRequestPacket(cmd::kState);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.bytes, (Bytes{0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00}));
}

TEST(RequestPacket, TheSetpointBlockIsTwentyOneBytes) {
    const std::string text = SetpointCommand({}, [] { return LocalDateTime_T{2026, 12, 7, 20, 5, 0}; });
    EXPECT_EQ(text, "00  0F a9  00 FA 00 14 05 07 0C 07 EA 00 01 7C 00 01");
    const RequestPacket_T p = BuildRequestPacket(text);
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.bytes.size(), 21u);
    EXPECT_EQ(p.bytes[2], 15);
    EXPECT_EQ(p.bytes[3], 0xA9);
    EXPECT_EQ(p.bytes[17], 0x01);  // package, low byte
    const uint16_t crc = StationCrc(p.bytes.data(), 18);
    EXPECT_EQ(p.bytes[18], crc >> 8);
    EXPECT_EQ(p.bytes[19], crc & 0xFF);
    EXPECT_EQ(p.bytes[20], 0x00);
}

TEST(RequestPacket, MissingPayloadBytesAreZerosAndOversizeTextsAreRefused) {
    // "Мгнов. откл. по току" announces four payload bytes and carries three.
    const RequestPacket_T trip = BuildRequestPacket(std::string(cmd::kInstantTrip) + " 01");
    ASSERT_TRUE(trip.ok);
    ASSERT_EQ(trip.bytes.size(), 10u);
    EXPECT_EQ(Bytes(trip.bytes.begin(), trip.bytes.begin() + 7),
              (Bytes{0x4D, 0x00, 0x04, 0xAB, 0x02, 0x01, 0x00}));
    // The same after an earlier, longer command: nothing of it leaks into this one.
    BuildRequestPacket("00 06 15 a0 00 40 01 ff");
    EXPECT_EQ(BuildRequestPacket(std::string(cmd::kInstantTrip) + " 01").bytes, trip.bytes);

    const RequestPacket_T huge = BuildRequestPacket("27 0B 01");  // announces 9995 bytes
    EXPECT_FALSE(huge.ok);
    EXPECT_TRUE(huge.bytes.empty());
    EXPECT_NE(huge.error.find("9995"), std::string::npos);
    EXPECT_TRUE(BuildRequestPacket("27 0A").ok);  // 9994: the largest that fits
    EXPECT_EQ(BuildRequestPacket("").bytes, (Bytes{0x4D, 0x00, 0x00, 0x05, 0xE4, 0x00}));
}

TEST(RequestPacket, TheLastPayloadByteMayBeRewrittenBeforeTheCheck) {
    const RequestPacket_T p =
        BuildRequestPacket(std::string(cmd::kDac) + "7F", [](uint8_t& b) { b = 0xFF; });
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.bytes[5], 0xFF);
    EXPECT_EQ(p.bytes, BuildRequestPacket(std::string(cmd::kDac) + "FF").bytes);
}

TEST(ExtractFrame, GarbageIsDroppedUpToTheStartByte) {
    const Bytes frame = Reply({0xE5, 0x10});
    Bytes buf = {0x12, 0x34};
    buf.insert(buf.end(), frame.begin(), frame.end());
    int count = static_cast<int>(buf.size());
    TCommand c;
    EXPECT_EQ(c.ExtractFrame(buf.data(), count), 7);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(c.Bytes(), frame);
    EXPECT_EQ(c.FrameText(), "4D 00 02 E5 10 " + BytesToHex(frame.data() + 5, 2, " ") + " ");
    c.Clear();
    EXPECT_EQ(c.Length(), 0);
}

TEST(ExtractFrame, StartAndLengthRules) {
    TCommand c;
    Bytes four = {0x4D, 0x00, 0x01, 0x88};
    int n = 4;
    EXPECT_EQ(c.ExtractFrame(four.data(), n), 0);
    // 4D 01 is never a frame, however much follows; nothing more is dropped.
    Bytes b(100, 0x00);
    b[0] = 0x4D;
    b[1] = 0x01;
    n = 100;
    EXPECT_EQ(c.ExtractFrame(b.data(), n), 0);
    EXPECT_EQ(n, 100);
    // A frame announcing more than is buffered waits.
    Bytes partial = {0x4D, 0x00, 0x03, 0x73, 0x01, 0x02};
    n = 6;
    EXPECT_EQ(c.ExtractFrame(partial.data(), n), 0);
    EXPECT_EQ(n, 6);
    // Only garbage: everything goes.
    Bytes junk = {1, 2, 3, 4, 5, 6};
    n = 6;
    EXPECT_EQ(c.ExtractFrame(junk.data(), n), 0);
    EXPECT_EQ(n, 0);
}

TEST(ReplyReader, AGoodReplyIsReportedWithItsCode) {
    TReplyReader r;
    const Bytes request = BuildRequestPacket(cmd::kState).bytes;
    r.RequestSent(request);
    EXPECT_FALSE(r.ReplyDone());
    EXPECT_EQ(r.PendingEcho(), 6);
    const Bytes reply = Reply({0x73, 1, 2, 3});
    const auto res = Feed(r, reply);
    EXPECT_EQ(res.result, TReplyReader::Result::Frame);
    EXPECT_EQ(res.code, 0x73);
    EXPECT_TRUE(res.frameExtracted);
    EXPECT_EQ(r.RcdCommand().Bytes(), reply);
    EXPECT_EQ(r.AccumulatedCount(), 0);
}

TEST(ReplyReader, SwappedCheckBytesAreAChecksumError) {
    TReplyReader r;
    r.RequestSent(BuildRequestPacket(cmd::kState).bytes);
    Bytes reply = Reply({0x73, 1, 2, 3});
    std::swap(reply[reply.size() - 1], reply[reply.size() - 2]);
    const auto res = Feed(r, reply);
    EXPECT_EQ(res.result, TReplyReader::Result::ChecksumError);
    EXPECT_TRUE(res.frameExtracted);
}

TEST(ReplyReader, TheEchoOfTheRequestIsSwallowedWhileAReplyIsAwaited) {
    TReplyReader r;
    const Bytes request = BuildRequestPacket(cmd::kState).bytes;
    r.RequestSent(request);
    // The echo without its trailer: swallowed whole.
    EXPECT_EQ(Feed(r, Bytes(request.begin(), request.end() - 1)).result, TReplyReader::Result::Nothing);
    EXPECT_EQ(r.AccumulatedCount(), 0);
    EXPECT_EQ(r.PendingEcho(), 0);
    EXPECT_EQ(Feed(r, Reply({0x73})).code, 0x73);

    // A block whose first byte is not the echo's goes in whole.
    r.RequestSent(request);
    const Bytes other = {0x11, 0x4D, 0x00};
    Feed(r, other);
    EXPECT_EQ(r.AccumulatedCount(), 3);

    // Echo followed by the reply in one block: the matched bytes go in too and the frame is
    // still found (the echo frame comes first and is a station request, code 0x88).
    r.RequestSent(request);
    Bytes both(request.begin(), request.end() - 1);
    const Bytes reply = Reply({0x73});
    both.insert(both.end(), reply.begin(), reply.end());
    EXPECT_EQ(Feed(r, both).code, 0x88);

    // With the reply flag set there is no echo comparison at all.
    r.RequestSent(request);
    r.SetReplyDone(true);
    EXPECT_EQ(Feed(r, Bytes(request.begin(), request.end() - 1)).code, 0x88);
}

TEST(ReplyReader, MoreThanTheBufferHoldsDropsTheOldestBytes) {
    TReplyReader r;
    r.SetReplyDone(true);
    const Bytes junk(99, 0x11);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Feed(r, junk).result, TReplyReader::Result::Nothing);
    // 4D 01 at the front blocks extraction; bytes pile up but stay within the buffer.
    Bytes blocker = {0x4D, 0x01};
    Feed(r, blocker);
    for (int i = 0; i < 10; ++i) Feed(r, junk);
    EXPECT_LE(r.AccumulatedCount(), TReplyReader::kReplyBufferSize);
    // Once the blocker has been pushed out, a reply is found again.
    const Bytes reply = Reply({0xE5, 0x42});
    EXPECT_EQ(Feed(r, reply).code, 0xE5);
    // A single block larger than the buffer keeps its newest bytes.
    Bytes big(1000, 0x22);
    big.insert(big.end(), reply.begin(), reply.end());
    EXPECT_EQ(r.Read(big.data(), big.size()).code, 0xE5);
}

TEST(ReplyReader, WrappedLengthsNeverReadPastTheFrame) {
    TReplyReader r;
    r.SetReplyDone(true);
    // Length byte 0xFD: (0xFD + 5) mod 256 = 2, a two-byte "frame".
    const Bytes odd = {0x4D, 0x00, 0xFD, 0x01, 0x02, 0x03};
    EXPECT_EQ(Feed(r, odd).result, TReplyReader::Result::ChecksumError);
}
