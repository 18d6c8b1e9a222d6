#include "ActionEditor.h"

#include "ActionEditing.h"
#include "ActionListWindow.h"
#include "HelpTexts.h"
#include "MouseOverHelp.h"
#include "Prompts.h"
#include "WindowPlacement.h"
#include "ui_ActionEditor.h"

#include <QCloseEvent>

ActionEditor::ActionEditor(ActionListWindow &owner, Prompts &prompts)
    : ui(std::make_unique<Ui::ActionEditor>()), listWindow(owner), prompts(prompts)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(owner.windowIcon());
    placeInCentre(this);

    connect(ui->Command1, &QPushButton::clicked, this, &ActionEditor::cancel);
    connect(ui->Command2, &QPushButton::clicked, this, &ActionEditor::accept);

    auto *help = new MouseOverHelp(ui->Label4, this);
    help->watch(this, helptext::actionEditor());
}

ActionEditor::~ActionEditor() = default;

void ActionEditor::fill(const QString &description, const QString &url, const QString &check)
{
    ui->Text1->setText(description);
    ui->Text2->setText(url);
    ui->Text3->setText(check);
}

// The close box discards the window with what its fields hold; nothing is saved.
void ActionEditor::closeEvent(QCloseEvent *event)
{
    listWindow.setEnabled(true);
    event->accept();
}

// Cancel: leaves without saving.
void ActionEditor::cancel()
{
    clearFields();
    listWindow.setEnabled(true);
    hide();
}

// Accept: checks the fields, saves the action, and updates the list.
void ActionEditor::accept()
{
    const QString description = ui->Text1->text();
    const QString url = ui->Text2->text();
    const QString check = ui->Text3->text();
    const QString missing = editing::missingField(description, url, check);
    if (!missing.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), missing}, this);
        return;
    }
    const bool adding = windowTitle() == editing::AddCaption;
    const QString error =
        adding ? editing::add(listWindow.store(), listWindow.state(), description, url, check)
               : editing::modify(listWindow.store(), listWindow.state(), description, url, check);
    if (!error.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), error}, this);
        return;
    }
    listWindow.setEnabled(true);
    if (!adding)
        listWindow.removeSelectedRow();
    listWindow.addRow(description);
    clearFields();
    hide();
}

void ActionEditor::clearFields()
{
    ui->Text1->clear();
    ui->Text2->clear();
    ui->Text3->clear();
}
