#pragma once

#include <QString>
#include <QtGlobal>

// What the editor's windows share: owned by the action list window, read and
// updated by the action editor, the settings dialog and the restart on Close.
struct EditorState {
    // The number of actions in "!ActionList", i.e. its highest key in use.
    qint16 actionCount = 0;
    // The description of the list row the user selected last.
    QString selectedAction;
    // Set once an action was accepted or the settings were saved: Close then
    // restarts the checker.
    bool changesMade = false;
};
