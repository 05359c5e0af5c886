#pragma once
// Assigning a button to a control group: the old button is let go, the new one's
// clicks go to the group's OnClick with the button as the sender.
#include <QAbstractButton>
#include <QPointer>

namespace rollmode::controls {

template <typename Group, typename Button>
void ConnectClick(Group* group, QPointer<Button>& slot, Button* button) {
    if (slot) QObject::disconnect(slot, nullptr, group, nullptr);
    slot = button;
    if (button) QObject::connect(button, &QAbstractButton::clicked, group, [group, button] { group->OnClick(button); });
}

}  // namespace rollmode::controls
