#include "HomeTest.h"
#include "Store.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

static int modeOf(const QString &path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 0777);
}

// Every key QSettings reads from the file, as "section/key" -> its text.
static QMap<QString, QString> readByQSettings(const QString &path)
{
    QMap<QString, QString> values;
    const QSettings settings(path, QSettings::IniFormat);
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key).toString());
    return values;
}

// Every entry of a folder but "." and "..", by name.
static QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class TestStore : public HomeTest
{
    Q_OBJECT

private slots:

    void fileIsPrivateToTheUser();
    void readingNeverCreatesTheFile();
    void defaultsApplyOnlyToAbsentKeys_data();
    void defaultsApplyOnlyToAbsentKeys();
    void writeReplacesValue();
    void removeKeyReportsMissingKey();
    void removeSectionReportsMissingSection();
    void removeSectionKeepsOthers();
    void sectionNamesRoundTripAndStayApart_data();
    void sectionNamesRoundTripAndStayApart();
    void escapingFollowsTheFileRule();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void handEditedListReadsAsText();
    void handEditedHeadersReadAsQSettingsReadsThem_data();
    void handEditedHeadersReadAsQSettingsReadsThem();
    void namesAreCaseSensitive();
    void writeToUnwritableFolderFails();
    void writeIsSeenByAnotherProcess();
    void nextReadSeesTheFileChanged_data();
    void nextReadSeesTheFileChanged();
    void twoProcessesWritingKeepAllKeys();
    void killedWriterLeavesReadablePrefix();
    void linkedStoreIsWrittenThroughTheLink();

private:
    static QString writerPath() { return QStringLiteral(QUORLIN_TEST_BIN_DIR "/store_writer"); }
};

void TestStore::fileIsPrivateToTheUser()
{
    Store store;
    QCOMPARE(store.filePath(), home->storeFile());
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("1")));
    QCOMPARE(modeOf(home->storeFile()), 0600);
    QCOMPARE(modeOf(home->configDir() + QStringLiteral("/QL")), 0700);
    // A later write replaces the file but keeps it private.
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("0")));
    QCOMPARE(modeOf(home->storeFile()), 0600);
}

void TestStore::readingNeverCreatesTheFile()
{
    Store store;
    QCOMPARE(store.read(QStringLiteral("!ActionList"), QStringLiteral("1")), QString());
    QCOMPARE(store.read(QStringLiteral("!Settings"), QStringLiteral("Limit"), QStringLiteral("1")),
             QStringLiteral("1"));
    QVERIFY(!QFileInfo::exists(home->storeFile()));
    QVERIFY(!QFileInfo::exists(home->configDir() + QStringLiteral("/QL")));
}

void TestStore::defaultsApplyOnlyToAbsentKeys_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QString>("expected");

    QTest::newRow("FWPort absent, default 80") << false << ""
                                               << "80"
                                               << "80";
    QTest::newRow("FWPort stored empty") << true << ""
                                         << "80"
                                         << "";
    QTest::newRow("Limit absent, default 1") << false << ""
                                             << "1"
                                             << "1";
    QTest::newRow("Limit stored 0") << true << "0"
                                    << "1"
                                    << "0";
    QTest::newRow("absent, no default") << false << ""
                                        << ""
                                        << "";
    QTest::newRow("stored, no default") << true << "x"
                                        << ""
                                        << "x";
}

void TestStore::defaultsApplyOnlyToAbsentKeys()
{
    QFETCH(bool, stored);
    QFETCH(QString, value);
    QFETCH(QString, fallback);
    QFETCH(QString, expected);
    Store store;
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("Other"), QStringLiteral("y")));
    if (stored)
        QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("Key"), value));
    QCOMPARE(store.read(QStringLiteral("!Settings"), QStringLiteral("Key"), fallback), expected);
    // A key of an absent section reads as the default too.
    QCOMPARE(store.read(QStringLiteral("Nowhere"), QStringLiteral("Key"), fallback), fallback);
}

