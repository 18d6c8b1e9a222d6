#pragma once

#include <QString>

class Prompts;
class QWidget;
class Store;

// Restarts the checker so that it reads the changed settings: what "Close" of
// the action list window does after a change.
namespace restart
{

// The checker program inside `programFolder`.
QString checkerPath(const QString &programFolder);

// Tells the user, deletes "CheckDate" so that the once-a-day limit does not
// hold back the new checker, asks every running checker to close, and starts
// the checker from `programFolder`; when it cannot be started, says so.
// Returns whether the new checker was started. Its prompts belong to `owner`.
bool restartChecker(Store &store, const QString &programFolder, Prompts &prompts,
                    QWidget *owner = nullptr);

} // namespace restart
