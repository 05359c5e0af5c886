#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

#include "OnOffButtonLyra.h"

namespace rollmode::controls {
namespace {

const QRgb kGrey = qRgb(160, 160, 164);
const QRgb kBlack = qRgb(0, 0, 0);

TEST(OnOffButton, GlyphStripHasFourLampsOnGrey) {
    const QImage strip = TOnOffButtonLyra::GlyphStrip();
    ASSERT_EQ(strip.size(), QSize(40, 10));
    EXPECT_EQ(strip.depth(), 8);

    const struct {
        int glyph;
        int top;
        QRgb lamp;
    } lamps[] = {{0, 4, qRgb(224, 64, 0)}, {1, 4, qRgb(166, 202, 240)}, {2, 4, qRgb(166, 202, 240)},
                 {3, 0, qRgb(160, 224, 0)}};
    for (const auto& l : lamps) {
        const int left = l.glyph * 10 + 2;
        int lampPixels = 0, blackPixels = 0;
        for (int y = 0; y < 10; ++y) {
            for (int x = l.glyph * 10; x < l.glyph * 10 + 10; ++x) {
                const QRgb p = strip.pixel(x, y);
                const bool inside = x >= left && x < left + 6 && y >= l.top && y < l.top + 6;
                if (!inside) {
                    EXPECT_EQ(p, kGrey) << x << "," << y;
                }
                lampPixels += p == l.lamp;
                blackPixels += p == kBlack;
            }
        }
        EXPECT_EQ(lampPixels, 16) << l.glyph;
        EXPECT_EQ(blackPixels, 16) << l.glyph;  // 6 x 6 outline minus four corners
        EXPECT_EQ(strip.pixel(left, l.top), kGrey);           // cut corner
        EXPECT_EQ(strip.pixel(left + 1, l.top), kBlack);
        EXPECT_EQ(strip.pixel(left + 1, l.top + 1), l.lamp);
    }
}

TEST(OnOffButton, ClickTogglesBeforeTheHandlerRuns) {
    TOnOffButtonLyra button;
    button.resize(40, 20);
    std::vector<bool> seen;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { seen.push_back(button.Down()); });

    EXPECT_EQ(button.GlyphIndex(), 0);
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_EQ(button.GlyphIndex(), 2);  // being clicked
    QTest::mouseRelease(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST(OnOffButton, StateSetFromCodeRunsNoHandler) {
    TOnOffButtonLyra button;
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    button.SetDown(true);
    EXPECT_TRUE(button.Down());
    EXPECT_EQ(button.GlyphIndex(), 3);
    button.SetDown(false);
    EXPECT_EQ(button.GlyphIndex(), 0);
    EXPECT_EQ(clicks.count(), 0);

    button.setEnabled(false);
    EXPECT_EQ(button.GlyphIndex(), 1);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_FALSE(button.Down());
}

TEST(OnOffButton, LampSitsAtTheRightEdge) {
    TOnOffButtonLyra button;
    button.setText("A");
    button.resize(40, 20);
    const QImage off = button.grab().toImage();
    // The lamp of glyph 1 (rows 4..9 of a 10 x 10 glyph) centred vertically, one
    // pixel from the right edge.
    const int glyphLeft = 40 - 1 - 1 - 10;
    const int glyphTop = (20 - 10) / 2;
    EXPECT_EQ(off.pixel(glyphLeft + 3, glyphTop + 6), qRgb(224, 64, 0));

    button.SetDown(true);
    const QImage on = button.grab().toImage();
    EXPECT_EQ(on.pixel(glyphLeft + 1 + 3, glyphTop + 1 + 2), qRgb(160, 224, 0));
}

}  // namespace
}  // namespace rollmode::controls
