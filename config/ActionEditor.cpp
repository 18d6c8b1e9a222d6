#include "ActionEditor.h"

#include "ActionEditing.h"
#include "HelpTexts.h"
#include "MouseOverHelp.h"
#include "Prompts.h"
#include "TextFit.h"
#include "WindowPlacement.h"
#include "ui_ActionEditor.h"

ActionEditor::ActionEditor(Store &store, EditorState &state, Prompts &prompts)
    : ui(std::make_unique<Ui::ActionEditor>()), store(store), state(state), prompts(prompts)
{
    ui->setupUi(this);
    textfit::fitTexts(this);
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

// Cancel: leaves without saving.
void ActionEditor::cancel()
{
    clearFields();
    leave();
}

// Accept: checks the fields, saves the action, and reports it.
void ActionEditor::accept()
{
    const Action action = typedAction();
    const QString missing = editing::missingField(action);
    if (!missing.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), missing}, this);
        return;
    }
    const bool adding = windowTitle() == editing::AddCaption;
    const QString error =
        adding ? editing::add(store, state, action) : editing::modify(store, state, action);
    if (!error.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), error}, this);
        return;
    }
    if (adding)
        emit added(action);
    else
        emit modified(action);
    clearFields();
    leave();
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
