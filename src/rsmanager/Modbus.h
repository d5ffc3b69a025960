#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Modbus messages as tables: the frame layout and the contents of functions 3 and 4, the
// parser that lays a frame over them, and the Modbus check value.

// CRC-16/MODBUS (reflected 0xA001, start 0xFFFF, no final XOR), sent low byte first. The
// bit-wise loop and the table form give the same value.
uint16_t ModBusCRC16(const uint8_t* data, size_t size);
uint16_t ModBusCRC16Table(const uint8_t* data, size_t size);

struct field_T {
    uint16_t number = 0xFFFF;
    std::string name;
    uint8_t variable = 0;
    int16_t position = 0;  // negative: from the end
    int16_t size = 0;      // -1: the rest
    uint32_t elementSize = 0xFFFF;
    uint32_t countField = 0;
    uint32_t reserved = 0;
    uint32_t maximum = 0xFFFFFFFF;
};

struct protocol_info_T {
    std::string protocol;  // "MODBUS"
    std::string check;     // "ModBusCRC16"
};

struct protocol_T {
    protocol_info_T info;
    std::vector<field_T> frame;
    std::map<uint32_t, std::vector<field_T>> requests;
    std::map<uint32_t, std::vector<field_T>> replies;
};

struct complete_values_T {
    std::map<uint16_t, uint32_t> values;  // field number -> value
    std::vector<uint32_t> elements;       // the elements of the variable field
};

struct contents_pack_T {
    complete_values_T complete;
    std::vector<uint32_t> extra;
};

// The parser's work area: a byte image with a free/taken mark per byte.
class TMapRom {
public:
    TMapRom(size_t size, uint8_t fill);
    // Stores the bytes where every one lies inside and is still free; -1 otherwise.
    int Write(int64_t position, const uint8_t* bytes, size_t count);
    // n bytes from position as a big-endian number; -1 when one lies outside or is free.
    int64_t Read(int64_t position, size_t count) const;
    size_t Size() const { return image_.size(); }

private:
    std::vector<uint8_t> image_;
    std::vector<uint8_t> free_;
};

class TModbus {
public:
    TModbus();
    // Builds the description: frame layout and the contents of functions 3 and 4.
    void Build();
    const protocol_T& Protocol() const { return protocol_; }

    // True when the bytes are one complete reply of a described function with a good check.
    bool ParseReply(const std::vector<uint8_t>& frame);
    const contents_pack_T& Contents() const { return contents_; }

private:
    protocol_T protocol_;
    std::vector<uint8_t> frame_;
    contents_pack_T contents_;
    std::vector<uint8_t> message_;
};
