#include "eeprom/TWPzu.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "eeprom/THexGrid.h"
#include "platform/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

THexGridColor* Grid(QWidget* parent, const char* name, uint16_t defaultData, QColor error) {
    auto* g = new THexGridColor(parent);
    g->setObjectName(name);
    g->SetBegAddr(0);
    g->SetGridColCount(16);
    g->SetDefaultData(defaultData);
    g->SetDataCount(32767);  // the EEPROM's last byte is not kept
    g->SetDataSize(TDataSize::dsByte);
    g->SetViewMode(TViewMode::vmHEX);
    g->horizontalHeader()->setDefaultSectionSize(20);
    g->verticalHeader()->setDefaultSectionSize(20);
    g->SetFixColWidth(50);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->ColorError = error;
    return g;
}

void PlaceOn(THexGrid* g, int32_t index) {
    const int32_t columns = g->GridColCount() > 0 ? g->GridColCount() : 1;
    const QModelIndex cell = g->model()->index(index / columns, index % columns);
    g->setCurrentIndex(cell);
    g->scrollTo(cell, QAbstractItemView::PositionAtCenter);
}

}  // namespace

TWPzu::TWPzu(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("WPzu");
    setWindowTitle(QString::fromUtf8("Файл:") + QString(136, ' ') + QString::fromUtf8("ПЗУ:"));
    GridIn = Grid(this, "GridIn", 0, QColor(128, 128, 0));     // olive
    GridOut = Grid(this, "GridOut", 255, QColor(255, 0, 255));  // fuchsia

    btPrevious = new QPushButton(U("Предыдущее различие"), this);
    btPrevious->setObjectName("btPreviousDifference");
    btPrevious->setToolTip("Shift+F3");
    btNext = new QPushButton(U("Следующее различие"), this);
    btNext->setObjectName("btNextDifference");
    btNext->setToolTip("F3");
    edAddress = new QLineEdit(this);
    edAddress->setObjectName("edAddress");
    edAddress->setPlaceholderText(U("адрес, hex"));
    edAddress->setMaximumWidth(90);
    btGoToAddress = new QPushButton(U("Перейти к адресу"), this);
    btGoToAddress->setObjectName("btGoToAddress");
    btExport = new QPushButton(U("Экспорт различий..."), this);
    btExport->setObjectName("btExportDifferences");
    lbStatus = new QLabel(this);
    lbStatus->setObjectName("lbDifferences");

    // The keys work wherever the focus is in the window, on either grid too.
    auto* next = new QAction(this);
    next->setShortcut(QKeySequence(Qt::Key_F3));
    next->setShortcutContext(Qt::WindowShortcut);
    auto* previous = new QAction(this);
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    previous->setShortcutContext(Qt::WindowShortcut);
    addAction(next);
    addAction(previous);
    connect(next, &QAction::triggered, this, [this] { NextDifference(); });
    connect(previous, &QAction::triggered, this, [this] { PreviousDifference(); });
    connect(btNext, &QPushButton::clicked, this, [this] { NextDifference(); });
    connect(btPrevious, &QPushButton::clicked, this, [this] { PreviousDifference(); });
    connect(btGoToAddress, &QPushButton::clicked, this, [this] { btGoToAddressClick(); });
    connect(edAddress, &QLineEdit::returnPressed, this, [this] { btGoToAddressClick(); });
    connect(btExport, &QPushButton::clicked, this, [this] { btExportClick(); });

    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(4, 2, 4, 2);
    tools->addWidget(btPrevious);
    tools->addWidget(btNext);
    tools->addSpacing(12);
    tools->addWidget(edAddress);
    tools->addWidget(btGoToAddress);
    tools->addStretch();
    tools->addWidget(btExport);
    auto* grids = new QHBoxLayout;
    grids->setContentsMargins(0, 0, 0, 0);
    grids->addWidget(GridIn);
    grids->addWidget(GridOut);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(tools);
    layout->addLayout(grids, 1);
    layout->addWidget(lbStatus);
    resize(897, 593);
    UpdateStatus();
}

void TWPzu::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    UpdateStatus();
}

void TWPzu::NextDifference() { MoveToDifference(true); }
void TWPzu::PreviousDifference() { MoveToDifference(false); }

void TWPzu::MoveToDifference(bool forward) {
    const int32_t i = GridOut->colorData().NextErrorCell(current_, forward);
    if (i < 0) {
        UpdateStatus();
        return;
    }
    GoToIndex(i);
}

void TWPzu::GoToIndex(int32_t index) {
    current_ = std::clamp<int32_t>(index, 0, std::max(GridOut->DataCount() - 1, 0));
    PlaceOn(GridIn, current_);
    PlaceOn(GridOut, current_);
    UpdateStatus();
}

void TWPzu::btGoToAddressClick() {
    const int32_t a = ParseHexAddress(edAddress->text().toStdString());
    if (a < 0 || a >= GridOut->DataCount()) {
        char range[16];
        std::snprintf(range, sizeof range, "%04X", static_cast<unsigned>(GridOut->DataCount() - 1));
        platform::Dialogs::Current().Show("Адрес «" + edAddress->text().toStdString() +
                                              "» не подходит: нужен шестнадцатеричный адрес от 0000 до " + range + ".",
                                          "Перейти к адресу", platform::DialogIcon::Warning);
        return;
    }
    GoToIndex(a);
}

void TWPzu::btExportClick() {
    const auto list = PzuDifferences(GridIn->data(), GridOut->colorData());
    platform::FileDialogRequest r;
    r.caption = "Экспорт различий";
    r.filter = "CSV (*.csv);;Все файлы (*)";
    r.fileName = "differences.csv";
    const std::string path = platform::Dialogs::Current().SaveFileName(r);
    if (path.empty()) return;
    if (!platform::WriteFileBytes(path, platform::Utf8ToCp1251(PzuDifferencesCsv(list))))
        platform::Dialogs::Current().Show("Не удалось записать файл " + path, "Экспорт различий",
                                          platform::DialogIcon::Warning);
}

void TWPzu::UpdateStatus() {
    const auto& marks = GridOut->colorData();
    const int32_t count = marks.ErrorCellCount();
    QString text = U("Различий: %1").arg(count);
    if (count > 0 && current_ >= 0 && marks.GetErrorCell(current_) != 0) {
        // Which one it is: the marked cells up to this one.
        int32_t n = 0;
        for (int32_t i = marks.NextErrorCell(-1, true); i >= 0 && i <= current_;) {
            ++n;
            const int32_t next = marks.NextErrorCell(i, true);
            if (next <= i) break;
            i = next;
        }
        text += U(" · различие %1 из %2, адрес %3h").arg(n).arg(count).arg(current_, 4, 16, QChar('0'));
    } else if (current_ >= 0) {
        text += U(" · адрес %1h").arg(current_, 4, 16, QChar('0'));
    }
    lbStatus->setText(text);
    btNext->setEnabled(count > 0);
    btPrevious->setEnabled(count > 0);
    btExport->setEnabled(count > 0);
}
