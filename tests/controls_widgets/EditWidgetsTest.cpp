#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

#include "LongerTimeEditLyraRM.h"
#include "NumEditLyra.h"
#include "VoltageValueEditLyra.h"

namespace rollmode::controls {
namespace {

const QColor kBlue(0, 0, 255);

TEST(VoltageEdit, StartsAtOneMillivoltRightAligned) {
    TVoltageValueEditLyra edit;
    EXPECT_EQ(edit.Voltage(), 1.0);
    EXPECT_EQ(edit.text(), "1m");
    EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
}

TEST(VoltageEdit, TypingFiltersAndMarksBlueUntilEnter) {
    TVoltageValueEditLyra edit;
    const QColor normal = edit.TextColor();
    edit.clear();
    QTest::keyClicks(&edit, "2a5,0.x5mn");
    EXPECT_EQ(edit.text(), "250.5m");
    EXPECT_EQ(edit.TextColor(), kBlue);

    std::vector<double> seenOnRelease;
    QObject::connect(&edit, &TValueEditLyra::keyReleased, [&](int key) {
        if (TValueEditLyra::IsEnterKey(key)) seenOnRelease.push_back(edit.Voltage());
    });
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Voltage(), 250.5);
    EXPECT_EQ(edit.TextColor(), normal);
    EXPECT_EQ(seenOnRelease, std::vector<double>{250.5});  // parsed before the owner hears of it
    EXPECT_EQ(edit.text(), "250.5m");                    // the text stays as typed
}

TEST(VoltageEdit, EnterOnTextThatDoesNotParseChangesNothing) {
    TVoltageValueEditLyra edit;
    edit.SetVoltage(300);
    edit.setText("abc");  // pasted: not filtered
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClick(&edit, Qt::Key_Enter);
    EXPECT_EQ(edit.Voltage(), 300.0);
    EXPECT_EQ(edit.text(), "abc");
    EXPECT_EQ(edit.TextColor(), kBlue);

    edit.setText("m");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Voltage(), 300.0);
    EXPECT_EQ(edit.TextColor(), kBlue);
}

TEST(VoltageEdit, EnterAcceptsVoltsPastedCommasAndIgnoresMicrovolts) {
    TVoltageValueEditLyra edit;
    const QColor normal = edit.TextColor();
    edit.setText("0.25");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Voltage(), 250.0);
    edit.setText("1,5m");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Voltage(), 1.5);
    QTest::keyClick(&edit, Qt::Key_Home);
    edit.setText("5u");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.Voltage(), 1.5);
    EXPECT_EQ(edit.TextColor(), normal);
}

TEST(VoltageEdit, SettingTheValueRewritesTextButNotItsColour) {
    TVoltageValueEditLyra edit;
    QTest::keyClick(&edit, Qt::Key_1);
    edit.SetVoltage(999.4);
    EXPECT_EQ(edit.text(), "0.999");
    EXPECT_EQ(edit.Voltage(), 999.4);
    EXPECT_EQ(edit.TextColor(), kBlue);
    edit.SetVoltage(0.12345);
    EXPECT_EQ(edit.text(), "0.123m");
}

TEST(TimeEdit, TypedDurationIsAppliedWithEnter) {
    TLongerTimeEditLyraRM edit;
    EXPECT_EQ(edit.text(), "0s");
    const QColor normal = edit.TextColor();
    edit.clear();
    QTest::keyClicks(&edit, "1uh30m");
    EXPECT_EQ(edit.text(), "1h30m");
    EXPECT_EQ(edit.TextColor(), kBlue);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.TimeValue(), 5400000.0);
    EXPECT_EQ(edit.TextColor(), normal);

    edit.SetTimeValue(90000);
    EXPECT_EQ(edit.text(), "1m30s");
    edit.SetTimeValue(0);
    EXPECT_EQ(edit.text(), "0s");
    EXPECT_EQ(edit.TimeValue(), 0.0);
}

TEST(TimeEdit, TextNotStartingWithADigitIsEmptied) {
    TLongerTimeEditLyraRM edit;
    edit.SetTimeValue(5000);
    edit.setText("-5s");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_TRUE(edit.text().isEmpty());
    EXPECT_EQ(edit.TimeValue(), 5000.0);

    edit.setText("15");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.TimeValue(), 0.0);
}

TEST(NumEdit, FiltersAndConvertsItsText) {
    TNumEditLyra edit;
    QTest::keyClicks(&edit, "1a2m.5");
    EXPECT_EQ(edit.text(), "12.5");
    EXPECT_EQ(edit.NumValue(), 12.5);
    EXPECT_THROW(edit.NumValueInteger(), ConvertError);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_NE(edit.TextColor(), kBlue);  // no Enter handling, no blue

    edit.SetNumValue(2.5);
    EXPECT_EQ(edit.text(), "2");
    edit.SetNumValue(3.5);
    EXPECT_EQ(edit.text(), "4");
    edit.SetFloating(true);
    edit.SetNumValue(2.5);
    EXPECT_EQ(edit.text(), "2.5");

    edit.setText("65537");
    EXPECT_EQ(edit.NumValueWord(), 1);
    EXPECT_EQ(edit.NumValueInteger(), 65537);
    edit.SetNumValueInteger(-7);
    EXPECT_EQ(edit.NumValue(), -7.0);
    edit.SetNumValueWord(65535);
    EXPECT_EQ(edit.text(), "65535");

    edit.setText("x1");
    try {
        (void)edit.NumValue();
        FAIL() << "no conversion error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'x1' is not a valid floating point value");
    }
}

}  // namespace
}  // namespace rollmode::controls