void TestStore::writeReplacesValue()
{
    Store store;
    QVERIFY(store.write(QStringLiteral("a"), QStringLiteral("URL"), QStringLiteral("one")));
    QVERIFY(store.write(QStringLiteral("a"), QStringLiteral("URL"), QStringLiteral("two")));
    QCOMPARE(Store().read(QStringLiteral("a"), QStringLiteral("URL")), QStringLiteral("two"));
}

void TestStore::removeKeyReportsMissingKey()
{
    Store store;
    QVERIFY(!store.removeKey(QStringLiteral("!Settings"), QStringLiteral("CheckDate")));
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("1")));
    QVERIFY(!store.removeKey(QStringLiteral("!Settings"), QStringLiteral("CheckDate")));
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("CheckDate"),
                        QStringLiteral("12-07-2026")));
    QVERIFY(store.removeKey(QStringLiteral("!Settings"), QStringLiteral("CheckDate")));
    QCOMPARE(
        store.read(QStringLiteral("!Settings"), QStringLiteral("CheckDate"), QStringLiteral("-")),
        QStringLiteral("-"));
    QCOMPARE(store.read(QStringLiteral("!Settings"), QStringLiteral("FW")), QStringLiteral("1"));
    QVERIFY(!store.removeKey(QStringLiteral("!Settings"), QStringLiteral("CheckDate")));
}

void TestStore::removeSectionReportsMissingSection()
{
    Store store;
    QVERIFY(!store.removeSection(QStringLiteral("My Page")));
    QVERIFY(!QFileInfo::exists(home->storeFile()));
}

void TestStore::removeSectionKeepsOthers()
{
    Store store;
    for (const QString &section :
         {QStringLiteral("a"), QStringLiteral("a/b"), QStringLiteral("ab")})
        QVERIFY(store.write(section, QStringLiteral("URL"), section));
    QVERIFY(store.removeSection(QStringLiteral("a")));
    QCOMPARE(store.read(QStringLiteral("a"), QStringLiteral("URL")), QString());
    QCOMPARE(store.read(QStringLiteral("a/b"), QStringLiteral("URL")), QStringLiteral("a/b"));
    QCOMPARE(store.read(QStringLiteral("ab"), QStringLiteral("URL")), QStringLiteral("ab"));
    QVERIFY(!store.removeSection(QStringLiteral("a")));
}

void TestStore::sectionNamesRoundTripAndStayApart_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names = {
        QStringLiteral("!ActionList"), QStringLiteral("My Page"), QStringLiteral("a"),
        QStringLiteral("a/b"),         QStringLiteral("a%2Fb"),   QStringLiteral("a\\b"),
        QStringLiteral("x]y"),         QStringLiteral("[x"),      QStringLiteral("line\nbreak"),
        QStringLiteral("%41"),         QStringLiteral("%"),       QStringLiteral("  blanks  "),
        QStringLiteral("General"),     QStringLiteral("general"), QStringLiteral("GENERAL"),
        QStringLiteral("Grüße, 日本"), QStringLiteral("x=y"),     QStringLiteral(";comment"),
        QStringLiteral("#hash"),       QStringLiteral("/"),       QStringLiteral("a//b"),
        QStringLiteral("\"quoted\"")};
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name;
}

