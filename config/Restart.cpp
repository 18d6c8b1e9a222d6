#include "Restart.h"

#include "CloseChannel.h"
#include "Layout.h"
#include "ProgramStart.h"
#include "Prompts.h"

#include <QWidget>

namespace restart
{

QString checkerPath(const QString &programFolder)
{
    return programFolder + QStringLiteral("/Quorlin");
}

bool restartChecker(Store &store, const QString &programFolder, Prompts &prompts, QWidget *owner)
{
    prompts.ask({PromptKind::Information, QStringLiteral("Information:"),
                 QStringLiteral("Quorlin will now be restarted for changes to take effect.")},
                owner);
    layout::clearCheckDate(store);
    // Returns once every checker has confirmed that it ends (or has not
    // answered in time), so the new one never runs beside the old one.
    closechannel::closeWindowsByTitle(QStringLiteral("Quorlin"));
    if (programstart::startDetached(checkerPath(programFolder), {}, programFolder))
        return true;
    prompts.ask({PromptKind::Error, QStringLiteral("Error:"),
                 QStringLiteral("Quorlin Not Correctly Installed! Couldn't Restart!")},
                owner);
    return false;
}

} // namespace restart
