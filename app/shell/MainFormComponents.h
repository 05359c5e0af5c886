#pragma once
// The non-visual components the main window owns and the wiring between them and
// the window: the one place where the model, the virtual driver, the flow manager,
// the screens and the control groups meet the shell.
#include <memory>

namespace rollmode::core {
class ApplicationControl;
class MessageBoxService;
class TVirtualScopeLyraRM;
class TVirtualDriverLyraRM;
}  // namespace rollmode::core

namespace rollmode::shell {

class TMainForm;
class TMainMenu;

class MainFormComponents {
public:
    // Creates the components, links them and registers the main window's caption
    // handler with the model (group 13).
    // The message boxes and the termination request are ports, so tests can script them.
    MainFormComponents(TMainForm& form, core::MessageBoxService& messages, core::ApplicationControl& control);
    // Detaches the window from the model before the model goes.
    ~MainFormComponents();

    MainFormComponents(const MainFormComponents&) = delete;
    MainFormComponents& operator=(const MainFormComponents&) = delete;

    // The model's start-up: settings loaded (code 6), then started (code 1).
    void InitializeApplication();

    core::TVirtualScopeLyraRM& VirtualScopeLyraRM1();
    core::TVirtualDriverLyraRM& VirtualDriverLyraRM1();
    TMainMenu& MainMenu1();

private:
    // The information panels, vertical shifts and control groups with their
    // controls on the form.
    void LinkPanelsAndGroups(TMainForm& form, core::MessageBoxService& messages);

    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace rollmode::shell
