#include "ConfigTestTools.h"
#include "EditorState.h"
#include "Figures.h"
#include "MessageBox.h"
#include "TestHome.h"

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

class TestActionList : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        home = std::make_unique<TestHome>();
        script = std::make_unique<MessageBoxScript>();
    }
    void cleanup()
    {
        script.reset();
        home.reset();
    }

    void windowDesign();
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

private:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<MessageBoxScript> script;
};

void TestActionList::windowDesign()
{
    Form1 form1;
    QCOMPARE(form1.windowTitle(), QStringLiteral("Quorlin Config"));
    QCOMPARE(form1.size(), QSize(378, 301));
    QCOMPARE(form1.windowIcon().availableSizes(), QList<QSize>({QSize(32, 32)}));
    QCOMPARE(child<QPushButton>(&form1, QStringLiteral("Command1"))->text(), QStringLiteral("New"));
    QCOMPARE(child<QPushButton>(&form1, QStringLiteral("Command2"))->text(),
             QStringLiteral("Modify"));
    QCOMPARE(child<QPushButton>(&form1, QStringLiteral("Command3"))->text(),
             QStringLiteral("Delete"));
    QCOMPARE(child<QPushButton>(&form1, QStringLiteral("Command6"))->text(),
             QStringLiteral("Setup"));
    QCOMPARE(child<QPushButton>(&form1, QStringLiteral("Command4"))->text(),
             QStringLiteral("About"));
    QCOMPARE(child<QPushButton>(&form1, QStringLiteral("Command5"))->text(),
             QStringLiteral("Close"));
    // "Close" lies over the bottom strip on the window itself, above it.
    auto *close = child<QPushButton>(&form1, QStringLiteral("Command5"));
    auto *strip = child<QWidget>(&form1, QStringLiteral("Frame4"));
    QCOMPARE(close->parentWidget(), &form1);
    QVERIFY(strip->geometry().contains(close->geometry()));
    QCOMPARE(form1.childAt(close->geometry().center()), close);
    // Centred on the screen.
    const QRect area = form1.screen()->availableGeometry();
    QVERIFY(qAbs(form1.geometry().center().x() - area.center().x()) <= 1);
    QVERIFY(qAbs(form1.geometry().center().y() - area.center().y()) <= 1);
}

void TestActionList::emptyStoreShowsEmptyList()
{
    Form1 form1;
    QCOMPARE(rows(form1), QStringList());
    QCOMPARE(form1.state().actionCount, qint16(0));
    click(&form1, QStringLiteral("Command2"));
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(0).text, ModifyNothing);
    QCOMPARE(script->boxes.at(0).title, ErrorTitle);
    QCOMPARE(script->boxes.at(0).flags, 16);
    QCOMPARE(script->boxes.at(1).text, DeleteNothing);
    QCOMPARE(script->boxes.at(1).title, ErrorTitle);
    QCOMPARE(script->boxes.at(1).flags, 16);
    QVERIFY(form1.isEnabled());
    QVERIFY(!form1.editorWindow());
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
    Form1 form1;
    QCOMPARE(rows(form1), expected);
    QCOMPARE(form1.state().actionCount, qint16(expected.size()));
}

void TestActionList::selectionSetsSelectedAction()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    Form1 form1;
    QCOMPARE(form1.state().selectedAction, QString());
    selectRow(form1, QStringLiteral("b"));
    QCOMPARE(form1.state().selectedAction, QStringLiteral("b"));
    // Keyboard moves the selection too.
    auto *list = child<QListWidget>(&form1, QStringLiteral("List1"));
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(form1.state().selectedAction, QStringLiteral("a"));
    list->clearSelection();
    QCOMPARE(form1.state().selectedAction, QStringLiteral("a"));
}

void TestActionList::deleteAnsweredNoChangesNothing()
{
    fill(FiveActions);
    const auto before = storeContents();
    Form1 form1;
    selectRow(form1, QStringLiteral("b"));
    script->answer(msgbox::No);
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, QStringLiteral("Really Remove Action ' b ' ?"));
    QCOMPARE(script->boxes.at(0).title, QStringLiteral("Question:"));
    QCOMPARE(script->boxes.at(0).flags, 36);
    QCOMPARE(storeContents(), before);
    QCOMPARE(rows(form1), FiveActions);
    QCOMPARE(form1.state().actionCount, qint16(5));
}

