#include "DateText.h"
#include "HomeTest.h"
#include "Layout.h"
#include "Store.h"

#include <QtTest>

// Fills the list with the given descriptions, each with its URL, check string and NR.
static void fill(Store &store, const QStringList &descriptions)
{
    for (int i = 0; i < descriptions.size(); ++i)
        QVERIFY(layout::append(store, {descriptions.at(i),
                                       QStringLiteral("http://h/") + descriptions.at(i),
                                       QStringLiteral("check ") + descriptions.at(i)}));
}

class TestLayout : public HomeTest
{
    Q_OBJECT

private slots:

    void emptyStoreHoldsNoActions();
    void listEndsAtFirstHole();
    void appendWritesEntryAndSection();
    void appendRefusesPastLargestPosition();
    void changeKeepsPositionAndNr();
    void renameMovesSectionKeepingPosition();
    void renameFindsPositionWhenNrIsWrong_data();
    void renameFindsPositionWhenNrIsWrong();
    void renameOfUnlistedActionChangesNothing();
    void removeMovesLastIntoGap();
    void removeLastAction();
    void removeOnlyAction();
    void removeFindsPositionWhenNrIsWrong();
    void removeOfUnlistedActionChangesNothing();
    void appendAndRemoveCountTheFile();
    void clearCheckDateKeepsOtherSettings();
    void dateTextIsFixedForm_data();
    void dateTextIsFixedForm();

private:
    QStringList storedList() const { return layout::actions(Store()); }
};

void TestLayout::emptyStoreHoldsNoActions()
{
    QCOMPARE(layout::actions(Store()), QStringList());
}

void TestLayout::listEndsAtFirstHole()
{
    Store store;
    store.write(layout::ActionList, QStringLiteral("1"), QStringLiteral("one"));
    store.write(layout::ActionList, QStringLiteral("2"), QStringLiteral("two"));
    store.write(layout::ActionList, QStringLiteral("4"), QStringLiteral("four"));
    QCOMPARE(storedList(), QStringList({QStringLiteral("one"), QStringLiteral("two")}));
    store.write(layout::ActionList, QStringLiteral("2"), QString());
    QCOMPARE(storedList(), QStringList({QStringLiteral("one")}));
}

void TestLayout::appendWritesEntryAndSection()
{
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("My Page"), QStringLiteral("http://h/p.html"),
                           QStringLiteral("version 2.25")));
    QCOMPARE(store.read(layout::ActionList, QStringLiteral("1")), QStringLiteral("My Page"));
    QCOMPARE(store.read(QStringLiteral("My Page"), layout::Url), QStringLiteral("http://h/p.html"));
    QCOMPARE(store.read(QStringLiteral("My Page"), layout::Check), QStringLiteral("version 2.25"));
    QCOMPARE(store.read(QStringLiteral("My Page"), layout::Nr), QStringLiteral("1"));
    QVERIFY(layout::append(store, QStringLiteral("b"), QStringLiteral("u"), QStringLiteral("c")));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Nr), QStringLiteral("2"));
}

// The list's length comes from the file, as another writer may have left it.
void TestLayout::appendRefusesPastLargestPosition()
{
    QByteArray full = "[%21ActionList]\n";
    for (int position = 1; position < layout::MaxPosition; ++position)
        full += QByteArray::number(position) + "=a\n";
    QDir().mkpath(QFileInfo(home->storeFile()).absolutePath());
    QFile file(home->storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(full) == full.size());
    file.close();

    Store store;
    QCOMPARE(layout::append(store, QStringLiteral("x"), QStringLiteral("u"), QStringLiteral("c")),
             int(layout::MaxPosition));
    QCOMPARE(store.read(QStringLiteral("x"), layout::Nr), QStringLiteral("32767"));
    QCOMPARE(layout::append(store, QStringLiteral("y"), QStringLiteral("u"), QStringLiteral("c")),
             0);
    QCOMPARE(store.read(QStringLiteral("y"), layout::Nr), QString());
}

