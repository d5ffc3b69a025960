#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPlainTextEdit;

// The file last chosen with "Открыть" or named by "Сохранить как..."; "Удалить" acts on it.
extern std::string MyFName;

// The protocol viewer: a protocol text in an editor, to be archived, saved elsewhere, deleted
// or printed. Driven through its properties, then shown modally.
class TProt : public QDialog {
    Q_OBJECT
public:
    explicit TProt(QWidget* parent = nullptr);

    void Reset();
    std::string ProtDir;
    std::string ProtMask = "*.*";
    std::string ProtFile;
    bool Temporary = false;
    bool AskFile = false;
    bool Saved = false;
    // The serial that names archive files (the tag's, else the board's logical number).
    std::function<std::string()> ArchiveSerialSource;

    // Shows the viewer modally; returns its modal result.
    int ShowModal();
    int ShowCount() const { return showCount_; }
    // What happens as the viewer appears: the file chosen or given is loaded, the panels set.
    void FormShow();

    // "Сохранить"; false when nothing could be written (the reason was shown).
    bool aSaveExecute();
    void aSaveAsExecute();  // "Сохранить как..."
    void aOpenExecute();    // "Открыть"
    void aDeleteExecute();  // "Удалить"
    void aPrintExecute();   // "Печать"
    void aPdfExecute();     // "Экспорт в PDF..."
    void aExitExecute();    // "Выход"
    // Closing in any way (the window's button, Escape, "Выход") comes here.
    void reject() override;

    QPlainTextEdit* RichEdit1;
    QLabel* Panel(int i) const { return panels_[i]; }

private:
    bool Load(const std::string& path);
    bool WriteText(const std::string& path, bool createNew);
    void SetPanels(const std::string& file, const std::string& message);
    std::string OpenDialog(const std::string& fileName);
    bool CloseAllowed();

    QLabel* panels_[2] = {};
    int showCount_ = 0;
};
