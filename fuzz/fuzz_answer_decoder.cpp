// Arbitrary frames to the answer decoder: whatever a station sends, BuffPar stays finite,
// nothing is read past the frame (ASan) and short answers never count as answered.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/IniFile.h"
#include "execution/AnswerDecoder.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<float, 2005> buff{};
    TAnswerDecoder decoder(buff.data());
    platform::IniFile pzu;
    decoder.SetPzuImage(&pzu);
    decoder.SetBoardKind(size > 0 && (data[0] & 1));
    // The input is a sequence of frames: one length byte, then that many bytes.
    size_t pos = 0;
    while (pos < size) {
        const size_t n = data[pos++];
        const size_t take = std::min(n, size - pos);
        const std::vector<uint8_t> frame(data + pos, data + pos + take);
        pos += take;
        const auto r = decoder.Decode(frame);
        if (r.tooShort) Check(!r.answered);
        if (!r.known) Check(!r.answered);
    }
    for (float v : buff) Check(std::isfinite(v));
    Check(std::isfinite(decoder.ScaleS()) && decoder.ScaleS() > 0);
    return 0;
}
