// "Статистика испытаний" on the hand-worked records file: the operator's filters, the tables and
// plots they give, the CSV and PDF files, and a source that fails or is slow.
#include <gtest/gtest.h>

#include <QAreaSeries>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include "StatsRuns.h"
#include "platform/Cp1251.h"
#include "platform/Paths.h"
#include "records/TStatisticsWindow.h"
#include "support/QtWait.h"
#include "support/ScriptedDialogs.h"

using namespace stats_runs;

namespace {

StatsSource_T FileSource(const std::string& path) {
    return {"Записи стенда", [path](std::string& error) -> std::unique_ptr<TRecordsSource> {
                auto store = std::make_unique<TRunStore>();
                if (!store->Open(path, error, true)) return nullptr;
                return store;
            }};
}

std::string Cells(QTableWidget* t, int row) {
    std::string s;
    for (int c = 0; c < t->columnCount(); ++c)
        s += (c ? " | " : "") + (t->item(row, c) ? t->item(row, c)->text().toStdString() : std::string());
    return s;
}

template <class T>
std::vector<T*> SeriesOf(QChartView* v) {
    std::vector<T*> out;
    for (QAbstractSeries* s : v->chart()->series())
        if (auto* t = qobject_cast<T*>(s)) out.push_back(t);
    return out;
}

// The window on December at stand S1, as the operator asks for it.
struct Shown {
    TempDir dir;
    std::string path = MakeFile(dir);
    TStatisticsWindow w{{FileSource(path)}};
    Shown() {
        w.show();
        EXPECT_TRUE(WaitUntil([&] { return !w.Busy(); }));
        w.edFrom->setDate(QDate(2026, 12, 1));
        w.edTo->setDate(QDate(2026, 12, 31));
        QTest::keyClicks(w.edStand, "S1");
        QTest::keyClick(w.edStand, Qt::Key_Return);
        EXPECT_TRUE(w.Busy());
        EXPECT_FALSE(w.btShow->isEnabled());
        EXPECT_TRUE(WaitUntil([&] { return !w.Busy(); }));
    }
};

}  // namespace

