#include "RollScreenParentLyraRM.h"

#include <QBackingStore>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QVarLengthArray>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "ColorConversion.h"
#include "HugePages.h"

namespace rollmode::display {

namespace {
constexpr int kNotifySettingsChanged = 2;
constexpr int kNotifyShutdown = 3;
constexpr int kNotifyLayoutChanged = 5;
constexpr int kNotifyGridBrightness = 14;
constexpr uint32_t kRed = 0x0000FF;    // 0x00BBGGRR
constexpr uint32_t kOlive = 0x008080;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
}  // namespace

TRollScreenParentLyraRM::TRollScreenParentLyraRM(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    paintTimer_.setSingleShot(true);
    connect(&paintTimer_, &QTimer::timeout, this, [this] {
        paintRequested_.store(false, std::memory_order_relaxed);
        const double cpu0 = ThreadCpuSeconds();
        if (Present()) pacer_.AddPaintCost(ThreadCpuSeconds() - cpu0);
    });
    sinceLastPaint_.start();
}

TRollScreenParentLyraRM::~TRollScreenParentLyraRM() {
    if (virtualScope_ != nullptr) virtualScope_->UnregisterListener(this, this);
}

void TRollScreenParentLyraRM::SetVirtualScope(core::TVirtualScopeLyraRM* scope) {
    // A model set before is left first, so the screen is never registered twice.
    if (virtualScope_ != nullptr) virtualScope_->UnregisterListener(this, this);
    virtualScope_ = scope;
    if (scope == nullptr) {
        SetSettingsProvider(nullptr);
        return;
    }
    SetSettingsProvider([scope] { return ReadScreenSettings(*scope); });
    scope->RegisterListener(controlGroup_, this, this);
}

void TRollScreenParentLyraRM::SetSettingsProvider(SettingsProvider provider) {
    std::scoped_lock lock(controlLock_, bitmapLock_);
    provider_ = std::move(provider);
}

TScreenSettings TRollScreenParentLyraRM::ReadSettings() const {
    if (!provider_) {
        TScreenSettings off;
        off.DisplayActive = false;
        return off;
    }
    return provider_();
}

void TRollScreenParentLyraRM::HandleNotification(int32_t code, int32_t& /*group*/) {
    switch (code) {
        case kNotifySettingsChanged:
        case kNotifyLayoutChanged:
        case kNotifyGridBrightness:
            if (isVisible()) TryRepaint();
            break;
        case kNotifyShutdown:
            if (virtualScope_ != nullptr) virtualScope_->UnregisterListener(this, this);
            virtualScope_ = nullptr;
            SetSettingsProvider(nullptr);
            break;
        default:
            break;
    }
}

// The bitmap lock first, then only a try of the control lock: a block being drawn
// holds the control lock, and the GUI thread must never wait for it. A skipped repaint
// is retried shortly, so a resize or a change of settings is never lost.
bool TRollScreenParentLyraRM::TryRepaint() {
    {
        std::unique_lock bitmap(bitmapLock_);
        std::unique_lock control(controlLock_, std::try_to_lock);
        if (control.owns_lock()) {
            RepaintScreen();
            damage_.MarkAll();
            control.unlock();
            bitmap.unlock();
            update();
            return true;
        }
    }
    QTimer::singleShot(kMinPaintIntervalMs, this, [this] {
        if (isVisible()) TryRepaint();
    });
    return false;
}

void TRollScreenParentLyraRM::SizeImageToWidget() {
    const QSize s = size();
    const QImage::Format format = PictureFormat();
    if (image_.size() != s || image_.isNull()) {
        image_ = s.isEmpty() ? QImage() : NewHugePagePicture(s, format);
        bits_ = image_.isNull() ? nullptr : image_.bits();
        stride_ = image_.bytesPerLine();
        width_ = image_.width();
        height_ = image_.height();
    } else if (image_.format() != format) {
        image_.reinterpretAsFormat(format);
        bits_ = image_.bits();
    }
    damage_.SetWidth(image_.width());
    origin_ = 0;
    verticalScale_ = s.height() / 255.0;
    for (int v = 0; v < 256; ++v) rowOf_[v] = PixelRow(v, verticalScale_);
}

void TRollScreenParentLyraRM::CacheColors() {
    background_ = ToQRgb(settings_.BackgroundColor);
    grid_ = ToQRgb(settings_.RealGridColor);
    colorA_ = ToQRgb(settings_.ColorChannelA);
    colorB_ = ToQRgb(settings_.ColorChannelB);
}

TColumnStore::Buffer TRollScreenParentLyraRM::TraceBuffer() const {
    if (settings_.SingleMode) return TColumnStore::LastSample;
    if (settings_.MakeMaximum) return TColumnStore::Maximum;
    if (settings_.MakeMinimum) return TColumnStore::Minimum;
    return TColumnStore::Average;
}

void TRollScreenParentLyraRM::LineTo(int x1, int y1, QRgb c) {
    int x = penX_, y = penY_;
    const int dx = std::abs(x1 - x), sx = x < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y), sy = y < y1 ? 1 : -1;
    int err = dx + dy;
    while (x != x1 || y != y1) {
        SetPixel(x, y, c);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    penX_ = x1;
    penY_ = y1;
}

void TRollScreenParentLyraRM::FillColumns(int x0, int x1, QRgb c) { FillRect(x0, 0, x1, height_, c); }

void TRollScreenParentLyraRM::FillRect(int x0, int y0, int x1, int y1, QRgb c) {
    const int w = width_;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, w);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, height_);
    if (x0 >= x1 || y0 >= y1) return;
    // Up to two physical runs per row in the ring-addressed picture.
    int p0 = x0 + origin_;
    if (p0 >= w) p0 -= w;
    const int first = std::min(x1 - x0, w - p0);
    const int second = (x1 - x0) - first;
    damage_.MarkRange(x0, x1);
    for (int y = y0; y < y1; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_);
        std::fill(row + p0, row + p0 + first, c);
        if (second > 0) std::fill(row, row + second, c);
    }
}

