#pragma once

#include <ctime>

namespace platform {

// The local calendar time of a moment, safe from any thread.
inline std::tm LocalTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

}  // namespace platform
