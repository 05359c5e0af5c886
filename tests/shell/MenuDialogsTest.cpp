#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <QColorDialog>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AboutScreen.h"
#include "ChannelIndicationButtonLyra.h"
#include "DemoSetupScreen.h"
#include "MenuTestSupport.h"
#include "NotificationCodes.h"
#include "NumEditLyra.h"
#include "SetColorScreen.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"

using namespace rollmode;

namespace {

QRect At(int left, int top, int width, int height) { return QRect(left, top, width, height); }

}  // namespace

// --- Colour dialog ---------------------------------------------------------------

TEST(SetColorForm, ControlsTextsAndTheModelsColours) {
    core::TVirtualScopeLyraRM scope;
    scope.SetColorChannelA(0x000000FF);
    scope.SetColorChannelB(0x0000FF00);
    scope.SetColorGrid(0x00404040);
    scope.SetBackgroundColor(0x00102030);
    display::TSetColorForm dialog;
    dialog.SetVirtualScope(&scope);

    EXPECT_EQ(dialog.windowTitle(), "SetColor");
    EXPECT_EQ(dialog.size(), QSize(207, 126));
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelChannelA")->text(), "Channel  A");
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelChannelB")->text(), "Channel  B");
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelGrid")->text(), "Grid");
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelBackground")->text(), "Background");
    EXPECT_EQ(dialog.findChild<QLabel*>("LabelBackground")->pos(), QPoint(8, 85));
    EXPECT_EQ(dialog.ButtonSetColorA()->geometry(), At(64, 16, 41, 20));
    EXPECT_EQ(dialog.ButtonSetColorB()->geometry(), At(64, 38, 41, 20));
    EXPECT_EQ(dialog.ButtonSetColorGrid()->geometry(), At(64, 60, 41, 20));
    EXPECT_EQ(dialog.ButtonSetColorBackground()->geometry(), At(64, 82, 41, 20));
    EXPECT_EQ(dialog.ButtonSetColorA()->text(), "Set    ");
    // Each colour button carries its glyph on the right, beyond the bar (x 26..31).
    for (QWidget* button : {static_cast<QWidget*>(dialog.ButtonSetColorA()), static_cast<QWidget*>(dialog.ButtonSetColorB()),
                            static_cast<QWidget*>(dialog.ButtonSetColorGrid()),
                            static_cast<QWidget*>(dialog.ButtonSetColorBackground())}) {
        const QImage face = button->grab().toImage();
        int glyph = 0;
        for (int y = 4; y < 16; ++y)
            for (int x = 33; x < 38; ++x) glyph += face.pixelColor(x, y) == QColor(Qt::black) ? 1 : 0;
        EXPECT_GE(glyph, 8) << button->objectName().toStdString();
    }
    EXPECT_EQ(dialog.ButtonOK()->geometry(), At(124, 16, 75, 20));
    EXPECT_EQ(dialog.ButtonCancel()->geometry(), At(124, 38, 75, 20));
    EXPECT_TRUE(dialog.ButtonCancel()->isDefault());
    EXPECT_FALSE(dialog.ButtonOK()->isDefault());

    EXPECT_EQ(dialog.ColorChannelA(), 0x000000FFu);
    EXPECT_EQ(dialog.ColorChannelB(), 0x0000FF00u);
    EXPECT_EQ(dialog.ColorGrid(), 0x00404040u);
    EXPECT_EQ(dialog.BackgroundColor(), 0x00102030u);
    EXPECT_EQ(dialog.ButtonSetColorGrid()->ChannelColor(), 0x00404040u);
}

TEST(SetColorForm, PickerStartsFromTheLastPickOfThisDialog) {
    core::TVirtualScopeLyraRM scope;
    scope.SetColorChannelA(0x000000FF);
    display::TSetColorForm dialog;
    dialog.SetVirtualScope(&scope);

    std::vector<QColor> openedWith;
    QColor next;
    bool confirm = true;
    dialog.SetPickerRunner([&](QColorDialog& picker) {
        openedWith.push_back(picker.currentColor());
        picker.setCurrentColor(next);
        if (confirm) picker.accept(); else picker.reject();
        return picker.result();
    });

    next = QColor(10, 20, 30);
    dialog.ButtonSetColorA()->click();
    EXPECT_EQ(dialog.ColorChannelA(), 0x001E140Au);  // 0x00BBGGRR
    next = QColor(40, 50, 60);
    confirm = false;  // browsed, then cancelled: nothing changes
    dialog.ButtonSetColorB()->click();
    EXPECT_EQ(dialog.ColorChannelB(), scope.ColorChannelB());
    next = QColor(70, 80, 90);
    confirm = true;
    dialog.ButtonSetColorBackground()->click();
    EXPECT_EQ(dialog.BackgroundColor(), 0x005A5046u);

    // Not the button's colour: black at first, then the last confirmed pick.
    ASSERT_EQ(openedWith.size(), 3u);
    EXPECT_EQ(openedWith[0], QColor(0, 0, 0));
    EXPECT_EQ(openedWith[1], QColor(10, 20, 30));
    EXPECT_EQ(openedWith[2], QColor(10, 20, 30));
    // The dialog itself never writes the model.
    EXPECT_EQ(scope.ColorChannelA(), 0x000000FFu);
}

