#include "Form3.h"

#include "Form1.h"
#include "HelpTexts.h"
#include "Layout.h"
#include "MessageBox.h"
#include "MouseOverHelp.h"
#include "SettingsEditing.h"
#include "WindowPlacement.h"
#include "ui_Form3.h"

#include <QCloseEvent>

Form3::Form3(Form1 &owner) : ui(std::make_unique<Ui::Form3>()), form1(owner)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(owner.windowIcon());
    placeInCentre(this);

    // stateChanged comes only when the value really changes, whether the user
    // clicked the box or the load set it.
    connect(ui->Check1, &QCheckBox::stateChanged, this, &Form3::check1Click);
    connect(ui->Check3, &QCheckBox::stateChanged, this, &Form3::check3Click);
    connect(ui->Command1, &QPushButton::clicked, this, &Form3::command1Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form3::command2Click);

    auto *help = new MouseOverHelp(ui->Label3, this);
    help->watch(this, helptext::form3());

    formLoad();
}

Form3::~Form3() = default;

void Form3::showDialog()
{
    show();
    activateWindow();
    // Coming up is what reloads the controls; the dialog's own message boxes
    // going away do not.
    formLoad();
}

// The close box discards the window and its edits; nothing is written.
void Form3::closeEvent(QCloseEvent *event)
{
    form1.setEnabled(true);
    event->accept();
}

// The proxy box: the address and port are usable only while it is ticked.
void Form3::check1Click()
{
    setProxyFieldsEnabled(ui->Check1->isChecked());
}

// The limit box: clearing it is worth a word about the bandwidth.
void Form3::check3Click()
{
    if (ui->Check3->isChecked())
        return;
    msgbox::show(QStringLiteral("Quorlin will now check for updates every 1 hour.\r\n"
                                "This will take up some more bandwidth."),
                 msgbox::Information, QStringLiteral("Information:"), this);
}

// Save: checks the proxy fields, writes the options and leaves.
void Form3::command1Click()
{
    settingsdialog::Options options;
    options.proxy = ui->Check1->isChecked();
    options.address = ui->Text1->text();
    options.port = ui->Text2->text();
    options.limit = ui->Check3->isChecked();
    options.always = ui->Check2->isChecked();
    const QString missing = settingsdialog::missingProxyField(options);
    if (!missing.isEmpty()) {
        msgbox::show(missing, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    const QString error = settingsdialog::save(form1.store(), form1.state(), options);
    if (!error.isEmpty()) {
        msgbox::show(error, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    form1.setEnabled(true);
    hide();
}

// Cancel: leaves without writing; the next showing reloads from the store.
void Form3::command2Click()
{
    form1.setEnabled(true);
    hide();
}

void Form3::formLoad()
{
    const Store &store = form1.store();
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

void Form3::setProxyFieldsEnabled(bool enabled)
{
    ui->Label1->setEnabled(enabled);
    ui->Label2->setEnabled(enabled);
    ui->Text1->setEnabled(enabled);
    ui->Text2->setEnabled(enabled);
}
