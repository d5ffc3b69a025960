#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A stand switching combination: (contactor, state) pairs applied one per contactor-timer
// tick, selected by number 1..17 (5 and numbers outside are empty).
class TCombination {
public:
    using Pair = std::pair<int, int>;  // contactor 1..15, state 0 off / 1 on

    static std::vector<Pair> Pairs(int number);

    // Replaces the current list and rewinds it (switching off: what was still to come is dropped).
    void Set(int number);
    // The numbered list goes after what is still to come of the current one: a stage of an
    // action or a step that comes before the last change was sent loses nothing.
    void Append(int number);
    // The next pair; false when the list is exhausted.
    bool Next(Pair& pair);
    int Number() const { return number_; }
    size_t Remaining() const { return pairs_.size() - cursor_; }

private:
    int number_ = 0;
    std::vector<Pair> pairs_;
    size_t cursor_ = 0;
};

// The stand's three DCON output modules and the input module as the test window keeps them:
// output masks, the module answer flag, the input nibble.
class TStandIo {
public:
    // Updates the mask; returns the six-byte output command when it may be sent now (the
    // module answer flag was set; it is cleared by sending). Contactors outside 1..15: nothing.
    std::optional<std::vector<uint8_t>> SwitchContactor(int k, int state);
    // "@03" + carriage return: module 03's input request.
    static std::vector<uint8_t> InputRequest() { return {0x40, '0', '3', 0x0D}; }
    // A reply on channel 2: sets the answer flag, and a '>' reply of six bytes or more gives
    // the module digit (third byte) and the input nibble (fifth byte as a hex digit, XOR 15).
    void OnReply(const uint8_t* data, size_t size);

    uint16_t Mask(int module) const { return masks_.at(module - 1); }
    bool ModuleAnswered() const { return answered_; }
    uint8_t InputNibble() const { return nibble_; }
    uint8_t ModuleDigit() const { return digit_; }

    static std::string LogOut(const std::vector<uint8_t>& command);   // "ICP:" + bytes
    static std::string LogIn(const uint8_t* data, size_t size);       // "ICP in: " + bytes

private:
    std::array<uint16_t, 3> masks_{};
    bool answered_ = true;
    uint8_t nibble_ = 15;
    uint8_t digit_ = 0;
};

// A timed contactor action: its stages, one per tick of the action timer.
class TContactorAction {
public:
    static const char* StatusText(int action);  // nullptr outside 1..4

    struct Tick_T {
        bool finished = false;       // the action ended at this tick
        bool setAutomatOff = false;  // stage 0: the automat-off flag is set
        int combination = 0;         // a combination to set now (0: none)
        int stationCommands = 0;     // "00  01 41" sends at this tick
    };
    // One tick of action `action` at the current stage.
    Tick_T OnTick(int action);
    int Stage() const { return stage_; }
    void Reset() { stage_ = 0; }

private:
    int stage_ = 0;
};
