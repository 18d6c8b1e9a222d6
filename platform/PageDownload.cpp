#include "PageDownload.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QStringDecoder>

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

// What a download shares between the waiting thread and the worker. One lives
// as long as the easy handle, because curl's sockets outlive single downloads.
struct PageDownload::Transfer {
    CURL *curl = nullptr;
    QByteArray body;
    bool tooLarge = false;
    bool downgrade = false;
    std::atomic<bool> cancelled = false;
    // The sockets curl has open, so that a cancel can wake a worker that
    // waits for data at once instead of at its next progress tick.
    std::mutex socketsLock;
    std::set<curl_socket_t> sockets;

    // One worker thread serves every download of the handle: started with the
    // first, it waits for the next one in between and ends with the object.
    std::thread worker;
    std::mutex lock;
    std::condition_variable wake;
    bool requested = false; // a download waits for the worker
    bool finished = false;  // the worker is done with it, the loop told
    bool stopping = false;
    CURLcode result = CURLE_OK;
    QEventLoop *loop = nullptr;

    void reset()
    {
        // The buffer is kept for the next page unless a large page grew it.
        if (body.capacity() > KeptBodyCapacity)
            body = QByteArray();
        body.resize(0);
        tooLarge = false;
        downgrade = false;
        cancelled = false;
    }

    // Stops the download under way: shutting its sockets down wakes curl at
    // once, and it then sees the flag.
    void cancel()
    {
        cancelled = true;
        const std::lock_guard<std::mutex> guard(socketsLock);
        for (const curl_socket_t socket : sockets)
            ::shutdown(socket, SHUT_RDWR);
    }

    void serve();
    // Hands the download to the worker and waits in `waitLoop` until the
    // worker has finished it; cancels it when the loop ends before that.
    CURLcode perform(QEventLoop &waitLoop);
    ~Transfer();

    static constexpr qsizetype KeptBodyCapacity = 256 * 1024;
};

namespace
{

using Transfer = PageDownload::Transfer;

const char UserAgent[] = "Quorlin/1.6";
const char Protocols[] = "http,https";

// How far into a page a <meta> charset declaration is looked for.
constexpr qsizetype HeadScanLength = 4096;

size_t writeBody(char *data, size_t size, size_t count, void *userData)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const size_t length = size * count;
    if (transfer->body.size() + qsizetype(length) > PageDownload::MaxBodySize) {
        transfer->tooLarge = true;
        return 0; // any count other than `length` fails the download
    }
    transfer->body.append(data, qsizetype(length));
    return length;
}

bool isFollowedRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Watches each response's headers: curl cannot be told by itself to refuse a
// redirect from an HTTPS page to an http: address, so the download stops here.
size_t readHeader(char *data, size_t size, size_t count, void *userData)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const size_t length = size * count;
    const QByteArray line = QByteArray::fromRawData(data, qsizetype(length));
    if (!line.left(9).toLower().startsWith("location:"))
        return length;
    long status = 0;
    char *current = nullptr;
    curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(transfer->curl, CURLINFO_EFFECTIVE_URL, &current);
    const bool secure = current && QByteArray(current).left(6).toLower() == "https:";
    const QByteArray target = line.mid(9).trimmed().left(5).toLower();
    if (secure && isFollowedRedirect(status) && target == "http:") {
        transfer->downgrade = true;
        return 0;
    }
    return length;
}

int progress(void *userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer *>(userData)->cancelled ? 1 : 0;
}

curl_socket_t openSocket(void *userData, curlsocktype, struct curl_sockaddr *address)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const curl_socket_t socket = ::socket(address->family, address->socktype, address->protocol);
    if (socket != CURL_SOCKET_BAD) {
        const std::lock_guard<std::mutex> lock(transfer->socketsLock);
        transfer->sockets.insert(socket);
    }
    return socket;
}

int closeSocket(void *userData, curl_socket_t socket)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const std::lock_guard<std::mutex> lock(transfer->socketsLock);
    transfer->sockets.erase(socket);
    return ::close(socket);
}

// "host:port" with a port from 1 to 65535, as curl's proxy text for an HTTP
// proxy; empty when the text names no usable proxy.
QByteArray proxyText(const QString &hostPort)
{
    QString host = hostPort.trimmed();
    if (host.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        host = host.mid(7);
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return {};
    const QString portText = host.mid(colon + 1);
    host.truncate(colon);
    bool isNumber = false;
    const int port = portText.toInt(&isNumber);
    static const QRegularExpression hostForm(
        QStringLiteral("^([A-Za-z0-9._-]+|\\[[0-9A-Fa-f:.]+\\])$"));
    if (!isNumber || port < 1 || port > 65535 || portText.startsWith(QLatin1Char('+')) ||
        !hostForm.match(host).hasMatch())
        return {};
    return QStringLiteral("http://%1:%2").arg(host).arg(port).toUtf8();
}

// The charset parameter of a Content-Type value.
QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2).trimmed();
        return value;
    }
    return {};
}

