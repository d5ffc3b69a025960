#include <QApplication>

#include "app/QtDialogs.h"
#include "test/TFPrPch.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8("Проверка станции"));
    QApplication::setApplicationDisplayName(QString::fromUtf8("Проверка станции"));

    QtDialogs dialogs;
    platform::ScopedDialogs useDialogs(dialogs);

    TFPrPch mainWindow;
    mainWindow.show();
    app.exec();
    // The stand's tooling looks only at the protocol files; the program always ends with 0.
    return 0;
}
