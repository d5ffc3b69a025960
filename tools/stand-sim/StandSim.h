#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimModules.h"
#include "SimStation.h"

namespace sim {

// The simulator at work: a station and the modules behind two pseudo-terminals, each served
// by a thread of its own. Usable inside tests (Start, use the ports, Stop) and by the program.
class StandSim {
public:
    explicit StandSim(const Scenario_T& scenario = {});
    ~StandSim();
    StandSim(const StandSim&) = delete;
    StandSim& operator=(const StandSim&) = delete;

    bool Start(std::string& error);
    void Stop();

    // Device paths the program opens as its two ports.
    const std::string& StationPort() const { return station_.path; }
    const std::string& ModulesPort() const { return modules_.path; }

    // Snapshots and changes; safe while running.
    std::vector<std::vector<uint8_t>> StationRequests();
    std::vector<ContactorChange_T> ContactorChanges();
    std::vector<std::string> ModuleCommands();
    bool ContactorOn(int k);
    void SetScenario(const Scenario_T& scenario);
    void SetInputs(uint8_t nibble);
    uint8_t EepromByte(int page, uint16_t address);
    void SetEepromByte(int page, uint16_t address, uint8_t value);  // a fault put in by a test
    // Bytes written to the program by the station side, all of them, in order.
    std::vector<uint8_t> StationOutput();

private:
    struct Side {
        int master = -1;
        int slave = -1;  // held open so that the line never hangs up between program runs
        std::string path;
        std::thread thread;
        // When the simulated line is free again: in, after the request's last byte could have
        // arrived; out, after the answer's last byte has gone.
        std::chrono::steady_clock::time_point inFreeAt, outFreeAt;
    };
    bool OpenSide(Side& side, std::string& error);
    void Serve(Side& side, bool station);
    void CloseSide(Side& side);
    // False when the simulator is stopped meanwhile.
    bool SleepUntil(std::chrono::steady_clock::time_point t);
    bool WriteAtLineSpeed(Side& side, const std::vector<uint8_t>& out, const LineTime_T& line);

    std::mutex mutex_;
    SimStation stationLogic_;
    SimModules modulesLogic_;
    LineTime_T modulesLine_;
    std::vector<uint8_t> stationOutput_;
    Side station_;
    Side modules_;
    int wake_ = -1;
    std::atomic<bool> running_{false};
};

}  // namespace sim
