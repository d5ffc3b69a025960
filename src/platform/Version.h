#pragma once

#include <cstdint>
#include <string>

namespace platform {

// File version of the program as the two 32-bit halves of a version resource:
// most significant = major << 16 | minor, least significant = patch << 16 | build.
struct FileVersion {
    uint32_t mostSignificant = 0;
    uint32_t leastSignificant = 0;
};

FileVersion ProgramFileVersion();

// "a.b.c.d": both 16-bit halves of the most significant part, the high 16 bits of the least
// significant part and the low 8 bits of the build number (a build 256 shows as 0). This is
// how the stand has always printed its version into protocols; archives are compared by it.
std::string FormatVersionText(FileVersion v);

// The program's version text for the about window and the protocol header.
std::string VersionText();

}  // namespace platform
