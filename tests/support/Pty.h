#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A pseudo-terminal pair for tests: the code under test opens SlavePath() as its serial port;
// the test plays the far side on the master. On Windows (under Wine) it is a pair of COM ports
// joined by a null-modem that the test script sets up and names in STAND_COM_PAIRS
// ("COM5:COM6,COM7:COM8": the first of each pair is for the code under test).
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
#ifndef _WIN32
    int MasterFd() const { return master_; }
#endif

    void Write(const std::vector<uint8_t>& bytes);
    // Whatever arrives on the master within the time, stopping early once `want` bytes came.
    std::vector<uint8_t> Read(size_t want, std::chrono::milliseconds within);
    // Closes the master: the slave side sees a hang-up, as when an adapter is unplugged.
    void CloseMaster();

private:
    struct Far;  // the far port of a COM pair (Windows)
    std::unique_ptr<Far> far_;
    int master_ = -1;
    int slave_ = -1;  // kept open so that the slave does not hang up before the test starts
    std::string slavePath_;
};
