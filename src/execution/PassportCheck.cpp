#include "execution/PassportCheck.h"

#include <cstdio>

#include "records/ProtocolWriter.h"

namespace {

std::string Two(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

}  // namespace

PassportCheck_T CheckPassport(const std::vector<uint8_t>& p, int eepromVersion,
                              const std::array<int, 5>& expected, const std::array<int, 5>& expectedOld,
                              bool firstInRun) {
    PassportCheck_T r;
    std::vector<uint8_t> b = p;
    b.resize(14, 0);
    r.logicalNumber = static_cast<uint16_t>(256 * b[0] + b[1]);
    r.current = {b[2], b[3], b[4], b[5], eepromVersion};
    r.boardDate = Two(b[6]) + "." + Two(b[7]) + "." + std::to_string(256 * b[8] + b[9]);
    r.firmwareTime = Two(b[10]) + ":" + Two(b[11]);

    if (firstInRun) r.protocol.emplace_back("Логический номер", std::to_string(r.logicalNumber));
    r.protocol.emplace_back("\nВремя и дата прошивки платы ПУ-ПЧ", r.boardDate + " " + r.firmwareTime);

    if (r.current != expected) {
        if (r.current == expectedOld) {
            r.colours.fill(PassportCheck_T::FieldColour::Yellow);
            r.message = "Станция содержит старую нумерацию версий ПО процессора.";
            r.warning = true;
            r.protocol.emplace_back("Предупреждение: " + r.message, "");
        } else {
            for (size_t i = 0; i < r.current.size(); ++i)
                if (r.current[i] != expected[i]) r.colours[i] = PassportCheck_T::FieldColour::Red;
            r.message = "Ошибка номера версии ПО процессора платы ПУ-ПЧ.";
            r.stationFailed = true;
            r.protocol.emplace_back("Ошибка: " + r.message, "");
        }
        r.status = "Внимание! " + r.message;
    }

    r.protocol.emplace_back("\nВерсии ПО ПУ-ПЧ:", "");
    static constexpr const char* kFormat = "%-24s %-9s|%7s";
    r.protocol.emplace_back(TProtocolWriter::FormatUtf8(kFormat, {"", "Ожидаемое", "Текущее"}), "");
    static constexpr const char* kNames[] = {" Центральный", " Контроллер коммутатора", " Регулятор",
                                             " Измеритель", " Прошивка ПЗУ"};
    for (size_t i = 0; i < 5; ++i)
        r.protocol.emplace_back(TProtocolWriter::FormatUtf8(kFormat, {kNames[i], std::to_string(expected[i]),
                                                                      std::to_string(r.current[i])}),
                                "");
    return r;
}