void TestActionList::deleteMovesLastIntoGap()
{
    fill(FiveActions);
    Form1 form1;
    selectRow(form1, QStringLiteral("b"));
    script->answer(msgbox::Yes);
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 1);

    Store store;
    QCOMPARE(layout::actions(store), QStringList({"a", "e", "c", "d"}));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(store.read(layout::ActionList, QStringLiteral("5"), QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Url, QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Url), QStringLiteral("http://h/e.html"));
    QCOMPARE(form1.state().actionCount, qint16(4));
    // The moved action's row stays where it was.
    QCOMPARE(rows(form1), QStringList({"a", "c", "d", "e"}));
    QCOMPARE(form1.state().changesMade, false);
    QCOMPARE(form1.state().selectedAction, QStringLiteral("b"));

    // No row is selected afterwards.
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(1).text, DeleteNothing);
}

void TestActionList::deleteLastAction()
{
    fill(FiveActions);
    Form1 form1;
    selectRow(form1, QStringLiteral("e"));
    click(&form1, QStringLiteral("Command3"));
    Store store;
    QCOMPARE(layout::actions(store), QStringList({"a", "b", "c", "d"}));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Nr, QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("d"), layout::Nr), QStringLiteral("4"));
    QCOMPARE(form1.state().actionCount, qint16(4));
    QCOMPARE(rows(form1), QStringList({"a", "b", "c", "d"}));
    QCOMPARE(form1.state().changesMade, false);
}

void TestActionList::deleteOnlyAction()
{
    fill({QStringLiteral("only")});
    Form1 form1;
    selectRow(form1, QStringLiteral("only"));
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(storeContents(), (QMap<QString, QString>()));
    QCOMPARE(form1.state().actionCount, qint16(0));
    QCOMPARE(rows(form1), QStringList());
}

// A hand-damaged "NR" pointing at another action must not overwrite it.
void TestActionList::deleteWithDamagedNrKeepsOtherActions()
{
    fill(FiveActions);
    Store store;
    QVERIFY(store.write(QStringLiteral("c"), layout::Nr, QStringLiteral("1")));
    Form1 form1;
    selectRow(form1, QStringLiteral("c"));
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(layout::actions(store), QStringList({"a", "b", "e", "d"}));
    QCOMPARE(store.read(QStringLiteral("a"), layout::Nr), QStringLiteral("1"));
    QCOMPARE(store.read(QStringLiteral("e"), layout::Nr), QStringLiteral("3"));
    QCOMPARE(rows(form1), QStringList({"a", "b", "d", "e"}));
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
    Form1 form1;
    selectRow(form1, QStringLiteral("b"));
    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault));
    QVERIFY(broken->isSet());
    const QByteArray bytes = storeBytes();
    click(&form1, QStringLiteral("Command3"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(1).title, ErrorTitle);
    QCOMPARE(script->boxes.at(1).flags, 16);
    QCOMPARE(storeBytes(), bytes);
    QCOMPARE(rows(form1), FiveActions);
    QCOMPARE(form1.state().actionCount, qint16(5));
    const QString how = broken->how();
    broken.reset();
    figures::add(QStringLiteral("unwritable"),
                 {how, QStringLiteral("config: action list \"Delete\""),
                  QStringLiteral("\"Error:\" box, store and list unchanged")});
}

void TestActionList::closeButtonEndsProgram()
{
    fill({QStringLiteral("a")});
    Form1 form1;
    form1.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form1));
    QTimer::singleShot(0, &form1, [&form1] { click(&form1, QStringLiteral("Command5")); });
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
    Form1 form1;
    form1.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form1));
    click(&form1, QStringLiteral("Command1"));
    if (!editorShown)
        click(form1.editorWindow(), QStringLiteral("Command1"));
    QCOMPARE(form1.editorWindow()->isVisible(), editorShown);
    bool closed = false;
    QTimer::singleShot(0, &form1, [&form1, &closed] { closed = form1.close(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(closed);
    QVERIFY(script->boxes.isEmpty());
}

QTEST_MAIN(TestActionList)
#include "tst_actionlist.moc"
