#include "execution/ServiceCommands.h"

#include "platform/IniFile.h"

bool FieldValue(const std::string& text, unsigned min, unsigned max, const std::string& fieldName,
                unsigned& value, std::string& error) {
    const std::optional<int> v = platform::ParseDecimalInt(text);
    if (!v || *v < 0 || static_cast<unsigned>(*v) < min || static_cast<unsigned>(*v) > max) {
        error = "Поле «" + fieldName + "»: нужно целое число от " + std::to_string(min) + " до " +
                std::to_string(max) + ", введено «" + text + "». Команда не отправлена.";
        return false;
    }
    value = static_cast<unsigned>(*v);
    return true;
}

bool FieldValue(const std::string& text, unsigned max, const std::string& fieldName, unsigned& value,
                std::string& error) {
    return FieldValue(text, 0, max, fieldName, value, error);
}

namespace {

ServiceCommand_T ByteCommand(const char* head, const std::string& field, const std::string& name) {
    ServiceCommand_T c;
    unsigned v = 0;
    if (!FieldValue(field, 255, name, v, c.error)) return c;
    c.text = std::string(head) + HexParam(v);
    c.ok = true;
    return c;
}

}  // namespace

ServiceCommand_T RotationSpeedCommand(const std::string& speedField) {
    ServiceCommand_T c;
    unsigned v = 0;
    if (!FieldValue(speedField, 65535, "Обороты", v, c.error)) return c;
    c.text = std::string(cmd::kRotationSpeed) + " " + HexWord(v);
    c.ok = true;
    return c;
}

ServiceCommand_T InstantTripCommand(int switchIndex) {
    ServiceCommand_T c;
    c.text = std::string(cmd::kInstantTrip) + " " + HexParam(switchIndex == 1 ? 1u : 0u);
    c.ok = true;
    return c;
}

ServiceCommand_T DacCommand(const std::string& field) { return ByteCommand(cmd::kDac, field, "ЦАП"); }

ServiceCommand_T PwmCommand(const std::string& field) { return ByteCommand(cmd::kPwm, field, "ШИМ"); }

ServiceCommand_T PotentiometerCommand(int channel, const std::string& field) {
    if (channel < 0 || channel >= static_cast<int>(cmd::kPotentiometer.size())) return {};
    return ByteCommand(cmd::kPotentiometer[channel], field, "Потенциометр");
}

std::string CloseKeysCommand(uint8_t firstMask, uint8_t secondMask) {
    return std::string(cmd::kCloseKeys) + HexParam(firstMask) + " " + HexParam(secondMask);
}

ServiceCommand_T SetpointBlockCommand(const std::string& speedField, int tripIndex,
                                      unsigned construction, const std::string& voltageField,
                                      unsigned package, const ClockFn& clock) {
    ServiceCommand_T c;
    SetpointValues_T v;
    if (!FieldValue(speedField, 65535, "Обороты", v.rotationSpeed, c.error)) return c;
    if (!FieldValue(voltageField, 65535, "Напряж. трансф-ра", v.transformerVoltage, c.error)) return c;
    v.instantTrip = tripIndex == 1 ? 1 : 0;
    v.construction = construction;
    v.package = package;
    c.text = SetpointCommand(v, clock);
    c.ok = true;
    return c;
}

ServiceCommand_T LogicalNumberCommand(const LogicalNumberFields_T& f) {
    ServiceCommand_T c;
    unsigned board = 0, day = 0, month = 0, year = 0, hours = 0, minutes = 0;
    // Each value must fit its byte (or word): a wider one would shift every byte after it.
    if (!FieldValue(f.board, 0, 65535, "Номер платы", board, c.error) ||
        !FieldValue(f.day, 1, 31, "День", day, c.error) || !FieldValue(f.month, 1, 12, "Месяц", month, c.error) ||
        !FieldValue(f.year, 0, 65535, "Год", year, c.error) || !FieldValue(f.hours, 0, 23, "Часы", hours, c.error) ||
        !FieldValue(f.minutes, 0, 59, "Минуты", minutes, c.error))
        return c;
    c.text = std::string(cmd::kLogicalNumberHead) + HexWord(board) + " " + HexParam(day) + " " + HexParam(month) +
             " " + HexWord(year) + " " + HexParam(hours) + " " + HexParam(minutes);
    c.ok = true;
    return c;
}
