// Line bytes as the traffic journal keeps and shows them: the input is cut into frames of
// both channels and directions, some longer than a slot keeps, into a journal small enough to
// go round many times; every frame still held is read back whole and described as a text and
// a CSV line. Checks that what comes back is what went in and that every line is one line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/JournalText.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TTrafficJournal journal(8, 256);
    std::vector<std::vector<uint8_t>> added;
    size_t at = 0;
    while (at < size) {
        const uint8_t head = data[at++];
        const size_t length = std::min<size_t>(head & 0x3F, size - at);
        const uint8_t channel = (head & 0x40) ? 2 : 1;
        const JournalDir dir = (head & 0x80) ? JournalDir::In : JournalDir::Out;
        journal.AddAt(channel, dir, data + at, length, (head & 1) != 0, static_cast<int64_t>(at) * 7919, at);
        added.emplace_back(data + at, data + at + length);
        at += length;
    }
    Check(journal.NextSeq() == added.size());
    const auto held = journal.Read(0, 100);
    Check(held.size() <= 8);
    for (const JournalFrame_T& f : held) {
        Check(f.seq < added.size());
        Check(f.bytes == added[f.seq]);
        for (const std::string& line : {JournalTextLine(f), JournalCsvLine(f)})
            Check(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
        const JournalFrameView_T v = DescribeFrame(f);
        Check(v.code >= -1 && v.code <= 255);
    }
    return 0;
}
