#include "records/TProt.h"

#include "app/Termination.h"

TProt::TProt(QWidget* parent) : QDialog(parent) {
    setObjectName("Prot");
    setWindowTitle(QString::fromUtf8("Протокол проверки"));
    resize(800, 600);
}

void TProt::Reset() {
    Temporary = false;
    ProtMask = "*.*";
    ProtDir.clear();
    AskFile = false;
}

int TProt::ShowModal() {
    ++showCount_;
    return ExecModal(*this);
}
