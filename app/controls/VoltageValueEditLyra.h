#pragma once
// Entry of a voltage: "250m" in millivolts, "1.5" in volts. Voltage is in
// millivolts; Enter parses the text into it, and setting it rewrites the text.
#include "ValueEditLyra.h"

namespace rollmode::controls {

class TVoltageValueEditLyra : public TValueEditLyra {
    Q_OBJECT

public:
    explicit TVoltageValueEditLyra(QWidget* parent = nullptr);

    double Voltage() const noexcept { return voltage_; }
    // Keeps 0.001 mV and writes the text; the text colour is left as it is.
    void SetVoltage(double millivolts);

protected:
    bool Accepts(char32_t c) const override;
    bool ApplyText() override;
    bool HandlesEnter() const override { return true; }

private:
    double voltage_ = 0.0;
};

}  // namespace rollmode::controls
