// A record that grows, is truncated, replaced or deleted while the window shows it.
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <cstdio>
#include <filesystem>

#include "ViewerTestSupport.h"

using namespace rollmode::viewer;
using namespace rollmode::viewer::testing;

namespace {

// Growth shows within a few follow periods even on a loaded machine.
constexpr int kWaitMs = 3000;

class ViewerFollow : public ::testing::Test {
protected:
    void Open(const TRecordFileBuilder& file) {
        path_ = TempRecord(::testing::UnitTest::GetInstance()->current_test_info()->name());
        file.WriteTo(path_);
        window_.resize(1000, 600);
        window_.show();
        window_.OpenFile(QString::fromStdString(path_));
        ASSERT_TRUE(window_.WaitOpened(10000));
        ASSERT_FALSE(window_.OpenFailed()) << window_.FaultText().toStdString();
        view_ = window_.View();
    }
    QString Banner() const { return window_.Banner()->isVisible() ? window_.Banner()->text() : QString(); }

    std::string path_;
    TViewerWindow window_;
    TWaveformView* view_ = nullptr;
};

}  // namespace

TEST_F(ViewerFollow, GrowingFileKeepsAViewAtTheEndThereAndATornTailIsNotAnError) {
    TRecordFileBuilder file;
    file.Start(1000).Ramp(3000);
    Open(file);
    ASSERT_EQ(view_->Span().End(), 3000u);
    ASSERT_TRUE(view_->Span().AtEnd());

    // More samples and the first two words of a rate record: not yet written.
    std::size_t written = file.Data().size();
    file.Ramp(3000).Words({0, 5});
    file.AppendTo(path_, written);
    written = file.Data().size();
    ASSERT_TRUE(WaitFor([&] { return view_->Span().End() == 6000u; }, kWaitMs)) << view_->Span().End();
    EXPECT_TRUE(view_->Span().AtEnd());
    EXPECT_TRUE(Banner().isEmpty()) << Banner().toStdString();

    // The rest of the record arrives; a view elsewhere stays where it is.
    view_->ZoomBy(0.25);
    view_->ShowStart();
    file.Words({10, 500, 0}).Ramp(2000);
    file.AppendTo(path_, written);
    ASSERT_TRUE(WaitFor([&] { return view_->Span().End() == 8000u; }, kWaitMs)) << view_->Span().End();
    EXPECT_DOUBLE_EQ(view_->Span().First(), 0.0);
    EXPECT_TRUE(Banner().isEmpty()) << Banner().toStdString();
}

TEST_F(ViewerFollow, TruncatedReplacedAndDeletedFilesAreReportedAndReadAgain) {
    TRecordFileBuilder file;
    file.Start(1000).Ramp(5000).Stop();
    Open(file);
    ASSERT_EQ(view_->Span().End(), 5000u);

    // Cleared by the program and written anew, shorter: same file, fewer bytes.
    TRecordFileBuilder shorter;
    shorter.Start(1000).Ramp(1000);
    shorter.WriteTo(path_);
    ASSERT_TRUE(WaitFor([&] { return Banner().contains("truncated"); }, kWaitMs)) << Banner().toStdString();
    ASSERT_TRUE(WaitFor([&] { return view_->Span().End() == 1000u; }, kWaitMs)) << view_->Span().End();

    // Another file renamed over it.
    TRecordFileBuilder other;
    other.Start(1000).Ramp(2500).Stop().Start(1000).Ramp(100).Stop();
    other.WriteTo(path_ + ".new");
    std::filesystem::rename(path_ + ".new", path_);
    ASSERT_TRUE(WaitFor([&] { return Banner().contains("replaced"); }, kWaitMs)) << Banner().toStdString();
    ASSERT_TRUE(WaitFor([&] { return window_.MeasurementList()->count() == 2; }, kWaitMs)) << window_.MeasurementList()->count();
    EXPECT_EQ(view_->Span().End(), 2500u);

    // Deleted: said so, and what was read stays on screen.
    std::remove(path_.c_str());
    ASSERT_TRUE(WaitFor([&] { return Banner().contains("deleted"); }, kWaitMs)) << Banner().toStdString();
    EXPECT_EQ(view_->Span().End(), 2500u);
    view_->grab();
}
