#include "SetColorScreen.h"

#include <QColorDialog>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "ChannelIndicationButtonLyra.h"
#include "ColorConversion.h"
#include "LabelFit.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::display {

namespace {

// The colour buttons' glyph: a small black arrow head pointing right, to the picker it opens.
QPixmap PickerGlyph() {
    QPixmap glyph(4, 7);
    glyph.fill(Qt::transparent);
    QPainter painter(&glyph);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const QPoint head[] = {{0, 0}, {0, 7}, {4, 3}};
    painter.drawPolygon(head, 3);
    return glyph;
}

}  // namespace

TSetColorForm::TSetColorForm(QWidget* parent) : QDialog(parent) {
    setObjectName("SetColorForm");
    setWindowTitle(QString::fromLatin1(strings::kSetColorDesignCaption));
    setFixedSize(kClientWidth, kClientHeight);
    // The main window's face: the positions are laid out for it.
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPixelSize(11);
    setFont(face);

    auto makeLabel = [this](const char* name, int top) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->move(8, top);
        return label;
    };
    labelChannelA_ = makeLabel("LabelChannelA", 19);
    fButtonSetColorA_ = MakeColorButton("fButtonSetColorA", 16);
    labelChannelB_ = makeLabel("LabelChannelB", 41);
    fButtonSetColorB_ = MakeColorButton("fButtonSetColorB", 38);
    labelGrid_ = makeLabel("LabelGrid", 63);
    fButtonSetColorGrid_ = MakeColorButton("fButtonSetColorGrid", 60);
    labelBackground_ = makeLabel("LabelBackground", 85);
    fButtonSetColorBackground_ = MakeColorButton("fButtonSetColorBackground", 82);

    fButtonOK_ = new QPushButton(QString::fromLatin1(strings::kDialogOK), this);
    fButtonOK_->setObjectName("fButtonOK");
    fButtonOK_->setGeometry(124, 16, 75, 20);
    fButtonOK_->setAutoDefault(false);
    fButtonCancel_ = new QPushButton(QString::fromLatin1(strings::kDialogCancel), this);
    fButtonCancel_->setObjectName("fButtonCancel");
    fButtonCancel_->setGeometry(124, 38, 75, 20);
    // Cancel is the default button: Enter, like Escape, leaves without a change.
    fButtonCancel_->setDefault(true);
    connect(fButtonOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(fButtonCancel_, &QPushButton::clicked, this, &QDialog::reject);

    // OK first in the tab order, then the colour buttons from the top.
    setTabOrder(fButtonOK_, fButtonCancel_);
    setTabOrder(fButtonCancel_, fButtonSetColorA_);
    setTabOrder(fButtonSetColorA_, fButtonSetColorB_);
    setTabOrder(fButtonSetColorB_, fButtonSetColorGrid_);
    setTabOrder(fButtonSetColorGrid_, fButtonSetColorBackground_);
    fButtonOK_->setFocus();

    fDefaultColorDialog_ = new QColorDialog(this);
    fDefaultColorDialog_->setObjectName("fDefaultColorDialog");
    pickerRunner_ = [](QColorDialog& picker) { return picker.exec(); };

    FormCreate();
}

TChannelIndicationButtonLyra* TSetColorForm::MakeColorButton(const char* objectName, int top) {
    auto* button = new TChannelIndicationButtonLyra(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setText(QString::fromLatin1(strings::kButtonSetColor));
    button->setGeometry(64, top, 41, 20);
    button->SetButtonDown(0);
    // Caption on the left with room for the bar ("Set" and four blanks), glyph on the right.
    button->SetGlyph(PickerGlyph());
    button->setFocusPolicy(Qt::StrongFocus);
    connect(button, &QToolButton::clicked, this, [this, button] { PickColor(button); });
    return button;
}

void TSetColorForm::FormCreate() {
    labelChannelA_->setText(QString::fromLatin1(strings::kColorLabelChannel) +
                            QString::fromLatin1(strings::kColorLabelSuffixA));
    labelChannelB_->setText(QString::fromLatin1(strings::kColorLabelChannel) +
                            QString::fromLatin1(strings::kColorLabelSuffixB));
    labelGrid_->setText(QString::fromLatin1(strings::kColorLabelGrid));
    labelBackground_->setText(QString::fromLatin1(strings::kColorLabelBackground));
    // Room up to the colour buttons at 64.
    for (QLabel* label : {labelChannelA_, labelChannelB_, labelGrid_, labelBackground_}) {
        FitLabelText(label, 64 - 8 - 2);
    }
}

void TSetColorForm::SetVirtualScope(core::TVirtualScopeLyraRM* scope) {
    virtualScope_ = scope;
    fButtonSetColorA_->SetChannelColor(scope->ColorChannelA());
    fButtonSetColorB_->SetChannelColor(scope->ColorChannelB());
    fButtonSetColorGrid_->SetChannelColor(scope->ColorGrid());
    fButtonSetColorBackground_->SetChannelColor(scope->BackgroundColor());
}

void TSetColorForm::PickColor(TChannelIndicationButtonLyra* button) {
    // The picker is not preset from the button: it starts from this dialog's last pick.
    fDefaultColorDialog_->setCurrentColor(ToQColor(lastPick_));
    if (pickerRunner_(*fDefaultColorDialog_) != QDialog::Accepted) {
        return;
    }
    lastPick_ = FromQColor(fDefaultColorDialog_->selectedColor());
    button->SetChannelColor(lastPick_);
}

uint32_t TSetColorForm::ColorChannelA() const { return fButtonSetColorA_->ChannelColor(); }
uint32_t TSetColorForm::ColorChannelB() const { return fButtonSetColorB_->ChannelColor(); }
uint32_t TSetColorForm::ColorGrid() const { return fButtonSetColorGrid_->ChannelColor(); }
uint32_t TSetColorForm::BackgroundColor() const { return fButtonSetColorBackground_->ChannelColor(); }

}  // namespace rollmode::display
