#include "test/ServiceCommands.h"

bool FieldValue(const std::string& text, unsigned max, const std::string& fieldName, unsigned& value,
                std::string& error) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    unsigned long long v = 0;
    bool digits = b < e;
    for (size_t i = b; i < e && digits; ++i) {
        if (text[i] < '0' || text[i] > '9') digits = false;
        else if ((v = v * 10 + static_cast<unsigned>(text[i] - '0')) > max) digits = false;
    }
    if (!digits) {
        error = "Поле «" + fieldName + "»: нужно целое число от 0 до " + std::to_string(max) +
                ", введено «" + text + "». Команда не отправлена.";
        return false;
    }
    value = static_cast<unsigned>(v);
    return true;
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