// The charset a page declares in its head: <meta charset="..."> or
// <meta http-equiv="Content-Type" content="text/html; charset=...">.
QByteArray declaredCharset(const QByteArray &body)
{
    static const QRegularExpression meta(
        QStringLiteral("<meta[^>]*?charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9._:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match =
        meta.match(QString::fromLatin1(body.left(HeadScanLength)));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

// A decoder for a charset label. Labels that browsers read as windows-1252
// are read the same way here, so that a page shows what the browser shows.
std::optional<QStringDecoder> decoderFor(const QByteArray &label)
{
    if (label.isEmpty())
        return std::nullopt;
    const QByteArray name = label.toLower();
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii" ||
        name == "iso8859-1" || name == "l1") {
        QStringDecoder windows("windows-1252");
        if (windows.isValid())
            return windows;
        return QStringDecoder(QStringConverter::Latin1);
    }
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return std::nullopt;
    return decoder;
}

} // namespace

void Transfer::serve()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return requested || stopping; });
        if (stopping)
            return;
        requested = false;
        guard.unlock();
        const CURLcode code = curl_easy_perform(curl);
        guard.lock();
        result = code;
        // Told while holding the lock: the loop lives until `finished` is seen.
        QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
        finished = true;
        wake.notify_all();
    }
}

CURLcode Transfer::perform(QEventLoop &waitLoop)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!worker.joinable())
            worker = std::thread([this] { serve(); });
        loop = &waitLoop;
        finished = false;
        requested = true;
    }
    wake.notify_all();
    waitLoop.exec();
    std::unique_lock<std::mutex> guard(lock);
    // The loop also ends when the application quits: the download then stops.
    if (!finished) {
        guard.unlock();
        cancel();
        guard.lock();
    }
    wake.wait(guard, [this] { return finished; });
    loop = nullptr;
    return result;
}

Transfer::~Transfer()
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable())
        worker.join();
}

PageDownload::PageDownload(int timeoutSeconds)
    : timeoutSeconds(timeoutSeconds), transfer(std::make_unique<Transfer>())
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    curl = curl_easy_init();
    transfer->curl = curl;
}

PageDownload::~PageDownload()
{
    // Closes the cached connections through closeSocket, which needs `transfer`.
    curl_easy_cleanup(curl);
}

void PageDownload::setProxy(const QString &hostPort)
{
    proxy = hostPort.isEmpty() ? QByteArray() : proxyText(hostPort);
    proxyUsable = hostPort.isEmpty() || !proxy.isEmpty();
}

void PageDownload::setCaFile(const QString &path)
{
    caFile = path.toLocal8Bit();
}

void PageDownload::prepare(const QByteArray &url)
{
    curl_easy_reset(curl); // keeps the connection cache
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(MaxRedirects));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // An empty proxy text keeps curl from taking one from the environment.
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.constData());
    if (!caFile.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, readHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, transfer.get());
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, openSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, transfer.get());
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, transfer.get());
}

QString PageDownload::fetch(const QString &url)
{
    if (!curl || busy || !proxyUsable || url.isEmpty())
        return {};
    busy = true;
    transfer->reset();
    prepare(url.toUtf8());

    QEventLoop loop;
    const CURLcode result = transfer->perform(loop);
    busy = false;

    if (result != CURLE_OK || transfer->cancelled || transfer->tooLarge || transfer->downgrade)
        return {};
    char *contentType = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType);
    const QString text = decode(transfer->body, QByteArray(contentType));
    transfer->reset();
    return text;
}

void PageDownload::cancel()
{
    if (!busy)
        return;
    transfer->cancel();
}

QString PageDownload::decode(const QByteArray &body, const QByteArray &contentType)
{
    if (const auto bom = QStringConverter::encodingForData(body)) {
        QStringDecoder decoder(*bom);
        return decoder.decode(body);
    }
    std::optional<QStringDecoder> decoder = decoderFor(charsetOf(contentType));
    if (!decoder)
        decoder = decoderFor(declaredCharset(body));
    if (!decoder)
        decoder.emplace(QStringConverter::Utf8);
    return decoder->decode(body);
}
