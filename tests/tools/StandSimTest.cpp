#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "SimModules.h"
#include "SimScenario.h"
#include "SimStation.h"
#include "StandSim.h"
#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"
#include "platform/SerialPort.h"
#include "support/TempDir.h"

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

Bytes Request(const std::string& text) { return BuildRequestPacket(text).bytes; }

// What the program's reply reader makes of everything the station wrote back.
std::vector<TReplyReader::Read_T> ReadAll(const std::vector<Bytes>& writes, bool replyDone = true) {
    TReplyReader reader;
    reader.SetReplyDone(replyDone);
    std::vector<TReplyReader::Read_T> out;
    for (const Bytes& w : writes) {
        const auto r = reader.Read(w.data(), w.size());
        if (r.result != TReplyReader::Result::Nothing) out.push_back(r);
    }
    return out;
}

uint8_t AnswerCode(sim::SimStation& s, const std::string& text) {
    const Bytes req = Request(text);
    const auto writes = s.OnBytes(req.data(), req.size());
    const auto reads = ReadAll(writes);
    EXPECT_EQ(reads.size(), 1u) << text;
    if (reads.size() != 1) return 0;
    EXPECT_EQ(reads[0].result, TReplyReader::Result::Frame) << text;
    return reads[0].code;
}

}  // namespace

TEST(SimStation, EveryRequestGetsItsAnswerCodeThatTheCodecAccepts) {
    sim::SimStation s;
    const std::vector<std::pair<std::string, uint8_t>> table = {
        {cmd::kState, 0x73},          {cmd::kPassport, 0x7F},        {cmd::kReadSetpoints, 0x7A},
        {cmd::kRotationSpeed, 0x68},  {cmd::kPowerOff, 0x2F},        {cmd::kSoftReset, 0x7E},
        {cmd::kB1, 0xEF},             {cmd::kConverterParams, 0xE1}, {cmd::kServiceCentral, 0xE1},
        {cmd::kServiceSwitch, 0xE9},  {cmd::kServiceRegulator, 0xEB}, {cmd::kServiceMeter, 0xE3},
        {cmd::kMeasure, 0x7C},        {cmd::kScale, 0xE5},           {cmd::kService033B, 0xED},
        {cmd::kEepromRead40[2], 0x1A}, {cmd::kEepromWriteFF[0], 0x1A}, {cmd::kSwitchTest, 0xE7},
        {"00 0a 19 01 2c 07 03 07 e0 0e 05", 0x68},
    };
    for (const auto& [text, code] : table) EXPECT_EQ(AnswerCode(s, text), code) << text;
    EXPECT_EQ(s.Requests().size(), table.size());
}

TEST(SimStation, AnswersCarryTheDataLengthsTheProgramDecodes) {
    sim::SimStation s;
    for (const char* text : {cmd::kState, cmd::kReadSetpoints, cmd::kMeasure, cmd::kPassport,
                             cmd::kServiceCentral, cmd::kServiceMeter, cmd::kScale,
                             cmd::kServiceSwitch, cmd::kServiceRegulator, cmd::kService033B, cmd::kB1}) {
        const Bytes req = Request(text);
        const Bytes answer = s.OnBytes(req.data(), req.size()).at(0);
        EXPECT_EQ(answer[2] - 1u, sim::AnswerDataLength(answer[3])) << text;
    }
}

TEST(SimStation, WrittenValuesComeBackInLaterAnswers) {
    sim::SimStation s;
    const std::string setpoints =
        SetpointCommand({3000, 1, 0, 380, 2}, [] { return LocalDateTime_T{2026, 12, 7, 20, 5, 0}; });
    EXPECT_EQ(AnswerCode(s, setpoints), 0x68);
    Bytes req = Request(cmd::kReadSetpoints);
    Bytes answer = s.OnBytes(req.data(), req.size()).at(0);
    EXPECT_EQ(Bytes(answer.begin() + 4, answer.begin() + 18),
              HexTextToBytes("0B B8 01 14 05 07 0C 07 EA 00 01 7C 00 02"));

    AnswerCode(s, "00  09 19 01 2C 07 03 07 E0 0E 05");
    req = Request(cmd::kPassport);
    answer = s.OnBytes(req.data(), req.size()).at(0);
    EXPECT_EQ(answer[4], 0x01);
    EXPECT_EQ(answer[5], 0x2C);
    EXPECT_EQ(Bytes(answer.begin() + 10, answer.begin() + 16), HexTextToBytes("07 03 07 E0 0E 05"));
}

