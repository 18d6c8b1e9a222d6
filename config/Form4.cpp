#include "Form4.h"

#include "Form1.h"
#include "Pictures.h"
#include "Version.h"
#include "WindowPlacement.h"
#include "ui_Form4.h"

#include <QCloseEvent>

Form4::Form4(Form1 &owner) : ui(std::make_unique<Ui::Form4>()), form1(owner)
{
    // The banner of the design comes from the built-in pictures.
    pictures::load();
    ui->setupUi(this);
    ui->Label1->setText(ui->Label1->text() + QStringLiteral(QUORLIN_VERSION));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(owner.windowIcon());
    placeInCentre(this);

    connect(ui->Command1, &QPushButton::clicked, this, &Form4::command1Click);
}

Form4::~Form4() = default;

// The close box discards the window.
void Form4::closeEvent(QCloseEvent *event)
{
    form1.setEnabled(true);
    event->accept();
}

// Close About: back to the action list.
void Form4::command1Click()
{
    form1.setEnabled(true);
    hide();
}
