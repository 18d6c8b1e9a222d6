#pragma once

#include <QString>
#include <QStringList>

// Starting another program: the editor from the checker's menu, the checker
// from the editor's Close, the browser for an updated page. A started program
// gets the standard streams and nothing else of ours: libcurl opens its
// connections and its wake-up socket pair without close-on-exec, and a
// program that kept them would hold the sockets open long after we let go.
namespace programstart
{

// Marks every descriptor above the standard streams close-on-exec. Called
// just before a start, so that whatever was opened since the last one is
// covered too.
void keepDescriptorsToOurselves();

// Starts `program` with `arguments` in `folder` (ours when empty), without
// waiting for it; its process id goes to `pid` when given. False when it
// cannot be started.
bool startDetached(const QString &program, const QStringList &arguments = {},
                   const QString &folder = {}, qint64 *pid = nullptr);

} // namespace programstart
