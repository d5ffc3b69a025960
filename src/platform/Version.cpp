#include "platform/Version.h"

#include "platform/BuildVersion.h"

namespace platform {

FileVersion ProgramFileVersion() {
    return FileVersion{(uint32_t{STAND_VERSION_MAJOR} << 16) | uint32_t{STAND_VERSION_MINOR},
                       (uint32_t{STAND_VERSION_PATCH} << 16) | uint32_t{STAND_VERSION_TWEAK}};
}

std::string FormatVersionText(FileVersion v) {
    return std::to_string(v.mostSignificant >> 16) + "." +
           std::to_string(v.mostSignificant & 0xFFFF) + "." +
           std::to_string(v.leastSignificant >> 16) + "." +
           std::to_string(v.leastSignificant & 0xFF);
}

std::string VersionText() {
    return FormatVersionText(ProgramFileVersion());
}

}  // namespace platform
