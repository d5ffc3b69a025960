#include "records/TStatisticsWindow.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "records/RunStore.h"

namespace {

QString U(const std::string& s) { return QString::fromStdString(s); }
QString U(const char* s) { return QString::fromUtf8(s); }

// The Pareto chart stays readable: the most frequent failures, the rest in the tables.
constexpr int kParetoBars = 12;

QTableWidget* Table(const char* name, std::initializer_list<const char*> headers, QWidget* parent) {
    auto* t = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    t->setObjectName(name);
    QStringList h;
    for (const char* s : headers) h << U(s);
    t->setHorizontalHeaderLabels(h);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    // The names take the room; the figures keep to their width beside them.
    t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < t->columnCount(); ++c) t->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    return t;
}

void SetRow(QTableWidget* t, int row, const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(U(cells[c]));
        if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, static_cast<int>(c), item);
    }
}

QChartView* ChartView(const char* name, QWidget* parent) {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 240);
    return view;
}

void ClearChart(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* a : chart->axes()) {
        chart->removeAxis(a);
        delete a;
    }
}

QPushButton* CsvButton(const char* name, QWidget* parent) {
    auto* b = new QPushButton(U("Сохранить CSV..."), parent);
    b->setObjectName(name);
    return b;
}

QLineSeries* Limit(const char* name, QColor colour) {
    auto* s = new QLineSeries;
    s->setName(U(name));
    QPen pen(colour);
    pen.setWidthF(2);
    pen.setStyle(Qt::DashLine);
    s->setPen(pen);
    return s;
}

std::string Shortened(const std::string& utf8, int chars) {
    const QString s = U(utf8);
    return s.size() <= chars ? utf8 : (s.left(chars - 1) + QChar(0x2026)).toStdString();
}

int64_t Failures(const std::vector<ParetoLine_T>& lines) {
    int64_t n = 0;
    for (const ParetoLine_T& l : lines) n += l.failures;
    return n;
}

std::string Optional(const std::optional<double>& v, int digits = 4) {
    return v ? StatsNumber(*v, digits) : std::string("-");
}

}  // namespace

struct TStatisticsWindow::Answer {
    Ask what = Ask::All;
    std::string error;
    StatsFilter_T filter;
    YieldReport_T yield;
    std::vector<ParetoLine_T> byCheck, byParameter;
    std::vector<std::string> scripts, parameters;
    std::string script, parameter;
    Capability_T capability;
};

