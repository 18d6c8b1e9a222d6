#pragma once

#include "Version.h"

#include <QString>
#include <QtGlobal>
#include <optional>

class Store;

// The decisions the checker takes once at start-up from the store's options.
namespace startup
{

inline const QString Version = QStringLiteral(QUORLIN_VERSION);

// Key "1" of the action list holds a description.
bool hasActions(const Store &store);

// "FWIP:FWPort" exactly as stored when "FW" is "1"; nothing otherwise.
std::optional<QString> proxyText(const Store &store);

// "Limit" as a 16-bit number. A text that is not a whole number from -32768
// to 32767 counts as 0: no daily limit.
qint16 limitValue(const QString &text);
// "Limit", "1" when missing.
qint16 dailyLimit(const Store &store);

// "Always" is exactly "1".
bool alwaysConnected(const Store &store);

// Which of the three timers start-up enables.
struct Timers {
    bool timer1 = false; // dial-up schedule
    bool timer2 = false; // splash
    bool timer3 = false; // always-connected schedule
};
Timers timersFor(bool alwaysConnected);

} // namespace startup
