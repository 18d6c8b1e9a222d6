#include "TextFit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>

namespace textfit
{

namespace
{

int advance(const QWidget *control, const QString &text)
{
    return text.isEmpty() ? 0 : control->fontMetrics().horizontalAdvance(text);
}

int labelNeeds(const QLabel *label)
{
    if (label->wordWrap() || label->text().isEmpty())
        return 0;
    // The frame, if any, and the margin on either side.
    const int around = label->width() - label->contentsRect().width() + 2 * label->margin();
    return advance(label, label->text()) + around;
}

// What the style puts around a button's text: for a check box its indicator
// and the spacing, for a push button its bevel and margins.
int buttonNeeds(const QAbstractButton *button, QStyle::ContentsType type)
{
    if (button->text().isEmpty())
        return 0;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const auto *push = qobject_cast<const QPushButton *>(button);
    if (push && (push->autoDefault() || push->isDefault()))
        option.features |= QStyleOptionButton::AutoDefaultButton;
    // Some styles give every push button with a text a smallest width, which
    // is no room its text needs: the bevel and margins are asked for without it.
    if (type == QStyle::CT_PushButton)
        option.text.clear();
    const int around =
        button->style()->sizeFromContents(type, &option, QSize(0, 0), button).width();
    return advance(button, button->text()) + around;
}

// The caption with the style's margin before it, and as much after it.
int frameNeeds(const QGroupBox *frame)
{
    if (frame->title().isEmpty())
        return 0;
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.textAlignment = frame->alignment();
    if (frame->isFlat())
        option.features |= QStyleOptionFrame::Flat;
    const QRect caption = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, frame);
    return advance(frame, frame->title()) + 2 * qMax(0, caption.left());
}

// Sets the control's font; a frame's controls keep theirs.
void setOwnFont(QWidget *control, const QFont &font)
{
    if (qobject_cast<QGroupBox *>(control)) {
        const QList<QWidget *> inside =
            control->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *widget : inside)
            widget->setFont(widget->font());
    }
    control->setFont(font);
}

void fitText(QWidget *control)
{
    QFont font = control->font();
    // A font given in pixels has no point size to step down.
    if (font.pointSizeF() <= 0)
        return;
    while (!fits(control) && font.pointSizeF() - PointStep >= SmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - PointStep);
        setOwnFont(control, font);
    }
}

} // namespace

int neededWidth(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return labelNeeds(label);
    if (const auto *box = qobject_cast<const QCheckBox *>(control))
        return buttonNeeds(box, QStyle::CT_CheckBox);
    if (const auto *button = qobject_cast<const QPushButton *>(control))
        return buttonNeeds(button, QStyle::CT_PushButton);
    if (const auto *frame = qobject_cast<const QGroupBox *>(control))
        return frameNeeds(frame);
    return 0;
}

bool fits(const QWidget *control)
{
    return neededWidth(control) <= control->width();
}

void fitTexts(QWidget *window)
{
    // Style sheets and the classes' own fonts apply first.
    window->ensurePolished();
    const QList<QWidget *> controls = window->findChildren<QWidget *>();
    for (QWidget *control : controls)
        fitText(control);
}

} // namespace textfit
