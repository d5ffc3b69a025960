#pragma once

#include <QDialog>
#include <string>

// The protocol viewer. Driven through its properties, then shown modally.
class TProt : public QDialog {
    Q_OBJECT
public:
    explicit TProt(QWidget* parent = nullptr);

    void Reset();
    bool Temporary = false;
    std::string ProtMask = "*.*";
    std::string ProtDir;
    bool AskFile = false;

    // Shows the viewer modally; returns its modal result.
    int ShowModal();
    int ShowCount() const { return showCount_; }

private:
    int showCount_ = 0;
};
