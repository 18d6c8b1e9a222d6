#include "Restart.h"

#include "CloseChannel.h"
#include "Layout.h"
#include "MessageBox.h"

#include <QProcess>

namespace restart
{

QString checkerPath(const QString &programFolder)
{
    return programFolder + QStringLiteral("/Quorlin");
}

bool restartChecker(Store &store, const QString &programFolder, QWidget *owner)
{
    msgbox::show(QStringLiteral("Quorlin will now be restarted for changes to take effect."),
                 msgbox::Information, QStringLiteral("Information:"), owner);
    layout::clearCheckDate(store);
    // Returns once every checker has confirmed that it ends (or has not
    // answered in time), so the new one never runs beside the old one.
    closechannel::closeWindowsByTitle(QStringLiteral("Quorlin"));
    if (QProcess::startDetached(checkerPath(programFolder), {}, programFolder))
        return true;
    msgbox::show(QStringLiteral("Quorlin Not Correctly Installed! Couldn't Restart!"),
                 msgbox::Critical, QStringLiteral("Error:"), owner);
    return false;
}

} // namespace restart
