#pragma once
// Colour values of the model are 0x00BBGGRR (red in the low byte); Qt wants RGB.
#include <QColor>
#include <QRgb>
#include <cstdint>

namespace rollmode::display {

inline QRgb ToQRgb(uint32_t bgr) { return qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

inline QColor ToQColor(uint32_t bgr) { return QColor::fromRgb(ToQRgb(bgr)); }

// The model's colour value of a Qt colour.
inline uint32_t FromQColor(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

}  // namespace rollmode::display
