#pragma once

#include <QObject>

// The test window's non-visual helpers (created at start with the windows).
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule1(QObject* parent = nullptr) : QObject(parent) { setObjectName("DataModule1"); }
};
