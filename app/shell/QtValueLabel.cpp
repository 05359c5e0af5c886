#include "QtValueLabel.h"

#include <QLocale>
#include <QMetaObject>

namespace rollmode::shell {

QtValueLabel::QtValueLabel(QWidget* parent) : QLabel(parent) { setText(FormatValue(0.0)); }

void QtValueLabel::SetMainValue(double value) {
    value_.store(value, std::memory_order_relaxed);
    if (!refreshPending_.exchange(true, std::memory_order_relaxed)) {
        // Queued on this label: dropped if the label is gone before it runs.
        QMetaObject::invokeMethod(this, [this] { RefreshText(); }, Qt::QueuedConnection);
    }
}

QString QtValueLabel::FormatValue(double value) const { return QLocale::c().toString(value, 'g', 10); }

void QtValueLabel::RefreshText() {
    // Cleared before reading, so a value stored meanwhile queues another refresh.
    refreshPending_.store(false, std::memory_order_relaxed);
    const QString text = FormatValue(value_.load(std::memory_order_relaxed));
    if (text != this->text()) {
        setText(text);
    }
}

}  // namespace rollmode::shell
