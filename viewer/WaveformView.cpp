#include "WaveformView.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "AxisFormat.h"
#include "EventText.h"

namespace rollmode::viewer {

using records::IndexEvent;

const QColor TWaveformView::kChannelColour[2] = {QColor(235, 200, 0), QColor(0, 190, 235)};
const QColor TWaveformView::kOverflowColour(230, 0, 0);
const QColor TWaveformView::kSettingsColour(255, 140, 0);
const QColor TWaveformView::kNotArmedColour(85, 85, 85);
const QColor TWaveformView::kStartColour(0, 200, 80);
const QColor TWaveformView::kStopColour(200, 200, 200);

namespace {

constexpr int kLeftMargin = 72;
constexpr int kRightMargin = 10;
constexpr int kBottomMargin = 26;
constexpr int kTopMargin = 4;
constexpr int kLaneGap = 6;
constexpr int kClickSlack = 3;  // pixels a press may move and still count as a click
constexpr int kMarkerReach = 3;  // pixels either side of the mouse a tooltip looks at

const QColor kBackground(16, 20, 24);
const QColor kGrid(48, 54, 60);
const QColor kText(200, 200, 200);
const QColor kCursorColour(255, 255, 255);

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TWaveformView::TWaveformView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);  // hover over a marker shows what it means
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TWaveformView::SetIndex(std::shared_ptr<const records::TRecordIndex> index) {
    index_ = std::move(index);
    measurements_.clear();
    shown_ = -1;
    chosen_ = false;
    cursors_ = {};
    DataGrew();
}

const records::Measurement* TWaveformView::Shown() const {
    if (shown_ < 0 || shown_ >= static_cast<int>(measurements_.size())) return nullptr;
    return &measurements_[static_cast<std::size_t>(shown_)];
}

uint64_t TWaveformView::DrawableEnd() const {
    const records::Measurement* m = Shown();
    if (!m || !index_) return 0;
    return std::min(m->endInstant, index_->PublishedInstants());
}

void TWaveformView::DataGrew() {
    if (!index_) {
        update();
        return;
    }
    measurements_ = index_->Measurements();
    const int first = FirstWithInstants();
    if (first >= 0 && (shown_ < 0 || shown_ >= static_cast<int>(measurements_.size()) || (!chosen_ && shown_ != first))) {
        // Until the user picks one, show the first measurement that holds instants:
        // while the index is still built it may only appear later.
        shown_ = first;
        UpdateLimits();
        span_.ShowWhole();
    } else if (Shown()) {
        span_.Grow(DrawableEnd());
    }
    UpdateRanges();
    Changed();
}

int TWaveformView::FirstWithInstants() const {
    // What precedes the first start is worth showing only when it holds instants.
    for (std::size_t i = 0; i < measurements_.size(); ++i) {
        if (measurements_[i].endInstant > measurements_[i].firstInstant) return static_cast<int>(i);
    }
    return measurements_.empty() ? -1 : 0;
}

void TWaveformView::ShowFirstMeasurement() {
    chosen_ = false;
    measurements_ = index_ ? index_->Measurements() : std::vector<records::Measurement>{};
    shown_ = -1;
    DataGrew();
}

void TWaveformView::ShowMeasurement(int position) {
    if (position < 0 || position >= static_cast<int>(measurements_.size())) return;
    shown_ = position;
    chosen_ = true;
    cursors_ = {};
    UpdateLimits();
    span_.ShowWhole();
    UpdateRanges();
    emit cursorsChanged();
    Changed();
}

bool TWaveformView::InShown(const IndexEvent& event) const {
    // Records at the shown measurement's last instant may already open the next one.
    const records::Measurement* m = Shown();
    if (!m || event.offset < m->startOffset) return false;
    const auto next = static_cast<std::size_t>(shown_) + 1;
    return next >= measurements_.size() || event.offset < measurements_[next].startOffset;
}

void TWaveformView::UpdateLimits() {
    const records::Measurement* m = Shown();
    span_.SetColumns(std::max(1, PlotRect().width()));
    if (m) span_.SetLimits(m->firstInstant, DrawableEnd());
    else span_.SetLimits(0, 0);
}

void TWaveformView::UpdateRanges() {
    // Each channel's lane spans its extremes over the whole measurement.
    const records::Measurement* m = Shown();
    const uint64_t end = DrawableEnd();
    for (int c = 0; c < 2; ++c) {
        rangeLo_[c] = -1.0;
        rangeHi_[c] = 1.0;
    }
    if (!m || end <= m->firstInstant) return;
    records::MinMaxMv whole[2];
    index_->Envelope(m->firstInstant, static_cast<double>(end - m->firstInstant), 1, whole);
    for (int c = 0; c < 2; ++c) {
        if (!whole[c].valid) continue;
        double lo = whole[c].min, hi = whole[c].max;
        const double pad = std::max((hi - lo) * 0.05, std::max(std::fabs(hi), std::fabs(lo)) * 0.05 + 1e-3);
        rangeLo_[c] = lo - pad;
        rangeHi_[c] = hi + pad;
    }
}

void TWaveformView::Changed() {
    update();
    emit viewChanged();
}

void TWaveformView::SetChannelShown(int channel, bool on) {
    channelShown_[channel] = on;
    update();
}

void TWaveformView::ShowWhole() {
    span_.ShowWhole();
    Changed();
}

void TWaveformView::ZoomBy(double factor) {
    span_.ZoomAbout(factor, span_.Columns() / 2.0);
    Changed();
}

void TWaveformView::PanBy(double columns) {
    span_.PanColumns(columns);
    Changed();
}

void TWaveformView::PanTo(double firstInstant) {
    span_.PanTo(firstInstant);
    Changed();
}

void TWaveformView::ShowStart() {
    span_.ShowStart();
    Changed();
}

void TWaveformView::ShowEnd() {
    span_.ShowEnd();
    Changed();
}

void TWaveformView::SetCursor(int which, std::optional<uint64_t> instant) {
    cursors_[which] = instant;
    update();
    emit cursorsChanged();
}

QRect TWaveformView::PlotRect() const {
    return QRect(kLeftMargin, kTopMargin + kMarkerStrip, std::max(1, width() - kLeftMargin - kRightMargin),
                 std::max(1, height() - kTopMargin - kMarkerStrip - kBottomMargin));
}

QRect TWaveformView::LaneRect(int channel) const {
    const QRect plot = PlotRect();
    if (!(channelShown_[0] && channelShown_[1])) return plot;
    const int half = (plot.height() - kLaneGap) / 2;
    if (channel == 0) return QRect(plot.left(), plot.top(), plot.width(), half);
    return QRect(plot.left(), plot.bottom() + 1 - half, plot.width(), half);
}

int TWaveformView::XOfInstant(double instant) const {
    // A stretch may begin hours before the view: keep the column within int.
    const double column = std::clamp(std::floor(span_.ColumnOf(instant)), -1e6, 1e6);
    return PlotRect().left() + static_cast<int>(column);
}

double TWaveformView::YOf(int channel, double mv) const {
    const QRect lane = LaneRect(channel);
    const double span = rangeHi_[channel] - rangeLo_[channel];
    const double y = lane.bottom() - (mv - rangeLo_[channel]) / span * (lane.height() - 1);
    return std::clamp(y, static_cast<double>(lane.top()), static_cast<double>(lane.bottom()));
}

uint64_t TWaveformView::InstantAtX(int x) const {
    const double instant = std::floor(span_.InstantAt(x - PlotRect().left()));
    const uint64_t end = DrawableEnd();
    if (end <= span_.Begin()) return span_.Begin();
    return static_cast<uint64_t>(std::clamp(instant, static_cast<double>(span_.Begin()), static_cast<double>(end - 1)));
}

QString TWaveformView::CursorText() const {
    const records::Measurement* m = Shown();
    if (!m || !index_ || (!cursors_[0] && !cursors_[1])) return tr("Cursors: click to place 1, right-click to place 2");
    QStringList parts;
    double seconds[2] = {NAN, NAN};
    for (int i = 0; i < 2; ++i) {
        if (!cursors_[i]) continue;
        const uint64_t instant = *cursors_[i];
        const records::RecordSettings settings = index_->SettingsAt(instant);
        const double perSample = settings.samplesPerSecond ? 1.0 / settings.samplesPerSecond : 0.0;
        seconds[i] = index_->SecondsAt(*m, instant);
        records::RawInstant raw;
        QString values;
        if (index_->ReadInstants(instant, 1, &raw) == 1) {
            if (raw.notArmed) {
                values = tr("not armed");
            } else {
                values = QStringLiteral("A %1  B %2").arg(Q(FormatMillivolts(raw.mvA)), Q(FormatMillivolts(raw.mvB)));
            }
        }
        parts << tr("%1: %2  %3").arg(i + 1).arg(Q(FormatInstantTime(seconds[i], perSample)), values);
    }
    if (cursors_[0] && cursors_[1]) {
        const double dt = seconds[1] - seconds[0];
        parts << tr("\u0394t %1  1/\u0394t %2")
                     .arg(Q(FormatDuration(dt)), dt != 0.0 ? Q(FormatFrequency(1.0 / std::fabs(dt))) : QStringLiteral("-"));
    }
    return parts.join(QStringLiteral("   |   "));
}

QString TWaveformView::MarkerText(int x) const {
    if (!index_ || !Shown()) return {};
    const int column = x - PlotRect().left();
    const double from = std::max(static_cast<double>(span_.Begin()), std::floor(span_.InstantAt(column - kMarkerReach)));
    const double to = std::ceil(span_.InstantAt(column + kMarkerReach + 1));
    if (to < from) return {};
    QStringList lines;
    int overflows = 0;
    for (const IndexEvent& e : index_->Events(static_cast<uint64_t>(from), static_cast<uint64_t>(to) + 1)) {
        if (!InShown(e)) continue;
        if (e.kind == IndexEvent::Kind::Overflow) {
            ++overflows;
            continue;
        }
        const QString text = Q(DescribeEvent(e));
        if (!lines.contains(text)) lines << text;
    }
    if (overflows == 1) lines << tr("Overflow: samples lost");
    if (overflows > 1) lines << tr("%1 overflows: samples lost").arg(overflows);
    for (const records::NotArmedStretch& s : index_->NotArmed(static_cast<uint64_t>(from), static_cast<uint64_t>(to) + 1)) {
        lines << tr("Not armed: %1 instants").arg(s.count);
        break;
    }
    return lines.join('\n');
}

// --- painting ---------------------------------------------------------------------

void TWaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect plot = PlotRect();
    if (span_.Columns() != plot.width()) {
        span_.SetColumns(plot.width());
    }
    DrawBackground(painter, plot);
    if (!index_ || !Shown()) {
        painter.setPen(kText);
        painter.drawText(plot, Qt::AlignCenter, index_ ? tr("No samples yet") : tr("File > Open a record file"));
        return;
    }
    painter.setClipRect(plot.adjusted(0, -kMarkerStrip, 0, 0));
    DrawNotArmed(painter, plot);
    DrawVoltageScales(painter, true);
    DrawTimeAxis(painter, plot, true);
    if (span_.PerColumn() >= kSamplesBelowPerColumn) {
        DrawEnvelope(painter, plot);
    } else {
        DrawSamples(painter, plot);
    }
    DrawMarkers(painter, plot);
    DrawCursors(painter, plot);
    painter.setClipping(false);
    DrawVoltageScales(painter, false);
    DrawTimeAxis(painter, plot, false);
    if (drag_ == Drag::Band && dragMoved_) {
        painter.setPen(QPen(kCursorColour, 1, Qt::DashLine));
        painter.setBrush(QColor(255, 255, 255, 40));
        painter.drawRect(QRect(QPoint(std::min(dragFrom_.x(), dragTo_.x()), plot.top()),
                               QPoint(std::max(dragFrom_.x(), dragTo_.x()), plot.bottom())));
    }
}

