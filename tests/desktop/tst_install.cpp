#include "CloseChannel.h"
#include "DesktopEntry.h"
#include "Layout.h"
#include "Store.h"
#include "TestHome.h"
#include "XDesktop.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

// `cmake --install` of this build into a temporary DESTDIR with the prefix
// /usr, as a package or a system install lays it out: the files, the links,
// the entries, and both programs started through their commands.
class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void layout_data();
    void layout();
    void commandsLeadToTheProgramFolder_data();
    void commandsLeadToTheProgramFolder();
    void entriesNameTheInstalledCommands_data();
    void entriesNameTheInstalledCommands();
    void menuEntryActionsAreTheMenuItems();
    void entriesValidate();
    void otherPrefixGivesItsOwnPaths();
    void checkerRunsFromItsCommand();
    void configRunsFromItsCommand();

private:
    // Installs the build with `prefix` into a fresh folder of `root`.
    static bool install(const QTemporaryDir &root, const QString &prefix, QString *log);
    QString staged(const QString &path) const { return root.path() + path; }

    QTemporaryDir root;
};

bool TestInstall::install(const QTemporaryDir &root, const QString &prefix, QString *log)
{
    QProcess cmake;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), root.path());
    cmake.setProcessEnvironment(env);
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(QUORLIN_CMAKE),
                {QStringLiteral("--install"), QStringLiteral(QUORLIN_BUILD_DIR),
                 QStringLiteral("--prefix"), prefix});
    const bool finished = cmake.waitForFinished(60000);
    *log = QString::fromLocal8Bit(cmake.readAll());
    return finished && cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0;
}

void TestInstall::initTestCase()
{
    QVERIFY(root.isValid());
    QString log;
    QVERIFY2(install(root, QStringLiteral("/usr"), &log), qPrintable(log));
}

void TestInstall::layout_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("checker") << "/usr/lib/quorlin/Quorlin" << true;
    QTest::newRow("config") << "/usr/lib/quorlin/config" << true;
    QTest::newRow("scalable icon") << "/usr/share/icons/hicolor/scalable/apps/quorlin.svg" << false;
    QTest::newRow("32x32 icon") << "/usr/share/icons/hicolor/32x32/apps/quorlin.png" << false;
    QTest::newRow("menu entry") << "/usr/share/applications/quorlin.desktop" << false;
    QTest::newRow("config menu entry") << "/usr/share/applications/quorlin-config.desktop" << false;
    QTest::newRow("autostart entry") << "/etc/xdg/autostart/quorlin.desktop" << false;
    QTest::newRow("checker's manual") << "/usr/share/man/man1/quorlin.1.gz" << false;
    QTest::newRow("config's manual") << "/usr/share/man/man1/quorlin-config.1.gz" << false;
}

void TestInstall::layout()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo file(staged(path));
    QVERIFY2(file.isFile() && !file.isSymLink(), qPrintable(path));
    QCOMPARE(file.isExecutable(), executable);
    QVERIFY(file.size() > 0);
    // Readable by everyone, writable by its owner alone.
    QVERIFY(file.permission(QFile::ReadOther));
    QVERIFY(!file.permission(QFile::WriteOther) && !file.permission(QFile::WriteGroup));
}

void TestInstall::commandsLeadToTheProgramFolder_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("program");
    QTest::newRow("quorlin") << "quorlin"
                             << "Quorlin";
    QTest::newRow("quorlin-config") << "quorlin-config"
                                    << "config";
}

// Relative links, so that the staged tree works wherever it is unpacked.
void TestInstall::commandsLeadToTheProgramFolder()
{
    QFETCH(QString, command);
    QFETCH(QString, program);
    const QFileInfo link(staged(QStringLiteral("/usr/bin/") + command));
    QVERIFY(link.isSymLink());
    QCOMPARE(QFile::symLinkTarget(link.filePath()),
             staged(QStringLiteral("/usr/lib/quorlin/") + program));
    QCOMPARE(QFile(link.filePath()).symLinkTarget(), link.symLinkTarget());
    QByteArray target(4096, '\0');
    const ssize_t length =
        ::readlink(link.filePath().toLocal8Bit().constData(), target.data(), size_t(target.size()));
    QVERIFY(length > 0);
    target.truncate(length);
    QCOMPARE(QString::fromLocal8Bit(target), QStringLiteral("../lib/quorlin/") + program);
}

void TestInstall::entriesNameTheInstalledCommands_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("inMenu");
    QTest::newRow("menu") << "/usr/share/applications/quorlin.desktop"
                          << "/usr/bin/quorlin" << true;
    QTest::newRow("config") << "/usr/share/applications/quorlin-config.desktop"
                            << "/usr/bin/quorlin-config" << true;
    QTest::newRow("autostart") << "/etc/xdg/autostart/quorlin.desktop"
                               << "/usr/bin/quorlin" << false;
}

