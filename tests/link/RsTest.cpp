// The serial component's rules, sequencing and events against a line that records what is done
// to it.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "link/FakeCommLine.h"
#include "link/MkcTimer.h"
#include "link/Rs.h"

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace {

struct Rig {
    FakeCommLine* line;
    std::unique_ptr<TRS> rs;
    OwnerLoop owner;

    Rig() {
        auto l = std::make_unique<FakeCommLine>();
        line = l.get();
        rs = std::make_unique<TRS>(std::move(l));
        rs->SetDispatcher(owner.Dispatcher());
    }
    long Micros(size_t from, size_t to) const {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::microseconds>(line->At(to) - line->At(from))
                .count());
    }
};

// The records without the event thread's, which may fall anywhere between the owner's.
Strings OwnersOnly(const Strings& all) {
    Strings out;
    for (const std::string& w : all)
        if (w.rfind("event", 0) != 0) out.push_back(w);
    return out;
}

std::string Thrown(const std::function<void()>& f, int* code = nullptr) {
    try {
        f();
    } catch (const ERsError& e) {
        if (code) *code = e.Code();
        return e.what();
    }
    return "";
}

}  // namespace

TEST(Rs, DefaultsAndTheBaudRateRules) {
    Rig r;
    TRS& rs = *r.rs;
    EXPECT_EQ(rs.DeviceName(), "COM2");
    EXPECT_EQ(rs.BaudRate(), 9600u);
    EXPECT_EQ(rs.Parity(), paNone);
    EXPECT_EQ(rs.Stopbits(), sb10);
    EXPECT_EQ(rs.Databits(), 8);
    EXPECT_EQ(rs.ReadTimeout(), 100);
    EXPECT_EQ(rs.WriteTimeout(), 100);
    EXPECT_EQ(rs.ReadBufSize(), 4096u);
    EXPECT_EQ(rs.WriteBufSize(), 2048u);
    EXPECT_EQ(rs.GetEvents(), 0x1FFu);  // all nine, bit k for element k
    EXPECT_EQ(rs.XOnChar(), 17);
    EXPECT_EQ(rs.XOffChar(), 19);
    EXPECT_EQ(rs.FlowControl(), fcDefault);
    EXPECT_FALSE(rs.Is485());
    EXPECT_FALSE(rs.IsNET());
    EXPECT_EQ(rs.RTSSEND(), crHigh);
    EXPECT_FALSE(rs.Enabled());

    // t = 10 000 000 / baud; write multiplier t/1000, constant t/2000; h = (main or t) + const.
    EXPECT_EQ(rs.CharTime(), 1041);
    EXPECT_EQ(rs.Timeouts().writeMultiplier, 1u);
    EXPECT_EQ(rs.Timeouts().writeConstant, 0u);
    EXPECT_EQ(rs.HoldTime(), 1041);
    rs.SetBaudRate(1200);
    EXPECT_EQ(rs.CharTime(), 8333);
    EXPECT_EQ(rs.Timeouts().writeMultiplier, 8u);
    EXPECT_EQ(rs.Timeouts().writeConstant, 4u);
    rs.SetBaudRate(115200);
    EXPECT_EQ(rs.CharTime(), 86);
    EXPECT_EQ(rs.Timeouts().writeMultiplier, 0u);
    EXPECT_EQ(rs.HoldTime(), 86);
    rs.SetRTSConstTimeout(300);
    EXPECT_EQ(rs.HoldTime(), 386);
    rs.SetRTSMainTimeout(1000);
    EXPECT_EQ(rs.HoldTime(), 1300);
    rs.SetBaudRate(0);  // no division by zero
    EXPECT_EQ(rs.CharTime(), 0);
}

