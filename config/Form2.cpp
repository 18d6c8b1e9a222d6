#include "Form2.h"

#include "ActionEditing.h"
#include "Form1.h"
#include "HelpTexts.h"
#include "MessageBox.h"
#include "MouseOverHelp.h"
#include "WindowPlacement.h"
#include "ui_Form2.h"

#include <QCloseEvent>

Form2::Form2(Form1 &owner) : ui(std::make_unique<Ui::Form2>()), form1(owner)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(owner.windowIcon());
    placeInCentre(this);

    connect(ui->Command1, &QPushButton::clicked, this, &Form2::command1Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form2::command2Click);

    auto *help = new MouseOverHelp(ui->Label4, this);
    help->watch(this, helptext::form2());
}

Form2::~Form2() = default;

void Form2::fill(const QString &description, const QString &url, const QString &check)
{
    ui->Text1->setText(description);
    ui->Text2->setText(url);
    ui->Text3->setText(check);
}

// The close box discards the window with what its fields hold; nothing is saved.
void Form2::closeEvent(QCloseEvent *event)
{
    form1.setEnabled(true);
    event->accept();
}

// Cancel: leaves without saving.
void Form2::command1Click()
{
    clearFields();
    form1.setEnabled(true);
    hide();
}

// Accept: checks the fields, saves the action, and updates the list.
void Form2::command2Click()
{
    const QString description = ui->Text1->text();
    const QString url = ui->Text2->text();
    const QString check = ui->Text3->text();
    const QString missing = editing::missingField(description, url, check);
    if (!missing.isEmpty()) {
        msgbox::show(missing, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    const bool adding = windowTitle() == editing::AddCaption;
    const QString error =
        adding ? editing::add(form1.store(), form1.state(), description, url, check)
               : editing::modify(form1.store(), form1.state(), description, url, check);
    if (!error.isEmpty()) {
        msgbox::show(error, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    form1.setEnabled(true);
    if (!adding)
        form1.removeSelectedRow();
    form1.addRow(description);
    clearFields();
    hide();
}

void Form2::clearFields()
{
    ui->Text1->clear();
    ui->Text2->clear();
    ui->Text3->clear();
}
