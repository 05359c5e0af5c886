// The record and save groups driven through their real widgets.
#include <gtest/gtest.h>

#include "ArmTriggerRule.h"

#include <fstream>
#include <utility>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "GroupTestSupport.h"
#include "MeasurementRecordControlsLyraRM.h"
#include "NotificationCodes.h"
#include "OpenSaveControlsLyraRM.h"

using namespace rollmode;
using controls::TOnOffButtonLyra;
using grouptest::Recorder;
using grouptest::ScriptedBoxes;

namespace {

class RecordGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (TOnOffButtonLyra* b : {&start, &stop, &tr, &fr, &def, &cont}) b->setParent(&host);
        length.setParent(&host);
        group.SetMeasurementStart(&start);
        group.SetMeasurementStop(&stop);
        group.SetRecordTriggered(&tr);
        group.SetRecordFree(&fr);
        group.SetRecordDefined(&def);
        group.SetRecordContinuos(&cont);
        group.SetRecordTimeLength(&length);
        group.SetMessageBoxService(&boxes);
        grouptest::PassFirstNotification(scope);
        group.SetVirtualScope(&scope);
        scope.RegisterListener(99, &recorder, &recorder);
        host.show();
        Refresh();
        recorder.seen.clear();
    }
    void TearDown() override { scope.UnregisterListener(&recorder, &recorder); }
    void Refresh() { scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupScope); }
    void Click(QAbstractButton& b) { QTest::mouseClick(&b, Qt::LeftButton); }

    core::TVirtualScopeLyraRM scope;
    QWidget host;
    TOnOffButtonLyra start, stop, tr, fr, def, cont;
    controls::TLongerTimeEditLyraRM length;
    controls::TMeasurementRecordControlsLyraRM group;
    ScriptedBoxes boxes;
    Recorder recorder;
};

TEST_F(RecordGroupTest, TriggeredAndFreeSwapOnEveryClickOfEither) {
    scope.SetRecordFree(true);
    scope.SetRecordTriggered(false);
    Refresh();
    recorder.seen.clear();

    Click(tr);
    EXPECT_TRUE(scope.RecordTriggered());
    EXPECT_FALSE(scope.RecordFree());
    EXPECT_TRUE(tr.Down());
    EXPECT_FALSE(fr.Down());
    Click(tr);
    EXPECT_FALSE(scope.RecordTriggered());
    EXPECT_TRUE(scope.RecordFree());
    EXPECT_TRUE(fr.Down());
    EXPECT_FALSE(tr.Down());
    Click(fr);
    EXPECT_TRUE(scope.RecordTriggered());
    EXPECT_FALSE(scope.RecordFree());
    EXPECT_TRUE(tr.Down());
    EXPECT_FALSE(fr.Down());

    // Only the settings refresh, from group 9.
    ASSERT_EQ(recorder.seen.size(), 3u);
    for (const auto& [code, from] : recorder.seen) {
        EXPECT_EQ(code, core::kNotifySettingsChanged);
        EXPECT_EQ(from, core::kGroupMeasurementRecordControls);
    }
}

TEST_F(RecordGroupTest, LengthEditOnlyForADefinedLengthWhileIdle) {
    Click(def);
    EXPECT_TRUE(scope.MeasurementDefined());
    EXPECT_TRUE(def.Down());
    EXPECT_FALSE(cont.Down());
    EXPECT_TRUE(length.isEnabled());

    Click(start);
    EXPECT_TRUE(scope.MeasurementStarted());
    EXPECT_TRUE(start.Down());
    EXPECT_FALSE(length.isEnabled());
    Click(start);  // already started: stays started
    EXPECT_TRUE(scope.MeasurementStarted());
    EXPECT_TRUE(start.Down());

    Click(stop);
    EXPECT_FALSE(scope.MeasurementStarted());
    EXPECT_FALSE(stop.Down());  // never stays down
    EXPECT_FALSE(start.Down());
    EXPECT_TRUE(length.isEnabled());

    Click(cont);
    EXPECT_FALSE(scope.MeasurementDefined());
    EXPECT_TRUE(cont.Down());
    EXPECT_FALSE(length.isEnabled());
}

