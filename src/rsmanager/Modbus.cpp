#include "rsmanager/Modbus.h"

#include <array>

uint16_t ModBusCRC16(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

namespace {

// The usual pair of tables: high and low byte of the CRC of each byte value.
struct Tables {
    std::array<uint8_t, 256> hi{}, lo{};
    Tables() {
        for (int v = 0; v < 256; ++v) {
            const uint8_t b = static_cast<uint8_t>(v);
            // The CRC of a single byte from a zero register, split into its two halves.
            uint16_t crc = 0;
            crc ^= b;
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
            hi[static_cast<size_t>(v)] = static_cast<uint8_t>(crc >> 8);
            lo[static_cast<size_t>(v)] = static_cast<uint8_t>(crc & 0xFF);
        }
    }
};

}  // namespace

uint16_t ModBusCRC16Table(const uint8_t* data, size_t size) {
    static const Tables t;
    uint8_t lo = 0xFF, hi = 0xFF;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t index = lo ^ data[i];
        lo = static_cast<uint8_t>(hi ^ t.lo[index]);
        hi = t.hi[index];
    }
    return static_cast<uint16_t>(hi << 8 | lo);
}

TMapRom::TMapRom(size_t size, uint8_t fill) : image_(std::min<size_t>(size, 65536), fill), free_(image_.size(), 1) {}

int TMapRom::Write(int64_t position, const uint8_t* bytes, size_t count) {
    if (position < 0 || static_cast<size_t>(position) + count > image_.size()) return -1;
    for (size_t i = 0; i < count; ++i)
        if (!free_[static_cast<size_t>(position) + i]) return -1;
    for (size_t i = 0; i < count; ++i) {
        image_[static_cast<size_t>(position) + i] = bytes[i];
        free_[static_cast<size_t>(position) + i] = 0;
    }
    return 0;
}

int64_t TMapRom::Read(int64_t position, size_t count) const {
    if (position < 0 || static_cast<size_t>(position) + count > image_.size() || count > 4) return -1;
    int64_t v = 0;
    for (size_t i = 0; i < count; ++i) {
        if (free_[static_cast<size_t>(position) + i]) return -1;
        v = v << 8 | image_[static_cast<size_t>(position) + i];
    }
    return v;
}

TModbus::TModbus() { Build(); }

void TModbus::Build() {
    protocol_ = protocol_T{};
    protocol_.info = {"MODBUS", "ModBusCRC16"};
    auto field = [](uint16_t number, const char* name, int16_t position, int16_t size, uint32_t maximum) {
        field_T f;
        f.number = number;
        f.name = name;
        f.position = position;
        f.size = size;
        f.maximum = maximum;
        return f;
    };
    protocol_.frame.push_back(field(0, "DeviceAddress", 0, 1, 247));
    protocol_.frame.push_back(field(1, "Func", 1, 1, 127));
    field_T message = field(3, "Message", 2, -1, 0xFFFFFFFF);
    message.variable = 1;
    protocol_.frame.push_back(message);
    protocol_.frame.push_back(field(2, "CRC", -2, 2, 0xFFFF));
    for (uint32_t function : {3u, 4u}) {
        protocol_.requests[function] = {field(0, "AddrPar", 0, 2, 0xFFFF), field(1, "CountPar", 2, 2, 0xFFFF)};
        field_T data = field(3, "Data", 1, -1, 0xFFFF);
        data.variable = 1;
        data.elementSize = 2;
        data.countField = 2;
        protocol_.replies[function] = {field(2, "CountBytes", 0, 1, 255), data};
    }
}

bool TModbus::ParseReply(const std::vector<uint8_t>& frame) {
    frame_ = frame;
    contents_ = contents_pack_T{};
    message_.clear();
    const size_t n = frame_.size();
    if (n < 4) return false;

    // The frame layout over the bytes: fixed fields first, the variable one takes what is left.
    TMapRom rom(n, 0);
    complete_values_T& values = contents_.complete;
    for (const field_T& f : protocol_.frame) {
        if (f.variable) continue;
        const int64_t position = f.position < 0 ? static_cast<int64_t>(n) + f.position : f.position;
        if (rom.Write(position, frame_.data() + position, static_cast<size_t>(f.size)) < 0) return false;
        const int64_t v = rom.Read(position, static_cast<size_t>(f.size));
        if (v < 0 || static_cast<uint64_t>(v) > f.maximum) return false;
        values.values[f.number] = static_cast<uint32_t>(v);
    }
    message_.assign(frame_.begin() + 2, frame_.end() - 2);

    // The check value, low byte first.
    const uint16_t check = ModBusCRC16(frame_.data(), n - 2);
    if (check != static_cast<uint16_t>(frame_[n - 2] | frame_[n - 1] << 8)) return false;

    const auto layout = protocol_.replies.find(values.values[1]);
    if (layout == protocol_.replies.end()) return false;
    TMapRom contents(message_.size(), 0);
    for (const field_T& f : layout->second) {
        if (f.variable) {
            const auto count = values.values.find(static_cast<uint16_t>(f.countField));
            if (count == values.values.end()) return false;
            const size_t bytes = count->second;
            // Exactly the described length, whole elements, nothing after it.
            if (f.elementSize == 0 || bytes % f.elementSize != 0 ||
                static_cast<size_t>(f.position) + bytes != message_.size())
                return false;
            if (bytes > 0 && contents.Write(f.position, message_.data() + f.position, bytes) < 0) return false;
            for (size_t i = 0; i < bytes; i += f.elementSize) {
                const int64_t v = contents.Read(f.position + static_cast<int64_t>(i), f.elementSize);
                if (v < 0 || static_cast<uint64_t>(v) > f.maximum) return false;
                values.elements.push_back(static_cast<uint32_t>(v));
            }
            continue;
        }
        if (f.position < 0 || static_cast<size_t>(f.position) + static_cast<size_t>(f.size) > message_.size())
            return false;
        if (contents.Write(f.position, message_.data() + f.position, static_cast<size_t>(f.size)) < 0) return false;
        const int64_t v = contents.Read(f.position, static_cast<size_t>(f.size));
        if (v < 0 || static_cast<uint64_t>(v) > f.maximum) return false;
        values.values[f.number] = static_cast<uint32_t>(v);
    }
    return true;
}
