#include "ViewerWindow.h"

#include <QAction>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

#include "AxisFormat.h"
#include "IndexFollower.h"
#include "WaveformView.h"

namespace rollmode::viewer {

namespace {

constexpr int kLoadRefreshMs = 100;
constexpr double kMaxScrollSteps = 1e9;  // the scroll bar's int range, with room

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TViewerWindow::TViewerWindow(QWidget* parent)
    : QMainWindow(parent),
      follower_(new TIndexFollower(this)),
      view_(new TWaveformView),
      measurements_(new QComboBox),
      scroll_(new QScrollBar(Qt::Horizontal)),
      cursorLabel_(new QLabel),
      banner_(new QLabel),
      fileLabel_(new QLabel),
      progress_(new QProgressBar),
      loadTimer_(new QTimer(this)) {
    setWindowTitle(tr("PreviewLyraRM"));
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    banner_->setWordWrap(true);
    banner_->setStyleSheet("QLabel { background: #fff3c4; color: #402000; padding: 3px; }");
    banner_->hide();
    layout->addWidget(banner_);
    layout->addWidget(view_, 1);
    layout->addWidget(scroll_);
    cursorLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(cursorLabel_);
    setCentralWidget(central);

    progress_->setRange(0, 1000);
    progress_->setMaximumWidth(240);
    progress_->hide();
    statusBar()->addWidget(fileLabel_, 1);
    statusBar()->addPermanentWidget(progress_);

    BuildMenus();
    cursorLabel_->setText(view_->CursorText());

    connect(follower_, &TIndexFollower::indexChanged, this, &TViewerWindow::OnIndexChanged);
    connect(follower_, &TIndexFollower::opened, this, &TViewerWindow::OnOpened);
    connect(follower_, &TIndexFollower::grown, this, &TViewerWindow::OnGrown);
    connect(follower_, &TIndexFollower::notice, this, &TViewerWindow::OnNotice);
    connect(view_, &TWaveformView::viewChanged, this, &TViewerWindow::RefreshScrollBar);
    connect(view_, &TWaveformView::cursorsChanged, this, [this] { cursorLabel_->setText(view_->CursorText()); });
    connect(scroll_, &QScrollBar::valueChanged, this, &TViewerWindow::OnScrolled);
    connect(measurements_, &QComboBox::activated, this, [this](int row) {
        view_->ShowMeasurement(measurements_->itemData(row).toInt());
        view_->setFocus();
    });
    loadTimer_->setInterval(kLoadRefreshMs);
    connect(loadTimer_, &QTimer::timeout, this, &TViewerWindow::ShowLoadProgress);
    resize(1200, 700);
    view_->setFocus();
}

TViewerWindow::~TViewerWindow() { follower_->Stop(); }

void TViewerWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open\u2026"), this, &TViewerWindow::ChooseFile);
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
    QAction* whole = viewMenu->addAction(tr("&Whole measurement"), view_, &TWaveformView::ShowWhole);
    whole->setShortcut(Qt::Key_W);
    viewMenu->addAction(tr("Zoom &in\t+"), view_, [this] { view_->ZoomBy(0.5); });
    viewMenu->addAction(tr("Zoom &out\t-"), view_, [this] { view_->ZoomBy(2.0); });
    viewMenu->addAction(tr("&Start\tHome"), view_, &TWaveformView::ShowStart);
    viewMenu->addAction(tr("&End\tEnd"), view_, &TWaveformView::ShowEnd);
    viewMenu->addSeparator();
    QToolBar* bar = addToolBar(tr("View"));
    bar->setMovable(false);
    bar->addWidget(new QLabel(tr(" Measurement ")));
    measurements_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    measurements_->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(measurements_);
    bar->addAction(whole);
    bar->addSeparator();
    for (int c = 0; c < 2; ++c) {
        QAction* action = viewMenu->addAction(c == 0 ? tr("Channel &A") : tr("Channel &B"));
        action->setCheckable(true);
        action->setChecked(true);
        action->setShortcut(c == 0 ? Qt::Key_A : Qt::Key_B);
        connect(action, &QAction::toggled, this, [this, c](bool on) { view_->SetChannelShown(c, on); });
        bar->addAction(action);
        channelActions_[c] = action;
    }
}

void TViewerWindow::ChooseFile() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open a record file"), QFileInfo(path_).absolutePath(),
                                                      tr("Roll mode files (*.rmd);;All files (*)"));
    if (!path.isEmpty()) OpenFile(path);
}

void TViewerWindow::OpenFile(const QString& path) {
    path_ = path;
    opened_ = false;
    openFailed_ = false;
    openError_.clear();
    notice_.clear();
    setWindowTitle(tr("%1 - PreviewLyraRM").arg(QFileInfo(path).fileName()));
    fileLabel_->setText(QFileInfo(path).absoluteFilePath());
    RefreshBanner();
    follower_->Start(path);
}

