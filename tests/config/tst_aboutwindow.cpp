#include "ConfigAboutWindow.h"
#include "ConfigTestTools.h"
#include "HomeTest.h"
#include "Pictures.h"
#include "ScriptedPrompts.h"

#include <QtTest>

using namespace configtest;

class TestAboutWindow : public HomeTest
{
    Q_OBJECT

private slots:
    void windowDesign();
    void resizingMovesNothing();
    void openedTwiceShowsOneWindow();
    void closeBoxDiscardsWindow();

private:
    // Presses "About" and returns the window it shows.
    ConfigAboutWindow *openAbout(ActionListWindow &listWindow);
};

ConfigAboutWindow *TestAboutWindow::openAbout(ActionListWindow &listWindow)
{
    click(&listWindow, QStringLiteral("Command4"));
    ConfigAboutWindow *about = listWindow.aboutWindow();
    if (!about)
        qFatal("no About window");
    return about;
}

void TestAboutWindow::windowDesign()
{
    ActionListWindow listWindow(*script);
    ConfigAboutWindow *about = openAbout(listWindow);
    QCOMPARE(about->windowTitle(), QStringLiteral("About Quorlin"));
    QCOMPARE(about->size(), QSize(316, 352));
    QVERIFY(!about->windowIcon().isNull());
    QCOMPARE(about->windowIcon().cacheKey(), listWindow.windowIcon().cacheKey());
    const QRect area = about->screen()->availableGeometry();
    QVERIFY(qAbs(about->geometry().center().x() - area.center().x()) <= 3);
    QVERIFY(qAbs(about->geometry().center().y() - area.center().y()) <= 3);

    auto *title = child<QLabel>(about, QStringLiteral("Label1"));
    QCOMPARE(title->text(), QStringLiteral("Quorlin 1.6"));
    QCOMPARE(title->geometry(), QRect(8, 8, 297, 41));
    QVERIFY(title->alignment() & Qt::AlignHCenter);
    QCOMPARE(title->font().family(), QStringLiteral("Times New Roman"));
    QCOMPARE(title->font().pointSizeF(), 26.25);
    QVERIFY(title->font().bold());
    QVERIFY(title->font().italic());

    // The rules run from x 8 to 304, at y 64 and 312.
    for (const auto &[name, y] : {std::pair{"Line1", 64}, std::pair{"Line3", 312}}) {
        const QRect line = child<QWidget>(about, QString::fromLatin1(name))->geometry();
        QCOMPARE(line.left(), 8);
        QCOMPARE(line.right(), 303);
        QVERIFY(line.top() <= y && line.bottom() >= y);
    }
    auto *image = child<QLabel>(about, QStringLiteral("Image1"));
    QCOMPARE(image->geometry(), QRect(32, 80, 249, 46));
    QCOMPARE(image->pixmap().toImage(), pictures::banner().toImage());
    auto *close = child<QPushButton>(about, QStringLiteral("Command1"));
    QCOMPARE(close->text(), QStringLiteral("Close About"));
    QCOMPARE(close->geometry(), QRect(208, 320, 89, 25));
    QVERIFY(script->boxes.isEmpty());
}

// An ordinary sizable window whose contents stay where they are.
void TestAboutWindow::resizingMovesNothing()
{
    ActionListWindow listWindow(*script);
    ConfigAboutWindow *about = openAbout(listWindow);
    QVERIFY(about->minimumSize() != about->maximumSize());
    const QList<QWidget *> controls = about->findChildren<QWidget *>();
    QList<QRect> before;
    for (const QWidget *control : controls)
        before.append(control->geometry());
    about->resize(500, 500);
    QCoreApplication::processEvents();
    QCOMPARE(about->size(), QSize(500, 500));
    for (int i = 0; i < controls.size(); ++i)
        QCOMPARE(controls.at(i)->geometry(), before.at(i));
}

void TestAboutWindow::openedTwiceShowsOneWindow()
{
    ActionListWindow listWindow(*script);
    listWindow.show();
    ConfigAboutWindow *about = openAbout(listWindow);
    QVERIFY(about->isVisible());
    QVERIFY(!listWindow.isEnabled());
    // Kept above the list window by the window system, also on Wayland.
    QCOMPARE(about->windowHandle()->transientParent(), listWindow.windowHandle());
    click(about, QStringLiteral("Command1"));
    QVERIFY(about->isHidden());
    QVERIFY(listWindow.isEnabled());

    QCOMPARE(openAbout(listWindow), about);
    QVERIFY(about->isVisible());
    QVERIFY(!listWindow.isEnabled());
    click(about, QStringLiteral("Command1"));
    QVERIFY(listWindow.isEnabled());
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(
        std::count_if(windows.begin(), windows.end(),
                      [](const QWidget *w) { return qobject_cast<const ConfigAboutWindow *>(w); }),
        1);
}

void TestAboutWindow::closeBoxDiscardsWindow()
{
    ActionListWindow listWindow(*script);
    ConfigAboutWindow *about = openAbout(listWindow);
    QVERIFY(about->close());
    QVERIFY(listWindow.isEnabled());
    QTRY_VERIFY(!listWindow.aboutWindow());

    about = openAbout(listWindow);
    QVERIFY(about->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(about->windowIcon().cacheKey(), listWindow.windowIcon().cacheKey());
}

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
