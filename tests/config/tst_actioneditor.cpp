#include "ConfigTestTools.h"
#include "EditorState.h"
#include "Figures.h"
#include "HomeTest.h"
#include "ScriptedPrompts.h"

#include <QtTest>

using namespace configtest;

namespace
{

const QString AddCaption = QStringLiteral("Adding A New Action...");
const QString ModifyCaption = QStringLiteral("Modify An Action...");
const QString ErrorTitle = QStringLiteral("Error:");

} // namespace

class TestActionEditor : public HomeTest
{
    Q_OBJECT

private slots:
    void windowDesign();
    void validationShowsFirstEmptyField_data();
    void validationShowsFirstEmptyField();
    void addToEmptyList();
    void addAppendsAtEnd();
    void addKeepsFieldsAsTyped();
    void blankDescriptionIsAccepted();
    void modifyKeepingDescription();
    void modifyWithNewDescription();
    void modifyWithDamagedNrKeepsOtherActions();
    void cancelWritesNothing();
    void closeBoxDiscardsWindow();
    void listWindowDisabledWhileEditorShown();
    void refusedDescription_data();
    void refusedDescription();
    void fullListIsRefused();
    void failedSaveIsReported_data();
    void failedSaveIsReported();

private:
    // Presses "New" and returns the editor it shows.
    ActionEditor *openNew(ActionListWindow &listWindow);
    // Selects the row, presses "Modify" and returns the editor it shows.
    ActionEditor *openModify(ActionListWindow &listWindow, const QString &row);
    // Checks that Accept was refused with one error box, leaving everything as it was.
    void verifyRefused(ActionListWindow &listWindow, ActionEditor *editor,
                       const QMap<QString, QString> &storeBefore, const QStringList &rowsBefore,
                       qint16 countBefore);
};

ActionEditor *TestActionEditor::openNew(ActionListWindow &listWindow)
{
    click(&listWindow, QStringLiteral("Command1"));
    return listWindow.editorWindow();
}

ActionEditor *TestActionEditor::openModify(ActionListWindow &listWindow, const QString &row)
{
    selectRow(listWindow, row);
    click(&listWindow, QStringLiteral("Command2"));
    return listWindow.editorWindow();
}

void TestActionEditor::verifyRefused(ActionListWindow &listWindow, ActionEditor *editor,
                                     const QMap<QString, QString> &storeBefore,
                                     const QStringList &rowsBefore, qint16 countBefore)
{
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).title, ErrorTitle);
    QCOMPARE(script->boxes.at(0).flags, 16);
    QCOMPARE(script->boxes.at(0).owner, static_cast<QObject *>(editor));
    QVERIFY(editor->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(storeContents(), storeBefore);
    QCOMPARE(rows(listWindow), rowsBefore);
    QCOMPARE(listWindow.state().actionCount, countBefore);
    QCOMPARE(listWindow.state().changesMade, false);
}

void TestActionEditor::windowDesign()
{
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openNew(listWindow);
    QVERIFY(editor);
    QCOMPARE(editor->size(), QSize(400, 222));
    QVERIFY(!editor->windowIcon().isNull());
    QCOMPARE(editor->windowIcon().cacheKey(), listWindow.windowIcon().cacheKey());
    QCOMPARE(child<QLabel>(editor, QStringLiteral("Label1"))->text(),
             QStringLiteral("Description"));
    QCOMPARE(child<QLabel>(editor, QStringLiteral("Label2"))->text(), QStringLiteral("URL"));
    QCOMPARE(child<QLabel>(editor, QStringLiteral("Label3"))->text(),
             QStringLiteral("Check String"));
    QCOMPARE(child<QPushButton>(editor, QStringLiteral("Command2"))->text(),
             QStringLiteral("Accept"));
    QCOMPARE(child<QPushButton>(editor, QStringLiteral("Command1"))->text(),
             QStringLiteral("Cancel"));
    QCOMPARE(editor->windowTitle(), AddCaption);
    const QRect area = editor->screen()->availableGeometry();
    QVERIFY(qAbs(editor->geometry().center().x() - area.center().x()) <= 1);
    QVERIFY(qAbs(editor->geometry().center().y() - area.center().y()) <= 1);
}

