#pragma once
// Colour values of the model are 0x00BBGGRR, red in the low byte.
#include <cstdint>

#include <QColor>

namespace rollmode::shell {

inline QColor ToQColor(std::uint32_t color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace rollmode::shell
