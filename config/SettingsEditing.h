#pragma once

#include <QString>
#include <QtGlobal>

struct EditorState;
class Store;

// What the settings dialog reads from and writes to "!Settings", apart from
// the window that shows it.
namespace settingsdialog
{

// The options as the dialog's controls hold them.
struct Options {
    bool proxy = false;  // "FW"
    QString address;     // "FWIP"
    QString port;        // "FWPort"
    bool limit = false;  // "Limit"
    bool always = false; // "Always"
};

// Whether a stored check-box option shows ticked: only a value that reads as
// the number 1. "0", an empty text, the greyed value 2 and anything that is
// not a number show the box clear, which is also how the checker takes them.
bool ticked(const QString &stored);

// The message asking for the proxy's address or port, in that order, when the
// proxy is on and one of them is empty; an empty text otherwise. Only an
// empty text is missing: blanks and non-numbers pass.
QString missingProxyField(const Options &options);

// Writes "FW", "FWIP", "FWPort", "Limit" and "Always" as one change of the
// store, and sets changesMade. Returns the text of the error box when the store could
// not be written (changesMade is then left as it was), else an empty text.
QString save(Store &store, EditorState &state, const Options &options);

} // namespace settingsdialog
