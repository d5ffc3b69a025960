#pragma once

#include <cstdint>
#include <string>

#include "link/CommandCatalogue.h"

// Command texts of the setpoint page and the service buttons, built from their fields. A field
// that is not a whole number in its range gives a message and no command: a value wider than
// its byte would shift every byte after it.
struct ServiceCommand_T {
    bool ok = false;
    std::string text;   // the command text for Send
    std::string error;  // what to tell the operator
};

// A field text as a whole decimal number within [min, max] ([0, max]); false with the message
// otherwise.
bool FieldValue(const std::string& text, unsigned min, unsigned max, const std::string& fieldName,
                unsigned& value, std::string& error);
bool FieldValue(const std::string& text, unsigned max, const std::string& fieldName, unsigned& value,
                std::string& error);

ServiceCommand_T RotationSpeedCommand(const std::string& speedField);   // "Обороты"
ServiceCommand_T InstantTripCommand(int switchIndex);                   // "Мгнов. откл. по току"
ServiceCommand_T DacCommand(const std::string& field);                  // "Установить ЦАП"
ServiceCommand_T PwmCommand(const std::string& field);                  // "Установка ШИМ"
ServiceCommand_T PotentiometerCommand(int channel, const std::string& field);  // channels 0..4
std::string CloseKeysCommand(uint8_t firstMask, uint8_t secondMask);    // "Замкнуть ключи"
// The setpoint block from the page's fields (speed and voltage checked).
ServiceCommand_T SetpointBlockCommand(const std::string& speedField, int tripIndex,
                                      unsigned construction, const std::string& voltageField,
                                      unsigned package, const ClockFn& clock = SystemLocalTime);

// The logical number window's fields as typed.
struct LogicalNumberFields_T {
    std::string board, hours, minutes, day, month, year;
};
// "Программирование": "00  09 19 " + board number (two bytes) + day + month + year (two bytes) +
// hours + minutes; each field within its range (board and year 0..65535, day 1..31, month
// 1..12, hours 0..23, minutes 0..59) or a message and no command.
ServiceCommand_T LogicalNumberCommand(const LogicalNumberFields_T& fields);
