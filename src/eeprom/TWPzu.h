#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class THexGridColor;

// The comparison window: the settings file (left) and the EEPROM's answers (right), with the
// way from one marked difference to the next, a jump to an address and the list for export.
class TWPzu : public QWidget {
    Q_OBJECT
public:
    explicit TWPzu(QWidget* parent = nullptr);

    // F3 / Shift+F3: both grids to the next (previous) marked cell, round the end.
    void NextDifference();
    void PreviousDifference();
    // Both grids to the cell of this data index (clamped to the grid).
    void GoToIndex(int32_t index);
    // "Перейти к адресу": the hexadecimal address in edAddress.
    void btGoToAddressClick();
    // "Экспорт различий...": the list as CSV to a file the operator names.
    void btExportClick();
    // The status line: the number of differences and which one is current.
    void UpdateStatus();
    int32_t CurrentIndex() const { return current_; }

    THexGridColor* GridIn;
    THexGridColor* GridOut;
    QPushButton* btPrevious;
    QPushButton* btNext;
    QLineEdit* edAddress;
    QPushButton* btGoToAddress;
    QPushButton* btExport;
    QLabel* lbStatus;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void MoveToDifference(bool forward);

    int32_t current_ = -1;  // the data index both grids stand on, -1 before the first move
};
