#include "eeprom/HexData.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int32_t kMaxElements = 0x7FFFFFD;

int64_t ParseInteger(const std::string& text, int base) {
    if (text.empty()) throw EConvertError("'" + text + "' is not a valid integer value");
    size_t b = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        b = 1;
    }
    if (b >= text.size()) throw EConvertError("'" + text + "' is not a valid integer value");
    int64_t v = 0;
    for (size_t i = b; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) throw EConvertError("'" + text + "' is not a valid integer value");
        v = v * base + d;
        if (v > 0xFFFFFFFFLL) throw EConvertError("'" + text + "' is not a valid integer value");
    }
    return negative ? -v : v;
}

}  // namespace

void UpdateDataArray(PDataBuf& a, int32_t count, uint8_t fill) {
    if (count < 0) count = 0;
    if (count > kMaxElements) throw EInvalidGridOperation("Grid Too Large");
    if (!a) a = std::make_unique<TDataBuf>();
    a->Data.resize(static_cast<size_t>(count), fill);
    a->Count = count;
}

void ModifyDataArray(PDataBuf& a, int32_t index, int32_t delta, uint8_t fill) {
    if (delta == 0) return;
    const int32_t count = a ? a->Count : 0;
    if (index < 0 || index > count) throw EInvalidGridOperation("Index Out Of Range");
    const int64_t newCount = static_cast<int64_t>(count) + delta;
    if (newCount < 0) throw EInvalidGridOperation("Too Many Deleted");
    if (newCount > kMaxElements) throw EInvalidGridOperation("Grid Too Large");
    UpdateDataArray(a, static_cast<int32_t>(newCount), fill);
    for (int64_t i = index; i < newCount; ++i) a->Data[static_cast<size_t>(i)] = fill;
}

std::string FormatDataStr(uint16_t v, TViewMode mode, TDataSize size) {
    const bool word = size == TDataSize::dsWord;
    char buf[32];
    switch (mode) {
        case TViewMode::vmHEX: std::snprintf(buf, sizeof buf, word ? "%.4x" : "%.2x", v); return buf;
        case TViewMode::vmDEC: std::snprintf(buf, sizeof buf, word ? "%.5d" : "%.3d", v); return buf;
        case TViewMode::vmBIN: {
            std::string s;
            for (int bit = word ? 15 : 7; bit >= 0; --bit) s.push_back(((v >> bit) & 1) ? '1' : '0');
            return s;
        }
        case TViewMode::vmASCII: {
            // Single bytes as they stand: the caller shows them in the code page of the data.
            std::string s(1, static_cast<char>(v & 0xFF));
            if (word) s.push_back(static_cast<char>(v >> 8));
            return s;
        }
    }
    return "";
}

THexData::THexData() { UpdateDataArray(data_, dataCount_, static_cast<uint8_t>(defaultData_)); }

void THexData::SetDataCount(int32_t n) {
    if (n == dataCount_) return;
    if (n <= 0) {
        data_.reset();
        n = 1;
    }
    dataCount_ = n;
    UpdateDataArray(data_, dataCount_, static_cast<uint8_t>(defaultData_));
}

void THexData::SetDefaultData(uint16_t v) {
    defaultData_ = v;
    UpdateDataArray(data_, dataCount_, static_cast<uint8_t>(defaultData_));
}

uint8_t THexData::GetAData(int32_t index) const {
    if (!data_ || index < 0 || index >= dataCount_ || index >= data_->Count) return static_cast<uint8_t>(defaultData_);
    return data_->Data[static_cast<size_t>(index)];
}

void THexData::SetAData(int32_t index, uint8_t value) {
    if (!data_) UpdateDataArray(data_, dataCount_, static_cast<uint8_t>(defaultData_));
    if (index >= 0 && index < dataCount_ && index < data_->Count) data_->Data[static_cast<size_t>(index)] = value;
}

void THexData::AssignDataBuf(PDataBuf buffer) {
    data_ = std::move(buffer);
    dataCount_ = data_ ? data_->Count : 0;
}

int32_t THexData::RowCount() const {
    const int32_t cells = DataSize == TDataSize::dsByte ? dataCount_ : (dataCount_ + 1) / 2;
    const int32_t columns = ColumnCount() - 1;
    return (cells + columns - 1) / columns + 1;
}

int32_t THexData::GetDataIndex(int32_t col, int32_t row) const {
    const int32_t k = (row - 1) * (ColumnCount() - 1) + (col - 1);
    return DataSize == TDataSize::dsByte ? k : 2 * k;
}

uint16_t THexData::CellValue(int32_t index) const {
    if (DataSize == TDataSize::dsByte) return GetAData(index);
    return static_cast<uint16_t>(GetAData(index) * 256 + GetAData(index + 1));
}

