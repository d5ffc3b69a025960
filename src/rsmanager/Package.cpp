#include "rsmanager/Package.h"

TPackage::TPackage() { Initialise(); }

void TPackage::Initialise() {
    verdict_ = kInitial;
    frame_.clear();
    tail_.clear();
    messages_.clear();
    maxLength_ = 250;
}

size_t TPackage::ParseUntilStop(const uint8_t* data, size_t size, bool& stopped) {
    stopped = false;
    for (size_t i = 0; i < size; ++i) {
        if (frame_.size() > static_cast<size_t>(maxLength_)) {
            // An overlong frame is dropped; the byte that found it is not parsed.
            Reset();
            frame_.clear();
            stopped = true;
            return i + 1;
        }
        const uint8_t result = ParseByte(data[i]);
        Record(result);
        if (result == kComplete) {
            stopped = true;
            return i + 1;
        }
    }
    return size;
}

void TPackage::AddData(const uint8_t* data, size_t size) {
    tail_.clear();
    bool stopped = false;
    const size_t used = ParseUntilStop(data, size, stopped);
    tail_.assign(data + used, data + size);
}

int TPackage::Put(const uint8_t* data, size_t size) {
    AddData(data, size);
    return Count();
}

int TPackage::PutAll(const uint8_t* data, size_t size) {
    size_t pos = 0;
    while (pos < size) {
        bool stopped = false;
        pos += ParseUntilStop(data + pos, size - pos, stopped);
    }
    tail_.clear();
    return Count();
}

Message_T TPackage::PopMessage() {
    if (messages_.empty()) return {};
    Message_T m = std::move(messages_.front());
    messages_.pop_front();
    return m;
}

void TPackage::Clear() {
    frame_.clear();
    tail_.clear();
    Reset();
    messages_.clear();
}

void TPackage::Complete(uint8_t result) {
    if (result == kComplete && !frame_.empty())
        messages_.push_back(Message_T{frame_, msgOk});
    else if (result == kRejected && keepRejected_ && !frame_.empty())
        messages_.push_back(Message_T{frame_, msgErr});
}

void TPackageJoinHole::AddData(const uint8_t* data, size_t size) {
    if (size > 0) messages_.push_back(Message_T{std::vector<uint8_t>(data, data + size), msgOk});
}

int TPackageJoinHole::PutAll(const uint8_t* data, size_t size) {
    AddData(data, size);
    return Count();
}

uint16_t TCrc::Crc16(const uint8_t* data, size_t size, const TCrcModel_T& model) {
    // Only the width, the polynomial and the zero start take part, as in the station's firmware.
    const uint32_t top = 1u << (model.width - 1);
    const uint32_t mask = model.width >= 32 ? 0xFFFFFFFFu : (1u << model.width) - 1;
    uint32_t reg = 0;
    for (size_t i = 0; i < size; ++i) {
        reg ^= static_cast<uint32_t>(data[i]) << (model.width - 8);
        for (int b = 0; b < 8; ++b) reg = (reg & top) ? (reg << 1) ^ model.polynomial : reg << 1;
        reg &= mask;
    }
    return static_cast<uint16_t>(reg);
}

void TPackageJoinVoltar::Reset() {
    start_ = lengthHigh_ = lengthLow_ = 0;
    length_ = 0;
    receivedCheck_ = 0;
    state_ = 0;
    dataCount_ = 0;
}

uint8_t TPackageJoinVoltar::ParseByte(uint8_t byte) {
    switch (state_) {
        case 0:
            if (byte == 0x36 || byte == 0x4B || byte == 0x4D) {
                start_ = byte;
                state_ = 1;
            }
            return kNothing;
        case 1:
            lengthHigh_ = byte;
            state_ = 2;
            return kNothing;
        case 2:
            lengthLow_ = byte;
            length_ = static_cast<uint16_t>(lengthHigh_ * 256 + lengthLow_);
            if (length_ <= maxLength_) {
                frame_.assign({start_, lengthHigh_, lengthLow_});
                state_ = 3;
            } else {
                state_ = 0;
            }
            return kNothing;
        case 3:
            // At least one data byte is always taken, so a length of 0 reads as 1.
            frame_.push_back(byte);
            if (++dataCount_ >= length_) state_ = 4;
            return kNothing;
        case 4:
            frame_.push_back(byte);
            receivedCheck_ = static_cast<uint16_t>(byte << 8);
            state_ = 5;
            return kNothing;
        case 5: {
            frame_.push_back(byte);
            receivedCheck_ |= byte;
            const uint16_t check = crc_.Crc16(frame_.data(), frame_.size() - 2);
            state_ = 0;
            return EndFrame(check == receivedCheck_ ? kComplete : kRejected);
        }
        default: return kNothing;
    }
}

uint8_t TPackageJoinIcpcon::ParseByte(uint8_t byte) {
    if (state_ == kWaiting) {
        switch (byte) {
            case '!': case '#': case '$': case '%': case '>': case '@': case '~':
                frame_.push_back(byte);
                state_ = kCollecting;
                break;
            default: break;
        }
        return kNothing;
    }
    frame_.push_back(byte);
    // An overlong reply is never delivered; it grows until the general limit drops it.
    if (static_cast<int32_t>(frame_.size()) > maxReplyLength_) return kRejected;
    if (byte == '\r') {
        Complete(kComplete);
        frame_.clear();
        tail_.clear();
        Reset();
        return kComplete;
    }
    return kNothing;
}
