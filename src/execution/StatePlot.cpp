#include "execution/StatePlot.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/Dialogs.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

// What the operator sees first: the three phases in and the three currents out.
bool ShownAtFirst(size_t k) { return k <= 2 || (k >= 6 && k <= 8); }

// Two points per pixel of a wide plot are all the eye can take.
constexpr size_t kMaxPoints = 1600;

void FitAxis(QValueAxis* axis, double lo, double hi) {
    if (!(lo <= hi)) {
        axis->setRange(0, 1);
        return;
    }
    const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(1.0, std::fabs(hi) * 0.05);
    axis->setRange(lo - pad, hi + pad);
}

}  // namespace

TStatePlot::TStatePlot(QWidget* parent) : QWidget(parent) {
    setObjectName("StatePlot");
    clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    timeAxis_ = new QDateTimeAxis(chart_);
    timeAxis_->setFormat("hh:mm:ss");
    timeAxis_->setTitleText(U("Время"));
    valueAxis_ = new QValueAxis(chart_);
    valueAxis_->setTitleText(U("U, I"));
    speedAxis_ = new QValueAxis(chart_);
    speedAxis_->setTitleText(U("Обороты"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    chart_->addAxis(speedAxis_, Qt::AlignRight);

    lstSeries = new QListWidget(this);
    lstSeries->setObjectName("lstSeries");
    lstSeries->setMaximumWidth(130);
    for (size_t k = 0; k < kStateSeries.size(); ++k) {
        auto* s = new QLineSeries(chart_);
        s->setName(U(kStateSeries[k].name));
        chart_->addSeries(s);
        s->attachAxis(timeAxis_);
        s->attachAxis(kStateSeries[k].speed ? speedAxis_ : valueAxis_);
        s->setVisible(ShownAtFirst(k));
        series_[k] = s;
        auto* item = new QListWidgetItem(U(kStateSeries[k].name), lstSeries);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(ShownAtFirst(k) ? Qt::Checked : Qt::Unchecked);
    }
    // A hidden series keeps no entry in the legend either.
    auto legendFollows = [this](size_t k) {
        for (auto* m : chart_->legend()->markers(series_[k])) m->setVisible(series_[k]->isVisible());
    };
    for (size_t k = 0; k < kStateSeries.size(); ++k) legendFollows(k);
    connect(lstSeries, &QListWidget::itemChanged, this, [this, legendFollows](QListWidgetItem* item) {
        const size_t k = static_cast<size_t>(lstSeries->row(item));
        if (k >= series_.size()) return;
        series_[k]->setVisible(item->checkState() == Qt::Checked);
        legendFollows(k);
        dirty_ = true;
    });

    view_ = new QChartView(chart_, this);
    view_->setObjectName("cvPlot");
    view_->setRenderHint(QPainter::Antialiasing);
    // A frame drawn with the mouse zooms in, the right button zooms out.
    view_->setRubberBand(QChartView::RectangleRubberBand);
    connect(timeAxis_, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!settingAxes_) zoomed_ = true;
    });

    btPause = new QPushButton(U("Пауза"), this);
    btPause->setObjectName("btPlotPause");
    cbSpan = new QComboBox(this);
    cbSpan->setObjectName("cbPlotSpan");
    cbSpan->addItems({U("1 мин"), U("5 мин"), U("10 мин")});
    cbSpan->setCurrentIndex(1);
    btZoomReset = new QPushButton(U("Весь интервал"), this);
    btZoomReset->setObjectName("btPlotZoomReset");
    btSave = new QPushButton(U("Сохранить график"), this);
    btSave->setObjectName("btPlotSave");
    connect(btPause, &QPushButton::clicked, this, [this] {
        paused_ = !paused_;
        btPause->setText(paused_ ? U("Продолжить") : U("Пауза"));
        dirty_ = true;
    });
    connect(cbSpan, &QComboBox::currentIndexChanged, this, [this] {
        zoomed_ = false;
        dirty_ = true;
    });
    connect(btZoomReset, &QPushButton::clicked, this, [this] {
        zoomed_ = false;
        dirty_ = true;
        Redraw();
    });
    connect(btSave, &QPushButton::clicked, this, [this] { SavePicture(); });

    auto* tools = new QHBoxLayout;
    tools->addWidget(btPause);
    tools->addWidget(cbSpan);
    tools->addWidget(btZoomReset);
    tools->addStretch();
    tools->addWidget(btSave);
    auto* body = new QHBoxLayout;
    body->addWidget(lstSeries);
    body->addWidget(view_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addLayout(body, 1);

    TimerRedraw.setInterval(kRedrawMs);
    connect(&TimerRedraw, &QTimer::timeout, this, [this] { TimerRedrawTimer(); });
}

void TStatePlot::AddState(const float* buffPar) { history_.Add(clock_(), buffPar); }

int TStatePlot::SpanMinutes() const {
    static constexpr int kMinutes[] = {1, 5, 10};
    const int i = cbSpan->currentIndex();
    return i >= 0 && i < 3 ? kMinutes[i] : 5;
}

bool TStatePlot::SeriesShown(size_t series) const {
    return series < series_.size() && series_[series]->isVisible();
}

void TStatePlot::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    dirty_ = true;
    TimerRedraw.start();
}

void TStatePlot::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    TimerRedraw.stop();
}

void TStatePlot::TimerRedrawTimer() {
    if (paused_ || (!dirty_ && history_.Version() == drawnVersion_)) return;
    Redraw();
}

void TStatePlot::Redraw() {
    ++redraws_;
    dirty_ = false;
    drawnVersion_ = history_.Version();
    const int64_t now = clock_();
    const int64_t from = now - int64_t{SpanMinutes()} * 60000;
    const auto samples = history_.Range(from, now);
    double lo = INFINITY, hi = -INFINITY, speedLo = INFINITY, speedHi = -INFINITY;
    for (size_t k = 0; k < series_.size(); ++k) {
        if (!series_[k]->isVisible()) {
            if (series_[k]->count() > 0) series_[k]->clear();
            continue;
        }
        QList<QPointF> points;
        const auto values = SeriesPoints(samples, k, kMaxPoints);
        points.reserve(static_cast<qsizetype>(values.size()));
        for (const auto& [ms, v] : values) {
            points.append(QPointF(static_cast<qreal>(ms), v));
            double& l = kStateSeries[k].speed ? speedLo : lo;
            double& h = kStateSeries[k].speed ? speedHi : hi;
            l = std::min(l, static_cast<double>(v));
            h = std::max(h, static_cast<double>(v));
        }
        series_[k]->replace(points);
    }
    if (zoomed_) return;
    settingAxes_ = true;
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(now));
    FitAxis(valueAxis_, lo, hi);
    FitAxis(speedAxis_, speedLo, speedHi);
    settingAxes_ = false;
}

void TStatePlot::SavePicture() {
    platform::FileDialogRequest r;
    r.caption = "Сохранить график";
    r.filter = "Рисунок PNG (*.png)";
    r.fileName = "plot.png";
    std::string path = platform::Dialogs::Current().SaveFileName(r);
    if (path.empty()) return;
    if (path.size() < 4 || QString::fromStdString(path.substr(path.size() - 4)).toLower() != ".png") path += ".png";
    if (!view_->grab().save(QString::fromStdString(path), "PNG"))
        platform::Dialogs::Current().Show("Не удалось записать рисунок в файл " + path, "Сохранить график",
                                          platform::DialogIcon::Warning);
}
