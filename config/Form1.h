#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "EditorState.h"
#include "Store.h"

namespace Ui
{
class Form1;
}
class Form2;
class Form3;
class Form4;

// The action list window: the editor's main window. It lists the actions,
// adds and modifies them through the action editor, deletes them itself, and
// owns the state that the editor's other windows share.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    EditorState &state() { return editorState; }
    Store &store() { return settingsStore; }

    // The list's rows, as the action editor updates them after Accept.
    void addRow(const QString &description);
    void removeSelectedRow();

    // The action editor, or null while it is not created.
    Form2 *editorWindow() const;
    // The settings dialog, or null while it is not created.
    Form3 *settingsWindow() const;
    // The About window, or null while it is not created.
    Form4 *aboutWindow() const;

    // Raises the window the user works in (the open secondary window, if any)
    // and activates it; false where the desktop lets no program do so.
    bool bringForward();

    // The folder "Close" starts the checker from after a change: the
    // program's own folder unless set otherwise.
    void setProgramFolder(const QString &folder);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void list1Click();
    void command1Click();
    void command2Click();
    void command3Click();
    void command4Click();
    void command5Click();
    void command6Click();

    void loadList();
    QString selectedRowText() const;
    // The action editor, created from its design when it does not exist.
    Form2 *editor();
    Form3 *settings();
    Form4 *about();
    // Shows a secondary window; this one stays disabled until it is left.
    void openSecondary(QWidget *window);
    void endProgram();

    std::unique_ptr<Ui::Form1> ui;
    Store settingsStore;
    EditorState editorState;
    QString programFolder;
    QPointer<Form2> form2;
    QPointer<Form3> form3;
    QPointer<Form4> form4;
};