TEST_F(RecordGroupTest, EnterTakesTheTypedLengthAndRefreshRewritesIt) {
    Click(def);
    recorder.seen.clear();
    length.clear();
    QTest::keyClicks(&length, "1m30s");
    EXPECT_TRUE(recorder.seen.empty());  // not applied before Enter
    QTest::keyClick(&length, Qt::Key_Return);
    EXPECT_EQ(scope.MeasurementLength(), 90000u);
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0].second, core::kGroupMeasurementRecordControls);

    scope.SetMeasurementLength(5000);
    Refresh();
    EXPECT_DOUBLE_EQ(length.TimeValue(), 5000.0);

    // Whole milliseconds are stored, halves rounded to even.
    for (const auto& [typed, stored] : {std::pair{"0.5ms", 0u}, {"1.5ms", 2u}, {"2.5ms", 2u}, {"3.5ms", 4u}}) {
        length.clear();
        QTest::keyClicks(&length, typed);
        QTest::keyClick(&length, Qt::Key_Return);
        EXPECT_EQ(scope.MeasurementLength(), stored) << typed;
    }
}

TEST_F(RecordGroupTest, ConflictingArmAndTriggerRefuseToStart) {
    // Channel A triggers under 100 mV but is armed over 200 mV: it can never fire.
    scope.SetTriggerSourceA(true);
    scope.SetARMSourceA(true);
    scope.SetTriggerUnderA(true);
    scope.SetARMUnderA(false);
    scope.SetTriggerLevelA(100);
    scope.SetARMLevelA(200);
    Click(start);
    EXPECT_FALSE(scope.MeasurementStarted());
    EXPECT_FALSE(start.Down());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Arm and Trigger settings conflict.");
    EXPECT_EQ(boxes.lastButtons, core::MsgButtons::Ok);
    EXPECT_EQ(boxes.lastIcon, core::MsgIcon::Warning);

    // Equal levels are consistent.
    scope.SetARMLevelA(100);
    Click(start);
    EXPECT_TRUE(scope.MeasurementStarted());
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST(ArmTriggerConsistency, OnlyChannelsThatTriggerAndArmAreTested) {
    core::TVirtualScopeLyraRM scope;
    scope.SetTriggerSourceB(true);
    scope.SetARMSourceB(true);
    scope.SetTriggerUnderB(false);  // over 100
    scope.SetARMUnderB(true);       // under 50: below the trigger, conflict
    scope.SetTriggerLevelB(100);
    scope.SetARMLevelB(50);
    EXPECT_FALSE(controls::ArmTriggerConsistent(scope));
    scope.SetARMSourceB(false);
    scope.SetARMSourceExternal(true);
    EXPECT_TRUE(controls::ArmTriggerConsistent(scope));
}

class SaveGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        savedCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        for (QWidget* w : {static_cast<QWidget*>(&edit), static_cast<QWidget*>(&save),
                           static_cast<QWidget*>(&clf), static_cast<QWidget*>(&browse)}) {
            w->setParent(&host);
        }
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        group.SetSaveFileEdit(&edit);
        group.SetSaveButton(&save);
        group.SetCLFButton(&clf);
        group.SetSaveFileBrowse(&browse);
        group.SetSaveDialog(&dialog);
        group.SetMessageBoxService(&boxes);
        grouptest::PassFirstNotification(scope);
        group.SetVirtualScope(&scope);
        scope.SetMessageBoxService(&boxes);
        scope.RegisterListener(99, &recorder, &recorder);
        host.show();
        Refresh();
        recorder.seen.clear();
    }
    void TearDown() override {
        scope.UnregisterListener(&recorder, &recorder);
        scope.CloseRecordFile();
        QDir::setCurrent(savedCwd);
    }
    void Refresh() { scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupScope); }
    std::string Path(const char* name) const { return QDir(dir.path()).filePath(name).toStdString(); }

    QTemporaryDir dir;
    QString savedCwd;
    core::TVirtualScopeLyraRM scope;
    QWidget host;
    QLineEdit edit;
    TOnOffButtonLyra save, clf;
    QToolButton browse;
    QFileDialog dialog;
    controls::TOpenSaveControlsLyraRM group;
    ScriptedBoxes boxes;
    Recorder recorder;
};

