#include "ActionListWindow.h"
#include "CloseChannel.h"
#include "MessageBoxes.h"
#include "Pictures.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("quorlin-config"));
    QApplication::setWindowIcon(pictures::programIcon());
    // Two editors would each count the list from their own copy of it and
    // overwrite each other's changes: a second start hands over to the first
    // and ends without touching the store.
    MessageBoxes prompts;
    SoleInstance instance(QStringLiteral("config"));
    if (!instance.claim()) {
        if (!instance.askToComeForward())
            prompts.ask({PromptKind::Information, QStringLiteral("Information:"),
                         QStringLiteral("Quorlin Config is already running!")});
        return 0;
    }
    ActionListWindow listWindow(prompts);
    instance.setComeForward([&listWindow] { return listWindow.bringForward(); });
    listWindow.show();
    return app.exec();
}
