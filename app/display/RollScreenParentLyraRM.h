#pragma once
// The frame shared by the two roll screens: the column store, the off-screen picture,
// the drawing primitives and the lock protocol.
//
// Drawing happens on whichever thread calls (the processing thread for blocks, the GUI
// thread for notifications) into the screen's own QImage under its locks. The drawing
// primitives mark the columns they touch; the GUI thread then shows only those, at the
// pace of TPaintPacer (25 paints a second at most), and nothing when nothing changed. A picture that moved
// left is moved on screen by scrolling the window's content, so only the columns drawn
// since need painting. The picture uses the pixel format of the window's backing store,
// so a paint is a plain copy.
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "ColumnDamage.h"
#include "ColumnStore.h"
#include "HugePages.h"
#include "PaintPacer.h"
#include "VirtualScopeLyraRM.h"
#include "ports/RollScreenView.h"

namespace rollmode::display {

class TRollScreenParentLyraRM : public QWidget, public core::TNotificationHandler, public core::RollScreenView {
    Q_OBJECT

public:
    using SettingsProvider = std::function<TScreenSettings()>;

    // At most 25 paints a second: smooth for a strip chart.
    static constexpr int kMinPaintIntervalMs = TPaintPacer::kMinIntervalMs;
    // Changed strips at most this many columns apart are painted as one rectangle.
    static constexpr int kJoinGapColumns = 32;

    // How a picture that moved left reaches the window: by scrolling what the window
    // already shows and painting the new columns, or by copying the whole picture.
    enum class MoveMode { Scroll, Copy };
    void SetMoveMode(MoveMode mode) { moveMode_ = mode; }
    MoveMode GetMoveMode() const { return moveMode_; }

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
    // Brings the window up to date now (GUI thread): scrolls and paints what changed since
    // the last time. False when nothing had changed.
    bool Present();
    // Pixels handed to paints so far (GUI thread), for measuring.
    uint64_t PaintedPixels() const { return paintedPixels_; }
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
    // Asks the GUI thread to show what changed; any thread, collapses repeated requests.
    void RequestUpdate();
    // The picture moves left by n columns (ring addressing: only the origin moves).
    void ScrollPicture(int n);
    // Everything is to be shown anew (both locks held).
    void DamageAll() { damage_.MarkAll(); }

    int ImageWidth() const { return width_; }
    int ImageHeight() const { return height_; }

    // --- Drawing in logical coordinates: logical x maps to image column
    // (x + origin_) mod width, so a scrolling screen moves its picture by moving
    // origin_. Everything outside the picture is clipped.
    void SetPixel(int x, int y, QRgb c) {
        const int w = width_;
        if (x < 0 || x >= w || y < 0 || y >= height_) return;
        int px = x + origin_;
        if (px >= w) px -= w;
        reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_)[px] = c;
        damage_.Mark(x);
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
    // Copies the logical columns of rect into the painter's device at the same place.
    void DrawPicture(QPainter& painter, const QRect& rect) const;
    // The backing store's format when the picture can take it without changing a pixel.
    QImage::Format PictureFormat() const;
    void FollowBackingStore();

    QImage image_;
    TColumnDamage damage_;  // under bitmapLock_
    MoveMode moveMode_ = MoveMode::Scroll;  // GUI thread
    bool presenting_ = false;  // GUI thread: Present() holds bitmapLock_ around its paint
    uint64_t paintedPixels_ = 0;  // GUI thread
    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
    int width_ = 0, height_ = 0;  // of image_, kept here: drawing asks per pixel
    int rowOf_[256] = {};
    int penX_ = 0, penY_ = 0;
    int controlGroup_ = 0;
    SettingsProvider provider_;
    core::TVirtualScopeLyraRM* virtualScope_ = nullptr;  // GUI thread only
    std::atomic<bool> paintRequested_{false};
    QTimer paintTimer_;
    QElapsedTimer sinceLastPaint_;
    TPaintPacer pacer_;  // GUI thread
    TBackingStorePages storePages_;  // GUI thread
};

}  // namespace rollmode::display
