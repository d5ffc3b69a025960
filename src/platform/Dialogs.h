#pragma once

#include <string>

// Every modal question, message and file or print dialog of the program goes through this
// interface: the windows never call the toolkit's boxes themselves, so tests can answer them.
namespace platform {

enum class DialogButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class DialogIcon { None, Information, Warning, Error, Question };
enum class DialogResult { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    std::string caption;
    std::string directory;  // folder to start in
    std::string filter;     // "Протоколы (*.txt);;Все файлы (*)"
    std::string fileName;   // proposed name (save dialogs)
};

struct PrintRequest {
    std::string caption;  // document name shown by the print dialog and the spooler
    std::string text;     // plain text to print, UTF-8
    // When the operator chooses "print to file": the bytes written to the file he names.
    std::string printToFileBytes;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual DialogResult Ask(const std::string& text, const std::string& caption,
                             DialogButtons buttons, DialogIcon icon) = 0;
    // The chosen path, or an empty text when the operator cancelled.
    virtual std::string OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::string SaveFileName(const FileDialogRequest& request) = 0;
    // Shows the print dialog and prints; false when the operator cancelled or printing failed.
    virtual bool Print(const PrintRequest& request) = 0;

    void Show(const std::string& text, const std::string& caption,
              DialogIcon icon = DialogIcon::Information) {
        Ask(text, caption, DialogButtons::Ok, icon);
    }

    // The dialogs in use. Until the program or a test installs its own, every question is
    // answered with the most cautious button (Cancel, else No) and no dialog is shown.
    static Dialogs& Current();
    // Installs d (nullptr restores the cautious default); returns the one it replaces.
    static Dialogs* Install(Dialogs* d);
};

// Installs dialogs for the lifetime of a scope and puts the previous ones back.
class ScopedDialogs {
public:
    explicit ScopedDialogs(Dialogs& d) : previous_(Dialogs::Install(&d)) {}
    ~ScopedDialogs() { Dialogs::Install(previous_); }
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

private:
    Dialogs* previous_;
};

}  // namespace platform
