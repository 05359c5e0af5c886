#pragma once
// Message boxes that answer from a script and an application that counts termination requests.
#include <deque>
#include <string>
#include <vector>

#include "ports/ApplicationControl.h"
#include "ports/MessageBoxService.h"

namespace fakedriver {

struct ShownBox {
    std::string text;
    rollmode::core::MsgButtons buttons;
    rollmode::core::MsgIcon icon;
};

class ScriptedMessages : public rollmode::core::MessageBoxService {
public:
    std::deque<rollmode::core::MsgResult> answers;  // an empty script answers Ok
    std::vector<ShownBox> shown;

    rollmode::core::MsgResult Show(const std::string& text, rollmode::core::MsgButtons buttons,
                                   rollmode::core::MsgIcon icon) override {
        shown.push_back({text, buttons, icon});
        if (answers.empty()) return rollmode::core::MsgResult::Ok;
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class CountingApplication : public rollmode::core::ApplicationControl {
public:
    int terminateRequests = 0;
    void RequestTerminate() override { ++terminateRequests; }
};

}  // namespace fakedriver
