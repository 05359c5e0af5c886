#include "SafeLabel.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

namespace rollmode::display {

TSafeLabel::TSafeLabel(QWidget* parent) : QWidget(parent) {
    // The picture covers the whole label: a new text repaints the label alone, not the
    // panel beneath it (at the highest rate the texts change many times a second).
    setAttribute(Qt::WA_OpaquePaintEvent);
    TLabelRepaintClock::Register(this);
    std::lock_guard<std::mutex> guard(lock_);
    CacheLookLocked();
    image_ = QImage(size(), QImage::Format_RGB32);
}

TSafeLabel::~TSafeLabel() { TLabelRepaintClock::Unregister(this); }

QString TSafeLabel::MyString() const {
    std::lock_guard<std::mutex> guard(lock_);
    return text_;
}

void TSafeLabel::SetMyString(const QString& text) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Checked under the lock, so a text never slips in after the pointer entered.
        if (hovered_) {
            updatePending_.store(true, std::memory_order_relaxed);
            return;
        }
        const bool wasPending = updatePending_.exchange(false, std::memory_order_relaxed);
        // The live voltages re-send the same value for every block: nothing to draw.
        if (!wasPending && text == text_) return;
        text_ = text;
        stale_ = true;
    }
    RequestRepaint();
}

bool TSafeLabel::Hovered() const {
    std::lock_guard<std::mutex> guard(lock_);
    return hovered_;
}

QImage TSafeLabel::Snapshot() const {
    std::lock_guard<std::mutex> guard(lock_);
    RenderLocked();
    return image_.copy();
}

QSize TSafeLabel::sizeHint() const {
    std::lock_guard<std::mutex> guard(lock_);
    const QFontMetrics metrics(boldFont_);
    return {metrics.horizontalAdvance(text_.isEmpty() ? QStringLiteral("0") : text_) + 2, metrics.height()};
}

void TSafeLabel::RenderLocked() const {
    if (!stale_ || image_.isNull()) return;
    stale_ = false;
    QPainter painter(&image_);
    painter.fillRect(image_.rect(), faceColor_);
    const bool bold = hovered_ || updatePending_.load(std::memory_order_relaxed);
    painter.setFont(bold ? boldFont_ : font_);
    painter.setPen(textColor_);
    painter.setLayoutDirection(direction_);
    painter.drawText(QRectF(QPointF(0, 0), image_.deviceIndependentSize()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextSingleLine, text_);
}

void TSafeLabel::RequestRepaint() {
    repaintWanted_.store(true);
    TLabelRepaintClock::Request();
}

void TSafeLabel::RequestSettle() {
    settleWanted_.store(true);
    TLabelRepaintClock::Request();
}

bool TSafeLabel::ServeClock() {
    const bool settle = settleWanted_.exchange(false);
    if (settle) Settle();
    const bool paint = repaintWanted_.exchange(false);
    if (paint) update();
    return settle || paint;
}

void TSafeLabel::CacheLookLocked() {
    font_ = font();
    boldFont_ = font_;
    boldFont_.setBold(true);
    faceColor_ = palette().color(QPalette::Button);
    textColor_ = palette().color(QPalette::ButtonText);
    direction_ = layoutDirection();
}

void TSafeLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    std::lock_guard<std::mutex> guard(lock_);
    RenderLocked();
    painter.drawImage(QPoint(0, 0), image_);
}

void TSafeLabel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    std::lock_guard<std::mutex> guard(lock_);
    const qreal ratio = devicePixelRatioF();
    image_ = QImage(size() * ratio, QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    stale_ = true;
}

void TSafeLabel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::LayoutDirectionChange: {
            std::lock_guard<std::mutex> guard(lock_);
            CacheLookLocked();
            stale_ = true;
            break;
        }
        default:
            return;
    }
    update();
}

void TSafeLabel::SetHovered(bool hovered) {
    if (!MouseSensitive()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        hovered_ = hovered;
        stale_ = true;
    }
    update();
}

void TSafeLabel::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    SetHovered(true);
}

void TSafeLabel::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    SetHovered(false);
}

}  // namespace rollmode::display
