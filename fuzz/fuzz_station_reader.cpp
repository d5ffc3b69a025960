// A command text and the bytes that come back, both arbitrary: the request is framed from the
// text, then the rest is fed to the reply reader in blocks. Checks that the sender never
// writes outside its packet, the reader never holds more than its buffer, and every reply it
// accepts is a whole frame with a good check.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "link/StationCodec.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // First byte: length of the command text; second: block size for the replies.
    const size_t textLength = std::min<size_t>(data[0], size - 2);
    const size_t block = 1 + data[1] % 99;
    const std::string_view text(reinterpret_cast<const char*>(data + 2), textLength);
    const uint8_t* rest = data + 2 + textLength;
    const size_t restSize = size - 2 - textLength;

    std::vector<uint8_t> bytes(text.size() / 2 + 1);
    Check(HexTextToBytes(text, bytes.data(), bytes.size()) <= bytes.size());

    TReplyReader reader;
    const RequestPacket_T packet = BuildRequestPacket(text);
    if (packet.ok) {
        Check(packet.bytes.size() == packet.bytes[1] * 256u + packet.bytes[2] + 6);
        Check(packet.bytes.front() == 0x4D && packet.bytes.back() == 0x00);
        reader.RequestSent(packet.bytes);
    } else {
        Check(packet.bytes.empty() && !packet.error.empty());
        reader.SetReplyDone(data[1] & 0x80);
    }
    for (size_t pos = 0; pos < restSize; pos += block) {
        const size_t n = std::min(block, restSize - pos);
        const auto r = reader.Read(rest + pos, n);
        Check(reader.AccumulatedCount() >= 0 && reader.AccumulatedCount() <= TReplyReader::kReplyBufferSize);
        if (r.result == TReplyReader::Result::Frame) {
            const auto& f = reader.RcdCommand().Bytes();
            Check(f.size() == f[2] + 5u && f[0] == 0x4D && f[1] == 0x00 && r.code == f[3]);
            Check(StationCrc(f.data(), f.size() - 2) == (f[f.size() - 2] << 8 | f.back()));
            reader.SetReplyDone(true);
        }
    }
    return 0;
}
