#include "eeprom/THexGrid.h"

#include <QAbstractTableModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QPainter>
#include <QStyledItemDelegate>

#include "platform/Cp1251.h"
#include "platform/Dialogs.h"

namespace {

// Character cells hold bytes of the stand's code page.
QString CellQString(const std::string& bytes, TViewMode mode) {
    if (mode != TViewMode::vmASCII) return QString::fromStdString(bytes);
    return QString::fromStdString(platform::Cp1251ToUtf8(bytes));
}

std::string EditedBytes(const QString& text, TViewMode mode) {
    if (mode != TViewMode::vmASCII) return text.toStdString();
    return platform::Utf8ToCp1251(text.toStdString());
}

class HexModel final : public QAbstractTableModel {
public:
    explicit HexModel(THexGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : grid_->data().RowCount() - 1;
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : grid_->data().ColumnCount() - 1;
    }
    QVariant data(const QModelIndex& i, int role) const override {
        const THexData& d = grid_->data();
        const int col = i.column() + 1, row = i.row() + 1;
        if (role == Qt::DisplayRole) return CellQString(d.CellText(col, row), d.ViewMode);
        if (role == Qt::EditRole) {
            QString text = CellQString(d.CellText(col, row), d.ViewMode);
            if (grid_->OnGetEditText) grid_->OnGetEditText(col, row, text);
            return text;
        }
        if (role == Qt::BackgroundRole) {
            const QColor c = grid_->CellBrush(d.GetDataIndex(col, row));
            if (c.isValid()) return c;
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        const THexData& d = grid_->data();
        return QString::fromStdString(o == Qt::Horizontal ? d.CellText(section + 1, 0) : d.CellText(0, section + 1));
    }
    Qt::ItemFlags flags(const QModelIndex& i) const override {
        return QAbstractTableModel::flags(i) | Qt::ItemIsEditable;
    }
    bool setData(const QModelIndex& i, const QVariant& value, int role) override {
        if (role != Qt::EditRole) return false;
        const int col = i.column() + 1, row = i.row() + 1;
        const QString text = value.toString();
        try {
            grid_->data().StoreEditText(col, row, EditedBytes(text, grid_->data().ViewMode));
        } catch (const EConvertError& e) {
            platform::Dialogs::Current().Show(e.what(), "Ошибка", platform::DialogIcon::Error);
            return false;
        }
        emit dataChanged(i, i);
        if (grid_->OnSetEditText) grid_->OnSetEditText(col, row, text);
        return true;
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    // The same shape, new values: the view keeps its selection and scroll position.
    void Changed() {
        if (rowCount({}) > 0 && columnCount({}) > 0)
            emit dataChanged(index(0, 0), index(rowCount({}) - 1, columnCount({}) - 1));
    }

private:
    THexGrid* grid_;
};

// Paints as the grid paints: the brush, the text 2 pixels in, then the owner's hook.
class HexDelegate final : public QStyledItemDelegate {
public:
    explicit HexDelegate(THexGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& i) const override {
        QStyleOptionViewItem o = option;
        o.displayAlignment = Qt::AlignLeft | Qt::AlignTop;
        o.rect = option.rect;
        QStyledItemDelegate::paint(p, o, i);
        if (grid_->OnDrawCell) grid_->OnDrawCell(i.column() + 1, i.row() + 1, p, option.rect);
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& i) const override {
        QWidget* e = QStyledItemDelegate::createEditor(parent, option, i);
        QString mask;
        if (grid_->OnGetEditMask) grid_->OnGetEditMask(i.column() + 1, i.row() + 1, mask);
        if (auto* line = qobject_cast<QLineEdit*>(e); line && !mask.isEmpty()) line->setInputMask(mask);
        return e;
    }

private:
    THexGrid* grid_;
};

}  // namespace

THexGrid::THexGrid(QWidget* parent) : THexGrid(std::make_unique<THexData>(), parent) {}

THexGrid::THexGrid(std::unique_ptr<THexData> data, QWidget* parent) : QTableView(parent), data_(std::move(data)) {
    Build();
}

THexGrid::~THexGrid() = default;

void THexGrid::Build() {
    model_ = new HexModel(this);
    setModel(model_);
    setItemDelegate(new HexDelegate(this));
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    QPalette pal = palette();
    pal.setColor(QPalette::Highlight, Qt::blue);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
        if (OnSelectCell && i.isValid()) OnSelectCell(i.column() + 1, i.row() + 1);
    });
    auto topLeft = [this] {
        if (OnTopLeftChanged) OnTopLeftChanged();
    };
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, topLeft);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, topLeft);
    SizeCellToFit();
}

QColor THexGrid::CellBrush(int32_t) const { return {}; }

void THexGrid::Refresh() { static_cast<HexModel*>(model_)->Changed(); }
void THexGrid::Reshape() { static_cast<HexModel*>(model_)->Reset(); }

void THexGrid::SetBegAddr(uint32_t a) {
    data().BegAddr = a;
    Refresh();
}

void THexGrid::SetGridColCount(int32_t n) {
    data().SetGridColCount(n);
    Reshape();
}

void THexGrid::SetDataCount(int32_t n) {
    data().SetDataCount(n);
    Reshape();
}

void THexGrid::SetDataSize(TDataSize s) {
    data().DataSize = s;
    Reshape();
}

void THexGrid::SetDefaultData(uint16_t v) {
    data().SetDefaultData(v);
    Refresh();
}

void THexGrid::SetViewMode(TViewMode m) {
    data().ViewMode = m;
    Refresh();
}

void THexGrid::SetFixColWidth(int w) { verticalHeader()->setFixedWidth(w); }

void THexGrid::SetAData(int32_t index, uint8_t value) { data().SetAData(index, value); }

void THexGrid::AssignDataBuf(PDataBuf buffer) {
    data().AssignDataBuf(std::move(buffer));
    Reshape();
}

void THexGrid::SizeCellToFit() {
    static constexpr int kByte[] = {2, 8, 3, 2};
    static constexpr int kWord[] = {4, 16, 5, 2};
    const int letters = (data().DataSize == TDataSize::dsByte ? kByte : kWord)[static_cast<int>(data().ViewMode)];
    const QFontMetrics m(font());
    const QString sample(letters, QChar('W'));
    horizontalHeader()->setDefaultSectionSize(m.horizontalAdvance(sample) + 4);
    verticalHeader()->setDefaultSectionSize(m.height() + 4);
    verticalHeader()->setFixedWidth(m.horizontalAdvance("WWWWWW") + 4);
    horizontalHeader()->setFixedHeight(m.height() + 4);
}

QRect THexGrid::CellRect(int32_t col, int32_t row) const {
    return visualRect(model_->index(row - 1, col - 1));
}

bool THexGrid::MouseToCell(int x, int y, int32_t& col, int32_t& row) const {
    const QModelIndex i = indexAt(QPoint(x, y));
    if (!i.isValid()) return false;
    col = i.column() + 1;
    row = i.row() + 1;
    return true;
}

THexGridColor::THexGridColor(QWidget* parent) : THexGrid(std::make_unique<THexDataColor>(), parent) {}

void THexGridColor::SetErrorCell(int32_t index, uint8_t flag) { colorData().SetErrorCell(index, flag); }

void THexGridColor::AssignDataBuf(PDataBuf buffer, PDataBuf errors) {
    colorData().AssignDataBuf(std::move(buffer), std::move(errors));
    Reshape();
}

QColor THexGridColor::CellBrush(int32_t index) const {
    return GetErrorCell(index) ? ColorError : QColor();
}
