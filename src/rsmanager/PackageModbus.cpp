#include "rsmanager/PackageModbus.h"

#include <algorithm>

void TPackageJoinModbusRtu::Reset() {
    address_ = function_ = byteCount_ = 0;
    receivedCheck_ = 0;
    state_ = 0;
    dataCount_ = 0;
}

uint8_t TPackageJoinModbusRtu::ParseByte(uint8_t byte) {
    switch (state_) {
        case 0:
            Reset();
            address_ = byte;
            state_ = 1;
            return kNothing;
        case 1:
            function_ = byte;
            state_ = 2;
            return kNothing;
        case 2:
            byteCount_ = byte;
            frame_.clear();
            frame_.push_back(address_);
            frame_.push_back(function_);
            frame_.push_back(byteCount_);
            state_ = 3;
            return kNothing;
        case 3:
            frame_.push_back(byte);
            if (++dataCount_ >= byteCount_) state_ = 4;
            return kNothing;
        case 4:
            frame_.push_back(byte);
            receivedCheck_ = byte;
            state_ = 5;
            return kNothing;
        case 5: {
            frame_.push_back(byte);
            receivedCheck_ = static_cast<uint16_t>(receivedCheck_ | byte << 8);
            const uint16_t check = ModBusCRC16Table(frame_.data(), frame_.size() - 2);
            state_ = 0;
            return EndFrame(check == receivedCheck_ ? kComplete : kRejected);
        }
        default: return kNothing;
    }
}

uint8_t TPackageJoinModbus::ParseByte(uint8_t byte) {
    if (state_ == 3) {
        Reset();
        state_ = 0;
    }
    frame_.push_back(byte);
    if (frame_.size() > static_cast<size_t>(limit_)) return kRejected;
    // The tables describe replies of functions 3 and 4 only, whose length the count byte fixes:
    // the full parse runs when the gathered bytes could be one.
    const size_t n = frame_.size();
    if (n < 5 || (frame_[1] != 3 && frame_[1] != 4) || n != 5u + frame_[2]) return kNothing;
    if (!modbus_.ParseReply(frame_)) return kNothing;
    return EndFrame(kComplete);
}

void TPackageJoinMercury::Reset() {
    address_ = 0;
    receivedCheck_ = 0;
    state_ = 0;
}

uint8_t TPackageJoinMercury::ParseByte(uint8_t byte) {
    switch (state_) {
        case 0:
            Reset();
            if (!acceptedFirstBytes_.empty() &&
                std::find(acceptedFirstBytes_.begin(), acceptedFirstBytes_.end(), byte) == acceptedFirstBytes_.end())
                return kNothing;
            address_ = byte;
            frame_.push_back(byte);
            state_ = 1;
            return kNothing;
        case 1:
            frame_.push_back(byte);
            state_ = 2;
            return kNothing;
        default: {
            frame_.push_back(byte);
            const size_t n = frame_.size();
            receivedCheck_ = static_cast<uint16_t>(byte << 8 | frame_[n - 2]);
            if (ModBusCRC16(frame_.data(), n - 2) == receivedCheck_) return EndFrame(kComplete);
            if (n >= 31) {
                state_ = 0;
                return kRejected;
            }
            return kNothing;
        }
    }
}

std::vector<uint8_t> TOwenUtility::Decode(const std::vector<uint8_t>& text) {
    std::vector<uint8_t> out;
    if (text.size() < 2) return out;
    auto value = [](uint8_t c) -> unsigned { return c >= 'G' && c <= 'V' ? static_cast<unsigned>(c - 'G') : 0xF0u; };
    for (size_t i = 1; i + 2 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>((value(text[i]) << 4 | value(text[i + 1])) & 0xFF));
    return out;
}

uint16_t TOwenUtility::OwenCrc(const uint8_t* data, size_t size) {
    uint16_t reg = 0;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            if ((b ^ (reg >> 8)) & 0x80)
                reg = static_cast<uint16_t>((reg << 1) ^ 0x8F57);
            else
                reg = static_cast<uint16_t>(reg << 1);
            b = static_cast<uint8_t>(b << 1);
        }
    }
    return reg;
}

bool TOwenUtility::CheckFrame(const std::vector<uint8_t>& text) {
    if (text.size() < 14 || text.front() != '#' || text.back() != 13) return false;
    if ((text.size() - 2) % 2 != 0) return false;
    const std::vector<uint8_t> bytes = Decode(text);
    if (bytes.size() < 6) return false;
    const size_t n = bytes.size();
    return OwenCrc(bytes.data(), n - 2) == static_cast<uint16_t>(bytes[n - 2] << 8 | bytes[n - 1]);
}

uint8_t TPackageJoinOwen::ParseByte(uint8_t byte) {
    if (state_ == 3) {
        Reset();
        state_ = 0;
    }
    frame_.push_back(byte);
    if (frame_.size() > static_cast<size_t>(limit_)) return kRejected;
    if (!TOwenUtility::CheckFrame(frame_)) return kNothing;
    return EndFrame(kComplete);
}

std::unique_ptr<TPackage> TPackageAuto::Create(const std::string& name) {
    std::unique_ptr<TPackage> p;
    if (name == "VOLTAR")
        p = std::make_unique<TPackageJoinVoltar>();
    else if (name == "MODBUS_RTU")
        p = std::make_unique<TPackageJoinModbusRtu>();
    else if (name == "MERCURY")
        p = std::make_unique<TPackageJoinMercury>();
    else if (name == "MODBUS")
        p = std::make_unique<TPackageJoinModbus>(128);
    else if (name == "OWEN")
        p = std::make_unique<TPackageJoinOwen>(50);
    else if (name == "ICP")
        p = std::make_unique<TPackageJoinIcpcon>(20);
    else
        p = std::make_unique<TPackageJoinHole>();
    p->Reset();
    return p;
}

void TPackageAuto::SetName(const std::string& name) {
    state_ = 0;
    candidates_.clear();
    static const char* const kKnown[] = {"VOLTAR", "MODBUS_RTU", "MERCURY", "MODBUS", "OWEN", "ICP"};
    const bool known = std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return name == k; });
    TPackage::SetName(known ? name : "HOLE");
}

void TPackageAuto::AddData(const uint8_t* data, size_t size) {
    candidates_.push_back(Create(Name()));
    // The oldest hunter goes first when the list is full: its frame would have had to begin
    // more than kMaxCandidates blocks ago.
    if (candidates_.size() > kMaxCandidates) candidates_.erase(candidates_.begin());
    std::vector<uint8_t> tail;
    bool won = false;
    for (auto& c : candidates_) {
        c->Put(data, size);
        if (c->Count() == 0) continue;
        while (c->Count() > 0) messages_.push_back(c->PopMessage());
        tail = c->Tail();
        won = true;
        break;
    }
    if (won) {
        candidates_.clear();
        if (!tail.empty()) AddData(tail.data(), tail.size());
        return;
    }
    candidates_.erase(std::remove_if(candidates_.begin(), candidates_.end(),
                                     [](const std::unique_ptr<TPackage>& c) { return c->Verdict() == kRejected; }),
                      candidates_.end());
}

int TPackageAuto::PutAll(const uint8_t* data, size_t size) {
    AddData(data, size);
    return Count();
}
