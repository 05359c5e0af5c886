#pragma once
// Plain numeric entry. The three value properties are views of the text: reading one
// converts the text and throws ConvertError when it does not convert.
#include <cstdint>

#include "EditFormats.h"
#include "ValueEditLyra.h"

namespace rollmode::controls {

class TNumEditLyra : public TValueEditLyra {
    Q_OBJECT

public:
    explicit TNumEditLyra(QWidget* parent = nullptr);

    double NumValue() const;
    // With Floating the general number format, else rounded to an integer.
    void SetNumValue(double value);
    // Truncated to 16 bits.
    uint16_t NumValueWord() const;
    void SetNumValueWord(uint16_t value);
    int32_t NumValueInteger() const;
    void SetNumValueInteger(int32_t value);
    bool Floating() const noexcept { return floating_; }
    void SetFloating(bool v) noexcept { floating_ = v; }

protected:
    bool Accepts(char32_t c) const override;

private:
    bool floating_ = false;
};

}  // namespace rollmode::controls
