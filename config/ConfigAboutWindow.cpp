#include "ConfigAboutWindow.h"

#include "Pictures.h"
#include "TextFit.h"
#include "Version.h"
#include "WindowPlacement.h"
#include "ui_ConfigAboutWindow.h"

ConfigAboutWindow::ConfigAboutWindow() : ui(std::make_unique<Ui::ConfigAboutWindow>())
{
    // The banner of the design comes from the built-in pictures.
    pictures::load();
    ui->setupUi(this);
    ui->Label1->setText(ui->Label1->text() + QStringLiteral(QUORLIN_VERSION));
    textfit::fitTexts(this);
    placeInCentre(this);

    // Close About: back to the action list.
    connect(ui->Command1, &QPushButton::clicked, this, &ConfigAboutWindow::leave);
}

ConfigAboutWindow::~ConfigAboutWindow() = default;
