#include "SimStation.h"

#include <algorithm>

#include "link/StationCodec.h"

namespace sim {

SimStation::SimStation(Scenario_T scenario)
    : scenario_(std::move(scenario)),
      logicalNumber_(scenario_.logicalNumber),
      eeprom_(8, std::vector<uint8_t>(kPageSize, 0xFF)) {
    eeprom_[0][4] = static_cast<uint8_t>(100 + scenario_.eepromVersion);
}

std::vector<uint8_t> SimStation::Frame(uint8_t code, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f;
    f.reserve(data.size() + 6);
    f.push_back(0x4D);
    f.push_back(0x00);
    f.push_back(static_cast<uint8_t>(data.size() + 1));
    f.push_back(code);
    f.insert(f.end(), data.begin(), data.end());
    const uint16_t crc = StationCrc(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc & 0xFF));
    return f;
}

std::vector<uint8_t> SimStation::Data(uint8_t code, std::vector<uint8_t> fallback) const {
    const auto it = scenario_.answers.find(code);
    if (it != scenario_.answers.end()) return it->second;
    fallback.resize(AnswerDataLength(code), 0);
    return fallback;
}

std::vector<uint8_t> SimStation::EepromAnswer(const std::vector<uint8_t>& p, bool write) {
    // 10 dev aH aL n   /   15 dev aH aL n data...
    if (p.size() < 5) return Frame(0xE7, {});
    if (scenario_.i2cFail) return Frame(0x0B, {});
    const uint8_t dev = p[1];
    const int page = (dev - 0xA0) / 2;
    if (dev < 0xA0 || dev > 0xAE || dev % 2 != 0) return Frame(0x0B, {});
    const uint16_t address = static_cast<uint16_t>(p[2] << 8 | p[3]);
    const uint8_t n = p[4];
    if (address == scenario_.silentBlock && silencedBlocks_ < scenario_.silentBlockTimes) {
        ++silencedBlocks_;  // lost on the line: nothing written, nothing answered
        return {};
    }
    if (write) {
        for (size_t i = 0; i < n && 5 + i < p.size(); ++i)
            eeprom_[page][(address + i) % kPageSize] = p[5 + i];
    }
    std::vector<uint8_t> data = {dev, p[2], p[3], n};
    for (size_t i = 0; i < n; ++i) data.push_back(eeprom_[page][(address + i) % kPageSize]);
    return Frame(0x1A, data);
}