TEST(SimStation, EepromReadsWhatWasWrittenAndFailsOnRequest) {
    sim::SimStation s;
    Bytes req = Request("00 07 15 a4 01 00 02 12 34");
    Bytes answer = s.OnBytes(req.data(), req.size()).at(0);
    EXPECT_EQ(Bytes(answer.begin() + 3, answer.end() - 2), HexTextToBytes("1A A4 01 00 02 12 34"));
    req = Request("00 05 10 a4 01 00 03");
    answer = s.OnBytes(req.data(), req.size()).at(0);
    EXPECT_EQ(Bytes(answer.begin() + 3, answer.end() - 2), HexTextToBytes("1A A4 01 00 03 12 34 FF"));
    EXPECT_EQ(s.EepromByte(2, 0x0100), 0x12);

    sim::Scenario_T broken;
    broken.i2cFail = true;
    s.SetScenario(broken);
    EXPECT_EQ(AnswerCode(s, "00 05 10 a4 01 00 03"), 0x0B);
}

// The silent block is lost as many times as the scenario says, written by none of those
// requests, and answered from then on; other blocks are not touched.
TEST(SimStation, TheSilentBlockGoesUnansweredTheGivenTimes) {
    TempDir dir;
    sim::Scenario_T scenario;
    std::string error;
    ASSERT_TRUE(sim::LoadScenario(dir.Write("s.ini", "[station]\nsilent_block=00 40\nsilent_block_times=2\n"),
                                  scenario, error)) << error;
    EXPECT_EQ(scenario.silentBlock, 0x40);
    EXPECT_FALSE(sim::LoadScenario(dir.Write("bad.ini", "[station]\nsilent_block=01 02 03\n"), scenario, error));
    sim::SimStation s(scenario);
    const Bytes write40 = Request("00 06 15 a0 00 40 01 5a");
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(s.OnBytes(write40.data(), write40.size()).empty()) << i;
    EXPECT_EQ(s.EepromByte(0, 0x40), 0xFF);
    EXPECT_EQ(AnswerCode(s, "00 06 15 a0 00 00 01 11"), 0x1A);
    EXPECT_EQ(AnswerCode(s, "00 06 15 a0 00 40 01 5a"), 0x1A);
    EXPECT_EQ(s.EepromByte(0, 0x40), 0x5A);
    s.SetScenario(scenario);  // a new scenario loses the block again
    const Bytes read40 = Request("00 05 10 a0 00 40 01");
    EXPECT_TRUE(s.OnBytes(read40.data(), read40.size()).empty());
}

TEST(SimStation, ClearingEndsWith77AfterTheGivenPolls) {
    sim::Scenario_T sc;
    sc.clearAfterPolls = 3;
    sim::SimStation s(sc);
    s.SetEepromByte(0, 5, 0x11);
    s.SetEepromByte(1, 5, 0x22);
    EXPECT_EQ(AnswerCode(s, cmd::kState), 0x73);
    EXPECT_EQ(AnswerCode(s, cmd::kState), 0x73);
    const Bytes req = Request(cmd::kState);
    const Bytes answer = s.OnBytes(req.data(), req.size()).at(0);
    EXPECT_EQ(Bytes(answer.begin() + 3, answer.end() - 2), (Bytes{0x77, 0x4D}));
    EXPECT_EQ(s.EepromByte(0, 5), 0x11);  // page A0 is not cleared
    EXPECT_EQ(s.EepromByte(1, 5), 0x00);
    EXPECT_EQ(AnswerCode(s, cmd::kState), 0x73);
}

TEST(SimStation, LineFaultsAsTheScenarioAsks) {
    const Bytes req = Request(cmd::kState);
    {
        sim::Scenario_T sc;
        sc.echo = true;
        sim::SimStation s(sc);
        const auto writes = s.OnBytes(req.data(), req.size());
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0], req);  // the echo, trailer included, as a real line returns it
    }
    {
        sim::Scenario_T sc;
        sc.badCrc = true;
        sim::SimStation s(sc);
        const auto reads = ReadAll(s.OnBytes(req.data(), req.size()));
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].result, TReplyReader::Result::ChecksumError);
    }
    {
        sim::Scenario_T sc;
        sc.garbage = {0x12, 0x34};
        sc.splitAt = 4;
        sim::SimStation s(sc);
        const auto writes = s.OnBytes(req.data(), req.size());
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0], (Bytes{0x12, 0x34, 0x4D, 0x00}));
        const auto reads = ReadAll(writes);
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].code, 0x73);
    }
    {
        sim::Scenario_T sc;
        sc.twoFrames = true;
        sim::SimStation s(sc);
        const auto writes = s.OnBytes(req.data(), req.size());
        ASSERT_EQ(writes.size(), 1u);
        ASSERT_EQ(writes[0].size(), 2 * 35u);  // 4D 00 1E 73, 29 data bytes, CRC; twice
        EXPECT_EQ(Bytes(writes[0].begin(), writes[0].begin() + 35),
                  Bytes(writes[0].begin() + 35, writes[0].end()));
    }
    {
        sim::Scenario_T sc;
        sc.silent = true;
        sim::SimStation s(sc);
        EXPECT_TRUE(s.OnBytes(req.data(), req.size()).empty());
    }
}

