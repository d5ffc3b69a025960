#pragma once

#include <QMainWindow>

// The test window: the program's main window.
class TFPrPch : public QMainWindow {
    Q_OBJECT
public:
    explicit TFPrPch(QWidget* parent = nullptr);
};
