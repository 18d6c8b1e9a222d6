#include "Figures.h"
#include "HomeTest.h"
#include "Layout.h"
#include "Store.h"

#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <memory>

// The editor's operations and the checker's runs on one store from two
// processes at once, for $QUORLIN_SOAK_SECONDS (10 by default; CI's
// reliability run takes 60): no key lost, no value torn. Each worker checks
// its own view after every step; this test checks the store they leave.
class TestStoreSoak : public HomeTest
{
    Q_OBJECT

private slots:
    void twoProgramsKeepEveryKey();
};

namespace
{

QString workerPath()
{
    return QStringLiteral(QUORLIN_TEST_BIN_DIR "/soak_worker");
}

// "name value" lines of a worker's output; "action" lines in order of arrival.
QMultiMap<QString, QString> report(QProcess &worker)
{
    QMultiMap<QString, QString> lines;
    const QStringList all =
        QString::fromUtf8(worker.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : all)
        lines.insert(line.section(u' ', 0, 0), line.section(u' ', 1));
    return lines;
}

} // namespace

void TestStoreSoak::twoProgramsKeepEveryKey()
{
    const int seconds = qEnvironmentVariableIsSet("QUORLIN_SOAK_SECONDS")
                            ? qEnvironmentVariableIntValue("QUORLIN_SOAK_SECONDS")
                            : 10;
    QProcess editor;
    QProcess checker;
    editor.start(workerPath(), {QStringLiteral("editor"), QString::number(seconds),
                                QString::number(QRandomGenerator::global()->bounded(1u << 30))});
    checker.start(workerPath(), {QStringLiteral("checker"), QString::number(seconds)});
    QVERIFY(editor.waitForFinished((seconds + 120) * 1000));
    QVERIFY(checker.waitForFinished((seconds + 120) * 1000));
    const QMultiMap<QString, QString> edits = report(editor);
    const QMultiMap<QString, QString> runs = report(checker);
    QVERIFY2(editor.exitCode() == 0, qPrintable(edits.value(QStringLiteral("fault:"))));
    QVERIFY2(checker.exitCode() == 0, qPrintable(runs.value(QStringLiteral("fault:"))));
    QVERIFY(edits.value(QStringLiteral("ops")).toInt() > 0);
    QVERIFY(runs.value(QStringLiteral("runs")).toInt() > 0);

    // The store holds the editor's list, its sections and the checker's
    // last dates, and no section beside them.
    QStringList list;
    const Store store;
    QStringList lines = edits.values(QStringLiteral("action"));
    std::reverse(lines.begin(), lines.end()); // QMultiMap gives the latest first
    for (const QString &line : lines) {
        const QStringList fields = line.split(u'\t');
        QCOMPARE(fields.size(), 3);
        list.append(fields.at(0));
        QCOMPARE(store.read(fields.at(0), layout::Url), fields.at(1));
        QCOMPARE(store.read(fields.at(0), layout::Check), fields.at(2));
        QCOMPARE(store.read(fields.at(0), layout::Nr), QString::number(list.size()));
    }
    QCOMPARE(layout::actions(store), list);
    const QString date = runs.value(QStringLiteral("date"));
    QCOMPARE(store.read(layout::Settings, layout::TDate), date);
    QCOMPARE(store.read(layout::Settings, layout::CheckDate), date);
    QStringList sections;
    for (const QString &group : QSettings(home->storeFile(), QSettings::IniFormat).childGroups())
        sections.append(Store::unescapeSection(group));
    QStringList expected = list + QStringList{layout::ActionList, layout::Settings};
    sections.sort();
    expected.sort();
    QCOMPARE(sections, expected);

    figures::add(QStringLiteral("soak"),
                 {QStringLiteral("%1 s").arg(seconds), edits.value(QStringLiteral("ops")),
                  runs.value(QStringLiteral("runs")), runs.value(QStringLiteral("downloads")),
                  runs.value(QStringLiteral("retries")),
                  QStringLiteral("%1 actions at the end").arg(list.size()),
                  QStringLiteral("no key lost, no value torn")});
}

QTEST_GUILESS_MAIN(TestStoreSoak)
#include "tst_storesoak.moc"
