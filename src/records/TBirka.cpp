#include "records/TBirka.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

#include "execution/Globals.h"
#include "execution/ScriptFindingsWindow.h"
#include "platform/Termination.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Version.h"
#include "records/ProtocolHeader.h"
#include "records/ProtocolWriter.h"
#include "records/TfmMemo.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

constexpr const char* kDateFormat = "dd.MM.yyyy";

// The serial field takes only the characters a serial number may hold, typed or pasted.
class SerialValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (const char32_t c : input.toStdU32String())
            if (!SerialKeyAccepted(c)) return Invalid;
        return Acceptable;
    }
};

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

QStringList Items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

std::vector<std::string> ItemsStd(const QComboBox* box) {
    std::vector<std::string> out;
    for (const QString& s : Items(box)) out.push_back(S(s));
    return out;
}

}  // namespace

TBirka::TBirka(BirkaLinks_T links, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      links_(std::move(links)) {
    setObjectName("Birka");
    setWindowTitle(QString::fromUtf8("Бирка"));
    auto* header = new QLabel(QString::fromUtf8("Данные для протокола проверки"), this);
    QFont bold = header->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    header->setFont(bold);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(name);
        return w;
    };
    cbOperators = new QComboBox(this);
    cbOperators->setEditable(true);
    named(cbOperators, "cbOperators");
    edDataTime = new QLineEdit(this);
    named(edDataTime, "edDataTime");
    cbPowerStantion = new QComboBox(this);
    named(cbPowerStantion, "cbPowerStantion");
    chbAllScripts = new QCheckBox(QString::fromUtf8("Показывать только самые последние версиии"), this);
    named(chbAllScripts, "chbAllScripts");
    chbAllScripts->setChecked(true);
    memoScnDesc = new QPlainTextEdit(this);
    memoScnDesc->setReadOnly(true);
    memoScnDesc->setMaximumHeight(60);
    named(memoScnDesc, "memoScnDesc");
    meSerialNumber = new QLineEdit(this);
    meSerialNumber->setToolTip(QString::fromUtf8("Если номер не введен, то будет использован логический номер ПУ-ПЧ"));
    meSerialNumber->setValidator(new SerialValidator(meSerialNumber));
    named(meSerialNumber, "meSerialNumber");
    btLoadLastSerial = new QPushButton("R", this);
    named(btLoadLastSerial, "btLoadLastSerial");
    cbCause = new QComboBox(this);
    cbCause->setEditable(true);
    cbCause->addItems({QString::fromUtf8("Первичная"), QString::fromUtf8("Повторная"),
                       QString::fromUtf8("После ремонта")});
    named(cbCause, "cbCause");
    memoUserDesc = new QPlainTextEdit(this);
    memoUserDesc->setMaximumHeight(80);
    named(memoUserDesc, "memoUserDesc");
    btClearUserDesc = new QPushButton("X", this);
    named(btClearUserDesc, "btClearUserDesc");
    btDescLoad = new QPushButton("R", this);
    btDescLoad->setToolTip(QString::fromUtf8("Замечания предыдущей проверки"));
    named(btDescLoad, "btDescLoad");
    btOperatorsEdit = new QPushButton("...", this);
    named(btOperatorsEdit, "btOperatorsEdit");
    btCausesEdit = new QPushButton("...", this);
    named(btCausesEdit, "btCausesEdit");
    btBirkaOk = new QPushButton(QString::fromUtf8("Начало проверки"), this);
    named(btBirkaOk, "btBirkaOk");
    bbtExit = new QPushButton(QString::fromUtf8("Выход"), this);
    named(bbtExit, "bbtExit");
    Label1 = new QLabel(QString::fromUtf8("Заводской номер "), this);
    Label2 = new QLabel(QString::fromUtf8("Оператор "), this);
    Label3 = new QLabel(QString::fromUtf8("Дата проверки "), this);
    Label5 = new QLabel(QString::fromUtf8("Причина предъявления"), this);
    for (QPushButton* b : {btLoadLastSerial, btClearUserDesc, btDescLoad, btOperatorsEdit, btCausesEdit})
        b->setFixedWidth(32);

    auto* g = new QGridLayout;
    int row = 0;
    auto line = [&](QWidget* label, QWidget* field, QWidget* button = nullptr) {
        g->addWidget(label, row, 0);
        g->addWidget(field, row, 1);
        if (button) g->addWidget(button, row, 2);
        ++row;
    };
    line(Label2, cbOperators, btOperatorsEdit);
    line(Label3, edDataTime);
    line(new QLabel(QString::fromUtf8("Тип станции"), this), cbPowerStantion);
    g->addWidget(chbAllScripts, row++, 1);
    g->addWidget(memoScnDesc, row++, 1);
    line(Label1, meSerialNumber, btLoadLastSerial);
    line(Label5, cbCause, btCausesEdit);
    auto* remarksButtons = new QVBoxLayout;
    remarksButtons->addWidget(btClearUserDesc);
    remarksButtons->addWidget(btDescLoad);
    remarksButtons->addStretch();
    g->addWidget(new QLabel(QString::fromUtf8("Замечания оператора"), this), row, 0, Qt::AlignTop);
    g->addWidget(memoUserDesc, row, 1);
    g->addLayout(remarksButtons, row++, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btBirkaOk);
    buttons->addWidget(bbtExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addLayout(g);
    layout->addLayout(buttons);
    resize(560, 460);

    connect(cbPowerStantion, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int i) { cbPowerStantionChange(i); });
    connect(chbAllScripts, &QCheckBox::clicked, this, [this] { RebuildCatalogue(); });
    connect(btLoadLastSerial, &QPushButton::clicked, this, [this] { btLoadLastSerialClick(); });
    connect(btDescLoad, &QPushButton::clicked, this, [this] { btDescLoadClick(); });
    connect(btClearUserDesc, &QPushButton::clicked, this, [this] { btClearUserDescClick(); });
    connect(btOperatorsEdit, &QPushButton::clicked, this, [this] { btOperatorsEditClick(); });
    connect(btCausesEdit, &QPushButton::clicked, this, [this] { btCausesEditClick(); });
    connect(btBirkaOk, &QPushButton::clicked, this, [this] {
        if (btBirkaOkClick()) accept();
    });
    connect(bbtExit, &QPushButton::clicked, this, [this] { bbtExitClick(); });
    connect(&TimerSelectValid, &QTimer::timeout, this, [this] { TimerSelectValidTimer(); });
    connect(&TimerShutdown, &QTimer::timeout, this, [this] { TimerShutdownTimer(); });

    btBirkaOk->setEnabled(false);
    TimerSelectValid.setInterval(500);
    TimerSelectValid.start();
    cbOperators->setEditText(" ");
    memoUserDesc->clear();
}

