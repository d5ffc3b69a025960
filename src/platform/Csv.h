#pragma once

#include <string>

namespace platform {

// A field of a ';'-separated file for a spreadsheet of a Russian desktop: quoted, with its
// quotes doubled, when it holds the separator, a quote or a line break.
inline std::string CsvField(const std::string& s) {
    if (s.find_first_of(";\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

}  // namespace platform