void TestActionEditor::validationShowsFirstEmptyField_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("message");
    QTest::newRow("all empty") << ""
                               << ""
                               << ""
                               << "Please enter a Description!";
    QTest::newRow("only check") << ""
                                << ""
                                << "v 1"
                                << "Please enter a Description!";
    QTest::newRow("no url, no check") << "d"
                                      << ""
                                      << ""
                                      << "Please enter an URL!";
    QTest::newRow("no url") << "d"
                            << ""
                            << "v 1"
                            << "Please enter an URL!";
    QTest::newRow("no check") << "d"
                              << "http://h/p.html"
                              << ""
                              << "Please enter a Check String!";
}

void TestActionEditor::validationShowsFirstEmptyField()
{
    QFETCH(QString, description);
    QFETCH(QString, url);
    QFETCH(QString, check);
    QFETCH(QString, message);
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openNew(listWindow);
    type(editor, description, url, check);
    click(editor, QStringLiteral("Command2"));
    verifyRefused(listWindow, editor, {}, {}, 0);
    QCOMPARE(script->boxes.at(0).text, message);
    QCOMPARE(field(editor, QStringLiteral("Text1")), description);
    QCOMPARE(field(editor, QStringLiteral("Text2")), url);
    QCOMPARE(field(editor, QStringLiteral("Text3")), check);
    QVERIFY(!QFileInfo::exists(home->storeFile()));
}

void TestActionEditor::addToEmptyList()
{
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openNew(listWindow);
    type(editor, QStringLiteral("My Page"), QStringLiteral("http://h/p.html"),
         QStringLiteral("version 2.25"));
    click(editor, QStringLiteral("Command2"));
    QVERIFY(script->boxes.isEmpty());
    QCOMPARE(storeContents(), (QMap<QString, QString>{
                                  {"!ActionList/1", "My Page"},
                                  {"My Page/URL", "http://h/p.html"},
                                  {"My Page/Check", "version 2.25"},
                                  {"My Page/NR", "1"},
                              }));
    QCOMPARE(listWindow.state().actionCount, qint16(1));
    QCOMPARE(listWindow.state().changesMade, true);
    QCOMPARE(rows(listWindow), QStringList({"My Page"}));
    QVERIFY(listWindow.isEnabled());
    QVERIFY(editor->isHidden());

    // The same window comes back, empty.
    QCOMPARE(openNew(listWindow), editor);
    QVERIFY(editor->isVisible());
    QCOMPARE(field(editor, QStringLiteral("Text1")), QString());
    QCOMPARE(field(editor, QStringLiteral("Text2")), QString());
    QCOMPARE(field(editor, QStringLiteral("Text3")), QString());
}

void TestActionEditor::addAppendsAtEnd()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openNew(listWindow);
    type(editor, QStringLiteral("c"), QStringLiteral("http://h/c.html"), QStringLiteral("v"));
    click(editor, QStringLiteral("Command2"));
    Store store;
    QCOMPARE(layout::actions(store), QStringList({"a", "b", "c"}));
    QCOMPARE(store.read(QStringLiteral("c"), layout::Nr), QStringLiteral("3"));
    QCOMPARE(listWindow.state().actionCount, qint16(3));
    QCOMPARE(rows(listWindow), QStringList({"a", "b", "c"}));
}

// Texts are stored exactly as typed, through real key presses.
void TestActionEditor::addKeepsFieldsAsTyped()
{
    ActionListWindow listWindow(*script);
    listWindow.show();
    ActionEditor *editor = openNew(listWindow);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    QTest::keyClicks(child<QLineEdit>(editor, QStringLiteral("Text1")), QStringLiteral(" Page "));
    // Letters beyond Latin-1 cannot be typed as key clicks: they are pasted in.
    child<QLineEdit>(editor, QStringLiteral("Text1"))->insert(QStringLiteral("Ünï Çodé / 100% "));
    QTest::keyClicks(child<QLineEdit>(editor, QStringLiteral("Text2")),
                     QStringLiteral("HTTP://Host/Page.HTML "));
    QTest::keyClicks(child<QLineEdit>(editor, QStringLiteral("Text3")),
                     QStringLiteral("  Version 2.25, \"beta\"; 100%"));
    QTest::mouseClick(child<QPushButton>(editor, QStringLiteral("Command2")), Qt::LeftButton);
    QVERIFY(script->boxes.isEmpty());
    Store store;
    const QString description = QStringLiteral(" Page Ünï Çodé / 100% ");
    QCOMPARE(store.read(layout::ActionList, QStringLiteral("1")), description);
    QCOMPARE(store.read(description, layout::Url), QStringLiteral("HTTP://Host/Page.HTML "));
    QCOMPARE(store.read(description, layout::Check),
             QStringLiteral("  Version 2.25, \"beta\"; 100%"));
}

