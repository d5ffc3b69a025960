#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Parameterised CRC after the Rocksoft model: width, polynomial, initial value, reflections and
// final XOR describe any CRC, and one bit-by-bit engine serves them all. The station packets
// and the EEPROM blocks use mCRC_16_standart.

enum TModel : uint8_t {
    mCRC_16_standart,
    mLHA,
    mCRC_16_CITT,
    mXMODEM,
    mARC,
    mCRC_32,
    mCRC_32_reverse,
};

struct TCRCModel {
    const char* name;
    int32_t width;
    uint32_t polynomial;
    uint32_t init;
    bool refIn;
    bool refOut;
    uint32_t xorOut;
    uint32_t reg;
};

// The parameters are taken as the stand has always had them: "LHA" and "XMODEM" are not the
// published models of those names (their check values differ), the others are.
inline constexpr std::array<TCRCModel, 7> StandartCRCModels = {{
    {"CRC-16 standart", 16, 0x8005, 0x0000, false, false, 0x0000, 0},
    {"LHA", 16, 0x4003, 0xFFFF, false, false, 0x0000, 0},
    {"CRC-16/CITT", 16, 0x1021, 0xFFFF, false, false, 0x0000, 0},
    {"XMODEM", 16, 0x8408, 0x0000, true, true, 0x0000, 0},
    {"ARC", 16, 0x8005, 0x0000, true, true, 0x0000, 0},
    {"CRC-32", 32, 0x04C11DB7, 0xFFFFFFFF, true, true, 0xFFFFFFFF, 0},
    {"CRC-32 reverse", 32, 0xDB710641, 0xFFFFFFFF, true, true, 0xFFFFFFFF, 0},
}};

class TCRC {
public:
    TCRC();

    TModel Model() const { return fSelected; }
    // A value outside the seven models is remembered but the current model stays.
    void SetModel(TModel model);
    const TCRCModel& CurrentModel() const { return fModel; }

    void Cm_Ini();
    void Cm_Nxt(uint8_t byte);
    void Cm_Blk(const uint8_t* buffer, size_t length);
    // Leaves the register as it is, so more bytes may follow.
    uint32_t Cm_CRC() const;
    uint32_t Cm_Tab(int index) const;

    // The lowest `bits` bits of value in reverse order; the bits above them are kept.
    static uint32_t Reflect(uint32_t value, int bits);
    // Written so that width 32 never shifts by 32.
    uint32_t Widmask() const;

private:
    TCRCModel fModel;
    TModel fSelected;
};
