#include "WindowPlacement.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>

void placeInCentre(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

void keepAboveOwner(QWidget *window, QWidget *owner)
{
    // Both need their native windows for the link.
    window->winId();
    owner->winId();
    window->windowHandle()->setTransientParent(owner->windowHandle());
}