TStatisticsWindow::TStatisticsWindow(std::vector<StatsSource_T> sources, QWidget* parent)
    : QDialog(parent), sources_(std::move(sources)) {
    setObjectName("StatisticsWindow");
    setWindowTitle(U("Статистика испытаний"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1100, 720);

    // Filters: the last thirty days at first.
    cbSource = new QComboBox(this);
    cbSource->setObjectName("cbSource");
    for (const StatsSource_T& s : sources_) cbSource->addItem(U(s.caption));
    edFrom = new QDateEdit(QDate::currentDate().addDays(-29), this);
    edTo = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* e : {edFrom, edTo}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat("dd.MM.yyyy");
    }
    edFrom->setObjectName("edFrom");
    edTo->setObjectName("edTo");
    auto text = [this](const char* name, const char* hint) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setPlaceholderText(U(hint));
        e->setClearButtonEnabled(true);
        return e;
    };
    edKind = text("edKind", "любой");
    edStand = text("edStand", "любой");
    edVersion = text("edVersion", "любая");
    btShow = new QPushButton(U("Показать"), this);
    btShow->setObjectName("btShow");
    btShow->setDefault(true);
    auto* filters = new QHBoxLayout;
    auto label = [&](const char* s) { filters->addWidget(new QLabel(U(s), this)); };
    label("Записи");
    filters->addWidget(cbSource);
    label("с");
    filters->addWidget(edFrom);
    label("по");
    filters->addWidget(edTo);
    label("Устройство");
    filters->addWidget(edKind, 1);
    label("Стенд");
    filters->addWidget(edStand, 1);
    label("Версия сценария");
    filters->addWidget(edVersion);
    filters->addWidget(btShow);

    lbYield = new QLabel(this);
    lbYield->setObjectName("lbYield");
    lbYield->setWordWrap(true);
    lbYield->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName("lbStatus");
    lbStatus->setWordWrap(true);

    Tabs = new QTabWidget(this);
    Tabs->setObjectName("Tabs");

    // Yield per check.
    auto* yieldPage = new QWidget(Tabs);
    auto* yl = new QVBoxLayout(yieldPage);
    tbYield = Table("tbYield", {"Проверка", "Всего", "Прошли", "Доля, %"}, yieldPage);
    btCsvYield = CsvButton("btCsvYield", yieldPage);
    yl->addWidget(tbYield, 1);
    yl->addWidget(btCsvYield, 0, Qt::AlignLeft);
    Tabs->addTab(yieldPage, U("Выход годных"));

    // The failure Pareto: both lists, and the chart of the one chosen.
    auto* paretoPage = new QWidget(Tabs);
    auto* pl = new QHBoxLayout(paretoPage);
    auto* paretoSplit = new QSplitter(Qt::Horizontal, paretoPage);
    auto* lists = new QWidget(paretoSplit);
    auto* ll = new QVBoxLayout(lists);
    ll->setContentsMargins(0, 0, 0, 0);
    tbParetoCheck = Table("tbParetoCheck", {"Проверка", "Отказов", "Доля, %", "Накоплено, %"}, lists);
    tbParetoParameter = Table("tbParetoParameter", {"Проверка", "Параметр", "Отказов", "Доля, %"}, lists);
    btCsvParetoCheck = CsvButton("btCsvParetoCheck", lists);
    btCsvParetoParameter = CsvButton("btCsvParetoParameter", lists);
    ll->addWidget(new QLabel(U("Отказы по проверкам"), lists));
    ll->addWidget(tbParetoCheck, 1);
    ll->addWidget(btCsvParetoCheck, 0, Qt::AlignLeft);
    ll->addWidget(new QLabel(U("Отказы по параметрам"), lists));
    ll->addWidget(tbParetoParameter, 1);
    ll->addWidget(btCsvParetoParameter, 0, Qt::AlignLeft);
    auto* chartSide = new QWidget(paretoSplit);
    auto* cl = new QVBoxLayout(chartSide);
    cl->setContentsMargins(0, 0, 0, 0);
    cbParetoBy = new QComboBox(chartSide);
    cbParetoBy->setObjectName("cbParetoBy");
    cbParetoBy->addItems({U("по проверкам"), U("по параметрам")});
    chPareto = ChartView("chPareto", chartSide);
    cl->addWidget(cbParetoBy, 0, Qt::AlignLeft);
    cl->addWidget(chPareto, 1);
    paretoSplit->setStretchFactor(1, 1);
    paretoSplit->setSizes({480, 620});
    pl->addWidget(paretoSplit);
    Tabs->addTab(paretoPage, U("Парето отказов"));

    // One parameter of one script.
    auto* paramPage = new QWidget(Tabs);
    auto* ml = new QHBoxLayout(paramPage);
    auto* left = new QWidget(paramPage);
    auto* lv = new QVBoxLayout(left);
    lv->setContentsMargins(0, 0, 0, 0);
    auto* choice = new QFormLayout;
    cbScript = new QComboBox(left);
    cbScript->setObjectName("cbScript");
    cbParameter = new QComboBox(left);
    cbParameter->setObjectName("cbParameter");
    cbScript->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbScript->setMinimumContentsLength(18);
    choice->addRow(U("Сценарий"), cbScript);
    choice->addRow(U("Параметр"), cbParameter);
    tbCapability = Table("tbCapability", {"Величина", "Значение"}, left);
    btCsvCapability = CsvButton("btCsvCapability", left);
    lv->addLayout(choice);
    lv->addWidget(tbCapability, 1);
    lv->addWidget(btCsvCapability, 0, Qt::AlignLeft);
    auto* plots = new QSplitter(Qt::Vertical, paramPage);
    chHistogram = ChartView("chHistogram", plots);
    chRun = ChartView("chRun", plots);
    ml->addWidget(left);
    ml->addWidget(plots, 1);
    Tabs->addTab(paramPage, U("Параметр"));

    btPdf = new QPushButton(U("Сохранить в PDF..."), this);
    btPdf->setObjectName("btPdf");
    btClose = new QPushButton(U("Закрыть"), this);
    btClose->setObjectName("btClose");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lbStatus, 1);
    buttons->addWidget(btPdf);
    buttons->addWidget(btClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(lbYield);
    layout->addWidget(Tabs, 1);
    layout->addLayout(buttons);

    connect(btShow, &QPushButton::clicked, this, [this] { Refresh(); });
    for (QLineEdit* e : {edKind, edStand, edVersion}) connect(e, &QLineEdit::returnPressed, this, [this] { Refresh(); });
    connect(cbSource, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    connect(cbScript, &QComboBox::currentIndexChanged, this, [this] { Start(Ask::Script); });
    connect(cbParameter, &QComboBox::currentIndexChanged, this, [this] { Start(Ask::Parameter); });
    connect(cbParetoBy, &QComboBox::currentIndexChanged, this, [this] { DrawPareto(); });
    connect(btCsvYield, &QPushButton::clicked, this, [this] { SaveCsv(YieldCsv(yield_), "yield.csv"); });
    connect(btCsvParetoCheck, &QPushButton::clicked, this,
            [this] { SaveCsv(ParetoCsv(byCheck_, false), "pareto-checks.csv"); });
    connect(btCsvParetoParameter, &QPushButton::clicked, this,
            [this] { SaveCsv(ParetoCsv(byParameter_, true), "pareto-parameters.csv"); });
    connect(btCsvCapability, &QPushButton::clicked, this,
            [this] { SaveCsv(CapabilityCsv(capability_), "capability-" + capability_.parameter + ".csv"); });
    connect(btPdf, &QPushButton::clicked, this, [this] { SavePdf(); });
    connect(btClose, &QPushButton::clicked, this, [this] { close(); });

    if (sources_.empty()) {
        lbStatus->setText(U("Записи испытаний не настроены."));
        btShow->setEnabled(false);
        return;
    }
    Refresh();
}

TStatisticsWindow::~TStatisticsWindow() {
    if (worker_.joinable()) worker_.join();
}

StatsFilter_T TStatisticsWindow::Filter() const {
    StatsFilter_T f;
    QDate from = edFrom->date(), to = edTo->date();
    if (from > to) std::swap(from, to);  // a range typed backwards means the same days
    f.from = from.toString("yyyy-MM-dd").toStdString();
    f.to = to.toString("yyyy-MM-dd").toStdString();
    f.deviceKind = edKind->text().trimmed().toStdString();
    f.stand = edStand->text().trimmed().toStdString();
    f.scriptVersion = edVersion->text().trimmed().toStdString();
    return f;
}

void TStatisticsWindow::Refresh() { Start(Ask::All); }

void TStatisticsWindow::Start(Ask what) {
    if (sources_.empty()) return;
    if (worker_.joinable()) {
        // One question at a time; of those asked meanwhile, the broadest goes next.
        pending_ = pending_ ? std::min(*pending_, what) : what;
        return;
    }
    auto a = std::make_shared<Answer>();
    a->what = what;
    a->filter = what == Ask::All ? Filter() : shown_;
    a->script = cbScript->currentText().toStdString();
    a->parameter = cbParameter->currentText().toStdString();
    const StatsSource_T source = sources_[static_cast<size_t>(std::max(0, cbSource->currentIndex()))];
    btShow->setEnabled(false);
    lbStatus->setStyleSheet({});
    lbStatus->setText(U("Идет подсчет..."));
    worker_ = std::thread([this, a, source] {
        std::unique_ptr<TRecordsSource> store = source.open(a->error);
        if (store && a->error.empty()) {
            const StatsFilter_T& f = a->filter;
            if (a->what == Ask::All) {
                a->yield = store->Yield(f, a->error);
                if (a->error.empty()) a->byCheck = store->ParetoByCheck(f, a->error);
                if (a->error.empty()) a->byParameter = store->ParetoByParameter(f, a->error);
                if (a->error.empty()) a->scripts = store->StatsScripts(f, a->error);
                // The script chosen stays chosen while the filter still finds it.
                if (std::find(a->scripts.begin(), a->scripts.end(), a->script) == a->scripts.end())
                    a->script = a->scripts.empty() ? "" : a->scripts.front();
            }
            if (a->error.empty() && a->what != Ask::Parameter && !a->script.empty()) {
                a->parameters = store->StatsParameters(f, a->script, a->error);
                if (std::find(a->parameters.begin(), a->parameters.end(), a->parameter) == a->parameters.end())
                    a->parameter = a->parameters.empty() ? "" : a->parameters.front();
            }
            if (a->error.empty() && !a->script.empty() && !a->parameter.empty())
                a->capability = store->Capability(f, a->script, a->parameter, a->error);
        } else if (a->error.empty()) {
            a->error = "Записи испытаний не открылись.";
        }
        // Delivered on the window's thread; dropped with the window if it is gone by then.
        QMetaObject::invokeMethod(this, [this, a] { Apply(a); }, Qt::QueuedConnection);
    });
}

void TStatisticsWindow::Apply(const std::shared_ptr<Answer>& a) {
    worker_.join();
    btShow->setEnabled(true);
    if (!a->error.empty()) {
        // The figures shown stay as they were: a failed question takes nothing away.
        lbStatus->setStyleSheet("QLabel { color: #d02020; }");
        lbStatus->setText(U(a->error));
    } else {
        lbStatus->setText({});
        if (a->what == Ask::All) {
            shown_ = a->filter;
            yield_ = std::move(a->yield);
            byCheck_ = std::move(a->byCheck);
            byParameter_ = std::move(a->byParameter);
            FillYield();
            FillPareto();
            const QSignalBlocker block(cbScript);
            cbScript->clear();
            for (const std::string& s : a->scripts) cbScript->addItem(U(s));
            cbScript->setCurrentText(U(a->script));
        }
        if (a->what != Ask::Parameter) {
            const QSignalBlocker block(cbParameter);
            cbParameter->clear();
            for (const std::string& p : a->parameters) cbParameter->addItem(U(p));
            cbParameter->setCurrentText(U(a->parameter));
        }
        capability_ = std::move(a->capability);
        FillCapability();
    }
    if (pending_) {
        const Ask next = *pending_;
        pending_.reset();
        Start(next);
    }
}

void TStatisticsWindow::FillYield() {
    const YieldReport_T& y = yield_;
    lbYield->setText(U("Испытаний с итогом: " + std::to_string(y.runs) + ", прошли: " + std::to_string(y.passed) + " (" +
                       StatsPercent(y.passed, y.runs) + " %); без итога: " + std::to_string(y.unfinished) +
                       ". Станций: " + std::to_string(y.serials) + ", прошли с первого раза: " +
                       std::to_string(y.firstPassed) + " (" + StatsPercent(y.firstPassed, y.serials) + " %)."));
    tbYield->setRowCount(static_cast<int>(y.checks.size()));
    for (size_t i = 0; i < y.checks.size(); ++i) {
        const YieldLine_T& l = y.checks[i];
        SetRow(tbYield, static_cast<int>(i),
               {l.name, std::to_string(l.total), std::to_string(l.passed), StatsPercent(l.passed, l.total)});
    }
}

void TStatisticsWindow::FillPareto() {
    int64_t total = Failures(byCheck_);
    tbParetoCheck->setRowCount(static_cast<int>(byCheck_.size()));
    int64_t running = 0;
    for (size_t i = 0; i < byCheck_.size(); ++i) {
        running += byCheck_[i].failures;
        SetRow(tbParetoCheck, static_cast<int>(i),
               {byCheck_[i].check, std::to_string(byCheck_[i].failures), StatsPercent(byCheck_[i].failures, total),
                StatsPercent(running, total)});
    }
    total = Failures(byParameter_);
    tbParetoParameter->setRowCount(static_cast<int>(byParameter_.size()));
    for (size_t i = 0; i < byParameter_.size(); ++i)
        SetRow(tbParetoParameter, static_cast<int>(i),
               {byParameter_[i].check, byParameter_[i].parameter, std::to_string(byParameter_[i].failures),
                StatsPercent(byParameter_[i].failures, total)});
    DrawPareto();
}

void TStatisticsWindow::DrawPareto() {
    QChart* chart = chPareto->chart();
    ClearChart(chart);
    const bool byParameter = cbParetoBy->currentIndex() == 1;
    const std::vector<ParetoLine_T>& lines = byParameter ? byParameter_ : byCheck_;
    chart->setTitle(U(byParameter ? "Отказы по параметрам" : "Отказы по проверкам"));
    const int64_t total = Failures(lines);
    auto* bars = new QBarSet(U("Отказов"));
    auto* cumulative = new QLineSeries;
    cumulative->setName(U("Накоплено, %"));
    cumulative->setPointsVisible(true);
    QStringList categories;
    int64_t running = 0, most = 1;
    for (int i = 0; i < static_cast<int>(lines.size()) && i < kParetoBars; ++i) {
        const ParetoLine_T& l = lines[static_cast<size_t>(i)];
        *bars << static_cast<double>(l.failures);
        running += l.failures;
        most = std::max(most, l.failures);
        cumulative->append(i, 100.0 * static_cast<double>(running) / static_cast<double>(std::max<int64_t>(1, total)));
        categories << U(Shortened(byParameter ? l.parameter + " (" + l.check + ")" : l.check, 22));
    }
    auto* series = new QBarSeries;
    series->append(bars);
    chart->addSeries(series);
    chart->addSeries(cumulative);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsAngle(categories.size() > 5 ? -45 : 0);
    auto* y = new QValueAxis;
    y->setRange(0, static_cast<double>(most) * 1.1);
    y->applyNiceNumbers();
    y->setLabelFormat("%d");
    y->setTitleText(U("Отказов"));
    auto* share = new QValueAxis;
    share->setRange(0, 100);
    share->setLabelFormat("%d %%");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addAxis(share, Qt::AlignRight);
    series->attachAxis(x);
    series->attachAxis(y);
    cumulative->attachAxis(x);
    cumulative->attachAxis(share);
}

void TStatisticsWindow::FillCapability() {
    const Capability_T& c = capability_;
    const bool any = c.count > 0;
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"Значений", std::to_string(c.count)},
        {"Не числа", std::to_string(c.skipped)},
        {"Среднее", any ? StatsNumber(c.mean, 6) : "-"},
        {"СКО", any ? StatsNumber(c.sigma, 6) : "-"},
        {"Минимум", any ? StatsNumber(c.min, 6) : "-"},
        {"Максимум", any ? StatsNumber(c.max, 6) : "-"},
        {"Нижняя граница", Optional(c.low, 6)},
        {"Верхняя граница", Optional(c.high, 6)},
        {"Cp", Optional(c.cp, 3)},
        {"Cpk", Optional(c.cpk, 3)},
    };
    tbCapability->setRowCount(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) SetRow(tbCapability, static_cast<int>(i), {rows[i].first, rows[i].second});
    tbCapability->setToolTip(any && !c.cp ? U("Cp и Cpk не определены: нужны обе границы, разные, и разброс значений")
                                          : QString());
    DrawHistogram();
    DrawRunChart();
}

