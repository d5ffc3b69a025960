#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "rsmanager/RsErrors.h"

// Read-only INI file of the serial manager's configuration. Sections and keys are found without
// regard to (Latin) letter case; values are Windows-1251 and come out as UTF-8.
class TIni {
public:
    // Loads the whole file; a file that cannot be opened or read raises TErrIni.
    explicit TIni(const std::string& path);
    // The same from bytes already in memory (no file involved).
    static TIni FromBytes(std::string_view bytes);
    ~TIni();
    TIni(TIni&&) noexcept;
    TIni& operator=(TIni&&) noexcept;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal first, then hexadecimal with an optional 0x, else 0 (not the default).
    int32_t ReadNumber(const std::string& section, const std::string& key,
                       int32_t defaultValue) const;

    // The number rule on its own.
    static int32_t ParseNumber(std::string_view text);

private:
    TIni();
    void LoadBytes(std::string_view bytes, const std::string& path);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
