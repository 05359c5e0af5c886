#pragma once
// Scripted message boxes and a notification recorder for the menu and dialog tests.
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

// Answers with the queued results in turn, then with Yes; remembers every text.
class ScriptedBoxes final : public rollmode::core::MessageBoxService {
public:
    rollmode::core::MsgResult Show(const std::string& text, rollmode::core::MsgButtons buttons,
                                   rollmode::core::MsgIcon) override {
        texts.push_back(text);
        buttonSets.push_back(buttons);
        if (answers.empty()) return rollmode::core::MsgResult::Yes;
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<rollmode::core::MsgResult> answers;
    std::vector<std::string> texts;
    std::vector<rollmode::core::MsgButtons> buttonSets;
};

// Every (code, group) the model delivers while registered; an optional hook runs on
// each delivery (a settings load, say).
class NotificationRecorder final : public rollmode::core::TNotificationHandler {
public:
    explicit NotificationRecorder(rollmode::core::TVirtualScopeLyraRM& scope) : scope_(scope) {
        scope_.RegisterListener(99, this, this);
    }
    ~NotificationRecorder() override { scope_.UnregisterListener(this, this); }
    void HandleNotification(int32_t code, int32_t& group) override {
        seen.emplace_back(code, group);
        if (onNotification) onNotification(code);
    }
    std::vector<std::pair<int, int>> seen;
    std::function<void(int)> onNotification;

private:
    rollmode::core::TVirtualScopeLyraRM& scope_;
};
