#pragma once

#include <string>
#include <vector>

#include "records/TestTag.h"

class TProtocolWriter;

// What the header of a protocol is made from: the tag, the selected script, the program.
struct ProtocolHeader_T {
    user_data_T tag;
    std::vector<std::string> remarksLines;  // the memo's lines as they stand
    script_cfg_T script;
    std::string programVersion;
};

// The nineteen header rows, each one writer call.
void WriteProtocolHeader(TProtocolWriter& writer, const ProtocolHeader_T& header);

// The archive folder of a run and its working protocol file.
std::string ArchiveFolder(const std::string& workDir, const script_cfg_T& script);
std::string WorkingProtocolPath(const std::string& workDir, const script_cfg_T& script);

// The serial that names archive files: the tag's, else the board's logical number padded
// with "0" at the end to four characters, else "0000-0000".
std::string ArchiveSerial(const std::string& serial, const std::string& logicalNumber);

// The next archive name in `folder` for `serial`: serial + "." + the highest number of the
// files named serial + "." + digits + ".txt" plus one (at least three digits), or ".000".
// Files of other serials that merely begin the same way do not count.
std::string NextArchiveName(const std::string& folder, const std::string& serial);
