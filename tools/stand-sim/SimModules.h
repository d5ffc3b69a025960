#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// One contactor switched by an output command, in the order the commands arrived.
struct ContactorChange_T {
    int contactor = 0;  // 1..15
    bool on = false;
};

// The stand's three DCON digital I/O modules (addresses 01..03) on channel 2.
class SimModules {
public:
    // Bytes from the program; returns the replies to write.
    std::vector<std::vector<uint8_t>> OnBytes(const uint8_t* data, size_t size);

    void SetInputs(uint8_t nibble) { inputs_ = nibble & 0x0F; }
    uint8_t Outputs(int module) const { return outputs_.at(module - 1); }
    bool ContactorOn(int k) const;
    const std::vector<ContactorChange_T>& Changes() const { return changes_; }
    const std::vector<std::string>& Commands() const { return commands_; }

private:
    std::vector<uint8_t> Handle(const std::string& command);

    std::string pending_;
    std::array<uint8_t, 3> outputs_{};
    uint8_t inputs_ = 0;
    std::vector<ContactorChange_T> changes_;
    std::vector<std::string> commands_;
};

}  // namespace sim
