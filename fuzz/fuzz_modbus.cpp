// Arbitrary bytes through the Modbus tables and both Modbus framers: whatever they accept is a
// whole reply of function 3 or 4 with a good check, and the two framers agree with the tables.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <vector>

#include "rsmanager/Modbus.h"
#include "rsmanager/PackageModbus.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool WholeReply(const std::vector<uint8_t>& m) {
    if (m.size() < 5 || (m[1] != 3 && m[1] != 4) || m[0] > 247) return false;
    if (m.size() != 3u + m[2] + 2u || m[2] % 2 != 0) return false;
    const uint16_t c = ModBusCRC16(m.data(), m.size() - 2);
    return c == (m[m.size() - 2] | m.back() << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    TModbus modbus;
    Check(modbus.ParseReply(bytes) == WholeReply(bytes));
    Check(ModBusCRC16(data, size) == ModBusCRC16Table(data, size));

    TPackageJoinModbus framer;
    TPackageJoinModbusRtu rtu;
    framer.PutAll(data, size);
    rtu.PutAll(data, size);
    // Past its limit of 128 it only rejects; the common overflow rule empties it above 250.
    Check(framer.Frame().size() <= 251);
    while (framer.Count() > 0) Check(WholeReply(framer.PopMessage().data));
    while (rtu.Count() > 0) {
        const auto m = rtu.PopMessage().data;
        // The data state takes at least one byte, whatever the count says.
        Check(m.size() >= 6 && m.size() == 3u + std::max<size_t>(1, m[2]) + 2u);
        Check(ModBusCRC16(m.data(), m.size() - 2) == (m[m.size() - 2] | m.back() << 8));
    }
    return 0;
}
