#include "execution/StepInterpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

bool ParseNumber(const std::string& text, double& value) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    if (b == e) return false;
    const std::string t = text.substr(b, e - b);
    // Only plain decimal notation: no hexadecimal, exponents or words like "inf".
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && std::isfinite(value);
}

std::string TStepInterpreter::FormatMeasured(double v) {
    char buf[64];
    if (v >= 1 && v != std::trunc(v))
        std::snprintf(buf, sizeof buf, "%.2f", v);
    else
        std::snprintf(buf, sizeof buf, "%.0f", std::round(v));
    return buf;
}

TStepInterpreter::TStepInterpreter(TScript& script, TResultsTable& table, TStepHost& host)
    : script_(script), table_(table), host_(host) {}

std::string TStepInterpreter::Key(const char* key, const std::string& def) const {
    return script_.ReadString(step_, key, def);
}

int TStepInterpreter::IntKey(const char* key, int def) const { return script_.ReadInteger(step_, key, def); }

TStepInterpreter::Result_T TStepInterpreter::ExecuteStep(int mode) {
    Result_T result;
    // 1-2
    host_.LogLine("BuffPar[0]x: " + std::to_string(static_cast<long long>(buffPar_[0])));
    table_.GrowIfNeeded();
    // 3
    const std::string text = Key("Text");
    if (!text.empty()) {
        host_.ShowStatus(text);
        if (host_.ExchangeLogOn()) {
            const auto last = host_.LastLogLines(2);
            bool seen = false;
            for (const auto& l : last) seen = seen || l == text;
            if (!seen) host_.LogLine(text);
        }
    }
    // 4
    const int clickTimer = IntKey("ClickTimer", 0);
    if (clickTimer > 0) host_.SetAutopilotInterval(clickTimer);
    // 5
    repeatTarget_ = Key("Repeat");
    const std::string stimul = Key("Stimul");
    const int numFunction = IntKey("NumFunction", 0);
    (void)IntKey("ReadModuleInputs", -1);
    const int numCombin = IntKey("NumCombin", 0);
    const std::string messageText1 = Key("MessageText1");
    const int messageValue1 = IntKey("MessageValue1", 0);
    const std::string messageText2 = Key("MessageText2");
    const int messageValue2 = IntKey("MessageValue2", 0);
    const int action = IntKey("Action", 0);
    const int showMessage = IntKey("ShowMessage", 0);
    // 6-7
    if (numCombin >= 1 && numCombin <= 17 && action == 0) host_.SetCombination(numCombin, 150);
    if (action > 0 && !host_.ContactorActionRunning()) host_.StartContactorAction(action, 3000);
    // 8
    if (showMessage == 1)
        buffPar_[0] = static_cast<float>(host_.AskOperator(messageText1, messageText2) ? messageValue1 : messageValue2);
    // 9
    switch (numFunction) {
        case 1: host_.SendSetpointCommand(); break;
        case 2: {
            double s = 0;
            if (!ParseNumber(stimul, s) || static_cast<long long>(s) == 0) {
                result.outcome = Outcome::Error;
                result.error = "Шаг " + step_ + ": Stimul \"" + stimul +
                               "\" не является ненулевым числом (расчёт 2)";
                return result;
            }
            const long long st = static_cast<long long>(s);
            buffPar_[4] = (buffPar_[4] + buffPar_[5] + buffPar_[6]) / 3.0f;
            buffPar_[7] = (buffPar_[7] + buffPar_[8] + buffPar_[9]) / 3.0f;
            buffPar_[8] = static_cast<float>(st);
            k_ = (buffPar_[4] * 1.41 - 4) / static_cast<double>(st);
            break;
        }
        case 3: {
            const auto eb = host_.LastEbPayload();
            const int v = eb.size() > 10 ? 256 * eb[9] + eb[10] : 0;
            buffPar_[0] = static_cast<float>(v * 0.2);
            buffPar_[4] = static_cast<float>(k_ * buffPar_[0] * 0.001);
            break;
        }
        case 8:
            buffPar_[0] = static_cast<float>(calc8Counter_++);
            host_.LogLine("BuffPar[0].: " + std::to_string(static_cast<long long>(buffPar_[0])));
            break;
        case 10: buffPar_[99] = host_.InputNibble(); break;
        default: break;
    }
    // 10
    const std::string textProt = Key("TextProt");
    if (!textProt.empty()) {
        table_.SetRowText(table_.NextFreeRow(), textProt);
        table_.SetNextFreeRow(table_.NextFreeRow() + 1);
    }
    // 11
    const std::string picture = Key("ShowPicture");
    if (picture == "None") {
        host_.HidePicture();
    } else if (!picture.empty()) {
        const std::string path = pictureBase_ + "\\data" + picture;
        if (!host_.ShowPicture(path)) {
            result.outcome = Outcome::Error;
            result.error = "Не найден файл рисунка " + path;
            return result;
        }
    }
    // 12
    const int prOff = IntKey("PrOffTimer", 2);
    if (prOff == 0 || prOff == 1) rememberedPacing_ = prOff;
    pacing_ = host_.AutomatOff() ? 1 : rememberedPacing_;
    // 13
    storeEeprom_ = IntKey("Init", 1) != 0;
    // 14
    const int keyExit = IntKey("KeyExit", 2);
    if (keyExit == 0 || keyExit == 1) loopExit_ = keyExit;
    host_.SetAbortCaption(loopExit_ == 1 ? "Завершить цикл" : "Прекратить проверку?");
    // 15
    const bool control = IntKey("Control", 0) == 1;
    // 16
    stepRows_ = 0;
    for (int k = 1;; ++k) {
        const std::string line = Key(("Parameter" + std::to_string(k)).c_str());
        if (line.empty()) break;
        const auto f = ParseParameterLine(line);
        const int row = table_.NextFreeRow();
        int index = 0;
        const std::string idx = f[4];
        double parsed = 0;
        // An index that is not a whole number is kept as -1: judging reports it.
        index = ParseNumber(idx, parsed) && parsed == std::trunc(parsed) ? static_cast<int>(parsed) : -1;
        table_.SetBufferIndex(row, index);
        table_.WriteParameterRow(row, f[0] + "," + f[1] + "," + f[2] + "," + f[3], step_ + "/" + std::to_string(k));
        host_.ScrollToRow(row);
        table_.SetNextFreeRow(row + 1);
        table_.GrowIfNeeded();
        ++stepRows_;
    }
    if (stepRows_ > 0) host_.SetErrorButtonEnabled(stepRows_ == 1 && pacing_ == 1);
    if (table_.NextFreeRow() > 1) host_.PlaceTableCursor(table_.NextFreeRow() - 1);
    // 17
    stepFailures_ = 0;
    if (control && !Judge(mode, numFunction, result)) return result;
    if (control && table_.NextFreeRow() > 1) host_.PlaceTableCursor(table_.NextFreeRow() - 1);
    // 18
    ApplyRepetitionRule();
    // 19
    const std::string command = StepCommandText();
    host_.SendStepCommand(command, [this, numFunction](uint8_t& last) {
        switch (numFunction) {
            case 4: {
                const double v = last * scale_;
                last = static_cast<uint8_t>(v > 255 ? 255 : (v < 0 ? 0 : v));
                break;
            }
            case 5:
                ramp_ = std::min(ramp_ + 2, 80);
                last = static_cast<uint8_t>(ramp_);
                break;
            case 6: ramp_ = last; break;
            default: break;
        }
    });
    // 20
    host_.ApplyPacing(pacing_);
    result.outcome = stepEndedFailed_ ? Outcome::Failed : Outcome::Passed;
    return result;
}