void TWaveformView::DrawBackground(QPainter& painter, const QRect& plot) {
    // Each pixel filled once, the margins and then the plot: filling the whole widget
    // first cost about a millisecond a redraw at 1920 x 1080.
    const QRect area = plot.adjusted(0, -kMarkerStrip, 0, 0);
    const QBrush window = palette().window();
    painter.fillRect(QRect(0, 0, width(), area.top()), window);
    painter.fillRect(QRect(0, area.bottom() + 1, width(), height() - area.bottom() - 1), window);
    painter.fillRect(QRect(0, area.top(), area.left(), area.height()), window);
    painter.fillRect(QRect(area.right() + 1, area.top(), width() - area.right() - 1, area.height()), window);
    painter.fillRect(area.adjusted(0, kMarkerStrip - 1, 0, 0), kBackground);
    painter.fillRect(QRect(plot.left(), plot.top() - kMarkerStrip, plot.width(), kMarkerStrip - 1), QColor(28, 32, 38));
}

void TWaveformView::DrawNotArmed(QPainter& painter, const QRect& plot) {
    const uint64_t end = DrawableEnd();
    const double first = std::max(span_.First(), static_cast<double>(span_.Begin()));
    if (end <= first) return;
    const auto from = static_cast<uint64_t>(first);
    const auto to = static_cast<uint64_t>(std::min(std::ceil(span_.Last()) + 1.0, static_cast<double>(end)));
    int lastRight = -1;
    for (const records::NotArmedStretch& s : index_->NotArmed(from, to)) {
        const int left = std::max(plot.left(), XOfInstant(static_cast<double>(s.firstInstant)));
        const int right = std::min(plot.right(), std::max(left, XOfInstant(static_cast<double>(s.firstInstant + s.count)) - 1));
        if (right <= lastRight) continue;  // many stretches in one column: one rectangle
        painter.fillRect(QRect(QPoint(std::max(left, lastRight + 1), plot.top()), QPoint(right, plot.bottom())), kNotArmedColour);
        lastRight = right;
    }
}