std::string THexData::CellText(int32_t col, int32_t row) const {
    char buf[32];
    if (col == 0 && row == 0) return "";
    if (col == 0) {
        std::snprintf(buf, sizeof buf, "%.6x",
                      static_cast<unsigned>(BegAddr + static_cast<uint32_t>(colCount_ * (row - 1))));
        return buf;
    }
    if (row == 0) {
        std::snprintf(buf, sizeof buf, "%.2x", static_cast<unsigned>(col - 1));
        return buf;
    }
    return FormatDataStr(CellValue(GetDataIndex(col, row)), ViewMode, DataSize);
}

void THexData::StoreEditText(int32_t col, int32_t row, const std::string& text) {
    if (text.empty()) return;
    const int32_t index = GetDataIndex(col, row);
    const bool word = DataSize == TDataSize::dsWord;
    uint32_t v = 0;
    switch (ViewMode) {
        case TViewMode::vmHEX: v = static_cast<uint32_t>(ParseInteger(text, 16)); break;
        case TViewMode::vmDEC: v = static_cast<uint32_t>(ParseInteger(text, 10)); break;
        case TViewMode::vmBIN:
            for (char c : text) {
                if (c == '0') v <<= 1;
                if (c == '1') v = (v << 1) + 1;
            }
            break;
        case TViewMode::vmASCII:
            if (word) {
                SetAData(index, static_cast<uint8_t>(text[0]));
                SetAData(index + 1, text.size() > 1 ? static_cast<uint8_t>(text[1]) : 32);
            } else {
                SetAData(index, static_cast<uint8_t>(text[0]));
            }
            return;
    }
    if (word) {
        v &= 0xFFFF;
        SetAData(index, static_cast<uint8_t>(v >> 8));
        SetAData(index + 1, static_cast<uint8_t>(v & 0xFF));
    } else {
        SetAData(index, static_cast<uint8_t>(v & 0xFF));
    }
}

uint8_t THexDataColor::GetErrorCell(int32_t index) const {
    if (!errors_ || index < 0 || index >= DataCount() || index >= errors_->Count) return 0;
    return errors_->Data[static_cast<size_t>(index)];
}

void THexDataColor::SetErrorCell(int32_t index, uint8_t flag) {
    if (!errors_) UpdateDataArrayColor(errors_, DataCount());
    if (index >= 0 && index < DataCount() && index < errors_->Count) errors_->Data[static_cast<size_t>(index)] = flag;
}

void THexDataColor::AssignDataBuf(PDataBuf buffer, PDataBuf errors) {
    errors_ = std::move(errors);
    THexData::AssignDataBuf(std::move(buffer));
}

int32_t THexDataColor::ErrorCellCount() const {
    if (!errors_) return 0;
    const int32_t n = std::min(DataCount(), errors_->Count);
    return static_cast<int32_t>(std::count_if(errors_->Data.begin(), errors_->Data.begin() + std::max(n, 0),
                                              [](uint8_t f) { return f != 0; }));
}

int32_t THexDataColor::NextErrorCell(int32_t from, bool forward) const {
    if (!errors_) return -1;
    const int32_t n = std::min(DataCount(), errors_->Count);
    if (n <= 0) return -1;
    // Start beside `from`, wrap once, and come back to `from` itself last.
    int32_t i = from < 0 || from >= n ? (forward ? -1 : n) : from;
    for (int32_t step = 0; step < n; ++step) {
        i = forward ? (i + 1) % n : (i - 1 + n) % n;
        if (errors_->Data[static_cast<size_t>(i)] != 0) return i;
    }
    return -1;
}

std::vector<PzuDifference_T> PzuDifferences(const THexData& file, const THexDataColor& marks) {
    std::vector<PzuDifference_T> out;
    for (int32_t i = marks.NextErrorCell(-1, true); i >= 0;) {
        out.push_back({i / 64, i, file.GetAData(i), marks.GetAData(i)});
        const int32_t next = marks.NextErrorCell(i, true);
        if (next <= i) break;
        i = next;
    }
    return out;
}

std::string PzuDifferencesCsv(const std::vector<PzuDifference_T>& list) {
    std::string out = "Страница;Адрес;Файл;ПЗУ\r\n";
    char line[48];
    for (const PzuDifference_T& d : list) {
        std::snprintf(line, sizeof line, "%d;%04X;%02X;%02X\r\n", d.page, static_cast<unsigned>(d.address), d.file,
                      d.chip);
        out += line;
    }
    return out;
}

int32_t ParseHexAddress(const std::string& text) {
    std::string t;
    for (char c : text)
        if (c != ' ' && c != '\t') t += c;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) t.pop_back();
    if (t.empty() || t.size() > 7) return -1;
    int32_t v = 0;
    for (char c : t) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}
