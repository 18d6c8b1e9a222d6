#pragma once

#include "TrayController.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The checker's command line. Each item of the tray menu is also an option
// ("quorlin --check-now"), so that a desktop without a notification area
// reaches it through the menu entry's actions or a terminal; the option's name
// is the request that hands the item over the channel to a checker that runs
// already. Qt's own options (-platform and the like) are passed on to Qt.
namespace commandline
{

using MenuItem = TrayController::MenuItem;

struct Command {
    // Print `text` (help, version, or what is wrong) and end with `status`
    // instead of running: none for a start that runs.
    std::optional<int> status;
    QString text;
    // The menu item asked for; none for a plain start.
    std::optional<MenuItem> item;
};

// Reads `arguments` (the program's own first). Needs no display.
Command parse(const QStringList &arguments);

// The request that hands `item` to a running checker, and back.
QByteArray requestFor(MenuItem item);
std::optional<MenuItem> itemFor(const QByteArray &request);

} // namespace commandline
