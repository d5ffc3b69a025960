#include "records/TfmMemo.h"

TfmMemo::TfmMemo(QWidget* parent) : QDialog(parent) {
    setObjectName("fmMemo");
    setWindowTitle(QString::fromUtf8("Редактирование списка"));
}
