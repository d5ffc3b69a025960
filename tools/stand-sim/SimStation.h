#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "SimScenario.h"

namespace sim {

// The station's side of channel 1: request packets in, answer frames out. Pure logic: the
// caller feeds the bytes the program wrote and writes back what comes out, in that order.
class SimStation {
public:
    explicit SimStation(Scenario_T scenario = {});

    void SetScenario(const Scenario_T& scenario) {
        scenario_ = scenario;
        silencedBlocks_ = 0;
    }
    const Scenario_T& Scenario() const { return scenario_; }

    // Bytes from the program; returns the writes to make (echo first, then answers).
    std::vector<std::vector<uint8_t>> OnBytes(const uint8_t* data, size_t size);

    // The answer frame to one request payload (no echo, garbage or splitting), or empty for
    // silence.
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& payload);

    // Every valid request packet received, in order, whole (trailer included when it came).
    const std::vector<std::vector<uint8_t>>& Requests() const { return requests_; }
    // Requests dropped for a bad check.
    int BadRequests() const { return badRequests_; }

    static constexpr size_t kPageSize = 32 * 1024;
    uint8_t EepromByte(int page, uint16_t address) const { return eeprom_[page][address]; }
    void SetEepromByte(int page, uint16_t address, uint8_t v) { eeprom_[page][address] = v; }

    static std::vector<uint8_t> Frame(uint8_t code, const std::vector<uint8_t>& data);

private:
    std::vector<uint8_t> Data(uint8_t code, std::vector<uint8_t> fallback) const;
    std::vector<uint8_t> EepromAnswer(const std::vector<uint8_t>& payload, bool write);

    Scenario_T scenario_;
    std::vector<uint8_t> pending_;
    std::vector<std::vector<uint8_t>> requests_;
    int badRequests_ = 0;
    int polls_ = 0;
    int silencedBlocks_ = 0;  // requests for the scenario's silent block left unanswered so far
    std::array<uint8_t, 14> setpoints_{};  // as written by A9
    uint16_t rotationSpeed_ = 0;
    uint8_t instantTrip_ = 0;
    uint16_t logicalNumber_;
    std::array<uint8_t, 8> boardDate_{15, 3, 0x07, 0xE0, 10, 30, 0, 0};  // until programmed: 15.03.2016 10:30
    std::vector<std::vector<uint8_t>> eeprom_;
};

}  // namespace sim
