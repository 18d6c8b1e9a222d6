// A whole check run as the checker makes it: a real store file with the action
// list, the real downloads over HTTP, the page text and the check-string
// search, the checker's own status window (hidden, as it is while nobody
// looks), the dates written. Only what the machine's routes say and what the
// person would see in the browser are stood in for: the connection test and
// the browser. Needs a Qt platform (QT_QPA_PLATFORM=offscreen will do).
//
//   bench_checkrun pages DIR COUNT SIZE
//       writes DIR/page1.html ... pageCOUNT.html, realistic pages of SIZE bytes
//       that each hold the check string "version 2.25"
//   bench_checkrun run BASE_URL COUNT [DIR]
//       makes COUNT actions for BASE_URL/page1.html ..., runs the list once and
//       prints "name value" lines: the run's time from its start to "CheckDate"
//       written and the page faults it took per page, and per page after the
//       first two; the run's parts: its downloads (each with its check that
//       the page is UTF-8) and its status window's writes, timed inside the
//       run, and its store reads and writes timed on their own just after
//       it; with DIR, the folder the pages are served from, also the page
//       text and search on their own, over the same pages in the same order
//   bench_checkrun list BASE_URL COUNT [always]
//       only makes the COUNT actions, for a checker started on them; with
//       "always", in always-connected mode (its first run a minute after start)
//   bench_checkrun urls BASE_URL COUNT
//       prints the COUNT page addresses, one a line
//
// The store lives under $XDG_CONFIG_HOME, which the caller points at a
// folder of its own.