void TestActionEditor::blankDescriptionIsAccepted()
{
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openNew(listWindow);
    type(editor, QStringLiteral("   "), QStringLiteral("u"), QStringLiteral("c"));
    click(editor, QStringLiteral("Command2"));
    QVERIFY(script->boxes.isEmpty());
    Store store;
    QCOMPARE(layout::actions(store), QStringList({"   "}));
    QCOMPARE(store.read(QStringLiteral("   "), layout::Url), QStringLiteral("u"));
    QCOMPARE(store.read(QStringLiteral("   "), layout::Nr), QStringLiteral("1"));
    QCOMPARE(rows(listWindow), QStringList({"   "}));
}

void TestActionEditor::modifyKeepingDescription()
{
    fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    auto expected = storeContents();
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openModify(listWindow, QStringLiteral("b"));
    QCOMPARE(editor->windowTitle(), ModifyCaption);
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(field(editor, QStringLiteral("Text1")), QStringLiteral("b"));
    QCOMPARE(field(editor, QStringLiteral("Text2")), QStringLiteral("http://h/b.html"));
    QCOMPARE(field(editor, QStringLiteral("Text3")), QStringLiteral("check b"));
    type(editor, QStringLiteral("b"), QStringLiteral("http://h/new.html"), QStringLiteral("v 3"));
    click(editor, QStringLiteral("Command2"));
    QVERIFY(script->boxes.isEmpty());
    expected["b/URL"] = QStringLiteral("http://h/new.html");
    expected["b/Check"] = QStringLiteral("v 3");
    QCOMPARE(storeContents(), expected);
    // The row is taken out and added again at the end.
    QCOMPARE(rows(listWindow), QStringList({"a", "c", "b"}));
    QCOMPARE(listWindow.state().actionCount, qint16(3));
    QCOMPARE(listWindow.state().changesMade, true);
    QVERIFY(listWindow.isEnabled());
    QVERIFY(editor->isHidden());
    QCOMPARE(field(editor, QStringLiteral("Text1")), QString());
}

void TestActionEditor::modifyWithNewDescription()
{
    fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    auto expected = storeContents();
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openModify(listWindow, QStringLiteral("b"));
    type(editor, QStringLiteral("B"), QStringLiteral("http://h/B.html"), QStringLiteral("v B"));
    click(editor, QStringLiteral("Command2"));
    QVERIFY(script->boxes.isEmpty());
    expected.remove("b/URL");
    expected.remove("b/Check");
    expected.remove("b/NR");
    expected["!ActionList/2"] = QStringLiteral("B");
    expected["B/URL"] = QStringLiteral("http://h/B.html");
    expected["B/Check"] = QStringLiteral("v B");
    expected["B/NR"] = QStringLiteral("2");
    QCOMPARE(storeContents(), expected);
    QCOMPARE(rows(listWindow), QStringList({"a", "c", "B"}));
    QCOMPARE(listWindow.state().actionCount, qint16(3));
    QCOMPARE(listWindow.state().changesMade, true);
}

// A hand-damaged "NR" pointing at another action must not overwrite it.
void TestActionEditor::modifyWithDamagedNrKeepsOtherActions()
{
    fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    Store store;
    QVERIFY(store.write(QStringLiteral("c"), layout::Nr, QStringLiteral("1")));
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openModify(listWindow, QStringLiteral("c"));
    type(editor, QStringLiteral("n"), QStringLiteral("u"), QStringLiteral("k"));
    click(editor, QStringLiteral("Command2"));
    QVERIFY(script->boxes.isEmpty());
    QCOMPARE(layout::actions(store), QStringList({"a", "b", "n"}));
    QCOMPARE(store.read(QStringLiteral("n"), layout::Nr), QStringLiteral("3"));
    QCOMPARE(store.read(QStringLiteral("a"), layout::Url), QStringLiteral("http://h/a.html"));
}