TEST(SimStation, RequestsAreAssembledAcrossWritesAndBadOnesIgnored) {
    sim::SimStation s;
    Bytes req = Request(cmd::kState);
    EXPECT_TRUE(s.OnBytes(req.data(), 3).empty());
    EXPECT_EQ(s.OnBytes(req.data() + 3, req.size() - 3).size(), 1u);
    req[4] ^= 1;
    EXPECT_TRUE(s.OnBytes(req.data(), req.size()).empty());
    EXPECT_EQ(s.BadRequests(), 1);
    const Bytes noise(5000, 0x4D);  // start bytes everywhere, never a valid packet
    EXPECT_TRUE(s.OnBytes(noise.data(), noise.size()).empty());
}

TEST(SimModules, OutputCommandsSwitchContactorsInOrderAndReadsReportInputs) {
    sim::SimModules m;
    auto send = [&](const std::string& s) {
        const auto r = m.OnBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        return r.empty() ? std::string() : std::string(r[0].begin(), r[0].end());
    };
    EXPECT_EQ(send("@0202\r"), ">\r");  // contactor 7 on
    EXPECT_EQ(send("@0111\r"), ">\r");  // contactors 1 and 5 on
    EXPECT_EQ(send("@0210\r"), ">\r");  // 7 off, 10 on
    EXPECT_TRUE(m.ContactorOn(1));
    EXPECT_TRUE(m.ContactorOn(5));
    EXPECT_FALSE(m.ContactorOn(7));
    EXPECT_TRUE(m.ContactorOn(10));
    const std::vector<std::pair<int, bool>> expected = {{7, true}, {1, true}, {5, true}, {7, false}, {10, true}};
    ASSERT_EQ(m.Changes().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(m.Changes()[i].contactor, expected[i].first);
        EXPECT_EQ(m.Changes()[i].on, expected[i].second);
    }
    m.SetInputs(0x1);
    EXPECT_EQ(send("@03\r"), ">000E\r");  // the fifth byte is the inverted inputs
    EXPECT_EQ(send("@04\r"), "");          // no such module: silence
    EXPECT_EQ(send("xx@0"), "");           // no carriage return yet
    EXPECT_EQ(send("1\r").size(), 6u);     // completes "@01"
}

