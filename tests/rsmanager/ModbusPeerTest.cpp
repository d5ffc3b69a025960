// A real Modbus RTU server (libmodbus) answering over a pseudo-terminal line; its replies are
// read through the serial manager's Modbus RTU framer and through the resynchronising framer.
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "rsmanager/Modbus.h"
#include "rsmanager/PackageModbus.h"
#include "rsmanager/QueueMessages.h"
#include "rsmanager/RsManager.h"
#include "support/Pty.h"

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

// Two pseudo-terminals joined back to back: libmodbus opens one, the manager the other. The
// bridge can spoil one byte of the server's next reply.
class Line {
public:
    Line() : thread_([this] { Run(); }) {}
    ~Line() {
        stop_ = true;
        thread_.join();
    }
    const std::string& ServerPath() const { return server_.SlavePath(); }
    const std::string& ClientPath() const { return client_.SlavePath(); }
    void SpoilNextReply() { spoil_ = true; }

private:
    void Run() {
        uint8_t buf[512];
        while (!stop_) {
            pollfd p[2] = {{server_.MasterFd(), POLLIN, 0}, {client_.MasterFd(), POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0) continue;
            if (p[0].revents & POLLIN) {
                const ssize_t n = ::read(server_.MasterFd(), buf, sizeof buf);
                if (n > 0) {
                    if (spoil_.exchange(false)) buf[n - 1] ^= 0x01;
                    (void)!::write(client_.MasterFd(), buf, static_cast<size_t>(n));
                }
            }
            if (p[1].revents & POLLIN) {
                const ssize_t n = ::read(client_.MasterFd(), buf, sizeof buf);
                if (n > 0) (void)!::write(server_.MasterFd(), buf, static_cast<size_t>(n));
            }
        }
    }
    Pty server_, client_;
    std::atomic<bool> stop_{false}, spoil_{false};
    std::thread thread_;
};

// libmodbus serving holding registers 0..9 (value 0x1000 + i) and input registers (0x2000 + i).
class Server {
public:
    explicit Server(const std::string& path) {
        ctx_ = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
        modbus_set_slave(ctx_, 1);
        map_ = modbus_mapping_new(0, 0, 10, 10);
        for (int i = 0; i < 10; ++i) {
            map_->tab_registers[i] = static_cast<uint16_t>(0x1000 + i);
            map_->tab_input_registers[i] = static_cast<uint16_t>(0x2000 + i);
        }
        ok_ = modbus_connect(ctx_) == 0;
        modbus_set_indication_timeout(ctx_, 0, 100000);
        thread_ = std::thread([this] {
            uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
            while (!stop_) {
                const int rc = modbus_receive(ctx_, query);
                if (rc > 0) modbus_reply(ctx_, query, rc, map_);
            }
        });
    }
    ~Server() {
        stop_ = true;
        thread_.join();
        modbus_close(ctx_);
        modbus_mapping_free(map_);
        modbus_free(ctx_);
    }
    bool Ok() const { return ok_; }

private:
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

Bytes Request(uint8_t function, uint16_t address, uint16_t count) {
    Bytes r = {0x01, function, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
               static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
    const uint16_t c = ModBusCRC16(r.data(), r.size());
    r.push_back(static_cast<uint8_t>(c & 0xFF));
    r.push_back(static_cast<uint8_t>(c >> 8));
    return r;
}

Bytes ExpectedReply(uint8_t function, uint16_t base, uint16_t address, uint16_t count) {
    Bytes r = {0x01, function, static_cast<uint8_t>(2 * count)};
    for (uint16_t i = 0; i < count; ++i) {
        r.push_back(static_cast<uint8_t>((base + address + i) >> 8));
        r.push_back(static_cast<uint8_t>(base + address + i));
    }
    const uint16_t c = ModBusCRC16(r.data(), r.size());
    r.push_back(static_cast<uint8_t>(c & 0xFF));
    r.push_back(static_cast<uint8_t>(c >> 8));
    return r;
}

struct Client {
    TQueueMessages send, receive;
    TRsManager manager{&send, &receive, 1024, 1025};
    Client(const std::string& path, const std::string& protocol) {
        manager.SetProtocol(protocol);
        manager.SetSenderPeriod(10);
        manager.SetReceiveWait(50);
        manager.SetPort(path);
    }
    // The messages that arrive within the time.
    std::vector<Bytes> Collect(size_t want, std::chrono::milliseconds within) {
        std::vector<Bytes> out;
        const auto end = std::chrono::steady_clock::now() + within;
        while (out.size() < want && std::chrono::steady_clock::now() < end) {
            while (receive.Count() > 0) out.push_back(receive.Pop());
            std::this_thread::sleep_for(5ms);
        }
        return out;
    }
    // Raw blocks until they hold `bytes` bytes, or the time is up.
    std::vector<Bytes> CollectBytes(size_t bytes, std::chrono::milliseconds within) {
        std::vector<Bytes> out;
        size_t have = 0;
        const auto end = std::chrono::steady_clock::now() + within;
        while (have < bytes && std::chrono::steady_clock::now() < end) {
            while (receive.Count() > 0) {
                out.push_back(receive.Pop());
                have += out.back().size();
            }
            std::this_thread::sleep_for(5ms);
        }
        return out;
    }
};

}  // namespace

TEST(ModbusPeer, RepliesOfALibmodbusServerArriveWholeThroughTheRtuFramer) {
    Line line;
    Server server(line.ServerPath());
    ASSERT_TRUE(server.Ok());
    Client c(line.ClientPath(), "MODBUS_RTU");
    ASSERT_EQ(c.manager.Open(), 0);
    c.send.Push(Request(3, 2, 4));
    auto got = c.Collect(1, 3s);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], ExpectedReply(3, 0x1000, 2, 4));
    c.send.Push(Request(4, 0, 10));
    got = c.Collect(1, 3s);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], ExpectedReply(4, 0x2000, 0, 10));
    // One changed byte: nothing is delivered.
    line.SpoilNextReply();
    c.send.Push(Request(3, 0, 1));
    EXPECT_TRUE(c.Collect(1, 1s).empty());
    c.manager.Close();
}

TEST(ModbusPeer, TheResynchronisingFramerFindsTheSameRepliesInRawBlocks) {
    Line line;
    Server server(line.ServerPath());
    ASSERT_TRUE(server.Ok());
    Client raw(line.ClientPath(), "HOLE");
    ASSERT_EQ(raw.manager.Open(), 0);
    for (const char* name : {"MODBUS_RTU", "MODBUS"}) {
        SCOPED_TRACE(name);
        TPackageAuto framer;
        framer.SetName(name);
        for (uint8_t function : {uint8_t{3}, uint8_t{4}}) {
            raw.send.Push(Request(function, 1, 3));
            const Bytes expected = ExpectedReply(function, function == 3 ? 0x1000 : 0x2000, 1, 3);
            // Blocks as the line cut them, each a fresh chance for a frame to begin.
            for (const Bytes& block : raw.CollectBytes(expected.size(), 3s)) framer.Put(block);
            ASSERT_EQ(framer.Count(), 1);
            EXPECT_EQ(framer.PopMessage().data, expected);
        }
        line.SpoilNextReply();
        raw.send.Push(Request(3, 0, 2));
        for (const Bytes& block : raw.CollectBytes(9, 1s)) framer.Put(block);
        EXPECT_EQ(framer.Count(), 0);
    }
    raw.manager.Close();
}
