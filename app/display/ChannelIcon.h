#pragma once
// The channel icon of an information panel: a small screen with one period of a trace in
// the channel's colour, drawn here rather than loaded, so it follows the colour setup.
#include <QColor>
#include <QPixmap>

namespace rollmode::display {

inline constexpr int kChannelIconSize = 16;

QPixmap ChannelIcon(const QColor& trace);

}  // namespace rollmode::display
