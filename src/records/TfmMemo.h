#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

// The list editor: the items of one of the test tag's editable lists as lines of text. Shown
// without blocking the tag; the edited list reaches birka.ini when the next run starts.
class TfmMemo : public QDialog {
    Q_OBJECT
public:
    explicit TfmMemo(QWidget* parent = nullptr);

    // Remembers the position, moves the window there and repaints it.
    void Position(int left, int top);
    // Fills the memo from the list and shows the editor at the remembered position.
    void Open(QComboBox* target);
    void btSaveClick();    // "Принять"
    void btCancelClick();  // "Отмена"

    // The memo's lines as the list takes them: a final line break opens no line of its own.
    static QStringList MemoLines(const QString& text);

    QPlainTextEdit* Memo1;
    QPushButton* btSave;
    QPushButton* btCancel;

    // However it is closed ("Принять", "Отмена", Escape), it goes back under its own window.
    void done(int result) override;

private:
    // Back under the window it was made for, once it is closed: the tag it was opened over
    // must not own it beyond that.
    void GoHome();
    QWidget* home_ = nullptr;
    QComboBox* target_ = nullptr;
    QPoint position_;
};
