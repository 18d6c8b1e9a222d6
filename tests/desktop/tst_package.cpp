#include "XDesktop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

// The Debian package that `cpack -G DEB` makes of this build, with the prefix
// /usr a package has: its files, its control fields and its entries.
class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void filesAreTheInstalledLayout();
    void controlFields();
    void dependsNamesWhatTheProgramsNeed_data();
    void dependsNamesWhatTheProgramsNeed();
    void autostartEntryIsAConfigurationFile();
    void entriesNameTheCommandsUnderUsr();

private:
    // Runs a tool to its end; its standard output. Fails the test on error.
    static QByteArray tool(const QString &program, const QStringList &arguments,
                           const QString &folder = QString());
    QString field(const QString &name) const;

    QTemporaryDir work;
    QString deb;
};

QByteArray TestPackage::tool(const QString &program, const QStringList &arguments,
                             const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << program << arguments.join(QLatin1Char(' '))
                             << "failed:" << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput();
}

QString TestPackage::field(const QString &name) const
{
    return QString::fromUtf8(tool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, name}))
        .trimmed();
}

void TestPackage::initTestCase()
{
    const QStringList missing = xdesktop::missingPrograms(
        {QStringLiteral("dpkg-deb"), QStringLiteral("dpkg-shlibdeps"), QStringLiteral("file")});
    if (!missing.isEmpty()) {
        const QByteArray why = "missing: " + missing.join(QLatin1Char(' ')).toLocal8Bit() +
                               " (packages dpkg-dev file)";
        if (xdesktop::inCi())
            QFAIL(why.constData());
        QSKIP(why.constData());
    }
    QVERIFY(work.isValid());
    tool(QStringLiteral(QUORLIN_CPACK),
         {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), work.path(),
          QStringLiteral("-D"), QStringLiteral("CPACK_PACKAGING_INSTALL_PREFIX=/usr")},
         QStringLiteral(QUORLIN_BUILD_DIR));
    const QStringList made = QDir(work.path()).entryList({QStringLiteral("quorlin_*.deb")});
    QCOMPARE(made.size(), 1);
    deb = work.filePath(made.first());
}

// Every file and link (folders aside), with the links' targets.
void TestPackage::filesAreTheInstalledLayout()
{
    const QList<QByteArray> lines =
        tool(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb}).trimmed().split('\n');
    QSet<QString> files;
    for (const QByteArray &line : lines) {
        if (line.startsWith('d'))
            continue;
        // "-rw-r--r-- root/root 243 2026-01-01 12:00 ./etc/..." and "lrwx... ./a -> b"
        const QString text = QString::fromUtf8(line);
        files.insert(text.section(QLatin1Char(' '), 5, -1, QString::SectionSkipEmpty));
        QVERIFY2(text.contains(QLatin1String(" root/root ")), line.constData());
    }
    const QSet<QString> expected{
        QStringLiteral("./etc/xdg/autostart/quorlin.desktop"),
        QStringLiteral("./usr/bin/quorlin -> ../lib/quorlin/Quorlin"),
        QStringLiteral("./usr/bin/quorlin-config -> ../lib/quorlin/config"),
        QStringLiteral("./usr/lib/quorlin/Quorlin"),
        QStringLiteral("./usr/lib/quorlin/config"),
        QStringLiteral("./usr/share/applications/quorlin.desktop"),
        QStringLiteral("./usr/share/applications/quorlin-config.desktop"),
        QStringLiteral("./usr/share/icons/hicolor/32x32/apps/quorlin.png"),
        QStringLiteral("./usr/share/icons/hicolor/scalable/apps/quorlin.svg"),
        QStringLiteral("./usr/share/man/man1/quorlin.1.gz"),
        QStringLiteral("./usr/share/man/man1/quorlin-config.1.gz")};
    QCOMPARE(files, expected);
}

void TestPackage::controlFields()
{
    QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("quorlin"));
    QCOMPARE(field(QStringLiteral("Version")), QStringLiteral("1.6"));
    QCOMPARE(
        field(QStringLiteral("Architecture")),
        QString::fromUtf8(tool(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}))
            .trimmed());
    QCOMPARE(field(QStringLiteral("Section")), QStringLiteral("web"));
    QCOMPARE(field(QStringLiteral("Recommends")), QStringLiteral("xdg-utils"));
    QVERIFY(!field(QStringLiteral("Maintainer")).isEmpty());
    QVERIFY(!field(QStringLiteral("Description")).isEmpty());
}

void TestPackage::dependsNamesWhatTheProgramsNeed_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("version");
    // Found by dpkg-shlibdeps from the programs' libraries.
    for (const char *library :
         {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6network6"})
        QTest::newRow(library) << QString::fromLatin1(library) << QString();
    // The download's protocol limits need 7.85 or later.
    QTest::newRow("libcurl4") << QStringLiteral("libcurl4") << QStringLiteral("(>= 7.85.0)");
    // Named by hand: loaded at run time or used as data.
    for (const char *other :
         {"qt6-qpa-plugins", "qt6-wayland", "ca-certificates", "fonts-liberation2"})
        QTest::newRow(other) << QString::fromLatin1(other) << QString();
}

void TestPackage::dependsNamesWhatTheProgramsNeed()
{
    QFETCH(QString, package);
    QFETCH(QString, version);
    const QStringList depends =
        field(QStringLiteral("Depends")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const bool named = std::any_of(depends.cbegin(), depends.cend(), [&](const QString &entry) {
        return entry.trimmed().section(QLatin1Char(' '), 0, 0) == package &&
               entry.contains(version);
    });
    QVERIFY2(named, qPrintable(depends.join(QLatin1Char(','))));
}

void TestPackage::autostartEntryIsAConfigurationFile()
{
    QCOMPARE(
        tool(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), deb, QStringLiteral("conffiles")}),
        QByteArray("/etc/xdg/autostart/quorlin.desktop\n"));
}

void TestPackage::entriesNameTheCommandsUnderUsr()
{
    const QString unpacked = work.filePath(QStringLiteral("unpacked"));
    tool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, unpacked});
    const QList<QPair<QString, QByteArray>> entries{
        {QStringLiteral("/usr/share/applications/quorlin.desktop"), "/usr/bin/quorlin"},
        {QStringLiteral("/usr/share/applications/quorlin-config.desktop"),
         "/usr/bin/quorlin-config"},
        {QStringLiteral("/etc/xdg/autostart/quorlin.desktop"), "/usr/bin/quorlin"}};
    for (const auto &[path, command] : entries) {
        QFile entry(unpacked + path);
        QVERIFY2(entry.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray text = entry.readAll();
        QVERIFY2(text.contains("\nExec=" + command + "\n"), text.constData());
        QVERIFY2(text.contains("\nTryExec=" + command + "\n"), text.constData());
    }
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