// Every name is written next to all the others; each must read back exactly its
// own values and nothing written under another name.
void TestStore::sectionNamesRoundTripAndStayApart()
{
    QFETCH(QString, name);
    const QStringList others = {QStringLiteral("a"),           QStringLiteral("a/b"),
                                QStringLiteral("a%2Fb"),       QStringLiteral("%41"),
                                QStringLiteral("A"),           QStringLiteral("General"),
                                QStringLiteral("!ActionList"), QStringLiteral("x]y")};
    Store store;
    for (const QString &other : others)
        QVERIFY(store.write(other, QStringLiteral("URL"), QStringLiteral("other:") + other));
    QVERIFY(store.write(name, QStringLiteral("URL"), QStringLiteral("mine:") + name));
    QVERIFY(store.write(name, QStringLiteral("Check"),
                        QStringLiteral("x\n[!ActionList]\n1=evil\n[%1]\nURL=stolen").arg(name)));

    const Store reader;
    QCOMPARE(reader.read(name, QStringLiteral("URL")), QStringLiteral("mine:") + name);
    QCOMPARE(reader.read(name, QStringLiteral("Check")),
             QStringLiteral("x\n[!ActionList]\n1=evil\n[%1]\nURL=stolen").arg(name));
    for (const QString &other : others) {
        if (other != name)
            QCOMPARE(reader.read(other, QStringLiteral("URL")), QStringLiteral("other:") + other);
    }
    QCOMPARE(reader.read(QStringLiteral("!ActionList"), QStringLiteral("1")), QString());

    QVERIFY(store.removeSection(name));
    QCOMPARE(reader.read(name, QStringLiteral("URL")), QString());
    for (const QString &other : others) {
        if (other != name)
            QCOMPARE(reader.read(other, QStringLiteral("URL")), QStringLiteral("other:") + other);
    }
}

// Another QSettings program that escapes '%' and '/' the same way reads our file.
void TestStore::escapingFollowsTheFileRule()
{
    QCOMPARE(Store::escapeSection(QStringLiteral("50%/a")), QStringLiteral("50%25%2Fa"));
    QCOMPARE(Store::unescapeSection(QStringLiteral("50%25%2Fa%2541")), QStringLiteral("50%/a%41"));
    QCOMPARE(Store::escapeSection(QStringLiteral("general")), QStringLiteral("%67eneral"));
    QCOMPARE(Store::unescapeSection(QStringLiteral("%67eneral")), QStringLiteral("general"));
    QCOMPARE(Store::escapeSection(QStringLiteral("General")), QStringLiteral("General"));
    Store store;
    QVERIFY(store.write(QStringLiteral("50%/a"), QStringLiteral("URL"), QStringLiteral("u")));
    QSettings other(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("QL"),
                    QStringLiteral("QL"));
    QCOMPARE(other.fileName(), home->storeFile());
    QCOMPARE(other.value(QStringLiteral("50%25%2Fa/URL")).toString(), QStringLiteral("u"));
}

void TestStore::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "version 2.25";
    QTest::newRow("comma") << "a, b, c";
    QTest::newRow("quotes") << "say \"hi\"";
    QTest::newRow("url") << "http://example.org/a?b=c&d=e#f";
    QTest::newRow("semicolon") << "a;b";
    QTest::newRow("crlf") << "a\r\nb";
    QTest::newRow("umlauts") << "Änderung über";
    QTest::newRow("variant-like") << "@Variant(abc)";
    QTest::newRow("blanks") << "   ";
}

void TestStore::valuesRoundTrip()
{
    QFETCH(QString, value);
    QVERIFY(Store().write(QStringLiteral("p"), QStringLiteral("Check"), value));
    QCOMPARE(Store().read(QStringLiteral("p"), QStringLiteral("Check")), value);
}

