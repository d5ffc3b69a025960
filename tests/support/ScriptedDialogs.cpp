#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

platform::DialogResult ScriptedDialogs::Ask(const std::string& text, const std::string& caption,
                                            platform::DialogButtons buttons,
                                            platform::DialogIcon icon) {
    questions_.push_back({text, caption, buttons, icon});
    // A plain message is only recorded: it needs no answer and takes none from the queue.
    if (buttons == platform::DialogButtons::Ok) return platform::DialogResult::Ok;
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected question \"" << text << "\" (caption \"" << caption << "\")";
        return platform::DialogResult::Cancel;
    }
    const platform::DialogResult r = answers_.front();
    answers_.pop_front();
    return r;
}

std::string ScriptedDialogs::OpenFileName(const platform::FileDialogRequest& request) {
    fileRequests_.push_back(request);
    if (files_.empty()) {
        ADD_FAILURE() << "unexpected open dialog \"" << request.caption << "\"";
        return {};
    }
    std::string f = files_.front();
    files_.pop_front();
    return f;
}

std::string ScriptedDialogs::SaveFileName(const platform::FileDialogRequest& request) {
    return OpenFileName(request);
}

bool ScriptedDialogs::Print(const platform::PrintRequest& request) {
    printRequests_.push_back(request);
    if (prints_.empty()) {
        ADD_FAILURE() << "unexpected print dialog \"" << request.caption << "\"";
        return false;
    }
    const bool accept = prints_.front();
    prints_.pop_front();
    return accept;
}