void TestActionEditor::cancelWritesNothing()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    const auto before = storeContents();
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openNew(listWindow);
    type(editor, QStringLiteral("x"), QStringLiteral("http://h/x.html"), QStringLiteral("v"));
    click(editor, QStringLiteral("Command1"));
    QVERIFY(editor->isHidden());
    QVERIFY(listWindow.isEnabled());
    QCOMPARE(openNew(listWindow), editor);
    QCOMPARE(field(editor, QStringLiteral("Text1")), QString());
    QCOMPARE(field(editor, QStringLiteral("Text2")), QString());
    QCOMPARE(field(editor, QStringLiteral("Text3")), QString());
    click(editor, QStringLiteral("Command1"));

    openModify(listWindow, QStringLiteral("a"));
    type(editor, QStringLiteral("z"), QStringLiteral("http://h/z.html"), QStringLiteral("v"));
    click(editor, QStringLiteral("Command1"));
    QCOMPARE(storeContents(), before);
    QCOMPARE(rows(listWindow), QStringList({"a", "b"}));
    QCOMPARE(listWindow.state().changesMade, false);
    QVERIFY(script->boxes.isEmpty());
}

void TestActionEditor::closeBoxDiscardsWindow()
{
    fill({QStringLiteral("a")});
    const auto before = storeContents();
    ActionListWindow listWindow(*script);
    ActionEditor *editor = openModify(listWindow, QStringLiteral("a"));
    type(editor, QStringLiteral("x"), QStringLiteral("http://h/x.html"), QStringLiteral("v"));
    QVERIFY(editor->close());
    QVERIFY(listWindow.isEnabled());
    QTRY_VERIFY(!listWindow.editorWindow());
    QCOMPARE(storeContents(), before);
    QCOMPARE(listWindow.state().changesMade, false);

    // The next use builds the window anew from its design.
    editor = openNew(listWindow);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), AddCaption);
    QCOMPARE(field(editor, QStringLiteral("Text1")), QString());
    QCOMPARE(field(editor, QStringLiteral("Text2")), QString());
    QCOMPARE(field(editor, QStringLiteral("Text3")), QString());
}

void TestActionEditor::listWindowDisabledWhileEditorShown()
{
    fill({QStringLiteral("a")});
    ActionListWindow listWindow(*script);
    listWindow.show();
    QVERIFY(listWindow.isEnabled());

    ActionEditor *editor = openNew(listWindow);
    QVERIFY(!listWindow.isEnabled());
    QVERIFY(editor->isEnabled());
    type(editor, QStringLiteral("b"), QStringLiteral("u"), QStringLiteral("c"));
    click(editor, QStringLiteral("Command2"));
    QVERIFY(listWindow.isEnabled());

    openModify(listWindow, QStringLiteral("a"));
    QVERIFY(!listWindow.isEnabled());
    click(editor, QStringLiteral("Command1"));
    QVERIFY(listWindow.isEnabled());

    openNew(listWindow);
    QVERIFY(!listWindow.isEnabled());
    editor->close();
    QVERIFY(listWindow.isEnabled());
}

void TestActionEditor::refusedDescription_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("description");
    QTest::newRow("add existing") << true << "b";
    QTest::newRow("add action list section") << true << "!ActionList";
    QTest::newRow("add settings section") << true << "!Settings";
    QTest::newRow("rename to existing") << false << "a";
    QTest::newRow("rename to action list section") << false << "!ActionList";
    QTest::newRow("rename to settings section") << false << "!Settings";
}