TEST(SetColorForm, EscapeAndEnterBothCancel) {
    core::TVirtualScopeLyraRM scope;
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        display::TSetColorForm dialog;
        dialog.SetVirtualScope(&scope);
        dialog.setResult(-1);
        dialog.show();
        QTest::keyClick(&dialog, key);
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << key;
        EXPECT_FALSE(dialog.isVisible());
    }
    display::TSetColorForm dialog;
    dialog.SetVirtualScope(&scope);
    dialog.show();
    QTest::mouseClick(dialog.ButtonOK(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// --- About --------------------------------------------------------------------------

TEST(AboutForm, VersionText) {
    EXPECT_EQ(shell::VersionToString({1, 5, 0, 0}), "1.05");
    EXPECT_EQ(shell::VersionToString({2, 10, 7, 9}), "2.10");
    EXPECT_EQ(shell::VersionToString({0, 0, 0, 0}), "0.00");
    EXPECT_EQ(shell::VersionToString({3, 123, 0, 0}), "3.123");
    // The build's project version, compiled in.
    const shell::FileVersion v = shell::CompiledVersion();
    EXPECT_EQ(std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release) + "." +
                  std::to_string(v.build),
              std::string(ROLLMODE_PROJECT_VERSION));
}

// The versions and serial number come from the device, which may be anyone's.
TEST(AboutForm, DeviceTextsAreShownAsWritten) {
    const std::string markup = "<b>1.00</b><img src=\"/dev/zero\">";
    shell::TAboutForm dialog(markup, markup, markup, [](const QUrl&) {});
    for (const char* name : {"DeviceObtainedVersionLabel", "USBObtainedVersionLabel", "DeviceSerialNumberLabel"}) {
        EXPECT_EQ(dialog.Label(name)->text().toStdString(), markup) << name;
        EXPECT_EQ(dialog.Label(name)->textFormat(), Qt::PlainText) << name;
    }
}

TEST(AboutForm, LayoutTextsAndLinks) {
    std::vector<QUrl> opened;
    shell::TAboutForm dialog("1.00", "", "", [&](const QUrl& url) { opened.push_back(url); });
    EXPECT_EQ(dialog.windowTitle(), "About");
    EXPECT_EQ(dialog.size(), QSize(270, 137));
    EXPECT_EQ(dialog.Label("SoftwareVersionLabel")->text(), "Software version:");
    EXPECT_TRUE(dialog.Label("SoftwareVersionLabel")->styleSheet().contains("bold"));
    EXPECT_EQ(dialog.Label("DeviceObtainedVersionLabel")->text(), "1.00");
    EXPECT_EQ(dialog.Label("DeviceObtainedVersionLabel")->pos(), QPoint(21, 15));
    EXPECT_EQ(dialog.Label("USBDriverVersionLabel")->text(), "USB driver version:");
    EXPECT_EQ(dialog.Label("USBObtainedVersionLabel")->text(), "");  // nothing read: empty
    EXPECT_EQ(dialog.Label("DeviceSNCaptionLabel")->text(), "Device SN:");
    EXPECT_EQ(dialog.Label("DeviceSerialNumberLabel")->pos(), QPoint(21, 92));
    EXPECT_EQ(dialog.Label("Find")->text(), "Find us at:");
    EXPECT_EQ(dialog.Label("Contact")->pos(), QPoint(154, 40));
    EXPECT_EQ(dialog.DialogOK()->geometry(), At(224, 108, 41, 25));
    EXPECT_TRUE(dialog.DialogOK()->isDefault());
    QLabel* site = dialog.Label("CompanySite");
    QLabel* mail = dialog.Label("CompanyMail");
    EXPECT_TRUE(site->font().underline());
    EXPECT_EQ(mail->cursor().shape(), Qt::PointingHandCursor);

    dialog.show();
    QTest::mouseClick(site, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::RightButton);  // only the left button follows a link
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl("https://www.vanto.example/"));
    EXPECT_EQ(opened[1].toString(), "mailto:support@vanto.example");
    EXPECT_EQ(site->text(), "www.vanto.example");
    EXPECT_EQ(mail->text(), "support@vanto.example");

    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(AboutForm, NamesThePerUserFolderOnlyWhenOneIsInUse) {
    shell::TAboutForm portable("1.00", "", "", nullptr);
    EXPECT_EQ(portable.Label("UserFolderLabel"), nullptr);

    const QString folder = QDir::homePath() + "/.local/share/some/deeply/nested/place/for/corvo-rollmode";
    shell::TAboutForm installed("1.00", "", "", nullptr);
    installed.ShowUserFolder(folder);
    EXPECT_EQ(installed.size(), QSize(270, 137));
    EXPECT_EQ(installed.Label("UserFolderCaptionLabel")->text(), "Settings and records in:");
    QLabel* value = installed.Label("UserFolderLabel");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->toolTip(), folder);
    EXPECT_TRUE(value->text().startsWith("~/")) << value->text().toStdString();
    // Shortened to end before the OK button and inside the dialog.
    EXPECT_LE(value->geometry().right(), installed.DialogOK()->geometry().left());
    EXPECT_LE(value->geometry().bottom(), 137);
}

