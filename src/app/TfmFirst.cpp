#include "app/TfmFirst.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Version.h"

TfmFirst::TfmFirst(QWidget* parent) : QDialog(parent) {
    setObjectName("fmFirst");
    setWindowTitle(QString::fromUtf8("О программе"));
    auto* panel = new QFrame(this);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);
    auto* lines = new QVBoxLayout(panel);
    auto addLine = [&](const char* text, int pointSize, bool bold) {
        auto* l = new QLabel(QString::fromUtf8(text), panel);
        QFont f = l->font();
        f.setPointSize(pointSize);
        f.setBold(bold);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        lines->addWidget(l);
        return l;
    };
    addLine("Проверка станций управления", 14, true);
    addLine("погружными электродвигтелями", 14, true);
    addLine("Стенд проверки станций управления ВД с преобразователем частоты", 10, false);
    lbSoftVersion = addLine("", 10, false);
    lbSoftVersion->setObjectName("lbSoftVersion");

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Button1 = new QPushButton(QString::fromUtf8("Закрыть"), this);
    Button1->setObjectName("Button1");
    auto* bar = new QHBoxLayout;
    bar->addWidget(Label1, 1);
    bar->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addLayout(bar);
    resize(460, 260);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    TimerWait.setInterval(1000);
    connect(&TimerWait, &QTimer::timeout, this, [this] { TimerWaitTimer(); });

    ticks_ = 0;
    TimerWait.start();
    Label1->clear();
    lbSoftVersion->setText(QString::fromUtf8("Версия модуля ядра: ") +
                           QString::fromStdString(platform::VersionText()));
}

void TfmFirst::TimerWaitTimer() {
    Label1->setText(QString::fromUtf8("Программа подоготавливается к работе"));
    if (++ticks_ > 4) {
        TimerWait.stop();
        Label1->setText(QString::fromUtf8("Программа не готова к работе"));
        return;
    }
    if (Ready()) {
        TimerWait.stop();
        Label1->setText(QString::fromUtf8("Программа к работе готова"));
        close();
    }
}
