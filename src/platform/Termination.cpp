#include "platform/Termination.h"

namespace platform {
namespace {
bool gRequested = false;
std::function<void()>& Handler() {
    static std::function<void()> h;
    return h;
}
}  // namespace

void RequestTermination() {
    if (gRequested) return;
    gRequested = true;
    if (Handler()) Handler()();
}

bool TerminationRequested() { return gRequested; }

void SetTerminationHandler(std::function<void()> handler) { Handler() = std::move(handler); }

void ResetTerminationForTests() { gRequested = false; }

}  // namespace platform