void TestStore::handEditedListReadsAsText()
{
    QDir().mkpath(home->configDir() + QStringLiteral("/QL"));
    QFile file(home->storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[p]\nCheck=a, b\n");
    file.close();
    QCOMPARE(Store().read(QStringLiteral("p"), QStringLiteral("Check")), QStringLiteral("a, b"));
}

// Headers typed by hand, beside keys outside any section and in a section.
void TestStore::handEditedHeadersReadAsQSettingsReadsThem_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("[] before a section") << QByteArray("[]\nURL=x\n[p]\nURL=y\n");
    QTest::newRow("[ ] before a section") << QByteArray("[ ]\nURL=x\n[p]\nURL=y\n");
    QTest::newRow("[] between a section's lines")
        << QByteArray("[p]\nURL=y\n[]\nCheck=x\n[p]\nNR=1\n");
    QTest::newRow("[] after keys outside any section")
        << QByteArray("URL=top\n[]\nURL=x\n[p]\nURL=y\n");
    QTest::newRow("[] before a section's key spelled whole")
        << QByteArray("[]\np\\Check=x\n[p]\nURL=y\n");
    QTest::newRow("[] and [ ] twice, apart") << QByteArray("[]\nA=1\n[p]\nURL=y\n[ ]\nB=2\n");
    QTest::newRow("a lone [") << QByteArray("[\nURL=x\n[p]\nURL=y\n");
    QTest::newRow("[General]") << QByteArray("[General]\nURL=g\n[p]\nURL=y\n");
}

// The store reads every key of a section as QSettings reads it, and a save
// leaves QSettings reading the same keys, the one written added.
void TestStore::handEditedHeadersReadAsQSettingsReadsThem()
{
    QFETCH(QByteArray, text);
    QVERIFY(QDir().mkpath(home->configDir() + QStringLiteral("/QL")));
    QFile file(home->storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    const QMap<QString, QString> before = readByQSettings(home->storeFile());
    const Store store;
    for (auto value = before.cbegin(); value != before.cend(); ++value) {
        const QStringList names = value.key().split(u'/');
        if (names.size() == 2 && !names.first().isEmpty())
            QCOMPARE(store.read(Store::unescapeSection(names.first()), names.last()),
                     value.value());
    }
    QCOMPARE(store.read(QStringLiteral("p"), QStringLiteral("Check")),
             before.value(QStringLiteral("p/Check")));

    QVERIFY(Store().write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("1")));
    QMap<QString, QString> after = readByQSettings(home->storeFile());
    QCOMPARE(after.take(QStringLiteral("!Settings/FW")), QStringLiteral("1"));
    QCOMPARE(after, before);
    QCOMPARE(store.read(QStringLiteral("p"), QStringLiteral("URL")), QStringLiteral("y"));
}

void TestStore::namesAreCaseSensitive()
{
    Store store;
    QVERIFY(store.write(QStringLiteral("Page"), QStringLiteral("URL"), QStringLiteral("upper")));
    QVERIFY(store.write(QStringLiteral("page"), QStringLiteral("URL"), QStringLiteral("lower")));
    QCOMPARE(store.read(QStringLiteral("Page"), QStringLiteral("URL")), QStringLiteral("upper"));
    QCOMPARE(store.read(QStringLiteral("page"), QStringLiteral("URL")), QStringLiteral("lower"));
    QCOMPARE(store.read(QStringLiteral("Page"), QStringLiteral("url")), QString());
}

void TestStore::writeToUnwritableFolderFails()
{
    // The store's folder is a plain file: nothing can be saved there.
    QFile blocker(home->configDir() + QStringLiteral("/QL"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Store store;
    QVERIFY(!store.write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("1")));
    QCOMPARE(store.read(QStringLiteral("!Settings"), QStringLiteral("FW")), QString());
}

void TestStore::writeIsSeenByAnotherProcess()
{
    Store store;
    QCOMPARE(store.read(QStringLiteral("!Stress"), QStringLiteral("seen0")), QString());
    QProcess writer;
    writer.start(writerPath(), {QStringLiteral("seen"), QStringLiteral("1")});
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(store.read(QStringLiteral("!Stress"), QStringLiteral("seen0")),
             QStringLiteral("value-0"));
}

// Each way the file at the store's path can change after a store has read
// it, the file itself or a folder or link on the way; the change shows at the
// next read of that store and of a fresh one, though nothing of it went
// through a store.
void TestStore::nextReadSeesTheFileChanged_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("saved by another store") << "saved"
                                            << "value-2";
    QTest::newRow("edited in place") << "in place"
                                     << "value-22";
    // An editor that keeps a backup: the file read stays linked and unchanged.
    QTest::newRow("renamed away, written anew") << "renamed"
                                                << "value-2";
    QTest::newRow("removed") << "removed"
                             << "";
    QTest::newRow("link pointed elsewhere") << "relinked"
                                            << "value-2";
    // The folder moved aside and another put in its place: the file read is
    // still linked and unchanged, in the folder moved aside.
    QTest::newRow("folder renamed and replaced") << "folder replaced"
                                                 << "value-2";
    // The folder a link that a dotfile manager points elsewhere.
    QTest::newRow("folder link pointed elsewhere") << "folder relinked"
                                                   << "value-2";
}

