#include "execution/StatePages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <cstdio>

#include "execution/StateCaptions.h"
#include "execution/StatePlot.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

const char* ColourName(bool lit, bool converterColours) {
    if (converterColours) return lit ? "#c00000" : "#a0a0a0";
    return lit ? "#008000" : "#c00000";
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name, int width = 80) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(true);
    e->setMaximumWidth(width);
    return e;
}

// The 0x73 values on the converter page: buffer index and its label.
constexpr std::pair<int, const char*> kMeasurements73[] = {
    {4, "Обороты"},       {5, "Uвх A"},        {6, "Uвх B"},        {7, "Uвх C"},
    {8, "Uвых AB"},       {9, "Uвых BC"},      {10, "Uвых CA"},     {11, "Iвых A"},
    {12, "Iвых B"},       {13, "Iвых C"},      {14, "Байт 8"},      {15, "Байт 9"},
    {17, "U1 рег."},      {18, "U2 рег."},     {19, "I1 рег."},     {20, "I2 рег."},
    {21, "U2 / U1"},      {22, "I2 / I1"}};

}  // namespace

template <size_t N>
TStatePages::Group TStatePages::AddCaptions(QGridLayout* grid, int column, const std::string& page,
                                            const std::array<const char*, N>& texts) {
    Group g;
    // Each column fills from the top on its own.
    int start = 0;
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->itemAtPosition(r, column)) start = r + 1;
    for (size_t i = 0; i < N; ++i) {
        auto* l = new QLabel(U(texts[i]));
        l->setEnabled(false);
        grid->addWidget(l, start + static_cast<int>(i), column);
        g.labels.push_back(l);
        captions_.emplace(page + "|" + texts[i], l);
    }
    return g;
}

