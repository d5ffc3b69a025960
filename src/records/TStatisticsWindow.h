#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "records/RunStatistics.h"

class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class TRecordsSource;

// A records store the window can read: the stand's file or the plant's database. It is opened
// afresh on the window's worker thread for every question, so that the window never waits for
// a disk or a server.
struct StatsSource_T {
    std::string caption;  // "Записи стенда", "База завода"
    std::function<std::unique_ptr<TRecordsSource>(std::string& error)> open;
};

// "Статистика испытаний": yield, the failure Pareto and one parameter's capability for the
// runs the filters take, as tables and plots, each table to CSV and the whole view to PDF.
class TStatisticsWindow : public QDialog {
    Q_OBJECT
public:
    explicit TStatisticsWindow(std::vector<StatsSource_T> sources, QWidget* parent = nullptr);
    ~TStatisticsWindow() override;  // waits for a question under way

    // Asks the records again with the filters as they stand ("Показать").
    void Refresh();
    bool Busy() const { return worker_.joinable(); }
    const Capability_T& CurrentCapability() const { return capability_; }

    QComboBox* cbSource;
    QDateEdit* edFrom;
    QDateEdit* edTo;
    QLineEdit* edKind;
    QLineEdit* edStand;
    QLineEdit* edVersion;
    QPushButton* btShow;
    QLabel* lbYield;
    QLabel* lbStatus;
    QTabWidget* Tabs;
    QTableWidget* tbYield;
    QTableWidget* tbParetoCheck;
    QTableWidget* tbParetoParameter;
    QComboBox* cbParetoBy;
    QChartView* chPareto;
    QComboBox* cbScript;
    QComboBox* cbParameter;
    QTableWidget* tbCapability;
    QChartView* chHistogram;
    QChartView* chRun;
    QPushButton* btCsvYield;
    QPushButton* btCsvParetoCheck;
    QPushButton* btCsvParetoParameter;
    QPushButton* btCsvCapability;
    QPushButton* btPdf;
    QPushButton* btClose;

private:
    // What a question asks, the broader first: everything, a script's parameters and the
    // capability, or the capability alone.
    enum class Ask { All = 0, Script = 1, Parameter = 2 };
    struct Answer;

    StatsFilter_T Filter() const;
    void Start(Ask what);
    void Apply(const std::shared_ptr<Answer>& a);
    void FillYield();
    void FillPareto();
    void DrawPareto();
    void FillCapability();
    void DrawHistogram();
    void DrawRunChart();
    void SaveCsv(const std::string& text, const std::string& name);
    void SavePdf();

    std::vector<StatsSource_T> sources_;
    std::thread worker_;
    std::optional<Ask> pending_;
    StatsFilter_T shown_;  // the filter of the figures on the screen
    YieldReport_T yield_;
    std::vector<ParetoLine_T> byCheck_, byParameter_;
    Capability_T capability_;
};
