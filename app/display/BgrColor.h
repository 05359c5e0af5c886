#pragma once
// The model's colour values are 0x00BBGGRR (red in the low byte).
#include <QColor>
#include <cstdint>

namespace rollmode::display {

inline QColor ColorFromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

}  // namespace rollmode::display
