#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

// Dialogs for tests: answers the questions in the order the test queued the answers and records
// every question. Plain messages (OK only) are recorded without taking an answer; a question
// nobody expected fails the test.
class ScriptedDialogs final : public platform::Dialogs {
public:
    struct Question {
        std::string text;
        std::string caption;
        platform::DialogButtons buttons;
        platform::DialogIcon icon;
    };

    ScriptedDialogs& Answer(platform::DialogResult r) {
        answers_.push_back(r);
        return *this;
    }
    ScriptedDialogs& ChooseFile(const std::string& path) {
        files_.push_back(path);
        return *this;
    }
    ScriptedDialogs& AcceptPrint(bool accept) {
        prints_.push_back(accept);
        return *this;
    }

    const std::vector<Question>& Questions() const { return questions_; }
    const std::vector<platform::FileDialogRequest>& FileRequests() const { return fileRequests_; }
    const std::vector<platform::PrintRequest>& PrintRequests() const { return printRequests_; }
    bool AllAnswersUsed() const { return answers_.empty() && files_.empty() && prints_.empty(); }

    platform::DialogResult Ask(const std::string& text, const std::string& caption,
                               platform::DialogButtons buttons, platform::DialogIcon icon) override;
    std::string OpenFileName(const platform::FileDialogRequest& request) override;
    std::string SaveFileName(const platform::FileDialogRequest& request) override;
    bool Print(const platform::PrintRequest& request) override;

private:
    std::deque<platform::DialogResult> answers_;
    std::deque<std::string> files_;
    std::deque<bool> prints_;
    std::vector<Question> questions_;
    std::vector<platform::FileDialogRequest> fileRequests_;
    std::vector<platform::PrintRequest> printRequests_;
};
