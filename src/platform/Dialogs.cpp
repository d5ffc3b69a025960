#include "platform/Dialogs.h"

#include <atomic>

namespace platform {
namespace {

class CautiousDialogs final : public Dialogs {
public:
    DialogResult Ask(const std::string&, const std::string&, DialogButtons buttons,
                     DialogIcon) override {
        switch (buttons) {
            case DialogButtons::Ok:
                return DialogResult::Ok;
            case DialogButtons::YesNo:
                return DialogResult::No;
            case DialogButtons::OkCancel:
            case DialogButtons::YesNoCancel:
                return DialogResult::Cancel;
        }
        return DialogResult::Cancel;
    }
    std::string OpenFileName(const FileDialogRequest&) override { return {}; }
    std::string SaveFileName(const FileDialogRequest&) override { return {}; }
    bool Print(const PrintRequest&) override { return false; }
};

CautiousDialogs gCautious;
std::atomic<Dialogs*> gCurrent{nullptr};

}  // namespace

Dialogs& Dialogs::Current() {
    Dialogs* d = gCurrent.load();
    return d ? *d : gCautious;
}

Dialogs* Dialogs::Install(Dialogs* d) {
    return gCurrent.exchange(d);
}

}  // namespace platform
