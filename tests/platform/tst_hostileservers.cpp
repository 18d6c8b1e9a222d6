#include "CheckRun.h"
#include "Figures.h"
#include "HomeTest.h"
#include "HttpTestServer.h"
#include "Layout.h"
#include "PageDownload.h"
#include "RunFakes.h"
#include "ScriptedPrompts.h"
#include "Store.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Servers that misbehave on purpose, on 127.0.0.1: each download from them
// must end, in time, without the process's memory running away, and a check
// run must go on past them to the next action.

namespace
{

// The deadline given to the downloads here, in seconds.
constexpr int Deadline = 3;
// How much later than the deadline a download may end on a busy machine.
constexpr int DeadlineSlackMs = 7000;
// The most a single download may add to the process's peak resident memory:
// the 32 MiB body cap, the growth of the buffer up to it, and what curl, the
// decoding and the server's own thread use beside. AddressSanitizer keeps
// freed memory aside for a while, so a build with it gets twice the room.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 MemoryBoundKiB = 256 * 1024;
#else
constexpr qint64 MemoryBoundKiB = 128 * 1024;
#endif

// One accepted connection, as a misbehaving server sees it.
class Connection
{
public:
    Connection(int fd, const std::atomic<bool> &stopping) : fd(fd), stopping(stopping) {}

    // False once the client has gone or the server stops.
    bool send(const QByteArray &bytes)
    {
        qsizetype at = 0;
        while (at < bytes.size() && !stopping) {
            const ssize_t sent =
                ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            at += sent;
        }
        return !stopping;
    }

    // Waits `ms` milliseconds; false when the server stops meanwhile.
    bool pause(int ms)
    {
        for (int waited = 0; waited < ms && !stopping; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !stopping;
    }

private:
    int fd;
    const std::atomic<bool> &stopping;
};

using Behaviour = std::function<void(Connection &)>;

// A server of raw sockets: it reads each request's head and hands the
// connection to the behaviour registered for the request's path, on a thread
// of its own; the connection is closed when the behaviour returns.
class HostileServer
{
public:
    HostileServer()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(listener, 16) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("no loopback listener");
        port = ntohs(address.sin_port);
        acceptor = std::thread([this] { acceptLoop(); });
    }

    ~HostileServer()
    {
        stopping = true;
        ::shutdown(listener, SHUT_RDWR);
        acceptor.join();
        ::close(listener);
        {
            const std::lock_guard<std::mutex> guard(lock);
            for (const int fd : open)
                ::shutdown(fd, SHUT_RDWR);
        }
        for (std::thread &worker : workers)
            worker.join();
    }

    HostileServer(const HostileServer &) = delete;
    HostileServer &operator=(const HostileServer &) = delete;

    void on(const QByteArray &path, const Behaviour &behaviour) { routes[path] = behaviour; }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
    }
    quint16 port = 0;

private:
    void acceptLoop()
    {
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0 || stopping) {
                if (fd >= 0)
                    ::close(fd);
                return;
            }
            const std::lock_guard<std::mutex> guard(lock);
            open.insert(fd);
            workers.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd)
    {
        QByteArray head;
        char buffer[4096];
        while (!head.contains("\r\n\r\n") && head.size() < 65536) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            head.append(buffer, got);
        }
        const QByteArray path = head.left(head.indexOf("\r\n")).split(' ').value(1);
        const auto route = routes.find(path);
        if (route != routes.end() && !stopping) {
            Connection connection(fd, stopping);
            route->second(connection);
        }
        const std::lock_guard<std::mutex> guard(lock);
        open.erase(fd);
        ::close(fd);
    }

    int listener = -1;
    std::atomic<bool> stopping = false;
    std::thread acceptor;
    std::mutex lock;
    std::vector<std::thread> workers;
    std::set<int> open;
    std::map<QByteArray, Behaviour> routes;
};

QByteArray head(const QByteArray &fields)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + fields + "\r\n";
}

QByteArray redirect(const QByteArray &location)
{
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
}