void TWaveformView::DrawEnvelope(QPainter& painter, const QRect& plot) {
    const uint64_t end = DrawableEnd();
    const double first = span_.First();
    if (end <= first) return;
    const int columns = static_cast<int>(
        std::min(static_cast<double>(plot.width()), std::ceil(span_.ColumnOf(static_cast<double>(end)))));
    if (columns <= 0) return;
    if (envelope_.size() < static_cast<std::size_t>(2 * columns)) envelope_.resize(static_cast<std::size_t>(2 * plot.width()));
    index_->Envelope(static_cast<uint64_t>(first), span_.PerColumn(), columns, envelope_.data());
    for (int c = 0; c < 2; ++c) {
        if (!channelShown_[c]) continue;
        lines_.clear();
        const records::MinMaxMv* previous = nullptr;
        for (int x = 0; x < columns; ++x) {
            const records::MinMaxMv& v = envelope_[static_cast<std::size_t>(2 * x + c)];
            if (!v.valid) {
                previous = nullptr;
                continue;
            }
            // Reach to the neighbour's band so a steep edge leaves no gap.
            double hi = v.max, lo = v.min;
            if (previous) {
                hi = std::max(hi, static_cast<double>(previous->min));
                lo = std::min(lo, static_cast<double>(previous->max));
            }
            const int px = plot.left() + x;
            lines_.append(QLine(px, static_cast<int>(std::lround(YOf(c, hi))), px, static_cast<int>(std::lround(YOf(c, lo)))));
            previous = &v;
        }
        painter.setPen(QPen(kChannelColour[c], 0));
        painter.drawLines(lines_);
    }
}