bool TBirka::Execute(RunTag_T& tag) {
    FormShow();
    if (platform::ExecModal(*this) != QDialog::Accepted) return false;
    tag = handedOver_;
    return true;
}

void TBirka::FormShow() {
    data_.Date = S(QDate::currentDate().toString(kDateFormat));
    if (links_.disableSelection) links_.disableSelection();
    InitTag();
    meSerialNumber->setText(Q(data_.SerialNumber));
    cbOperators->setEditText(Q(data_.Operator));
    edDataTime->setText(Q(data_.Date));
    cbCause->setEditText(Q(data_.Cause));
    bbtExit->setEnabled(true);
    if (links_.memo)
        links_.memo->Position(x() + (width() - links_.memo->width()) / 2, y() + (height() - links_.memo->height()) / 2);
}

void TBirka::InitTag() {
    const Birka_T b = LoadBirka(WorkDir + "\\" + "./data/birka.ini");
    const std::string date = data_.Date;
    data_ = b.data;
    data_.Date = date;
    savedScriptIndex_ = b.savedScriptIndex;
    cbOperators->clear();
    for (const std::string& s : b.operators) cbOperators->addItem(Q(s));
    cbCause->clear();
    for (const std::string& s : b.causes) cbCause->addItem(Q(s));
    chbAllScripts->setChecked(data_.FiltredScripts);
    platform::SetCurrentDirectory(WorkDir);
    RebuildCatalogue();
    WorkDir = platform::CurrentDirectory();
}

