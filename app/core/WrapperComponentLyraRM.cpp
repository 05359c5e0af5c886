#include "WrapperComponentLyraRM.h"

namespace rollmode::core {

TWrapperComponentLyraRM::~TWrapperComponentLyraRM() {
    if (virtualScope_ != nullptr) virtualScope_->UnregisterListener(this, this);
    virtualScope_ = nullptr;
}

void TWrapperComponentLyraRM::SetVirtualScope(TVirtualScopeLyraRM* scope) {
    // Without this a second assignment would leave a stale entry behind that the
    // destructor does not remove, and the model would call a destroyed object.
    if (virtualScope_ != nullptr) virtualScope_->UnregisterListener(this, this);
    virtualScope_ = scope;
    if (scope != nullptr) scope->RegisterListener(controlGroup_, this, this);
}

void TWrapperComponentLyraRM::HandleNotification(int32_t code, int32_t& /*group*/) {
    if (code != kNotifyShutdown || virtualScope_ == nullptr) return;
    virtualScope_->UnregisterListener(this, this);
    virtualScope_ = nullptr;
}

}  // namespace rollmode::core