void TWaveformView::DrawSamples(QPainter& painter, const QRect& plot) {
    const uint64_t end = DrawableEnd();
    const auto first = static_cast<uint64_t>(std::floor(span_.First()));
    if (end <= first) return;
    const std::size_t wanted = static_cast<std::size_t>(std::ceil(plot.width() * span_.PerColumn())) + 2;
    const std::size_t count = std::min<uint64_t>(wanted, end - first);
    if (raw_.size() < count) raw_.resize(count);
    const std::size_t got = index_->ReadInstants(first, count, raw_.data());
    const bool dots = span_.PerColumn() <= 1.0 / 6.0;
    // Separate segments: a long antialiased polyline through noise costs the stroker
    // far more than the same segments one by one.
    painter.setRenderHint(QPainter::Antialiasing, span_.PerColumn() < 1.0);
    for (int c = 0; c < 2; ++c) {
        if (!channelShown_[c]) continue;
        painter.setPen(QPen(kChannelColour[c], 1.2));
        painter.setBrush(kChannelColour[c]);
        segments_.clear();
        dots_.clear();
        bool joined = false;  // the previous instant was a sample to join
        QPointF previous;
        for (std::size_t i = 0; i < got; ++i) {
            const records::RawInstant& r = raw_[i];
            const float mv = c == 0 ? r.mvA : r.mvB;
            if (r.notArmed || std::isnan(mv)) {
                joined = false;
                continue;
            }
            // A sample sits in the middle of its instant.
            const QPointF point(plot.left() + span_.ColumnOf(static_cast<double>(r.instant) + 0.5), YOf(c, mv));
            if (joined) segments_.append(QLineF(previous, point));
            else if (i + 1 >= got || raw_[i + 1].notArmed) dots_.append(QRectF(point.x() - 1.5, point.y() - 1.5, 3, 3));
            if (dots) dots_.append(QRectF(point.x() - 2.0, point.y() - 2.0, 4.0, 4.0));
            previous = point;
            joined = true;
        }
        painter.drawLines(segments_);
        for (const QRectF& dot : dots_) painter.drawEllipse(dot);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
}

void TWaveformView::DrawMarkers(QPainter& painter, const QRect& plot) {
    const uint64_t end = DrawableEnd();
    const double first = std::max(span_.First(), static_cast<double>(span_.Begin()));
    const auto from = static_cast<uint64_t>(std::floor(first));
    const auto to = static_cast<uint64_t>(std::min(std::ceil(span_.Last()) + 1.0, static_cast<double>(end) + 1.0));
    if (to < from) return;
    const int stripTop = plot.top() - kMarkerStrip;
    int lastOverflow = -1, lastSettings = -1;
    for (const IndexEvent& e : index_->Events(from, to)) {
        if (!InShown(e)) continue;
        int x = XOfInstant(static_cast<double>(e.instant));
        if (x == plot.right() + 1) x = plot.right();  // a stop at the end of the view
        if (x < plot.left() || x > plot.right()) continue;
        switch (e.kind) {
            case IndexEvent::Kind::Overflow:
                // One mark per column however many overflows it holds.
                if (x == lastOverflow) break;
                lastOverflow = x;
                painter.fillRect(QRect(x - 1, stripTop, 3, kMarkerStrip - 1), kOverflowColour);
                painter.fillRect(QRect(x, plot.top(), 1, plot.height()), QColor(230, 0, 0, 110));
                break;
            case IndexEvent::Kind::Settings:
                if (x == lastSettings) break;
                lastSettings = x;
                painter.fillRect(QRect(x - 1, stripTop + 2, 3, kMarkerStrip - 5), kSettingsColour);
                break;
            case IndexEvent::Kind::MeasurementStart:
            case IndexEvent::Kind::MeasurementStop: {
                const QColor colour = e.kind == IndexEvent::Kind::MeasurementStart ? kStartColour : kStopColour;
                painter.fillRect(QRect(x, stripTop, 1, plot.bottom() - stripTop + 1), colour);
                break;
            }
        }
    }
}

void TWaveformView::DrawCursors(QPainter& painter, const QRect& plot) {
    for (int i = 0; i < 2; ++i) {
        if (!cursors_[i]) continue;
        const double x = plot.left() + span_.ColumnOf(static_cast<double>(*cursors_[i]) + 0.5);
        if (x < plot.left() || x > plot.right()) continue;
        painter.setPen(QPen(kCursorColour, 1, i == 0 ? Qt::DashLine : Qt::DotLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.drawText(QPointF(x + 3, plot.top() + 12), QString::number(i + 1));
    }
}

void TWaveformView::DrawVoltageScales(QPainter& painter, bool grid) {
    const QFontMetrics metrics(font());
    for (int c = 0; c < 2; ++c) {
        if (!channelShown_[c]) continue;
        const QRect lane = LaneRect(c);
        const double span = rangeHi_[c] - rangeLo_[c];
        const double step = NiceStep(span / std::max(1.0, lane.height() / 40.0));
        const bool volts = std::max(std::fabs(rangeLo_[c]), std::fabs(rangeHi_[c])) >= 1000.0;
        painter.setPen(kChannelColour[c]);
        if (!grid) painter.drawText(QRect(4, lane.top(), kLeftMargin - 8, metrics.height()), Qt::AlignLeft, c == 0 ? "A" : "B");
        for (double v = std::ceil(rangeLo_[c] / step) * step; v <= rangeHi_[c]; v += step) {
            const int y = static_cast<int>(std::lround(YOf(c, v)));
            if (grid) {
                painter.setPen(kGrid);
                painter.drawLine(lane.left(), y, lane.right(), y);
                continue;
            }
            if (y - lane.top() < metrics.height()) continue;  // keep clear of the channel name
            painter.setPen(kChannelColour[c]);
            painter.drawText(QRect(0, y - metrics.height() / 2, kLeftMargin - 6, metrics.height()),
                             Qt::AlignRight | Qt::AlignVCenter, Q(FormatScaleMillivolts(v, step, volts)));
        }
    }
}

void TWaveformView::DrawTimeAxis(QPainter& painter, const QRect& plot, bool grid) {
    const records::Measurement& m = *Shown();
    const QFontMetrics metrics(font());
    const int labelTop = plot.bottom() + 4;
    const double first = span_.First(), last = span_.Last();
    const double t0 = index_->SecondsAt(m, static_cast<uint64_t>(std::max(0.0, std::floor(first))));
    const double t1 = index_->SecondsAt(m, static_cast<uint64_t>(std::max(0.0, std::ceil(last))));
    painter.setPen(kText);
    if (!std::isfinite(t0) || !std::isfinite(t1) || t1 <= t0) {
        // No rate recorded: count instants instead.
        const double step = NiceStep((last - first) / std::max(1.0, plot.width() / 110.0));
        for (double i = std::ceil(first / step) * step; i <= last && !grid; i += step) {
            const int x = plot.left() + static_cast<int>(span_.ColumnOf(i));
            painter.drawText(QRect(x - 50, labelTop, 100, metrics.height()), Qt::AlignHCenter, QString("#%1").arg(static_cast<qulonglong>(i)));
        }
        return;
    }
    const double step = NiceTimeStep((t1 - t0) / std::max(1.0, plot.width() / 110.0));
    const TimeLabelStyle style = ChooseTimeStyle(step, t0, t1);
    for (double k = std::ceil(t0 / step); k * step <= t1 + step * 1e-9; k += 1.0) {
        const double t = k * step;
        // The tick's instant, then the fraction of an instant at the rate in force there.
        const uint64_t i = index_->InstantAtSeconds(m, t);
        const double ti = index_->SecondsAt(m, i);
        const uint32_t rate = index_->SettingsAt(i).samplesPerSecond;
        const double exact = static_cast<double>(i) + (rate ? (t - ti) * rate : 0.0);
        const int x = XOfInstant(exact + 0.5 * span_.PerColumn());
        if (x < plot.left() || x > plot.right()) continue;
        if (grid) {
            painter.setPen(kGrid);
            painter.drawLine(x, plot.top(), x, plot.bottom());
            continue;
        }
        painter.setPen(kText);
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 3);
        painter.drawText(QRect(x - 60, labelTop, 120, metrics.height()), Qt::AlignHCenter, Q(FormatTimeLabel(t, style)));
    }
    const std::string origin = FormatOrigin(style);
    if (!origin.empty() && !grid) {
        painter.drawText(QRect(0, labelTop, kLeftMargin - 2, metrics.height()), Qt::AlignRight, Q(origin));
    }
}

// --- input ------------------------------------------------------------------------

void TWaveformView::resizeEvent(QResizeEvent*) {
    span_.SetColumns(PlotRect().width());
    emit viewChanged();
}

void TWaveformView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const double column = event->position().x() - PlotRect().left();
    if (delta.y() != 0) {
        span_.ZoomAbout(std::pow(0.8, delta.y() / 120.0), std::clamp(column, 0.0, static_cast<double>(span_.Columns())));
    } else if (delta.x() != 0) {
        span_.PanColumns(-delta.x() / 120.0 * span_.Columns() / 10.0);
    }
    Changed();
    event->accept();
}

void TWaveformView::mousePressEvent(QMouseEvent* event) {
    dragFrom_ = dragTo_ = event->position().toPoint();
    dragFirst_ = span_.First();
    dragMoved_ = false;
    if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier)) drag_ = Drag::Pan;
    else if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) drag_ = Drag::Band;
    else drag_ = Drag::None;
}

