#pragma once
// Message boxes of the core shown as QMessageBox. User-interface thread only: the
// core reaches it from a worker through its synchronous call into that thread.
#include "ports/MessageBoxService.h"

class QWidget;

namespace rollmode::shell {

class QtMessageBoxService final : public core::MessageBoxService {
public:
    explicit QtMessageBoxService(QWidget* parent = nullptr) : parent_(parent) {}

    void SetParent(QWidget* parent) { parent_ = parent; }
    core::MsgResult Show(const std::string& text, core::MsgButtons buttons, core::MsgIcon icon) override;

private:
    QWidget* parent_;
};

}  // namespace rollmode::shell
