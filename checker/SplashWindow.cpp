#include "SplashWindow.h"

#include "Pictures.h"
#include "TextFit.h"

#include <QScreen>

SplashWindow::SplashWindow(QWidget *parent) : QWidget(parent)
{
    pictures::load();
    ui.setupUi(this);
    textfit::fitTexts(this);
    ui.Image1->setPixmap(pictures::banner());
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