TEST_F(SaveGroupTest, TypedNameIsTakenExactlyOnEnter) {
    edit.clear();
    QTest::keyClicks(&edit, "run_7");
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(Qt::blue));  // not applied yet
    EXPECT_EQ(scope.RecordFileName(), "");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(scope.RecordFileName(), "run_7");  // no extension added
    EXPECT_EQ(edit.toolTip(), "run_7");
    EXPECT_NE(edit.palette().color(QPalette::Text), QColor(Qt::blue));
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0], std::make_pair(core::kNotifySettingsChanged, core::kGroupOpenSaveControls));

    // Typing not confirmed is lost at the next refresh.
    QTest::keyClicks(&edit, "xyz");
    Refresh();
    EXPECT_EQ(edit.text(), "run_7");
}

TEST_F(SaveGroupTest, BrowseAddsTheExtensionAndRestoresTheCurrentDirectory) {
    scope.OpenRecordFile("first.rmd");
    Refresh();
    QString offered;
    const QString elsewhere = QDir(dir.path()).filePath("sub");
    QDir().mkpath(elsewhere);
    group.SetDialogRunner([&](QFileDialog& d) {
        offered = QFileInfo(d.selectedFiles().value(0)).fileName();
        EXPECT_EQ(d.defaultSuffix(), "rmd");
        EXPECT_EQ(d.nameFilters(), QStringList{"Roll mode files (*.rmd)"});
        QDir::setCurrent(elsewhere);  // as a platform dialog may do
        d.selectFile(QDir(elsewhere).filePath("chosen"));
        return true;
    });
    QTest::mouseClick(&browse, Qt::LeftButton);
    EXPECT_EQ(offered, "first.rmd");
    const std::string chosen = QDir(elsewhere).filePath("chosen.rmd").toStdString();
    EXPECT_EQ(scope.RecordFileName(), chosen);
    EXPECT_EQ(edit.text().toStdString(), chosen);
    EXPECT_EQ(edit.toolTip().toStdString(), chosen);
    EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(dir.path()).canonicalPath());

    // Cancelling changes nothing.
    group.SetDialogRunner([](QFileDialog& d) {
        d.selectFile("other");
        return false;
    });
    QTest::mouseClick(&browse, Qt::LeftButton);
    EXPECT_EQ(scope.RecordFileName(), chosen);
}

TEST_F(SaveGroupTest, ClearingEmptiesTheFileOnlyOnYes) {
    const std::string path = Path("keep.rmd");
    { std::ofstream(path) << "0123456789"; }
    scope.OpenRecordFile(path);
    for (core::MsgResult answer : {core::MsgResult::No, core::MsgResult::Cancel}) {
        boxes.answer = answer;
        QTest::mouseClick(&clf, Qt::LeftButton);
        EXPECT_EQ(QFileInfo(QString::fromStdString(path)).size(), 10);
        EXPECT_FALSE(clf.Down());
    }
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], "Clear the file?");
    EXPECT_EQ(boxes.lastButtons, core::MsgButtons::YesNoCancel);

    boxes.answer = core::MsgResult::Yes;
    QTest::mouseClick(&clf, Qt::LeftButton);
    scope.CloseRecordFile();
    EXPECT_EQ(QFileInfo(QString::fromStdString(path)).size(), 0);
    EXPECT_FALSE(clf.Down());
    EXPECT_EQ(recorder.seen.size(), 3u);
}

TEST_F(SaveGroupTest, DuringAMeasurementOnlyTheNameCanChange) {
    QTest::mouseClick(&save, Qt::LeftButton);
    EXPECT_TRUE(scope.SavingActivated());
    EXPECT_TRUE(save.Down());

    scope.SetMeasurementStarted(true);
    Refresh();
    EXPECT_FALSE(save.isEnabled());
    EXPECT_FALSE(clf.isEnabled());
    EXPECT_FALSE(browse.isEnabled());
    EXPECT_TRUE(edit.isEnabled());
    QTest::mouseClick(&save, Qt::LeftButton);  // disabled: ignored
    EXPECT_TRUE(scope.SavingActivated());

    edit.clear();
    QTest::keyClicks(&edit, "during.rmd");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(scope.RecordFileName(), "during.rmd");

    scope.SetMeasurementStarted(false);
    Refresh();
    EXPECT_TRUE(save.isEnabled() && clf.isEnabled() && browse.isEnabled());
}

}  // namespace