void TWaveformView::mouseMoveEvent(QMouseEvent* event) {
    if (drag_ == Drag::None) return;
    dragTo_ = event->position().toPoint();
    if (std::abs(dragTo_.x() - dragFrom_.x()) > kClickSlack) dragMoved_ = true;
    if (!dragMoved_) return;
    if (drag_ == Drag::Pan) {
        span_.PanTo(dragFirst_ - (dragTo_.x() - dragFrom_.x()) * span_.PerColumn());
        Changed();
    } else {
        update();
    }
}

void TWaveformView::mouseReleaseEvent(QMouseEvent* event) {
    const Drag drag = drag_;
    drag_ = Drag::None;
    if (drag == Drag::None) return;
    dragTo_ = event->position().toPoint();
    if (!dragMoved_) {
        // A click places a cursor: left for 1, right for 2.
        if (Shown()) SetCursor(event->button() == Qt::RightButton ? 1 : 0, InstantAtX(dragTo_.x()));
        return;
    }
    if (drag == Drag::Band) {
        const int left = PlotRect().left();
        span_.ZoomToColumns(dragFrom_.x() - left, dragTo_.x() - left);
        Changed();
    }
}

void TWaveformView::keyPressEvent(QKeyEvent* event) {
    const double columns = span_.Columns();
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal: ZoomBy(0.5); break;
        case Qt::Key_Minus: ZoomBy(2.0); break;
        case Qt::Key_Left: PanBy(-columns / 8.0); break;
        case Qt::Key_Right: PanBy(columns / 8.0); break;
        case Qt::Key_PageUp: PanBy(-columns); break;
        case Qt::Key_PageDown: PanBy(columns); break;
        case Qt::Key_Home: ShowStart(); break;
        case Qt::Key_End: ShowEnd(); break;
        case Qt::Key_Escape:
            cursors_ = {};
            update();
            emit cursorsChanged();
            break;
        default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

bool TWaveformView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = MarkerText(help->pos().x());
        if (text.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

}  // namespace rollmode::viewer
