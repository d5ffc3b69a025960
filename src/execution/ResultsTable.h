#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The results table Tabl1 as data: six columns under a header row. The window shows it; the
// step interpreter writes and judges its rows.
class TResultsTable {
public:
    static constexpr int kColumns = 6;
    static constexpr std::array<const char*, kColumns> kHeaders = {
        "Параметр", "Мин.зн.", "Макс.зн.", "Контр.зн.", "Измер.зн.", "Резюме"};
    static constexpr int kInitialRows = 10;
    static constexpr int kGrowBy = 20;

    TResultsTable();
    void Reset();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const std::string& Cell(int column, int row) const;
    void SetCell(int column, int row, const std::string& text);
    // Sets the row's cells from a comma text, as the grid's rows take it: the fields fill the
    // columns from the left and the remaining cells are cleared.
    void SetRowText(int row, const std::string& commaText);
    // Only the first `columns` cells, from a comma text; the rest of the row is kept.
    void SetRowText(int row, const std::string& commaText, int columns);
    // A parameter row of a step: columns 0..3 from the comma text. The measured value and the
    // verdict stay only when the same row of the same step was written here before (a repeated
    // step judges what the operator typed); any other row written over it (the attempt row,
    // another parameter) leaves them empty.
    void WriteParameterRow(int row, const std::string& commaText, const std::string& owner);

    // How often the same step wrote its parameter row here in a row: the attempts of a repeated step.
    int Writes(int row) const;
    // The row holds a step's parameter (not an attempt row or other text the script wrote).
    bool IsParameterRow(int row) const { return owner_.count(row) != 0; }

    int NextFreeRow() const { return nextFree_; }
    void SetNextFreeRow(int row) { nextFree_ = row; }
    // Whenever fewer than 20 rows remain beyond the next free row, 20 more are added.
    void GrowIfNeeded();

    void SetBufferIndex(int row, int index) { bufferIndex_[row] = index; }
    int BufferIndex(int row) const;

    // Tells the view which rows changed (row -1: all of them).
    void SetChangeListener(std::function<void(int)> listener) { listener_ = std::move(listener); }

private:
    void Changed(int row) {
        if (listener_) listener_(row);
    }
    std::vector<std::array<std::string, kColumns>> rows_;
    int nextFree_ = 1;
    std::map<int, int> bufferIndex_;
    std::map<int, std::string> owner_;  // which step's parameter row a table row holds
    std::map<int, int> writes_;
    std::function<void(int)> listener_;
};
