#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <sstream>

#include "platform/SerialPort.h"
#include "support/Pty.h"

namespace {

struct Pair {
    std::string near, far;
    bool taken = false;
};

std::mutex poolMutex;

std::vector<Pair>& Pool() {
    static std::vector<Pair> pool = [] {
        std::vector<Pair> pairs;
        const char* env = std::getenv("STAND_COM_PAIRS");
        std::stringstream list(env ? env : "");
        std::string item;
        while (std::getline(list, item, ',')) {
            const size_t colon = item.find(':');
            if (colon != std::string::npos)
                pairs.push_back({item.substr(0, colon), item.substr(colon + 1)});
        }
        return pairs;
    }();
    return pool;
}

}  // namespace

struct Pty::Far {
    platform::SerialPort port;
    size_t pair = 0;
};

Pty::Pty() {
    std::lock_guard<std::mutex> g(poolMutex);
    auto& pool = Pool();
    for (size_t i = 0; i < pool.size(); ++i) {
        if (pool[i].taken) continue;
        far_ = std::make_unique<Far>();
        far_->pair = i;
        if (!far_->port.Open(pool[i].far) || !far_->port.Configure({9600, 8, 0, 0})) {
            ADD_FAILURE() << "the far port " << pool[i].far << " does not open: "
                          << platform::SerialPort::ErrorText(far_->port.LastError());
            far_.reset();
            return;
        }
        pool[i].taken = true;
        slavePath_ = pool[i].near;
        return;
    }
    ADD_FAILURE() << "no free COM pair in STAND_COM_PAIRS";
}

Pty::~Pty() {
    if (!far_) return;
    far_->port.Close();
    std::lock_guard<std::mutex> g(poolMutex);
    Pool()[far_->pair].taken = false;
}

void Pty::Write(const std::vector<uint8_t>& bytes) {
    if (!far_ || !far_->port.IsOpen()) return;
    if (far_->port.Write(bytes.data(), bytes.size(), 2000) != static_cast<long>(bytes.size()))
        ADD_FAILURE() << "far port write stalled";
}

std::vector<uint8_t> Pty::Read(size_t want, std::chrono::milliseconds within) {
    std::vector<uint8_t> out;
    if (!far_ || !far_->port.IsOpen()) return out;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (out.size() < want) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        if (far_->port.WaitForInput(static_cast<int>(left)) != platform::SerialPort::Wait::Input)
            break;
        uint8_t buf[4096];
        const long n = far_->port.Read(buf, sizeof buf);
        if (n < 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

// The null-modem stays up: the near port does not see a hang-up here.
void Pty::CloseMaster() {
    if (far_) far_->port.Close();
}
