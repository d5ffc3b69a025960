#pragma once

#include "platform/Dialogs.h"

// The program's dialogs: Qt message boxes, file dialogs and the print dialog.
class QtDialogs final : public platform::Dialogs {
public:
    platform::DialogResult Ask(const std::string& text, const std::string& caption,
                               platform::DialogButtons buttons, platform::DialogIcon icon) override;
    std::string OpenFileName(const platform::FileDialogRequest& request) override;
    std::string SaveFileName(const platform::FileDialogRequest& request) override;
    bool Print(const platform::PrintRequest& request) override;
};
