// Arbitrary blocks through the resynchronising framer with each protocol name: every message is
// one the named framer would deliver on its own, and the candidate list stays bounded.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rsmanager/PackageModbus.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

const char* const kNames[] = {"VOLTAR", "MODBUS_RTU", "MERCURY", "MODBUS", "OWEN", "ICP", "HOLE"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const char* name = kNames[data[0] % 7];
    const size_t step = 1 + data[1] % 23;
    data += 2;
    size -= 2;
    TPackageAuto a;
    a.SetName(name);
    size_t delivered = 0;
    for (size_t at = 0; at < size; at += step) {
        const size_t n = std::min(step, size - at);
        a.Put(data + at, n);
        Check(a.Candidates() <= TPackageAuto::kMaxCandidates);
        while (a.Count() > 0) {
            const auto m = a.PopMessage();
            Check(m.status == msgOk && !m.data.empty());
            delivered += m.data.size();
            // A single framer of the same kind accepts the message on its own.
            auto single = TPackageAuto::Create(a.Name());
            single->PutAll(m.data.data(), m.data.size());
            Check(single->Count() >= 1);
        }
    }
    Check(delivered <= size);  // no byte is delivered twice
    return 0;
}
