#pragma once

#include <string>

namespace platform {

// A UTF-8 text as a JSON string literal, quotes included.
std::string JsonString(const std::string& utf8);

}  // namespace platform
