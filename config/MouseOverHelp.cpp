#include "MouseOverHelp.h"

#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>

namespace
{

bool isFrame(const QWidget *widget)
{
    return qobject_cast<const QGroupBox *>(widget) != nullptr;
}

// Whether the pointer of an enter or move event over `frame` lies on one of
// the frame's enabled controls rather than on the frame itself.
bool pointerOnControl(const QWidget *frame, const QEvent *event)
{
    QPointF position;
    if (event->type() == QEvent::Enter)
        position = static_cast<const QEnterEvent *>(event)->position();
    else
        position = static_cast<const QMouseEvent *>(event)->position();
    const QWidget *child = frame->childAt(position.toPoint());
    return child != nullptr && child->isEnabled();
}

} // namespace

MouseOverHelp::MouseOverHelp(QLabel *helpLabel, QObject *parent) : QObject(parent), label(helpLabel)
{
}

void MouseOverHelp::watch(QWidget *window, const helptext::Table &table)
{
    for (const helptext::Entry &entry : table) {
        QWidget *control = window->findChild<QWidget *>(entry.control);
        Q_ASSERT(control);
        if (!control)
            continue;
        texts.insert(control, entry.text);
        control->installEventFilter(this);
        // Leaving a control for the empty part of its frame enters nothing (the
        // frame already holds the pointer), so frames follow every move.
        if (isFrame(control))
            control->setMouseTracking(true);
    }
}

bool MouseOverHelp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Enter && event->type() != QEvent::MouseMove)
        return false;
    const auto *control = static_cast<const QWidget *>(watched);
    if (!control->isEnabled()) {
        // A disabled control raises nothing: the pointer is over the frame beneath.
        showText(control->parentWidget());
        return false;
    }
    if (isFrame(control) && pointerOnControl(control, event))
        return false;
    showText(control);
    return false;
}

void MouseOverHelp::showText(const QWidget *control)
{
    const auto text = texts.constFind(control);
    if (text != texts.constEnd() && control->isEnabled())
        label->setText(*text);
}
