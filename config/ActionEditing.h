#pragma once

#include "Action.h"

#include <QString>

struct EditorState;
class Store;

// What the action list window and the action editor do to the store and the
// shared state, apart from the widgets that show it. Each operation returns the
// text of the error box to show, or an empty text when it succeeded.
namespace editing
{

// The editor's caption is its mode: exactly this text means add mode.
inline const QString AddCaption = QStringLiteral("Adding A New Action...");
inline const QString ModifyCaption = QStringLiteral("Modify An Action...");

// The message asking for the first empty field, in the order Description,
// URL, Check String; empty when all three hold something (blanks count).
QString missingField(const Action &action);

// Appends the action after the last one the file lists, then sets actionCount
// to the list's new length and sets changesMade. Refuses a description already in the list, the
// names of the two fixed sections, and a full list; nothing is written then.
QString add(Store &store, EditorState &state, const Action &action);

// Rewrites the action state.selectedAction: its URL and check string when the
// description stays, otherwise moves it to the new description at the same
// position (refused like add() when that name is taken). Sets changesMade.
QString modify(Store &store, EditorState &state, const Action &action);

// Removes the action `description`; the last action the file lists moves into
// its position and actionCount becomes the list's new length. changesMade is
// not touched.
QString remove(Store &store, EditorState &state, const QString &description);

} // namespace editing