void TestLayout::changeKeepsPositionAndNr()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b")});
    QVERIFY(
        layout::change(store, {QStringLiteral("b"), QStringLiteral("u2"), QStringLiteral("c2")}));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Url), QStringLiteral("u2"));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Check), QStringLiteral("c2"));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(storedList(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
}

void TestLayout::renameMovesSectionKeepingPosition()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QVERIFY(layout::rename(store, 3, QStringLiteral("b"),
                           {QStringLiteral("B new"), QStringLiteral("u"), QStringLiteral("k")}));
    QCOMPARE(storedList(),
             QStringList({QStringLiteral("a"), QStringLiteral("B new"), QStringLiteral("c")}));
    QCOMPARE(store.read(QStringLiteral("B new"), layout::Url), QStringLiteral("u"));
    QCOMPARE(store.read(QStringLiteral("B new"), layout::Check), QStringLiteral("k"));
    QCOMPARE(store.read(QStringLiteral("B new"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(store.read(QStringLiteral("b"), layout::Url, QStringLiteral("gone")),
             QStringLiteral("gone"));
}

void TestLayout::renameFindsPositionWhenNrIsWrong_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("nr");
    QTest::newRow("missing") << false << "";
    QTest::newRow("not a number") << true << "two";
    QTest::newRow("points at another action") << true << "1";
    QTest::newRow("out of range") << true << "40000";
    QTest::newRow("negative") << true << "-1";
}

// Following a damaged "NR" would overwrite another action's entry: the
// position is found by reading the list instead.
void TestLayout::renameFindsPositionWhenNrIsWrong()
{
    QFETCH(bool, present);
    QFETCH(QString, nr);
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    if (present)
        store.write(QStringLiteral("b"), layout::Nr, nr);
    else
        store.removeKey(QStringLiteral("b"), layout::Nr);
    QVERIFY(layout::rename(store, 3, QStringLiteral("b"),
                           {QStringLiteral("n"), QStringLiteral("u"), QStringLiteral("k")}));
    QCOMPARE(storedList(),
             QStringList({QStringLiteral("a"), QStringLiteral("n"), QStringLiteral("c")}));
    QCOMPARE(store.read(QStringLiteral("n"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(store.read(QStringLiteral("a"), layout::Url), QStringLiteral("http://h/a"));
}

void TestLayout::renameOfUnlistedActionChangesNothing()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b")});
    store.write(QStringLiteral("ghost"), layout::Nr, QStringLiteral("1"));
    QFile file(home->storeFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    QVERIFY(!layout::rename(store, 2, QStringLiteral("ghost"),
                            {QStringLiteral("n"), QStringLiteral("u"), QStringLiteral("k")}));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestLayout::removeMovesLastIntoGap()
{
    Store store;
    fill(store, {QStringLiteral("1st"), QStringLiteral("2nd"), QStringLiteral("3rd"),
                 QStringLiteral("4th"), QStringLiteral("5th")});
    QVERIFY(layout::remove(store, QStringLiteral("2nd")));
    QCOMPARE(storedList(), QStringList({QStringLiteral("1st"), QStringLiteral("5th"),
                                        QStringLiteral("3rd"), QStringLiteral("4th")}));
    QCOMPARE(store.read(QStringLiteral("5th"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(store.read(layout::ActionList, QStringLiteral("5"), QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("2nd"), layout::Url, QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(QStringLiteral("5th"), layout::Url), QStringLiteral("http://h/5th"));
}

void TestLayout::removeLastAction()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QVERIFY(layout::remove(store, QStringLiteral("c")));
    QCOMPARE(storedList(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(store.read(QStringLiteral("c"), layout::Nr, QStringLiteral("gone")),
             QStringLiteral("gone"));
}

void TestLayout::removeOnlyAction()
{
    Store store;
    fill(store, {QStringLiteral("only")});
    QVERIFY(layout::remove(store, QStringLiteral("only")));
    QCOMPARE(storedList(), QStringList());
    QVERIFY(!store.removeSection(layout::ActionList));
}

void TestLayout::removeFindsPositionWhenNrIsWrong()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    store.write(QStringLiteral("b"), layout::Nr, QStringLiteral("1"));
    QVERIFY(layout::remove(store, QStringLiteral("b")));
    QCOMPARE(storedList(), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(store.read(QStringLiteral("c"), layout::Nr), QStringLiteral("2"));
    QCOMPARE(store.read(QStringLiteral("a"), layout::Url), QStringLiteral("http://h/a"));
}

void TestLayout::removeOfUnlistedActionChangesNothing()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b")});
    store.write(QStringLiteral("ghost"), layout::Nr, QStringLiteral("1"));
    QVERIFY(!layout::remove(store, QStringLiteral("ghost")));
    QCOMPARE(storedList(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(store.read(QStringLiteral("ghost"), layout::Nr), QStringLiteral("1"));
}

// Another writer's actions, added after this program counted the list, are
// neither overwritten by an append nor left behind a hole by a remove.
void TestLayout::appendAndRemoveCountTheFile()
{
    Store store;
    fill(store, {QStringLiteral("a"), QStringLiteral("b")});
    Store other;
    QCOMPARE(layout::append(other, QStringLiteral("c"), QStringLiteral("u"), QStringLiteral("k")),
             3);
    QCOMPARE(layout::append(store, QStringLiteral("d"), QStringLiteral("u"), QStringLiteral("k")),
             4);
    QCOMPARE(layout::remove(store, QStringLiteral("a")), std::optional<int>(3));
    QCOMPARE(storedList(),
             QStringList({QStringLiteral("d"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(store.read(QStringLiteral("d"), layout::Nr), QStringLiteral("1"));
    QVERIFY(!layout::remove(store, QStringLiteral("a")));
}

void TestLayout::clearCheckDateKeepsOtherSettings()
{
    Store store;
    layout::clearCheckDate(store);
    QVERIFY(!QFileInfo::exists(home->storeFile()));
    store.write(layout::Settings, layout::CheckDate, QStringLiteral("12-07-2026"));
    store.write(layout::Settings, layout::TDate, QStringLiteral("12-07-2026"));
    store.write(layout::Settings, layout::Fw, QStringLiteral("1"));
    layout::clearCheckDate(store);
    QCOMPARE(store.read(layout::Settings, layout::CheckDate, QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(store.read(layout::Settings, layout::TDate), QStringLiteral("12-07-2026"));
    QCOMPARE(store.read(layout::Settings, layout::Fw), QStringLiteral("1"));
}

void TestLayout::dateTextIsFixedForm_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::newRow("single digits padded") << QDate(2026, 1, 5) << "01-05-2026";
    QTest::newRow("december") << QDate(2026, 12, 31) << "12-31-2026";
    QTest::newRow("leap day") << QDate(2028, 2, 29) << "02-29-2028";
}

void TestLayout::dateTextIsFixedForm()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    const QLocale old;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(dateText(date), text);
    QLocale::setDefault(old);
}

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