void TStatisticsWindow::DrawHistogram() {
    QChart* chart = chHistogram->chart();
    ClearChart(chart);
    const Capability_T& c = capability_;
    chart->setTitle(U("Распределение " + c.parameter));
    if (c.histogram.empty()) return;
    // The bins as one outline, down to zero across the empty ones.
    auto* outline = new QLineSeries;
    double lastTo = c.histogram.front().from, most = 1;
    outline->append(lastTo, 0);
    for (const HistogramBin_T& b : c.histogram) {
        if (b.from > lastTo) outline->append({QPointF(lastTo, 0), QPointF(b.from, 0)});
        outline->append({QPointF(b.from, static_cast<double>(b.count)), QPointF(b.to, static_cast<double>(b.count))});
        lastTo = b.to;
        most = std::max(most, static_cast<double>(b.count));
    }
    outline->append(lastTo, 0);
    auto* area = new QAreaSeries(outline);
    area->setName(U("Значений в интервале"));
    area->setColor(QColor(70, 130, 200, 160));
    area->setBorderColor(QColor(40, 90, 160));
    chart->addSeries(area);
    double lo = c.histogram.front().from, hi = lastTo;
    std::vector<QLineSeries*> limits;
    for (const auto& [value, name] : {std::pair{c.low, "Нижняя граница"}, std::pair{c.high, "Верхняя граница"}}) {
        if (!value) continue;
        auto* s = Limit(name, QColor(210, 30, 30));
        s->append({QPointF(*value, 0), QPointF(*value, most * 1.1)});
        lo = std::min(lo, *value);
        hi = std::max(hi, *value);
        chart->addSeries(s);
        limits.push_back(s);
    }
    auto* x = new QValueAxis;
    const double margin = std::max((hi - lo) * 0.05, 1e-9);
    x->setRange(lo - margin, hi + margin);
    x->applyNiceNumbers();
    x->setTitleText(U(c.parameter));
    auto* y = new QValueAxis;
    y->setRange(0, most * 1.1);
    y->applyNiceNumbers();
    y->setLabelFormat("%d");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    area->attachAxis(x);
    area->attachAxis(y);
    for (QLineSeries* s : limits) s->attachAxis(x), s->attachAxis(y);
}

