#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Captions of the station's flag bits, as the state pages show them.
namespace captions {

inline constexpr std::array<const char*, 6> kProtections73 = {
    " Защита драйвера ШИМ", " Защита драйвера КОМ", " Защита по макс. току",
    " Защита по макс. напряж.", " Защита по току GROUND", " Защита по U сети"};
inline constexpr std::array<const char*, 6> kWarnings73 = {
    " Перегрев радиатора", " Турбинное вращение", " Таймаут RS485",
    " Перегруз по току", " ВД не разогнался", " Нет оборотов"};
inline constexpr std::array<const char*, 6> kFaults73 = {
    " Неиспр. полумоста", " Неиспр. ПУ ПЧ", " Неиспр. датч. темп. 1",
    " Неиспр. датч. темп.2", " Нет типа ВД", " Reset ПО"};
inline constexpr std::array<const char*, 7> kModes73 = {
    " Направл. ПРАВО", " Направл. ЛЕВО", " Напряж. обм. выше нормы", " Напряж. обм. ниже нормы",
    " Нет протокола", " Обороты в допуске", " Тип ВД"};
inline constexpr std::array<const char*, 2> kBoard0 = {"Ошибка по I2C", "Ошибка EEPROM"};
inline constexpr std::array<const char*, 8> kBoard1 = {
    "Ошибка памяти", "Reset по  WDT", "Reset по BOR", "Включение питания", " Обороты",
    "Reset по стеку НЕДОЛИВ", "Reset по стеку ПЕРЕЛИВ", "Прогрпаммный рестарт"};
inline constexpr std::array<const char*, 4> kBoard3 = {
    " Нет ответа от КК", " Нет ответа от РЕГ", " Нет ответа от ИЗМ", " Нет ответа от часов"};
inline constexpr std::array<const char*, 8> kBoard4 = {
    " Нет ответа от ПЗУ0", " Нет ответа от ПЗУ1", " Нет ответа от ПЗУ2", " Нет ответа от ПЗУ3",
    " Нет ответа от ПЗУ4", " Нет ответа от ПЗУ5", " Нет ответа от ПЗУ6", " Нет ответа от ПЗУ7"};
// Byte 5 of the board state: bits 0..5 shown when clear, bits 6 and 7 when set.
inline constexpr std::array<const char*, 8> kBoard5 = {
    " Настройки КК считаны", " Настройки РЕГ считаны", " Настройки ИЗМ считаны",
    " Сверка настроек КК", " Сверка настроек РЕГ", " Сверка настроек ИЗМ",
    " Запись соб. по току", " Запись соб. по напряж."};
inline constexpr std::array<const char*, 1> kSwitch0 = {"Ошибка EEPROM"};
inline constexpr std::array<const char*, 8> kSwitch1 = {
    "Ошибка памяти", "Reset по  WDT", "Reset по BOR", "Включение питания",
    "Reset по стеку НЕДОЛИВ", "Reset по стеку ПЕРЕЛИВ", "Reset внешний MCLR", "Программный рестарт"};
inline constexpr std::array<const char*, 8> kSwitch3 = {
    "Турбинное вращение", "Отказ нормализатора", "Тест WDT", "Разгон", "Команда не соотв. режиму",
    "Идет тест", "Тест завершен", "Нет настроек"};
inline constexpr std::array<const char*, 6> kProtectionsEB = {
    " Защита драйвера ШИМ", " Защита драйвера КОМ", " Защита по макс. току",
    " Защита по макс. напряж.", " Защита по току GROUND", "Защита по U сети"};
inline constexpr const char* kNotEnoughVoltage = " Не хватает напряжения";  // 0xEB byte 3, bit 5

// Whether each caption of a byte is lit: bit i of the byte, inverted for the bits in
// `invertedMask` (a clear bit lights the caption).
template <size_t N>
std::array<bool, N> Lit(uint8_t byte, uint8_t invertedMask = 0) {
    std::array<bool, N> on{};
    for (size_t i = 0; i < N; ++i) {
        const bool set = (byte >> i) & 1;
        on[i] = ((invertedMask >> i) & 1) ? !set : set;
    }
    return on;
}

}  // namespace captions
