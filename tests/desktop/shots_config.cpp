// Pictures of config for the README, taken on the X screen named by DISPLAY
// (see scripts/screenshots.sh): the action list, the action editor on an
// action being modified, the settings dialog and the About window.

#include "ActionEditor.h"
#include "ActionListWindow.h"
#include "ConfigAboutWindow.h"
#include "Layout.h"
#include "MessageBoxes.h"
#include "Pictures.h"
#include "SettingsDialog.h"
#include "Store.h"
#include "TestHome.h"
#include "XDesktop.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cstdio>

namespace
{

bool fail(const char *what)
{
    std::fprintf(stderr, "shots_config: %s\n", what);
    return false;
}

// Waits until the window is up and framed, and saves it with its frame.
bool saveWindow(QWidget *window, const QString &file)
{
    if (!window || !QTest::qWaitForWindowExposed(window))
        return false;
    QTest::qWait(600);
    return xdesktop::saveScreen(window->frameGeometry(), file);
}

// The list a user might keep, with a proxy set.
bool fillStore()
{
    Store store;
    const struct {
        const char *description;
        const char *url;
        const char *check;
    } actions[] = {
        {"Editor downloads", "http://www.example.org/editor/downloads.html", "version 2.25"},
        {"Router firmware", "https://support.example.net/rt-300/firmware", "Build 4471"},
        {"Council minutes", "http://council.example.com/minutes.html", "March 2026"},
    };
    for (const auto &action : actions) {
        if (!layout::append(store, QString::fromUtf8(action.description),
                            QString::fromUtf8(action.url), QString::fromUtf8(action.check)))
            return false;
    }
    return store.write(layout::Settings, layout::Fw, QStringLiteral("1")) &&
           store.write(layout::Settings, layout::FwIp, QStringLiteral("proxy.example.net")) &&
           store.write(layout::Settings, layout::FwPort, QStringLiteral("3128"));
}

// Presses one of the action list window's buttons and saves the window it
// opens, then closes that window again.
bool saveOpened(ActionListWindow &listWindow, const char *button,
                const std::function<QWidget *()> &opened, const QString &file)
{
    auto *press = listWindow.findChild<QPushButton *>(QString::fromLatin1(button));
    if (!press)
        return false;
    QTest::mouseClick(press, Qt::LeftButton);
    QWidget *window = nullptr;
    if (!QTest::qWaitFor([&] { return (window = opened()) && window->isVisible(); }, 5000))
        return false;
    const bool saved = saveWindow(window, file);
    window->close();
    QTest::qWait(200);
    return saved;
}

bool takeShots(const QString &folder)
{
    TestHome home;
    if (!fillStore())
        return fail("cannot write the store");
    MessageBoxes prompts;
    ActionListWindow listWindow(prompts);
    listWindow.move(40, 60);
    listWindow.show();
    if (!saveWindow(&listWindow, folder + QStringLiteral("/action-list.png")))
        return fail("cannot save the action list");

    auto *list = listWindow.findChild<QListWidget *>(QStringLiteral("List1"));
    if (!list || list->count() == 0)
        return fail("the list is empty");
    list->setCurrentRow(0);
    if (!saveOpened(
            listWindow, "Command2",
            [&] { return static_cast<QWidget *>(listWindow.editorWindow()); },
            folder + QStringLiteral("/editor.png")))
        return fail("cannot save the action editor");
    if (!saveOpened(
            listWindow, "Command6",
            [&] { return static_cast<QWidget *>(listWindow.settingsWindow()); },
            folder + QStringLiteral("/settings.png")))
        return fail("cannot save the settings dialog");
    if (!saveOpened(
            listWindow, "Command4",
            [&] { return static_cast<QWidget *>(listWindow.aboutWindow()); },
            folder + QStringLiteral("/about-config.png")))
        return fail("cannot save the About window");
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("quorlin-config"));
    QApplication::setWindowIcon(pictures::programIcon());
    if (argc != 2 || QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "usage: shots_config <folder>, on an X display\n");
        return 2;
    }
    return takeShots(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