void TBirka::RebuildCatalogue() {
    data_.FiltredScripts = chbAllScripts->isChecked();
    catalogue_ = BuildCatalogue("./scn/", "data\\tk.ini", data_.FiltredScripts);
    const QSignalBlocker quiet(cbPowerStantion);
    cbPowerStantion->clear();
    for (const script_cfg_T& e : catalogue_) cbPowerStantion->addItem(Q(CatalogueItemText(e)));
    scriptIndex_ = savedScriptIndex_ >= 0 && savedScriptIndex_ < static_cast<int>(catalogue_.size()) ? savedScriptIndex_ : -1;
    cbPowerStantion->setCurrentIndex(scriptIndex_);
    memoScnDesc->setPlainText(scriptIndex_ >= 0 ? Q(catalogue_[static_cast<size_t>(scriptIndex_)].desc) : QString());
}

void TBirka::cbPowerStantionChange(int index) {
    scriptIndex_ = index >= 0 && index < static_cast<int>(catalogue_.size()) ? index : -1;
    memoScnDesc->setPlainText(scriptIndex_ >= 0 ? Q(catalogue_[static_cast<size_t>(scriptIndex_)].desc) : QString());
}

void TBirka::TimerSelectValidTimer() {
    btBirkaOk->setEnabled(scriptIndex_ >= 0 && scriptIndex_ < static_cast<int>(catalogue_.size()));
}

void TBirka::btLoadLastSerialClick() { meSerialNumber->setText(Q(data_.LastSerialNumber)); }
void TBirka::btDescLoadClick() { memoUserDesc->setPlainText(Q(RemarksFromFile(data_.LastDesc))); }
void TBirka::btClearUserDescClick() { memoUserDesc->clear(); }

void TBirka::btOperatorsEditClick() {
    if (links_.memo) links_.memo->Open(cbOperators);
}

void TBirka::btCausesEditClick() {
    if (links_.memo) links_.memo->Open(cbCause);
}

std::string TBirka::ScriptFile() const {
    return scriptIndex_ >= 0 && scriptIndex_ < static_cast<int>(catalogue_.size())
               ? catalogue_[static_cast<size_t>(scriptIndex_)].file
               : std::string();
}

std::string TBirka::ProtocolFolder() const {
    if (scriptIndex_ < 0 || scriptIndex_ >= static_cast<int>(catalogue_.size())) return "";
    return ArchiveFolder(WorkDir, catalogue_[static_cast<size_t>(scriptIndex_)]);
}

std::string TBirka::ProtocolPath() const { return ProtocolFolder() + "\\" + "ProtTest.txt"; }

