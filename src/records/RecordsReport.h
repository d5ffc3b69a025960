#pragma once

#include <string>
#include <vector>

#include "records/RunStore.h"

// The records as people read them: text listings for the terminal, one run as JSON, the
// measurements as CSV (UTF-8 with its byte-order mark, so that a spreadsheet reads the Cyrillic).
std::string FormatRunList(const std::vector<RunSummary_T>& runs);
std::string FormatSerialHistory(const std::string& serial, const std::vector<RunSummary_T>& runs);
std::string FormatRun(const RunRecord_T& run, const std::vector<EepromSessionRecord_T>& eeprom);
std::string RunJson(const RunRecord_T& run, const std::vector<EepromSessionRecord_T>& eeprom);
std::string MeasurementsCsv(const std::vector<MeasurementExport_T>& rows);

