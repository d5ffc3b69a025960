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

// Qt Charts lays out every point of every shown series again whenever the time axis moves, at
// about a microsecond a point: the shown series share this many points, so a redraw stays near a
// millisecond however long the history. Each series keeps the lows and highs of its stretches.
constexpr size_t kPointBudget = 1200;
constexpr size_t kMinPointsPerPiece = 12;

// The range moves only when the values leave it or shrink to a small part of it: every change of
// an axis lays the whole chart out again, which costs more than the lines themselves.
void FitAxis(QValueAxis* axis, double lo, double hi) {
    if (!(lo <= hi)) {
        if (axis->min() != 0 || axis->max() != 1) axis->setRange(0, 1);
        return;
    }
    const double extent = std::max(hi - lo, std::max(1.0, std::fabs(hi) * 0.05));
    const bool inside = axis->min() <= lo && hi <= axis->max();
    if (inside && axis->max() - axis->min() <= 4 * extent) return;
    const double pad = extent * 0.1;
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
    // A colour of its own for each quantity, the phases in the colours of their wires (A yellow,
    // B green, C red), inputs darker than outputs.
    static constexpr const char* kColours[kStateSeries.size()] = {
        "#b8860b", "#1e7b1e", "#b22222", "#7d3c98", "#1f618d", "#117a65", "#e6a700", "#2ecc40",
        "#ff4136", "#2c3e50", "#7f8c8d", "#a04000", "#17a589", "#af7ac5", "#f39c12", "#5dade2"};
    for (size_t k = 0; k < kStateSeries.size(); ++k) {
        const QColor colour(kColours[k]);
        for (size_t j = 0; j < kPieces; ++j) {
            auto* s = new QLineSeries(chart_);
            s->setName(U(kStateSeries[k].name));
            chart_->addSeries(s);
            s->attachAxis(timeAxis_);
            s->attachAxis(kStateSeries[k].speed ? speedAxis_ : valueAxis_);
            s->setVisible(ShownAtFirst(k));
            // A cosmetic one-pixel pen is drawn straight into the picture; a wider one is first
            // stroked into an outline, which cost more than the rest of a redraw together.
            QPen pen = s->pen();
            pen.setColor(colour);
            pen.setWidth(0);
            pen.setCosmetic(true);
            s->setPen(pen);
            pieces_[k][j] = s;
        }
        auto* item = new QListWidgetItem(U(kStateSeries[k].name), lstSeries);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(ShownAtFirst(k) ? Qt::Checked : Qt::Unchecked);
    }
    // One legend entry per quantity shown: its growing piece's.
    auto legendFollows = [this](size_t k) {
        for (size_t j = 0; j < kPieces; ++j)
            for (auto* m : chart_->legend()->markers(pieces_[k][j]))
                m->setVisible(j == kPieces - 1 && pieces_[k][j]->isVisible());
        // The speed's own axis only while a speed is shown.
        bool speed = false;
        for (size_t q = 0; q < pieces_.size(); ++q) speed = speed || (kStateSeries[q].speed && SeriesShown(q));
        speedAxis_->setVisible(speed);
    };
    for (size_t k = 0; k < kStateSeries.size(); ++k) legendFollows(k);
    connect(lstSeries, &QListWidget::itemChanged, this, [this, legendFollows](QListWidgetItem* item) {
        const size_t k = static_cast<size_t>(lstSeries->row(item));
        if (k >= pieces_.size()) return;
        for (QLineSeries* s : pieces_[k]) s->setVisible(item->checkState() == Qt::Checked);
        legendFollows(k);
        dirty_ = true;
    });

    view_ = new QChartView(chart_, this);
    view_->setObjectName("cvPlot");
    // A frame drawn with the mouse zooms in, the right button zooms out.
    view_->setRubberBand(QChartView::RectangleRubberBand);
    view_->setRenderHint(QPainter::Antialiasing, false);
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
    return series < pieces_.size() && pieces_[series][kPieces - 1]->isVisible();
}

