#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Framers: they cut the byte blocks read from a port into complete messages. A framer is fed
// block by block, keeps the frame it is assembling across blocks and holds finished frames
// until the receiver takes them.

enum : int32_t { msgErr = 0, msgOk = 1 };

struct Message_T {
    std::vector<uint8_t> data;
    int32_t status = msgErr;
};

class TPackage {
public:
    // Results of ParseByte and values of the verdict.
    enum : uint8_t { kNothing = 0, kComplete = 1, kRejected = 2, kInitial = 3 };

    TPackage();
    virtual ~TPackage() = default;
    TPackage(const TPackage&) = delete;
    TPackage& operator=(const TPackage&) = delete;

    virtual void SetName(const std::string& name) { name_ = name; }
    // One block, parsed until the first frame completes (or an overlong frame is dropped); the
    // bytes behind that point stay unparsed in the tail.
    virtual void AddData(const uint8_t* data, size_t size);
    virtual uint8_t ParseByte(uint8_t) { return kNothing; }
    virtual void Reset() {}

    // AddData, then the number of held messages.
    int Put(const uint8_t* data, size_t size);
    int Put(const std::vector<uint8_t>& block) { return Put(block.data(), block.size()); }
    // The whole block: parsing goes on behind every completed or dropped frame, so the result
    // is the same however the bytes were split into blocks. Returns the number held.
    virtual int PutAll(const uint8_t* data, size_t size);

    int Count() const { return static_cast<int>(messages_.size()); }
    Message_T PopMessage();
    void Clear();
    void Complete(uint8_t result);
    // The end of a frame: delivered when complete, then frame and tail emptied and the state
    // machine reset. Returns the result for ParseByte to pass on.
    uint8_t EndFrame(uint8_t result) {
        Complete(result);
        frame_.clear();
        tail_.clear();
        Reset();
        return result;
    }

    // Rejected frames are handed out too, with status msgErr, for a journal of the line; the
    // queue of valid messages never sees them.
    void SetKeepRejected(bool keep) { keepRejected_ = keep; }

    uint8_t Verdict() const { return verdict_; }
    const std::vector<uint8_t>& Frame() const { return frame_; }
    const std::vector<uint8_t>& Tail() const { return tail_; }
    const std::string& Name() const { return name_; }
    int32_t MaxLength() const { return maxLength_; }

protected:
    void Initialise();
    void Record(uint8_t result) {
        if (verdict_ != kRejected) verdict_ = result;
    }
    // Parses from data until a frame completes or an overlong frame is dropped; returns the
    // number of bytes used, the stopping byte included.
    size_t ParseUntilStop(const uint8_t* data, size_t size, bool& stopped);

    int32_t maxLength_ = 250;
    uint8_t verdict_ = kInitial;
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> tail_;
    std::deque<Message_T> messages_;
    std::vector<uint8_t> acceptedFirstBytes_;
    std::string name_;
    bool keepRejected_ = false;
};

// Raw blocks: every non-empty block is one message.
class TPackageJoinHole : public TPackage {
public:
    TPackageJoinHole() { SetName("HOLE"); }
    void AddData(const uint8_t* data, size_t size) override;
    int PutAll(const uint8_t* data, size_t size) override;
};

// The CRC model record the framers' check calculator is given for each calculation.
struct TCrcModel_T {
    uint32_t width = 16;
    uint32_t polynomial = 0x8005;
    uint32_t init = 0;
    uint8_t refIn = 0;
    uint8_t refOut = 0;
    uint32_t xorOut = 0;
    uint16_t reg = 0;
};

// The station frame's check: CRC-16 with polynomial 0x8005, register from 0, no reflection,
// sent high byte first.
class TCrc {
public:
    static uint16_t Crc16(const uint8_t* data, size_t size) {
        return Crc16(data, size, TCrcModel_T{});
    }
    static uint16_t Crc16(const uint8_t* data, size_t size, const TCrcModel_T& model);
};

// Station frame: start byte ('6', 'K' or 'M'), length high, length low, data, check high, low.
class TPackageJoinVoltar : public TPackage {
public:
    TPackageJoinVoltar() {
        SetName("VOLTAR");
        Reset();
    }
    uint8_t ParseByte(uint8_t byte) override;
    void Reset() override;

private:
    TCrc crc_;
    uint8_t start_ = 0;
    uint8_t lengthHigh_ = 0;
    uint8_t lengthLow_ = 0;
    uint16_t length_ = 0;
    uint16_t receivedCheck_ = 0;
    uint8_t state_ = 0;
    int32_t dataCount_ = 0;
};

// DCON module reply: a start character, text, carriage return; no check.
class TPackageJoinIcpcon : public TPackage {
public:
    explicit TPackageJoinIcpcon(int32_t maxReplyLength = 20) : maxReplyLength_(maxReplyLength) {
        SetName("ICP");
        Reset();
    }
    uint8_t ParseByte(uint8_t byte) override;
    void Reset() override { state_ = kWaiting; }

private:
    static constexpr int32_t kWaiting = 3;
    static constexpr int32_t kCollecting = 0;
    int32_t state_ = kWaiting;
    int32_t maxReplyLength_;
};
