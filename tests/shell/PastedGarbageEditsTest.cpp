// Garbage pasted through the clipboard into every kind of edit of the main window, on
// the real window with its control groups and model: Ctrl+A, Ctrl+V, Enter, then the
// focus leaves. Nothing may crash, a level or length that comes out is one the model
// can hold, a rejected text leaves the model as it was, and the edit shows what its
// rules say.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DemoSetupScreen.h"
#include "DemoWindow.h"
#include "EditFormats.h"
#include "LongerTimeEditLyraRM.h"
#include "MainFormComponents.h"
#include "MainScreen.h"
#include "NumEditLyra.h"
#include "QtApplicationControl.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "VoltageValueEditLyra.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {

constexpr QRgb kBlue = 0xFF0000FF;
const QString kMegabyteOfNines(1 << 20, QLatin1Char('9'));

QString WithNul(const char* before, const char* after) {
    return QString::fromLatin1(before) + QChar(u'\0') + QString::fromLatin1(after);
}

// Replaces the whole text with `text` the way a user pastes it, confirms with Enter and
// moves the focus away.
void PasteAndConfirm(QLineEdit* edit, QWidget* next, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Return);
    next->setFocus();
    QApplication::processEvents();
}

class PastedIntoEdits : public shelltest::ShownDemoWindow {
protected:
    template <typename T>
    T* Find(const char* name) {
        return window->Find<T>(name);
    }
    core::TVirtualScopeLyraRM& Scope() { return components->VirtualScopeLyraRM1(); }
    QWidget* Elsewhere() { return Find<QWidget>("SaveButton"); }
};

// What a level edit makes of a pasted text: the new level in millivolts, or none when the
// text is rejected (or, for "u" and "n", understood and changing nothing), and the text it
// then shows.
struct LevelCase {
    QString pasted;
    std::optional<double> millivolts;
    bool understood;
    const char* shown;
};

std::vector<LevelCase> LevelCases() {
    return {
        {"", std::nullopt, false, "200m"},
        {kMegabyteOfNines, std::nullopt, false, "200m"},
        {QString::fromLatin1("\x01\x02\x1b[31m\x7f\t\r\n"), std::nullopt, false, "200m"},
        {WithNul("12", "5m"), std::nullopt, false, "200m"},
        {QString::fromUtf8("\xff\xfe\xc3\x28 5m"), std::nullopt, false, "200m"},
        // Volts that overflow the millivolt value are no level.
        {"1e308", std::nullopt, false, "200m"},
        {"-1e308", std::nullopt, false, "200m"},
        {"1e999", std::nullopt, false, "200m"},
        {"1e300m", 1e300, true, "1E297"},
        {"-1e305", -1e300, true, "-1E297"},
        {"1e305m", 1e300, true, "1E297"},
        {"2e-3", 2.0, true, "2m"},
        {"nan", std::nullopt, false, "200m"},
        {"inf", std::nullopt, false, "200m"},
        {"-INF", std::nullopt, false, "200m"},
        {"NaNm", std::nullopt, false, "200m"},
        {"-250m", -250.0, true, "-250m"},
        {"-1.5", -1500.0, true, "-1.5"},
        {"--1", std::nullopt, false, "200m"},
        {"1,5", 1500.0, true, "1.5"},
        {"1,5m", 1.5, true, "1.5m"},
        {"1.000,5", std::nullopt, false, "200m"},
        {"1.2.3", std::nullopt, false, "200m"},
        {"...", std::nullopt, false, "200m"},
        {"5..m", std::nullopt, false, "200m"},
        {" 1.5 ", 1500.0, true, "1.5"},
        {" 250m", 250.0, true, "250m"},
        {"250m ", std::nullopt, false, "200m"},
        {"5u", std::nullopt, true, "200m"},
    };
}

