#include "CloseChannel.h"
#include "Layout.h"
#include "Store.h"
#include "TestHome.h"

#include <QDir>
#include <QLocalServer>
#include <QProcess>
#include <QtTest>

// The checker's command line, read before anything connects to a display:
// the program runs here with no display at all, so that a start that tried to
// show anything would fail instead of printing and ending.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answeredWithoutRunning_data();
    void answeredWithoutRunning();
};

void TestCommandLine::answeredWithoutRunning_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<bool>("hungChecker");
    const auto refused = [](const char *row, const QStringList &arguments, const char *why) {
        QTest::newRow(row) << arguments << 2 << QString()
                           << QStringLiteral("Quorlin: %1\n").arg(QLatin1String(why)) << false;
    };
    refused("unknown option", {QStringLiteral("--bogus")}, "Unknown option 'bogus'.");
    refused("unknown single-dash option", {QStringLiteral("-x")}, "Unknown option 'x'.");
    refused("stray argument", {QStringLiteral("stray")}, "unexpected argument 'stray'");
    refused("argument after an item", {QStringLiteral("--exit"), QStringLiteral("now")},
            "unexpected argument 'now'");
    refused("two items", {QStringLiteral("--debug"), QStringLiteral("--exit")},
            "give one item of the menu at a time");
    refused("a value to an item", {QStringLiteral("--debug=1")},
            "Unexpected value after '--debug'.");
    refused("Qt's option without its value", {QStringLiteral("-platform")},
            "Missing value after '-platform'.");
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                             << QStringLiteral("Quorlin 1.6\n") << QString() << false;
    QTest::newRow("-v") << QStringList{QStringLiteral("-v")} << 0 << QStringLiteral("Quorlin 1.6\n")
                        << QString() << false;
    // With no checker running, nothing starts that could end.
    QTest::newRow("exit with none running")
        << QStringList{QStringLiteral("--exit")} << 0 << QString() << QString() << false;
    // A checker that takes the connection and never answers (hung).
    QTest::newRow("about, the checker hung")
        << QStringList{QStringLiteral("--about")} << 1 << QString()
        << QStringLiteral("Quorlin: the running checker did not take the request\n") << true;
}

void TestCommandLine::answeredWithoutRunning()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(bool, hungChecker);
    TestHome home;
    QLocalServer hung;
    if (hungChecker) {
        QVERIFY(QDir().mkpath(closechannel::fallbackFolder()));
        QVERIFY(hung.listen(closechannel::fallbackFolder() + QStringLiteral("/Quorlin-window")));
    }
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("Page"), QStringLiteral("http://127.0.0.1:9/"),
                           QStringLiteral("version 2.25")));
    QProcess checker;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    checker.setProcessEnvironment(env);
    checker.start(QStringLiteral(QUORLIN_BIN_DIR "/Quorlin"), arguments);
    QVERIFY(checker.waitForFinished(20000));
    QCOMPARE(checker.exitStatus(), QProcess::NormalExit);
    QCOMPARE(checker.exitCode(), status);
    QCOMPARE(QString::fromLocal8Bit(checker.readAllStandardOutput()), out);
    QCOMPARE(QString::fromLocal8Bit(checker.readAllStandardError()), err);
    // Nothing ever listened for this store.
    hung.close();
    for (const QString &folder : closechannel::folders())
        QVERIFY2(QDir(folder).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 qPrintable(folder));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
