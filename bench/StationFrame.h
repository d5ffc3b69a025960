#pragma once

#include <cstdint>
#include <vector>

#include "rsmanager/Package.h"

// A station frame as the station sends it ('K', big-endian length, data, CRC-16 high byte first).
inline std::vector<uint8_t> StationFrame(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f;
    f.reserve(data.size() + 5);
    f.push_back(0x4B);
    f.push_back(static_cast<uint8_t>(data.size() >> 8));
    f.push_back(static_cast<uint8_t>(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    const uint16_t crc = TCrc::Crc16(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc));
    return f;
}