TStatePages::TStatePages(QWidget* parent) : QTabWidget(parent) {
    setObjectName("StatePages");

    // Converter state (0x73) with its measurements.
    auto* converter = new QWidget;
    auto* cg = new QGridLayout(converter);
    protections73_ = AddCaptions(cg, 0, "ПЧ", captions::kProtections73);
    warnings73_ = AddCaptions(cg, 0, "ПЧ", captions::kWarnings73);
    faults73_ = AddCaptions(cg, 0, "ПЧ", captions::kFaults73);
    modes73_ = AddCaptions(cg, 0, "ПЧ", captions::kModes73);
    int row = 0;
    for (const auto& [index, name] : kMeasurements73) {
        cg->addWidget(new QLabel(U(name)), row, 1);
        auto* value = new QLabel("0.00");
        value->setObjectName(QString("lbValue%1").arg(index));
        value->setMinimumWidth(70);
        cg->addWidget(value, row++, 2);
        measurements_[index] = value;
    }
    cg->setRowStretch(cg->rowCount(), 1);
    addTab(converter, U("Состояние ПЧ"));

    // Inverter protections (0xEB) and the converter's faults again.
    auto* inverter = new QWidget;
    auto* ig = new QGridLayout(inverter);
    protectionsEB_ = AddCaptions(ig, 0, "АИН", captions::kProtectionsEB);
    std::array<const char*, 1> voltage = {captions::kNotEnoughVoltage};
    voltageEB_ = AddCaptions(ig, 0, "АИН", voltage);
    faults73b_ = AddCaptions(ig, 1, "АИН", captions::kFaults73);
    ig->setRowStretch(ig->rowCount(), 1);
    addTab(inverter, U("Состояние АИН"));

    // Board state (0xEF), clock, versions and dates.
    auto* board = new QWidget;
    auto* bg = new QGridLayout(board);
    board0_ = AddCaptions(bg, 0, "Плата", captions::kBoard0);
    board1_ = AddCaptions(bg, 0, "Плата", captions::kBoard1);
    board3_ = AddCaptions(bg, 1, "Плата", captions::kBoard3);
    board4_ = AddCaptions(bg, 1, "Плата", captions::kBoard4);
    board5_ = AddCaptions(bg, 2, "Плата", captions::kBoard5);
    auto* fields = new QGroupBox(U("Паспорт платы"));
    auto* fg = new QGridLayout(fields);
    STVerCP = ReadOnlyField(fields, "STVerCP", 50);
    STVerKK = ReadOnlyField(fields, "STVerKK", 50);
    STVerRG = ReadOnlyField(fields, "STVerRG", 50);
    STVerIzm = ReadOnlyField(fields, "STVerIzm", 50);
    STvPzu = ReadOnlyField(fields, "STvPzu", 50);
    Edit3 = ReadOnlyField(fields, "Edit3");
    Edit1 = ReadOnlyField(fields, "Edit1", 100);
    StTime = ReadOnlyField(fields, "StTime");
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"Центральный", STVerCP}, {"Контроллер коммутатора", STVerKK}, {"Регулятор", STVerRG},
        {"Измеритель", STVerIzm}, {"Прошивка ПЗУ", STvPzu},           {"Логический номер", Edit3},
        {"Дата прошивки", Edit1}, {"Время прошивки", StTime}};
    int fr = 0;
    for (const auto& [label, field] : rows) {
        fg->addWidget(new QLabel(U(label)), fr, 0);
        fg->addWidget(field, fr++, 1);
    }
    lbClock = new QLabel;
    lbClock->setObjectName("lbClock");
    fg->addWidget(new QLabel(U("Часы станции")), fr, 0);
    fg->addWidget(lbClock, fr, 1);
    bg->addWidget(fields, 0, 3, bg->rowCount(), 1);
    bg->setRowStretch(bg->rowCount(), 1);
    addTab(board, U("Состояние платы ПУ-ПЧ"));

    // Switch controller (0xE9).
    auto* sw = new QWidget;
    auto* sg = new QGridLayout(sw);
    switch0_ = AddCaptions(sg, 0, "КК", captions::kSwitch0);
    switch1_ = AddCaptions(sg, 0, "КК", captions::kSwitch1);
    switch3_ = AddCaptions(sg, 1, "КК", captions::kSwitch3);
    lbSwitchCode = new QLabel("00");
    lbSwitchCode->setObjectName("lbSwitchCode");
    sg->addWidget(new QLabel(U("Байт 2")), 0, 2);
    sg->addWidget(lbSwitchCode, 0, 3);
    for (int i = 0; i < 3; ++i) {
        lbSwitchBits[i] = new QLabel(U("выкл"));
        lbSwitchBits[i]->setObjectName(QString("lbSwitchBit%1").arg(i));
        sg->addWidget(new QLabel(U("Байт 4, бит ") + QString::number(i)), i + 1, 2);
        sg->addWidget(lbSwitchBits[i], i + 1, 3);
    }
    sg->setRowStretch(sg->rowCount(), 1);
    addTab(sw, U("Контроллер коммутатора"));

    // EEPROM chip fields (0x1A).
    auto* eeprom = new QWidget;
    auto* eg = new QGridLayout(eeprom);
    for (int i = 0; i < 8; ++i) {
        eg->addWidget(new QLabel(U("ПЗУ") + QString::number(i)), i, 0);
        edEeprom[i] = ReadOnlyField(eeprom, "", 16777215);
        edEeprom[i]->setObjectName(QString("edPzu%1").arg(i));
        eg->addWidget(edEeprom[i], i, 1);
    }
    eg->addWidget(new QLabel(U("Другой адрес")), 8, 0);
    edEepromGeneral = ReadOnlyField(eeprom, "edPzuGeneral", 16777215);
    eg->addWidget(edEepromGeneral, 8, 1);
    eg->setRowStretch(eg->rowCount(), 1);
    addTab(eeprom, U("ПЗУ"));

    Plot = new TStatePlot;
    addTab(Plot, U("Графики"));
}

QLabel* TStatePages::Caption(const std::string& page, const std::string& text) const {
    const auto it = captions_.find(page + "|" + text);
    return it == captions_.end() ? nullptr : it->second;
}