#include "Browser.h"
#include "CheckRun.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "Layout.h"
#include "MessageBoxes.h"
#include "PageDownload.h"
#include "PageGenerator.h"
#include "PageText.h"
#include "StatusWindowHost.h"
#include "Store.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace
{

const QString Check = QStringLiteral("version 2.25");
const QByteArray CheckBytes = Check.toUtf8();

// The page faults the process has taken so far: each is the kernel filling
// a page of memory the process touched for the first time.
long pageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// The time spent in one part of the run.
struct Timed {
    qint64 ns = 0;

    template <typename Work> void add(Work &&work)
    {
        QElapsedTimer timer;
        timer.start();
        work();
        ns += timer.nsecsElapsed();
    }
};

// The time spent in one part and the page faults taken in it. Counting the
// faults takes two system calls, so the parts timed inside the run, once a
// page, are timed without them: the run would carry their cost.
struct Part {
    qint64 ns = 0;
    long faults = 0;

    template <typename Work> void add(Work &&work)
    {
        const long faultsBefore = pageFaults();
        Timed timed;
        timed.add(work);
        ns += timed.ns;
        faults += pageFaults() - faultsBefore;
    }
};

// The checker's page download, timed. The page faults are read once, after
// the first two pages: the run keeps their memory, in turn, for the rest.
class TimedDownload : public PageFetcher
{
public:
    static constexpr int FirstPages = 2;
    PageDownload download;
    Timed part;
    int fetches = 0;
    long faultsAfterFirstPages = 0;
    QByteArray fetch(const QString &url) override
    {
        QByteArray page;
        fetchInto(url, page);
        return page;
    }
    void fetchInto(const QString &url, QByteArray &page) override
    {
        part.add([&] { download.fetchInto(url, page); });
        if (++fetches == FirstPages)
            faultsAfterFirstPages = pageFaults();
    }
    void cancel() override { download.cancel(); }
};

// The checker's status window, timed, counting the page texts written to it.
class CountingStatus : public StatusDisplay
{
public:
    explicit CountingStatus(const Store &store) : window(store) {}
    int pages = 0;
    Timed part;
    StatusWindowHost window;
    void setProcessing(const QString &text) override
    {
        part.add([&] { window.setProcessing(text); });
    }
    void setConnectionRetry(const QString &text) override
    {
        part.add([&] { window.setConnectionRetry(text); });
    }
    void setChecksSinceStart(const QString &text) override
    {
        part.add([&] { window.setChecksSinceStart(text); });
    }
    void setLastCheckDate(const QString &text) override
    {
        part.add([&] { window.setLastCheckDate(text); });
    }
    void setPageText(const QByteArray &text) override
    {
        ++pages;
        part.add([&] { window.setPageText(text); });
    }
};

class NoBrowser : public Browser
{
public:
    int opened = 0;
    void open(const QString &) override { ++opened; }
};

class AlwaysConnected : public ConnectionTest
{
public:
    bool connected() const override { return true; }
};

QString description(int i)
{
    return QStringLiteral("Page%1").arg(i, 4, 10, QLatin1Char('0'));
}

QString pageUrl(const QString &base, int i)
{
    return base + QStringLiteral("/page%1.html").arg(i);
}

void print(const char *name, double value)
{
    std::printf("%s %.3f\n", name, value);
}

void printPart(const char *name, const Part &part, int pages)
{
    std::printf("%s_ms %.3f\n%s_faults_per_page %.3f\n", name, double(part.ns) / 1e6, name,
                double(part.faults) / pages);
}

// The run's page text and search on their own: the pages read from the
// folder they are served from, in the run's order, each copied into memory
// kept from page to page, as the download leaves it there.
bool replayPages(const QString &folder, int count, Part &pageText)
{
    QByteArray page;
    for (int i = 1; i <= count; ++i) {
        QFile file(folder + QStringLiteral("/page%1.html").arg(i));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray body = PageDownload::decode(file.readAll(), "text/html");
        page.resize(body.size());
        std::memcpy(page.data(), body.constData(), size_t(body.size()));
        bool found = false;
        pageText.add([&] { found = !stripPage(page) && containsText(page, CheckBytes); });
        if (!found)
            return false;
    }
    return true;
}

int writePages(const QString &folder, int count, qsizetype size)
{
    QDir().mkpath(folder);
    for (int i = 1; i <= count; ++i) {
        QFile file(folder + QStringLiteral("/page%1.html").arg(i));
        const QByteArray page = generatePage(size, quint32(i));
        if (!page.contains(CheckBytes) || !file.open(QIODevice::WriteOnly) ||
            file.write(page) != page.size()) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}

// The list written in one go, in the store's own format: the same keys the
// editor's appends would leave, without a thousand rewrites of the file.
bool makeList(Store &store, const QString &base, int count)
{
    store.write(layout::Settings, layout::Limit, QStringLiteral("1"));
    QSettings settings(store.filePath(), QSettings::IniFormat);
    for (int i = 1; i <= count; ++i) {
        const QString name = description(i);
        const QString section = Store::escapeSection(name) + QLatin1Char('/');
        settings.setValue(
            Store::escapeSection(layout::ActionList) + QLatin1Char('/') + QString::number(i), name);
        settings.setValue(section + layout::Url, pageUrl(base, i));
        settings.setValue(section + layout::Check, Check);
        settings.setValue(section + layout::Nr, QString::number(i));
    }
    settings.sync();
    return settings.status() == QSettings::NoError && layout::actions(store).size() == count;
}

// The reads a run makes, in its order, with nothing else between them.
qint64 storeReadsNs(const Store &store)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype total = 0;
    for (int position = 1;; ++position) {
        const StoreReading &now = store.current();
        const QString name = now.read(layout::ActionList, QString::number(position));
        if (name.isEmpty())
            break;
        total += now.read(name, layout::Url).size() + now.read(name, layout::Check).size();
    }
    const qint64 elapsed = timer.nsecsElapsed();
    if (total == 0)
        std::fprintf(stderr, "the store reads found nothing\n");
    return elapsed;
}

// The two writes of a run: the day before the list, "CheckDate" after it.
qint64 storeWritesNs(Store &store, const Clock &clock)
{
    // The run wrote both dates already: without them, each write changes the file again.
    store.removeKey(layout::Settings, layout::TDate);
    store.removeKey(layout::Settings, layout::CheckDate);
    QElapsedTimer timer;
    timer.start();
    store.write(layout::Settings, layout::TDate, clock.todayText());
    store.write(layout::Settings, layout::CheckDate, clock.todayText());
    return timer.nsecsElapsed();
}

bool makeFreshList(Store &store, const QString &base, int count)
{
    QFile::remove(store.filePath());
    if (makeList(store, base, count))
        return true;
    std::fprintf(stderr, "could not make the list in %s\n", qPrintable(store.filePath()));
    return false;
}

int run(const QString &base, int count, const QString &folder)
{
    Store store;
    if (!makeFreshList(store, base, count))
        return 1;
    TimedDownload download;
    AlwaysConnected connection;
    NoBrowser browser;
    CountingStatus status(store);
    MessageBoxes prompts;
    SystemClock clock;
    CheckRun checkRun(store, download, connection, browser, prompts, status, clock);
    status.window.attach(checkRun.state);

    Part whole;
    whole.add([&] { checkRun.request(); });
    const long faultsAtEnd = pageFaults();

    if (status.pages != count || browser.opened != 0 ||
        store.read(layout::Settings, layout::CheckDate) != clock.todayText()) {
        std::fprintf(stderr, "the run went wrong: %d of %d pages, %d opened\n", status.pages, count,
                     browser.opened);
        return 1;
    }
    printPart("run", whole, count);
    if (count > TimedDownload::FirstPages) {
        print("steady_faults_per_page", double(faultsAtEnd - download.faultsAfterFirstPages) /
                                            (count - TimedDownload::FirstPages));
    }
    print("download_ms", double(download.part.ns) / 1e6);
    print("status_ms", double(status.part.ns) / 1e6);
    const qint64 readsNs = storeReadsNs(store);
    const qint64 writesNs = storeWritesNs(store, clock);
    print("store_reads_ms", double(readsNs) / 1e6);
    print("store_writes_ms", double(writesNs) / 1e6);
    if (folder.isEmpty())
        return 0;
    Part pageText;
    if (!replayPages(folder, count, pageText)) {
        std::fprintf(stderr, "the pages in %s are not those of the run\n", qPrintable(folder));
        return 1;
    }
    printPart("pagetext", pageText, count);
    print("other_ms",
          double(whole.ns - download.part.ns - status.part.ns - pageText.ns - readsNs - writesNs) /
              1e6);
    return 0;
}

int printUrls(const QString &base, int count)
{
    QTextStream out(stdout);
    for (int i = 1; i <= count; ++i)
        out << pageUrl(base, i) << '\n';
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_checkrun pages DIR COUNT SIZE | run BASE_URL COUNT [DIR] | "
                         "list BASE_URL COUNT [always] | urls BASE_URL COUNT\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return usage();
    const QString &command = args.at(1);
    const int count = args.at(3).toInt();
    if (count < 1)
        return usage();
    if (command == QLatin1String("pages") && args.size() == 5)
        return writePages(args.at(2), count, args.at(4).toLongLong());
    if (command == QLatin1String("run") && (args.size() == 4 || args.size() == 5))
        return run(args.at(2), count, args.value(4));
    if (command == QLatin1String("list") && (args.size() == 4 || args.size() == 5)) {
        const bool always = args.size() == 5;
        if (always && args.at(4) != QLatin1String("always"))
            return usage();
        Store store;
        if (!makeFreshList(store, args.at(2), count))
            return 1;
        return !always || store.write(layout::Settings, layout::Always, QStringLiteral("1")) ? 0
                                                                                             : 1;
    }
    if (command == QLatin1String("urls") && args.size() == 4)
        return printUrls(args.at(2), count);
    return usage();
}
