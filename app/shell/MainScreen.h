#pragma once
// The main window: panels placed by the resize rules, a caption that follows the
// device and demo mode, and the orderly shutdown when it closes.
#include <cstdint>
#include <functional>
#include <string>

#include <QMainWindow>

#include "MainFormLayout.h"

class QAction;
class QGroupBox;
class QLabel;
class QScrollBar;
class QToolButton;

namespace rollmode::shell {

class QtApplicationControl;
class QtIndicatorLamp;

// What the main window reads from and asks of the instrument core. Filled in by
// MainFormComponents; an empty member reads as False / no device.
struct MainFormCore {
    std::function<bool()> demoMode;                    // the virtual driver's DemoMode
    std::function<std::int32_t()> deviceModelIndex;    // the model's range-table model index
    std::function<bool()> showComixHelp;
    std::function<bool()> boostThread;
    std::function<void(int code, int group)> notifyListeners;
    std::function<void()> unregisterListener;          // detaches the caption handler
    std::function<void()> shutdownApplication;
};

// "RollMode Pelta<digit>" for device model index 0..5, the demo caption in demo
// mode, and plain "RollMode Pelta" for an index outside the table.
std::string BuildMainCaption(bool demoMode, std::int32_t deviceModelIndex);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kControlGroup = 13;

    explicit TMainForm(QtApplicationControl* control = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Links the core; from now on notifications reach the caption handler through
    // the core's registration (see MainFormComponents).
    void AttachCore(MainFormCore core);
    // Forgets the core entirely (its owner is going); nothing reaches it afterwards.
    void DetachCore();
    bool CoreAttached() const { return coreAttached_; }

    // The caption handler, registered with the model under group 13.
    void HandleNotification(int code, int& group);

    // Places every panel for the current client area, then tells the listeners (code 5).
    void FormResize();
    // Runs the model's shutdown once, however the window is closed.
    void FormClose();
    bool ShutdownDone() const { return shutdownDone_; }

    // Sets the hints and texts of every control present by its object name. Control
    // groups built later may call it again once their controls exist.
    void ApplyHints();
    bool HintsEnabled() const { return hintsEnabled_; }

    const MainFormLayout& Layout() const { return layout_; }
    QWidget* ClientArea() const { return centralWidget(); }
    // The place of the roll and cardiogram screens: every child is kept at its full size.
    QWidget* ScreenHost() const { return screenHost_; }
    QLabel* InactiveDispLabel() const { return inactiveDispLabel_; }
    QWidget* InfoPanelA() const { return infoPanelA_; }
    QWidget* InfoPanelB() const { return infoPanelB_; }
    QtIndicatorLamp* TriggerLamp() const { return triggerLamp_; }
    QtIndicatorLamp* ArmLamp() const { return armLamp_; }
    QGroupBox* Panel(const QString& objectName) const;

    // Menu hook: the items whose check marks follow the model on codes 1 and 2.
    void SetMenuCheckItems(QAction* toolTipHelp, QAction* highPriority);
    // Called after every layout pass, before code 5 goes out (vertical slides take
    // their bar heights from it).
    void SetLayoutListener(std::function<void(const MainFormLayout&)> listener) {
        layoutListener_ = std::move(listener);
    }

public slots:
    // Another instance asked this one to come to the front.
    void ActivateFromOtherInstance();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void SetHintsEnabled(bool enabled);

    QGroupBox* MakePanel(const char* objectName, const char* caption, const PanelRect& size);
    QToolButton* MakeButton(QWidget* parent, const char* objectName, const char* text, int left, int top,
                            int width, int height);

    void BuildInfoPanels();
    void BuildChannelsPanel();
    void BuildModePanel();
    void BuildGridControls();
    void BuildSweepPanel();
    void BuildSavePanel();
    void BuildTimeBasePanel();
    void BuildRecordPanel();
    void BuildTriggerPanel();
    void BuildArmPanel();
    void BuildSourcePanel();
    void BuildVerticalShifts();
    void BuildDensityPanel();
    void BuildScreenArea();

    void PlaceWidgets();

    QtApplicationControl* control_;
    MainFormCore core_;
    bool coreAttached_ = false;
    bool shutdownDone_ = false;
    bool hintsEnabled_ = true;
    MainFormLayout layout_;
    std::function<void(const MainFormLayout&)> layoutListener_;

    QWidget* infoPanelA_ = nullptr;
    QWidget* infoPanelB_ = nullptr;
    QGroupBox* channels_ = nullptr;
    QGroupBox* mode_ = nullptr;
    QToolButton* gridButton_ = nullptr;
    QScrollBar* brightnessBar_ = nullptr;
    QGroupBox* sweepPanel_ = nullptr;
    QGroupBox* savePanel_ = nullptr;
    QGroupBox* timeBasePanel_ = nullptr;
    QGroupBox* recordPanel_ = nullptr;
    QGroupBox* triggerPanel_ = nullptr;
    QGroupBox* armPanel_ = nullptr;
    QGroupBox* source_ = nullptr;
    QGroupBox* verticalShifts_ = nullptr;
    QGroupBox* density_ = nullptr;
    QToolButton* upButtonA_ = nullptr;
    QToolButton* upButtonB_ = nullptr;
    QToolButton* downButtonA_ = nullptr;
    QToolButton* downButtonB_ = nullptr;
    QWidget* slideA_ = nullptr;
    QWidget* slideB_ = nullptr;
    QWidget* screenHost_ = nullptr;
    QLabel* inactiveDispLabel_ = nullptr;
    QtIndicatorLamp* triggerLamp_ = nullptr;
    QtIndicatorLamp* armLamp_ = nullptr;
    QAction* toolTipHelpItem_ = nullptr;
    QAction* highPriorityItem_ = nullptr;
    QObject* hintFilter_ = nullptr;
};

// Forces "." as the decimal separator for all number formatting and parsing.
void ForceDecimalPoint();

}  // namespace rollmode::shell
