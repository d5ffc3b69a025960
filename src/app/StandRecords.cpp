#include "app/StandRecords.h"

#include <QMetaObject>
#include <QPointer>

#include <unistd.h>

#include "app/ProgramSettings.h"
#include "execution/TFPrPch.h"
#include "platform/Paths.h"
#include "platform/Version.h"
#include "records/PgForwarder.h"
#include "records/RunStoreWriter.h"

namespace {

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "stand";
    return name;
}

}  // namespace

TStandRecords::TStandRecords(TFPrPch& window, const ProgramSettings_T& settings, const std::string& workDir)
    : window_(window), writer_(std::make_unique<TRunStoreWriter>()) {
    std::string path = platform::NormalizePath(settings.recordsDatabase);
    if (!path.empty() && path[0] != '/') path = platform::JoinPath(workDir, path);
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
