#pragma once

#include <QString>
#include <QStringList>

// Tests run as root, who passes every permission check. A test that needs a
// user's limits (a file the user may not write, a compositor that refuses
// root) runs a copy of itself as an unprivileged user made for the purpose,
// with copies of the programs it needs in a folder of that user's own (the
// build folder may be out of its reach).
namespace unprivileged
{

// As root: makes the user "quorlin-desk" when there is none, copies this
// program and `programs` into a private folder of that user's, runs the copy
// there as that user with `arguments`, its own home and settings folder, and
// returns its exit status (125 when it could not be run). As anybody else:
// returns -1 and does nothing.
int runCopy(const QStringList &arguments, const QStringList &programs = {});

// Where the copy run as that user finds the copies of `programs`; empty in a
// program that was not run so.
QString copiesFolder();

} // namespace unprivileged
