#pragma once
// What the control-group tests share: a model started as the program starts it,
// and a listener that records what the groups broadcast.
#include <utility>
#include <vector>

#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::grouptest {

class NotificationRecorder final : public core::TNotificationHandler {
public:
    void HandleNotification(int32_t code, int32_t& group) override {
        seen.emplace_back(code, group);
        if (code == core::kNotifyShutdown && scope != nullptr) scope->UnregisterListener(this, this);
    }
    core::TVirtualScopeLyraRM* scope = nullptr;
    std::vector<std::pair<int32_t, int32_t>> seen;
};

// Registers the recorder after the groups, starts the model (codes 6 and 1) and
// forgets what start-up delivered.
inline void StartModel(core::TVirtualScopeLyraRM& scope, NotificationRecorder& recorder) {
    recorder.scope = &scope;
    scope.RegisterListener(0, &recorder, &recorder);
    scope.InitializeApplication();
    recorder.seen.clear();
}

}  // namespace rollmode::grouptest
