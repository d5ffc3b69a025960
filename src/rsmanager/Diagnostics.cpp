#include "rsmanager/Diagnostics.h"

#include <mutex>

namespace {
std::mutex gMutex;
RsDiagnosticsSink gSink;
}  // namespace

void SetRsDiagnosticsSink(RsDiagnosticsSink sink) {
    std::lock_guard lock(gMutex);
    gSink = std::move(sink);
}

void RsDiagnostic(const std::string& text) {
    std::lock_guard lock(gMutex);
    if (gSink) gSink(text);
}
