// Arbitrary bytes through one framer, cut into blocks by the input itself. Checks what must
// hold for any line noise: every delivered message is a whole, valid frame of the protocol,
// nothing grows without bound, and the cut into blocks never changes what is delivered.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rsmanager/PackageJoin.h"

#ifndef FRAMER_NAME
#error "FRAMER_NAME must name the protocol"
#endif

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> Run(const uint8_t* data, size_t size, const std::vector<size_t>& cuts) {
    TPackageJoin join(FRAMER_NAME);
    std::vector<Bytes> out;
    size_t from = 0;
    auto feed = [&](size_t to) {
        join.AddDataAll(data + from, to - from);
        Check(join.Framer().Frame().size() <= 256);
        while (join.Count() > 0) {
            Message_T m = join.PopMessage();
            Check(m.status == msgOk);
            out.push_back(std::move(m.data));
        }
        from = to;
    };
    for (size_t c : cuts) feed(c);
    feed(size);
    return out;
}

const TPackageJoin::Kind kKind = TPackageJoin(FRAMER_NAME).CurrentKind();

void CheckMessage(const Bytes& m) {
    const TPackageJoin::Kind kind = kKind;
    if (kind == TPackageJoin::Kind::Voltar) {
        Check(m.size() >= 6);
        Check(m[0] == 0x36 || m[0] == 0x4B || m[0] == 0x4D);
        const size_t length = m[1] * 256u + m[2];
        Check(m.size() == 3 + (length == 0 ? 1 : length) + 2);
        const uint16_t crc = TCrc::Crc16(m.data(), m.size() - 2);
        Check(crc == (m[m.size() - 2] << 8 | m.back()));
    } else if (kind == TPackageJoin::Kind::Icp) {
        Check(m.size() >= 2 && m.size() <= 20 && m.back() == '\r');
        Check(m[0] == '!' || m[0] == '#' || m[0] == '$' || m[0] == '%' || m[0] == '>' ||
              m[0] == '@' || m[0] == '~');
    } else {
        Check(!m.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks where the stream is cut into blocks.
    const unsigned step = 1 + data[0] % 37;
    ++data;
    --size;
    std::vector<size_t> cuts;
    for (size_t at = step; at < size; at += step) cuts.push_back(at);

    const auto whole = Run(data, size, {});
    for (const Bytes& m : whole) CheckMessage(m);
    if (kKind != TPackageJoin::Kind::Hole) {
        Check(Run(data, size, cuts) == whole);
    }
    return 0;
}
