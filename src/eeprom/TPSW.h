#pragma once

#include <QDialog>

// The password dialog of the EEPROM service.
class TPSW : public QDialog {
    Q_OBJECT
public:
    explicit TPSW(QWidget* parent = nullptr);
};
