#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

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

// The action list window: the editor's main window. It lists the actions,
// adds and modifies them through the action editor, deletes them itself, and
// owns the state that the editor's other windows share. Its prompts, and those
// of the windows it opens, each belong to the window that asks.
class ActionListWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ActionListWindow(Prompts &prompts, QWidget *parent = nullptr);
    ~ActionListWindow() override;

    EditorState &state() { return editorState; }
    Store &store() { return settingsStore; }

    // The list's rows, as the action editor updates them after Accept.
    void addRow(const QString &description);
    void removeSelectedRow();

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

    void loadList();
    QString selectedRowText() const;
    // The action editor, created from its design when it does not exist.
    ActionEditor *editor();
    SettingsDialog *settings();
    ConfigAboutWindow *about();
    // Shows a secondary window; this one stays disabled until it is left.
    void openSecondary(QWidget *window);
    void endProgram();

    std::unique_ptr<Ui::ActionListWindow> ui;
    Prompts &prompts;
    Store settingsStore;
    EditorState editorState;
    QString programFolder;
    QPointer<ActionEditor> loadedEditor;
    QPointer<SettingsDialog> loadedSettings;
    QPointer<ConfigAboutWindow> loadedAbout;
};
