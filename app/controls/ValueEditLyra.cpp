#include "ValueEditLyra.h"

#include <QKeyEvent>

namespace rollmode::controls {

TValueEditLyra::TValueEditLyra(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    normalTextColor_ = palette().color(QPalette::Text);
}

void TValueEditLyra::keyPressEvent(QKeyEvent* event) {
    // Only printable characters are filtered: editing keys, shortcuts and control
    // characters (Backspace among them) pass.
    const QString typed = event->text();
    if (typed.size() == 1 && typed.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier) &&
        !Accepts(typed.at(0).unicode())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TValueEditLyra::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        QLineEdit::keyReleaseEvent(event);
        return;
    }
    if (HandlesEnter()) {
        if (IsEnterKey(event->key())) {
            if (ApplyText()) SetTextColor(normalTextColor_);
        } else {
            SetTextColor(QColor::fromRgb(kUnappliedColor));
        }
    }
    QLineEdit::keyReleaseEvent(event);
    emit keyReleased(event->key());
}

void TValueEditLyra::SetTextColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

}  // namespace rollmode::controls