bool TStepInterpreter::Judge(int mode, int numFunction, Result_T& result) {
    buffPar_[2004] = 0;
    const bool rewrite = !Key("ReWritePzu").empty();
    int lastMask = -1;
    long long orSum = 0;
    const int first = table_.NextFreeRow() - stepRows_;
    for (int k = 1; k <= stepRows_; ++k) {
        const int r = first + k - 1;
        const int index = table_.BufferIndex(r);
        double value = 0;
        if (index < 0 || index > kBuffParSize) {
            // The script names a value the buffer does not have: the row fails and says why.
            table_.SetCell(4, r, "");
            table_.SetCell(5, r, "ОШИБКА: индекс " + table_.Cell(0, r) + " вне 0..2005");
            ++stepFailures_;
            result.outcome = Outcome::Error;
            result.error = "Шаг " + step_ + ", строка " + std::to_string(k) +
                           ": номер параметра вне диапазона 0..2005";
            return false;
        }
        if (index >= 1) {
            if (rewrite) {
                for (int c = 1; c <= 3; ++c) table_.SetCell(c, r, expectedEeprom_);
                value = buffPar_[index - 1];
            } else {
                lastMask = IntKey(("Maska" + std::to_string(k)).c_str(), -1);
                value = buffPar_[index - 1];
                if (lastMask != -1) {
                    const long long iv = static_cast<long long>(value);
                    value = (iv & lastMask) == lastMask ? 1 : 0;
                }
                orSum |= static_cast<long long>(value);
            }
            table_.SetCell(4, r, FormatMeasured(value));
        } else if (mode != 0) {
            if (table_.Cell(4, r).empty()) table_.SetCell(4, r, table_.Cell(3, r));
            if (!ParseNumber(table_.Cell(4, r), value)) {
                result.outcome = Outcome::Error;
                result.error = "Шаг " + step_ + ", строка " + std::to_string(k) +
                               ": измеренное значение \"" + table_.Cell(4, r) + "\" не число";
                return false;
            }
        } else {
            table_.SetCell(4, r, "ОШИБКА");
            table_.SetCell(5, r, "-");
            ++stepFailures_;
            break;
        }
        double lo = 0, hi = 0;
        if (!ParseNumber(table_.Cell(1, r), lo) || !ParseNumber(table_.Cell(2, r), hi)) {
            result.outcome = Outcome::Error;
            result.error = "Шаг " + step_ + ", строка " + std::to_string(k) + ": границы \"" +
                           table_.Cell(1, r) + "\" и \"" + table_.Cell(2, r) + "\" должны быть числами";
            return false;
        }
        const bool pass = lo <= value && value <= hi;
        if (!pass) ++stepFailures_;
        if (lastMask == -1)
            table_.SetCell(5, r, pass ? "OK" : "ОШИБКА");
        else
            table_.SetCell(5, r, pass ? "OK." : "ОШИБКА.");
    }
    if (numFunction == 9) buffPar_[0] = static_cast<float>(orSum);
    return true;
}

