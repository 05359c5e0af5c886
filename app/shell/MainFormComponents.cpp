#include "MainFormComponents.h"

#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "QtMessageBoxService.h"

namespace rollmode::shell {

// Until the instrument core's model and virtual driver are linked here, the window
// runs against a stand-in that delivers the start-up and shutdown codes to the
// caption handler and reports demo mode (no driver library is loaded).
struct MainFormComponents::Parts {
    QtMessageBoxService& messages;
    QtApplicationControl& control;
    bool listenerAttached = false;
};

MainFormComponents::MainFormComponents(TMainForm& form, QtMessageBoxService& messages,
                                       QtApplicationControl& control)
    : form_(form), parts_(std::make_unique<Parts>(Parts{messages, control})) {
    Parts& parts = *parts_;
    MainFormCore core;
    core.demoMode = [] { return true; };
    core.deviceModelIndex = [] { return -1; };
    core.showComixHelp = [] { return true; };
    core.boostThread = [] { return true; };
    core.unregisterListener = [&parts] { parts.listenerAttached = false; };
    core.shutdownApplication = [this] {
        int group = 255;
        if (parts_->listenerAttached) form_.HandleNotification(2, group);
        if (parts_->listenerAttached) form_.HandleNotification(3, group);
    };
    form_.AttachCore(std::move(core));
    parts.listenerAttached = true;
}

MainFormComponents::~MainFormComponents() = default;

void MainFormComponents::InitializeApplication() {
    int group = 255;
    if (parts_->listenerAttached) form_.HandleNotification(6, group);
    if (parts_->listenerAttached) form_.HandleNotification(1, group);
}

}  // namespace rollmode::shell
