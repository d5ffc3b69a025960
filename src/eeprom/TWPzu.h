#pragma once

#include <QWidget>

class THexGridColor;

// The comparison window: the settings file (left) and the EEPROM's answers (right).
class TWPzu : public QWidget {
    Q_OBJECT
public:
    explicit TWPzu(QWidget* parent = nullptr);

    THexGridColor* GridIn;
    THexGridColor* GridOut;
};