void TestStore::nextReadSeesTheFileChanged()
{
    QFETCH(QString, how);
    QFETCH(QString, expected);
    const QString config = home->configDir();
    const QString folder = config + QStringLiteral("/QL");
    const auto writeFile = [](const QString &path, const QByteArray &text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    const auto link = [](const char *target, const QString &name) {
        return ::symlink(target, QFile::encodeName(name).constData()) == 0;
    };
    // Two versions of the file, each in a folder of its own.
    QVERIFY(QDir().mkpath(config + "/first") && QDir().mkpath(config + "/second"));
    QVERIFY(writeFile(config + "/first/QL.ini", "[p]\nURL=value-1\n"));
    QVERIFY(writeFile(config + "/second/QL.ini", "[p]\nURL=value-2\n"));
    if (how == "folder relinked")
        QVERIFY(link("first", folder));
    else
        QVERIFY(QDir().mkpath(folder));
    if (how == "relinked")
        QVERIFY(link("../first/QL.ini", home->storeFile()));
    else if (how != "folder relinked")
        QVERIFY(QFile::copy(config + "/first/QL.ini", home->storeFile()));
    const Store store;
    QCOMPARE(store.read("p", "URL"), "value-1");

    if (how == "saved")
        QVERIFY(Store().write("p", "URL", "value-2"));
    else if (how == "in place")
        QVERIFY(writeFile(home->storeFile(), "[p]\nURL=value-22\n"));
    else if (how == "renamed")
        QVERIFY(QFile::rename(home->storeFile(), home->storeFile() + "~") &&
                QFile::copy(config + "/second/QL.ini", home->storeFile()));
    else if (how == "removed")
        QVERIFY(QFile::remove(home->storeFile()));
    else if (how == "relinked")
        QVERIFY(QFile::remove(home->storeFile()) && link("../second/QL.ini", home->storeFile()));
    else if (how == "folder replaced")
        QVERIFY(QDir().rename(folder, folder + ".old") &&
                QDir().rename(config + "/second", folder));
    else
        QVERIFY(QFile::remove(folder) && link("second", folder));
    QCOMPARE(store.read("p", "URL"), expected);
    QCOMPARE(store.current().read("p", "URL"), expected);
    QCOMPARE(Store().read("p", "URL"), expected);
}

void TestStore::twoProcessesWritingKeepAllKeys()
{
    QProcess first;
    QProcess second;
    first.start(writerPath(), {QStringLiteral("a"), QStringLiteral("500")});
    second.start(writerPath(), {QStringLiteral("b"), QStringLiteral("500")});
    QVERIFY(first.waitForFinished(200000));
    QVERIFY(second.waitForFinished(200000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    const Store store;
    for (int i = 0; i < 500; ++i) {
        const QString value = QStringLiteral("value-") + QString::number(i);
        QCOMPARE(store.read(QStringLiteral("!Stress"), QStringLiteral("a") + QString::number(i)),
                 value);
        QCOMPARE(store.read(QStringLiteral("!Stress"), QStringLiteral("b") + QString::number(i)),
                 value);
    }
}

void TestStore::killedWriterLeavesReadablePrefix()
{
    QProcess writer;
    writer.start(writerPath(), {QStringLiteral("k"), QStringLiteral("0")});
    QVERIFY(writer.waitForStarted());
    // Let it write for a while, then kill it in the middle of the stream.
    QString lastLine;
    while (lastLine.toInt() < 150) {
        QVERIFY(writer.waitForReadyRead(30000));
        const QStringList lines =
            QString::fromLatin1(writer.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!lines.isEmpty())
            lastLine = lines.last();
    }
    ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
    QVERIFY(writer.waitForFinished(30000));
    const int confirmed = lastLine.toInt();

    const Store store;
    int present = 0;
    while (!store.read(QStringLiteral("!Stress"), QStringLiteral("k") + QString::number(present))
                .isEmpty())
        ++present;
    QVERIFY2(present > confirmed, qPrintable(QString::number(present)));
    // What is there is a prefix: no later key without all earlier ones.
    for (int i = present; i < present + 50; ++i)
        QCOMPARE(store.read(QStringLiteral("!Stress"), QStringLiteral("k") + QString::number(i)),
                 QString());
    // And the store still takes writes, the first of which takes away what the
    // killed writer left half-done.
    Store writable;
    QVERIFY(writable.write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("1")));
    QCOMPARE(filesIn(home->configDir() + QStringLiteral("/QL")), QStringList{"QL.ini"});
}

// A store file kept elsewhere through a symbolic link (as dotfile managers do)
// is written through it by both programs: the file it points to at the time of
// the write is replaced, the link stays, and no other file stays behind.
void TestStore::linkedStoreIsWrittenThroughTheLink()
{
    const QString dotfiles = home->configDir() + QStringLiteral("/dotfiles");
    QVERIFY(QDir().mkpath(dotfiles));
    QVERIFY(QDir().mkpath(home->configDir() + QStringLiteral("/QL")));
    QVERIFY(::symlink("../dotfiles/ql.ini", QFile::encodeName(home->storeFile()).constData()) == 0);

    Store store;
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("FW"), QStringLiteral("1")));
    QProcess writer;
    writer.start(writerPath(), {QStringLiteral("w"), QStringLiteral("20")});
    QVERIFY(writer.waitForFinished(60000));
    QCOMPARE(writer.exitCode(), 0);
    QVERIFY(
        store.write(QStringLiteral("!Settings"), QStringLiteral("FWPort"), QStringLiteral("81")));

    const QFileInfo link(home->storeFile());
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), dotfiles + QStringLiteral("/ql.ini"));
    QCOMPARE(modeOf(dotfiles + QStringLiteral("/ql.ini")), 0600);
    QSettings target(dotfiles + QStringLiteral("/ql.ini"), QSettings::IniFormat);
    QCOMPARE(target.value(QStringLiteral("!Settings/FW")).toString(), QStringLiteral("1"));
    QCOMPARE(target.value(QStringLiteral("!Settings/FWPort")).toString(), QStringLiteral("81"));
    QCOMPARE(target.value(QStringLiteral("!Stress/w19")).toString(), QStringLiteral("value-19"));
    QCOMPARE(filesIn(dotfiles), QStringList{"ql.ini"});
    QCOMPARE(filesIn(home->configDir() + QStringLiteral("/QL")), QStringList{"QL.ini"});

    // Pointed elsewhere, the link takes the next write there.
    QVERIFY(QFile::remove(home->storeFile()));
    QVERIFY(::symlink("../dotfiles/other.ini", QFile::encodeName(home->storeFile()).constData()) ==
            0);
    QVERIFY(store.write(QStringLiteral("!Settings"), QStringLiteral("Limit"), QStringLiteral("0")));
    QVERIFY(QFileInfo(home->storeFile()).isSymLink());
    QCOMPARE(QSettings(dotfiles + QStringLiteral("/other.ini"), QSettings::IniFormat)
                 .value(QStringLiteral("!Settings/Limit"))
                 .toString(),
             QStringLiteral("0"));
    QCOMPARE(filesIn(dotfiles), QStringList({"other.ini", "ql.ini"}));
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
