#include "CheckerAboutWindow.h"

#include "Pictures.h"
#include "TextFit.h"

#include <QCloseEvent>

CheckerAboutWindow::CheckerAboutWindow(QWidget *parent) : QWidget(parent)
{
    pictures::load();
    ui.setupUi(this);
    textfit::fitTexts(this);
    ui.Image1->setPixmap(pictures::banner());
    setWindowIcon(pictures::programIcon());
    connect(ui.Command1, &QPushButton::clicked, this, &CheckerAboutWindow::closeAbout);
}

void CheckerAboutWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit unloaded();
}

void CheckerAboutWindow::closeAbout()
{
    hide();
}
