#include "SettingsDialog.h"

#include "HelpTexts.h"
#include "Layout.h"
#include "MouseOverHelp.h"
#include "Prompts.h"
#include "SettingsEditing.h"
#include "Store.h"
#include "TextFit.h"
#include "WindowPlacement.h"
#include "ui_SettingsDialog.h"

SettingsDialog::SettingsDialog(Store &store, EditorState &state, Prompts &prompts)
    : ui(std::make_unique<Ui::SettingsDialog>()), store(store), state(state), prompts(prompts)
{
    ui->setupUi(this);
    textfit::fitTexts(this);
    placeInCentre(this);

    // stateChanged comes only when the value really changes, whether the user
    // clicked the box or the load set it.
    connect(ui->Check1, &QCheckBox::stateChanged, this, &SettingsDialog::proxyToggled);
    connect(ui->Check3, &QCheckBox::stateChanged, this, &SettingsDialog::limitToggled);
    connect(ui->Command1, &QPushButton::clicked, this, &SettingsDialog::save);
    // Cancel: leaves without writing; the next showing reloads from the store.
    connect(ui->Command2, &QPushButton::clicked, this, &SettingsDialog::leave);

    auto *help = new MouseOverHelp(ui->Label3, this);
    help->watch(this, helptext::settingsDialog());

    loadOptions();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::showDialog()
{
    show();
    activateWindow();
    // Coming up is what reloads the controls; the dialog's own message boxes
    // going away do not.
    loadOptions();
}

// The proxy box: the address and port are usable only while it is ticked.
void SettingsDialog::proxyToggled()
{
    setProxyFieldsEnabled(ui->Check1->isChecked());
}

// The limit box: clearing it is worth a word about the bandwidth.
void SettingsDialog::limitToggled()
{
    if (ui->Check3->isChecked())
        return;
    prompts.ask({PromptKind::Information, QStringLiteral("Information:"),
                 QStringLiteral("Quorlin will now check for updates every 1 hour.\r\n"
                                "This will take up some more bandwidth.")},
                this);
}

// Save: checks the proxy fields, writes the options and leaves.
void SettingsDialog::save()
{
    settingsdialog::Options options;
    options.proxy = ui->Check1->isChecked();
    options.address = ui->Text1->text();
    options.port = ui->Text2->text();
    options.limit = ui->Check3->isChecked();
    options.always = ui->Check2->isChecked();
    const QString missing = settingsdialog::missingProxyField(options);
    if (!missing.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), missing}, this);
        return;
    }
    const QString error = settingsdialog::save(store, state, options);
    if (!error.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), error}, this);
        return;
    }
    leave();
}

void SettingsDialog::loadOptions()
{
    ui->Text1->setText(store.read(layout::Settings, layout::FwIp));
    ui->Text2->setText(store.read(layout::Settings, layout::FwPort, QStringLiteral("80")));
    ui->Check1->setChecked(
        settingsdialog::ticked(store.read(layout::Settings, layout::Fw, QStringLiteral("0"))));
    if (!ui->Check1->isChecked())
        setProxyFieldsEnabled(false);
    ui->Check3->setChecked(
        settingsdialog::ticked(store.read(layout::Settings, layout::Limit, QStringLiteral("1"))));
    ui->Check2->setChecked(
        settingsdialog::ticked(store.read(layout::Settings, layout::Always, QStringLiteral("0"))));
}

void SettingsDialog::setProxyFieldsEnabled(bool enabled)
{
    ui->Label1->setEnabled(enabled);
    ui->Label2->setEnabled(enabled);
    ui->Text1->setEnabled(enabled);
    ui->Text2->setEnabled(enabled);
}
