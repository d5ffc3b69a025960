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
class TStatePlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRedrawMs = 100;

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
    QLineSeries* Series(size_t series) { return series_[series]; }

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
    std::array<QLineSeries*, kStateSeries.size()> series_{};
    uint64_t drawnVersion_ = ~0ull;
    bool dirty_ = true;      // the choice of series or span changed since the last redraw
    bool paused_ = false;
    bool zoomed_ = false;    // the operator zoomed: the axes stay where he put them
    bool settingAxes_ = false;
    int redraws_ = 0;
};
