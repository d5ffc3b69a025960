#pragma once

#include "platform/Dialogs.h"

// The operator at a benchmark says yes to every question and reads every message.
class YesDialogs final : public platform::Dialogs {
public:
    platform::DialogResult Ask(const std::string&, const std::string&, platform::DialogButtons buttons,
                               platform::DialogIcon) override {
        return buttons == platform::DialogButtons::Ok ? platform::DialogResult::Ok : platform::DialogResult::Yes;
    }
    std::string OpenFileName(const platform::FileDialogRequest&) override { return ""; }
    std::string SaveFileName(const platform::FileDialogRequest&) override { return ""; }
    bool Print(const platform::PrintRequest&) override { return false; }
};