TEST_F(PastedIntoEdits, LevelEditsKeepTheModelsLevelOrTakeAFiniteOne) {
    struct Level {
        const char* edit;
        double (core::TVirtualScopeLyraRM::*get)() const;
        void (core::TVirtualScopeLyraRM::*set)(double);
    };
    using S = core::TVirtualScopeLyraRM;
    const Level levels[] = {{"TriggerLevelAEdit", &S::TriggerLevelA, &S::SetTriggerLevelA},
                            {"TriggerLevelBEdit", &S::TriggerLevelB, &S::SetTriggerLevelB},
                            {"ArmLevelAEdit", &S::ARMLevelA, &S::SetARMLevelA},
                            {"ArmLevelBEdit", &S::ARMLevelB, &S::SetARMLevelB}};
    for (const Level& level : levels) {
        auto* edit = Find<controls::TVoltageValueEditLyra>(level.edit);
        ASSERT_NE(edit, nullptr);
        const QColor normal = form->palette().color(QPalette::Text);
        for (const LevelCase& c : LevelCases()) {
            const std::string label = std::string(level.edit) + " <" + c.pasted.left(24).toStdString() + ">";
            (Scope().*level.set)(200.0);
            Scope().NotifyListeners(2, 255);
            ASSERT_EQ(edit->text(), "200m") << label;
            PasteAndConfirm(edit, Elsewhere(), c.pasted);

            const double now = (Scope().*level.get)();
            EXPECT_TRUE(std::isfinite(now)) << label;
            EXPECT_EQ(now, c.millivolts.value_or(200.0)) << label;
            EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown)) << label;
            EXPECT_EQ(edit->Voltage(), controls::RoundVoltage(now)) << label;
            // Understood: back to the normal colour; rejected: still blue as not applied.
            EXPECT_EQ(edit->TextColor(), c.understood ? normal : QColor::fromRgb(kBlue)) << label;
            EXPECT_FALSE(edit->hasFocus()) << label;
        }
    }
    EXPECT_TRUE(boxes.texts.empty());  // the level edits never show a message
}

// The length edit holds whole milliseconds of 32 bits; a rejected text is emptied and the
// refresh puts the model's length back.
struct LengthCase {
    QString pasted;
    std::optional<uint32_t> milliseconds;
    const char* shown;
};

TEST_F(PastedIntoEdits, TheLengthEditKeepsTheLengthOrTakesOneWithinItsRange) {
    auto* edit = Find<controls::TLongerTimeEditLyraRM>("LengthEdit");
    ASSERT_NE(edit, nullptr);
    const QColor normal = form->palette().color(QPalette::Text);
    const QString manyNines(400, QLatin1Char('9'));
    const std::vector<LengthCase> cases = {
        {"", std::nullopt, "7s"},
        // A number without a unit counts nothing, however long.
        {kMegabyteOfNines, 0u, "0s"},
        // More hours than a double holds: the longest length, not nothing.
        {manyNines + "h", 4294967295u, "1193h2m47s295ms"},
        {"99999999999h", 4294967295u, "1193h2m47s295ms"},
        {QString::fromLatin1("\x01\x02\x1b[31m\t\r\n"), std::nullopt, "7s"},
        {WithNul("2m", "5s"), 125000u, "2m5s"},
        {QString::fromUtf8("\xff\xfe\xc3\x28"), std::nullopt, "7s"},
        {"1e308s", 308000u, "5m8s"},
        {"nan", std::nullopt, "7s"},
        {"inf", std::nullopt, "7s"},
        {"-5s", std::nullopt, "7s"},
        {"1,5h", 18000000u, "5h"},
        {"1.5.5s", 5000u, "5s"},
        {" 5s", std::nullopt, "7s"},
        {"5s ", 5000u, "5s"},
        {"0.4ms", 0u, "0s"},
    };
    for (const LengthCase& c : cases) {
        const std::string label = "<" + c.pasted.left(24).toStdString() + ">";
        Scope().SetMeasurementDefined(true);
        Scope().SetMeasurementLength(7000);
        Scope().NotifyListeners(2, 255);
        ASSERT_TRUE(edit->isEnabled());
        ASSERT_EQ(edit->text(), "7s");
        PasteAndConfirm(edit, Elsewhere(), c.pasted);

        EXPECT_EQ(Scope().MeasurementLength(), c.milliseconds.value_or(7000u)) << label;
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown)) << label;
        EXPECT_EQ(edit->TextColor(), c.milliseconds ? normal : QColor::fromRgb(kBlue)) << label;
    }
    EXPECT_TRUE(boxes.texts.empty());
}