bool TBirka::btBirkaOkClick() {
    meSerialNumber->setText(meSerialNumber->text().trimmed());
    const int index = cbPowerStantion->currentIndex();
    scriptIndex_ = index >= 0 && index < static_cast<int>(catalogue_.size()) ? index : -1;
    // A script with errors is shown before anything of the run happens; "Отмена" leaves the tag open.
    if (scriptIndex_ >= 0) {
        const std::string& file = catalogue_[static_cast<size_t>(scriptIndex_)].file;
        if (!ConfirmScriptBeforeRun(platform::JoinPath(WorkDir, file), platform::NormalizePath(file),
                                    platform::JoinPath(WorkDir, "data"), this))
            return false;
    }
    data_.SerialNumber = S(meSerialNumber->text());
    data_.Operator = TrimRight(S(cbOperators->currentText()));
    data_.Cause = TrimRight(S(cbCause->currentText()));
    data_.Desc = RemarksToFile(S(memoUserDesc->toPlainText()));
    SaveBirka("./data/birka.ini", data_, scriptIndex_, ItemsStd(cbOperators), ItemsStd(cbCause));
    if (scriptIndex_ < 0) return false;  // nothing to run; the button is off in this state
    if (links_.loadCombination) links_.loadCombination(3, 0);
    IsMaster = true;
    if (links_.disableSelection) links_.disableSelection();
    const QString dateText = edDataTime->text().trimmed();
    if (!QDate::fromString(dateText, kDateFormat).isValid() &&
        !QDateTime::fromString(dateText, "dd.MM.yyyy hh:mm:ss").isValid() &&
        !QDateTime::fromString(dateText, "dd.MM.yyyy hh:mm").isValid()) {
        // The run cannot go on without a date: the dialog stays open with the reason.
        platform::Dialogs::Current().Show("«" + S(dateText) + "» не является датой. Введите дату в виде ДД.ММ.ГГГГ.",
                                          "Бирка", platform::DialogIcon::Error);
        return false;
    }
    if (links_.showSerial) links_.showSerial(data_.SerialNumber);

    const script_cfg_T& entry = catalogue_[static_cast<size_t>(scriptIndex_)];
    if (links_.protocol) {
        const std::string path = ProtocolPath();
        if (!links_.protocol->Open(path)) {
            platform::Dialogs::Current().Show(links_.protocol->Error(), "Бирка", platform::DialogIcon::Error);
        } else {
            if (links_.showTestVersion) links_.showTestVersion("Версия тестов: " + entry.version);
            ProtocolHeader_T h;
            h.tag = data_;
            for (const QString& l : TfmMemo::MemoLines(memoUserDesc->toPlainText())) h.remarksLines.push_back(S(l));
            h.script = entry;
            h.programVersion = platform::VersionText();
            WriteProtocolHeader(*links_.protocol, h);
        }
    }
    handedOver_ = RunTag_T{};
    handedOver_.scriptPath = entry.file;
    handedOver_.deviceName = entry.device;
    handedOver_.serialNumber = data_.SerialNumber;
    handedOver_.kUin = static_cast<double>(entry.K_U_IN * entry.TK_U_IN);
    handedOver_.kIout = static_cast<double>(entry.K_I_OUT * entry.TK_I_OUT);
    handedOver_.kUout = static_cast<double>(entry.K_U_OUT * entry.TK_U_OUT);
    handedOver_.expectedVersions = {entry.vCP, entry.vKK, entry.vRG, entry.vIzm, entry.vPzu};
    RunStart_T& r = handedOver_.record;
    r.device = entry.device;
    r.serial = data_.SerialNumber;
    r.operatorName = data_.Operator;
    r.cause = data_.Cause;
    for (const QString& l : TfmMemo::MemoLines(memoUserDesc->toPlainText()))
        r.remarks += (r.remarks.empty() ? "" : "\n") + S(l);
    r.script = entry.file;
    r.scriptPath = platform::JoinPath(WorkDir, entry.file);
    r.scriptVersion = entry.version;
    return true;
}

void TBirka::bbtExitClick() {
    btBirkaOk->setEnabled(false);
    bbtExit->setEnabled(false);
    TimerSelectValid.stop();
    shutdownTick_ = 0;
    TimerShutdown.start(3000);
    platform::Dialogs::Current().Show("Через 5 секунд стенд и программа будут выключены", "Бирка");
}

void TBirka::TimerShutdownTimer() {
    if (++shutdownTick_ == 1) {
        if (links_.stopContactorTimers) links_.stopContactorTimers();
        if (links_.loadCombination) links_.loadCombination(1, 150);
        return;
    }
    TimerShutdown.stop();
    platform::RequestTermination();
    QDialog::reject();
}
