#include "HttpTestServer.h"

#include <QFile>
#include <QMutexLocker>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <array>
#include <memory>

namespace
{

quint32 crc32(const QByteArray &data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void appendLittleEndian(QByteArray &out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

QByteArray responseHead(const HttpTestServer::Response &response, qsizetype bodyLength)
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    bool hasLength = false;
    for (const auto &[name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
        hasLength = hasLength || name.toLower() == "content-length";
    }
    if (response.gzip)
        head += "Content-Encoding: gzip\r\n";
    if (!hasLength)
        head += "Content-Length: " + QByteArray::number(bodyLength) + "\r\n";
    return head + "\r\n";
}

} // namespace

// Lives on the server's thread; answers each connection's requests in turn.
class TestListener : public QTcpServer
{
public:
    TestListener(HttpTestServer &owner, const QString &certificateFile, const QString &keyFile)
        : owner(owner), certificateFile(certificateFile), keyFile(keyFile)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        owner.countConnection();
        if (certificateFile.isEmpty()) {
            auto *socket = new QTcpSocket(this);
            socket->setSocketDescriptor(descriptor);
            attach(socket);
            return;
        }
        auto *socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(certificateFile);
        socket->setPrivateKey(keyFile, QSsl::Ec);
        connect(socket, &QSslSocket::sslErrors, socket, [socket] { socket->abort(); });
        attach(socket);
        socket->startServerEncryption();
    }

private:
    void attach(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { readRequests(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    void readRequests(QTcpSocket *socket)
    {
        QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        // One request at a time: a trickling answer finishes first.
        while (!socket->property("busy").toBool() &&
               socket->state() == QTcpSocket::ConnectedState) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                break;
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            answer(socket, head);
        }
        socket->setProperty("buffer", buffer);
    }

    void answer(QTcpSocket *socket, const QByteArray &head)
    {
        owner.record(head);
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QByteArray target = requestLine.size() > 1 ? requestLine[1] : QByteArray();
        const HttpTestServer::Response response = owner.responseFor(target);
        if (response.drop) {
            socket->abort();
            return;
        }
        const QByteArray body = response.gzip ? HttpTestServer::gzip(response.body) : response.body;
        socket->write(responseHead(response, body.size()));
        if (response.trickleMs <= 0 || body.isEmpty()) {
            socket->write(body);
            return;
        }
        socket->setProperty("busy", true);
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [this, socket, timer, body, sent] {
            socket->write(body.mid((*sent)++, 1));
            if (*sent < body.size())
                return;
            timer->deleteLater();
            socket->setProperty("busy", false);
            readRequests(socket);
        });
        timer->start(response.trickleMs);
    }

    HttpTestServer &owner;
    QString certificateFile;
    QString keyFile;
};

HttpTestServer::HttpTestServer()
{
    start(QString(), QString());
}

HttpTestServer::HttpTestServer(const QString &certificateFile, const QString &keyFile)
{
    secure = true;
    start(certificateFile, keyFile);
}

void HttpTestServer::start(const QString &certificateFile, const QString &keyFile)
{
    thread = new QThread;
    thread->start();
    listener = new TestListener(*this, certificateFile, keyFile);
    listener->moveToThread(thread);
    QMetaObject::invokeMethod(
        listener,
        [this] {
            listening = listener->listen(QHostAddress::LocalHost);
            serverPort = listener->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

HttpTestServer::~HttpTestServer()
{
    QMetaObject::invokeMethod(
        listener, [this] { delete listener; }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
}

QString HttpTestServer::url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(secure ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(serverPort)
        .arg(path);
}

void HttpTestServer::serve(const QByteArray &target, const Response &response)
{
    const QMutexLocker locker(&lock);
    routes.prepend({target, response});
}

void HttpTestServer::servePage(const QByteArray &target, const QByteArray &body,
                               const QByteArray &contentType, int status)
{
    Response response;
    response.status = status;
    response.reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
    response.header("Content-Type", contentType);
    response.body = body;
    serve(target, response);
}

void HttpTestServer::redirect(const QByteArray &target, const QByteArray &location, int status)
{
    Response response;
    response.status = status;
    response.reason = "Moved";
    response.header("Location", location);
    response.header("Content-Type", "text/html");
    response.body = "<html><body>moved</body></html>";
    serve(target, response);
}

QList<QByteArray> HttpTestServer::requests() const
{
    const QMutexLocker locker(&lock);
    return received;
}

QList<QByteArray> HttpTestServer::requestLines() const
{
    QList<QByteArray> lines;
    for (const QByteArray &head : requests())
        lines.append(head.left(head.indexOf("\r\n")));
    return lines;
}

int HttpTestServer::hits(const QByteArray &target) const
{
    int count = 0;
    for (const QByteArray &line : requestLines()) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() > 1 && parts[1] == target)
            ++count;
    }
    return count;
}

HttpTestServer::Response HttpTestServer::responseFor(const QByteArray &target)
{
    const QMutexLocker locker(&lock);
    for (const auto &[routeTarget, response] : routes) {
        if (routeTarget == target)
            return response;
    }
    Response missing;
    missing.status = 404;
    missing.reason = "Not Found";
    missing.header("Content-Type", "text/plain");
    missing.body = "no such page";
    return missing;
}

void HttpTestServer::record(const QByteArray &head)
{
    const QMutexLocker locker(&lock);
    received.append(head);
}

void HttpTestServer::countConnection()
{
    const QMutexLocker locker(&lock);
    ++accepted;
}

int HttpTestServer::connections() const
{
    const QMutexLocker locker(&lock);
    return accepted;
}

quint16 HttpTestServer::unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QByteArray HttpTestServer::gzip(const QByteArray &data)
{
    // qCompress gives a 4-byte length, then a zlib stream: a 2-byte header,
    // the deflate data and a 4-byte checksum. gzip wraps the same deflate data.
    const QByteArray zlib = qCompress(data, 9);
    const QByteArray deflate = zlib.mid(6, zlib.size() - 10);
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    out += deflate;
    appendLittleEndian(out, crc32(data));
    appendLittleEndian(out, quint32(data.size()));
    return out;
}

bool makeTestCertificate(const QString &folder, QString *certificateFile, QString *keyFile)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (tool.isEmpty())
        return false;
    *certificateFile = folder + QStringLiteral("/test-cert.pem");
    *keyFile = folder + QStringLiteral("/test-key.pem");
    QProcess openssl;
    openssl.start(tool,
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                   QStringLiteral("-keyout"), *keyFile, QStringLiteral("-out"), *certificateFile});
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
           openssl.exitCode() == 0 && QFile::exists(*certificateFile) && QFile::exists(*keyFile);
}