void TStepInterpreter::ApplyRepetitionRule() {
    stepEndedFailed_ = false;
    const int f = stepFailures_;
    if (repeatTarget_.empty()) {
        stepEndedFailed_ = f > 0;
    } else {
        repeatBound_ = IntKey("MaxRepeat", 0);
        const int m = repeatBound_;
        if (m > 0 && f == 0) {
            repeatTarget_.clear();
            attempts_ = 0;
            calc8Counter_ = 0;
        }
        if (loopExit_ == 0 && f == 0) {
            repeatTarget_.clear();
            attempts_ = 0;
        }
        if (loopExit_ == 0 && f > 0 && m > 1) {
            ++attempts_;
            const bool more = attempts_ < m;
            table_.SetRowText(table_.NextFreeRow(),
                              "Время_ож,0," + std::to_string(m) + "," + std::to_string(m) + "," +
                                  std::to_string(attempts_) + (more ? ",OK,-" : ",-,-"));
            if (attempts_ >= m) {
                calc8Counter_ = 0;
                repeatTarget_.clear();
                stepEndedFailed_ = true;
                repeatBound_ = 0;
                attempts_ = 0;
            }
        }
    }
    if (stepEndedFailed_) ++failedSteps_;
}

std::string TStepInterpreter::StepCommandText() {
    std::string command = Key("Send");
    const std::string sendUst = Key("SendUst");
    if (command.empty() && sendUst.empty()) command = cmd::kState;
    const std::string pzuSection = Key("ReWritePzu");
    if (!pzuSection.empty()) {
        const int data = pzu_ ? pzu_->ReadInteger(pzuSection, "Data", 65535) : 65535;
        expectedEeprom_ = std::to_string(data);
        // Anything that is not one byte goes out as FF (a negative number would otherwise
        // add four bytes to the command).
        command += data > 255 || data < 0 ? " FF" : " " + HexParam(static_cast<unsigned>(data));
    }
    if (!sendUst.empty()) {
        const LocalDateTime_T t = clock_();
        command = std::string(cmd::kClockSetpointHead) + sendUst + " " + HexParam(t.hour & 0xFF) +
                  " " + HexParam(t.minute & 0xFF) + " " + HexParam(t.day & 0xFF) + " " +
                  HexParam(t.month & 0xFF) + " " + HexWord(static_cast<unsigned>(t.year)) +
                  Key("SendUst1");
    }
    return command;
}
