#pragma once

#include <QDialog>

// The list editor (operators, causes of the test tag).
class TfmMemo : public QDialog {
    Q_OBJECT
public:
    explicit TfmMemo(QWidget* parent = nullptr);
};
