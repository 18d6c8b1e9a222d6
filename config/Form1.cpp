#include "Form1.h"

#include "ActionEditing.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "HelpTexts.h"
#include "Layout.h"
#include "MessageBox.h"
#include "MouseOverHelp.h"
#include "Pictures.h"
#include "Restart.h"
#include "WindowPlacement.h"
#include "ui_Form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSignalBlocker>

Form1::Form1(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::Form1>()),
      programFolder(QCoreApplication::applicationDirPath())
{
    ui->setupUi(this);
    setWindowIcon(pictures::programIcon());
    placeInCentre(this);

    connect(ui->List1, &QListWidget::itemSelectionChanged, this, &Form1::list1Click);
    connect(ui->Command1, &QPushButton::clicked, this, &Form1::command1Click);
    connect(ui->Command2, &QPushButton::clicked, this, &Form1::command2Click);
    connect(ui->Command3, &QPushButton::clicked, this, &Form1::command3Click);
    connect(ui->Command4, &QPushButton::clicked, this, &Form1::command4Click);
    connect(ui->Command5, &QPushButton::clicked, this, &Form1::command5Click);
    connect(ui->Command6, &QPushButton::clicked, this, &Form1::command6Click);

    auto *help = new MouseOverHelp(ui->Label1, this);
    help->watch(this, helptext::form1());

    loadList();
}

Form1::~Form1()
{
    delete form2;
    delete form3;
    delete form4;
}

void Form1::addRow(const QString &description)
{
    ui->List1->addItem(description);
}

Form2 *Form1::editorWindow() const
{
    return form2;
}

Form3 *Form1::settingsWindow() const
{
    return form3;
}

Form4 *Form1::aboutWindow() const
{
    return form4;
}

void Form1::setProgramFolder(const QString &folder)
{
    programFolder = folder;
}

bool Form1::bringForward()
{
    QWidget *window = this;
    for (QWidget *secondary : {static_cast<QWidget *>(form2), static_cast<QWidget *>(form3),
                               static_cast<QWidget *>(form4)}) {
        if (secondary && secondary->isVisible())
            window = secondary;
    }
    for (QWidget *shown : {static_cast<QWidget *>(this), window}) {
        shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
        shown->raise();
    }
    window->activateWindow();
    // Wayland leaves the focus to the compositor: no program can take it.
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void Form1::removeSelectedRow()
{
    const QList<QListWidgetItem *> selected = ui->List1->selectedItems();
    if (selected.isEmpty())
        return;
    // The list selects a neighbour of the row it loses: that is no choice of
    // the user's, so it is neither kept nor reported.
    const QSignalBlocker quiet(ui->List1);
    delete selected.first();
    ui->List1->clearSelection();
}

// The close box ends the program without the restart of "Close"; the hidden
// secondary windows must not keep it running.
void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    endProgram();
}

void Form1::list1Click()
{
    const QString row = selectedRowText();
    if (!row.isEmpty())
        editorState.selectedAction = row;
}

void Form1::command1Click()
{
    Form2 *window = editor();
    window->setWindowTitle(editing::AddCaption);
    openSecondary(window);
}

void Form1::command2Click()
{
    const QString row = selectedRowText();
    if (row.isEmpty()) {
        msgbox::show(QStringLiteral("Please select the action to modify from the list!"),
                     msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    Form2 *window = editor();
    window->setWindowTitle(editing::ModifyCaption);
    window->fill(row, settingsStore.read(row, layout::Url), settingsStore.read(row, layout::Check));
    openSecondary(window);
}

void Form1::command3Click()
{
    const QString row = selectedRowText();
    if (row.isEmpty()) {
        msgbox::show(QStringLiteral("Please select the action to delete from the list!"),
                     msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    if (msgbox::show(QStringLiteral("Really Remove Action ' ") + row + QStringLiteral(" ' ?"),
                     msgbox::YesNoQuestion, QStringLiteral("Question:"), this) == msgbox::No)
        return;
    const QString error = editing::remove(settingsStore, editorState, row);
    if (!error.isEmpty()) {
        msgbox::show(error, msgbox::Critical, QStringLiteral("Error:"), this);
        return;
    }
    removeSelectedRow();
}

void Form1::command4Click()
{
    setEnabled(false);
    Form4 *window = about();
    window->show();
    window->activateWindow();
}

// Close: a running checker reads its settings only when it starts, so after a
// change it is restarted before the editor ends.
void Form1::command5Click()
{
    if (editorState.changesMade)
        restart::restartChecker(settingsStore, programFolder, this);
    endProgram();
}

void Form1::command6Click()
{
    settings()->showDialog();
    setEnabled(false);
}

void Form1::loadList()
{
    const QStringList descriptions = layout::actions(settingsStore);
    editorState.actionCount = static_cast<qint16>(descriptions.size());
    ui->List1->addItems(descriptions);
}

QString Form1::selectedRowText() const
{
    const QList<QListWidgetItem *> selected = ui->List1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

Form2 *Form1::editor()
{
    if (!form2) {
        form2 = new Form2(*this);
        keepAboveOwner(form2, this);
    }
    return form2;
}

Form3 *Form1::settings()
{
    if (!form3) {
        form3 = new Form3(*this);
        keepAboveOwner(form3, this);
    }
    return form3;
}

Form4 *Form1::about()
{
    if (!form4) {
        form4 = new Form4(*this);
        keepAboveOwner(form4, this);
    }
    return form4;
}

void Form1::openSecondary(QWidget *window)
{
    setEnabled(false);
    window->show();
    window->activateWindow();
}

void Form1::endProgram()
{
    QCoreApplication::quit();
}
