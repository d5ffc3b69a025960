#include "execution/StandIo.h"

#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"

std::vector<TCombination::Pair> TCombination::Pairs(int number) {
    switch (number) {
        case 1: return {{9, 0}, {1, 0}, {11, 0}, {10, 0}, {12, 0}, {2, 0}, {8, 0}, {7, 0},
                        {6, 0}, {5, 0}, {4, 0}, {3, 0}, {13, 0}, {14, 0}, {15, 0}};
        case 2: return {{11, 0}, {10, 0}, {12, 0}, {2, 0}, {9, 0}, {8, 0}, {7, 0},
                        {6, 0}, {5, 0}, {4, 0}, {3, 0}, {13, 0}, {14, 0}, {15, 0}};
        case 3: return {{11, 0}, {10, 0}, {12, 0}, {2, 0}, {9, 0}, {8, 0}, {7, 0}, {4, 0},
                        {3, 0}, {6, 0}, {5, 0}, {1, 1}, {13, 0}, {14, 0}, {15, 0}};
        case 4: return {{1, 0}, {11, 0}, {10, 0}, {12, 0}, {2, 0}, {8, 0}, {7, 0}, {9, 1}};
        case 6: return {{11, 0}, {10, 0}, {12, 0}, {2, 0}, {8, 0}, {7, 0}, {4, 0}, {3, 0}};
        case 7: return {{1, 0}, {9, 0}, {12, 0}, {11, 0}, {10, 0}, {8, 0},
                        {7, 0}, {4, 0}, {3, 0}, {2, 0}, {5, 1}, {6, 1}};
        case 8: return {{1, 0}, {9, 0}, {12, 0}, {11, 0}, {10, 0}, {8, 0},
                        {7, 0}, {5, 0}, {4, 0}, {2, 0}, {3, 1}, {6, 0}};
        case 9: return {{1, 0}, {9, 0}, {12, 0}, {11, 0}, {10, 0}, {8, 0},
                        {7, 0}, {5, 0}, {3, 0}, {2, 0}, {4, 1}, {6, 0}};
        case 10: return {{12, 0}, {2, 1}};
        case 11: return {{2, 0}, {12, 1}};
        case 12: return {{11, 1}};
        case 13: return {{10, 1}};
        case 14: return {{8, 1}};
        case 15: return {{11, 0}, {10, 0}, {12, 0}, {2, 0}, {3, 0}, {4, 0}, {8, 0}, {7, 1}};
        case 16: return {{11, 0}, {10, 0}, {12, 0}, {2, 0}, {3, 0}, {4, 0}, {8, 0}, {7, 1}, {6, 0}};
        case 17: return {{14, 1}};
        default: return {};
    }
}

void TCombination::Set(int number) {
    number_ = number;
    pairs_ = Pairs(number);
    cursor_ = 0;
}

void TCombination::Append(int number) {
    pairs_.erase(pairs_.begin(), pairs_.begin() + static_cast<std::ptrdiff_t>(cursor_));
    cursor_ = 0;
    const std::vector<Pair> more = Pairs(number);
    pairs_.insert(pairs_.end(), more.begin(), more.end());
    number_ = number;
}

bool TCombination::Next(Pair& pair) {
    if (cursor_ >= pairs_.size()) return false;
    pair = pairs_[cursor_++];
    return true;
}

std::optional<std::vector<uint8_t>> TStandIo::SwitchContactor(int k, int state) {
    if (k < 1 || k > 15) return std::nullopt;
    const int m = (k - 1) / 5 + 1;
    const uint16_t bit = static_cast<uint16_t>(1u << ((k - 1) % 5));
    uint16_t& mask = masks_[m - 1];
    if (state)
        mask = static_cast<uint16_t>(mask | bit);
    else
        mask = static_cast<uint16_t>(mask & ~bit);
    // A module that has not answered gets the change with the next command sent to it.
    if (!answered_) return std::nullopt;
    const std::string text = "@0" + std::to_string(m) + HexParam(mask) + "\r";
    std::vector<uint8_t> cmd(text.begin(), text.end());
    answered_ = false;
    return cmd;
}

void TStandIo::OnReply(const uint8_t* data, size_t size) {
    answered_ = true;
    if (size >= 6 && data[0] == '>') {
        digit_ = static_cast<uint8_t>(data[2] - '0');
        const int v = HexDigitValue(static_cast<char>(data[4]));
        nibble_ = static_cast<uint8_t>((v < 0 ? 15 : v) ^ 15);
    }
}

std::string TStandIo::LogOut(const std::vector<uint8_t>& command) { return "ICP:" + BytesToHex(command, " "); }

std::string TStandIo::LogIn(const uint8_t* data, size_t size) {
    return "ICP in: " + BytesToHex(data, size, " ");
}

const char* TContactorAction::StatusText(int action) {
    switch (action) {
        case 1: return "Выключение всех контакторов";
        case 2: return "Коммутация нормального напр. пит. станции при маломощ. нагр.";
        case 3: return "Коммутация повышенного напр. пит. станции при маломощ. нагр.";
        case 4: return "Коммутация пониженного напр. пит. станции при маломощ. нагр.";
        default: return nullptr;
    }
}

TContactorAction::Tick_T TContactorAction::OnTick(int action) {
    Tick_T t;
    if (action < 1 || action > 4) {
        stage_ = 0;
        t.finished = true;
        return t;
    }
    static constexpr int kSecond[] = {0, 3, 7, 8, 9};
    switch (stage_) {
        case 0:
            t.setAutomatOff = true;
            t.combination = 1;
            stage_ = 1;
            break;
        case 1:
            t.combination = kSecond[action];
            stage_ = 2;
            break;
        case 2:
            if (action != 1) t.combination = 4;
            stage_ = 3;
            break;
        case 3:
            t.stationCommands = 2;
            stage_ = 4;
            break;
        default:
            stage_ = 0;
            t.finished = true;
            break;
    }
    return t;
}
