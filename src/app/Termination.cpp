#include "app/Termination.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMetaObject>

namespace {
bool gRequested = false;
}

void RequestTermination() {
    if (gRequested) return;
    gRequested = true;
    // Queued: a request made before the loop runs (or from inside a handler) ends the loop
    // as soon as control gets back to it.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool TerminationRequested() { return gRequested; }

void ResetTerminationForTests() { gRequested = false; }

int ExecModal(QDialog& dialog) {
    if (gRequested) return QDialog::Rejected;
    return dialog.exec();
}