// The file name edit passes its text on as it is; a name that cannot be a file is refused
// with the program's message and saving goes off, and no other file is written instead.
TEST_F(PastedIntoEdits, TheFileNameEditOpensWhatItShowsOrRefusesIt) {
    auto* edit = Find<QLineEdit>("SaveFileEdit");
    ASSERT_NE(edit, nullptr);
    struct NameCase {
        QString pasted;
        bool opens;
    };
    const std::vector<NameCase> cases = {
        {"", false},
        {QString(1 << 20, QLatin1Char('x')), false},
        {WithNul("cut", "off.rmd"), false},
        {"no/such/folder/x.rmd", false},
        {QString::fromLatin1("\x01\x02\x1b[31m.rmd"), true},
        {QString::fromUtf8("\xff\xfe\xc3\x28.rmd"), true},
        {" spaced .rmd ", true},
        {"1e308", true},
    };
    for (const NameCase& c : cases) {
        const std::string label = "<" + c.pasted.left(24).toStdString() + ">";
        Scope().OpenRecordFile("good.rmd");
        Scope().SetSavingActivated(true);
        Scope().NotifyListeners(2, 255);
        ASSERT_TRUE(Scope().SavingActivated());
        boxes.texts.clear();
        PasteAndConfirm(edit, Elsewhere(), c.pasted);

        // The edit shows the name the model holds, which is the text confirmed.
        EXPECT_EQ(edit->text().toStdString(), Scope().RecordFileName()) << label;
        EXPECT_EQ(Scope().SavingActivated(), c.opens) << label;
        EXPECT_EQ(Scope().ActualOutputStream() != nullptr, c.opens) << label;
        if (c.opens) {
            EXPECT_TRUE(boxes.texts.empty()) << label;
            EXPECT_TRUE(QFile::exists(edit->text())) << label;
        } else {
            ASSERT_EQ(boxes.texts.size(), 1u) << label;
            EXPECT_EQ(boxes.texts[0], "Cannot create file ") << label;
        }
    }
    // The part before the NUL was never created in its place.
    EXPECT_FALSE(QFile::exists("cut"));
}

// The demo setup dialog's numeric edits: OK (Enter) takes six sound values or tells why
// not and stays open with the model untouched.
TEST_F(PastedIntoEdits, TheDemoSetupEditsGiveSoundValuesOrAMessage) {
    struct DemoCase {
        QString pasted;
        std::optional<int32_t> period;  // none: refused with a message
    };
    const std::vector<DemoCase> cases = {
        {"", std::nullopt},
        {kMegabyteOfNines, std::nullopt},
        {QString::fromLatin1("\x01\x02\x1b\t"), std::nullopt},
        {WithNul("12", "5"), std::nullopt},
        {QString::fromUtf8("\xff\xfe"), std::nullopt},
        {"1e308", 2147483647},
        {"1e999", std::nullopt},
        {"nan", std::nullopt},
        {"-inf", std::nullopt},
        {"-5", std::nullopt},
        {"1,5", 2},
        {"1.2.3", std::nullopt},
        {" 7 ", 7},
    };
    for (const DemoCase& c : cases) {
        const std::string label = "<" + c.pasted.left(24).toStdString() + ">";
        Scope().SetPeriodA(100);
        shell::TDemoSetupForm dialog(boxes, form);
        dialog.SetVirtualScope(&Scope());
        dialog.setResult(-1);
        dialog.show();
        auto* edit = dialog.Edit("PeriodChannelA");
        ASSERT_NE(edit, nullptr);
        boxes.texts.clear();
        // Enter in an edit presses OK, the dialog's default button.
        PasteAndConfirm(edit, dialog.Edit("PeriodChannelB"), c.pasted);
        dialog.StoreValues();
        if (c.period) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << label;
            EXPECT_EQ(Scope().PeriodA(), *c.period) << label;
            EXPECT_TRUE(boxes.texts.empty()) << label;
        } else {
            EXPECT_EQ(dialog.result(), -1) << label;
            EXPECT_EQ(Scope().PeriodA(), 100) << label;
            EXPECT_EQ(boxes.texts.size(), 1u) << label;
        }
    }
}

}  // namespace