// Vertical: (x, start), (x, start + 2), ... below start + length. Horizontal on row
// start: every even column in [x, x + length).
void TRollScreenParentLyraRM::DrawDottedLine(int x, QRgb c, bool vertical, int length, int start) {
    if (vertical) {
        for (int y = start; y < start + length; y += 2) SetPixel(x, y, c);
    } else {
        for (int i = x + (x & 1); i < x + length; i += 2) SetPixel(i, start, c);
    }
}

void TRollScreenParentLyraRM::DrawMarkerLine(int x, uint16_t entry) {
    const QRgb c = ToQRgb((entry & 0xFF) == 2 ? kOlive : kRed);
    MoveTo(x, 0);
    LineTo(x, height_, c);
}

// A dotted pen: one pixel on, two off, from the left edge.
void TRollScreenParentLyraRM::DrawZeroLines() {
    if (settings_.MeasurementStarted) return;
    const int w = width_;
    const auto line = [&](int zeroCode, QRgb c) {
        const int y = PixelRow(255 - zeroCode, verticalScale_);
        for (int x = 0; x < w; x += 3) SetPixel(x, y, c);
    };
    if (settings_.GroundA) line(settings_.ZeroChannelA, colorA_);
    if (settings_.GroundB) line(settings_.ZeroChannelB, colorB_);
}

void TRollScreenParentLyraRM::RequestUpdate() {
    if (paintRequested_.exchange(true, std::memory_order_relaxed)) return;
    QMetaObject::invokeMethod(this, [this] { SchedulePaint(); }, Qt::QueuedConnection);
}

void TRollScreenParentLyraRM::SchedulePaint() {
    if (paintTimer_.isActive()) return;
    const qint64 wait = pacer_.IntervalMs() - sinceLastPaint_.elapsed();
    paintTimer_.start(static_cast<int>(std::max<qint64>(wait, 0)));
}

void TRollScreenParentLyraRM::ScrollPicture(int n) {
    const int w = width_;
    if (n <= 0 || w == 0) return;
    origin_ = (origin_ + n) % w;
    damage_.Scroll(n);
}

// Any 32-bit format whose opaque pixels are the same words as Format_RGB32's: the
// picture is drawn as such words, and only its format tag changes.
QImage::Format TRollScreenParentLyraRM::PictureFormat() const {
    if (QBackingStore* store = backingStore()) {
        QPaintDevice* device = store->paintDevice();
        if (device != nullptr && device->devType() == QInternal::Image) {
            const QImage::Format f = static_cast<const QImage*>(device)->format();
            if (f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_ARGB32) return f;
        }
    }
    return QImage::Format_RGB32;
}

void TRollScreenParentLyraRM::FollowBackingStore() {
    // The strips these paints copy are a few columns wide and the whole window high, so in
    // the backing store, as in the picture, every row is a page walk on small pages.
    QBackingStore* store = backingStore();
    QPaintDevice* device = store != nullptr ? store->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image) return;
    const auto* image = static_cast<const QImage*>(device);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    storePages_.Follow(image->constBits(), static_cast<std::size_t>(image->sizeInBytes()), now.count());
}

QImage TRollScreenParentLyraRM::Snapshot() const {
    std::lock_guard bitmap(bitmapLock_);
    if (image_.isNull()) return QImage();
    QImage out(image_.size(), image_.format());
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    DrawPicture(p, image_.rect());
    p.end();
    out.reinterpretAsFormat(QImage::Format_RGB32);
    return out;
}

