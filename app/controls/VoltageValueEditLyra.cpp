#include "VoltageValueEditLyra.h"

#include "EditFormats.h"

namespace rollmode::controls {

TVoltageValueEditLyra::TVoltageValueEditLyra(QWidget* parent) : TValueEditLyra(parent) { SetVoltage(1.0); }

void TVoltageValueEditLyra::SetVoltage(double millivolts) {
    voltage_ = RoundVoltage(millivolts);
    setText(QString::fromStdString(VoltageText(voltage_)));
}

bool TVoltageValueEditLyra::Accepts(char32_t c) const { return VoltageEditAccepts(c); }

bool TVoltageValueEditLyra::ApplyText() {
    const VoltageParse parse = ParseVoltageText(text().toStdString());
    // The value as entered; the owner's refresh writes the text back in normal form.
    if (parse.millivolts) voltage_ = *parse.millivolts;
    return parse.ok;
}

}  // namespace rollmode::controls