TEST(Rs, OpenSetsUpThePortInOrderAndCloseUndoesIt) {
    Rig r;
    r.rs->SetDeviceName("COM5");
    r.rs->Open();
    EXPECT_TRUE(r.rs->Enabled());
    EXPECT_EQ(r.line->What(), (Strings{"open COM5", "timeouts ffffffff 0 0 1 0", "queues 4096 2048",
                                       "state parity=0 rts=1", "escape CLRDTR",
                                       "mask 1ff", "queues 4096 2048", "escape CLRRTS"}));
    const platform::CommState s = r.line->LastState();
    EXPECT_EQ(s.line.baudRate, 9600u);
    EXPECT_EQ(s.line.byteSize, 8);
    EXPECT_EQ(s.xonChar, 17);
    EXPECT_EQ(s.xoffChar, 19);
    EXPECT_EQ(s.xonLimit, 1024);
    EXPECT_EQ(s.xoffLimit, 1024);
    EXPECT_FALSE(s.parityCheck || s.dsrSensitivity || s.txContinueOnXoff || s.errorCharReplace ||
                 s.nullDiscard);
    EXPECT_EQ(s.flow, platform::CommState::Flow::None);

    r.line->ClearRecords();
    r.rs->Close();
    EXPECT_FALSE(r.rs->Enabled());
    EXPECT_EQ(r.line->What(), (Strings{"purge in out", "close"}));
    EXPECT_EQ(r.rs->InQueCount(), -1);
    EXPECT_EQ(r.rs->OutQueCount(), -1);
}

TEST(Rs, NetModeAndLowRtsChangeWhatOpenWrites) {
    Rig r;
    r.rs->SetIsNET(true);
    r.rs->SetRTSSEND(crLow);
    r.rs->Open();
    const Strings w = r.line->What();
    EXPECT_EQ(w[3], "state parity=4 rts=1");  // space parity for data
    EXPECT_EQ(w.back(), "escape SETRTS");      // receiving is the high level now
    EXPECT_EQ(r.rs->Parity(), paSpace);
    r.rs->Close();
}

TEST(Rs, PropertiesChangedOnAnOpenPortRewriteItsSettings) {
    Rig r;
    r.rs->Open();
    r.line->ClearRecords();
    r.rs->SetParity(paEven);
    r.rs->SetFlowControl(fcSoftware);
    r.rs->SetOptions(TRsOptions().set(roParityCheck));
    r.rs->SetBaudRate(19200);
    const platform::CommState s = r.line->LastState();
    EXPECT_EQ(s.line.parity, 2);
    EXPECT_EQ(s.line.baudRate, 19200u);
    EXPECT_EQ(s.flow, platform::CommState::Flow::XonXoff);
    EXPECT_TRUE(s.parityCheck);
    EXPECT_NE(r.line->Find("timeouts ffffffff 0 0 0 0"), -1);  // 19200: t = 520
    r.rs->Close();
}

TEST(Rs, FailuresCarryTheirTextsAndLeaveNothingOpen) {
    {
        Rig r;
        r.line->openResult = platform::CommLine::OpenResult::Failed;
        r.line->openError = 2;
        int code = 0;
        EXPECT_EQ(Thrown([&] { r.rs->Open(); }, &code), "Ошибка открытия устройства 2");
        EXPECT_EQ(code, 2);
        EXPECT_FALSE(r.rs->Enabled());
    }
    {
        Rig r;
        r.line->openResult = platform::CommLine::OpenResult::NotCharacterDevice;
        EXPECT_EQ(Thrown([&] { r.rs->Open(); }), "Неверный тип потока, закрытие потока");
    }
    {
        Rig r;
        r.line->stateFails = true;
        int code = 0;
        EXPECT_EQ(Thrown([&] { r.rs->Open(); }, &code), "Ошибка изменения свойств устройства");
        EXPECT_EQ(code, 22);
        EXPECT_FALSE(r.rs->Enabled());
        EXPECT_EQ(r.line->What().back(), "close");
    }
    {
        Rig r;
        r.line->escapeFails = true;
        EXPECT_EQ(Thrown([&] { r.rs->Open(); }), "EscapeCommFunction failure");
        EXPECT_FALSE(r.rs->Enabled());
    }
    {
        Rig r;
        uint8_t b[4] = {1, 2, 3, 4};
        EXPECT_EQ(Thrown([&] { r.rs->Write(b, 4); }), "Ошибка записи");
        EXPECT_EQ(Thrown([&] { r.rs->Read(b, 4); }), "Ошибка чтения");
        r.rs->Open();
        r.line->writeAccepts = -1;
        EXPECT_EQ(Thrown([&] { r.rs->Write(b, 4); }), "Ошибка записи");
        r.line->reads.push_back({0xEE});
        EXPECT_EQ(Thrown([&] { r.rs->Read(b, 4); }), "Ошибка чтения");
        r.line->escapeFails = true;
        EXPECT_EQ(Thrown([&] { r.rs->SetDTRState(true); }), "EscapeCommFunction failure");
        r.line->escapeFails = false;
        r.rs->Close();
    }
}