void TestInstall::entriesNameTheInstalledCommands()
{
    QFETCH(QString, entry);
    QFETCH(QString, command);
    QFETCH(bool, inMenu);
    QSettings file(staged(entry), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(file.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
    QCOMPARE(file.value(QStringLiteral("Exec")).toString(), command);
    QCOMPARE(file.value(QStringLiteral("TryExec")).toString(), command);
    QCOMPARE(file.value(QStringLiteral("Icon")).toString(), QStringLiteral("quorlin"));
    QCOMPARE(file.value(QStringLiteral("NoDisplay"), false).toBool(), !inMenu);
    QVERIFY(QFileInfo::exists(staged(command)));
}

// On a desktop without a notification area the menu entry's actions are the
// way to the menu's items, in the menu's order, each the command with its
// option.
void TestInstall::menuEntryActionsAreTheMenuItems()
{
    const QString entry = staged(QStringLiteral("/usr/share/applications/quorlin.desktop"));
    const QString actions =
        desktopEntryValue(entry, QStringLiteral("Desktop Entry"), QStringLiteral("Actions"));
    QStringList names;
    QStringList commands;
    for (const QString &action : actions.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString group = QStringLiteral("Desktop Action ") + action;
        names.append(desktopEntryValue(entry, group, QStringLiteral("Name")));
        commands.append(desktopEntryValue(entry, group, QStringLiteral("Exec")));
    }
    QCOMPARE(names, QStringList({QStringLiteral("Debug"), QStringLiteral("About"),
                                 QStringLiteral("Check Now"), QStringLiteral("Launch Config"),
                                 QStringLiteral("Exit")}));
    QCOMPARE(commands, QStringList({QStringLiteral("/usr/bin/quorlin --debug"),
                                    QStringLiteral("/usr/bin/quorlin --about"),
                                    QStringLiteral("/usr/bin/quorlin --check-now"),
                                    QStringLiteral("/usr/bin/quorlin --launch-config"),
                                    QStringLiteral("/usr/bin/quorlin --exit")}));
}

void TestInstall::entriesValidate()
{
    const QStringList missing =
        xdesktop::missingPrograms({QStringLiteral("desktop-file-validate")});
    if (!missing.isEmpty()) {
        if (xdesktop::inCi())
            QFAIL("desktop-file-validate is missing (package desktop-file-utils)");
        QSKIP("desktop-file-validate is missing (package desktop-file-utils)");
    }
    int exitCode = -1;
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("desktop-file-validate"),
                   {staged(QStringLiteral("/usr/share/applications/quorlin.desktop")),
                    staged(QStringLiteral("/usr/share/applications/quorlin-config.desktop")),
                    staged(QStringLiteral("/etc/xdg/autostart/quorlin.desktop"))});
    QVERIFY(validate.waitForFinished(20000));
    exitCode = validate.exitCode();
    const QByteArray said = validate.readAll();
    // It prints hints and warnings as well as errors; none is expected.
    QVERIFY2(exitCode == 0 && said.isEmpty(), said.constData());
}

// A prefix given at install time, not the one configured, is what the links
// and entries name; the autostart entry stays under that prefix.
void TestInstall::otherPrefixGivesItsOwnPaths()
{
    QTemporaryDir other;
    QString log;
    QVERIFY2(install(other, QStringLiteral("/opt/page watch"), &log), qPrintable(log));
    const QString prefix = other.path() + QStringLiteral("/opt/page watch");
    QVERIFY(QFileInfo(prefix + QStringLiteral("/bin/quorlin")).isSymLink());
    QVERIFY(QFileInfo(prefix + QStringLiteral("/bin/quorlin")).isExecutable());
    QFile entry(prefix + QStringLiteral("/etc/xdg/autostart/quorlin.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    QVERIFY2(text.contains("\nExec=\"/opt/page watch/bin/quorlin\"\n"), text.constData());
    QVERIFY2(text.contains("\nTryExec=/opt/page watch/bin/quorlin\n"), text.constData());
    QVERIFY(!QFileInfo::exists(other.path() + QStringLiteral("/etc")));
}

namespace
{

QProcessEnvironment programEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// The program a running process was started from, links resolved.
QString programOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath();
}

} // namespace

// Started through its command, the checker runs from the program folder,
// where config is beside it; it listens for the close request and ends on it.
void TestInstall::checkerRunsFromItsCommand()
{
    TestHome home;
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("Page"), QStringLiteral("http://127.0.0.1:9/"),
                           QStringLiteral("version 2.25")));
    QProcess checker;
    checker.setProcessEnvironment(programEnvironment());
    checker.setProcessChannelMode(QProcess::ForwardedChannels);
    checker.start(staged(QStringLiteral("/usr/bin/quorlin")), {});
    QVERIFY(checker.waitForStarted(10000));
    const QString entry =
        closechannel::folder() + QStringLiteral("/Quorlin.") + QString::number(checker.processId());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(entry), 20000);
    const QString program = programOf(checker.processId());
    QCOMPARE(program,
             QFileInfo(staged(QStringLiteral("/usr/lib/quorlin/Quorlin"))).canonicalFilePath());
    QVERIFY(QFileInfo(QFileInfo(program).path() + QStringLiteral("/config")).isExecutable());

    QCOMPARE(closechannel::closeWindowsByTitle(QStringLiteral("Quorlin")), 1);
    QVERIFY(checker.waitForFinished(10000));
    QCOMPARE(checker.exitStatus(), QProcess::NormalExit);
    QCOMPARE(checker.exitCode(), 0);
}

void TestInstall::configRunsFromItsCommand()
{
    TestHome home;
    QProcess config;
    config.setProcessEnvironment(programEnvironment());
    config.setProcessChannelMode(QProcess::ForwardedChannels);
    config.start(staged(QStringLiteral("/usr/bin/quorlin-config")), {});
    QVERIFY(config.waitForStarted(10000));
    // Still running once its window is up: it reads the (empty) store.
    QVERIFY(!config.waitForFinished(1500));
    const QString program = programOf(config.processId());
    QCOMPARE(program,
             QFileInfo(staged(QStringLiteral("/usr/lib/quorlin/config"))).canonicalFilePath());
    QVERIFY(QFileInfo(QFileInfo(program).path() + QStringLiteral("/Quorlin")).isExecutable());
    config.kill();
    QVERIFY(config.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
