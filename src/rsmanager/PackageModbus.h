#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rsmanager/Modbus.h"
#include "rsmanager/Package.h"

// Read replies with a byte count: address, function, count, data, check low, check high.
class TPackageJoinModbusRtu : public TPackage {
public:
    TPackageJoinModbusRtu() {
        SetName("MODBUS_RTU");
        Reset();
    }
    uint8_t ParseByte(uint8_t byte) override;
    void Reset() override;

private:
    TCrc crc_;
    uint8_t address_ = 0;
    uint8_t function_ = 0;
    uint8_t byteCount_ = 0;
    uint16_t receivedCheck_ = 0;
    uint8_t state_ = 0;
    int32_t dataCount_ = 0;
};

// Any reply the Modbus tables describe: the gathered bytes are parsed again after every byte.
class TPackageJoinModbus : public TPackage {
public:
    explicit TPackageJoinModbus(int32_t gatheredLimit = 128) : limit_(gatheredLimit) {
        SetName("MODBUS");
        modbus_.Build();
        Reset();
    }
    uint8_t ParseByte(uint8_t byte) override;
    void Reset() override { state_ = 3; }
    const TModbus& Modbus() const { return modbus_; }

private:
    TModbus modbus_;
    int32_t state_ = 3;
    int32_t limit_;
};

// Mercury meter replies: address, at least one byte, Modbus check low and high, at most 31.
class TPackageJoinMercury : public TPackage {
public:
    TPackageJoinMercury() {
        SetName("MERCURY");
        Reset();
    }
    uint8_t ParseByte(uint8_t byte) override;
    void Reset() override;
    void SetAddressFilter(std::vector<uint8_t> addresses) { acceptedFirstBytes_ = std::move(addresses); }

private:
    TCrc crc_;
    uint8_t address_ = 0;
    uint16_t receivedCheck_ = 0;
    uint8_t state_ = 0;
};

// The OWEN ASCII frame: '#', pairs of letters 'G'..'V' for the bytes, carriage return.
class TOwenUtility {
public:
    // Whether the text is one whole OWEN frame with a good check.
    static bool CheckFrame(const std::vector<uint8_t>& text);
    // The bytes the letter pairs stand for (the text between '#' and CR).
    static std::vector<uint8_t> Decode(const std::vector<uint8_t>& text);
    static uint16_t OwenCrc(const uint8_t* data, size_t size);
};

class TPackageJoinOwen : public TPackage {
public:
    explicit TPackageJoinOwen(int32_t gatheredLimit = 50) : limit_(gatheredLimit) {
        SetName("OWEN");
        Reset();
    }
    uint8_t ParseByte(uint8_t byte) override;
    void Reset() override { state_ = 3; }

private:
    int32_t state_ = 3;
    int32_t limit_;
};

// A fresh framer of the named protocol at every block; the first to complete a frame wins.
class TPackageAuto : public TPackage {
public:
    // Candidates kept at most: a line that never completes a frame must not grow without end.
    static constexpr size_t kMaxCandidates = 64;

    TPackageAuto() { SetName(""); }
    void SetName(const std::string& name) override;
    void AddData(const uint8_t* data, size_t size) override;
    int PutAll(const uint8_t* data, size_t size) override;
    size_t Candidates() const { return candidates_.size(); }

    static std::unique_ptr<TPackage> Create(const std::string& name);

private:
    int32_t state_ = 0;
    std::vector<std::unique_ptr<TPackage>> candidates_;
};