// --- Demo setup -------------------------------------------------------------------

TEST(DemoSetupForm, RoundsHalvesToEvenWithinTheIntegerRange) {
    EXPECT_EQ(shell::RoundDemoValue(250.5), 250);
    EXPECT_EQ(shell::RoundDemoValue(251.5), 252);
    EXPECT_EQ(shell::RoundDemoValue(-2.5), -2);
    EXPECT_EQ(shell::RoundDemoValue(2.4999), 2);
    EXPECT_EQ(shell::RoundDemoValue(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(shell::RoundDemoValue(-1e12), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(shell::RoundDemoValue(std::numeric_limits<double>::infinity()), std::numeric_limits<int32_t>::max());
    EXPECT_FALSE(shell::RoundDemoValue(std::nan("")).has_value());
}

class DemoSetupFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        scope.SetPeriodA(100);
        scope.SetPeriodB(200);
        scope.SetAmplitudeA(300);
        scope.SetAmplitudeB(400);
        scope.SetNoiseA(5);
        scope.SetNoiseB(6);
        // The model drops the first notification before start-up; spend it here.
        scope.NotifyListeners(core::kNotifyLayoutChanged, 99);
        recorder.seen.clear();
    }
    void ExpectModelUntouched() {
        EXPECT_EQ(scope.PeriodA(), 100);
        EXPECT_EQ(scope.PeriodB(), 200);
        EXPECT_EQ(scope.AmplitudeA(), 300);
        EXPECT_EQ(scope.AmplitudeB(), 400);
        EXPECT_EQ(scope.NoiseA(), 5);
        EXPECT_EQ(scope.NoiseB(), 6);
        EXPECT_TRUE(recorder.seen.empty());
    }
    core::TVirtualScopeLyraRM scope;
    ScriptedBoxes boxes;
    NotificationRecorder recorder{scope};
};

TEST_F(DemoSetupFormTest, LayoutAndFilledFromTheModel) {
    scope.SetShowComixHelp(true);
    shell::TDemoSetupForm dialog(boxes);
    dialog.SetVirtualScope(&scope);
    EXPECT_EQ(dialog.windowTitle(), "Demo setup");
    EXPECT_EQ(dialog.size(), QSize(211, 129));
    EXPECT_EQ(dialog.Edit("AmpChannelA")->geometry(), At(58, 24, 41, 21));
    EXPECT_EQ(dialog.Edit("PeriodChannelB")->geometry(), At(122, 48, 41, 21));
    EXPECT_EQ(dialog.Edit("NoiseChannelA")->geometry(), At(58, 72, 41, 21));
    EXPECT_EQ(dialog.ButtonOK()->geometry(), At(8, 96, 75, 25));
    EXPECT_EQ(dialog.ButtonCancel()->geometry(), At(104, 96, 75, 25));
    EXPECT_TRUE(dialog.ButtonOK()->isDefault());
    EXPECT_EQ(dialog.findChild<QLabel*>("PeriodLabel")->text(), "Period");
    EXPECT_EQ(dialog.findChild<QLabel*>("PeriodLabel")->toolTip(), "Set the demo waveform period");
    EXPECT_EQ(dialog.findChild<QLabel*>("PeriodUnitLabel")->text(), "mS");
    EXPECT_EQ(dialog.findChild<QLabel*>("ChannelBLabel")->text(), "Channel B");
    EXPECT_EQ(dialog.Edit("PeriodChannelA")->text(), "100");
    EXPECT_EQ(dialog.Edit("PeriodChannelB")->text(), "200");
    EXPECT_EQ(dialog.Edit("AmpChannelA")->text(), "300");
    EXPECT_EQ(dialog.Edit("AmpChannelB")->text(), "400");
    EXPECT_EQ(dialog.Edit("NoiseChannelA")->text(), "5");
    EXPECT_EQ(dialog.Edit("NoiseChannelB")->text(), "6");

    scope.SetShowComixHelp(false);
    dialog.SetVirtualScope(&scope);
    EXPECT_TRUE(dialog.findChild<QLabel*>("AmplitudeLabel")->toolTip().isEmpty());
}

TEST_F(DemoSetupFormTest, CancelAndEscapeChangeNothing) {
    for (const bool escape : {false, true}) {
        shell::TDemoSetupForm dialog(boxes);
        dialog.SetVirtualScope(&scope);
        dialog.Edit("PeriodChannelA")->setText("7");
        dialog.show();
        if (escape) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else {
            dialog.ButtonCancel()->click();
        }
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        dialog.StoreValues();  // after a cancel: nothing
        ExpectModelUntouched();
    }
}

TEST_F(DemoSetupFormTest, OkStoresRoundedValuesAndNotifiesOnce) {
    shell::TDemoSetupForm dialog(boxes);
    dialog.SetVirtualScope(&scope);
    dialog.Edit("PeriodChannelA")->setText("250.5");
    dialog.Edit("PeriodChannelB")->setText("251.5");
    dialog.Edit("AmpChannelA")->setText("-3.5");
    dialog.Edit("NoiseChannelB")->setText("0");
    dialog.ButtonOK()->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    dialog.StoreValues();
    EXPECT_EQ(scope.PeriodA(), 250);
    EXPECT_EQ(scope.PeriodB(), 252);
    EXPECT_EQ(scope.AmplitudeA(), -4);  // taken as typed: no range check but the period's
    EXPECT_EQ(scope.AmplitudeB(), 400);
    EXPECT_EQ(scope.NoiseB(), 0);
    EXPECT_EQ(recorder.seen, (std::vector<std::pair<int, int>>{{2, 255}}));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DemoSetupFormTest, PeriodBelowOneMillisecondIsRefusedAndTheDialogStays) {
    for (const char* text : {"0", "0.4", "-5"}) {
        for (const char* edit : {"PeriodChannelA", "PeriodChannelB"}) {
            shell::TDemoSetupForm dialog(boxes);
            dialog.SetVirtualScope(&scope);
            dialog.setResult(-1);
            dialog.show();
            dialog.Edit(edit)->setText(QString::fromLatin1(text));
            boxes.texts.clear();
            dialog.ButtonOK()->click();
            EXPECT_EQ(dialog.result(), -1) << edit << " " << text;
            EXPECT_TRUE(dialog.isVisible());
            ASSERT_EQ(boxes.texts.size(), 1u);
            EXPECT_EQ(boxes.texts[0], "The period must be at least 1 mS.");
            EXPECT_TRUE(dialog.Edit(edit)->hasSelectedText());
            dialog.StoreValues();
            ExpectModelUntouched();
        }
    }
    // 0.5 rounds to 0 (halves to even); 0.6 to 1, which is allowed.
    shell::TDemoSetupForm dialog(boxes);
    dialog.SetVirtualScope(&scope);
    dialog.Edit("PeriodChannelA")->setText("0.6");
    dialog.ButtonOK()->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    dialog.StoreValues();
    EXPECT_EQ(scope.PeriodA(), 1);
}

TEST_F(DemoSetupFormTest, TextThatIsNoNumberGivesAMessageNotACrash) {
    // The keys are filtered, pasted text is not.
    for (const char* text : {"abc", "", "1e999x", "nan"}) {
        shell::TDemoSetupForm dialog(boxes);
        dialog.SetVirtualScope(&scope);
        dialog.setResult(-1);
        dialog.Edit("NoiseChannelA")->setText(QString::fromLatin1(text));
        boxes.texts.clear();
        dialog.ButtonOK()->click();
        EXPECT_EQ(dialog.result(), -1) << text;
        ASSERT_EQ(boxes.texts.size(), 1u) << text;
        EXPECT_EQ(boxes.texts[0], "'" + std::string(text) + "' is not a valid floating point value");
        ExpectModelUntouched();
    }
}
