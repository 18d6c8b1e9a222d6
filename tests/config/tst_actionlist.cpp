#include "ConfigTestTools.h"
#include "EditorState.h"
#include "Figures.h"
#include "HomeTest.h"
#include "ScriptedPrompts.h"

#include <QTimer>
#include <QtTest>

using namespace configtest;

namespace
{

const QString ErrorTitle = QStringLiteral("Error:");
const QString ModifyNothing = QStringLiteral("Please select the action to modify from the list!");
const QString DeleteNothing = QStringLiteral("Please select the action to delete from the list!");
const QStringList FiveActions = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                 QStringLiteral("d"), QStringLiteral("e")};

} // namespace

class TestActionList : public HomeTest
{
    Q_OBJECT

private slots:
    void windowDesign();
    void emptyStoreShowsEmptyList_data();
    void emptyStoreShowsEmptyList();
    void listEndsAtFirstEmptyKey_data();
    void listEndsAtFirstEmptyKey();
    void selectionSetsSelectedAction();
    void deleteAnsweredNoChangesNothing();
    void deleteMovesLastIntoGap();
    void deleteLastAction();
    void deleteOnlyAction();
    void deleteWithDamagedNrKeepsOtherActions();
    void deleteThatCannotBeSavedIsReported_data();
    void deleteThatCannotBeSavedIsReported();
    void closeButtonEndsProgram();
    void closeBoxEndsProgram_data();
    void closeBoxEndsProgram();
};

void TestActionList::windowDesign()
{
    ActionListWindow listWindow(*script);
    QCOMPARE(listWindow.windowTitle(), QStringLiteral("Quorlin Config"));
    QCOMPARE(listWindow.size(), QSize(378, 301));
    QCOMPARE(listWindow.windowIcon().availableSizes(), QList<QSize>({QSize(32, 32)}));
    QCOMPARE(child<QPushButton>(&listWindow, QStringLiteral("Command1"))->text(),
             QStringLiteral("New"));
    QCOMPARE(child<QPushButton>(&listWindow, QStringLiteral("Command2"))->text(),
             QStringLiteral("Modify"));
    QCOMPARE(child<QPushButton>(&listWindow, QStringLiteral("Command3"))->text(),
             QStringLiteral("Delete"));
    QCOMPARE(child<QPushButton>(&listWindow, QStringLiteral("Command6"))->text(),
             QStringLiteral("Setup"));
    QCOMPARE(child<QPushButton>(&listWindow, QStringLiteral("Command4"))->text(),
             QStringLiteral("About"));
    QCOMPARE(child<QPushButton>(&listWindow, QStringLiteral("Command5"))->text(),
             QStringLiteral("Close"));
    // "Close" lies over the bottom strip on the window itself, above it.
    auto *close = child<QPushButton>(&listWindow, QStringLiteral("Command5"));
    auto *strip = child<QWidget>(&listWindow, QStringLiteral("Frame4"));
    QCOMPARE(close->parentWidget(), &listWindow);
    QVERIFY(strip->geometry().contains(close->geometry()));
    QCOMPARE(listWindow.childAt(close->geometry().center()), close);
    // Centred on the screen.
    const QRect area = listWindow.screen()->availableGeometry();
    QVERIFY(qAbs(listWindow.geometry().center().x() - area.center().x()) <= 1);
    QVERIFY(qAbs(listWindow.geometry().center().y() - area.center().y()) <= 1);
}

void TestActionList::emptyStoreShowsEmptyList_data()
{
    // Something in place of the store file, which holds an action; none when -1.
    QTest::addColumn<int>("inPlace");
    QTest::newRow("no store file") << -1;
    // A store that cannot be read holds no actions.
    QTest::newRow("store file a named pipe") << int(StoreFault::NamedPipe);
    QTest::newRow("store file a link to /dev/zero") << int(StoreFault::LinkToZero);
}

