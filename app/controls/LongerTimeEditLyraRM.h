#pragma once
// Entry of a duration such as "1h30m", "2m5s" or "500ms". TimeValue is in
// milliseconds; Enter parses the text into it, and setting it rewrites the text.
#include "ValueEditLyra.h"

namespace rollmode::controls {

class TLongerTimeEditLyraRM : public TValueEditLyra {
    Q_OBJECT

public:
    explicit TLongerTimeEditLyraRM(QWidget* parent = nullptr);

    double TimeValue() const noexcept { return timeValue_; }
    // Writes the text; the text colour is left as it is.
    void SetTimeValue(double milliseconds);

protected:
    bool Accepts(char32_t c) const override;
    bool ApplyText() override;
    bool HandlesEnter() const override { return true; }

private:
    double timeValue_ = 0.0;
};

}  // namespace rollmode::controls
