#include "CheckRun.h"
#include "CheckerAboutWindow.h"
#include "ConfigAboutWindow.h"
#include "ConfigTestTools.h"
#include "HelpTexts.h"
#include "HomeTest.h"
#include "Layout.h"
#include "SettingsDialog.h"
#include "SplashWindow.h"
#include "StartupOptions.h"
#include "StatusWindow.h"
#include "Store.h"
#include "TextFit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QtTest>

using namespace configtest;

namespace
{

// The desktop's font sizes: Qt takes 11 pt on GNOME and 10 pt on Plasma.
constexpr int GnomePointSize = 11;
constexpr int PlasmaPointSize = 10;

// The text a control shows: a label's or button's text, a frame's caption.
QString textOf(const QWidget *control)
{
    if (const auto *frame = qobject_cast<const QGroupBox *>(control))
        return frame->title();
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    return QString();
}

// The width of the text's widest word, in the label's font.
int widestWord(const QLabel *label, const QString &text)
{
    int widest = 0;
    for (const QString &word : text.split(QLatin1Char(' ')))
        widest = qMax(widest, label->fontMetrics().horizontalAdvance(word));
    return widest;
}

// Every window of both programs, made as the programs make them, with the
// longest texts that run time puts into their controls. The help label's
// texts and the description after "Processing: " are cut by design.
struct Windows {
    explicit Windows(ScriptedPrompts &script) : script(script) {}

    QWidget *open(const QString &name)
    {
        if (name == "status")
            return status();
        if (name == "checker About")
            return titled(std::make_unique<CheckerAboutWindow>());
        if (name == "splash")
            return titled(std::make_unique<SplashWindow>());
        fill({QStringLiteral("a")});
        listWindow = std::make_unique<ActionListWindow>(script);
        if (name == "action list")
            return helped(listWindow.get(), helptext::actionList());
        if (name == "settings dialog") {
            click(listWindow.get(), QStringLiteral("Command6"));
            return helped(listWindow->settingsWindow(), helptext::settingsDialog());
        }
        if (name == "config About") {
            click(listWindow.get(), QStringLiteral("Command4"));
            return listWindow->aboutWindow();
        }
        if (name == "modify action")
            selectRow(*listWindow, QStringLiteral("a"));
        click(listWindow.get(),
              name == "add action" ? QStringLiteral("Command1") : QStringLiteral("Command2"));
        return helped(listWindow->editorWindow(), helptext::actionEditor());
    }

    // The texts the window's help label takes.
    QStringList helpTexts;

private:
    QWidget *helped(QWidget *window, const helptext::Table &table)
    {
        for (const helptext::Entry &entry : table)
            helpTexts.append(entry.text);
        return window;
    }

    QWidget *status()
    {
        state.checksSinceStart = std::numeric_limits<qint16>::max();
        if (!store.write(layout::Settings, layout::CheckDate, QStringLiteral("12-31-2026")))
            qFatal("could not write the date");
        auto form = std::make_unique<StatusWindow>(store, state);
        form->ui.Label2->setText(QStringLiteral("Connection Retry: 2"));
        checkerWindow = std::move(form);
        return checkerWindow.get();
    }

    // The checker's start-up completes the title with the version.
    template <typename Form> QWidget *titled(std::unique_ptr<Form> form)
    {
        form->ui.Label1->setText(form->ui.Label1->text() + startup::Version);
        checkerWindow = std::move(form);
        return checkerWindow.get();
    }

    ScriptedPrompts &script;
    Store store;
    RunState state;
    std::unique_ptr<QWidget> checkerWindow;
    std::unique_ptr<ActionListWindow> listWindow;
};

} // namespace

class TestWindowTexts : public HomeTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void textsWhole_data();
    void textsWhole();

private:
    QFont packageFont;
};

void TestWindowTexts::initTestCase()
{
    packageFont = QApplication::font();
    // The windows' fonts, as the package's fonts give them.
    QCOMPARE(QFontInfo(QFont(QStringLiteral("Arial"))).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(QFont(QStringLiteral("Times New Roman"))).family(),
             QStringLiteral("Liberation Serif"));
}

void TestWindowTexts::cleanup()
{
    QApplication::setFont(packageFont);
    HomeTest::cleanup();
}

void TestWindowTexts::textsWhole_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("desktopPointSize");
    const char *windows[] = {"status",     "checker About", "splash",          "action list",
                             "add action", "modify action", "settings dialog", "config About"};
    for (const char *window : windows) {
        QTest::addRow("%s", window) << QString::fromLatin1(window) << 0;
        QTest::addRow("%s, GNOME", window) << QString::fromLatin1(window) << GnomePointSize;
        QTest::addRow("%s, Plasma", window) << QString::fromLatin1(window) << PlasmaPointSize;
    }
}

// Each text of a window shows whole: a one-line text needs no more room than
// its control gives, in no font below the smallest; a help label wraps its
// texts at their words, none wider than the label.
void TestWindowTexts::textsWhole()
{
    QFETCH(QString, window);
    QFETCH(int, desktopPointSize);
    if (desktopPointSize > 0) {
        QFont desktop = packageFont;
        desktop.setPointSize(desktopPointSize);
        QApplication::setFont(desktop);
    }
    Windows windows(*script);
    QWidget *form = windows.open(window);
    QVERIFY(form);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));

    QStringList cut;
    const QList<QWidget *> controls = form->findChildren<QWidget *>();
    for (const QWidget *control : controls) {
        QStringList texts{textOf(control)};
        if (texts.first().isEmpty())
            continue;
        const auto *label = qobject_cast<const QLabel *>(control);
        const bool wraps = label && label->wordWrap();
        if (wraps)
            texts += windows.helpTexts;
        for (const QString &text : std::as_const(texts)) {
            const int needed = wraps ? widestWord(label, text) : textfit::neededWidth(control);
            if (needed > control->width() ||
                control->font().pointSizeF() < textfit::SmallestPointSize)
                cut.append(QStringLiteral("%1 \"%2\" needs %3 of %4 px at %5 pt")
                               .arg(control->objectName(), text)
                               .arg(needed)
                               .arg(control->width())
                               .arg(control->font().pointSizeF()));
        }
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
}

QTEST_MAIN(TestWindowTexts)
#include "tst_windowtexts.moc"
