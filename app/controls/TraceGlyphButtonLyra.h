#pragma once
// The on/off button of a trace choice: instead of a caption it shows a small
// picture of three trace lines with the chosen one (maximum on top, average in the
// middle, minimum at the bottom) drawn strong.
#include "OnOffButtonLyra.h"

namespace rollmode::controls {

class TTraceGlyphButtonLyra : public TOnOffButtonLyra {
    Q_OBJECT

public:
    enum class Trace { Maximum, Average, Minimum };

    explicit TTraceGlyphButtonLyra(Trace trace, QWidget* parent = nullptr);
    Trace Shows() const noexcept { return trace_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Trace trace_;
};

}  // namespace rollmode::controls
