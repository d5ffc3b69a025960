#pragma once

#include <memory>
#include <string>

class QWidget;
class TFPrPch;
class TRunStoreWriter;
class TPgForwarder;
struct ProgramSettings_T;

// The records file the settings name, relative paths taken from the working folder.
std::string RecordsFilePath(const ProgramSettings_T& settings, const std::string& workDir);

// "Статистика испытаний" over the stand's records file and, when the settings name it, the
// plant's database. Modal over the start window; beside the test window otherwise, one at a time.
void ShowStatisticsWindow(QWidget* parent, const std::string& workDir, bool modal);

// The stand's run records for the program's lifetime: the SQLite file named in the settings,
// fed by the test window's recorder, and, when the settings name the plant's database, the
// forwarder that empties it there. A file that cannot be used is reported once; the runs
// and their protocols go on without it.
class TStandRecords {
public:
    TStandRecords(TFPrPch& window, const ProgramSettings_T& settings, const std::string& workDir);
    ~TStandRecords();  // writes what is queued

    bool Active() const;
    // The problem found at the start, empty when the file is in use.
    const std::string& StartProblem() const { return startProblem_; }

private:
    TFPrPch& window_;
    std::unique_ptr<TRunStoreWriter> writer_;
    std::unique_ptr<TPgForwarder> forwarder_;
    std::string startProblem_;
};