// Sends `chunk` again and again until the client gives up.
void sendForever(Connection &connection, const QByteArray &chunk)
{
    while (connection.send(chunk)) {
    }
}

// A body of NUL bytes and byte sequences that are no UTF-8 at all.
QByteArray binaryBody()
{
    QByteArray body;
    for (int i = 0; i < 65536; ++i)
        body.append(QByteArray("\0\0\xff\xfe\xc3\x28\xe2\x82\x80\xf0\x28\x8c\xbc", 13));
    return body;
}

// 64 MiB of zeros as gzip: about 64 KiB on the wire.
const QByteArray &gzipBomb()
{
    static const QByteArray bomb = HttpTestServer::gzip(QByteArray(64 * 1024 * 1024, '\0'));
    return bomb;
}

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Lets the peak resident memory start again from what is resident now.
bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

} // namespace

class TestHostileServers : public HomeTest
{
    Q_OBJECT

private slots:
    void initTestCase();

    void downloadEndsBoundedAndEmpty_data();
    void downloadEndsBoundedAndEmpty();
    void binaryBodyIsText();
    void checkRunGoesOnPastHostileServers();

private:
    std::unique_ptr<HostileServer> server;
};

void TestHostileServers::initTestCase()
{
    server = std::make_unique<HostileServer>();
    HostileServer &s = *server;
    s.on("/good", [](Connection &c) {
        c.send(head("Content-Length: 24\r\n") + "<p>version 2.25</p>\n\n\n\n\n");
    });
    s.on("/trickle", [](Connection &c) {
        if (!c.send(head("Content-Length: 1000\r\n")))
            return;
        while (c.send("x") && c.pause(2000)) {
        }
    });
    s.on("/trickle-head", [](Connection &c) {
        for (const char byte : QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx"))
            if (!c.send(QByteArray(1, byte)) || !c.pause(2000))
                return;
    });
    s.on("/endless", [](Connection &c) {
        if (c.send(head({})))
            sendForever(c, QByteArray(65536 / 8, 'x').replace("xxxxxxxx", "<p>x</p>"));
    });
    s.on("/endless-chunked", [](Connection &c) {
        if (c.send(head("Transfer-Encoding: chunked\r\n")))
            sendForever(c, "2000\r\n" + QByteArray(0x2000, 'x') + "\r\n");
    });
    s.on("/huge-header", [](Connection &c) {
        c.send("HTTP/1.1 200 OK\r\nX-Filler: " + QByteArray(4 * 1024 * 1024, 'a') +
               "\r\nContent-Length: 2\r\n\r\nok");
    });
    s.on("/endless-headers", [](Connection &c) {
        if (c.send("HTTP/1.1 200 OK\r\n"))
            sendForever(c, "X-More: " + QByteArray(200, 'b') + "\r\n");
    });
    s.on("/loop", [](Connection &c) { c.send(redirect("/loop")); });
    s.on("/to-file", [](Connection &c) { c.send(redirect("file:///etc/passwd")); });
    s.on("/to-ftp", [this](Connection &c) {
        c.send(redirect("ftp://127.0.0.1:" + QByteArray::number(server->port) + "/"));
    });
    s.on("/to-gopher", [this](Connection &c) {
        c.send(redirect("gopher://127.0.0.1:" + QByteArray::number(server->port) + "/"));
    });
    s.on("/gzip-bomb", [](Connection &c) {
        c.send(head("Content-Encoding: gzip\r\nContent-Length: " +
                    QByteArray::number(gzipBomb().size()) + "\r\n") +
               gzipBomb());
    });
    s.on("/gzip-in-gzip", [](Connection &c) {
        const QByteArray twice = HttpTestServer::gzip(gzipBomb());
        c.send(head("Content-Encoding: gzip, gzip\r\nContent-Length: " +
                    QByteArray::number(twice.size()) + "\r\n") +
               twice);
    });
    s.on("/bad-chunk", [](Connection &c) {
        c.send(head("Transfer-Encoding: chunked\r\n") + "zz\r\nhello\r\n0\r\n\r\n");
    });
    s.on("/huge-chunk", [](Connection &c) {
        c.send(head("Transfer-Encoding: chunked\r\n") + "ffffffffffffffffff\r\nhello");
    });
    s.on("/cut-chunk", [](Connection &c) {
        c.send(head("Transfer-Encoding: chunked\r\n") + "1000\r\n" + QByteArray(100, 'x'));
    });
    s.on("/cut", [](Connection &c) {
        c.send(head("Content-Length: 100000\r\n") + QByteArray(50000, 'x'));
    });
    s.on("/silent", [](Connection &c) { c.pause(60000); });
    s.on("/binary", [](Connection &c) {
        const QByteArray body = binaryBody();
        c.send(head("Content-Length: " + QByteArray::number(body.size()) + "\r\n") + body);
    });
    gzipBomb();
}

void TestHostileServers::downloadEndsBoundedAndEmpty_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("server");
    QTest::newRow("trickle") << "/trickle"
                             << "a byte every 2 s of a 1000-byte body";
    QTest::newRow("trickled head") << "/trickle-head"
                                   << "the response head a byte every 2 s";
    QTest::newRow("endless body") << "/endless"
                                  << "a body that never ends";
    QTest::newRow("endless chunks") << "/endless-chunked"
                                    << "chunks that never end";
    QTest::newRow("huge header") << "/huge-header"
                                 << "a 4 MiB header line";
    QTest::newRow("endless headers") << "/endless-headers"
                                     << "headers that never end";
    QTest::newRow("redirect loop") << "/loop"
                                   << "a redirect to itself";
    QTest::newRow("redirect to file") << "/to-file"
                                      << "a redirect to file:///etc/passwd";
    QTest::newRow("redirect to ftp") << "/to-ftp"
                                     << "a redirect to ftp://";
    QTest::newRow("redirect to gopher") << "/to-gopher"
                                        << "a redirect to gopher://";
    QTest::newRow("gzip bomb") << "/gzip-bomb"
                               << "64 MiB of zeros in 64 KiB of gzip";
    QTest::newRow("gzip in gzip") << "/gzip-in-gzip"
                                  << "the gzip bomb gzipped again";
    QTest::newRow("broken chunk size") << "/bad-chunk"
                                       << "a chunk size that is no number";
    QTest::newRow("huge chunk size") << "/huge-chunk"
                                     << "a chunk size past 64 bits";
    QTest::newRow("closed mid-chunk") << "/cut-chunk"
                                      << "closes inside a chunk";
    QTest::newRow("closed mid-body") << "/cut"
                                     << "closes after half the body";
    QTest::newRow("never answers") << "/silent"
                                   << "accepts, reads, never answers";
}

