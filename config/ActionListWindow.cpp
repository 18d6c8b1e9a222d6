#include "ActionListWindow.h"

#include "ActionEditing.h"
#include "ActionEditor.h"
#include "ConfigAboutWindow.h"
#include "HelpTexts.h"
#include "Layout.h"
#include "MouseOverHelp.h"
#include "Pictures.h"
#include "Prompts.h"
#include "Restart.h"
#include "SettingsDialog.h"
#include "TextFit.h"
#include "WindowPlacement.h"
#include "ui_ActionListWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSignalBlocker>

ActionListWindow::ActionListWindow(Prompts &prompts, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::ActionListWindow>()), prompts(prompts),
      programFolder(QCoreApplication::applicationDirPath())
{
    ui->setupUi(this);
    textfit::fitTexts(this);
    setWindowIcon(pictures::programIcon());
    placeInCentre(this);

    connect(ui->List1, &QListWidget::itemSelectionChanged, this,
            &ActionListWindow::rememberSelection);
    connect(ui->Command1, &QPushButton::clicked, this, &ActionListWindow::addAction);
    connect(ui->Command2, &QPushButton::clicked, this, &ActionListWindow::modifyAction);
    connect(ui->Command3, &QPushButton::clicked, this, &ActionListWindow::deleteAction);
    connect(ui->Command4, &QPushButton::clicked, this, &ActionListWindow::openAbout);
    connect(ui->Command5, &QPushButton::clicked, this, &ActionListWindow::closeEditor);
    connect(ui->Command6, &QPushButton::clicked, this, &ActionListWindow::openSettings);

    auto *help = new MouseOverHelp(ui->Label1, this);
    help->watch(this, helptext::actionList());

    loadList();
}

ActionListWindow::~ActionListWindow() = default;

ActionEditor *ActionListWindow::editorWindow() const
{
    return loadedEditor.get();
}

SettingsDialog *ActionListWindow::settingsWindow() const
{
    return loadedSettings.get();
}

ConfigAboutWindow *ActionListWindow::aboutWindow() const
{
    return loadedAbout.get();
}

void ActionListWindow::setProgramFolder(const QString &folder)
{
    programFolder = folder;
}

bool ActionListWindow::bringForward()
{
    QWidget *window = this;
    QWidget *const secondaries[] = {loadedEditor.get(), loadedSettings.get(), loadedAbout.get()};
    for (QWidget *secondary : secondaries) {
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

// The close box ends the program without the restart of "Close"; the hidden
// secondary windows must not keep it running.
void ActionListWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    endProgram();
}

void ActionListWindow::rememberSelection()
{
    const QString row = selectedRowText();
    if (!row.isEmpty())
        editorState.selectedAction = row;
}

void ActionListWindow::addAction()
{
    ActionEditor *window = editor();
    window->setWindowTitle(editing::AddCaption);
    openSecondary(window);
}

void ActionListWindow::modifyAction()
{
    const QString row = selectedRowText();
    if (row.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"),
                     QStringLiteral("Please select the action to modify from the list!")},
                    this);
        return;
    }
    ActionEditor *window = editor();
    window->setWindowTitle(editing::ModifyCaption);
    window->fill(layout::actionNamed(settingsStore.current(), row));
    openSecondary(window);
}

void ActionListWindow::deleteAction()
{
    const QString row = selectedRowText();
    if (row.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"),
                     QStringLiteral("Please select the action to delete from the list!")},
                    this);
        return;
    }
    if (prompts.ask({PromptKind::Question, QStringLiteral("Question:"),
                     QStringLiteral("Really Remove Action ' ") + row + QStringLiteral(" ' ?")},
                    this) == Answer::No)
        return;
    const QString error = editing::remove(settingsStore, editorState, row);
    if (!error.isEmpty()) {
        prompts.ask({PromptKind::Error, QStringLiteral("Error:"), error}, this);
        return;
    }
    removeSelectedRow();
}

void ActionListWindow::openAbout()
{
    openSecondary(about());
}

// Close: a running checker reads its settings only when it starts, so after a
// change it is restarted before the editor ends.
void ActionListWindow::closeEditor()
{
    if (editorState.changesMade)
        restart::restartChecker(settingsStore, programFolder, prompts, this);
    endProgram();
}

void ActionListWindow::openSettings()
{
    settings()->showDialog();
    setEnabled(false);
}

void ActionListWindow::showAddedAction(const Action &action)
{
    ui->List1->addItem(action.description);
}

// The modified action's row is taken out and added again with its new text.
void ActionListWindow::showModifiedAction(const Action &action)
{
    removeSelectedRow();
    ui->List1->addItem(action.description);
}

void ActionListWindow::secondaryLeft()
{
    setEnabled(true);
}

// A window closed through its close box goes once its close event is over;
// the next use makes it afresh from its design.
void ActionListWindow::discard(std::unique_ptr<SecondaryWindow> window)
{
    window.release()->deleteLater();
}

void ActionListWindow::loadList()
{
    const QStringList descriptions = layout::actions(settingsStore.current());
    editorState.actionCount = static_cast<qint16>(descriptions.size());
    ui->List1->addItems(descriptions);
}

QString ActionListWindow::selectedRowText() const
{
    const QList<QListWidgetItem *> selected = ui->List1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void ActionListWindow::removeSelectedRow()
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

ActionEditor *ActionListWindow::editor()
{
    if (!loadedEditor) {
        loadedEditor = std::make_unique<ActionEditor>(settingsStore, editorState, prompts);
        adopt(loadedEditor.get());
        connect(loadedEditor.get(), &ActionEditor::added, this, &ActionListWindow::showAddedAction);
        connect(loadedEditor.get(), &ActionEditor::modified, this,
                &ActionListWindow::showModifiedAction);
        connect(loadedEditor.get(), &ActionEditor::closed, this,
                [this] { discard(std::move(loadedEditor)); });
    }
    return loadedEditor.get();
}

SettingsDialog *ActionListWindow::settings()
{
    if (!loadedSettings) {
        loadedSettings = std::make_unique<SettingsDialog>(settingsStore, editorState, prompts);
        adopt(loadedSettings.get());
        connect(loadedSettings.get(), &SettingsDialog::closed, this,
                [this] { discard(std::move(loadedSettings)); });
    }
    return loadedSettings.get();
}

ConfigAboutWindow *ActionListWindow::about()
{
    if (!loadedAbout) {
        loadedAbout = std::make_unique<ConfigAboutWindow>();
        adopt(loadedAbout.get());
        connect(loadedAbout.get(), &ConfigAboutWindow::closed, this,
                [this] { discard(std::move(loadedAbout)); });
    }
    return loadedAbout.get();
}

void ActionListWindow::adopt(SecondaryWindow *window)
{
    window->setWindowIcon(windowIcon());
    keepAboveOwner(window, this);
    connect(window, &SecondaryWindow::left, this, &ActionListWindow::secondaryLeft);
}

void ActionListWindow::openSecondary(QWidget *window)
{
    setEnabled(false);
    window->show();
    window->activateWindow();
}

void ActionListWindow::endProgram()
{
    QCoreApplication::quit();
}
