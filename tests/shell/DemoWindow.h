#pragma once
// The main window with its components as the program builds them, in demo mode (the
// driver library is missing), in a fresh current folder so settings and record files
// of one test never reach another.
#include <QString>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "MainFormComponents.h"
#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "TempWorkFolder.h"
#include "VirtualDriverLyraRM.h"
#include "ports/MessageBoxService.h"

namespace rollmode::shelltest {

// Answers every box with Yes and keeps its text.
class RecordedBoxes final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        texts.push_back(text);
        return core::MsgResult::Yes;
    }
    std::vector<std::string> texts;
};

struct DemoWindow {
    DemoWindow(core::MessageBoxService& boxes, shell::QtApplicationControl& control)
        : form(&control), components(form, boxes, control) {
        components.VirtualDriverLyraRM1().SetLibraryName("NoSuchDriverLibrary.dll");
        form.resize(824, 600);
    }
    template <typename T>
    T* Find(const char* name) {
        T* widget = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    shell::TMainForm form;
    shell::MainFormComponents components;
};

// A test on the shown, active demo window.
class ShownDemoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.IsValid());
        window.emplace(boxes, control);
        form = &window->form;
        components = &window->components;
        components->InitializeApplication();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        boxes.texts.clear();
    }
    void TearDown() override {
        if (form) form->FormClose();
        window.reset();
    }

    TempWorkFolder folder;
    RecordedBoxes boxes;
    shell::QtApplicationControl control;
    std::optional<DemoWindow> window;
    shell::TMainForm* form = nullptr;
    shell::MainFormComponents* components = nullptr;
};

}  // namespace rollmode::shelltest
