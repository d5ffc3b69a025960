#pragma once

#include <string>

// SHA-256 (FIPS 180-4) of a byte string, as 64 lowercase hexadecimal digits: it names the exact
// bytes of the script a run was judged by.
std::string Sha256Hex(const std::string& bytes);
