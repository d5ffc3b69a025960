#include "rsmanager/Ini.h"

#include <SimpleIni.h>

#include "platform/Cp1251.h"
#include "platform/Paths.h"

struct TIni::Impl {
    // No UTF-8 conversion, one value per key, no multi-line values.
    CSimpleIniA ini{false, false, false};
};

TIni::TIni() : impl_(std::make_unique<Impl>()) {}

TIni::TIni(const std::string& path) : TIni() {
    std::string bytes;
    // The file is read by us, not by the library: the library sizes its buffer with ftell,
    // which on a folder reports whatever the file system likes.
    if (!platform::ReadFileBytes(path, bytes)) throw TErrIni("Ini-file " + path + " not open.");
    LoadBytes(bytes, path);
}

TIni TIni::FromBytes(std::string_view bytes) {
    TIni ini;
    ini.LoadBytes(bytes, "(memory)");
    return ini;
}

TIni::~TIni() = default;
TIni::TIni(TIni&&) noexcept = default;
TIni& TIni::operator=(TIni&&) noexcept = default;

void TIni::LoadBytes(std::string_view bytes, const std::string& path) {
    if (impl_->ini.LoadData(bytes.data(), bytes.size()) < 0)
        throw TErrIni("Ini-file " + path + " not open.");
}

std::string TIni::ReadString(const std::string& section, const std::string& key,
                             const std::string& defaultValue) const {
    const std::string s = platform::Utf8ToCp1251(section);
    const std::string k = platform::Utf8ToCp1251(key);
    const char* v = impl_->ini.GetValue(s.c_str(), k.c_str(), nullptr);
    return v ? platform::Cp1251ToUtf8(v) : defaultValue;
}

int32_t TIni::ReadNumber(const std::string& section, const std::string& key,
                         int32_t defaultValue) const {
    const std::string s = platform::Utf8ToCp1251(section);
    const std::string k = platform::Utf8ToCp1251(key);
    const char* v = impl_->ini.GetValue(s.c_str(), k.c_str(), nullptr);
    if (!v) return defaultValue;
    return ParseNumber(v);
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Unsigned decimal with leading blanks and a sign allowed and nothing left over. Values that
// need more than 64 bits are not accepted; the result keeps the low 32 bits, as a 32-bit
// conversion of the text would.
bool AcceptDecimal(std::string_view s, int32_t& out) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i == s.size()) {
        out = 0;
        return true;
    }
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
    if (i == s.size()) return false;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        const uint64_t d = static_cast<uint64_t>(s[i] - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    if (negative) v = 0 - v;
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

bool AcceptHex(std::string_view s, int32_t& out) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (s.size() - i >= 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) i += 2;
    if (i == s.size()) return false;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int d = HexDigit(s[i]);
        if (d < 0 || v > (UINT64_MAX >> 4)) return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

}  // namespace

int32_t TIni::ParseNumber(std::string_view text) {
    int32_t v = 0;
    if (AcceptDecimal(text, v)) return v;
    if (AcceptHex(text, v)) return v;
    return 0;
}
