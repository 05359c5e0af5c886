#pragma once
// Draws one measurement of a record from its index: both channels in millivolts (the
// min-max band per pixel column at coarse zoom, the samples themselves when a column
// holds fewer than two), the time axis since the measurement's start, a voltage scale
// per channel, measurement starts and stops, settings changes, overflow marks and
// not-armed stretches, and two cursors. Routes the wheel, drags, clicks and keys to
// zoom, pan and the cursors; all record logic stays in the index.
#include <QColor>
#include <QLine>
#include <QPointF>
#include <QRect>
#include <QVector>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "RecordIndex.h"
#include "ViewSpan.h"

namespace rollmode::viewer {

class TWaveformView : public QWidget {
    Q_OBJECT
public:
    // Instants per column below which the samples are drawn instead of the band.
    static constexpr double kSamplesBelowPerColumn = 2.0;
    static constexpr int kMarkerStrip = 12;  // pixel rows above the traces for markers

    static const QColor kChannelColour[2];
    static const QColor kOverflowColour;
    static const QColor kSettingsColour;
    static const QColor kNotArmedColour;
    static const QColor kStartColour;
    static const QColor kStopColour;

    explicit TWaveformView(QWidget* parent = nullptr);

    void SetIndex(std::shared_ptr<const records::TRecordIndex> index);
    // Measurements of the record (re-read after growth); the shown one stays.
    const std::vector<records::Measurement>& Measurements() const { return measurements_; }
    int MeasurementShown() const { return shown_; }
    void ShowMeasurement(int position);
    // The first measurement that holds instants, whole.
    void ShowFirstMeasurement();
    // Re-reads what the index covers after growth; a view at the end stays there.
    void DataGrew();

    void SetChannelShown(int channel, bool on);
    bool ChannelShown(int channel) const { return channelShown_[channel]; }

    void ShowWhole();
    void ZoomBy(double factor);  // about the middle of the view
    void PanBy(double columns);
    void PanTo(double firstInstant);
    void ShowStart();
    void ShowEnd();
    const TViewSpan& Span() const { return span_; }

    // Cursors 0 and 1, as instants; cleared by Escape.
    void SetCursor(int which, std::optional<uint64_t> instant);
    std::optional<uint64_t> Cursor(int which) const { return cursors_[which]; }
    QString CursorText() const;

    // The rectangle the traces are drawn in, and a channel's lane within it.
    QRect PlotRect() const;
    QRect LaneRect(int channel) const;
    // The pixel column of the widget where an instant lies.
    int XOfInstant(double instant) const;
    // Millivolt range of a channel's lane.
    std::pair<double, double> Range(int channel) const { return {rangeLo_[channel], rangeHi_[channel]}; }
    // What the markers within a few pixels of widget column x mean, one per line.
    QString MarkerText(int x) const;

signals:
    void viewChanged();
    void cursorsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    enum class Drag { None, Pan, Band };

    const records::Measurement* Shown() const;
    uint64_t DrawableEnd() const;  // one past the last instant that may be drawn
    bool InShown(const records::IndexEvent& event) const;
    void UpdateLimits();
    void UpdateRanges();
    void Changed();
    double YOf(int channel, double mv) const;
    uint64_t InstantAtX(int x) const;

    void DrawBackground(QPainter& painter, const QRect& plot);
    void DrawNotArmed(QPainter& painter, const QRect& plot);
    // Grid lines under the traces (grid) or the labels beside the plot.
    void DrawVoltageScales(QPainter& painter, bool grid);
    void DrawTimeAxis(QPainter& painter, const QRect& plot, bool grid);
    void DrawEnvelope(QPainter& painter, const QRect& plot);
    void DrawSamples(QPainter& painter, const QRect& plot);
    void DrawMarkers(QPainter& painter, const QRect& plot);
    void DrawCursors(QPainter& painter, const QRect& plot);

    std::shared_ptr<const records::TRecordIndex> index_;
    std::vector<records::Measurement> measurements_;
    int FirstWithInstants() const;

    int shown_ = -1;
    bool chosen_ = false;  // the user picked the measurement shown
    TViewSpan span_;
    std::array<bool, 2> channelShown_{true, true};
    std::array<double, 2> rangeLo_{-1.0, -1.0}, rangeHi_{1.0, 1.0};
    std::array<std::optional<uint64_t>, 2> cursors_;

    Drag drag_ = Drag::None;
    QPoint dragFrom_, dragTo_;
    double dragFirst_ = 0.0;
    bool dragMoved_ = false;

    // Reused between paints so drawing allocates nothing once the width settled.
    std::vector<records::MinMaxMv> envelope_;
    std::vector<records::RawInstant> raw_;
    QVector<QLine> lines_;
    QVector<QLineF> segments_;
    QVector<QRectF> dots_;
};

}  // namespace rollmode::viewer
