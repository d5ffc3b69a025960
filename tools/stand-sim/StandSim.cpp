#include "StandSim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace sim {

StandSim::StandSim(const Scenario_T& scenario) : stationLogic_(scenario), modulesLine_(scenario.modulesLine) {
    modulesLogic_.SetInputs(scenario.inputs);
}

StandSim::~StandSim() { Stop(); }

bool StandSim::OpenSide(Side& side, std::string& error) {
    char name[256] = {};
    if (openpty(&side.master, &side.slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    side.path = name;
    termios t{};
    tcgetattr(side.slave, &t);
    cfmakeraw(&t);
    tcsetattr(side.slave, TCSANOW, &t);
    fcntl(side.master, F_SETFL, fcntl(side.master, F_GETFL) | O_NONBLOCK);
    return true;
}

bool StandSim::Start(std::string& error) {
    if (running_) return true;
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0 || !OpenSide(station_, error) || !OpenSide(modules_, error)) {
        if (error.empty()) error = std::string("eventfd: ") + std::strerror(errno);
        Stop();
        return false;
    }
    running_ = true;
    station_.thread = std::thread([this] { Serve(station_, true); });
    modules_.thread = std::thread([this] { Serve(modules_, false); });
    return true;
}

void StandSim::Stop() {
    running_ = false;
    if (wake_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wake_, &one, sizeof one);
    }
    if (station_.thread.joinable()) station_.thread.join();
    if (modules_.thread.joinable()) modules_.thread.join();
    CloseSide(station_);
    CloseSide(modules_);
    if (wake_ >= 0) close(wake_);
    wake_ = -1;
}

void StandSim::CloseSide(Side& side) {
    if (side.master >= 0) close(side.master);
    if (side.slave >= 0) close(side.slave);
    side.master = side.slave = -1;
}

bool StandSim::SleepUntil(std::chrono::steady_clock::time_point t) {
    for (;;) {
        const auto left = t - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return running_;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd w{wake_, POLLIN, 0};
        const int r = ppoll(&w, 1, &ts, nullptr);
        if (r > 0 || !running_) return false;
        if (r < 0 && errno != EINTR) return false;
    }
}

// Byte k of the answer is on the program's side only when it could have crossed the line:
// (k + 1) byte times after the line was free to send it.
bool StandSim::WriteAtLineSpeed(Side& side, const std::vector<uint8_t>& out, const LineTime_T& line) {
    using Clock = std::chrono::steady_clock;
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(line.ByteSeconds()));
    const auto start = line.On() ? std::max(Clock::now(), side.outFreeAt) : Clock::now();
    size_t done = 0;
    while (done < out.size() && running_) {
        size_t due = out.size();
        if (line.On()) {
            const auto crossed = (Clock::now() - start) / byteTime;  // negative while the line is busy
            due = crossed <= 0 ? 0 : std::min(out.size(), static_cast<size_t>(crossed));
            if (due <= done) {
                if (!SleepUntil(start + byteTime * static_cast<long>(done + 1))) return false;
                continue;
            }
        }
        const ssize_t w = write(side.master, out.data() + done, due - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
        } else {
            pollfd p{side.master, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
    if (line.On()) side.outFreeAt = start + byteTime * static_cast<long>(out.size());
    return running_;
}

void StandSim::Serve(Side& side, bool station) {
    uint8_t buf[4096];
    while (running_) {
        pollfd fds[2] = {{side.master, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents & POLLIN) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const ssize_t n = read(side.master, buf, sizeof buf);
        if (n <= 0) continue;

        LineTime_T line;
        {
            std::lock_guard lock(mutex_);
            line = station ? stationLogic_.Scenario().stationLine : modulesLine_;
        }
        // The pseudo-terminal hands over at once what a real line brings a byte time apart:
        // the bytes are taken when the last of them could have arrived.
        if (line.On()) {
            using Clock = std::chrono::steady_clock;
            const auto byteTime =
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(line.ByteSeconds()));
            side.inFreeAt = std::max(Clock::now(), side.inFreeAt) + byteTime * static_cast<long>(n);
            if (!SleepUntil(side.inFreeAt)) return;
        }

        std::vector<std::vector<uint8_t>> writes;
        int delayMs = 0;
        bool echo = false;
        bool split = false;
        {
            std::lock_guard lock(mutex_);
            if (station) {
                writes = stationLogic_.OnBytes(buf, static_cast<size_t>(n));
                delayMs = stationLogic_.Scenario().delayMs;
                echo = stationLogic_.Scenario().echo;
                split = stationLogic_.Scenario().splitAt > 0;
            } else {
                writes = modulesLogic_.OnBytes(buf, static_cast<size_t>(n));
            }
        }
        for (size_t i = 0; i < writes.size(); ++i) {
            // The echo goes back at once (its bytes crossed the line with the request's); answers
            // after the station's delay, and the halves of a split answer a little apart so that
            // they arrive in separate reads.
            const bool isEcho = echo && i == 0;
            if (!isEcho && delayMs > 0) {
                pollfd w{wake_, POLLIN, 0};
                if (poll(&w, 1, delayMs) > 0) return;
            }
            if (split && i > (echo ? 1u : 0u)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const auto& out = writes[i];
            if (!WriteAtLineSpeed(side, out, isEcho ? LineTime_T{} : line)) return;
            if (station) {
                std::lock_guard lock(mutex_);
                stationOutput_.insert(stationOutput_.end(), out.begin(), out.end());
            }
        }
    }
}

std::vector<std::vector<uint8_t>> StandSim::StationRequests() {
    std::lock_guard lock(mutex_);
    return stationLogic_.Requests();
}

std::vector<ContactorChange_T> StandSim::ContactorChanges() {
    std::lock_guard lock(mutex_);
    return modulesLogic_.Changes();
}

std::vector<std::string> StandSim::ModuleCommands() {
    std::lock_guard lock(mutex_);
    return modulesLogic_.Commands();
}

bool StandSim::ContactorOn(int k) {
    std::lock_guard lock(mutex_);
    return modulesLogic_.ContactorOn(k);
}

void StandSim::SetScenario(const Scenario_T& scenario) {
    std::lock_guard lock(mutex_);
    stationLogic_.SetScenario(scenario);
    modulesLine_ = scenario.modulesLine;
    modulesLogic_.SetInputs(scenario.inputs);
}

void StandSim::SetInputs(uint8_t nibble) {
    std::lock_guard lock(mutex_);
    modulesLogic_.SetInputs(nibble);
}

uint8_t StandSim::EepromByte(int page, uint16_t address) {
    std::lock_guard lock(mutex_);
    return stationLogic_.EepromByte(page, address);
}

void StandSim::SetEepromByte(int page, uint16_t address, uint8_t value) {
    std::lock_guard lock(mutex_);
    stationLogic_.SetEepromByte(page, address, value);
}

std::vector<uint8_t> StandSim::StationOutput() {
    std::lock_guard lock(mutex_);
    return stationOutput_;
}

}  // namespace sim
