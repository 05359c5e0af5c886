#pragma once
// The non-visual components the main window owns and the wiring between them and
// the window: the one place where the model, the virtual driver, the flow manager
// and the screens meet the shell.
#include <memory>

namespace rollmode::shell {

class QtApplicationControl;
class QtMessageBoxService;
class TMainForm;

class MainFormComponents {
public:
    MainFormComponents(TMainForm& form, QtMessageBoxService& messages, QtApplicationControl& control);
    ~MainFormComponents();

    MainFormComponents(const MainFormComponents&) = delete;
    MainFormComponents& operator=(const MainFormComponents&) = delete;

    // The model's start-up: load settings (code 6), then start (code 1).
    void InitializeApplication();

private:
    struct Parts;
    TMainForm& form_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace rollmode::shell
