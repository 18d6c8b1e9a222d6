#include "ActionEditor.h"

#include "ActionEditing.h"
#include "ActionListWindow.h"
#include "HelpTexts.h"
#include "MessageBox.h"
#include "MouseOverHelp.h"
#include "WindowPlacement.h"
#include "ui_ActionEditor.h"

#include <QCloseEvent>

ActionEditor::ActionEditor(ActionListWindow &owner)
    : ui(std::make_unique<Ui::ActionEditor>()), listWindow(owner)
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

void ActionEditor::fill(const Action &action)
{
    ui->Text1->setText(action.description);
    ui->Text2->setText(action.url);
    ui->Text3->setText(action.check);
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
    const Action action = typedAction();
    const QString missing = editing::missingField(action);
    if (!missing.isEmpty()) {
        msgbox::show(missing, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    const bool adding = windowTitle() == editing::AddCaption;
    const QString error = adding ? editing::add(listWindow.store(), listWindow.state(), action)
                                 : editing::modify(listWindow.store(), listWindow.state(), action);
    if (!error.isEmpty()) {
        msgbox::show(error, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    listWindow.setEnabled(true);
    if (!adding)
        listWindow.removeSelectedRow();
    listWindow.addRow(action.description);
    clearFields();
    hide();
}

Action ActionEditor::typedAction() const
{
    return {ui->Text1->text(), ui->Text2->text(), ui->Text3->text()};
}

void ActionEditor::clearFields()
{
    ui->Text1->clear();
    ui->Text2->clear();
    ui->Text3->clear();
}
