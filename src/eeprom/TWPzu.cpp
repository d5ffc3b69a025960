#include "eeprom/TWPzu.h"

#include <QHBoxLayout>
#include <QHeaderView>

#include "eeprom/THexGrid.h"

namespace {

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

}  // namespace

TWPzu::TWPzu(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("WPzu");
    setWindowTitle(QString::fromUtf8("Файл:") + QString(136, ' ') + QString::fromUtf8("ПЗУ:"));
    GridIn = Grid(this, "GridIn", 0, QColor(128, 128, 0));     // olive
    GridOut = Grid(this, "GridOut", 255, QColor(255, 0, 255));  // fuchsia
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(GridIn);
    layout->addWidget(GridOut);
    resize(897, 593);
}