void TStatisticsWindow::DrawRunChart() {
    QChart* chart = chRun->chart();
    ClearChart(chart);
    const Capability_T& c = capability_;
    chart->setTitle(U(c.parameter + " по времени"));
    if (c.values.empty()) return;
    auto* values = new QLineSeries;
    values->setName(U(c.parameter));
    values->setPointsVisible(c.values.size() <= 200);
    double lo = c.values.front().value, hi = lo;
    qint64 first = 0, last = 0;
    for (const CapabilityPoint_T& p : c.values) {
        const qint64 t = QDateTime::fromString(U(p.startedAt), Qt::ISODateWithMs).toMSecsSinceEpoch();
        if (first == 0) first = t;
        last = std::max(last, t);
        values->append(static_cast<double>(t), p.value);
        lo = std::min(lo, p.value);
        hi = std::max(hi, p.value);
    }
    if (last <= first) last = first + 60000;
    chart->addSeries(values);
    std::vector<QLineSeries*> lines = {values};
    auto level = [&](const std::optional<double>& v, const char* name, QColor colour) {
        if (!v) return;
        auto* s = Limit(name, colour);
        s->append({QPointF(static_cast<double>(first), *v), QPointF(static_cast<double>(last), *v)});
        lo = std::min(lo, *v);
        hi = std::max(hi, *v);
        chart->addSeries(s);
        lines.push_back(s);
    };
    level(c.low, "Нижняя граница", QColor(210, 30, 30));
    level(c.high, "Верхняя граница", QColor(210, 30, 30));
    level(c.count > 0 ? std::optional<double>(c.mean) : std::nullopt, "Среднее", QColor(40, 150, 60));
    auto* x = new QDateTimeAxis;
    x->setFormat(last - first > 2LL * 86400000 ? "dd.MM.yy" : "dd.MM hh:mm");
    x->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
    auto* y = new QValueAxis;
    const double margin = std::max((hi - lo) * 0.05, 1e-9);
    y->setRange(lo - margin, hi + margin);
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries* s : lines) s->attachAxis(x), s->attachAxis(y);
}

