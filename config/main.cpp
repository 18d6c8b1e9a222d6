#include "ActionListWindow.h"
#include "CloseChannel.h"
#include "MessageBoxes.h"
#include "Pictures.h"

#include <QApplication>

namespace
{

// A later start asks the running editor to come forward; it answers whether
// the desktop let its window do so.
const QByteArray ShowRequest = QByteArrayLiteral("show");
const QByteArray ShownAnswer = QByteArrayLiteral("shown");
const QByteArray NotShownAnswer = QByteArrayLiteral("not shown");

} // namespace

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
        if (instance.ask(ShowRequest).line != ShownAnswer)
            prompts.ask({PromptKind::Information, QStringLiteral("Information:"),
                         QStringLiteral("Quorlin Config is already running!")});
        return 0;
    }
    ActionListWindow listWindow(prompts);
    instance.setRequestHandler([&listWindow](const QByteArray &request) {
        if (request != ShowRequest)
            return QByteArray();
        return listWindow.bringForward() ? ShownAnswer : NotShownAnswer;
    });
    listWindow.show();
    return app.exec();
}
