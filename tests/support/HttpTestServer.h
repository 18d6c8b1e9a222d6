#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>

class QThread;
class TestListener;

// A small HTTP/1.1 server on 127.0.0.1 for tests, on a thread of its own, so
// it answers while the test's thread waits in a download. It serves fixed
// responses by request target: a path such as "/page", or, when it stands in
// for a proxy, the whole absolute URI of the request line. Connections are
// kept open between requests. Unknown targets get a plain 404.
class HttpTestServer
{
public:
    struct Response {
        int status = 200;
        QByteArray reason = "OK";
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Send the body gzip-compressed, with "Content-Encoding: gzip".
        bool gzip = false;
        // Send the body one byte at a time, this many milliseconds apart.
        int trickleMs = 0;
        // Close the connection without any answer.
        bool drop = false;

        // `bytes` bytes of 'x', one every `everyMs` milliseconds.
        static Response trickle(int bytes, int everyMs)
        {
            Response slow;
            slow.body = QByteArray(bytes, 'x');
            slow.trickleMs = everyMs;
            return slow;
        }

        Response &header(const QByteArray &name, const QByteArray &value)
        {
            headers.append(qMakePair(name, value));
            return *this;
        }
    };

    // Plain HTTP.
    HttpTestServer();
    // HTTPS with the certificate and key in these PEM files.
    HttpTestServer(const QString &certificateFile, const QString &keyFile);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer &) = delete;
    HttpTestServer &operator=(const HttpTestServer &) = delete;

    bool isListening() const { return listening; }
    quint16 port() const { return serverPort; }
    // "http://127.0.0.1:<port>" + path (https with a certificate).
    QString url(const QString &path) const;

    void serve(const QByteArray &target, const Response &response);
    void servePage(const QByteArray &target, const QByteArray &body,
                   const QByteArray &contentType = "text/html; charset=utf-8", int status = 200);
    void redirect(const QByteArray &target, const QByteArray &location, int status = 302);

    // The head of every request received so far (request line and headers,
    // without the final blank line), in order of arrival.
    QList<QByteArray> requests() const;
    // The request lines alone.
    QList<QByteArray> requestLines() const;
    // How many requests asked for `target`.
    int hits(const QByteArray &target) const;
    // How many connections were accepted.
    int connections() const;

    // The response served for `target` (used by the server's thread).
    Response responseFor(const QByteArray &target);
    void record(const QByteArray &head);
    void countConnection();

    // A loopback port on which nothing listens.
    static quint16 unusedPort();
    // The body gzip-compressed.
    static QByteArray gzip(const QByteArray &data);

private:
    void start(const QString &certificateFile, const QString &keyFile);

    QThread *thread = nullptr;
    TestListener *listener = nullptr;
    bool listening = false;
    bool secure = false;
    quint16 serverPort = 0;
    mutable QMutex lock;
    QList<QPair<QByteArray, Response>> routes;
    QList<QByteArray> received;
    int accepted = 0;
};

// A throwaway self-signed certificate for 127.0.0.1 and "localhost", made with
// the openssl tool in `folder`. False when the tool is missing or fails.
bool makeTestCertificate(const QString &folder, QString *certificateFile, QString *keyFile);