std::vector<uint8_t> SimStation::Answer(const std::vector<uint8_t>& p) {
    if (p.empty() || scenario_.silent) return {};
    const uint8_t c = p[0];
    auto at = [&](size_t i) -> uint8_t { return i < p.size() ? p[i] : 0; };
    switch (c) {
        case 0x88:
            ++polls_;
            if (scenario_.clearAfterPolls > 0 && polls_ == scenario_.clearAfterPolls) {
                for (int page = 1; page < 8; ++page) std::fill(eeprom_[page].begin(), eeprom_[page].end(), 0);
                return Frame(0x77, {0x4D});
            }
            return Frame(0x73, Data(0x73, {static_cast<uint8_t>(rotationSpeed_ >> 8),
                                          static_cast<uint8_t>(rotationSpeed_)}));
        case 0x3B: {
            std::vector<uint8_t> d = {static_cast<uint8_t>(logicalNumber_ >> 8),
                                      static_cast<uint8_t>(logicalNumber_)};
            d.insert(d.end(), scenario_.versions.begin(), scenario_.versions.end());
            d.insert(d.end(), boardDate_.begin(), boardDate_.end());
            return Frame(0x7F, Data(0x7F, d));
        }
        case 0xA7: {
            std::vector<uint8_t> d(setpoints_.begin(), setpoints_.end());
            d[0] = static_cast<uint8_t>(rotationSpeed_ >> 8);
            d[1] = static_cast<uint8_t>(rotationSpeed_);
            d[2] = instantTrip_;
            return Frame(0x7A, Data(0x7A, d));
        }
        case 0xA9:
            for (size_t i = 0; i < setpoints_.size(); ++i) setpoints_[i] = at(1 + i);
            rotationSpeed_ = static_cast<uint16_t>(at(1) << 8 | at(2));
            instantTrip_ = at(3);
            return Frame(0x68, {});
        case 0xAB:
            if (at(1) == 0x01) rotationSpeed_ = static_cast<uint16_t>(at(2) << 8 | at(3));
            if (at(1) == 0x02) instantTrip_ = at(2);
            return Frame(0x68, {});
        case 0x19:
            logicalNumber_ = static_cast<uint16_t>(at(1) << 8 | at(2));
            // day, month, year high, year low, hours, minutes
            for (size_t i = 0; i < 6; ++i) boardDate_[i] = at(3 + i);
            return Frame(0x68, {});
        case 0xA3: return Frame(0x2F, Data(0x2F, {}));
        case 0x41: return Frame(0x7E, Data(0x7E, {}));
        case 0xB1: {
            // Board state with the station clock: day, month, year - 0x700, h, m, s.
            std::vector<uint8_t> d(28, 0);
            d[21] = 7, d[22] = 12, d[23] = 0xEA, d[24] = 12, d[25] = 0, d[26] = 0;
            return Frame(0xEF, Data(0xEF, d));
        }
        case 0xA5: return Frame(0xE1, Data(0xE1, {}));
        case 0xBB:
            switch (at(1)) {
                case 0x04: return Frame(0xE1, Data(0xE1, {}));
                case 0x01: return Frame(0xE9, Data(0xE9, {}));
                case 0x02: return Frame(0xEB, Data(0xEB, {}));
                case 0x03: return Frame(0xE3, Data(0xE3, {}));
                default: return Frame(0xE7, {});
            }
        case 0x03:
            if (at(1) == 0x75) return Frame(0x7C, Data(0x7C, {}));
            if (at(1) == 0x3B) return Frame(0xED, Data(0xED, {}));
            return Frame(0xE7, {});
        case 0x02:
            if (at(1) == 0x99) return Frame(0xE5, Data(0xE5, {scenario_.scale}));
            return Frame(0xE7, {});
        case 0x10: return EepromAnswer(p, false);
        case 0x15: return EepromAnswer(p, true);
        default: return Frame(0xE7, {});
    }
}

std::vector<std::vector<uint8_t>> SimStation::OnBytes(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> writes;
    if (scenario_.echo && size > 0) writes.emplace_back(data, data + size);
    pending_.insert(pending_.end(), data, data + size);

    size_t pos = 0;
    while (true) {
        while (pos < pending_.size() && pending_[pos] != 0x4D) ++pos;
        if (pending_.size() - pos < 3) break;
        const size_t n = pending_[pos + 1] * 256u + pending_[pos + 2];
        if (n > 9994) {  // no program sends that much: not a start byte
            ++pos;
            continue;
        }
        if (pending_.size() - pos < n + 5) break;
        const uint8_t* packet = pending_.data() + pos;
        const uint16_t crc = StationCrc(packet, n + 3);
        if (crc != (packet[n + 3] << 8 | packet[n + 4])) {
            ++badRequests_;
            ++pos;
            continue;
        }
        size_t length = n + 5;
        // The trailer byte may still be on its way; it is taken when it is there.
        if (pending_.size() - pos > length && packet[length] == 0x00) ++length;
        requests_.emplace_back(packet, packet + length);
        std::vector<uint8_t> answer = Answer(std::vector<uint8_t>(packet + 3, packet + 3 + n));
        pos += length;
        if (answer.empty()) continue;
        if (scenario_.badCrc) answer.back() ^= 0x5A;
        std::vector<uint8_t> out = scenario_.garbage;
        out.insert(out.end(), answer.begin(), answer.end());
        if (scenario_.twoFrames) out.insert(out.end(), answer.begin(), answer.end());
        if (scenario_.splitAt > 0 && static_cast<size_t>(scenario_.splitAt) < out.size()) {
            writes.emplace_back(out.begin(), out.begin() + scenario_.splitAt);
            writes.emplace_back(out.begin() + scenario_.splitAt, out.end());
        } else {
            writes.push_back(std::move(out));
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(pos));
    return writes;
}

}  // namespace sim
