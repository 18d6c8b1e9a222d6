#include "ConfigTestTools.h"
#include "HelpTexts.h"
#include "HomeTest.h"
#include "ScriptedPrompts.h"
#include "SettingsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRegularExpression>
#include <QtTest>

using namespace configtest;

namespace
{

const QString Default = QStringLiteral("Move the mouse over an object to get help.");
const QString DescriptionHelp =
    QStringLiteral("The name to display in the Action List you saw on the previous screen.");
const QString CheckHelp =
    QStringLiteral("The string to check for. (ie. 'version 2.25'). If not found, Quorlin reacts.");
// The URL help names an example page of the program's choosing.
const QString UrlHelp = QStringLiteral("<url>");
const QRegularExpression UrlHelpForm(QStringLiteral(
    "^The URL to check for updates\\. \\(ie\\. http://[A-Za-z0-9.-]+/\\S*\\.html\\)\\.$"));

struct Help {
    QString control;
    QString text;
    QString frame; // where the pointer goes when it leaves the control
};

// The help of the action list window, control by control.
const QList<Help> Form1Help = {
    {"List1", "A list of Quorl events.", "Frame1"},
    {"Command1", "Add a new event to the list.", "Frame2"},
    {"Command2", "Modify an event in the list.", "Frame2"},
    {"Command3", "Remove an event from the list.", "Frame2"},
    {"Command6", "Configure Quorlin.", "Frame2"},
    {"Command4", "About this program.", "Frame4"},
    {"Command5", "Close Quorlin Config Program.", "Frame4"},
    {"Frame1", Default, "Frame1"},
    {"Frame2", Default, "Frame2"},
    {"Frame3", Default, "Frame3"},
    {"Frame4", Default, "Frame4"},
};

// The help of the action editor.
const QList<Help> Form2Help = {
    {"Label1", DescriptionHelp, "Frame1"},
    {"Text1", DescriptionHelp, "Frame1"},
    {"Label2", UrlHelp, "Frame1"},
    {"Text2", UrlHelp, "Frame1"},
    {"Label3", CheckHelp, "Frame1"},
    {"Text3", CheckHelp, "Frame1"},
    {"Command2", "Save above input, and return to the previous screen.", "Frame3"},
    {"Command1", "Cancel any changes made, and return to the previous screen.", "Frame3"},
    {"Frame1", Default, "Frame1"},
    {"Frame2", Default, "Frame2"},
    {"Frame3", Default, "Frame3"},
};

const QString AddressHelp = QStringLiteral("Address to your HTTP proxy/firewall.");
const QString PortHelp = QStringLiteral("The port your proxy/firewall uses for HTTP transfers.");

// The help of the settings dialog.
const QList<Help> Form3Help = {
    {"Check1", "Check this if you use a proxy/firewall to get on the net.", "Frame1"},
    {"Label1", AddressHelp, "Frame1"},
    {"Text1", AddressHelp, "Frame1"},
    {"Label2", PortHelp, "Frame1"},
    {"Text2", PortHelp, "Frame1"},
    {"Check3",
     "If checked, Quorlin only downloads and checks your sites once a day. Saves bandwidth.",
     "Frame2"},
    {"Check2",
     "Check this if you are always connected to the internet. Do NOT check this if you use a "
     "modem or similar.",
     "Frame2"},
    {"Command1", "Save changes and return to the previous menu.", "Frame4"},
    {"Command2", "Cancel changes and return to the previous menu.", "Frame4"},
    {"Frame1", Default, "Frame1"},
    {"Frame2", Default, "Frame2"},
    {"Frame3", Default, "Frame3"},
    {"Frame4", Default, "Frame4"},
};

// The help label and help frame of each window.
QString helpLabelOf(int form)
{
    return form == 1 ? QStringLiteral("Label1")
                     : (form == 2 ? QStringLiteral("Label4") : QStringLiteral("Label3"));
}

QString helpFrameOf(int form)
{
    return form == 2 ? QStringLiteral("Frame2") : QStringLiteral("Frame3");
}

// A point of `widget` where the pointer is over the widget itself: for a frame
// its own area, for a control the control or one of its parts.
QPoint pointOn(QWidget *widget)
{
    QWidget *window = widget->window();
    const bool frame = qobject_cast<QGroupBox *>(widget) != nullptr;
    for (int y = 1; y < widget->height() - 1; y += 2) {
        for (int x = 1; x < widget->width() - 1; x += 2) {
            const QPoint point(x, y);
            const QWidget *found = window->childAt(widget->mapTo(window, point));
            if (found == widget || (!frame && widget->isAncestorOf(found)))
                return point;
        }
    }
    qFatal("no point on %s", qPrintable(widget->objectName()));
}

void moveOnto(QWidget *window, const QString &name)
{
    QWidget *widget = child<QWidget>(window, name);
    QTest::mouseMove(widget, pointOn(widget));
}

} // namespace