TEST(Rs, ReadsGiveWhatCameOrMinusOneAndLongWritesMustComplete) {
    Rig r;
    r.line->txEmptyOnWrite = false;
    r.rs->Open();
    uint8_t b[8];
    r.line->reads.push_back({7, 8, 9});
    EXPECT_EQ(r.rs->Read(b, 8), 3);
    EXPECT_EQ(b[2], 9);
    EXPECT_EQ(r.rs->Read(b, 8), -1);  // nothing within ReadTimeout

    const uint8_t out[3] = {1, 2, 3};
    r.line->writeAccepts = 1;
    // Two bytes at 9600 take 2082 µs, more than a millisecond: the write had to complete.
    EXPECT_EQ(r.rs->Write(out, 3), -1);
    r.rs->SetBaudRate(115200);  // 2 × 86 µs: not waited for, what was taken counts
    EXPECT_EQ(r.rs->Write(out, 2), 1);
    r.line->writeAccepts = -2;
    EXPECT_EQ(r.rs->Write(out, 3), 3);
    EXPECT_EQ(r.rs->Write(out, 0), 0);
    r.rs->Close();
}

// The NET write: mark parity and RTS for the address byte, a character's time after it has
// gone, space parity for the rest; the address byte's transmit-empty passes, the frame's own
// turns the line back after the hold time.
TEST(Rs, NetWriteSequenceAndHoldTimeAt9600And115200) {
    for (const uint32_t baud : {9600u, 115200u}) {
        SCOPED_TRACE(baud);
        Rig r;
        r.rs->SetBaudRate(baud);
        r.rs->SetIsNET(true);
        r.rs->SetRTSConstTimeout(200);
        r.rs->Open();
        r.line->ClearRecords();
        const uint8_t frame[3] = {0x05, 0x10, 0x20};
        EXPECT_EQ(r.rs->Write(frame, 3), 3);
        const Strings write = {"flush", "queues 4096 2048", "state parity=3 rts=1",
                               "escape SETRTS", "state parity=3 rts=0", "immediate 05", "flush",
                               "queues 4096 2048", "state parity=4 rts=1", "escape SETRTS",
                               "write 10 20"};
        EXPECT_EQ(OwnersOnly(r.line->What()), write);
        const long t = r.rs->CharTime();
        const auto flushed = static_cast<size_t>(r.line->Find("flush", 1));
        EXPECT_GE(r.Micros(flushed, static_cast<size_t>(r.line->Find("state parity=4 rts=1"))),
                  t);  // space parity only after the address byte's time

        ASSERT_TRUE(r.owner.RunUntil([&] { return r.line->Find("escape CLRRTS") >= 0; }, 5s));
        r.owner.RunFor(20ms);
        // Two transmit-empties: the first passes, the second turns the line round.
        Strings expected = write;
        expected.push_back("state parity=4 rts=1");
        expected.push_back("escape CLRRTS");
        EXPECT_EQ(OwnersOnly(r.line->What()), expected);
        const long first = r.line->Find("event 4");
        const long second = r.line->Find("event 4", static_cast<size_t>(first) + 1);
        ASSERT_GT(second, first);
        EXPECT_EQ(r.line->Find("event 4", static_cast<size_t>(second) + 1), -1);
        EXPECT_GE(r.Micros(static_cast<size_t>(second),
                           static_cast<size_t>(r.line->Find("escape CLRRTS"))),
                  r.rs->HoldTime());
        EXPECT_EQ(r.rs->HoldTime(), t + 200);
        r.rs->Close();
    }
}

