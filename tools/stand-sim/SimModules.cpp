#include "SimModules.h"

namespace sim {
namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

char HexChar(int v) { return "0123456789ABCDEF"[v & 0xF]; }

}  // namespace

bool SimModules::ContactorOn(int k) const {
    if (k < 1 || k > 15) return false;
    return (outputs_[(k - 1) / 5] >> ((k - 1) % 5)) & 1;
}

std::vector<std::vector<uint8_t>> SimModules::OnBytes(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> replies;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\r') {
            std::vector<uint8_t> reply = Handle(pending_);
            if (!reply.empty()) replies.push_back(std::move(reply));
            pending_.clear();
        } else if (pending_.size() < 64) {
            pending_.push_back(c);
        }
    }
    return replies;
}

std::vector<uint8_t> SimModules::Handle(const std::string& command) {
    // A command starts at its last '@': noise before it is not part of it.
    const size_t at = command.rfind('@');
    if (at == std::string::npos) return {};
    const std::string c = command.substr(at);
    commands_.push_back(c);
    if (c.size() < 3) return {};
    const int hi = Hex(c[1]), lo = Hex(c[2]);
    if (hi < 0 || lo < 0) return {};
    const int module = hi * 16 + lo;
    if (module < 1 || module > 3) return {};  // not ours: a real line stays silent too
    uint8_t& out = outputs_[module - 1];
    if (c.size() == 3) {
        // Read: '>' + outputs (two digits) + '0' + the inputs, inverted as the hardware reports.
        const uint8_t inverted = static_cast<uint8_t>(~inputs_ & 0x0F);
        return {'>', static_cast<uint8_t>(HexChar(out >> 4)), static_cast<uint8_t>(HexChar(out)),
                '0', static_cast<uint8_t>(HexChar(inverted)), '\r'};
    }
    if (c.size() == 5) {
        const int h = Hex(c[3]), l = Hex(c[4]);
        if (h < 0 || l < 0) return {'?', '\r'};
        const uint8_t value = static_cast<uint8_t>(h * 16 + l);
        for (int bit = 0; bit < 5; ++bit) {
            const bool was = (out >> bit) & 1, now = (value >> bit) & 1;
            if (was != now) changes_.push_back({(module - 1) * 5 + bit + 1, now});
        }
        out = value;
        return {'>', '\r'};
    }
    return {'?', '\r'};
}

}  // namespace sim