QList<QPointF> TStatePlot::PointsOf(size_t series) const {
    QList<QPointF> all;
    if (series >= pieces_.size()) return all;
    for (QLineSeries* s : pieces_[series])
        for (const QPointF& p : s->points())
            if (all.isEmpty() || p.x() > all.last().x()) all.append(p);  // the joins appear twice
    return all;
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
    drawnVersion_ = history_.Version();
    // The time axis ends at the next tenth of the span, so it steps forward now and then
    // instead of on every redraw, and the pieces before the last stay as they are meanwhile.
    const int64_t spanMs = int64_t{SpanMinutes()} * 60000;
    const int64_t step = spanMs / static_cast<int64_t>(kPieces);
    const int64_t now = clock_();
    const int64_t end = (now / step + 1) * step;
    const int64_t from = end - spanMs;
    // Zoomed in, the points are spent on the stretch in view, all of it drawn every time.
    const int64_t viewFrom = zoomed_ ? std::max<int64_t>(from, timeAxis_->min().toMSecsSinceEpoch()) : from;
    const int64_t viewTo = zoomed_ ? std::min<int64_t>(end, timeAxis_->max().toMSecsSinceEpoch()) : end;
    const bool whole = dirty_ || zoomed_ || from != drawnFrom_ || end != drawnEnd_;
    dirty_ = false;
    size_t shown = 0;
    for (size_t k = 0; k < pieces_.size(); ++k) shown += SeriesShown(k);
    const size_t perPiece = std::max(kMinPointsPerPiece, kPointBudget / std::max<size_t>(shown, 1) / kPieces);
    const int64_t pieceMs = std::max<int64_t>(1, (viewTo - viewFrom) / static_cast<int64_t>(kPieces));

    // The value ranges, per axis (values, speed), of the pieces that stay and of the last ones.
    double fixedLo[2] = {INFINITY, INFINITY}, fixedHi[2] = {-INFINITY, -INFINITY};
    double lastLo[2] = {INFINITY, INFINITY}, lastHi[2] = {-INFINITY, -INFINITY};
    piecesRedrawn_ = 0;
    for (size_t k = 0; k < pieces_.size(); ++k) {
        if (!SeriesShown(k)) {
            if (whole)
                for (QLineSeries* s : pieces_[k])
                    if (s->count() > 0) s->clear();
            continue;
        }
        const int axis = kStateSeries[k].speed ? 1 : 0;
        for (size_t j = whole ? 0 : kPieces - 1; j < kPieces; ++j) {
            const int64_t t0 = viewFrom + static_cast<int64_t>(j) * pieceMs;
            const int64_t t1 = j == kPieces - 1 ? viewTo : t0 + pieceMs - 1;
            QList<QPointF> points;
            // Each piece begins where the one before ended, so the line runs on unbroken.
            const size_t first = history_.Span(t0, t1).first;
            if (first > 0 && first <= history_.Size() && history_.At(first - 1).wallMs >= viewFrom) {
                const auto& join = history_.At(first - 1);
                points.append(QPointF(static_cast<qreal>(join.wallMs), join.values[k]));
            }
            double& l = j == kPieces - 1 ? lastLo[axis] : fixedLo[axis];
            double& h = j == kPieces - 1 ? lastHi[axis] : fixedHi[axis];
            for (const auto& [ms, v] : SeriesPoints(history_, t0, t1, k, perPiece)) {
                points.append(QPointF(static_cast<qreal>(ms), v));
                l = std::min(l, static_cast<double>(v));
                h = std::max(h, static_cast<double>(v));
            }
            pieces_[k][j]->replace(points);
            ++piecesRedrawn_;
        }
    }
    if (whole) {
        // Kept for the axes of the redraws until the next step, which leave those pieces alone.
        std::copy(std::begin(fixedLo), std::end(fixedLo), fixedLo_);
        std::copy(std::begin(fixedHi), std::end(fixedHi), fixedHi_);
        drawnFrom_ = from;
        drawnEnd_ = end;
    }
    if (zoomed_) return;
    settingAxes_ = true;
    if (timeAxis_->min().toMSecsSinceEpoch() != from || timeAxis_->max().toMSecsSinceEpoch() != end)
        timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(end));
    FitAxis(valueAxis_, std::min(lastLo[0], fixedLo_[0]), std::max(lastHi[0], fixedHi_[0]));
    FitAxis(speedAxis_, std::min(lastLo[1], fixedLo_[1]), std::max(lastHi[1], fixedHi_[1]));
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
