#pragma once

#include <QColor>
#include <QHeaderView>
#include <QTableView>
#include <functional>
#include <memory>

#include "eeprom/HexData.h"

class QAbstractTableModel;

// A grid of a byte array: the row's start address in the fixed column, the column offset in
// the fixed row, one byte or word per cell in hexadecimal, binary, decimal or character form.
// Coordinates (col, row) count the fixed column and row as 0, as the grid's users know them.
class THexGrid : public QTableView {
    Q_OBJECT
public:
    explicit THexGrid(QWidget* parent = nullptr);
    ~THexGrid() override;

    uint32_t BegAddr() const { return data().BegAddr; }
    void SetBegAddr(uint32_t a);
    int32_t GridColCount() const { return data().GridColCount(); }
    void SetGridColCount(int32_t n);
    int32_t DataCount() const { return data().DataCount(); }
    void SetDataCount(int32_t n);
    TDataSize DataSize() const { return data().DataSize; }
    void SetDataSize(TDataSize s);
    uint16_t DefaultData() const { return data().DefaultData(); }
    void SetDefaultData(uint16_t v);
    TViewMode ViewMode() const { return data().ViewMode; }
    void SetViewMode(TViewMode m);
    int FixColWidth() const { return verticalHeader()->width(); }
    void SetFixColWidth(int w);

    uint8_t GetAData(int32_t index) const { return data().GetAData(index); }
    void SetAData(int32_t index, uint8_t value);
    void AssignDataBuf(PDataBuf buffer);
    int32_t GetDataIndex(int32_t col, int32_t row) const { return data().GetDataIndex(col, row); }
    void SizeCellToFit();
    QRect CellRect(int32_t col, int32_t row) const;
    bool MouseToCell(int x, int y, int32_t& col, int32_t& row) const;
    // Repaints after values changed through the data; Reshape after the count or columns did.
    void Refresh();
    void Reshape();

    std::function<void(int32_t, int32_t, QString&)> OnGetEditMask;
    std::function<void(int32_t, int32_t, QString&)> OnGetEditText;
    std::function<void(int32_t, int32_t, const QString&)> OnSetEditText;
    std::function<void(int32_t, int32_t)> OnSelectCell;
    std::function<void(int32_t, int32_t, QPainter*, const QRect&)> OnDrawCell;
    std::function<void()> OnTopLeftChanged;

    virtual THexData& data() { return *data_; }
    virtual const THexData& data() const { return *data_; }
    // The brush of a data cell (invalid: the usual one).
    virtual QColor CellBrush(int32_t index) const;

protected:
    explicit THexGrid(std::unique_ptr<THexData> data, QWidget* parent);

private:
    void Build();
    std::unique_ptr<THexData> data_;
    QAbstractTableModel* model_ = nullptr;
};

// With error cells painted in ColorError.
class THexGridColor : public THexGrid {
    Q_OBJECT
public:
    explicit THexGridColor(QWidget* parent = nullptr);

    QColor ColorError = Qt::green;
    uint8_t GetErrorCell(int32_t index) const { return colorData().GetErrorCell(index); }
    void SetErrorCell(int32_t index, uint8_t flag);
    void AssignDataBuf(PDataBuf buffer, PDataBuf errors);
    QColor CellBrush(int32_t index) const override;

    THexDataColor& colorData() { return static_cast<THexDataColor&>(data()); }
    const THexDataColor& colorData() const { return static_cast<const THexDataColor&>(data()); }
};
