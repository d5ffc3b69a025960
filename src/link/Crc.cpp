#include "link/Crc.h"

TCRC::TCRC() : fModel(StandartCRCModels[mCRC_16_standart]), fSelected(mCRC_16_standart) {}

void TCRC::SetModel(TModel model) {
    fSelected = model;
    if (model < StandartCRCModels.size()) fModel = StandartCRCModels[model];
}

void TCRC::Cm_Ini() {
    fModel.reg = fModel.init;
}

void TCRC::Cm_Nxt(uint8_t byte) {
    uint32_t b = byte;
    if (fModel.refIn) b = Reflect(b, 8);
    const uint32_t top = uint32_t{1} << (fModel.width - 1);
    const uint32_t mask = Widmask();
    fModel.reg ^= b << (fModel.width - 8);
    for (int i = 0; i < 8; ++i) {
        fModel.reg = (fModel.reg & top) ? (fModel.reg << 1) ^ fModel.polynomial : fModel.reg << 1;
        fModel.reg &= mask;
    }
}

void TCRC::Cm_Blk(const uint8_t* buffer, size_t length) {
    for (size_t i = 0; i < length; ++i) Cm_Nxt(buffer[i]);
}

uint32_t TCRC::Cm_CRC() const {
    if (fModel.refOut) return Reflect(fModel.reg, fModel.width) ^ fModel.xorOut;
    return fModel.reg ^ fModel.xorOut;
}

uint32_t TCRC::Cm_Tab(int index) const {
    uint32_t r = static_cast<uint32_t>(index);
    if (fModel.refIn) r = Reflect(r, 8);
    r <<= fModel.width - 8;
    const uint32_t top = uint32_t{1} << (fModel.width - 1);
    for (int i = 0; i < 8; ++i) r = (r & top) ? (r << 1) ^ fModel.polynomial : r << 1;
    if (fModel.refIn) r = Reflect(r, fModel.width);
    return r & Widmask();
}

uint32_t TCRC::Reflect(uint32_t value, int bits) {
    if (bits > 32) bits = 32;
    uint32_t t = value;
    for (int i = 0; i < bits; ++i) {
        const uint32_t bit = uint32_t{1} << (bits - 1 - i);
        value = (t & 1) ? (value | bit) : (value & ~bit);
        t >>= 1;
    }
    return value;
}

uint32_t TCRC::Widmask() const {
    return ((uint32_t{1} << (fModel.width - 1)) - 1) * 2 + 1;
}