void TStatisticsWindow::SaveCsv(const std::string& text, const std::string& name) {
    platform::FileDialogRequest r;
    r.caption = "Сохранить таблицу";
    r.filter = "CSV (*.csv);;Все файлы (*)";
    r.fileName = name;
    const std::string path = platform::Dialogs::Current().SaveFileName(r);
    if (path.empty()) return;
    if (!platform::WriteFileBytes(path, platform::Utf8ToCp1251(text))) {
        platform::Dialogs::Current().Show("Файл " + path + " не записан.", "Статистика испытаний",
                                          platform::DialogIcon::Error);
        return;
    }
    lbStatus->setStyleSheet({});
    lbStatus->setText(U("Сохранено: " + path));
}

namespace {

// A page of the report: a title, lines of text and pictures of widgets, laid out downwards.
class TReportPage {
public:
    TReportPage(QPainter& p, const QRectF& area) : p_(p), area_(area), y_(area.top()) {}
    void Title(const std::string& s) {
        QFont f = p_.font();
        f.setPointSizeF(14);
        f.setBold(true);
        Line(s, f);
    }
    void Text(const std::string& s) { Line(s, p_.font()); }
    void Columns(const std::vector<std::string>& cells, const std::vector<double>& widths) {
        const double h = QFontMetricsF(p_.font(), p_.device()).height();
        double x = area_.left();
        for (size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
            const double w = widths[i] * area_.width();
            p_.drawText(QRectF(x, y_, w - 4, h), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                        QFontMetricsF(p_.font(), p_.device()).elidedText(U(cells[i]), Qt::ElideRight, w - 4));
            x += w;
        }
        y_ += h;
    }
    // The widget drawn as it is on the screen, scaled into the given share of the page's width.
    void Picture(QWidget* w, double left, double width, double height) {
        const QRectF target(area_.left() + left * area_.width(), y_, width * area_.width(), height);
        const QSize size = w->size().isEmpty() ? QSize(800, 450) : w->size();
        if (w->size().isEmpty()) w->resize(size);
        const double k = std::min(target.width() / size.width(), target.height() / size.height());
        p_.save();
        p_.translate(target.topLeft());
        p_.scale(k, k);
        w->render(&p_, QPoint(), QRegion(), QWidget::DrawChildren);
        p_.restore();
    }
    void Skip(double height) { y_ += height; }
    bool Full(double height) const { return y_ + height > area_.bottom(); }
    double Width() const { return area_.width(); }
    double Height() const { return area_.height(); }

private:
    void Line(const std::string& s, const QFont& f) {
        p_.save();
        p_.setFont(f);
        const double h = QFontMetricsF(f, p_.device()).height();
        p_.drawText(QRectF(area_.left(), y_, area_.width(), h), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    U(s));
        p_.restore();
        y_ += h * 1.2;
    }
    QPainter& p_;
    QRectF area_;
    double y_;
};

std::string FilterText(const StatsFilter_T& f, const std::string& source) {
    std::string s = source + ", " + f.from + " - " + f.to;
    if (!f.deviceKind.empty()) s += ", устройство " + f.deviceKind;
    if (!f.stand.empty()) s += ", стенд " + f.stand;
    if (!f.scriptVersion.empty()) s += ", версия сценария " + f.scriptVersion;
    return s;
}

}  // namespace

