#pragma once

#include <string>
#include <string_view>

// Every file and every port of the stand speaks Windows-1251; the program keeps its texts in
// UTF-8. These two functions are the only crossing between the two.
namespace platform {

// Unicode code point of one Windows-1251 byte. The one byte without a letter (0x98) maps to
// U+0098, as Windows does, so that any byte sequence survives a round trip unchanged.
char32_t Cp1251ToUnicode(unsigned char byte);

// Windows-1251 byte of a code point, or -1 when the code page has none.
int UnicodeToCp1251(char32_t codePoint);

std::string Cp1251ToUtf8(std::string_view bytes);

// Characters the code page lacks and malformed UTF-8 become '?', one per character or per
// malformed byte, as Windows' own conversion does.
std::string Utf8ToCp1251(std::string_view utf8);

// Lower case of a Windows-1251 byte (Latin and Cyrillic letters), for comparisons without case.
unsigned char Cp1251ToLower(unsigned char byte);

// Equality without case of two Windows-1251 texts.
bool Cp1251EqualNoCase(std::string_view a, std::string_view b);

}  // namespace platform
