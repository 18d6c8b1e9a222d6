#include "CheckRun.h"
#include "Figures.h"
#include "FullDisk.h"
#include "HomeTest.h"
#include "Layout.h"
#include "RunFakes.h"
#include "ScriptedPrompts.h"
#include "Store.h"
#include "StoreFault.h"
#include "StoreFile.h"
#include "Unprivileged.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// The store under faults: a file damaged by hand, a store that cannot be
// written, and the checker's run on such a store.
class TestStoreFaults : public HomeTest
{
    Q_OBJECT

private slots:

    void damagedFileKeepsWholeSections_data();
    void damagedFileKeepsWholeSections();
    void handMadeListReadsWhole();
    void failedWriteLeavesNoTrace_data();
    void failedWriteLeavesNoTrace();
    void pathThatIsNoPlainFileIsUnreadable_data();
    void pathThatIsNoPlainFileIsUnreadable();
    void checkRunGoesOnWithoutItsDate_data();
    void checkRunGoesOnWithoutItsDate();
    void fullDiskIsAnAccessError();
    void savesWithoutTheTemporaryFolder();
    void changeWithNothingToDoKeepsTheFile();

private:
    QString folder() const { return QFileInfo(home->storeFile()).absolutePath(); }
    void writeFile(const QByteArray &text) const;
    QByteArray fileText() const;
};

namespace
{

// A store of three actions as the programs write it.
const QByteArray GoodFile = "[%21ActionList]\n1=a\n2=b\n3=c\n\n"
                            "[%21Settings]\nLimit=0\n\n"
                            "[a]\nURL=http://h/a.html\nCheck=check a\nNR=1\n\n"
                            "[b]\nURL=http://h/b.html\nCheck=\"check; b\"\nNR=2\n\n"
                            "[c]\nURL=http://h/c.html\nCheck=check c\nNR=3\n";

// Every byte value once, in a scrambled order, cut into lines of 40: binary
// garbage with quotes, backslashes, brackets, '=' and NULs among it.
QByteArray garbage()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char((i * 167 + 13) % 256));
    QByteArray lines;
    for (int at = 0; at < bytes.size(); at += 40)
        lines.append(bytes.mid(at, 40)).append('\n');
    return lines;
}

// Inode and mode of a file, or zeros when it cannot be seen.
QPair<quint64, uint> identity(const QString &path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {0, 0};
    return {quint64(info.st_ino), uint(info.st_mode & 07777)};
}

// What a path itself is, not followed if it is a link: its inode, its type
// and mode, and the target it names if it is a link.
QPair<QPair<quint64, uint>, QString> entryOf(const QString &path)
{
    struct stat info {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {{quint64(info.st_ino), uint(info.st_mode)}, QFileInfo(path).symLinkTarget()};
}

// This process's threads and open descriptors.
QPair<qsizetype, qsizetype> threadsAndDescriptors()
{
    const auto count = [](const QString &folder) {
        return QDir(folder)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
            .size();
    };
    return {count(QStringLiteral("/proc/self/task")), count(QStringLiteral("/proc/self/fd"))};
}

QByteArray insertedBefore(const QByteArray &marker, const QByteArray &text)
{
    QByteArray damaged = GoodFile;
    return damaged.insert(damaged.indexOf(marker), text);
}

void verifyAction(const Store &store, const QString &description, int position)
{
    QCOMPARE(store.read(description, layout::Url),
             QStringLiteral("http://h/%1.html").arg(description));
    QCOMPARE(store.read(description, layout::Check), description == QLatin1String("b")
                                                         ? QStringLiteral("check; b")
                                                         : QStringLiteral("check ") + description);
    QCOMPARE(store.read(description, layout::Nr), QString::number(position));
}

} // namespace

