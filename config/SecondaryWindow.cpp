#include "SecondaryWindow.h"

#include <QCloseEvent>

void SecondaryWindow::leave()
{
    emit left();
    hide();
}

void SecondaryWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit left();
    emit closed();
}
