#pragma once

#include <string>

#include "records/RunStore.h"

struct pg_conn;

// The plant's database read as the stand's file is read: the same listings from the runs that
// the stands forwarded. Times come in the session's time zone (the server's, or PGTZ).
class TPgRecords : public TRecordsSource {
public:
    TPgRecords() = default;
    TPgRecords(const TPgRecords&) = delete;
    TPgRecords& operator=(const TPgRecords&) = delete;
    ~TPgRecords() override;

    // `conninfo` is a libpq connection string; a password in it never reaches a message.
    bool Open(const std::string& conninfo, std::string& error);

    std::vector<RunSummary_T> LastRuns(int count, std::string& error) override;
    std::vector<RunSummary_T> SerialHistory(const std::string& serial, std::string& error) override;
    std::optional<RunRecord_T> LoadRun(const std::string& idOrPrefix, std::string& error) override;
    std::vector<EepromSessionRecord_T> EepromSessions(const std::string& runId, std::string& error) override;
    std::vector<MeasurementExport_T> Measurements(const std::string& from, const std::string& to,
                                                  std::string& error) override;

    YieldReport_T Yield(const StatsFilter_T& filter, std::string& error) override;
    std::vector<ParetoLine_T> ParetoByCheck(const StatsFilter_T& filter, std::string& error) override;
    std::vector<ParetoLine_T> ParetoByParameter(const StatsFilter_T& filter, std::string& error) override;
    Capability_T Capability(const StatsFilter_T& filter, const std::string& script, const std::string& parameter,
                            std::string& error, size_t maxPoints = 4000) override;
    std::vector<std::string> StatsScripts(const StatsFilter_T& filter, std::string& error) override;
    std::vector<std::string> StatsParameters(const StatsFilter_T& filter, const std::string& script,
                                             std::string& error) override;

private:
    pg_conn* conn_ = nullptr;
    pg_conn* rowsConn_ = nullptr;  // a second reader beside conn_, opened when first needed
    std::string conninfo_;
};
