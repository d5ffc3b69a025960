#include "execution/ResultsTable.h"

#include <algorithm>

#include "execution/Script.h"

TResultsTable::TResultsTable() { Reset(); }

void TResultsTable::Reset() {
    rows_.assign(kInitialRows, {});
    for (int c = 0; c < kColumns; ++c) rows_[0][c] = kHeaders[c];
    nextFree_ = 1;
    bufferIndex_.clear();
    owner_.clear();
    writes_.clear();
    Changed(-1);
}

const std::string& TResultsTable::Cell(int column, int row) const {
    static const std::string kEmpty;
    if (row < 0 || row >= RowCount() || column < 0 || column >= kColumns) return kEmpty;
    return rows_[row][column];
}

void TResultsTable::SetCell(int column, int row, const std::string& text) {
    if (row < 0 || column < 0 || column >= kColumns) return;
    while (row >= RowCount()) rows_.emplace_back();
    rows_[row][column] = text;
    Changed(row);
}

void TResultsTable::SetRowText(int row, const std::string& commaText) {
    SetRowText(row, commaText, kColumns);
}

void TResultsTable::WriteParameterRow(int row, const std::string& commaText, const std::string& owner) {
    if (row < 0) return;
    while (row >= RowCount()) rows_.emplace_back();
    const bool own = owner_.count(row) && owner_[row] == owner;
    if (!own) rows_[row][4].clear(), rows_[row][5].clear();
    writes_[row] = own ? writes_[row] + 1 : 1;
    SetRowText(row, commaText, 4);
    owner_[row] = owner;
}

void TResultsTable::SetRowText(int row, const std::string& commaText, int columns) {
    if (row < 0) return;
    if (columns >= kColumns) owner_.erase(row), writes_.erase(row);
    while (row >= RowCount()) rows_.emplace_back();
    const std::vector<std::string> fields = SplitCommaText(commaText);
    for (int c = 0; c < std::min(columns, kColumns); ++c)
        rows_[row][c] = c < static_cast<int>(fields.size()) ? fields[c] : "";
    Changed(row);
}

void TResultsTable::GrowIfNeeded() {
    if (RowCount() - nextFree_ < kGrowBy) {
        rows_.resize(rows_.size() + kGrowBy);
        Changed(-1);
    }
}

int TResultsTable::BufferIndex(int row) const {
    const auto it = bufferIndex_.find(row);
    return it == bufferIndex_.end() ? 0 : it->second;
}

int TResultsTable::Writes(int row) const {
    const auto it = writes_.find(row);
    return it == writes_.end() ? 1 : it->second;
}
