// Renders the program's own widgets into PNG files, for a look by eye:
//   widget_gallery <folder>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ChannelIndicationButtonLyra.h"
#include "LongerTimeEditLyraRM.h"
#include "NumEditLyra.h"
#include "OnOffButtonLyra.h"
#include "UnitValueLabel.h"
#include "VerticalSlideLyra.h"
#include "VoltageValueEditLyra.h"

using namespace rollmode;

namespace {

void Save(QWidget& w, const QString& folder, const QString& name, int scale = 4) {
    w.adjustSize();
    const QImage image = w.grab().toImage();
    image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(QDir(folder).filePath(name + ".png"));
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? argv[1] : QDir::tempPath();
    QDir().mkpath(folder);

    {
        QImage strip = controls::TOnOffButtonLyra::GlyphStrip();
        strip.scaled(strip.size() * 16, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .save(QDir(folder).filePath("onoff_strip.png"));
    }
    {
        QWidget row;
        auto* layout = new QHBoxLayout(&row);
        const char* captions[] = {"A", "B", "Save", "Grid"};
        for (int i = 0; i < 4; ++i) {
            auto* b = new controls::TOnOffButtonLyra(&row);
            b->setText(captions[i]);
            b->setFixedSize(i < 2 ? 36 : 48, 20);
            layout->addWidget(b);
            if (i == 1) b->SetDown(true);
            if (i == 3) b->setEnabled(false);
        }
        Save(row, folder, "onoff_buttons");
    }
    {
        QWidget row;
        auto* layout = new QVBoxLayout(&row);
        auto* v = new controls::TVoltageValueEditLyra(&row);
        v->SetVoltage(1500);
        auto* t = new controls::TLongerTimeEditLyraRM(&row);
        t->SetTimeValue(5400000);
        auto* n = new controls::TNumEditLyra(&row);
        n->SetNumValue(1000);
        for (QWidget* w : {static_cast<QWidget*>(v), static_cast<QWidget*>(t), static_cast<QWidget*>(n)}) {
            w->setFixedWidth(80);
            layout->addWidget(w);
        }
        Save(row, folder, "edits", 2);
    }
    {
        QGroupBox box("Info");
        auto* layout = new QVBoxLayout(&box);
        const struct {
            int type;
            double value;
            bool sensitive;
        } rows[] = {{2, -1500, false}, {3, 1536, false}, {5, 5000, false}, {7, 0.00005, false}, {9, 999999000, true}};
        for (const auto& r : rows) {
            auto* label = new display::TUnitValueLabel(&box);
            label->setFixedSize(110, 16);
            label->SetControlType(r.type);
            label->SetMainValue(r.value);
            label->SetMouseSensitive(r.sensitive);
            layout->addWidget(label);
        }
        Save(box, folder, "value_labels", 2);
    }
    {
        QWidget panel;
        panel.setFixedSize(86, 200);
        auto* upA = new display::TChannelIndicationButtonLyra(&panel);
        upA->setGeometry(4, 10, 36, 22);
        upA->setArrowType(Qt::UpArrow);
        upA->SetChannelColor(0x0040FF00);
        auto* upB = new display::TChannelIndicationButtonLyra(&panel);
        upB->setGeometry(46, 10, 36, 22);
        upB->setArrowType(Qt::UpArrow);
        upB->SetChannelColor(0x0000FFFF);
        upB->setCheckable(true);
        upB->setChecked(true);
        auto* slideA = new display::TVerticalSlideLyra(&panel);
        slideA->setGeometry(10, 35, 25, 130);
        slideA->SetBarHeight(115);
        slideA->SetBarColor(0x0040FF00);
        slideA->SetBarPosition(40);
        auto* slideB = new display::TVerticalSlideLyra(&panel);
        slideB->setGeometry(52, 35, 25, 130);
        slideB->SetBarHeight(115);
        slideB->SetBarColor(0x0000FFFF);
        slideB->SetBarPosition(90);
        Save(panel, folder, "vertical_shifts", 3);
    }
    return 0;
}
