#pragma once

#include <QWidget>
#include <memory>

#include "Action.h"
#include "EditorState.h"
#include "Store.h"

namespace Ui
{
class ActionListWindow;
}
class ActionEditor;
class SettingsDialog;
class ConfigAboutWindow;
class Prompts;
class SecondaryWindow;

// The action list window: the editor's main window. It lists the actions,
// adds and modifies them through the action editor, deletes them itself, and
// owns the state that the editor's other windows share. It owns those windows
// too: each is made from its design at its first use, reports back when the
// user leaves it, and is discarded when closed through its close box. Its
// prompts, and those of the windows it opens, each belong to the window that
// asks.
class ActionListWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ActionListWindow(Prompts &prompts, QWidget *parent = nullptr);
    ~ActionListWindow() override;

    const EditorState &state() const { return editorState; }

    // The action editor, or null while it is not created.
    ActionEditor *editorWindow() const;
    // The settings dialog, or null while it is not created.
    SettingsDialog *settingsWindow() const;
    // The About window, or null while it is not created.
    ConfigAboutWindow *aboutWindow() const;

    // Raises the window the user works in (the open secondary window, if any)
    // and activates it; false where the desktop lets no program do so.
    bool bringForward();

    // The folder "Close" starts the checker from after a change: the
    // program's own folder unless set otherwise.
    void setProgramFolder(const QString &folder);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void rememberSelection();
    void addAction();
    void modifyAction();
    void deleteAction();
    void openAbout();
    void closeEditor();
    void openSettings();

    // What the secondary windows report.
    void showAddedAction(const Action &action);
    void showModifiedAction(const Action &action);
    void secondaryLeft();
    void discard(std::unique_ptr<SecondaryWindow> window);

    void loadList();
    QString selectedRowText() const;
    void removeSelectedRow();
    // The action editor, created from its design when it does not exist.
    ActionEditor *editor();
    SettingsDialog *settings();
    ConfigAboutWindow *about();
    // Gives a new secondary window this window's icon, keeps it above this
    // window and listens for the user leaving it.
    void adopt(SecondaryWindow *window);
    // Shows a secondary window; this one stays disabled until it is left.
    void openSecondary(QWidget *window);
    void endProgram();

    std::unique_ptr<Ui::ActionListWindow> ui;
    Prompts &prompts;
    Store settingsStore;
    EditorState editorState;
    QString programFolder;
    // The secondary windows, null while they are not made. Declared after
    // the store and the state, which the editor and the settings dialog use.
    std::unique_ptr<ActionEditor> loadedEditor;
    std::unique_ptr<SettingsDialog> loadedSettings;
    std::unique_ptr<ConfigAboutWindow> loadedAbout;
};