TEST(StatisticsWindow, TheFiltersGiveYieldParetoAndTheParametersCapabilityWithItsPlots) {
    Shown s;
    TStatisticsWindow& w = s.w;
    EXPECT_EQ(w.lbStatus->text().toStdString(), "");
    EXPECT_EQ(w.lbYield->text().toStdString(),
              "Испытаний с итогом: 5, прошли: 3 (60,0 %); без итога: 1. Станций: 4, прошли с первого раза: 2 (50,0 %).");
    ASSERT_EQ(w.tbYield->rowCount(), 3);
    EXPECT_EQ(Cells(w.tbYield, 0), "Напряжение | 5 | 3 | 60,0");
    EXPECT_EQ(Cells(w.tbYield, 1), "Ток | 5 | 4 | 80,0");
    EXPECT_EQ(Cells(w.tbYield, 2), "Прочее | 2 | 2 | 100,0");

    ASSERT_EQ(w.tbParetoCheck->rowCount(), 2);
    EXPECT_EQ(Cells(w.tbParetoCheck, 0), "Напряжение | 2 | 66,7 | 66,7");
    EXPECT_EQ(Cells(w.tbParetoCheck, 1), "Ток | 1 | 33,3 | 100,0");
    EXPECT_EQ(Cells(w.tbParetoParameter, 1), "Прочее | K | 1 | 25,0");
    auto bars = [&] {
        std::vector<double> v;
        const auto series = SeriesOf<QBarSeries>(w.chPareto);
        if (series.size() == 1 && series[0]->count() == 1)
            for (int i = 0; i < series[0]->barSets()[0]->count(); ++i) v.push_back(series[0]->barSets()[0]->at(i));
        return v;
    };
    EXPECT_EQ(bars(), (std::vector<double>{2, 1}));
    ASSERT_EQ(SeriesOf<QLineSeries>(w.chPareto).size(), 1u);
    EXPECT_NEAR(SeriesOf<QLineSeries>(w.chPareto)[0]->at(0).y(), 200.0 / 3, 1e-9);
    w.Tabs->setCurrentIndex(1);
    w.cbParetoBy->setCurrentIndex(1);  // "по параметрам"
    EXPECT_EQ(bars(), (std::vector<double>{2, 1, 1}));
    EXPECT_EQ(w.chPareto->chart()->title().toStdString(), "Отказы по параметрам");

    // The parameter page: the script of the runs, its parameters as its latest run measured them.
    w.Tabs->setCurrentIndex(2);
    ASSERT_EQ(w.cbScript->count(), 1);
    EXPECT_EQ(w.cbScript->currentText().toStdString(), "./scn/one.ini");
    ASSERT_EQ(w.cbParameter->count(), 2);
    EXPECT_EQ(w.cbParameter->itemText(0).toStdString(), "U");
    EXPECT_EQ(w.cbParameter->itemText(1).toStdString(), "I");
    EXPECT_EQ(Cells(w.tbCapability, 0), "Значений | 4");
    EXPECT_EQ(Cells(w.tbCapability, 1), "Не числа | 1");
    EXPECT_EQ(Cells(w.tbCapability, 2), "Среднее | 16");
    EXPECT_EQ(Cells(w.tbCapability, 3), "СКО | 6,97615");
    EXPECT_EQ(Cells(w.tbCapability, 8), "Cp | 0,239");
    EXPECT_EQ(Cells(w.tbCapability, 9), "Cpk | 0,191");
    // Histogram of 8, 15, 16, 25 (a span of 17: bins of 1/2) with the limits 10 and 20 over it.
    const auto areas = SeriesOf<QAreaSeries>(w.chHistogram);
    ASSERT_EQ(areas.size(), 1u);
    double counted = 0;
    const QList<QPointF> outline = areas[0]->upperSeries()->points();
    for (int i = 1; i < outline.size(); ++i)
        if (outline[i].y() == outline[i - 1].y()) counted += outline[i].y() * (outline[i].x() - outline[i - 1].x()) * 2;
    EXPECT_DOUBLE_EQ(counted, 4);
    EXPECT_EQ(outline.front().x(), 8);
    EXPECT_EQ(outline.back().x(), 25.5);
    std::vector<double> limits;
    for (QLineSeries* l : SeriesOf<QLineSeries>(w.chHistogram)) limits.push_back(l->at(0).x());
    EXPECT_EQ(limits, (std::vector<double>{10, 20}));
    // The run chart: the four values in time order, the two limits and the mean.
    const auto run = SeriesOf<QLineSeries>(w.chRun);
    ASSERT_EQ(run.size(), 4u);
    ASSERT_EQ(run[0]->count(), 4);
    EXPECT_EQ(run[0]->at(0).y(), 25);
    EXPECT_EQ(run[0]->at(3).y(), 8);
    EXPECT_LT(run[0]->at(0).x(), run[0]->at(3).x());
    EXPECT_EQ(run[3]->at(0).y(), 16);

    // The operator picks I: one limit below, one above, five values.
    w.cbParameter->setCurrentIndex(1);
    ASSERT_TRUE(WaitUntil([&] { return !w.Busy(); }));
    EXPECT_EQ(w.CurrentCapability().parameter, "I");
    EXPECT_EQ(Cells(w.tbCapability, 0), "Значений | 5");
    EXPECT_EQ(Cells(w.tbCapability, 5), "Максимум | 1,5");
    EXPECT_EQ(w.cbParameter->count(), 2);  // the choice itself stays

    // Another stand: nothing to count, and nothing left of the figures of the one before.
    w.edStand->clear();
    QTest::keyClicks(w.edStand, "S9");
    QTest::mouseClick(w.btShow, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !w.Busy(); }));
    EXPECT_EQ(w.tbYield->rowCount(), 0);
    EXPECT_EQ(w.cbScript->count(), 0);
    EXPECT_EQ(Cells(w.tbCapability, 0), "Значений | 0");
    EXPECT_TRUE(SeriesOf<QLineSeries>(w.chRun).empty());
    EXPECT_EQ(w.lbYield->text().toStdString().find("Испытаний с итогом: 0, прошли: 0 (- %);"), 0u);
}

