#include "records/ProtocolHeader.h"

#include <cstdlib>

#include "platform/Cp1251.h"
#include "platform/Paths.h"
#include "records/ProtocolWriter.h"

void WriteProtocolHeader(TProtocolWriter& w, const ProtocolHeader_T& h) {
    w.WriteLine("СУ " + h.script.device + ". Протокол проверки.");
    w.WriteLine(std::string(74, '-') + "\n");
    w.WriteLabelValue("Заводской номер ", h.tag.SerialNumber);
    w.WriteLabelValue("Оператор " + std::string(": "), h.tag.Operator);
    w.WriteLabelValue("Причина предъявления", h.tag.Cause);
    w.WriteLabelValue("Дата проверки " + std::string(": "), h.tag.Date);
    w.WriteLine("\nЗамечания оператора:");
    for (const std::string& line : h.remarksLines)
        if (!line.empty()) w.WriteLine(line);
    w.WriteLine(" ");
    w.WriteLine("Версия ПО стенда : " + h.programVersion);
    w.WriteLine("Версия тестов    : " + h.script.version);
    w.WriteLine("\nКоэффициенты формы сигнала:");
    // Latin K, U and I; the "Т" of "ТK" is Cyrillic.
    w.WriteLine("K Uвх = " + FormatFixed(h.script.K_U_IN, 4, 4));
    w.WriteLine("K Iвых = " + FormatFixed(h.script.K_I_OUT, 4, 4));
    w.WriteLine("K Uвых = " + FormatFixed(h.script.K_U_OUT, 4, 4));
    w.WriteLine("\nТарировочные коэффициенты:");
    w.WriteLine("ТK Uвх = " + FormatFixed(h.script.TK_U_IN, 4, 4));
    w.WriteLine("ТK Iвых = " + FormatFixed(h.script.TK_I_OUT, 4, 4));
    w.WriteLine("ТK Uвых = " + FormatFixed(h.script.TK_U_OUT, 4, 4));
}

std::string ArchiveFolder(const std::string& workDir, const script_cfg_T& script) {
    return workDir + "\\" + script.arc_dir;
}

std::string WorkingProtocolPath(const std::string& workDir, const script_cfg_T& script) {
    return ArchiveFolder(workDir, script) + "\\" + "ProtTest.txt";
}

std::string ArchiveSerial(const std::string& serial, const std::string& logicalNumber) {
    if (!serial.empty()) return serial;
    if (logicalNumber.empty()) return "0000-0000";
    std::string s = logicalNumber;
    while (s.size() < 4) s += "0";
    return s;
}

namespace {

std::string Lower(const std::string& utf8) {
    std::string s = platform::Utf8ToCp1251(utf8);
    for (char& c : s) c = static_cast<char>(platform::Cp1251ToLower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string NextArchiveName(const std::string& folder, const std::string& serial) {
    long best = -1;
    const std::string prefix = Lower(serial) + ".";
    for (const std::string& utf8 : platform::ListFiles(folder, "*.txt")) {
        // serial "." digits ".txt", nothing else: serial 12 is not 123, nor 12.a.txt.
        const std::string name = Lower(utf8);
        const size_t begin = prefix.size();
        if (name.size() <= begin + 4 || name.compare(0, begin, prefix) != 0) continue;
        const std::string digits = name.substr(begin, name.size() - begin - 4);
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        best = std::max(best, std::strtol(digits.c_str(), nullptr, 10));
    }
    std::string number = std::to_string(best + 1);
    while (number.size() < 3) number = "0" + number;
    return serial + "." + number + ".txt";
}