// Descriptions name sections: another action's name or a fixed section's name
// would make two entries share one section.
void TestActionEditor::refusedDescription()
{
    QFETCH(bool, adding);
    QFETCH(QString, description);
    fill({QStringLiteral("a"), QStringLiteral("b")});
    Store store;
    QVERIFY(store.write(layout::Settings, layout::Fw, QStringLiteral("0")));
    const auto before = storeContents();
    ActionListWindow listWindow(*script);
    ActionEditor *editor =
        adding ? openNew(listWindow) : openModify(listWindow, QStringLiteral("b"));
    type(editor, description, QStringLiteral("http://h/new.html"), QStringLiteral("v new"));
    click(editor, QStringLiteral("Command2"));
    verifyRefused(listWindow, editor, before, {"a", "b"}, 2);
    QCOMPARE(field(editor, QStringLiteral("Text1")), description);
    QCOMPARE(field(editor, QStringLiteral("Text2")), QStringLiteral("http://h/new.html"));
    QCOMPARE(field(editor, QStringLiteral("Text3")), QStringLiteral("v new"));
}

void TestActionEditor::fullListIsRefused()
{
    // A store holding the largest number of actions the list can count.
    QFile file(home->storeFile());
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray text = "[!ActionList]\n";
    for (int i = 1; i <= layout::MaxPosition; ++i)
        text += QByteArray::number(i) + "=a" + QByteArray::number(i) + '\n';
    file.write(text);
    file.close();
    const auto before = storeContents();

    ActionListWindow listWindow(*script);
    QCOMPARE(listWindow.state().actionCount, qint16(layout::MaxPosition));
    ActionEditor *editor = openNew(listWindow);
    type(editor, QStringLiteral("one more"), QStringLiteral("u"), QStringLiteral("c"));
    click(editor, QStringLiteral("Command2"));
    verifyRefused(listWindow, editor, before, rows(listWindow), layout::MaxPosition);
}

void TestActionEditor::failedSaveIsReported_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("fault");
    QTest::newRow("add") << true << "n" << int(StoreFault::FolderReplaced);
    QTest::newRow("modify") << false << "b" << int(StoreFault::FolderReplaced);
    QTest::newRow("rename") << false << "n" << int(StoreFault::FolderReplaced);
    QTest::newRow("add, disk full") << true << "n" << int(StoreFault::DiskFull);
    QTest::newRow("rename, disk full") << false << "n" << int(StoreFault::DiskFull);
    // Room for the first key the action writes, not for the whole action.
    QTest::newRow("add, room for one key") << true << "n" << int(StoreFault::LittleRoom);
    QTest::newRow("rename, room for one key")
        << false << "b and more" << int(StoreFault::LittleRoom);
    QTest::newRow("add, lock held") << true << "n" << int(StoreFault::LockHeld);
    QTest::newRow("add, store file a named pipe") << true << "n" << int(StoreFault::NamedPipe);
    QTest::newRow("modify, store file a link to /dev/zero")
        << false << "b" << int(StoreFault::LinkToZero);
}

// Accept is saved whole or not at all: the store file stays byte for byte as
// it was, and the editor shows its error.
void TestActionEditor::failedSaveIsReported()
{
    QFETCH(bool, adding);
    QFETCH(QString, description);
    QFETCH(int, fault);
    fill({QStringLiteral("a"), QStringLiteral("b")});
    ActionListWindow listWindow(*script);
    ActionEditor *editor =
        adding ? openNew(listWindow) : openModify(listWindow, QStringLiteral("b"));
    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault), 10);
    QVERIFY(broken->isSet());
    const auto blocked = storeContents();
    const QByteArray bytes = storeBytes();
    type(editor, description, QStringLiteral("http://h/new.html"), QStringLiteral("v new"));
    click(editor, QStringLiteral("Command2"));
    verifyRefused(listWindow, editor, blocked, {"a", "b"}, 2);
    QCOMPARE(storeBytes(), bytes);
    QCOMPARE(field(editor, QStringLiteral("Text1")), description);
    const QString how = broken->how();
    broken.reset();
    figures::add(QStringLiteral("unwritable"),
                 {how,
                  QStringLiteral("config: action editor \"Accept\" (%1)")
                      .arg(QString::fromLatin1(QTest::currentDataTag()).section(u',', 0, 0)),
                  QStringLiteral("\"Error:\" box, editor stays open, store and list unchanged")});
}

QTEST_MAIN(TestActionEditor)
#include "tst_actioneditor.moc"
