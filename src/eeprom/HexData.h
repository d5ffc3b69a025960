#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The data side of the hex grids, without the widget: the byte array, the cell arithmetic,
// the cell texts of the four view modes and the parsing of edited text.

// A data array: a 32-bit element count followed by one byte per element.
struct TDataBuf {
    int32_t Count = 0;
    std::vector<uint8_t> Data;
};
using PDataBuf = std::unique_ptr<TDataBuf>;

enum class TViewMode { vmHEX, vmBIN, vmDEC, vmASCII };
enum class TDataSize { dsByte, dsWord };

class EInvalidGridOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Not a number where the view mode needs one.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Resizes the array to `count` elements; new elements take `fill`, the others stay.
void UpdateDataArray(PDataBuf& array, int32_t count, uint8_t fill);
// Nothing for delta 0; otherwise count + delta elements, every element from `index` to the new
// end set to `fill`. Throws EInvalidGridOperation ("Index Out Of Range", "Too Many Deleted",
// "Grid Too Large").
void ModifyDataArray(PDataBuf& array, int32_t index, int32_t delta, uint8_t fill);
// The same for the error arrays of the colour grid: fill 0.
inline void UpdateDataArrayColor(PDataBuf& array, int32_t count) { UpdateDataArray(array, count, 0); }
inline void ModifyDataArrayColor(PDataBuf& array, int32_t index, int32_t delta) {
    ModifyDataArray(array, index, delta, 0);
}

// The text of a cell holding v (8 or 16 bits).
std::string FormatDataStr(uint16_t v, TViewMode mode, TDataSize size);

// The grid's data: what a THexGrid shows and edits.
class THexData {
public:
    THexData();
    virtual ~THexData() = default;

    uint32_t BegAddr = 0;
    int32_t GridColCount() const { return colCount_; }
    void SetGridColCount(int32_t n) { colCount_ = n; }
    int32_t ColumnCount() const { return colCount_ <= 0 ? 2 : colCount_ + 1; }  // with the fixed column
    int32_t DataCount() const { return dataCount_; }
    void SetDataCount(int32_t n);
    TDataSize DataSize = TDataSize::dsByte;
    uint16_t DefaultData() const { return defaultData_; }
    void SetDefaultData(uint16_t v);
    TViewMode ViewMode = TViewMode::vmHEX;

    uint8_t GetAData(int32_t index) const;
    void SetAData(int32_t index, uint8_t value);
    void AssignDataBuf(PDataBuf buffer);

    // Rows with the fixed row.
    int32_t RowCount() const;
    // Index of the first byte of a data cell (col, row counted with the fixed ones).
    int32_t GetDataIndex(int32_t col, int32_t row) const;
    // Text of any cell: addresses in the fixed column, offsets in the fixed row, values else.
    std::string CellText(int32_t col, int32_t row) const;
    // Stores edited text into the cell's byte(s); an empty text is ignored. Throws
    // EConvertError for a text that is not a number in the view mode.
    void StoreEditText(int32_t col, int32_t row, const std::string& text);

private:
    uint16_t CellValue(int32_t index) const;

    int32_t colCount_ = 16;
    int32_t dataCount_ = 255;
    uint16_t defaultData_ = 255;
    PDataBuf data_;
};

// With an error flag per data byte, painted in the error colour.
class THexDataColor : public THexData {
public:
    uint8_t GetErrorCell(int32_t index) const;
    void SetErrorCell(int32_t index, uint8_t flag);
    void AssignDataBuf(PDataBuf buffer, PDataBuf errors);
    // The number of marked cells, and the first marked one after (forward) or before `from`,
    // going round the end; -1 when none is marked. From -1 forward finds the first one.
    int32_t ErrorCellCount() const;
    int32_t NextErrorCell(int32_t from, bool forward) const;

private:
    PDataBuf errors_;
};

// One difference of the comparison window: the 64-byte block (the EEPROM's write page) and
// address of a marked cell, the byte of the file and the byte the chip answered.
struct PzuDifference_T {
    int32_t page = 0;
    int32_t address = 0;
    uint8_t file = 0, chip = 0;
};
// The marked cells of `marks`, the file's bytes from `file` and the chip's from `marks`.
std::vector<PzuDifference_T> PzuDifferences(const THexData& file, const THexDataColor& marks);
// The list as CSV (";"-separated, a header line, CR LF), addresses and bytes in hexadecimal.
std::string PzuDifferencesCsv(const std::vector<PzuDifference_T>& list);
// "1A2F", "0x1A2F", "1a2fh": the address an operator typed; -1 when it is not one.
int32_t ParseHexAddress(const std::string& text);
