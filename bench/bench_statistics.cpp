// The statistics window on a generated plant's file: how long "Показать" takes to fill the
// tables and plots, and how long the window's own thread is ever kept from its events meanwhile.
// With --screenshots DIR it saves a picture of each page.
//   bench_statistics [--runs N] [--screenshots DIR]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QDateEdit>
#include <QComboBox>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "platform/Dialogs.h"
#include "records/RunStore.h"
#include "records/TStatisticsWindow.h"

namespace {

// The save dialog answered with one file name, for the PDF of the view.
class SaveTo : public platform::Dialogs {
public:
    explicit SaveTo(std::string path) : path_(std::move(path)) {}
    platform::DialogResult Ask(const std::string&, const std::string&, platform::DialogButtons,
                               platform::DialogIcon) override {
        return platform::DialogResult::Ok;
    }
    std::string OpenFileName(const platform::FileDialogRequest&) override { return {}; }
    std::string SaveFileName(const platform::FileDialogRequest&) override { return path_; }
    bool Print(const platform::PrintRequest&) override { return false; }

private:
    std::string path_;
};

// A year of a plant's two stands: four checks, a slow drift of the supply voltage towards its
// upper limit, and the insulation check failing most.
std::string MakeYear(const std::string& path, int count) {
    TRunStore store;
    std::string error;
    if (!store.Open(path, error)) return error;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 1);
    struct Param {
        const char* name;
        double low, high, centre, spread, drift;
    };
    const std::vector<std::pair<const char*, std::vector<Param>>> checks = {
        {"Изоляция", {{"Rиз", 20, 500, 140, 55, 0}}},
        {"Напряжение питания", {{"Uab", 360, 400, 380, 4, 8}, {"Ubc", 360, 400, 380, 4, 0}, {"Uca", 360, 400, 381, 4, 0}}},
        {"Ток нагрузки", {{"Ia", 9, 11, 10, 0.25, 0}, {"Ib", 9, 11, 10, 0.3, 0}}},
        {"Защита", {{"Tсраб", 0.1, 0.5, 0.3, 0.05, 0}}},
    };
    std::vector<RunRecord_T> batch;
    for (int i = 0; i < count; ++i) {
        RunRecord_T r;
        r.id = NewUuid();
        r.stand = i % 3 ? "Стенд 1" : "Стенд 2";
        r.deviceKind = "Станция";
        r.serial = "S" + std::to_string(i % 17 == 16 ? i - 1 : i);
        r.script = "./scn/stanciya.ini";
        r.scriptVersion = "v1";
        const double year = static_cast<double>(i) / count;
        const long minute = static_cast<long>(year * 365 * 24 * 60);
        static const int kMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        long d = minute / (24 * 60);
        int month = 0;
        while (d >= kMonth[month]) d -= kMonth[month++];
        char when[64];
        std::snprintf(when, sizeof when, "2026-%02d-%02ldT%02ld:%02ld:00.000+03:00", month + 1, d + 1, minute / 60 % 24,
                      minute % 60);
        r.startedAt = r.endedAt = when;
        bool runFailed = false;
        for (size_t c = 0; c < checks.size(); ++c) {
            CheckRecord_T k;
            k.position = k.number = static_cast<int>(c) + 1;
            k.title = checks[c].first;
            bool failed = false;
            int row = 1;
            for (const Param& p : checks[c].second) {
                MeasurementRecord_T m;
                m.row = row++;
                m.parameter = p.name;
                char lim[32];
                std::snprintf(lim, sizeof lim, "%g", p.low);
                m.low = lim;
                std::snprintf(lim, sizeof lim, "%g", p.high);
                m.high = lim;
                const double v = p.centre + p.drift * year + p.spread * noise(rng);
                char text[32];
                std::snprintf(text, sizeof text, "%.3f", v);
                m.measured = text;
                m.passed = v >= p.low && v <= p.high;
                failed = failed || !*m.passed;
                k.rows.push_back(m);
            }
            k.outcome = failed ? RunOutcome::Failed : RunOutcome::Passed;
            runFailed = runFailed || failed;
            r.checks.push_back(k);
        }
        r.outcome = runFailed ? RunOutcome::Failed : RunOutcome::Passed;
        batch.push_back(std::move(r));
        if (batch.size() == 1000 || i + 1 == count) {
            store.AddRuns(batch, error);
            batch.clear();
        }
    }
    return error;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    int runs = 30000;
    QString screenshots;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs") runs = std::atoi(argv[++i]);
        if (a == "--screenshots") screenshots = QDir(argv[++i]).absolutePath();
    }
    const QString dir = QDir::tempPath() + "/bench_statistics_" + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    const std::string path = (dir + "/runs.sqlite").toStdString();
    if (const std::string error = MakeYear(path, runs); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    StatsSource_T source{"Записи стенда", [path](std::string& error) -> std::unique_ptr<TRecordsSource> {
                             auto store = std::make_unique<TRunStore>();
                             if (!store->Open(path, error, true)) return nullptr;
                             return store;
                         }};
    TStatisticsWindow w({source});
    w.resize(1400, 860);
    w.show();
    auto settle = [&] {
        while (w.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
    };
    settle();

    // The window's thread ticks every 5 ms; the longest gap between ticks is what the operator
    // would feel as a frozen window.
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed(), worst = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(5);
    auto ask = [&](QDate from, QDate to) {
        w.edFrom->setDate(from);
        w.edTo->setDate(to);
        QElapsedTimer t;
        t.start();
        last = clock.elapsed();
        worst = 0;
        w.btShow->click();
        settle();
        return std::pair<double, qint64>(static_cast<double>(t.nsecsElapsed()) / 1e6, worst);
    };
    std::printf("runs in the file: %d\n", runs);
    for (int i = 0; i < 3; ++i) {
        const auto month = ask(QDate(2026, 6, 1), QDate(2026, 6, 30));
        const auto year = ask(QDate(2026, 1, 1), QDate(2026, 12, 31));
        std::printf("month: shown in %.0f ms, window thread held at most %lld ms; year: %.0f ms, at most %lld ms\n",
                    month.first, static_cast<long long>(month.second), year.first,
                    static_cast<long long>(year.second));
    }
    if (!screenshots.isEmpty()) {
        QDir().mkpath(screenshots);
        ask(QDate(2026, 1, 1), QDate(2026, 12, 31));
        const char* names[] = {"statistics_yield.png", "statistics_pareto.png", "statistics_parameter.png"};
        for (int page = 0; page < 3; ++page) {
            w.Tabs->setCurrentIndex(page);
            if (page == 2) {
                w.cbParameter->setCurrentText("Uab");
                settle();
            }
            QCoreApplication::processEvents();
            const QString file = screenshots + "/" + names[page];
            std::printf(w.grab().save(file) ? "picture: %s\n" : "could not write %s\n", file.toUtf8().constData());
        }
        SaveTo dialogs((screenshots + "/statistics.pdf").toStdString());
        platform::ScopedDialogs use(dialogs);
        w.btPdf->click();
        std::printf("report: %s/statistics.pdf\n", screenshots.toUtf8().constData());
    }
    QDir(dir).removeRecursively();
    return 0;
}