TEST(StatisticsWindow, EachTableSavesAsCsvAndTheViewAsAPdfOfThreePages) {
    Shown s;
    ScriptedDialogs dialogs;
    platform::ScopedDialogs use(dialogs);
    const std::string csv = s.dir.File("yield.csv"), pareto = s.dir.File("pareto.csv"),
                      capability = s.dir.File("u.csv"), pdf = s.dir.File("view.pdf");
    dialogs.ChooseFile(csv).ChooseFile(pareto).ChooseFile(capability).ChooseFile(pdf).ChooseFile("");
    QTest::mouseClick(s.w.btCsvYield, Qt::LeftButton);
    s.w.Tabs->setCurrentIndex(1);
    QTest::mouseClick(s.w.btCsvParetoParameter, Qt::LeftButton);
    s.w.Tabs->setCurrentIndex(2);
    QTest::mouseClick(s.w.btCsvCapability, Qt::LeftButton);
    QTest::mouseClick(s.w.btPdf, Qt::LeftButton);
    QTest::mouseClick(s.w.btCsvParetoCheck, Qt::LeftButton);  // cancelled: nothing written
    EXPECT_TRUE(dialogs.AllAnswersUsed());
    EXPECT_EQ(dialogs.FileRequests()[0].fileName, "yield.csv");

    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(csv, bytes));
    EXPECT_EQ(bytes, platform::Utf8ToCp1251("Проверка;Всего;Прошли;Доля, %\r\n"
                                            "Напряжение;5;3;60,0\r\nТок;5;4;80,0\r\nПрочее;2;2;100,0\r\n"
                                            "Испытания с итогом;5;3;60,0\r\nСтанции с первого раза;4;2;50,0\r\n"));
    ASSERT_TRUE(platform::ReadFileBytes(pareto, bytes));
    EXPECT_EQ(bytes, platform::Utf8ToCp1251("Проверка;Параметр;Отказов;Доля, %;Накоплено, %\r\n"
                                            "Напряжение;U;2;50,0;50,0\r\nПрочее;K;1;25,0;75,0\r\n"
                                            "Ток;I;1;25,0;100,0\r\n"));
    ASSERT_TRUE(platform::ReadFileBytes(capability, bytes));
    const std::string text = platform::Cp1251ToUtf8(bytes);
    EXPECT_EQ(text.substr(0, text.find("Среднее")), "Сценарий;./scn/one.ini\r\nПараметр;U\r\nЗначений;4\r\nНе числа;1\r\n");
    EXPECT_NE(text.find("\r\nCpk;0,1911\r\n\r\nНачато;Значение\r\n2026-12-01T10:00:00.000+03:00;25\r\n"),
              std::string::npos)
        << text;

    ASSERT_TRUE(platform::ReadFileBytes(pdf, bytes));
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    size_t pages = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos; at = bytes.find("/Type /Page", at + 1))
        pages += bytes.compare(at, 12, "/Type /Pages") != 0;
    EXPECT_EQ(pages, 3u);
    EXPECT_EQ(s.w.lbStatus->text().toStdString(), "Сохранено: " + pdf);
}

TEST(StatisticsWindow, ASourceThatFailsIsNamedAndASlowOneIsWaitedForOnClosing) {
    TempDir dir;
    const std::string path = MakeFile(dir);
    std::atomic<int> opened{0};
    StatsSource_T plant{"База завода", [](std::string& error) -> std::unique_ptr<TRecordsSource> {
                            error = "База завода недоступна: сервер не отвечает.";
                            return nullptr;
                        }};
    StatsSource_T slow{"Медленный", [&, path](std::string& error) -> std::unique_ptr<TRecordsSource> {
                           ++opened;
                           std::this_thread::sleep_for(std::chrono::milliseconds(300));
                           return FileSource(path).open(error);
                       }};
    {
        TStatisticsWindow w({FileSource(path), plant});
        w.show();
        ASSERT_TRUE(WaitUntil([&] { return !w.Busy(); }));
        const std::string before = w.lbYield->text().toStdString();
        w.cbSource->setCurrentIndex(1);
        ASSERT_TRUE(WaitUntil([&] { return !w.Busy(); }));
        EXPECT_EQ(w.lbStatus->text().toStdString(), "База завода недоступна: сервер не отвечает.");
        EXPECT_EQ(w.lbYield->text().toStdString(), before);  // what was shown stays
        EXPECT_TRUE(w.btShow->isEnabled());
    }
    {
        // Questions asked while one is under way wait for it; the window closes in the middle.
        auto* w = new TStatisticsWindow({slow});
        w->show();
        EXPECT_TRUE(w->Busy());
        QTest::mouseClick(w->btShow, Qt::LeftButton);
        QTest::mouseClick(w->btShow, Qt::LeftButton);  // disabled while busy
        QTest::keyClick(w->edStand, Qt::Key_Return);    // a question kept for later
        ASSERT_TRUE(WaitUntil([&] { return opened == 2; }));
        delete w;
        EXPECT_EQ(opened, 2);
    }
}
