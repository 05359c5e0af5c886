#include "RollScreenEKGLyraRM.h"

#include <algorithm>

#include "ColorConversion.h"

namespace rollmode::display {

namespace {
constexpr uint32_t kCursorBlue = 0xFF0000;  // 0x00BBGGRR
}  // namespace

TRollScreenEKGLyraRM::TRollScreenEKGLyraRM(QWidget* parent) : TRollScreenParentLyraRM(parent) {}

void TRollScreenEKGLyraRM::PrepareDisplay() {
    {
        std::scoped_lock lock(controlLock_, bitmapLock_);
        settings_ = ReadSettings();
        CacheColors();
        SizeImageToWidget();
        cursor_ = 0;
        store_.Reset();
        // No grid: it is drawn strip by strip behind the first sweep.
        FillColumns(0, ImageWidth(), background_);
    }
    RequestUpdate();
}

void TRollScreenEKGLyraRM::ClearDisplay() {
    {
        std::scoped_lock lock(controlLock_, bitmapLock_);
        settings_ = ReadSettings();
        CacheColors();
        SizeImageToWidget();
        cursor_ = 0;
        store_.Clear();
        FillColumns(0, ImageWidth(), background_);
        DrawGrid(0, ImageWidth());
    }
    RequestUpdate();
}

void TRollScreenEKGLyraRM::DrawGrid(int start, int length) {
    if (!settings_.Grid || !settings_.DisplayActive || length <= 0) return;
    const int h = ImageHeight();
    const int first = start + (kColumnsPerDivision - start % kColumnsPerDivision) % kColumnsPerDivision;
    for (int x = first; x < start + length; x += kColumnsPerDivision) DrawDottedLine(x, grid_, true, h, 0);
    for (int c : kGridCodes) DrawDottedLine(start, grid_, false, length, PixelRow(255 - c, verticalScale_));
}

void TRollScreenEKGLyraRM::DrawColumn(int x, int index) {
    if (BandMode()) {
        const uint16_t lo = store_.Entry(TColumnStore::Minimum, index);
        if (IsMarkerEntry(lo)) {
            DrawMarkerLine(x, lo);
            return;
        }
        const uint16_t hi = store_.Entry(TColumnStore::Maximum, index);
        for (int ch = 0; ch < 2; ++ch) {
            if (!ChannelVisible(ch)) continue;
            if (settings_.ModeLine) {
                MoveTo(x, Row(hi, ch));
                LineTo(x, Row(lo, ch) + 1, ChannelColor(ch));
            } else {
                SetPixel(x, Row(lo, ch), ChannelColor(ch));
                SetPixel(x, Row(hi, ch), ChannelColor(ch));
            }
        }
        return;
    }
    const uint16_t e = store_.Entry(TraceBuffer(), index);
    if (IsMarkerEntry(e)) {
        DrawMarkerLine(x, e);
        return;
    }
    for (int ch = 0; ch < 2; ++ch)
        if (ChannelVisible(ch)) SetPixel(x, Row(e, ch), ChannelColor(ch));
}

void TRollScreenEKGLyraRM::SweepInColumns(int n, int s) {
    if (n <= 0) return;
    const int w = ImageWidth(), h = ImageHeight();
    const int q = cursor_;
    const int beyond = q + n - (w + 1);  // columns that continue at the left edge
    FillColumns(q, q + n, background_);
    if (beyond > 0) FillColumns(0, beyond, background_);
    DrawGrid(q, n);
    if (beyond > 0) DrawGrid(0, beyond);

    const bool traceLines = !BandMode() && settings_.ModeLine;
    const TColumnStore::Buffer buffer = TraceBuffer();
    // Before the first column after a reset there is nothing to join.
    const bool hasBefore = store_.Wrapped() || store_.WriteIndex() > n;
    int x = q;
    for (int j = 0; j < n; ++j) {
        const int index = s + j;
        if (traceLines) {
            const uint16_t e = store_.Entry(buffer, index);
            if (IsMarkerEntry(e)) {
                DrawMarkerLine(x, e);
            } else {
                const uint16_t previous = store_.Entry(buffer, index - 1);
                const bool join = !IsMarkerEntry(previous) && (hasBefore || j > 0);
                for (int ch = 0; ch < 2; ++ch) {
                    if (!ChannelVisible(ch)) continue;
                    const int row = Row(e, ch);
                    MoveTo(x - 1, join ? Row(previous, ch) : row);
                    LineTo(x, row, ChannelColor(ch));
                }
            }
        } else {
            DrawColumn(x, index);
        }
        StepCursor(x);
    }
    cursor_ = x;

    MoveTo(x, 0);
    LineTo(x, h, ToQRgb(kCursorBlue));

    const uint16_t last = store_.Entry(BandMode() ? TColumnStore::Minimum : buffer, s + n - 1);
    if (!IsMarkerEntry(last)) {
        for (int ch = 0; ch < 2; ++ch) {
            if (!ChannelVisible(ch)) continue;
            const int y = Row(last, ch);
            FillRect(x, y - 2, x + 4, y + 2, ChannelColor(ch));
        }
    }
}

void TRollScreenEKGLyraRM::RepaintScreen() {
    settings_ = ReadSettings();
    SizeImageToWidget();
    if (!settings_.DisplayActive || ImageWidth() == 0) return;
    CacheColors();
    const int w = ImageWidth(), h = ImageHeight();

    int count, first, position;
    if (store_.WriteIndex() > w || store_.Wrapped()) {
        count = std::min(w, store_.StoredCount());
        first = store_.WriteIndex() - count;
        position = cursor_ + 1 > w ? 0 : cursor_ + 1;
    } else {
        count = store_.WriteIndex();
        first = 0;
        position = 0;
    }

    FillColumns(0, w, background_);
    DrawGrid(0, w);

    int x = position;
    if (!BandMode() && settings_.ModeLine) {
        const TColumnStore::Buffer buffer = TraceBuffer();
        for (int ch = 0; ch < 2; ++ch) {
            if (!ChannelVisible(ch)) continue;
            const QRgb c = ChannelColor(ch);
            x = position;
            bool penOnTrace = count > 0 && !IsMarkerEntry(store_.Entry(buffer, first));
            if (count > 0) MoveTo(x, Row(store_.Entry(buffer, first), ch));
            int lastRow = 0;
            for (int j = 0; j < count; ++j) {
                const uint16_t e = store_.Entry(buffer, first + j);
                if (IsMarkerEntry(e)) {
                    DrawMarkerLine(x, e);
                    const uint16_t next = store_.Entry(buffer, first + j + 1);
                    penOnTrace = j + 1 < count && !IsMarkerEntry(next);
                    if (penOnTrace) MoveTo(x + 1, Row(next, ch));
                } else if (penOnTrace) {
                    LineTo(x, Row(e, ch), c);
                    lastRow = Row(e, ch);
                } else {
                    MoveTo(x, Row(e, ch));
                    lastRow = Row(e, ch);
                    penOnTrace = true;
                }
                const int before = x;
                StepCursor(x);
                if (x < before && penOnTrace) {
                    // The trace continues at the left edge. After a marker the pen
                    // already stands at the next sample.
                    if (!IsMarkerEntry(e)) MoveTo(0, lastRow);
                    else MoveTo(0, Row(store_.Entry(buffer, first + j + 1), ch));
                }
            }
        }
        if (ChannelVisible(0) == false && ChannelVisible(1) == false)
            for (int j = 0; j < count; ++j) StepCursor(x);
    } else {
        for (int j = 0; j < count; ++j) {
            DrawColumn(x, first + j);
            StepCursor(x);
        }
    }
    cursor_ = x;
    MoveTo(x, 0);
    LineTo(x, h, ToQRgb(kCursorBlue));
    DrawZeroLines();
}

}  // namespace rollmode::display
