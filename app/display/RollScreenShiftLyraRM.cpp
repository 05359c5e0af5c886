#include "RollScreenShiftLyraRM.h"

#include <algorithm>

namespace rollmode::display {

TRollScreenShiftLyraRM::TRollScreenShiftLyraRM(QWidget* parent) : TRollScreenParentLyraRM(parent) {}

void TRollScreenShiftLyraRM::ResetPicture() {
    SizeImageToWidget();
    gridPhase_ = width() % kColumnsPerDivision;
    pendingGridWidth_ = 0;
    CacheColors();
    if (ImageWidth() == 0) return;
    FillColumns(0, ImageWidth(), background_);
    DrawGrid(0);
}

void TRollScreenShiftLyraRM::PrepareDisplay() {
    {
        std::scoped_lock lock(controlLock_, bitmapLock_);
        settings_ = ReadSettings();
        store_.Reset();
        ResetPicture();
    }
    RequestUpdate();
}

void TRollScreenShiftLyraRM::ClearDisplay() {
    {
        std::scoped_lock lock(controlLock_, bitmapLock_);
        settings_ = ReadSettings();
        store_.Clear();
        ResetPicture();
    }
    RequestUpdate();
}

void TRollScreenShiftLyraRM::DrawGrid(int n) {
    const int w = ImageWidth(), h = ImageHeight();
    int stripStart, stripLength, firstLine;
    if (n == 0) {
        pendingGridWidth_ = 2;
        stripStart = 0;
        stripLength = w;
        firstLine = ((w - gridPhase_) % kColumnsPerDivision + kColumnsPerDivision) % kColumnsPerDivision;
    } else {
        pendingGridWidth_ += n;
        stripStart = w - pendingGridWidth_;
        stripLength = pendingGridWidth_;
        gridPhase_ += n;
        firstLine = w - gridPhase_;
        gridPhase_ %= kColumnsPerDivision;
    }
    // The phase and the pending strip are kept while the grid is off, so the grid
    // comes back attached to the data.
    if (!settings_.Grid || !settings_.DisplayActive) {
        if (pendingGridWidth_ >= 2) pendingGridWidth_ = 0;
        return;
    }
    for (int x = firstLine; x < w; x += kColumnsPerDivision) DrawDottedLine(x, grid_, true, h, 0);
    if (pendingGridWidth_ >= 2) {
        for (int c : kGridCodes) DrawDottedLine(stripStart, grid_, false, stripLength, PixelRow(255 - c, verticalScale_));
        pendingGridWidth_ = 0;
    }
}

void TRollScreenShiftLyraRM::ScrollInColumns(int n, int s) {
    if (n <= 0) return;
    const int w = ImageWidth();
    ScrollPicture(n);
    FillColumns(w - n, w, background_);
    DrawGrid(n);
    const int x0 = w - n;
    const auto entry = [&](TColumnStore::Buffer b, int index) { return store_.Entry(b, index); };
    const uint16_t before = entry(TColumnStore::Minimum, s - 1);

    if (BandMode()) {
        if (settings_.ModeLine) {
            for (int ch = 0; ch < 2; ++ch) {
                if (!ChannelVisible(ch)) continue;
                const QRgb c = ChannelColor(ch);
                if (IsMarkerEntry(before)) DrawMarkerLine(x0 - 1, before);
                for (int j = 0; j < n; ++j) {
                    const int x = x0 + j;
                    const uint16_t lo = entry(TColumnStore::Minimum, s + j);
                    if (IsMarkerEntry(lo)) {
                        DrawMarkerLine(x, lo);
                        continue;
                    }
                    MoveTo(x, Row(lo, ch));
                    LineTo(x, Row(entry(TColumnStore::Maximum, s + j), ch) - 1, c);
                }
            }
        } else {
            for (int j = 0; j < n; ++j) {
                const int x = x0 + j;
                const uint16_t lo = entry(TColumnStore::Minimum, s + j);
                if (IsMarkerEntry(lo)) {
                    DrawMarkerLine(x, lo);
                    continue;
                }
                const uint16_t hi = entry(TColumnStore::Maximum, s + j);
                for (int ch = 0; ch < 2; ++ch) {
                    if (!ChannelVisible(ch)) continue;
                    SetPixel(x, Row(lo, ch), ChannelColor(ch));
                    SetPixel(x, Row(hi, ch), ChannelColor(ch));
                }
            }
        }
        return;
    }

    const TColumnStore::Buffer buffer = TraceBuffer();
    if (settings_.ModeLine) {
        const uint16_t previous = entry(buffer, s - 1);
        const bool hasBefore = store_.Wrapped() || store_.WriteIndex() > n;
        for (int ch = 0; ch < 2; ++ch) {
            if (!ChannelVisible(ch)) continue;
            const QRgb c = ChannelColor(ch);
            bool penOnTrace = true;
            if (!hasBefore) {
                // Nothing stored before this block: the trace starts at its first column.
                penOnTrace = false;
            } else if (IsMarkerEntry(previous)) {
                DrawMarkerLine(x0 - 1, previous);
                MoveTo(x0 - 1, Row(entry(buffer, s), ch));
            } else {
                MoveTo(x0 - 1, Row(previous, ch));
            }
            for (int j = 0; j < n; ++j) {
                const int x = x0 + j;
                const uint16_t e = entry(buffer, s + j);
                if (IsMarkerEntry(e)) {
                    DrawMarkerLine(x, e);
                    // The trace continues from the value before the marker; after a run
                    // of markers it starts afresh at the next sample.
                    const uint16_t prior = entry(buffer, s + j - 1);
                    penOnTrace = !IsMarkerEntry(prior);
                    if (penOnTrace) MoveTo(x, Row(prior, ch));
                    continue;
                }
                if (penOnTrace) {
                    LineTo(x, Row(e, ch), c);
                } else {
                    MoveTo(x, Row(e, ch));
                    penOnTrace = true;
                }
            }
        }
    } else {
        for (int j = 0; j < n; ++j) {
            const int x = x0 + j;
            const uint16_t e = entry(buffer, s + j);
            if (IsMarkerEntry(e)) {
                DrawMarkerLine(x, e);
                continue;
            }
            for (int ch = 0; ch < 2; ++ch)
                if (ChannelVisible(ch)) SetPixel(x, Row(e, ch), ChannelColor(ch));
        }
    }
}

void TRollScreenShiftLyraRM::RepaintScreen() {
    settings_ = ReadSettings();
    SizeImageToWidget();
    if (!settings_.DisplayActive || ImageWidth() == 0) return;
    CacheColors();
    const int w = ImageWidth();
    FillColumns(0, w, background_);
    DrawGrid(0);
    if (!store_.Empty()) {
        const int newest = store_.WriteIndex() - 1;
        const int count = std::min(store_.StoredCount(), w);
        const auto entry = [&](TColumnStore::Buffer b, int k) { return store_.Entry(b, newest - k); };
        if (BandMode()) {
            // Per column as when scrolling in, newest at the right edge.
            for (int ch = 0; ch < (settings_.ModeLine ? 2 : 1); ++ch) {
                if (settings_.ModeLine && !ChannelVisible(ch)) continue;
                for (int k = 0; k < count; ++k) {
                    const int x = w - 1 - k;
                    const uint16_t lo = entry(TColumnStore::Minimum, k);
                    if (IsMarkerEntry(lo)) {
                        DrawMarkerLine(x, lo);
                        continue;
                    }
                    const uint16_t hi = entry(TColumnStore::Maximum, k);
                    if (settings_.ModeLine) {
                        MoveTo(x, Row(lo, ch));
                        LineTo(x, Row(hi, ch) - 1, ChannelColor(ch));
                    } else {
                        for (int c = 0; c < 2; ++c) {
                            if (!ChannelVisible(c)) continue;
                            SetPixel(x, Row(lo, c), ChannelColor(c));
                            SetPixel(x, Row(hi, c), ChannelColor(c));
                        }
                    }
                }
            }
        } else {
            const TColumnStore::Buffer buffer = TraceBuffer();
            if (settings_.ModeLine) {
                for (int ch = 0; ch < 2; ++ch) {
                    if (!ChannelVisible(ch)) continue;
                    const QRgb c = ChannelColor(ch);
                    bool penOnTrace = !IsMarkerEntry(entry(buffer, 0));
                    MoveTo(w - 1, Row(entry(buffer, 0), ch));
                    for (int k = 0; k < count; ++k) {
                        const int x = w - 1 - k;
                        const uint16_t e = entry(buffer, k);
                        if (IsMarkerEntry(e)) {
                            DrawMarkerLine(x, e);
                            const uint16_t older = entry(buffer, k + 1);
                            penOnTrace = !IsMarkerEntry(older);
                            if (penOnTrace) MoveTo(x - 1, Row(older, ch));
                            continue;
                        }
                        if (penOnTrace) {
                            LineTo(x, Row(e, ch), c);
                        } else {
                            MoveTo(x, Row(e, ch));
                            penOnTrace = true;
                        }
                    }
                }
            } else {
                for (int k = 0; k < count; ++k) {
                    const int x = w - 1 - k;
                    const uint16_t e = entry(buffer, k);
                    if (IsMarkerEntry(e)) {
                        DrawMarkerLine(x, e);
                        continue;
                    }
                    for (int ch = 0; ch < 2; ++ch)
                        if (ChannelVisible(ch)) SetPixel(x, Row(e, ch), ChannelColor(ch));
                }
            }
        }
    }
    DrawZeroLines();
}

}  // namespace rollmode::display