class TestMouseOverHelp : public HomeTest
{
    Q_OBJECT

private slots:
    void init()
    {
        HomeTest::init();
        fill({QStringLiteral("a"), QStringLiteral("b")});
        listWindow = std::make_unique<ActionListWindow>(*script);
        listWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(listWindow.get()));
    }
    void cleanup()
    {
        listWindow.reset();
        HomeTest::cleanup();
    }

    void tablesHoldTheTexts_data();
    void tablesHoldTheTexts();
    void helpLabelDesign_data();
    void helpLabelDesign();
    void pointerShowsHelp_data();
    void pointerShowsHelp();
    void disabledControlShowsFrameText();
    void disabledWindowShowsNothing();
    void hiddenEditorKeepsItsText();
    void disabledProxyFieldsShowFrameText();

private:
    // The window of the row: the list window, or the editor or the settings
    // dialog (then alone on screen, the dialog with its proxy fields in use).
    QWidget *windowOf(int form);

    std::unique_ptr<ActionListWindow> listWindow;
};

QWidget *TestMouseOverHelp::windowOf(int form)
{
    if (form == 1)
        return listWindow.get();
    QWidget *window = nullptr;
    if (form == 2) {
        click(listWindow.get(), QStringLiteral("Command1"));
        window = listWindow->editorWindow();
    } else {
        click(listWindow.get(), QStringLiteral("Command6"));
        window = listWindow->settingsWindow();
        child<QCheckBox>(window, QStringLiteral("Check1"))->click();
    }
    listWindow->hide();
    if (!QTest::qWaitForWindowExposed(window))
        qFatal("window not shown");
    return window;
}

static void addRows(const QString &form, const QList<Help> &table)
{
    for (const Help &help : table)
        QTest::newRow(qPrintable(form + QLatin1Char(' ') + help.control))
            << form.right(1).toInt() << help.control << help.text << help.frame;
}

static void helpColumns()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("frame");
    addRows(QStringLiteral("Form1"), Form1Help);
    addRows(QStringLiteral("Form2"), Form2Help);
    addRows(QStringLiteral("Form3"), Form3Help);
}

static void compareText(const QString &actual, const QString &expected)
{
    if (expected == UrlHelp)
        QVERIFY2(UrlHelpForm.match(actual).hasMatch(), qPrintable(actual));
    else
        QCOMPARE(actual, expected);
}

void TestMouseOverHelp::tablesHoldTheTexts_data()
{
    helpColumns();
}

// The program's tables name exactly the controls above, with their texts.
void TestMouseOverHelp::tablesHoldTheTexts()
{
    QFETCH(int, form);
    QFETCH(QString, control);
    QFETCH(QString, text);
    const helptext::Table &table =
        form == 1 ? helptext::actionList()
                  : (form == 2 ? helptext::actionEditor() : helptext::settingsDialog());
    const QList<Help> &expected = form == 1 ? Form1Help : (form == 2 ? Form2Help : Form3Help);
    QCOMPARE(table.size(), expected.size());
    const auto entry = std::find_if(table.begin(), table.end(),
                                    [&](const helptext::Entry &e) { return e.control == control; });
    QVERIFY(entry != table.end());
    compareText(entry->text, text);
    QCOMPARE(helptext::Default, Default);
}

void TestMouseOverHelp::helpLabelDesign_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QRect>("frameGeometry");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QRect>("labelGeometry");
    QTest::newRow("Form1") << 1 << "Frame3" << QRect(0, 209, 377, 41) << "Label1"
                           << QRect(8, 16, 361, 17);
    QTest::newRow("Form2") << 2 << "Frame2" << QRect(0, 129, 401, 41) << "Label4"
                           << QRect(8, 16, 385, 17);
    // The settings dialog's help label is two lines high.
    QTest::newRow("Form3") << 3 << "Frame3" << QRect(0, 137, 273, 49) << "Label3"
                           << QRect(8, 16, 257, 25);
}

// A centred label of fixed size: long texts wrap inside it and never grow it.
void TestMouseOverHelp::helpLabelDesign()
{
    QFETCH(int, form);
    QFETCH(QString, frame);
    QFETCH(QRect, frameGeometry);
    QFETCH(QString, label);
    QFETCH(QRect, labelGeometry);
    QWidget *window = windowOf(form);
    auto *helpFrame = child<QGroupBox>(window, frame);
    auto *helpLabel = child<QLabel>(window, label);
    QCOMPARE(helpFrame->title(), QStringLiteral("Live Help Display"));
    QCOMPARE(helpFrame->geometry(), frameGeometry);
    QCOMPARE(helpLabel->parentWidget(), helpFrame);
    QCOMPARE(helpLabel->geometry(), labelGeometry);
    QCOMPARE(helpLabel->text(), Default);
    QVERIFY(helpLabel->wordWrap());
    QVERIFY(helpLabel->alignment() & Qt::AlignHCenter);
    const QSize windowSize = window->size();
    helpLabel->setText(DescriptionHelp + QLatin1Char(' ') + DescriptionHelp);
    QCoreApplication::processEvents();
    QCOMPARE(helpLabel->geometry(), labelGeometry);
    QCOMPARE(window->size(), windowSize);
}

