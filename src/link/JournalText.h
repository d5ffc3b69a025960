#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rsmanager/TrafficJournal.h"

// The traffic journal as people read it: times, channel, direction, bytes, and for the
// station's frames the code with its name and whether the frame's checksum holds. Texts are
// UTF-8 here; files are Windows-1251 with CR LF like the protocols beside them.

// The name of an answer code of the station ("Состояние ПЧ"), empty for a code it never sends.
const char* AnswerCodeName(uint8_t code);

struct JournalFrameView_T {
    int code = -1;         // the answer or request code; -1 when the frame has none
    std::string name;      // the code's name, or the module command's text on channel 2
    std::string verdict;   // "CRC верна", "ошибка CRC", "не записан", ... ; may be empty
};
JournalFrameView_T DescribeFrame(const JournalFrame_T& frame);

// "2026-12-09 12:03:04.123" in local time.
std::string FormatWallTime(int64_t wallMs);
// "12:03:04.123" in local time: what the channel windows put before their lines.
std::string FormatClockTime(int64_t wallMs);

enum class JournalFormat { Text, Csv };
// The format a file name asks for: ".csv" (any case) is CSV, everything else text.
JournalFormat JournalFormatOf(const std::string& path);

// One frame as a line of its format, UTF-8, without the line end.
std::string JournalTextLine(const JournalFrame_T& frame);
std::string JournalCsvLine(const JournalFrame_T& frame);
std::string JournalCsvHeader();

struct JournalSaveResult_T {
    bool ok = false;
    std::string path;    // the file written
    std::string error;   // for the operator, when not ok
    uint64_t frames = 0;
    uint64_t lost = 0;   // frames of the range the ring had already forgotten
};

// The frames from..to (to excluded; ~0 for "up to now") of the given channels (0: both) in
// one file, replaced whole if it exists. progress(done, total) is called between chunks and
// may return false to stop (nothing is then written).
JournalSaveResult_T SaveJournal(const TTrafficJournal& journal, const std::string& path,
                                JournalFormat format, uint64_t from = 0, uint64_t to = ~0ull,
                                int channel = 0,
                                const std::function<bool(uint64_t, uint64_t)>& progress = {});

// The journal of a run beside its protocol: "<protocol without extension>_journal.txt", or
// "..._journal-2.txt", "-3", ... when that name is taken. Never replaces a file.
JournalSaveResult_T SaveRunJournal(const TTrafficJournal& journal, const std::string& protocolPath,
                                   uint64_t from, const std::string& heading);
