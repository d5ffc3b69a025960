#include "app/TStartWindow.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "execution/Globals.h"
#include "platform/Termination.h"
#include "link/ChannelWindow.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/TProt.h"

TStartWindow::TStartWindow(StartWindowLinks_T links, QWidget* parent)
    : QDialog(parent), links_(std::move(links)), ini_(std::make_unique<platform::IniFile>()) {
    setObjectName("StartWindow");
    setWindowTitle(QString::fromUtf8("Проверка станции"));

    Header = new QLabel(QString::fromUtf8(" Проверка станции управления ВД"), this);
    QFont f = Header->font();
    f.setPointSize(14);
    f.setBold(true);
    Header->setFont(f);
    RadioGroup1 = new QGroupBox(this);
    RadioGroup1->setObjectName("RadioGroup1");
    auto* radios = new QVBoxLayout(RadioGroup1);
    auto* group = new QButtonGroup(this);
    for (size_t i = 0; i < kDeviceKinds.size(); ++i) {
        RadioItems[i] = new QRadioButton(QString::fromUtf8(kDeviceKinds[i].caption), RadioGroup1);
        radios->addWidget(RadioItems[i]);
        group->addButton(RadioItems[i], static_cast<int>(i));
    }
    RadioGroup1->hide();  // the kind comes from the settings file, not from the operator
    BitBtn1 = new QPushButton(QString::fromUtf8("Проверка станции"), this);
    BitBtn1->setObjectName("BitBtn1");
    btOpenProt = new QPushButton(QString::fromUtf8("Открыть архив протоколов"), this);
    btOpenProt->setObjectName("btOpenProt");
    btStatistics = new QPushButton(QString::fromUtf8("Статистика испытаний"), this);
    btStatistics->setObjectName("btStatistics");
    BitBtn2 = new QPushButton(QString::fromUtf8("Выход"), this);
    BitBtn2->setObjectName("BitBtn2");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Header);
    layout->addWidget(RadioGroup1);
    layout->addWidget(BitBtn1);
    auto* archive = new QHBoxLayout;
    archive->addWidget(btOpenProt, 1);
    archive->addWidget(btStatistics);
    layout->addLayout(archive);
    layout->addWidget(BitBtn2);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(group, &QButtonGroup::idClicked, this, [this](int) { BitBtn1Click(); });
    connect(btOpenProt, &QPushButton::clicked, this, [this] { btOpenProtClick(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(btStatistics, &QPushButton::clicked, this, [this] { btStatisticsClick(); });
    // The keys keep their way through the window: "Выход" stays two tabs from "Проверка станции".
    setTabOrder(BitBtn1, btOpenProt);
    setTabOrder(btOpenProt, BitBtn2);
    setTabOrder(BitBtn2, btStatistics);

    // Creation reads the settings; nothing is shown yet.
    ini_->Load(platform::JoinPath(platform::CurrentDirectory(), "data\\nastr.ini"));
    settings_ = ReadProgramSettings(*ini_);

    PortFlags_T ports;
    auto* c1 = links_.stationChannel;
    auto* c2 = links_.standChannel;
    if (c1) ports.stationPort = c1->PortName(), ports.stationRts = c1->RtsFlag();
    if (c2) ports.standPort = c2->PortName(), ports.standRts = c2->RtsFlag();
    resolution_ = ResolveStart(settings_, ports);

    for (size_t i = 0; i < RadioItems.size(); ++i) RadioItems[i]->setEnabled(resolution_.radioEnabled[i]);
    RadioItems[resolution_.radioIndex]->setChecked(true);

    StartGlobals_T& g = Globals();
    g.TypeDevice = resolution_.typeDevice;
    g.NPacket = resolution_.nPacket;
    g.Packet = resolution_.packet;
    g.StationMode = resolution_.stationMode;
    g.ConstructionOld = resolution_.constructionOld;
    if (resolution_.versionsRead) {
        g.vCP = resolution_.vCP, g.vKK = resolution_.vKK, g.vRG = resolution_.vRG;
        g.vIzm = resolution_.vIzm, g.vPzu = resolution_.vPzu;
    }
    if (resolution_.portsRead) {
        if (c1) c1->SetPortName(ports.stationPort), c1->SetRtsFlag(ports.stationRts);
        if (c2) c2->SetPortName(ports.standPort), c2->SetRtsFlag(ports.standRts);
        if (links_.setTestWindowFlags) links_.setTestWindowFlags(ports.echo, ports.monitor);
    }
    if (resolution_.terminate) {
        platform::Dialogs::Current().Show(kUnavailableMessage, "Проверка станции",
                                          platform::DialogIcon::Warning);
        platform::RequestTermination();
    }
}

int TStartWindow::RadioIndex() const {
    for (size_t i = 0; i < RadioItems.size(); ++i)
        if (RadioItems[i]->isChecked()) return static_cast<int>(i);
    return 2;
}

void TStartWindow::BitBtn1Click() {
    const StationCheck_T c = PressStationCheck(settings_, RadioIndex());
    StartGlobals_T& g = Globals();
    g.StationMode = c.stationMode;
    g.Packet = c.packet;
    g.NPacket = c.nPacket;
    g.TypeDevice = c.typeDevice;
    done(mrOk);
}

void TStartWindow::btOpenProtClick() {
    if (!links_.viewer) return;
    TProt& v = *links_.viewer;
    v.Reset();
    v.Temporary = false;
    v.ProtMask = "*.*";
    v.ProtDir = WorkDir + "\\" + "prot";
    v.AskFile = true;
    v.Temporary = false;
    v.ShowModal();
}
