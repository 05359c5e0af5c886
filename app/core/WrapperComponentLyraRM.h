#pragma once
// The common base of the control groups: attaches to the model when its
// VirtualScope is set and detaches on shutdown (code 3) or destruction.
#include <cstdint>

#include "VirtualScopeLyraRM.h"

namespace rollmode::core {

class TWrapperComponentLyraRM : public TNotificationHandler {
public:
    TWrapperComponentLyraRM() = default;
    ~TWrapperComponentLyraRM() override;
    TWrapperComponentLyraRM(const TWrapperComponentLyraRM&) = delete;
    TWrapperComponentLyraRM& operator=(const TWrapperComponentLyraRM&) = delete;

    TVirtualScopeLyraRM* VirtualScope() const noexcept { return virtualScope_; }
    // Stores the model and, if it is not null, registers this object's handler with
    // ControlGroup(). A model set before is left first, so the group is never
    // registered twice.
    void SetVirtualScope(TVirtualScopeLyraRM* scope);

    // Set it before VirtualScope: the group is taken when the handler registers.
    int32_t ControlGroup() const noexcept { return controlGroup_; }
    void SetControlGroup(int32_t group) noexcept { controlGroup_ = group; }

    // Reacts to code 3 only: unregisters and forgets the model. Subclasses call this
    // first, then react to their own codes.
    void HandleNotification(int32_t code, int32_t& group) override;
    // Redraws the group's controls from the model.
    virtual void RefreshControls() {}

private:
    TVirtualScopeLyraRM* virtualScope_ = nullptr;  // user-interface thread only
    int32_t controlGroup_ = 0;
};

}  // namespace rollmode::core