TEST(Rs, PlainWriteHoldsRtsForTheHoldTimeAfterTheLastByte) {
    for (const uint32_t baud : {9600u, 115200u}) {
        SCOPED_TRACE(baud);
        Rig r;
        r.rs->SetBaudRate(baud);
        r.rs->Open();
        r.line->ClearRecords();
        const uint8_t frame[4] = {1, 3, 0, 0};
        EXPECT_EQ(r.rs->Write(frame, 4), 4);
        ASSERT_TRUE(r.owner.RunUntil([&] { return r.line->Find("escape CLRRTS") >= 0; }, 5s));
        EXPECT_EQ(r.line->What(), (Strings{"escape SETRTS", "write 01 03 00 00", "event 4",
                                           "state parity=0 rts=1", "escape CLRRTS"}));
        EXPECT_GE(r.Micros(2, 4), r.rs->HoldTime());
        r.rs->Close();
    }
}

TEST(Rs, ANetFrameOfOneByteEndsWithItsOwnTransmitEmpty) {
    Rig r;
    r.rs->SetIsNET(true);
    r.rs->Open();
    r.line->ClearRecords();
    const uint8_t address = 0x07;
    EXPECT_EQ(r.rs->Write(&address, 1), 1);
    EXPECT_TRUE(r.owner.RunUntil([&] { return r.line->Find("escape CLRRTS") >= 0; }, 5s));
    r.rs->Close();
}

TEST(Rs, EventsReachTheOwnersThreadInTheirOrder) {
    Rig r;
    std::vector<std::string> calls;
    const auto owner = std::this_thread::get_id();
    bool elsewhere = false;
    auto note = [&](const std::string& name) {
        calls.push_back(name);
        elsewhere = elsewhere || std::this_thread::get_id() != owner;
    };
    r.rs->OnBreak = [&](TRS*) { note("break"); };
    r.rs->OnCts = [&](TRS*) { note("cts"); };
    r.rs->OnDsr = [&](TRS*) { note("dsr"); };
    r.rs->OnError = [&](TRS*, uint32_t e) { note("error " + std::to_string(e)); };
    r.rs->OnRing = [&](TRS*) { note("ring"); };
    r.rs->OnRlsd = [&](TRS*) { note("rlsd"); };
    r.rs->OnRxChar = [&](TRS*, long n) { note("rxchar " + std::to_string(n)); };
    r.rs->OnRxFlag = [&](TRS*) { note("rxflag"); };
    r.rs->OnTxEmpty = [&](TRS*) { note("txempty"); };
    r.rs->Open();
    r.line->inQueue = 5;
    r.line->errors = platform::kCeFrame;
    r.line->Raise(0x1FF);
    ASSERT_TRUE(r.owner.RunUntil([&] { return calls.size() >= 9; }, 5s));
    EXPECT_EQ(calls, (Strings{"break", "cts", "dsr", "error 8", "ring", "rlsd", "rxchar 5",
                              "rxflag", "txempty"}));
    EXPECT_FALSE(elsewhere);

    // Only what occurred; a received-character event with nothing waiting is not passed on;
    // a hook of the owner's takes transmit-empty over, and the line stays as it is.
    calls.clear();
    r.line->inQueue = 0;
    r.line->ClearRecords();
    r.line->Raise(platform::kEvRxChar | platform::kEvCts | platform::kEvTxEmpty);
    r.line->Raise(platform::kEvRing);
    ASSERT_TRUE(r.owner.RunUntil([&] { return calls.size() >= 3; }, 5s));
    EXPECT_EQ(calls, (Strings{"cts", "txempty", "ring"}));
    EXPECT_EQ(r.line->Find("escape CLRRTS"), -1);
    r.rs->Close();
}