// Every one of these ends as a failed download: empty text, within the
// deadline, with a bounded rise of the process's peak memory.
void TestHostileServers::downloadEndsBoundedAndEmpty()
{
    QFETCH(QString, path);
    QFETCH(QString, server);
    PageDownload download(Deadline);
    QVERIFY(resetPeak());
    const qint64 before = statusKiB("VmRSS");
    QElapsedTimer clock;
    clock.start();
    const QString text = download.fetch(this->server->url(path));
    const qint64 elapsed = clock.elapsed();
    const qint64 rise = statusKiB("VmHWM") - before;

    QVERIFY2(text.isEmpty(), qPrintable(text.left(80)));
    QVERIFY2(elapsed < Deadline * 1000 + DeadlineSlackMs, qPrintable(QString::number(elapsed)));
    QVERIFY2(rise < MemoryBoundKiB, qPrintable(QStringLiteral("%1 KiB").arg(rise)));
    figures::add(QStringLiteral("hostile"),
                 {server, QStringLiteral("failed download (empty text)"),
                  QStringLiteral("%1 s").arg(double(elapsed) / 1000, 0, 'f', 1),
                  QStringLiteral("+%1 MiB").arg(double(rise) / 1024, 0, 'f', 1)});
}

// A body of NUL bytes and invalid UTF-8 is still a response body: it comes
// back as text, each NUL a NUL and each bad sequence a replacement character,
// like any page in a charset it does not declare.
void TestHostileServers::binaryBodyIsText()
{
    PageDownload download(Deadline);
    QVERIFY(resetPeak());
    const qint64 before = statusKiB("VmRSS");
    QElapsedTimer clock;
    clock.start();
    const QString text = download.fetch(server->url(QStringLiteral("/binary")));
    const qint64 elapsed = clock.elapsed();
    const qint64 rise = statusKiB("VmHWM") - before;

    QCOMPARE(text, PageDownload::decode(binaryBody(), "text/html"));
    QCOMPARE(text.count(QChar(0)), 2 * 65536);
    QVERIFY(text.contains(QChar::ReplacementCharacter));
    QVERIFY2(rise < MemoryBoundKiB, qPrintable(QStringLiteral("%1 KiB").arg(rise)));
    figures::add(QStringLiteral("hostile"),
                 {QStringLiteral("a 832 KiB body of NUL bytes and invalid UTF-8"),
                  QStringLiteral("text: NULs kept, U+FFFD for each bad sequence"),
                  QStringLiteral("%1 s").arg(double(elapsed) / 1000, 0, 'f', 1),
                  QStringLiteral("+%1 MiB").arg(double(rise) / 1024, 0, 'f', 1)});
}