TEST(Scenario, FileValuesAndDefaults) {
    TempDir dir;
    sim::Scenario_T s;
    std::string error;
    EXPECT_FALSE(sim::LoadScenario(dir.File("none.ini"), s, error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(sim::LoadScenario(dir.Write("s.ini",
                                            "[station]\necho=1\ndelay_ms=20\ngarbage=12 34\n"
                                            "clear_after_polls=5\nversions=01 02 03 04\n"
                                            "[answers]\nE5=7F\n73=01 02\n[modules]\ninputs=3\n"),
                                  s, error));
    EXPECT_TRUE(s.echo);
    EXPECT_EQ(s.delayMs, 20);
    EXPECT_EQ(s.garbage, (Bytes{0x12, 0x34}));
    EXPECT_EQ(s.clearAfterPolls, 5);
    EXPECT_EQ(s.versions, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(s.answers.at(0xE5), Bytes{0x7F});
    EXPECT_EQ(s.answers.at(0x73), (Bytes{1, 2}));
    EXPECT_EQ(s.inputs, 3);
    EXPECT_FALSE(s.badCrc);
}

TEST(StandSim, AnswersOverItsPseudoTerminals) {
    sim::StandSim stand;
    std::string error;
    ASSERT_TRUE(stand.Start(error)) << error;
    platform::SerialPort station, modules;
    ASSERT_TRUE(station.Open(stand.StationPort()));
    ASSERT_TRUE(station.Configure({9600, 8, 0, 0}));
    ASSERT_TRUE(modules.Open(stand.ModulesPort()));
    ASSERT_TRUE(modules.Configure({9600, 8, 0, 0}));

    const Bytes req = Request(cmd::kState);
    ASSERT_EQ(station.Write(req.data(), req.size(), 100), static_cast<long>(req.size()));
    Bytes got;
    while (got.size() < 35 && station.WaitForInput(3000) == platform::SerialPort::Wait::Input) {
        uint8_t buf[64];
        const long n = station.Read(buf, sizeof buf);
        got.insert(got.end(), buf, buf + std::max(0L, n));
    }
    EXPECT_EQ(ReadAll({got}).at(0).code, 0x73);
    EXPECT_EQ(stand.StationRequests().at(0), req);

    const std::string out = "@0304\r";
    modules.Write(reinterpret_cast<const uint8_t*>(out.data()), out.size(), 100);
    ASSERT_EQ(modules.WaitForInput(3000), platform::SerialPort::Wait::Input);
    uint8_t buf[8];
    EXPECT_EQ(modules.Read(buf, sizeof buf), 2);
    EXPECT_TRUE(stand.ContactorOn(13));
    stand.Stop();
}

TEST(Scenario, LineSpeedsPerChannel) {
    TempDir dir;
    sim::Scenario_T s;
    std::string error;
    EXPECT_FALSE(s.stationLine.On());
    EXPECT_EQ(s.stationLine.ByteSeconds(), 0);
    ASSERT_TRUE(sim::LoadScenario(
        dir.Write("s.ini", "[station]\nbaud=9600\nparity=even\nstop_bits=2\n[modules]\nbaud=115200\n"), s, error))
        << error;
    EXPECT_DOUBLE_EQ(s.stationLine.ByteSeconds(), 12.0 / 9600);
    EXPECT_DOUBLE_EQ(s.modulesLine.ByteSeconds(), 10.0 / 115200);
    for (const char* bad : {"[station]\nparity=mark\n", "[modules]\nbaud=9600\nstop_bits=3\n"}) {
        error.clear();
        EXPECT_FALSE(sim::LoadScenario(dir.Write("bad.ini", bad), s, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// A request and its answer cross a line of the configured speed: the whole exchange takes at
// least the bytes' line time both ways (a pseudo-terminal alone passes them at once).
TEST(StandSim, AnswersNoSoonerThanTheLineCouldCarryThem) {
    using Clock = std::chrono::steady_clock;
    for (const bool parityAndTwoStops : {false, true}) {
        sim::Scenario_T scenario;
        scenario.stationLine = {4800, parityAndTwoStops, parityAndTwoStops ? 2 : 1};
        scenario.modulesLine = {4800, false, 1};
        sim::StandSim stand(scenario);
        std::string error;
        ASSERT_TRUE(stand.Start(error)) << error;
        platform::SerialPort station, modules;
        ASSERT_TRUE(station.Open(stand.StationPort()));
        ASSERT_TRUE(station.Configure({9600, 8, 0, 0}));
        ASSERT_TRUE(modules.Open(stand.ModulesPort()));
        ASSERT_TRUE(modules.Configure({9600, 8, 0, 0}));

        const Bytes req = Request(cmd::kState);
        const auto sent = Clock::now();
        ASSERT_EQ(station.Write(req.data(), req.size(), 100), static_cast<long>(req.size()));
        Bytes got;
        while (got.size() < 35 && station.WaitForInput(3000) == platform::SerialPort::Wait::Input) {
            uint8_t buf[64];
            const long n = station.Read(buf, sizeof buf);
            got.insert(got.end(), buf, buf + std::max(0L, n));
        }
        const auto took = Clock::now() - sent;
        ASSERT_EQ(got.size(), 35u);
        EXPECT_EQ(ReadAll({got}).at(0).code, 0x73);
        EXPECT_GE(took, std::chrono::duration<double>((req.size() + got.size()) * scenario.stationLine.ByteSeconds()))
            << "parity and two stop bits: " << parityAndTwoStops;

        const std::string out = "@0304\r";
        const auto switched = Clock::now();
        modules.Write(reinterpret_cast<const uint8_t*>(out.data()), out.size(), 100);
        ASSERT_EQ(modules.WaitForInput(3000), platform::SerialPort::Wait::Input);
        uint8_t buf[8];
        long n = modules.Read(buf, sizeof buf);
        if (n == 1 && modules.WaitForInput(3000) == platform::SerialPort::Wait::Input) n += modules.Read(buf + 1, 7);
        EXPECT_EQ(n, 2);
        EXPECT_GE(Clock::now() - switched, std::chrono::duration<double>((out.size() + 2) * 10.0 / 4800));
        stand.Stop();
    }
}

TEST(StandSimProgram, PublishesItsLinksAndRemovesThemOnTerm) {
    TempDir dir;
    const std::string station = dir.File("station"), modules = dir.File("modules");
    const pid_t pid = fork();
    if (pid == 0) {
        execl(STAND_SIM_PROGRAM, STAND_SIM_PROGRAM, "--station", station.c_str(), "--modules",
              modules.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 300 && !std::filesystem::is_symlink(modules); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(std::filesystem::is_symlink(station));
    EXPECT_TRUE(std::filesystem::is_symlink(modules));
    platform::SerialPort port;
    EXPECT_TRUE(port.Open(station));  // the link leads to a working port
    port.Close();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(station));
    EXPECT_FALSE(std::filesystem::is_symlink(modules));

    EXPECT_EQ(std::system((std::string(STAND_SIM_PROGRAM) + " --help > /dev/null").c_str()), 0);
    EXPECT_NE(std::system((std::string(STAND_SIM_PROGRAM) + " --bogus 2> /dev/null").c_str()), 0);
}
