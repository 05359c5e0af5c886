#pragma once
// What the control-group tests share: a listener that records every notification
// and a message box port with scripted answers.
#include <string>
#include <utility>
#include <vector>

#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

namespace grouptest {

// The model drops the first notification before start-up; tests start past it.
inline void PassFirstNotification(rollmode::core::TVirtualScopeLyraRM& scope) { scope.NotifyListeners(2, 255); }

class Recorder final : public rollmode::core::TNotificationHandler {
public:
    void HandleNotification(int32_t code, int32_t& group) override { seen.emplace_back(code, group); }
    std::vector<std::pair<int32_t, int32_t>> seen;
};

class ScriptedBoxes final : public rollmode::core::MessageBoxService {
public:
    rollmode::core::MsgResult Show(const std::string& text, rollmode::core::MsgButtons buttons,
                                   rollmode::core::MsgIcon icon) override {
        texts.push_back(text);
        lastButtons = buttons;
        lastIcon = icon;
        return answer;
    }
    rollmode::core::MsgResult answer = rollmode::core::MsgResult::Ok;
    std::vector<std::string> texts;
    rollmode::core::MsgButtons lastButtons = rollmode::core::MsgButtons::Ok;
    rollmode::core::MsgIcon lastIcon = rollmode::core::MsgIcon::Information;
};

}  // namespace grouptest
