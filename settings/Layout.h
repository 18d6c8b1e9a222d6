#pragma once

#include "Action.h"
#include "StoreReading.h"

#include <QString>
#include <QStringList>
#include <optional>

class Store;

// The sections and keys of the store, and the operations that keep the action
// list contiguous: key k of "!ActionList" holds the description of the action
// at position k, and section <description> holds its "URL", "Check" and "NR".
// Each operation that changes the list is one change of the store: saved
// whole, or not at all.
namespace layout
{

inline const QString ActionList = QStringLiteral("!ActionList");
inline const QString Settings = QStringLiteral("!Settings");
inline const QString Url = QStringLiteral("URL");
inline const QString Check = QStringLiteral("Check");
inline const QString Nr = QStringLiteral("NR");
inline const QString Fw = QStringLiteral("FW");
inline const QString FwIp = QStringLiteral("FWIP");
inline const QString FwPort = QStringLiteral("FWPort");
inline const QString Limit = QStringLiteral("Limit");
inline const QString Always = QStringLiteral("Always");
inline const QString CheckDate = QStringLiteral("CheckDate");
inline const QString TDate = QStringLiteral("TDate");

// Positions and counts are 16-bit: the list never grows past this position.
constexpr int MaxPosition = 32767;

// The descriptions at positions 1, 2, ... up to the first empty key.
QStringList actions(const StoreReading &store);

// The position of description `description` among the first `count` entries:
// its "NR" when that leads back to it, otherwise the first entry that holds it;
// 0 when the list does not hold it at all.
int positionOf(const StoreReading &store, const QString &description, int count);

// The action `description` as its section holds it; a missing key reads as empty.
Action actionNamed(const StoreReading &store, const QString &description);

// In one step, with the list's length n as the file holds it then: writes
// entry n+1, then the new section's "URL", "Check" and "NR". Returns the list's
// new length; 0, writing nothing, when n is already the largest position or
// the store could not be written.
int append(Store &store, const Action &action);

// Rewrites "URL" and "Check" of an action that keeps its description.
bool change(Store &store, const Action &action);

// Moves the action `oldDescription` to the section of `action`'s description,
// keeping its position. Fails, writing nothing, when the list does not hold
// `oldDescription`.
bool rename(Store &store, int count, const QString &oldDescription, const Action &action);

// append() and change() with the three texts apart, for filling a store by
// hand in tests and tools.
inline int append(Store &store, const QString &description, const QString &url,
                  const QString &check)
{
    return append(store, Action{description, url, check});
}
inline bool change(Store &store, const QString &description, const QString &url,
                   const QString &check)
{
    return change(store, Action{description, url, check});
}

// In one step, with the list's length n as the file holds it then: removes
// the action `description`; the last action (position n) moves into the freed
// position. Returns the list's new length; nothing, writing nothing, when the
// list does not hold the description or the store could not be written.
std::optional<int> remove(Store &store, const QString &description);

// Deletes "!Settings"/"CheckDate" when it holds a date, so that a restarted
// checker is not held back by the once-a-day limit.
void clearCheckDate(Store &store);

} // namespace layout
