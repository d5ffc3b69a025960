#include "support/Pty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

struct Pty::Far {};

Pty::Pty() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    slavePath_ = name;
    // The master is raw in both directions; the slave is set up by whoever opens it.
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
}

void Pty::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{master_, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) {
                ADD_FAILURE() << "pty write stalled";
                return;
            }
        }
    }
}

std::vector<uint8_t> Pty::Read(size_t want, std::chrono::milliseconds within) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (out.size() < want) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        uint8_t buf[4096];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

void Pty::CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}
