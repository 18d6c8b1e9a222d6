#pragma once

#include <QList>
#include <QString>

// The texts that the help label of each window shows while the pointer is
// over one of its controls or frames.
namespace helptext
{

// The help label's text at the start, and the text of every frame.
inline const QString Default = QStringLiteral("Move the mouse over an object to get help.");

struct Entry {
    QString control; // the object name of the control or frame
    QString text;
};
using Table = QList<Entry>;

// The action list window.
const Table &actionList();
// The action editor.
const Table &actionEditor();
// The settings dialog.
const Table &settingsDialog();

} // namespace helptext
