#pragma once
// What the voltage, time and numeric edits share: right-aligned text, typed
// characters outside the widget's set discarded (pasted text is not filtered), and
// for the voltage and time edits the key-release rule: Enter applies the text and
// turns it back to the normal colour, any other key marks it blue as not applied.
#include <QColor>
#include <QLineEdit>

namespace rollmode::controls {

class TValueEditLyra : public QLineEdit {
    Q_OBJECT

public:
    explicit TValueEditLyra(QWidget* parent = nullptr);

    // Blue: the text was changed and not yet applied with Enter.
    static constexpr QRgb kUnappliedColor = 0xFF0000FF;
    QColor TextColor() const { return palette().color(QPalette::Text); }

    static bool IsEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

signals:
    // After the edit's own handling of a released key (Qt key code): for Enter the
    // value has been parsed already.
    void keyReleased(int key);

protected:
    virtual bool Accepts(char32_t c) const = 0;
    // Parses the text on Enter; true when it was understood. The numeric edit has no
    // Enter handling and keeps the default.
    virtual bool ApplyText() { return false; }
    virtual bool HandlesEnter() const { return false; }

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

    void SetTextColor(const QColor& color);

private:
    QColor normalTextColor_;
};

}  // namespace rollmode::controls