void TStatePages::Light(const Group& g, uint8_t byte, bool converterColours, uint8_t invertedMask,
                        uint8_t swappedMask) {
    for (size_t i = 0; i < g.labels.size() && i < 8; ++i) {
        const bool set = (byte >> i) & 1;
        const bool lit = ((invertedMask >> i) & 1) ? !set : set;
        const bool paintLit = ((swappedMask >> i) & 1) ? !lit : lit;
        // A style sheet costs a re-polish: only a caption that changes gets a new one.
        const QString style = QString("color: ") + ColourName(paintLit, converterColours);
        if (g.labels[i]->isEnabled() != lit) g.labels[i]->setEnabled(lit);
        if (g.labels[i]->styleSheet() != style) g.labels[i]->setStyleSheet(style);
    }
}

void TStatePages::ShowAnswer(uint8_t code, const StationState_T& s, const float* buffPar) {
    auto at = [](const std::vector<uint8_t>& v, size_t i) -> uint8_t { return i < v.size() ? v[i] : 0; };
    switch (code) {
        case 0x73:
            Light(protections73_, at(s.state73, 11), true);
            Light(warnings73_, at(s.state73, 12), true);
            Light(faults73_, at(s.state73, 13), true);
            Light(faults73b_, at(s.state73, 13), true);
            Light(modes73_, at(s.state73, 10), true);
            for (const auto& [index, label] : measurements_) {
                char b[32];
                std::snprintf(b, sizeof b, "%.2f", static_cast<double>(buffPar[index]));
                label->setText(b);
            }
            Plot->AddState(buffPar);
            break;
        case 0xEB:
            Light(protectionsEB_, at(s.protections, 4), true);
            Light(voltageEB_, static_cast<uint8_t>(at(s.protections, 3) >> 5), true);
            break;
        case 0xEF:
            Light(board0_, at(s.board, 0), false);
            Light(board1_, at(s.board, 1), false);
            Light(board3_, at(s.board, 3), false);
            Light(board4_, at(s.board, 4), false, 0, 0xC0);
            Light(board5_, at(s.board, 5), false, 0x3F);
            lbClock->setText(QString::fromStdString(s.clockText));
            break;
        case 0xE9: {
            Light(switch0_, at(s.switchCtl, 0), false);
            Light(switch1_, at(s.switchCtl, 1), false);
            Light(switch3_, at(s.switchCtl, 3), false);
            char b[8];
            std::snprintf(b, sizeof b, "%02X", at(s.switchCtl, 2));
            lbSwitchCode->setText(b);
            for (int i = 0; i < 3; ++i)
                lbSwitchBits[i]->setText((at(s.switchCtl, 4) >> i) & 1 ? U("вкл") : U("выкл"));
            break;
        }
        case 0x1A:
            for (const auto& [chip, text] : s.eepromFields)
                if (chip >= 0 && chip < 8) edEeprom[chip]->setText(QString::fromStdString(text));
            edEepromGeneral->setText(QString::fromStdString(s.eepromGeneral));
            if (s.eepromVersion >= 0) STvPzu->setText(QString("%1").arg(s.eepromVersion, 2, 10, QChar('0')));
            break;
        default: break;
    }
}

void TStatePages::ShowPassport(const PassportCheck_T& c) {
    Edit3->setText(QString::number(c.logicalNumber));
    Edit3->setStyleSheet("color: teal");
    QLineEdit* fields[5] = {STVerCP, STVerKK, STVerRG, STVerIzm, STvPzu};
    for (int i = 0; i < 5; ++i) {
        if (i < 4 || c.current[i] >= 0)
            fields[i]->setText(i == 4 ? QString("%1").arg(c.current[i], 2, 10, QChar('0')) : QString::number(c.current[i]));
        switch (c.colours[i]) {
            case PassportCheck_T::FieldColour::Normal: fields[i]->setStyleSheet(""); break;
            case PassportCheck_T::FieldColour::Yellow: fields[i]->setStyleSheet("background: yellow"); break;
            case PassportCheck_T::FieldColour::Red: fields[i]->setStyleSheet("background: red"); break;
        }
    }
    Edit1->setText(QString::fromStdString(c.boardDate));
    StTime->setText(QString::fromStdString(c.firmwareTime));
}