TEST(Rs, TheDriversOwnDirectionControlIsUsedWhenOffered) {
    {
        Rig r;
        r.line->rs485Supported = true;
        r.rs->SetIs485(true);
        r.rs->SetRTSConstTimeout(1000);  // h = 2041 µs: three whole milliseconds
        r.rs->Open();
        EXPECT_TRUE(r.rs->DriverTurnsLine());
        EXPECT_NE(r.line->Find("rs485 on high 3"), -1);
        EXPECT_NE(r.line->Find("mask 1ff"), -1);
        r.line->ClearRecords();
        const uint8_t frame[2] = {1, 2};
        r.rs->Write(frame, 2);
        r.owner.RunUntil([&] { return r.line->Find("state parity=0 rts=1") >= 0; }, 5s);
        EXPECT_EQ(r.line->What(), (Strings{"write 01 02", "event 4", "state parity=0 rts=1"}));
        r.line->ClearRecords();
        r.rs->Close();
        EXPECT_EQ(r.line->What(), (Strings{"purge in out", "rs485 off", "close"}));
    }
    {
        Rig r;  // not offered: RTS is turned by time, as without the mode
        r.rs->SetIs485(true);
        r.rs->SetMonitorEvents(TCommEvents().set(evRxChar));
        r.rs->Open();
        EXPECT_FALSE(r.rs->DriverTurnsLine());
        EXPECT_NE(r.line->Find("mask 5"), -1);  // transmit-empty watched all the same
        r.line->ClearRecords();
        const uint8_t frame[2] = {1, 2};
        r.rs->Write(frame, 2);
        EXPECT_TRUE(r.owner.RunUntil([&] { return r.line->Find("escape CLRRTS") >= 0; }, 5s));
        r.rs->Close();
    }
}

TEST(Rs, CloseDoesNotWaitForAnOwnerThatNeverRunsTheEvent) {
    auto l = std::make_unique<FakeCommLine>();
    FakeCommLine* line = l.get();
    TRS rs(std::move(l));
    std::mutex m;
    std::vector<std::function<void()>> dropped;
    std::atomic<bool> handedOver{false};
    rs.SetDispatcher([&](std::function<void()> call) {
        {
            std::lock_guard lock(m);
            dropped.push_back(std::move(call));
        }
        handedOver = true;
    });
    int seen = 0;
    rs.OnCts = [&](TRS*) { ++seen; };
    rs.Open();
    line->Raise(platform::kEvCts);
    // The line records the event before the event thread hands it to the owner: wait for the
    // handing over itself, or Close may come first and there is nothing to drop.
    while (!handedOver) std::this_thread::sleep_for(1ms);
    rs.Close();  // the event thread is waiting for the owner: it gives up
    std::lock_guard lock(m);
    ASSERT_EQ(dropped.size(), 1u);
    dropped[0]();  // a late run of a cancelled delivery does nothing
    EXPECT_EQ(seen, 0);
}

TEST(Rs, HooksWithoutADispatcherRunOnTheEventThreadAndCannotCloseThePort) {
    auto l = std::make_unique<FakeCommLine>();
    FakeCommLine* line = l.get();
    TRS rs(std::move(l));
    std::atomic<int> seen{0};
    rs.OnRing = [&](TRS* s) {
        ++seen;
        s->Close();
    };
    rs.Open();
    line->Raise(platform::kEvRing);
    while (rs.EventError().empty()) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(rs.Enabled());
    rs.Close();
}

TEST(MkcTimer, CountsMicrosecondsOnlyWhileRunning) {
    TMkcTimer t;
    EXPECT_EQ(t.Elapsed(), 0);
    t.Start(true);
    std::this_thread::sleep_for(3ms);
    EXPECT_GE(t.Elapsed(), 3000);
    t.Start(false);
    EXPECT_EQ(t.Elapsed(), 0);
    EXPECT_GE(TMkcTimer::Frequency(), 1000000);
}