void TestStoreFaults::writeFile(const QByteArray &text) const
{
    QDir().mkpath(folder());
    QFile file(home->storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray TestStoreFaults::fileText() const
{
    QFile file(home->storeFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestStoreFaults::damagedFileKeepsWholeSections_data()
{
    QTest::addColumn<QByteArray>("text");
    // The list as it must read, and the actions whose sections stayed whole.
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("whole");
    const QStringList all = {"a", "b", "c"};
    QTest::newRow("cut inside the last value")
        << GoodFile.chopped(3) << all << QStringList{"a", "b"};
    QTest::newRow("cut inside a section header")
        << GoodFile.left(GoodFile.indexOf("[c]") + 2) << all << QStringList{"a", "b"};
    QTest::newRow("cut inside a quoted value")
        << GoodFile.left(GoodFile.indexOf("check; b") + 4) << all << QStringList{"a"};
    QTest::newRow("binary garbage between sections")
        << insertedBefore("[b]", garbage()) << all << all;
    QTest::newRow("binary garbage inside a section")
        << insertedBefore("Check=\"check; b", garbage()) << all << all;
    QTest::newRow("a quote left open") << insertedBefore("[b]", "x=\"open\n") << all << all;
    QTest::newRow("a line ending in a backslash") << insertedBefore("[b]", "x=y\\\n") << all << all;
    QTest::newRow("a line that is no key") << insertedBefore("[b]", "stray\n") << all << all;
    QTest::newRow("a damaged header inside a section")
        << insertedBefore("NR=3", "[x=\"open\n") << all << all;
    QTest::newRow("a section header without its name")
        << insertedBefore("[b]", "[\nx=y\n") << all << all;
    QTest::newRow("a duplicated section")
        << GoodFile + "\n[b]\nURL=http://h/b.html\nCheck=\"check; b\"\nNR=2\n"
        << all << all;
    QTest::newRow("a section twice, the list cut")
        << insertedBefore("3=c", "[a]\nURL=http://h/a.html\n") << QStringList{"a", "b"}
        << QStringList{"a", "b"};
    QTest::newRow("nothing but garbage") << garbage() << QStringList() << QStringList();
    QTest::newRow("empty file") << QByteArray() << QStringList() << QStringList();
}

// Whatever the damage, reading neither crashes nor loses a section that is
// still whole, and the next change keeps all of them.
void TestStoreFaults::damagedFileKeepsWholeSections()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, list);
    QFETCH(QStringList, whole);
    writeFile(text);

    Store store;
    QCOMPARE(layout::actions(store), list);
    for (const QString &description : whole)
        verifyAction(store, description, int(list.indexOf(description)) + 1);

    QVERIFY(store.write(layout::Settings, layout::Fw, QStringLiteral("1")));
    const Store other;
    QCOMPARE(other.read(layout::Settings, layout::Fw), QStringLiteral("1"));
    QCOMPARE(layout::actions(other), list);
    for (const QString &description : whole)
        verifyAction(other, description, int(list.indexOf(description)) + 1);
    QVERIFY(!storefile::hasRunawayLines(fileText()));

    QStringList damaged;
    for (const QString &description : QStringList{"a", "b", "c"})
        if (!whole.contains(description))
            damaged.append(description);
    figures::add(QStringLiteral("damaged"),
                 {QString::fromLatin1(QTest::currentDataTag()),
                  whole.isEmpty() ? QStringLiteral("-") : whole.join(QStringLiteral(", ")),
                  damaged.isEmpty() ? QStringLiteral("-") : damaged.join(QStringLiteral(", ")),
                  QStringLiteral("read without a crash; whole actions read and kept by a write")});
}

// A value typed into the file by hand as a list, one of its elements
// beginning with '@', reads as typed, before and after the next change.
void TestStoreFaults::handMadeListReadsWhole()
{
    writeFile("[p]\nCheck=version, @2.25\n");
    Store store;
    QCOMPARE(store.read(QStringLiteral("p"), layout::Check), QStringLiteral("version, @2.25"));
    QVERIFY(store.write(layout::Settings, layout::Fw, QStringLiteral("1")));
    QCOMPARE(Store().read(QStringLiteral("p"), layout::Check), QStringLiteral("version, @2.25"));
}

void TestStoreFaults::failedWriteLeavesNoTrace_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("folder replaced by a file") << int(StoreFault::FolderReplaced);
    QTest::newRow("disk full") << int(StoreFault::DiskFull);
    QTest::newRow("folder takes no new file or link") << int(StoreFault::NoNewNames);
    QTest::newRow("lock held by a hung writer") << int(StoreFault::LockHeld);
    QTest::newRow("file made read-only") << int(StoreFault::ReadOnlyFile);
}

// A write that fails says so, is not read back as if it had been saved (by
// this process or another), and is not saved later along with the next write
// that succeeds. The file keeps its inode and mode. A writer gives up on a
// lock that another writer holds, leaving at most one wait for it behind.
void TestStoreFaults::failedWriteLeavesNoTrace()
{
    QFETCH(int, fault);
    if (fault == StoreFault::ReadOnlyFile && ::getuid() == 0) {
        // Root may write any file: the row runs as a user who may not.
        const QString row =
            QStringLiteral("failedWriteLeavesNoTrace:%1").arg(QTest::currentDataTag());
        QCOMPARE(unprivileged::runCopy({row}), 0);
        figures::add(QStringLiteral("unwritable"),
                     {StoreFault(StoreFault::ReadOnlyFile).how(),
                      QStringLiteral("store: write, append, remove report failure"),
                      QStringLiteral("file keeps its contents, inode and mode")});
        return;
    }
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("a"), QStringLiteral("http://h/a.html"),
                           QStringLiteral("check a")));
    const QByteArray before = fileText();

    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault));
    if (!broken->isSet())
        QSKIP("this machine cannot make the fault");
    const QString how = broken->how();
    const auto kept = identity(home->storeFile());
    const auto running = threadsAndDescriptors();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!layout::append(store, QStringLiteral("b"), QStringLiteral("http://h/b.html"),
                            QStringLiteral("check b")));
    QVERIFY(!store.write(layout::Settings, layout::CheckDate, QStringLiteral("03-07-2024")));
    QVERIFY(!store.removeSection(QStringLiteral("a")));
    QVERIFY2(clock.elapsed() < 60000, "a writer waited on for the lock");
    const auto left = threadsAndDescriptors();
    QVERIFY(left.first <= running.first + 1 && left.second <= running.second + 1);
    QCOMPARE(store.read(layout::ActionList, QStringLiteral("2")), QString());
    QCOMPARE(store.read(layout::Settings, layout::CheckDate), QString());
    if (fault != StoreFault::FolderReplaced)
        QCOMPARE(Store().read(QStringLiteral("a"), layout::Url), QStringLiteral("http://h/a.html"));

    if (fault != StoreFault::FolderReplaced)
        QCOMPARE(identity(home->storeFile()), kept);

    // The fault goes away; the next write saves itself and nothing else.
    broken.reset();
    QCOMPARE(fileText(), before);
    QVERIFY(store.write(layout::Settings, layout::Fw, QStringLiteral("1")));
    const Store fresh;
    QCOMPARE(layout::actions(fresh), QStringList{QStringLiteral("a")});
    QCOMPARE(fresh.read(layout::Settings, layout::CheckDate), QString());
    QCOMPARE(fresh.read(QStringLiteral("b"), layout::Url), QString());
    QCOMPARE(fresh.read(QStringLiteral("a"), layout::Url), QStringLiteral("http://h/a.html"));
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"QL.ini"});

    figures::add(QStringLiteral("unwritable"),
                 {how, QStringLiteral("store: write, append, remove report failure"),
                  QStringLiteral("nothing read back, nothing saved later, file unchanged")});
}

