#include "ConfigAboutWindow.h"

#include "ActionListWindow.h"
#include "Pictures.h"
#include "Version.h"
#include "WindowPlacement.h"
#include "ui_ConfigAboutWindow.h"

#include <QCloseEvent>

ConfigAboutWindow::ConfigAboutWindow(ActionListWindow &owner)
    : ui(std::make_unique<Ui::ConfigAboutWindow>()), listWindow(owner)
{
    // The banner of the design comes from the built-in pictures.
    pictures::load();
    ui->setupUi(this);
    ui->Label1->setText(ui->Label1->text() + QStringLiteral(QUORLIN_VERSION));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(owner.windowIcon());
    placeInCentre(this);

    connect(ui->Command1, &QPushButton::clicked, this, &ConfigAboutWindow::closeAbout);
}

ConfigAboutWindow::~ConfigAboutWindow() = default;

// The close box discards the window.
void ConfigAboutWindow::closeEvent(QCloseEvent *event)
{
    listWindow.setEnabled(true);
    event->accept();
}

// Close About: back to the action list.
void ConfigAboutWindow::closeAbout()
{
    listWindow.setEnabled(true);
    hide();
}
