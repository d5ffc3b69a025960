#include "records/RunRecord.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#ifndef _WIN32
#include <unistd.h>
#endif

const char* OutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Passed: return "passed";
        case RunOutcome::Failed: return "failed";
        case RunOutcome::Aborted: return "aborted";
        case RunOutcome::Silent: return "silent";
        case RunOutcome::ScriptError: return "script_error";
        case RunOutcome::Incomplete: break;
    }
    return "incomplete";
}

RunOutcome OutcomeFromName(const std::string& name) {
    for (RunOutcome o : {RunOutcome::Passed, RunOutcome::Failed, RunOutcome::Aborted, RunOutcome::Silent,
                         RunOutcome::ScriptError})
        if (name == OutcomeName(o)) return o;
    return RunOutcome::Incomplete;
}

const char* OutcomeText(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Passed: return "прошла";
        case RunOutcome::Failed: return "не прошла";
        case RunOutcome::Aborted: return "прервана оператором";
        case RunOutcome::Silent: return "прервана: нет связи";
        case RunOutcome::ScriptError: return "ошибка сценария";
        case RunOutcome::Incomplete: break;
    }
    return "не завершена";
}

std::string NewUuid() {
    // One generator per thread, seeded from the system's entropy; seeded again in a child
    // process, which would otherwise repeat its parent's ids.
    thread_local std::mt19937_64 gen;
    thread_local long seededIn = -1;
#ifdef _WIN32
    const long self = 0;
#else
    const long self = static_cast<long>(getpid());
#endif
    if (seededIn != self) {
        std::random_device rd;
        std::seed_seq seed{rd(), rd(), rd(), rd()};
        gen.seed(seed);
        seededIn = self;
    }
    uint64_t hi = gen(), lo = gen();
    hi = (hi & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;  // version 4
    lo = (lo & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // RFC 4122 variant
    char b[37];
    std::snprintf(b, sizeof b, "%08x-%04x-%04x-%04x-%012llx", unsigned(hi >> 32), unsigned(hi >> 16) & 0xFFFF,
                  unsigned(hi) & 0xFFFF, unsigned(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
    return b;
}

std::string NowIso8601() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
    long offset = 0;
    _get_timezone(&offset);
    offset = -offset + (tm.tm_isdst > 0 ? 3600 : 0);
#else
    localtime_r(&t, &tm);
    const long offset = tm.tm_gmtoff;
#endif
    char b[64];
    const long m = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms, offset < 0 ? '-' : '+', m / 60, m % 60);
    return b;
}