void TestStoreFaults::pathThatIsNoPlainFileIsUnreadable_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("named pipe") << int(StoreFault::NamedPipe);
    QTest::newRow("link to /dev/zero") << int(StoreFault::LinkToZero);
    QTest::newRow("link to /dev/null") << int(StoreFault::LinkToNull);
    QTest::newRow("folder") << int(StoreFault::FolderInPlace);
}

// Whatever stands at the store's path in place of a plain file reads, at
// once, as a store that cannot be read, by a store that read the file before
// and by a fresh one; every write fails at once, and the path, and what a link
// there points to, are left as they are. Nothing waits for a writer of a pipe,
// nor reads a device that never ends.
void TestStoreFaults::pathThatIsNoPlainFileIsUnreadable()
{
    QFETCH(int, fault);
    Store longLived;
    QVERIFY(layout::append(longLived, QStringLiteral("a"), QStringLiteral("http://h/a.html"),
                           QStringLiteral("check a")));
    QCOMPARE(layout::actions(longLived.current()), QStringList{QStringLiteral("a")});
    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault));
    QVERIFY(broken->isSet());
    const auto entry = entryOf(home->storeFile());
    const auto devices =
        qMakePair(entryOf(QStringLiteral("/dev/zero")), entryOf(QStringLiteral("/dev/null")));
    const QStringList files = QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System);

    QElapsedTimer clock;
    clock.start();
    Store fresh;
    for (Store *store : {&longLived, &fresh}) {
        QCOMPARE(layout::actions(store->current()), QStringList());
        QCOMPARE(store->read(QStringLiteral("a"), layout::Url), QString());
        QCOMPARE(store->read(layout::Settings, layout::Limit, QStringLiteral("1")),
                 QStringLiteral("1"));
        QVERIFY(!store->write(layout::Settings, layout::CheckDate, QStringLiteral("03-07-2024")));
        QVERIFY(!layout::append(*store, QStringLiteral("b"), QStringLiteral("http://h/b.html"),
                                QStringLiteral("check b")));
        QVERIFY(!store->removeSection(QStringLiteral("a")));
    }
    QVERIFY2(clock.elapsed() < 1000, "a read or a write waited");
    QCOMPARE(entryOf(home->storeFile()), entry);
    QCOMPARE(qMakePair(entryOf(QStringLiteral("/dev/zero")), entryOf(QStringLiteral("/dev/null"))),
             devices);
    QCOMPARE(QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                      QDir::System),
             files);

    // The file back in its place, the long-lived store reads it again.
    const QString how = broken->how();
    broken.reset();
    QCOMPARE(layout::actions(longLived.current()), QStringList{QStringLiteral("a")});
    QCOMPARE(longLived.read(QStringLiteral("a"), layout::Url), QStringLiteral("http://h/a.html"));
    figures::add(QStringLiteral("unwritable"),
                 {how, QStringLiteral("store: read, write, append, remove"),
                  QStringLiteral("reads as unreadable, every write fails at once, path kept")});
}