// A run over a list of hostile pages with a good one at its end reaches the
// good one and finishes: each hostile page is retried, then skipped at the
// retry prompt; the binary page is compared twice and reported as changed.
void TestHostileServers::checkRunGoesOnPastHostileServers()
{
    const QStringList paths = {"/trickle", "/endless",   "/huge-header", "/loop",
                               "/to-file", "/gzip-bomb", "/bad-chunk",   "/cut",
                               "/silent",  "/binary",    "/good"};
    Store store;
    for (int i = 0; i < paths.size(); ++i)
        QVERIFY(layout::append(store, paths.at(i), server->url(paths.at(i)),
                               QStringLiteral("version 2.25")));

    PageDownload download(2);
    FakeConnection connection;
    RecordingBrowser browser;
    RecordingStatus status;
    FixedClock clock;
    ScriptedPrompts script;
    script.whileShown = [&](const ScriptedPrompts::Box &) { script.answer(Answer::No); };
    CheckRun run(store, download, connection, browser, script, status, clock);
    run.state.overrideFlag = true;
    QElapsedTimer timer;
    timer.start();
    run.request();
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(run.state.inProgress, false);
    QCOMPARE(store.read(layout::Settings, layout::CheckDate), QStringLiteral("03-07-2024"));
    QCOMPARE(status.text1, QStringLiteral("version 2.25"));
    QStringList prompts;
    for (const ScriptedPrompts::Box &box : script.boxes)
        prompts.append(box.title + QLatin1Char(' ') + box.text.section(u'\n', 0, 0));
    QStringList expected;
    for (const QString &path : paths.mid(0, paths.size() - 2))
        expected.append(
            QStringLiteral("Quorlin Error: Couldn't retrive '%1'. Retry?").arg(server->url(path)));
    expected.append(QStringLiteral("Site Updated: Action: /binary\r"));
    QCOMPARE(prompts, expected);
    QVERIFY(browser.opened.isEmpty());
    figures::add(
        QStringLiteral("hostile"),
        {QStringLiteral("a check run over %1 of these, then a good page").arg(paths.size() - 1),
         QStringLiteral("each retried and skipped; the good page checked; run "
                        "finished"),
         QStringLiteral("%1 s (deadline 2 s)").arg(double(elapsed) / 1000, 0, 'f', 1),
         QStringLiteral("-")});
}

QTEST_GUILESS_MAIN(TestHostileServers)
#include "tst_hostileservers.moc"
