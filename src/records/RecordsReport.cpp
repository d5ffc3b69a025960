#include "records/RecordsReport.h"

#include <cstdio>

#include "platform/Json.h"

namespace {

std::string Pad(const std::string& s, size_t width) {
    // Widths count characters, not bytes: Cyrillic takes two bytes in UTF-8.
    size_t chars = 0;
    for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
    return chars >= width ? s + " " : s + std::string(width - chars, ' ');
}

std::string Csv(const std::string& s) {
    if (s.find_first_of(",\"\r\n;") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string Passed(const std::optional<bool>& p) { return p ? (*p ? "1" : "0") : ""; }

}  // namespace


std::string FormatRunList(const std::vector<RunSummary_T>& runs) {
    std::string out = Pad("Начато", 30) + Pad("Зав. №", 14) + Pad("Итог", 22) + Pad("Проверок", 9) + Pad("Стенд", 12) +
                      Pad("Оператор", 14) + "Испытание\n";
    for (const RunSummary_T& r : runs)
        out += Pad(r.startedAt, 30) + Pad(r.serial, 14) + Pad(OutcomeText(r.outcome), 22) +
               Pad(std::to_string(r.checks), 9) + Pad(r.stand, 12) + Pad(r.operatorName, 14) + r.id + "\n";
    return out;
}

std::string FormatSerialHistory(const std::string& serial, const std::vector<RunSummary_T>& runs) {
    if (runs.empty()) return "Испытаний станции с заводским номером " + serial + " нет.\n";
    std::string out = "Заводской номер " + serial + ": испытаний " + std::to_string(runs.size()) + "\n";
    for (const RunSummary_T& r : runs) {
        out += r.startedAt + "  " + OutcomeText(r.outcome) + "  стенд " + r.stand + "  оператор " + r.operatorName +
               "  " + r.script + "  " + r.id + "\n";
        for (const std::string& f : r.failingRows) out += "    " + f + "\n";
    }
    return out;
}

std::string FormatRun(const RunRecord_T& r, const std::vector<EepromSessionRecord_T>& eeprom) {
    std::string out = "Испытание " + r.id + "\n";
    auto line = [&](const char* label, const std::string& v) { out += Pad(label, 22) + v + "\n"; };
    line("Стенд", r.stand + " (программа " + r.programVersion + ")");
    line("Устройство", r.device + (r.deviceKind.empty() ? "" : " (" + r.deviceKind + ")"));
    line("Заводской номер", r.serial);
    line("Оператор", r.operatorName);
    line("Причина", r.cause);
    if (!r.remarks.empty()) line("Замечания", r.remarks);
    line("Сценарий", r.script + " версия " + r.scriptVersion);
    line("SHA-256 сценария", r.scriptSha256);
    line("Начато", r.startedAt);
    line("Окончено", r.endedAt.empty() ? "-" : r.endedAt);
    line("Итог", OutcomeText(r.outcome));
    line("Протокол", r.protocolFile);
    line("Архив", r.archiveFile.empty() ? "-" : r.archiveFile);
    if (!r.journalFile.empty()) line("Журнал обмена", r.journalFile);
    if (r.passport) {
        std::string v;
        for (int x : r.passport->versions) v += (v.empty() ? "" : ".") + std::to_string(x);
        line("Логический номер", std::to_string(r.passport->logicalNumber));
        line("Версии ПО", v);
        line("Прошивка", r.passport->firmwareDate);
    }
    for (const CheckRecord_T& c : r.checks) {
        out += "\n" + std::to_string(c.position) + ". " + c.title + ": " + OutcomeText(c.outcome) + "  (" +
               c.startedAt + " .. " + c.endedAt + ")\n";
        for (const MeasurementRecord_T& m : c.rows)
            out += "   " + Pad(m.parameter, 14) + Pad(m.low, 10) + Pad(m.high, 10) + Pad(m.control, 10) +
                   Pad(m.measured, 10) + Pad(m.result, 10) + (m.attempts > 1 ? "попыток " + std::to_string(m.attempts) : "") +
                   "\n";
    }
    for (const EepromSessionRecord_T& e : eeprom)
        out += "\nПЗУ: " + e.kind + " " + e.file + ", блоков " + std::to_string(e.blocks) + ", расхождений " +
               std::to_string(e.mismatches) + ", " + e.outcome + "\n";
    return out;
}

std::string RunJson(const RunRecord_T& r, const std::vector<EepromSessionRecord_T>& eeprom) {
    std::string out = "{";
    auto field = [&](const char* key, const std::string& value, bool first = false) {
        out += std::string(first ? "" : ",") + "\n  " + platform::JsonString(key) + ": " + value;
    };
    auto text = [&](const std::string& s) { return s.empty() ? std::string("null") : platform::JsonString(s); };
    field("id", platform::JsonString(r.id), true);
    field("session", text(r.session));
    field("stand", text(r.stand));
    field("program_version", text(r.programVersion));
    field("device", text(r.device));
    field("device_kind", text(r.deviceKind));
    field("serial", text(r.serial));
    field("operator", text(r.operatorName));
    field("cause", text(r.cause));
    field("remarks", text(r.remarks));
    field("script", text(r.script));
    field("script_version", text(r.scriptVersion));
    field("script_sha256", text(r.scriptSha256));
    field("started_at", text(r.startedAt));
    field("ended_at", text(r.endedAt));
    field("outcome", platform::JsonString(OutcomeName(r.outcome)));
    field("protocol_file", text(r.protocolFile));
    field("archive_file", text(r.archiveFile));
    field("journal_file", text(r.journalFile));
    if (r.passport) {
        std::string v;
        for (int x : r.passport->versions) v += (v.empty() ? "" : ", ") + std::to_string(x);
        field("passport", "{\"logical_number\": " + std::to_string(r.passport->logicalNumber) + ", \"versions\": [" + v +
                              "], \"firmware_date\": " + text(r.passport->firmwareDate) + "}");
    } else {
        field("passport", "null");
    }
    std::string checks = "[";
    for (size_t i = 0; i < r.checks.size(); ++i) {
        const CheckRecord_T& c = r.checks[i];
        checks += std::string(i ? "," : "") + "\n    {\"position\": " + std::to_string(c.position) +
                  ", \"number\": " + std::to_string(c.number) + ", \"title\": " + platform::JsonString(c.title) +
                  ", \"outcome\": " + platform::JsonString(OutcomeName(c.outcome)) + ", \"started_at\": " + text(c.startedAt) +
                  ", \"ended_at\": " + text(c.endedAt) + ", \"rows\": [";
        for (size_t k = 0; k < c.rows.size(); ++k) {
            const MeasurementRecord_T& m = c.rows[k];
            checks += std::string(k ? "," : "") + "\n      {\"row\": " + std::to_string(m.row) +
                      ", \"parameter\": " + platform::JsonString(m.parameter) + ", \"low\": " + platform::JsonString(m.low) +
                      ", \"high\": " + platform::JsonString(m.high) + ", \"control\": " + platform::JsonString(m.control) +
                      ", \"measured\": " + platform::JsonString(m.measured) + ", \"result\": " + platform::JsonString(m.result) +
                      ", \"passed\": " + (m.passed ? (*m.passed ? "true" : "false") : "null") +
                      ", \"attempts\": " + std::to_string(m.attempts) +
                      ", \"in_protocol\": " + (m.inProtocol ? "true" : "false") + "}";
        }
        checks += c.rows.empty() ? "]}" : "\n    ]}";
    }
    field("checks", checks + (r.checks.empty() ? "]" : "\n  ]"));
    std::string sessions = "[";
    for (size_t i = 0; i < eeprom.size(); ++i) {
        const EepromSessionRecord_T& e = eeprom[i];
        sessions += std::string(i ? ", " : "") + "{\"id\": " + platform::JsonString(e.id) + ", \"kind\": " + platform::JsonString(e.kind) +
                    ", \"file\": " + platform::JsonString(e.file) + ", \"blocks\": " + std::to_string(e.blocks) +
                    ", \"mismatches\": " + std::to_string(e.mismatches) + ", \"outcome\": " + platform::JsonString(e.outcome) +
                    ", \"started_at\": " + text(e.startedAt) + ", \"ended_at\": " + text(e.endedAt) + "}";
    }
    field("eeprom_sessions", sessions + "]");
    return out + "\n}\n";
}

std::string MeasurementsCsv(const std::vector<MeasurementExport_T>& rows) {
    std::string out = "\xEF\xBB\xBFrun_id,stand,serial,started_at,check_position,check_title,row,parameter,low,high,"
                      "control,measured,result,passed,attempts,in_protocol\r\n";
    for (const MeasurementExport_T& e : rows)
        out += Csv(e.runId) + "," + Csv(e.stand) + "," + Csv(e.serial) + "," + Csv(e.startedAt) + "," +
               std::to_string(e.checkPosition) + "," + Csv(e.checkTitle) + "," + std::to_string(e.m.row) + "," +
               Csv(e.m.parameter) + "," + Csv(e.m.low) + "," + Csv(e.m.high) + "," + Csv(e.m.control) + "," +
               Csv(e.m.measured) + "," + Csv(e.m.result) + "," + Passed(e.m.passed) + "," +
               std::to_string(e.m.attempts) + "," + (e.m.inProtocol ? "1" : "0") + "\r\n";
    return out;
}
