#pragma once
// The frame shared by the two roll screens: the column store, the off-screen picture,
// the drawing primitives and the lock protocol.
//
// Drawing happens on whichever thread calls (the processing thread for blocks, the GUI
// thread for notifications) into the screen's own QImage under its locks; the widget
// only copies that image when Qt paints it. Requests for a paint coming from blocks
// are collapsed into at most one paint per kMinPaintIntervalMs.
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "ColumnStore.h"
#include "VirtualScopeLyraRM.h"
#include "ports/RollScreenView.h"

namespace rollmode::display {

class TRollScreenParentLyraRM : public QWidget, public core::TNotificationHandler, public core::RollScreenView {
    Q_OBJECT

public:
    using SettingsProvider = std::function<TScreenSettings()>;

    // 25 paints a second: smooth for a strip chart, and each paint copies the whole
    // picture (at 1600 x 900 about 1 ms of memory bandwidth).
    static constexpr int kMinPaintIntervalMs = 40;

    explicit TRollScreenParentLyraRM(QWidget* parent = nullptr);
    ~TRollScreenParentLyraRM() override;

    int ControlGroup() const { return controlGroup_; }
    void SetControlGroup(int group) { controlGroup_ = group; }

    // The model: stored, and when not null the screen registers with it under
    // ControlGroup() and reads its display settings from it. Set it on the GUI thread
    // before acquisition starts.
    core::TVirtualScopeLyraRM* VirtualScope() const { return virtualScope_; }
    void SetVirtualScope(core::TVirtualScopeLyraRM* scope);

    // Where the screen reads the display settings (SetVirtualScope sets one that reads
    // the model). An empty provider reads as "display off".
    void SetSettingsProvider(SettingsProvider provider);

    // Model notifications (GUI thread): 2, 5, 14 repaint when visible; 3 unregisters
    // and forgets the model.
    void HandleNotification(int32_t code, int32_t& group) override;
    // A block of stream words (processing thread); the screen keeps no reference.
    // Folds the block into the store and draws what it added (processing thread).
    void ProcessBlock(const uint16_t* words, uint32_t count) final;
    // The flow manager shows and hides the screens from the user-interface thread.
    void SetShown(bool shown) override { setVisible(shown); }
    // Start of acquisition (GUI thread).
    void PrepareDisplay() override = 0;
    // Clear request (GUI thread).
    void ClearDisplay() override = 0;

    // Full redraw from the store under the lock protocol of a notification: skipped
    // (false) when a block is being drawn at that moment.
    bool TryRepaint();

    // The picture as the widget shows it.
    QImage Snapshot() const;
    const TColumnStore& Store() const { return store_; }

protected:
    // Codes of the seven horizontal grid lines, every 32 codes.
    static constexpr int kGridCodes[] = {31, 63, 95, 127, 159, 191, 223};
    static constexpr int kColumnsPerDivision = 50;

    // Draws the n newest columns, whose entries start at store index s (both locks held).
    virtual void DrawNewColumns(int n, int s) = 0;
    // Full redraw from the store; the caller holds both locks.
    virtual void RepaintScreen() = 0;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

    TScreenSettings ReadSettings() const;
    // Sizes the picture to the widget (GUI thread) and recomputes the vertical scale.
    void SizeImageToWidget();
    // Asks the GUI thread for a paint; any thread, collapses repeated requests.
    void RequestUpdate();

    int ImageWidth() const { return image_.width(); }
    int ImageHeight() const { return image_.height(); }

    // --- Drawing in logical coordinates: logical x maps to image column
    // (x + origin_) mod width, so a scrolling screen moves its picture by moving
    // origin_. Everything outside the picture is clipped.
    void SetPixel(int x, int y, QRgb c) {
        const int w = image_.width();
        if (x < 0 || x >= w || y < 0 || y >= image_.height()) return;
        int px = x + origin_;
        if (px >= w) px -= w;
        reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_)[px] = c;
    }
    void MoveTo(int x, int y) { penX_ = x; penY_ = y; }
    // A line from the pen position, end point excluded; the pen moves to the end.
    void LineTo(int x, int y, QRgb c);
    // Solid fill of columns [x0, x1), full height.
    void FillColumns(int x0, int x1, QRgb c);
    void FillRect(int x0, int y0, int x1, int y1, QRgb c);
    void DrawDottedLine(int x, QRgb c, bool vertical, int length, int start);
    // Full-height line of a gap or marker column.
    void DrawMarkerLine(int x, uint16_t entry);
    // Zero lines while no measurement runs (full repaints only).
    void DrawZeroLines();
    // A channel's byte of an entry as a pixel row.
    int Row(uint16_t entry, int channel) const { return rowOf_[channel == 0 ? (entry & 0xFF) : (entry >> 8)]; }
    bool BandMode() const { return !settings_.SingleMode && settings_.MakeMaximum && settings_.MakeMinimum; }
    TColumnStore::Buffer TraceBuffer() const;
    bool ChannelVisible(int channel) const { return channel == 0 ? settings_.StatusChannelA : settings_.StatusChannelB; }
    QRgb ChannelColor(int channel) const { return channel == 0 ? colorA_ : colorB_; }
    // Colours of settings_ as pixels; call after settings_ changes.
    void CacheColors();

    TColumnStore store_;
    TScreenSettings settings_;  // read at each block or repaint, under the locks
    double verticalScale_ = 1.0;
    int origin_ = 0;

    // Control lock first, bitmap lock second.
    mutable std::mutex controlLock_;
    mutable std::mutex bitmapLock_;

    QRgb background_ = 0, grid_ = 0, colorA_ = 0, colorB_ = 0;

private:
    void SchedulePaint();

    QImage image_;
    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
    int rowOf_[256] = {};
    int penX_ = 0, penY_ = 0;
    int controlGroup_ = 0;
    SettingsProvider provider_;
    core::TVirtualScopeLyraRM* virtualScope_ = nullptr;  // GUI thread only
    std::atomic<bool> paintRequested_{false};
    QTimer paintTimer_;
    QElapsedTimer sinceLastPaint_;
};

}  // namespace rollmode::display