bool TViewerWindow::WaitOpened(int timeoutMs) {
    if (opened_ || path_.isEmpty()) return true;
    QEventLoop loop;
    connect(follower_, &TIndexFollower::opened, &loop, &QEventLoop::quit);
    if (timeoutMs >= 0) QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return opened_;
}

void TViewerWindow::OnIndexChanged() {
    view_->SetIndex(follower_->Index());
    RefreshMeasurementList();
    progress_->setValue(0);
    progress_->show();
    loadTimer_->start();
}

void TViewerWindow::ShowLoadProgress() {
    const uint64_t total = follower_->TotalBytes();
    progress_->setValue(total ? static_cast<int>(1000.0 * static_cast<double>(follower_->DoneBytes()) / total) : 0);
    // Show what is done so far.
    view_->DataGrew();
    RefreshMeasurementList();
}

void TViewerWindow::OnOpened(bool ok, const QString& error) {
    loadTimer_->stop();
    progress_->hide();
    opened_ = true;
    openFailed_ = !ok;
    openError_ = ok ? QString() : error;
    view_->DataGrew();
    RefreshMeasurementList();
    RefreshBanner();
}

void TViewerWindow::OnGrown() {
    view_->DataGrew();
    RefreshMeasurementList();
    RefreshBanner();
}

void TViewerWindow::OnNotice(const QString& text) {
    notice_ = text;
    RefreshBanner();
}

QString TViewerWindow::FaultText() const {
    if (openFailed_) return openError_.isEmpty() ? tr("Cannot read %1").arg(path_) : tr("Cannot read the record: %1").arg(openError_);
    const auto index = follower_->Index();
    if (!index) return {};
    const records::RecordFault fault = index->Fault();
    if (!fault.malformed) return {};
    return tr("Malformed record at byte offset %1: %2. Shown up to there.")
        .arg(static_cast<qulonglong>(fault.offset))
        .arg(Q(fault.message));
}

bool TViewerWindow::Malformed() const {
    const auto index = follower_->Index();
    return index && index->Fault().malformed;
}

void TViewerWindow::RefreshBanner() {
    QStringList lines;
    if (!notice_.isEmpty()) lines << notice_;
    const QString fault = FaultText();
    if (!fault.isEmpty()) lines << fault;
    banner_->setText(lines.join('\n'));
    banner_->setVisible(!lines.isEmpty());
}

void TViewerWindow::RefreshMeasurementList() {
    // One entry per measurement; what precedes the first start only when it holds
    // instants. Each entry's data is the measurement's position in the index's list.
    const std::vector<records::Measurement>& list = view_->Measurements();
    const auto index = follower_->Index();
    int row = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const records::Measurement& m = list[i];
        if (m.number == 0 && m.endInstant <= m.firstInstant) continue;
        QString text = m.number == 0 ? tr("Before the first start") : tr("Measurement %1").arg(m.number);
        if (index && m.endInstant > m.firstInstant) {
            const double seconds = index->SecondsAt(m, m.endInstant);
            if (std::isfinite(seconds)) text += QStringLiteral(" (%1)").arg(Q(FormatDuration(seconds)));
        }
        // A measurement without a stop is still being recorded, once the whole file was read.
        if (!m.stopped && i + 1 == list.size() && opened_ && !follower_->Loading() && !Malformed()) text += tr(", running");
        const int position = static_cast<int>(i);
        if (row < measurements_->count()) {
            if (measurements_->itemText(row) != text) measurements_->setItemText(row, text);
            measurements_->setItemData(row, position);
        } else {
            measurements_->addItem(text, position);
        }
        ++row;
    }
    while (measurements_->count() > row) measurements_->removeItem(measurements_->count() - 1);
    const int shown = measurements_->findData(view_->MeasurementShown());
    if (shown >= 0) measurements_->setCurrentIndex(shown);
}

void TViewerWindow::RefreshScrollBar() {
    const TViewSpan& span = view_->Span();
    const double total = static_cast<double>(span.End() - span.Begin());
    const double page = span.PerColumn() * span.Columns();
    scrollScale_ = std::max(1.0, total / kMaxScrollSteps);
    updatingScroll_ = true;
    scroll_->setRange(0, static_cast<int>(std::max(0.0, (total - page) / scrollScale_)));
    scroll_->setPageStep(std::max(1, static_cast<int>(page / scrollScale_)));
    scroll_->setSingleStep(std::max(1, static_cast<int>(page / 8.0 / scrollScale_)));
    scroll_->setValue(static_cast<int>((span.First() - static_cast<double>(span.Begin())) / scrollScale_));
    updatingScroll_ = false;
}

void TViewerWindow::OnScrolled(int value) {
    if (updatingScroll_) return;
    view_->PanTo(static_cast<double>(view_->Span().Begin()) + value * scrollScale_);
}

}  // namespace rollmode::viewer