void TestActionList::emptyStoreShowsEmptyList()
{
    QFETCH(int, inPlace);
    std::unique_ptr<StoreFault> unreadable;
    if (inPlace >= 0) {
        fill({QStringLiteral("a")});
        unreadable = std::make_unique<StoreFault>(StoreFault::Kind(inPlace));
        QVERIFY(unreadable->isSet());
    }
    ActionListWindow listWindow(*script);
    QCOMPARE(rows(listWindow), QStringList());
    QCOMPARE(listWindow.state().actionCount, qint16(0));
    click(&listWindow, QStringLiteral("Command2"));
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(0).text, ModifyNothing);
    QCOMPARE(script->boxes.at(0).title, ErrorTitle);
    QCOMPARE(script->boxes.at(0).flags, 16);
    QCOMPARE(script->boxes.at(1).text, DeleteNothing);
    QCOMPARE(script->boxes.at(1).title, ErrorTitle);
    QCOMPARE(script->boxes.at(1).flags, 16);
    QVERIFY(listWindow.isEnabled());
    QVERIFY(!listWindow.editorWindow());
}

void TestActionList::listEndsAtFirstEmptyKey_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("missing key") << QStringList{"1", "2", "4"} << QStringList{"one", "two", "four"}
                                 << QStringList{"one", "two"};
    QTest::newRow("empty value") << QStringList{"1", "2", "3"} << QStringList{"one", "", "three"}
                                 << QStringList{"one"};
    QTest::newRow("no first key") << QStringList{"2", "3"} << QStringList{"two", "three"}
                                  << QStringList{};
}

void TestActionList::listEndsAtFirstEmptyKey()
{
    QFETCH(QStringList, keys);
    QFETCH(QStringList, values);
    QFETCH(QStringList, expected);
    Store store;
    for (int i = 0; i < keys.size(); ++i)
        QVERIFY(store.write(layout::ActionList, keys.at(i), values.at(i)));
    ActionListWindow listWindow(*script);
    QCOMPARE(rows(listWindow), expected);
    QCOMPARE(listWindow.state().actionCount, qint16(expected.size()));
}

void TestActionList::selectionSetsSelectedAction()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    ActionListWindow listWindow(*script);
    QCOMPARE(listWindow.state().selectedAction, QString());
    selectRow(listWindow, QStringLiteral("b"));
    QCOMPARE(listWindow.state().selectedAction, QStringLiteral("b"));
    // Keyboard moves the selection too.
    auto *list = child<QListWidget>(&listWindow, QStringLiteral("List1"));
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(listWindow.state().selectedAction, QStringLiteral("a"));
    list->clearSelection();
    QCOMPARE(listWindow.state().selectedAction, QStringLiteral("a"));
}

void TestActionList::deleteAnsweredNoChangesNothing()
{
    fill(FiveActions);
    const auto before = storeContents();
    ActionListWindow listWindow(*script);
    selectRow(listWindow, QStringLiteral("b"));
    script->answer(Answer::No);
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, QStringLiteral("Really Remove Action ' b ' ?"));
    QCOMPARE(script->boxes.at(0).title, QStringLiteral("Question:"));
    QCOMPARE(script->boxes.at(0).flags, 36);
    QCOMPARE(script->boxes.at(0).owner, static_cast<QObject *>(&listWindow));
    QCOMPARE(storeContents(), before);
    QCOMPARE(rows(listWindow), FiveActions);
    QCOMPARE(listWindow.state().actionCount, qint16(5));
}

void TestActionList::deleteMovesLastIntoGap()
{
    fill(FiveActions);
    ActionListWindow listWindow(*script);
    selectRow(listWindow, QStringLiteral("b"));
    script->answer(Answer::Yes);
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 1);

    Store store;
    QCOMPARE(layout::actions(store), QStringList({"a", "e", "c", "d"}));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(store.read(layout::ActionList, QStringLiteral("5"), QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Url, QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Url), QStringLiteral("http://h/e.html"));
    QCOMPARE(listWindow.state().actionCount, qint16(4));
    // The moved action's row stays where it was.
    QCOMPARE(rows(listWindow), QStringList({"a", "c", "d", "e"}));
    QCOMPARE(listWindow.state().changesMade, false);
    QCOMPARE(listWindow.state().selectedAction, QStringLiteral("b"));

    // No row is selected afterwards.
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(1).text, DeleteNothing);
}

