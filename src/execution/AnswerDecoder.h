#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/IniFile.h"

// What the station's answers left for the state pages to show, besides BuffPar.
struct StationState_T {
    std::vector<uint8_t> state73;      // converter state (29 bytes)
    std::vector<uint8_t> passport;     // 0x7F: logical number, versions, dates (14 bytes)
    std::vector<uint8_t> board;        // 0xEF: board state with the clock (28 bytes)
    std::vector<uint8_t> switchCtl;    // 0xE9 (12 bytes)
    std::vector<uint8_t> protections;  // 0xEB (17 bytes)
    std::vector<uint8_t> setpoints;    // 0x7A read-back (15 bytes)
    std::vector<uint8_t> lastEbPayload;  // code + data of the last 0xEB answer
    std::string rotationStatus;        // status panel 4: "Двигатель вращается. Обороты: N" or empty
    std::string clockText;             // "dd.mm, yyyy hh:mm:ss" from 0xEF
    std::map<int, std::string> eepromFields;  // chip index 0..7 -> the bytes as hex text
    std::string eepromGeneral;         // bytes of an answer from another chip address
    int eepromVersion = -1;            // firmware version from chip 0 address 0 (byte 5 - 100)
};

// Decodes the station's answers (frames with a good check) into BuffPar and the state.
class TAnswerDecoder {
public:
    struct Coefficients_T {
        double kUin = 0.00001, kIout = 0.00001, kUout = 0.00001;
    };
    struct Result_T {
        bool known = false;          // one of the answer codes
        bool answered = false;       // counts as the answer to the pending command
        bool tooShort = false;       // fewer data bytes than the code needs: not decoded
        bool stationRequest = false; // a request code of the station protocol (clears IsMaster)
        bool eepromAnswer = false;   // a 0x1A answer from a chip 0xA0..0xAE was decoded
        bool pzuChanged = false;     // its byte went into the EEPROM image (to be saved)
        bool toEepromWindow = false; // 0x0B: for the EEPROM window when it is open
        bool clearingDone = false;   // 0x77 with 0x4D
    };

    explicit TAnswerDecoder(float* buffPar) : buffPar_(buffPar) {}

    void SetCoefficients(const Coefficients_T& k) { k_ = k; }
    // The kinds "Плата" and "Вх.контр.платы" count K Uвых as 1.
    void SetBoardKind(bool board) { boardKind_ = board; }
    void SetStoreEeprom(bool on) { storeEeprom_ = on; }
    void SetPzuImage(platform::IniFile* pzu) { pzu_ = pzu; }

    // frame: 4D 00 N code data... CRC CRC (as the reply reader extracted it).
    Result_T Decode(const std::vector<uint8_t>& frame);

    const StationState_T& State() const { return state_; }
    double FactorP() const { return p_; }
    double DivisorD() const { return d_; }
    double ScaleS() const { return s_; }
    void SetScaleS(double s) { s_ = s; }

    static bool KnownCode(uint8_t code);
    static bool StationRequestCode(uint8_t code);
    // Data bytes each code needs (0 for codes that carry none or a count of their own).
    static size_t NeededData(uint8_t code);

private:
    float& B(int i) { return buffPar_[i]; }
    float* buffPar_;
    Coefficients_T k_;
    bool boardKind_ = false;
    bool storeEeprom_ = true;
    platform::IniFile* pzu_ = nullptr;
    StationState_T state_;
    double p_ = 4;  // factor P from 0x7C, 4 until set
    double d_ = 1;  // divisor D from 0xE3, 1 until set
    double s_ = 1;  // scale factor S from 0xE5
};
