#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "execution/StateHistory.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLineSeries;
class QListWidget;
class QPushButton;
class QValueAxis;

// "Графики": the station's measured values against time over the last minutes. Answers only
// go into the history; the plot is redrawn from it by its own timer, at most ten times a
// second, and only while the page is shown, not paused and something changed.
//
// Each quantity is drawn as ten pieces, one per tenth of the span: Qt Charts lays a line out
// again, point by point, whenever it changes, so a redraw replaces only the last piece, the one
// that grows, and the others are laid out again only when the time axis steps on by a tenth.
class TStatePlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRedrawMs = 100;
    static constexpr size_t kPieces = 10;

    explicit TStatePlot(QWidget* parent = nullptr);

    // One state answer's values (the decoder's buffer).
    void AddState(const float* buffPar);
    TStateHistory& History() { return history_; }
    // Milliseconds since 1970; the system clock unless a test sets another.
    void SetClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

    void TimerRedrawTimer();
    void Redraw();
    int RedrawCount() const { return redraws_; }
    bool Paused() const { return paused_; }
    bool Zoomed() const { return zoomed_; }
    // The visible span in minutes (1, 5 or 10).
    int SpanMinutes() const;
    bool SeriesShown(size_t series) const;
    // The growing piece, which carries the quantity's name in the legend.
    QLineSeries* Series(size_t series) { return pieces_[series][kPieces - 1]; }
    // Every point drawn for the quantity, oldest first, as the pieces hold them joined.
    QList<QPointF> PointsOf(size_t series) const;
    // How many pieces the last redraw laid out again.
    size_t PiecesRedrawn() const { return piecesRedrawn_; }

    QTimer TimerRedraw;
    QListWidget* lstSeries;
    QPushButton* btPause;
    QComboBox* cbSpan;
    QPushButton* btZoomReset;
    QPushButton* btSave;
    QChartView* View() { return view_; }
    QDateTimeAxis* TimeAxis() { return timeAxis_; }
    QValueAxis* ValueAxis() { return valueAxis_; }
    QValueAxis* SpeedAxis() { return speedAxis_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void SavePicture();

    TStateHistory history_;
    std::function<int64_t()> clock_;
    QChart* chart_;
    QChartView* view_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* valueAxis_;
    QValueAxis* speedAxis_;
    std::array<std::array<QLineSeries*, kPieces>, kStateSeries.size()> pieces_{};
    uint64_t drawnVersion_ = ~0ull;
    int64_t drawnFrom_ = 0, drawnEnd_ = 0;  // the time axis of the last whole redraw
    // The value ranges of the pieces that stay, per axis, from the last whole redraw.
    double fixedLo_[2] = {0, 0}, fixedHi_[2] = {0, 0};
    size_t piecesRedrawn_ = 0;
    bool dirty_ = true;      // the choice of series or span changed since the last redraw
    bool paused_ = false;
    bool zoomed_ = false;    // the operator zoomed: the axes stay where he put them
    bool settingAxes_ = false;
    int redraws_ = 0;
};
