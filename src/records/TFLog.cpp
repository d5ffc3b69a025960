#include "records/TFLog.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>

#include "execution/Globals.h"
#include "platform/Dialogs.h"
#include "execution/ServiceCommands.h"

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const char* hint, int digits) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setToolTip(QString::fromUtf8(hint));
    e->setMaxLength(digits);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QString("\\d{0,%1}").arg(digits)), e));
    e->setMaximumWidth(digits * 14 + 16);
    return e;
}

QLineEdit* Shown(QWidget* parent, const char* name, const char* hint) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setToolTip(QString::fromUtf8(hint));
    e->setReadOnly(true);
    e->setMaximumWidth(90);
    return e;
}

}  // namespace

TFLog::TFLog(std::function<void(const std::string&)> send, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), send_(std::move(send)) {
    setObjectName("FLog");
    setWindowTitle(QString::fromUtf8("Программирование логического номера"));
    Lg1 = Field(this, "Lg1", "Номер платы", 4);
    Lg6 = Field(this, "Lg6", "Часы", 2);
    Lg7 = Field(this, "Lg7", "Минуты", 2);
    Lg2 = Field(this, "Lg2", "День", 2);
    Lg3 = Field(this, "Lg3", "Месяц", 2);
    Lg45 = Field(this, "Lg45", "Год", 4);
    // The board number takes five digits: its range goes to 65535.
    Lg1->setMaxLength(5);
    Lg1->setValidator(new QRegularExpressionValidator(QRegularExpression("\\d{0,5}"), Lg1));
    LgP1 = Shown(this, "LgP1", "Номер платы от ПЧ");
    LgP67 = Shown(this, "LgP67", "Уставка \"Время\" от ПЧ");
    LgP23 = Shown(this, "LgP23", "Уставка \"День, месяц\" от ПЧ");
    LgP45 = Shown(this, "LgP45", "Уставка \"Год\" от ПЧ");
    SpeedButton63 = new QPushButton(QString::fromUtf8("Программирование"), this);
    SpeedButton63->setObjectName("SpeedButton63");
    SpeedButton23 = new QPushButton(QString::fromUtf8("Установить текущую дату"), this);
    SpeedButton23->setObjectName("SpeedButton23");

    auto* g = new QGridLayout(this);
    const std::pair<const char*, std::pair<QWidget*, QWidget*>> rows[] = {
        {"Номер платы", {Lg1, LgP1}}, {"Время (чч мм)", {Lg6, LgP67}}, {"День, месяц", {Lg2, LgP23}}, {"Год", {Lg45, LgP45}}};
    int r = 0;
    for (const auto& [label, w] : rows) {
        g->addWidget(new QLabel(QString::fromUtf8(label), this), r, 0);
        g->addWidget(w.first, r, 1);
        if (w.first == Lg6) g->addWidget(Lg7, r, 2);
        if (w.first == Lg2) g->addWidget(Lg3, r, 2);
        g->addWidget(w.second, r, 3);
        ++r;
    }
    g->addWidget(SpeedButton23, r, 0, 1, 2);
    g->addWidget(SpeedButton63, r, 2, 1, 2);
    connect(SpeedButton63, &QPushButton::clicked, this, [this] { SpeedButton63Click(); });
    connect(SpeedButton23, &QPushButton::clicked, this, [this] { SpeedButton23Click(); });
}

void TFLog::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    SpeedButton23Click();
    // Docked at the top of the screen's work area.
    if (QScreen* s = screen()) move(s->availableGeometry().center().x() - width() / 2, s->availableGeometry().top());
}

void TFLog::SpeedButton23Click() {
    const QDateTime now = QDateTime::currentDateTime();
    Lg6->setText(QString::number(now.time().hour()));
    Lg7->setText(QString::number(now.time().minute()));
    Lg2->setText(QString::number(now.date().day()));
    Lg3->setText(QString::number(now.date().month()));
    Lg45->setText(QString::number(now.date().year()));
}

void TFLog::SpeedButton63Click() {
    const LogicalNumberFields_T f{Lg1->text().toStdString(), Lg6->text().toStdString(), Lg7->text().toStdString(),
                                  Lg2->text().toStdString(), Lg3->text().toStdString(), Lg45->text().toStdString()};
    const ServiceCommand_T c = LogicalNumberCommand(f);
    if (!c.ok) {
        platform::Dialogs::Current().Show(c.error, windowTitle().toStdString(), platform::DialogIcon::Warning);
        return;
    }
    if (send_) send_(c.text);
    GetLN = false;
}

void TFLog::ShowReported(unsigned logicalNumber, const std::string& date, const std::string& time) {
    LgP1->setText(QString::number(logicalNumber));
    LgP67->setText(QString::fromStdString(time));
    // "dd.mm.yyyy": day and month as "dd/mm", the year apart.
    LgP23->setText(QString::fromStdString(date.substr(0, 5)).replace('.', '/'));
    LgP45->setText(QString::fromStdString(date.size() > 6 ? date.substr(6) : std::string()));
}