void TestStoreFaults::checkRunGoesOnWithoutItsDate_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("disk full") << int(StoreFault::DiskFull);
    QTest::newRow("lock held by a hung writer") << int(StoreFault::LockHeld);
}

// A timed run on a store that cannot be written still runs and finishes; it
// only cannot keep its date.
void TestStoreFaults::checkRunGoesOnWithoutItsDate()
{
    QFETCH(int, fault);
    Store store;
    QVERIFY(layout::append(store, QStringLiteral("a"), QStringLiteral("http://h/a.html"),
                           QStringLiteral("v1")));
    // Yesterday's run completed and saved both dates.
    QVERIFY(store.write(layout::Settings, layout::TDate, QStringLiteral("03-06-2024")));
    QVERIFY(store.write(layout::Settings, layout::CheckDate, QStringLiteral("03-06-2024")));

    ScriptedFetcher fetcher;
    fetcher.pages[QStringLiteral("http://h/a.html")] = {QStringLiteral("<p>v1</p>")};
    FakeConnection connection;
    RecordingBrowser browser;
    RecordingStatus status;
    FixedClock clock; // 03-07-2024
    ScriptedPrompts script;
    CheckRun run(store, fetcher, connection, browser, script, status, clock);
    run.state.alwaysMode = true;

    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault));
    QVERIFY(broken->isSet());
    const QString how = broken->how();
    run.request();
    QCOMPARE(fetcher.fetched, QStringList{QStringLiteral("http://h/a.html")});
    QCOMPARE(run.state.inProgress, false);
    QCOMPARE(status.label5, QStringLiteral("Last Check Date: 03-07-2024"));
    QCOMPARE(status.label1, QStringLiteral("Processing: "));
    QVERIFY(script.boxes.isEmpty());
    QCOMPARE(store.read(layout::Settings, layout::CheckDate), QStringLiteral("03-06-2024"));
    QCOMPARE(store.read(layout::Settings, layout::TDate), QStringLiteral("03-06-2024"));

    // Its date unsaved, the next timed run of the day runs as well.
    run.request();
    QCOMPARE(fetcher.fetched.size(), 2);
    QCOMPARE(run.state.checksSinceStart, qint16(2));

    broken.reset();
    figures::add(QStringLiteral("unwritable"),
                 {how,
                  QStringLiteral("checker: timed run, \"TDate\" and \"CheckDate\" "
                                 "cannot be written"),
                  QStringLiteral("run admitted and finished; dates not saved; next run not held "
                                 "back")});
}

// What the store relies on: QSettings itself sees a full disk as an access error.
void TestStoreFaults::fullDiskIsAnAccessError()
{
    QVERIFY(Store().write(layout::Settings, layout::Fw, QStringLiteral("0")));
    const FullDisk full(folder());
    QVERIFY(full.isFull());
    QSettings settings(home->storeFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("x/y"), QStringLiteral("z"));
    settings.sync();
    QCOMPARE(settings.status(), QSettings::AccessError);
}

// Saving needs nothing outside the store's folder: not even a usable
// temporary folder.
void TestStoreFaults::savesWithoutTheTemporaryFolder()
{
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(home->configDir() + QStringLiteral("/missing")));
    Store store;
    const bool saved = layout::append(store, QStringLiteral("a"), QStringLiteral("http://h/a.html"),
                                      QStringLiteral("check a")) &&
                       store.write(layout::Settings, layout::TDate, QStringLiteral("03-07-2024")) &&
                       layout::remove(store, QStringLiteral("a"));
    qputenv("TMPDIR", old);
    QVERIFY(saved);
    QCOMPARE(Store().read(layout::Settings, layout::TDate), QStringLiteral("03-07-2024"));
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"QL.ini"});
}

// A change with nothing to do succeeds and leaves the file as it is; a single
// removal of something absent still fails.
void TestStoreFaults::changeWithNothingToDoKeepsTheFile()
{
    Store store;
    QVERIFY(store.write(layout::Settings, layout::Fw, QStringLiteral("1")));
    const auto kept = identity(home->storeFile());
    QVERIFY(store.apply(Store::Change()));
    Store::Change nothing;
    nothing.removeKey(layout::Settings, layout::CheckDate);
    nothing.removeSection(QStringLiteral("absent"));
    nothing.write(layout::Settings, layout::Fw, QStringLiteral("1"));
    QVERIFY(store.apply(nothing));
    QCOMPARE(identity(home->storeFile()), kept);
    QVERIFY(!store.removeKey(layout::Settings, layout::CheckDate));
    QVERIFY(!store.removeSection(QStringLiteral("absent")));
}

QTEST_GUILESS_MAIN(TestStoreFaults)
#include "tst_storefaults.moc"
