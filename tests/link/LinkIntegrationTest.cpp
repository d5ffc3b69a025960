// The whole station path: channel window, serial manager, pseudo-terminal, simulated station.
#include <gtest/gtest.h>

#include "StandSim.h"
#include "link/ChannelWindow.h"
#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"
#include "support/QtWait.h"
#include "support/TempDir.h"

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

// Plays the test window's part: sends like SendStationCommand, reads like Read1.
class StationClient : public TChannelClient {
public:
    explicit StationClient(TChannelWindow& channel) : channel_(channel) {}

    bool Send(const std::string& text) {
        const RequestPacket_T p = BuildRequestPacket(text);
        if (!p.ok) return false;
        reader_.RequestSent(p.bytes);
        channel_.PurgeReceive();
        channel_.PurgeReceive();
        reader_.ResetAccumulation();
        channel_.SendBytes(p.bytes.data(), p.bytes.size());
        return true;
    }

    void Read1(int) override {
        ++calls;
        uint8_t block[99];
        int32_t status = 0;
        const int n = channel_.ReceiveBlock(block, status);
        const auto r = reader_.Read(block, static_cast<size_t>(n));
        if (r.frameExtracted) channel_.PurgeReceive();
        if (r.result == TReplyReader::Result::Frame) {
            codes.push_back(r.code);
            reader_.SetReplyDone(true);
        }
        if (r.result == TReplyReader::Result::ChecksumError) ++checksumErrors;
    }

    int calls = 0;
    int checksumErrors = 0;
    std::vector<uint8_t> codes;

private:
    TChannelWindow& channel_;
    TReplyReader reader_;
};

struct Bench {
    TempDir dir;
    sim::StandSim stand;
    TCustomComm1 channel;
    StationClient client{channel};

    // `rawLine` opens the channel without the station framer, so that every block reaches
    // the reader as it came.
    explicit Bench(const sim::Scenario_T& scenario, bool rawLine = false) : stand(scenario) {
        std::string error;
        EXPECT_TRUE(stand.Start(error)) << error;
        channel.SetClient(&client);
        channel.SetPortName(stand.StationPort());
        channel.SetConfigFile(dir.Write("data/nastr.ini", "[DEVICE]\nname=VOLTAR\n"));
        if (rawLine) channel.Manager()->SetProtocol("HOLE");
        EXPECT_EQ(channel.OpenChannel(), 0);
    }
    ~Bench() { channel.CloseChannel(); }
};

}  // namespace

TEST(StationLink, AStatePollOnAnEchoingLineGetsOneAnswerAndNoEcho) {
    sim::Scenario_T scenario;
    scenario.echo = true;
    Bench b(scenario);
    ASSERT_TRUE(b.client.Send(cmd::kState));
    ASSERT_TRUE(WaitUntil([&] { return !b.client.codes.empty(); }));
    RunEventsFor(300ms);  // anything further would show up here
    EXPECT_EQ(b.client.codes, std::vector<uint8_t>{0x73});
    EXPECT_EQ(b.client.calls, 2);  // the echo frame, swallowed, and the answer
    const auto requests = b.stand.StationRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], (Bytes{0x4D, 0x00, 0x01, 0x88, 0x61, 0x2D, 0x00}));
}

TEST(StationLink, ABadCheckNeverCountsAsAnAnswer) {
    sim::Scenario_T scenario;
    scenario.badCrc = true;
    {
        // The station framer of channel 1 drops the frame before the reader sees it.
        Bench b(scenario);
        ASSERT_TRUE(b.client.Send(cmd::kState));
        RunEventsFor(300ms);
        EXPECT_EQ(b.client.calls, 0);
        EXPECT_TRUE(b.client.codes.empty());
    }
    {
        // On a raw line the reader's own check catches it.
        Bench b(scenario, true);
        ASSERT_TRUE(b.client.Send(cmd::kState));
        ASSERT_TRUE(WaitUntil([&] { return b.client.checksumErrors == 1; }));
        EXPECT_TRUE(b.client.codes.empty());
    }
}

TEST(StationLink, TwoFramesInOneWriteBothArrive) {
    sim::Scenario_T scenario;
    scenario.twoFrames = true;
    scenario.garbage = {0x12, 0x34};
    Bench b(scenario);
    ASSERT_TRUE(b.client.Send(cmd::kPassport));
    ASSERT_TRUE(WaitUntil([&] { return b.client.codes.size() == 2; }));
    EXPECT_EQ(b.client.codes, (std::vector<uint8_t>{0x7F, 0x7F}));
}

TEST(StationLink, SplitAndDelayedAnswersAreAssembled) {
    sim::Scenario_T scenario;
    scenario.splitAt = 5;
    scenario.delayMs = 30;
    Bench b(scenario);
    for (const char* text : {cmd::kState, cmd::kReadSetpoints, cmd::kServiceCentral}) {
        const size_t before = b.client.codes.size();
        ASSERT_TRUE(b.client.Send(text));
        ASSERT_TRUE(WaitUntil([&] { return b.client.codes.size() == before + 1; })) << text;
    }
    EXPECT_EQ(b.client.codes, (std::vector<uint8_t>{0x73, 0x7A, 0xE1}));
}