void TRollScreenParentLyraRM::DrawPicture(QPainter& painter, const QRect& rect) const {
    const int w = width_;
    const QRect r = rect & image_.rect();
    if (r.isEmpty()) return;
    // Logical column x lies at picture column (x + origin_) mod w: up to two pieces.
    int p0 = r.left() + origin_;
    if (p0 >= w) p0 -= w;
    const int first = std::min(r.width(), w - p0);
    painter.drawImage(QPoint(r.left(), r.top()), image_, QRect(p0, r.top(), first, r.height()));
    if (first < r.width())
        painter.drawImage(QPoint(r.left() + first, r.top()), image_, QRect(0, r.top(), r.width() - first, r.height()));
}

bool TRollScreenParentLyraRM::Present() {
    if (!isVisible()) return false;  // the damage waits; showing repaints everything
    std::unique_lock bitmap(bitmapLock_);
    if (damage_.Empty() || image_.isNull()) return false;
    const int h = image_.height();
    int scrolled = damage_.Scrolled();
    QRegion region;
    if (damage_.All() || (scrolled > 0 && moveMode_ == MoveMode::Copy)) {
        region = rect();
        scrolled = 0;
    } else {
        for (const TColumnDamage::Run& run : damage_.Runs()) region += QRect(run.begin, 0, run.end - run.begin, h);
    }
    damage_.Clear();
    // The window's content must match the picture as of now: the scroll and the paint of
    // the changed columns happen while no block can draw, and the paint runs at once.
    presenting_ = true;
    if (scrolled > 0) {
        scroll(-scrolled, 0);
        region += QRect(image_.width() - scrolled, 0, scrolled, h);
    }
    // A paint clipped to more than one rectangle goes span by span through Qt's thread pool,
    // some thirty times the cost of a rectangle's copy: strips a few columns apart are joined,
    // and the rest are painted one rectangle at a time. The rightmost goes first: it holds the
    // columns the scroll uncovered, which Qt has marked for a paint too and joins to the
    // first paint that comes.
    QVarLengthArray<QRect, 8> strips;
    for (const QRect& r : region) {  // full-height bands, left to right
        if (!strips.isEmpty() && r.left() - strips.back().right() - 1 <= kJoinGapColumns)
            strips.back() = strips.back().united(r);
        else
            strips.append(r);
    }
    for (qsizetype i = strips.size(); i-- > 0;) repaint(strips[i]);
    presenting_ = false;
    return true;
}

void TRollScreenParentLyraRM::paintEvent(QPaintEvent* event) {
    sinceLastPaint_.restart();
    std::unique_lock bitmap(bitmapLock_, std::defer_lock);
    if (!presenting_) {
        // A paint Qt asked for itself (an exposure, a resize, update()): it shows the picture
        // as of now. The window's other columns are older; when the picture has moved since,
        // scrolling them would misplace what this paint shows, so everything is shown anew.
        bitmap.lock();
        if ((QRegion(rect()) - event->region()).isEmpty()) {  // (QRegion::contains only tells overlap)
            damage_.Clear();
        } else if (damage_.Scrolled() > 0) {
            damage_.MarkAll();
            RequestUpdate();
        }
    }
    if (image_.isNull()) return;
    if (image_.format() != PictureFormat()) {
        // The backing store's format is known only once the window exists.
        image_.reinterpretAsFormat(PictureFormat());
        bits_ = image_.bits();
    }
    FollowBackingStore();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : event->region()) {
        DrawPicture(p, r);
        paintedPixels_ += static_cast<uint64_t>(r.width()) * static_cast<uint64_t>(r.height());
    }
}

void TRollScreenParentLyraRM::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible()) TryRepaint();
}

void TRollScreenParentLyraRM::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TryRepaint();
}


void TRollScreenParentLyraRM::ProcessBlock(const uint16_t* words, uint32_t count) {
    if (count == 0) return;
    {
        std::scoped_lock lock(controlLock_, bitmapLock_);
        settings_ = ReadSettings();
        if (!settings_.DisplayActive) return;
        const int width = ImageWidth();
        const int64_t k = SamplesPerColumnOf(settings_.SMPSetting, settings_.DSPSetting);
        const int64_t n = store_.FoldBlock(words, count, k, width > 0 ? width : TColumnStore::kColumns);
        if (width == 0 || n == 0) return;
        // Only what fits on the screen (and in the store) is drawn.
        const int drawn = static_cast<int>(std::min<int64_t>({n, width, TColumnStore::kColumns - 1}));
        CacheColors();
        DrawNewColumns(drawn, store_.WriteIndex() - drawn);
    }
    RequestUpdate();
}

}  // namespace rollmode::display