void TestActionList::deleteLastAction()
{
    fill(FiveActions);
    ActionListWindow listWindow(*script);
    selectRow(listWindow, QStringLiteral("e"));
    click(&listWindow, QStringLiteral("Command3"));
    Store store;
    QCOMPARE(layout::actions(store), QStringList({"a", "b", "c", "d"}));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Nr, QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("d"), layout::Nr), QStringLiteral("4"));
    QCOMPARE(listWindow.state().actionCount, qint16(4));
    QCOMPARE(rows(listWindow), QStringList({"a", "b", "c", "d"}));
    QCOMPARE(listWindow.state().changesMade, false);
}

void TestActionList::deleteOnlyAction()
{
    fill({QStringLiteral("only")});
    ActionListWindow listWindow(*script);
    selectRow(listWindow, QStringLiteral("only"));
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(storeContents(), (QMap<QString, QString>()));
    QCOMPARE(listWindow.state().actionCount, qint16(0));
    QCOMPARE(rows(listWindow), QStringList());
}

// A hand-damaged "NR" pointing at another action must not overwrite it.
void TestActionList::deleteWithDamagedNrKeepsOtherActions()
{
    fill(FiveActions);
    Store store;
    QVERIFY(store.write(QStringLiteral("c"), layout::Nr, QStringLiteral("1")));
    ActionListWindow listWindow(*script);
    selectRow(listWindow, QStringLiteral("c"));
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(layout::actions(store), QStringList({"a", "b", "e", "d"}));
    QCOMPARE(store.read(QStringLiteral("a"), layout::Nr), QStringLiteral("1"));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Nr), QStringLiteral("3"));
    QCOMPARE(rows(listWindow), QStringList({"a", "b", "d", "e"}));
}

void TestActionList::deleteThatCannotBeSavedIsReported_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("folder replaced by a file") << int(StoreFault::FolderReplaced);
    QTest::newRow("disk full") << int(StoreFault::DiskFull);
    QTest::newRow("lock held") << int(StoreFault::LockHeld);
}

// Delete is saved whole or not at all: the store file stays byte for byte as
// it was, and the list window shows its error.
void TestActionList::deleteThatCannotBeSavedIsReported()
{
    QFETCH(int, fault);
    fill(FiveActions);
    ActionListWindow listWindow(*script);
    selectRow(listWindow, QStringLiteral("b"));
    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault));
    QVERIFY(broken->isSet());
    const QByteArray bytes = storeBytes();
    click(&listWindow, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(1).title, ErrorTitle);
    QCOMPARE(script->boxes.at(1).flags, 16);
    QCOMPARE(storeBytes(), bytes);
    QCOMPARE(rows(listWindow), FiveActions);
    QCOMPARE(listWindow.state().actionCount, qint16(5));
    const QString how = broken->how();
    broken.reset();
    figures::add(QStringLiteral("unwritable"),
                 {how, QStringLiteral("config: action list \"Delete\""),
                  QStringLiteral("\"Error:\" box, store and list unchanged")});
}

void TestActionList::closeButtonEndsProgram()
{
    fill({QStringLiteral("a")});
    ActionListWindow listWindow(*script);
    listWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&listWindow));
    QTimer::singleShot(0, &listWindow,
                       [&listWindow] { click(&listWindow, QStringLiteral("Command5")); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(script->boxes.isEmpty());
}

void TestActionList::closeBoxEndsProgram_data()
{
    QTest::addColumn<bool>("editorShown");
    QTest::newRow("editor hidden") << false;
    QTest::newRow("editor shown") << true;
}

// Neither a hidden nor a shown editor keeps the program running once the
// list window is closed through its close box.
void TestActionList::closeBoxEndsProgram()
{
    QFETCH(bool, editorShown);
    ActionListWindow listWindow(*script);
    listWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&listWindow));
    click(&listWindow, QStringLiteral("Command1"));
    if (!editorShown)
        click(listWindow.editorWindow(), QStringLiteral("Command1"));
    QCOMPARE(listWindow.editorWindow()->isVisible(), editorShown);
    bool closed = false;
    QTimer::singleShot(0, &listWindow, [&listWindow, &closed] { closed = listWindow.close(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(closed);
    QVERIFY(script->boxes.isEmpty());
}

QTEST_MAIN(TestActionList)
#include "tst_actionlist.moc"
