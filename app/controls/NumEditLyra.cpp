#include "NumEditLyra.h"

namespace rollmode::controls {

TNumEditLyra::TNumEditLyra(QWidget* parent) : TValueEditLyra(parent) {}

double TNumEditLyra::NumValue() const { return NumFromText(text().toStdString()); }

void TNumEditLyra::SetNumValue(double value) { setText(QString::fromStdString(NumText(value, floating_))); }

uint16_t TNumEditLyra::NumValueWord() const {
    return static_cast<uint16_t>(static_cast<uint32_t>(IntegerFromText(text().toStdString())));
}

void TNumEditLyra::SetNumValueWord(uint16_t value) { setText(QString::number(value)); }

int32_t TNumEditLyra::NumValueInteger() const { return IntegerFromText(text().toStdString()); }

void TNumEditLyra::SetNumValueInteger(int32_t value) { setText(QString::number(value)); }

bool TNumEditLyra::Accepts(char32_t c) const { return NumEditAccepts(c); }

}  // namespace rollmode::controls
