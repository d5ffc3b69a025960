// Arbitrary text through the OWEN frame check and framer: an accepted frame is '#', letter pairs
// and CR with a good check, and what the framer gathers stays bounded.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rsmanager/PackageModbus.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> text(data, data + size);
    if (TOwenUtility::CheckFrame(text)) {
        Check(size >= 14 && text.front() == '#' && text.back() == '\r' && size % 2 == 0);
        const auto bytes = TOwenUtility::Decode(text);
        Check(bytes.size() == (size - 2) / 2 && bytes.size() >= 6);
    }
    TPackageJoinOwen framer(50);
    framer.PutAll(data, size);
    // Past its limit of 50 it only rejects; the common overflow rule empties it above 250.
    Check(framer.Frame().size() <= 251);
    while (framer.Count() > 0) Check(TOwenUtility::CheckFrame(framer.PopMessage().data));
    return 0;
}
