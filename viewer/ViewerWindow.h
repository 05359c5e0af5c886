#pragma once
// The viewer's main window: File > Open, the measurement list, channel switches,
// "Whole measurement", the waveform with its scroll bar, the cursor read-out, the
// progress of the index and a line for what went wrong with the record.
#include <QMainWindow>
#include <QString>

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QScrollBar;
class QTimer;

namespace rollmode::viewer {

class TIndexFollower;
class TWaveformView;

class TViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TViewerWindow(QWidget* parent = nullptr);
    ~TViewerWindow() override;

    void OpenFile(const QString& path);
    // Runs the event loop until the open finished; false on a timeout (ms, < 0: none).
    bool WaitOpened(int timeoutMs = -1);
    bool OpenFailed() const { return openFailed_; }
    // The record's trouble as shown above the waveform: empty when it reads whole.
    QString FaultText() const;
    bool Malformed() const;

    TWaveformView* View() const { return view_; }
    TIndexFollower* Follower() const { return follower_; }
    QComboBox* MeasurementList() const { return measurements_; }
    QScrollBar* ScrollBar() const { return scroll_; }
    QLabel* CursorLabel() const { return cursorLabel_; }
    QLabel* Banner() const { return banner_; }
    QProgressBar* Progress() const { return progress_; }
    QAction* ChannelAction(int channel) const { return channelActions_[channel]; }

private:
    void BuildMenus();
    void ChooseFile();
    void OnIndexChanged();
    void OnOpened(bool ok, const QString& error);
    void OnGrown();
    void OnNotice(const QString& text);
    void RefreshMeasurementList();
    void RefreshScrollBar();
    void RefreshBanner();
    void ShowLoadProgress();
    void OnScrolled(int value);

    TIndexFollower* follower_;
    TWaveformView* view_;
    QComboBox* measurements_;
    QScrollBar* scroll_;
    QLabel* cursorLabel_;
    QLabel* banner_;
    QLabel* fileLabel_;
    QProgressBar* progress_;
    QTimer* loadTimer_;
    QAction* channelActions_[2] = {nullptr, nullptr};

    QString path_;
    QString notice_;
    QString openError_;
    bool opened_ = false;
    bool openFailed_ = false;
    bool updatingScroll_ = false;
    double scrollScale_ = 1.0;  // instants per scroll bar step
};

}  // namespace rollmode::viewer
