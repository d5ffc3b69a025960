#include "test/TFPrPch.h"

TFPrPch::TFPrPch(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FPrPch");
    setWindowTitle(QString::fromUtf8("Проверка станции"));
    resize(1024, 700);
}
