#pragma once

#include <QTabWidget>
#include <map>
#include <string>
#include <vector>

#include "execution/AnswerDecoder.h"
#include "execution/PassportCheck.h"

class QLabel;
class QLineEdit;
class QGridLayout;
class TStatePlot;

// The internal state pages of the test window: the converter, the inverter, the board, the
// switch controller and the EEPROM, each lit from the station's answers.
class TStatePages : public QTabWidget {
    Q_OBJECT
public:
    explicit TStatePages(QWidget* parent = nullptr);

    // One decoded answer: the captions and fields of its code.
    void ShowAnswer(uint8_t code, const StationState_T& state, const float* buffPar);
    // The passport check's fields: logical number, versions with their colours, date and time.
    void ShowPassport(const PassportCheck_T& check);

    // A caption by its text as the station's description names it (the first page it is on).
    QLabel* Caption(const std::string& page, const std::string& text) const;
    QLabel* Measurement(int buffParIndex) const { return measurements_.at(buffParIndex); }

    QLineEdit* STVerCP;
    QLineEdit* STVerKK;
    QLineEdit* STVerRG;
    QLineEdit* STVerIzm;
    QLineEdit* STvPzu;
    QLineEdit* Edit3;   // logical number
    QLineEdit* Edit1;   // board date
    QLineEdit* StTime;  // firmware time
    QLabel* lbClock;    // station clock from the board state
    QLabel* lbSwitchCode;
    std::array<QLabel*, 3> lbSwitchBits{};
    std::array<QLineEdit*, 8> edEeprom{};
    QLineEdit* edEepromGeneral;
    TStatePlot* Plot;  // "Графики"

private:
    struct Group {
        std::vector<QLabel*> labels;
    };
    template <size_t N>
    Group AddCaptions(QGridLayout* grid, int column, const std::string& page,
                      const std::array<const char*, N>& texts);
    void Light(const Group& g, uint8_t byte, bool converterColours, uint8_t invertedMask = 0,
               uint8_t swappedMask = 0);

    std::map<std::string, QLabel*> captions_;
    std::map<int, QLabel*> measurements_;
    Group protections73_, warnings73_, faults73_, faults73b_, modes73_;
    Group board0_, board1_, board3_, board4_, board5_;
    Group switch0_, switch1_, switch3_;
    Group protectionsEB_, voltageEB_;
};
