#pragma once

#include <QWidget>

// A window that the action list window opens over itself, staying disabled
// until the user leaves it: the action editor, the settings dialog and the
// About window. Its own buttons hide it and it is kept for the next use; its
// close box discards it. Either way it reports back, and its owner does the rest.
class SecondaryWindow : public QWidget
{
    Q_OBJECT

public:
    SecondaryWindow() = default;

signals:
    // The user is done with the window, through one of its buttons or its close box.
    void left();
    // The window was closed through its close box: its owner discards it.
    void closed();

protected:
    // Reports left(), then hides the window.
    void leave();
    void closeEvent(QCloseEvent *event) override;
};
