#include "app/StandRecords.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>

#include <unistd.h>

#include <filesystem>

#include "app/ProgramSettings.h"
#include "execution/TFPrPch.h"
#include "platform/Paths.h"
#include "platform/Version.h"
#include "records/PgForwarder.h"
#include "records/PgRecords.h"
#include "records/RunStore.h"
#include "records/TStatisticsWindow.h"
#include "records/RunStoreWriter.h"

namespace {

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "stand";
    return name;
}

}  // namespace

std::string RecordsFilePath(const ProgramSettings_T& settings, const std::string& workDir) {
    std::string path = platform::NormalizePath(settings.recordsDatabase);
    if (!path.empty() && path[0] != '/') path = platform::JoinPath(workDir, path);
    return path;
}

void ShowStatisticsWindow(QWidget* parent, const std::string& workDir, bool modal) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<TStatisticsWindow*>(w); open && open->isVisible() && !modal) {
            open->raise();
            open->activateWindow();
            return;
        }
    platform::IniFile ini;
    ini.Load(ProgramSettingsPath(workDir));
    const ProgramSettings_T settings = ReadProgramSettings(ini);
    std::vector<StatsSource_T> sources;
    const std::string path = RecordsFilePath(settings, workDir);
    sources.push_back({"Записи стенда", [path](std::string& error) -> std::unique_ptr<TRecordsSource> {
                           if (!std::filesystem::exists(path)) {
                               error = "Файла записей испытаний " + path + " нет: на этом стенде еще не было испытаний.";
                               return nullptr;
                           }
                           auto store = std::make_unique<TRunStore>();
                           if (!store->Open(path, error, true)) return nullptr;
                           return store;
                       }});
    if (!settings.recordsPostgres.empty()) {
        const std::string conninfo = settings.recordsPostgres;
        sources.push_back({"База завода", [conninfo](std::string& error) -> std::unique_ptr<TRecordsSource> {
                               auto plant = std::make_unique<TPgRecords>();
                               if (!plant->Open(conninfo, error)) return nullptr;
                               return plant;
                           }});
    }
    auto* window = new TStatisticsWindow(std::move(sources), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (modal) {
        window->setWindowModality(Qt::ApplicationModal);
        window->exec();
    } else {
        window->show();
    }
}

TStandRecords::TStandRecords(TFPrPch& window, const ProgramSettings_T& settings, const std::string& workDir)
    : window_(window), writer_(std::make_unique<TRunStoreWriter>()) {
    const std::string path = RecordsFilePath(settings, workDir);
    platform::MakeDirectories(platform::ParentDirectory(path));
    TRunRecorder& recorder = window_.Recorder();
    recorder.SetStand(settings.standName.empty() ? HostName() : settings.standName, platform::VersionText());
    if (!writer_->Open(path, startProblem_)) {
        window_.ShowRecordsProblem(startProblem_);
        return;
    }
    // Failures of the writer's thread reach the window on its own thread.
    QPointer<TFPrPch> target(&window_);
    writer_->SetErrorHandler([target](const std::string& message) {
        QMetaObject::invokeMethod(
            target.data(), [target, message] {
                if (target) target->ShowRecordsProblem(message);
            },
            Qt::QueuedConnection);
    });
    recorder.SetSink(writer_.get());
    if (settings.recordsPostgres.empty()) return;
    forwarder_ = std::make_unique<TPgForwarder>(path, settings.recordsPostgres, recorder.Session());
    forwarder_->SetPendingHandler([target](int runs) {
        QMetaObject::invokeMethod(
            target.data(), [target, runs] {
                if (target) target->ShowRecordsPending(runs);
            },
            Qt::QueuedConnection);
    });
    TPgForwarder* forwarder = forwarder_.get();
    writer_->SetCommitted([forwarder] { forwarder->Wake(); });
    forwarder_->Start();
}

TStandRecords::~TStandRecords() {
    // The window may outlive this object by a moment: it must not reach a store that is gone.
    window_.Recorder().SetSink(nullptr);
    writer_->SetErrorHandler({});
    writer_->Flush();
    writer_->SetCommitted({});
    if (forwarder_) forwarder_->SetPendingHandler({});
    forwarder_.reset();
}

bool TStandRecords::Active() const { return writer_->IsOpen(); }
