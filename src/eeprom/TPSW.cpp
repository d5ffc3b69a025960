#include "eeprom/TPSW.h"

TPSW::TPSW(QWidget* parent) : QDialog(parent) {
    setObjectName("PSW");
    setWindowTitle(QString::fromUtf8("Пароль"));
}