void TStatisticsWindow::SavePdf() {
    platform::FileDialogRequest r;
    r.caption = "Сохранить в PDF";
    r.filter = "PDF (*.pdf)";
    r.fileName = "statistics-" + shown_.from + "-" + shown_.to + ".pdf";
    const std::string path = platform::Dialogs::Current().SaveFileName(r);
    if (path.empty()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(U(path));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(U("Статистика испытаний"));
    QPainter p;
    if (!p.begin(&printer)) {
        platform::Dialogs::Current().Show("Файл " + path + " не записан.", "Статистика испытаний",
                                          platform::DialogIcon::Error);
        return;
    }
    QFont font = p.font();
    font.setPointSizeF(9);
    p.setFont(font);
    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution()).translated(
        -printer.pageLayout().paintRectPixels(printer.resolution()).topLeft());
    const std::string heading = FilterText(shown_, cbSource->currentText().toStdString());
    const double row = QFontMetricsF(font, &printer).height();

    // Yield, and the tables of the Pareto as far as a page takes them.
    {
        TReportPage page(p, area);
        page.Title("Статистика испытаний");
        page.Text(heading);
        page.Text(lbYield->text().toStdString());
        page.Skip(row);
        page.Columns({"Проверка", "Всего", "Прошли", "Доля, %"}, {0.4, 0.1, 0.1, 0.1});
        for (const YieldLine_T& l : yield_.checks) {
            if (page.Full(row)) break;
            page.Columns({l.name, std::to_string(l.total), std::to_string(l.passed), StatsPercent(l.passed, l.total)},
                         {0.4, 0.1, 0.1, 0.1});
        }
    }
    printer.newPage();
    {
        TReportPage page(p, area);
        page.Title("Парето отказов");
        page.Text(heading);
        page.Picture(chPareto, 0, 0.55, area.height() * 0.85);
        const int64_t total = Failures(byParameter_);
        TReportPage side(p, QRectF(area.left() + area.width() * 0.57, area.top() + row * 4, area.width() * 0.43,
                                   area.height() - row * 4));
        side.Columns({"Проверка", "Параметр", "Отказов", "Доля, %"}, {0.4, 0.3, 0.15, 0.15});
        for (const ParetoLine_T& l : byParameter_) {
            if (side.Full(row)) break;
            side.Columns({l.check, l.parameter, std::to_string(l.failures), StatsPercent(l.failures, total)},
                         {0.4, 0.3, 0.15, 0.15});
        }
    }
    printer.newPage();
    {
        TReportPage page(p, area);
        page.Title("Параметр " + capability_.parameter + " сценария " + capability_.script);
        page.Text(heading);
        const Capability_T& c = capability_;
        page.Text("Значений: " + std::to_string(c.count) + " (не числа: " + std::to_string(c.skipped) +
                  "); среднее: " + (c.count ? StatsNumber(c.mean, 6) : "-") + ", СКО: " +
                  (c.count ? StatsNumber(c.sigma, 6) : "-") + ", мин.: " + (c.count ? StatsNumber(c.min, 6) : "-") +
                  ", макс.: " + (c.count ? StatsNumber(c.max, 6) : "-"));
        page.Text("Границы: " + Optional(c.low, 6) + " .. " + Optional(c.high, 6) + "; Cp: " + Optional(c.cp, 3) +
                  ", Cpk: " + Optional(c.cpk, 3));
        const double h = (area.height() - row * 8) / 2;
        page.Picture(chHistogram, 0, 1, h);
        page.Skip(h);
        page.Picture(chRun, 0, 1, h);
    }
    p.end();
    lbStatus->setStyleSheet({});
    lbStatus->setText(U("Сохранено: " + path));
}