void TestMouseOverHelp::pointerShowsHelp_data()
{
    helpColumns();
}

void TestMouseOverHelp::pointerShowsHelp()
{
    QFETCH(int, form);
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, frame);
    QWidget *window = windowOf(form);
    const QString labelName = helpLabelOf(form);
    const QString helpFrame = helpFrameOf(form);
    auto *helpLabel = child<QLabel>(window, labelName);
    const bool isFrame = control == frame;

    // Start from a text other than the one expected.
    moveOnto(window, isFrame ? QStringLiteral("Command1") : helpFrame);
    QVERIFY(helpLabel->text() != text);
    const QString before = helpLabel->text();

    moveOnto(window, control);
    compareText(helpLabel->text(), text);
    // Back and forth over the control shows the same text again.
    moveOnto(window, labelName);
    compareText(helpLabel->text(), text);
    moveOnto(window, control);
    compareText(helpLabel->text(), text);

    // Onto the help label: nothing changes.
    moveOnto(window, isFrame ? QStringLiteral("Command1") : labelName);
    if (isFrame) {
        QCOMPARE(helpLabel->text(), before);
        moveOnto(window, labelName);
        QCOMPARE(helpLabel->text(), before);
    } else {
        compareText(helpLabel->text(), text);
        // Off the control onto its frame: the default text again.
        moveOnto(window, frame);
        QCOMPARE(helpLabel->text(), Default);
    }
}

// A disabled control shows nothing: the pointer is over the frame beneath.
void TestMouseOverHelp::disabledControlShowsFrameText()
{
    auto *helpLabel = child<QLabel>(listWindow.get(), QStringLiteral("Label1"));
    child<QWidget>(listWindow.get(), QStringLiteral("Command3"))->setEnabled(false);
    moveOnto(listWindow.get(), QStringLiteral("Command1"));
    QCOMPARE(helpLabel->text(), QStringLiteral("Add a new event to the list."));
    moveOnto(listWindow.get(), QStringLiteral("Command3"));
    QCOMPARE(helpLabel->text(), Default);
    moveOnto(listWindow.get(), QStringLiteral("Command2"));
    QCOMPARE(helpLabel->text(), QStringLiteral("Modify an event in the list."));
}

// While the editor is shown, the disabled list window explains nothing.
void TestMouseOverHelp::disabledWindowShowsNothing()
{
    auto *helpLabel = child<QLabel>(listWindow.get(), QStringLiteral("Label1"));
    moveOnto(listWindow.get(), QStringLiteral("Command2"));
    click(listWindow.get(), QStringLiteral("Command1"));
    QVERIFY(!listWindow->isEnabled());
    // The editor is moved aside so that the pointer reaches the list window.
    listWindow->editorWindow()->hide();
    moveOnto(listWindow.get(), QStringLiteral("Command1"));
    moveOnto(listWindow.get(), QStringLiteral("Frame2"));
    QCOMPARE(helpLabel->text(), QStringLiteral("Modify an event in the list."));
}

// A window that is only hidden keeps the text it last showed.
void TestMouseOverHelp::hiddenEditorKeepsItsText()
{
    QWidget *editor = windowOf(2);
    auto *helpLabel = child<QLabel>(editor, QStringLiteral("Label4"));
    moveOnto(editor, QStringLiteral("Command1"));
    click(editor, QStringLiteral("Command1"));
    QVERIFY(editor->isHidden());
    click(listWindow.get(), QStringLiteral("Command1"));
    QCOMPARE(listWindow->editorWindow(), editor);
    QCOMPARE(helpLabel->text(),
             QStringLiteral("Cancel any changes made, and return to the previous screen."));

    // A window discarded through its close box starts again from the default.
    editor->close();
    QTRY_VERIFY(!listWindow->editorWindow());
    click(listWindow.get(), QStringLiteral("Command1"));
    QCOMPARE(child<QLabel>(listWindow->editorWindow(), QStringLiteral("Label4"))->text(), Default);
}

// While the proxy box is clear its fields are disabled and say nothing: the
// pointer is over the frame beneath.
void TestMouseOverHelp::disabledProxyFieldsShowFrameText()
{
    QWidget *dialog = windowOf(3);
    auto *helpLabel = child<QLabel>(dialog, QStringLiteral("Label3"));
    child<QCheckBox>(dialog, QStringLiteral("Check1"))->click();
    for (const char *field : {"Label1", "Text1", "Label2", "Text2"}) {
        moveOnto(dialog, QStringLiteral("Command1"));
        QCOMPARE(helpLabel->text(),
                 QStringLiteral("Save changes and return to the previous menu."));
        moveOnto(dialog, QString::fromLatin1(field));
        QCOMPARE(helpLabel->text(), Default);
    }
}

QTEST_MAIN(TestMouseOverHelp)
#include "tst_mouseoverhelp.moc"
