#include "PageDownload.h"

#include "Utf8.h"
#include "Version.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTimer>

#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <mutex>

// A download runs on the calling thread, driven by its event loop: curl says
// which sockets to watch and when its next timeout falls, and is called back
// when a socket is ready or the timeout has come. The caller waits in a local
// event loop meanwhile, so its timers, menus and message boxes are served.
// One lives as long as the handles, because curl's sockets outlive single
// downloads (a connection is kept for the next page).
struct PageDownload::Transfer {
    CURL *curl = nullptr;
    CURLM *multi = nullptr;
    // The caller's page, which the download under way writes into.
    QByteArray *body = nullptr;
    bool tooLarge = false;
    bool downgrade = false;
    bool cancelled = false;
    // The download under way: the loop its caller waits in, and the outcome.
    QEventLoop *loop = nullptr;
    bool done = false;
    CURLcode result = CURLE_OK;
    // The watches curl asked for, by socket; kept, disabled, when curl no
    // longer needs them, and deleted with the object.
    struct Watch {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };
    std::map<curl_socket_t, Watch> watches;
    QObject notifiers;
    QTimer timeout;

    void reset()
    {
        tooLarge = false;
        downgrade = false;
        cancelled = false;
    }

    void watch(curl_socket_t socket, int what);
    QSocketNotifier *notifier(curl_socket_t socket, QSocketNotifier::Type type);
    // Lets curl act on a ready socket (or on its timeout), then takes note of
    // a finished download.
    void act(curl_socket_t socket, int events);
};

namespace
{

using Transfer = PageDownload::Transfer;

const char UserAgent[] = "Quorlin/" QUORLIN_VERSION;
const char Protocols[] = "http,https";

// Curl's receive buffer: a page of 100 KB comes from the socket in one read
// or two rather than seven of curl's usual 16 KiB, each of which may cost a
// turn of the event loop.
constexpr long ReceiveBufferSize = 128 * 1024;

// How far into a page a <meta> charset declaration is looked for.
constexpr qsizetype HeadScanLength = 4096;

size_t writeBody(char *data, size_t size, size_t count, void *userData)
{
    auto *transfer = static_cast<Transfer *>(userData);
    const size_t length = size * count;
    if (transfer->body->size() + qsizetype(length) > PageDownload::MaxBodySize) {
        transfer->tooLarge = true;
        return 0; // any count other than `length` fails the download
    }
    transfer->body->append(data, qsizetype(length));
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
    // Looked at in place: every header line of every page passes here.
    if (length < 9 || qstrnicmp(data, "location:", 9) != 0)
        return length;
    const QByteArray line = QByteArray::fromRawData(data, qsizetype(length));
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

int watchSocket(CURL *, curl_socket_t socket, int what, void *userData, void *)
{
    static_cast<Transfer *>(userData)->watch(socket, what);
    return 0;
}

// Curl's next timeout: -1 for none, 0 for at once (still from the event
// loop: curl must not be called from inside its own callback).
int startTimeout(CURLM *, long milliseconds, void *userData)
{
    QTimer &timeout = static_cast<Transfer *>(userData)->timeout;
    if (milliseconds < 0)
        timeout.stop();
    else
        timeout.start(int(std::min<long>(milliseconds, 24L * 3600 * 1000)));
    return 0;
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

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isLabelCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == ':' || c == '-';
}

// The label that follows a "charset" ending at `at`: spaces, "=", spaces, a
// quote if any, spaces, then the label's letters, digits and ". _ : -";
// empty when the text does not go on that way.
QByteArray labelAfter(QByteArrayView head, qsizetype at)
{
    const auto skipSpaces = [&head](qsizetype i) {
        while (i < head.size() && isSpace(head[i]))
            ++i;
        return i;
    };
    qsizetype i = skipSpaces(at);
    if (i >= head.size() || head[i] != '=')
        return {};
    i = skipSpaces(i + 1);
    if (i < head.size() && (head[i] == '"' || head[i] == '\''))
        i = skipSpaces(i + 1);
    const qsizetype start = i;
    while (i < head.size() && isLabelCharacter(head[i]))
        ++i;
    return head.sliced(start, i - start).toByteArray();
}

// Whether `text` spells `word` at `at`, in any case.
bool spellsAt(QByteArrayView text, qsizetype at, QByteArrayView word)
{
    return text.size() - at >= word.size() &&
           qstrnicmp(text.data() + at, word.data(), size_t(word.size())) == 0;
}

// The charset a page declares in its head: <meta charset="..."> or
// <meta http-equiv="Content-Type" content="text/html; charset=...">, that is
// the first "charset" inside a <meta tag (before its ">"; any case) that is
// followed by "=" and a label. A plain scan of the page's own bytes: a
// regular expression here costs the resident checker the pattern library's
// pages, and a lower-case copy of the head costs a small page more than its
// decoding.
QByteArray declaredCharset(const QByteArray &body)
{
    const QByteArrayView head = QByteArrayView(body).first(std::min(body.size(), HeadScanLength));
    for (qsizetype tag = head.indexOf('<'); tag >= 0; tag = head.indexOf('<', tag + 1)) {
        if (!spellsAt(head, tag + 1, "meta"))
            continue;
        qsizetype tagEnd = head.indexOf('>', tag);
        if (tagEnd < 0)
            tagEnd = head.size();
        for (qsizetype name = tag; name < tagEnd; ++name) {
            if (!spellsAt(head, name, "charset"))
                continue;
            const QByteArray label = labelAfter(head, name + 7);
            if (!label.isEmpty())
                return label;
        }
    }
    return {};
}

// How a body's bytes become UTF-8: UTF-8 as it is, checked, any other charset
// by Qt's decoder for it.
struct Charset {
    std::optional<QStringDecoder> other; // none for UTF-8
};

// The charset a label names; none when Qt knows no such charset. Labels that
// browsers read as windows-1252 are read the same way here, so that a page
// shows what the browser shows.
std::optional<Charset> charsetFor(const QByteArray &label)
{
    if (label.isEmpty())
        return std::nullopt;
    const QByteArray name = label.toLower();
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii" ||
        name == "iso8859-1" || name == "l1") {
        QStringDecoder windows("windows-1252");
        if (windows.isValid())
            return Charset{std::move(windows)};
        return Charset{QStringDecoder(QStringConverter::Latin1)};
    }
    if (QStringConverter::encodingForName(name.constData()) == QStringConverter::Utf8)
        return Charset{};
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return std::nullopt;
    return Charset{std::move(decoder)};
}

// A body's charset: by its byte-order mark, else by the charset of the
// Content-Type header, else by the charset the page declares, else UTF-8.
Charset charsetOfBody(const QByteArray &body, const QByteArray &contentType)
{
    if (const auto bom = QStringConverter::encodingForData(body)) {
        if (*bom == QStringConverter::Utf8)
            return Charset{};
        return Charset{QStringDecoder(*bom)};
    }
    if (auto named = charsetFor(charsetOf(contentType)))
        return std::move(*named);
    if (auto declared = charsetFor(declaredCharset(body)))
        return std::move(*declared);
    return Charset{};
}

} // namespace

QSocketNotifier *Transfer::notifier(curl_socket_t socket, QSocketNotifier::Type type)
{
    auto *made = new QSocketNotifier(socket, type, &notifiers);
    const int events = type == QSocketNotifier::Read ? CURL_CSELECT_IN : CURL_CSELECT_OUT;
    QObject::connect(made, &QSocketNotifier::activated, &notifiers,
                     [this, socket, events] { act(socket, events); });
    return made;
}

void Transfer::watch(curl_socket_t socket, int what)
{
    Watch &entry = watches[socket];
    const bool reading = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool writing = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (reading && !entry.read)
        entry.read = notifier(socket, QSocketNotifier::Read);
    if (writing && !entry.write)
        entry.write = notifier(socket, QSocketNotifier::Write);
    if (entry.read)
        entry.read->setEnabled(reading);
    if (entry.write)
        entry.write->setEnabled(writing);
}

void Transfer::act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(multi, socket, events, &running);
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != curl)
            continue;
        result = message->data.result;
        done = true;
        if (loop)
            loop->quit();
    }
}

PageDownload::PageDownload(int timeoutSeconds) : timeoutSeconds(timeoutSeconds) {}

PageDownload::~PageDownload()
{
    if (!transfer)
        return;
    // Closes the kept connections; curl may still call back to drop its watches.
    curl_multi_cleanup(transfer->multi);
    curl_easy_cleanup(curl);
}

// Curl, and the TLS library it sets up with itself, start with the first
// download: a checker that has not yet reached its first checkpoint carries
// none of their memory, and starts that much sooner.
bool PageDownload::start()
{
    if (transfer)
        return true;
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto made = std::make_unique<Transfer>();
    made->curl = curl_easy_init();
    made->multi = curl_multi_init();
    if (!made->curl || !made->multi) {
        if (made->multi)
            curl_multi_cleanup(made->multi);
        if (made->curl)
            curl_easy_cleanup(made->curl);
        return false;
    }
    curl_multi_setopt(made->multi, CURLMOPT_SOCKETFUNCTION, watchSocket);
    curl_multi_setopt(made->multi, CURLMOPT_SOCKETDATA, made.get());
    curl_multi_setopt(made->multi, CURLMOPT_TIMERFUNCTION, startTimeout);
    curl_multi_setopt(made->multi, CURLMOPT_TIMERDATA, made.get());
    made->timeout.setSingleShot(true);
    Transfer *started = made.get();
    QObject::connect(&made->timeout, &QTimer::timeout, &made->notifiers,
                     [started] { started->act(CURL_SOCKET_TIMEOUT, 0); });
    curl = made->curl;
    transfer = std::move(made);
    return true;
}

void PageDownload::setProxy(const QString &hostPort)
{
    proxy = hostPort.isEmpty() ? QByteArray() : proxyText(hostPort);
    proxyUsable = hostPort.isEmpty() || !proxy.isEmpty();
    configured = false;
}

void PageDownload::setCaFile(const QString &path)
{
    caFile = path.toLocal8Bit();
    configured = false;
}

// Curl keeps its options from one download to the next: all but the address
// are set again only when they change (the first download, another proxy or
// certificate file).
void PageDownload::prepare(const QByteArray &url)
{
    if (!configured) {
        configure();
        configured = true;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
}

void PageDownload::configure()
{
    curl_easy_reset(curl); // keeps the connection cache
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, long(MaxRedirects));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, ReceiveBufferSize);
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
}

QByteArray PageDownload::fetch(const QString &url)
{
    QByteArray page;
    fetchInto(url, page);
    return page;
}

void PageDownload::fetchInto(const QString &url, QByteArray &page)
{
    // Memory that another holder shares or that a large page left behind is
    // not written into.
    if (!page.isDetached() || page.capacity() > KeptCapacity)
        page = QByteArray();
    page.truncate(0);
    if (!download(url, page)) {
        page.truncate(0);
        return;
    }
    char *contentType = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType);
    page = decode(std::move(page), QByteArray(contentType));
}

// True when the body of a response has arrived whole into `body`.
bool PageDownload::download(const QString &url, QByteArray &body)
{
    if (busy || !proxyUsable || url.isEmpty() || !start())
        return false;
    busy = true;
    transfer->reset();
    transfer->body = &body;
    prepare(url.toUtf8());

    transfer->done = false;
    if (curl_multi_add_handle(transfer->multi, curl) == CURLM_OK) {
        // Curl asks for a timeout of no time to start the request; it is
        // started here instead of a turn of the loop later. A download that
        // ends at once (an address curl refuses, or a small page that a near
        // server has already sent on a kept connection) has nothing to wait
        // for, and no loop to be woken for its end.
        transfer->act(CURL_SOCKET_TIMEOUT, 0);
        if (!transfer->done) {
            QEventLoop loop;
            transfer->loop = &loop;
            loop.exec();
            transfer->loop = nullptr;
        }
        // The loop also ends when the application quits or on a cancel: an
        // unfinished download then stops here.
        curl_multi_remove_handle(transfer->multi, curl);
    }
    transfer->body = nullptr;
    busy = false;

    return transfer->done && transfer->result == CURLE_OK && !transfer->cancelled &&
           !transfer->tooLarge && !transfer->downgrade;
}

void PageDownload::cancel()
{
    if (!busy)
        return;
    transfer->cancelled = true;
    if (transfer->loop)
        transfer->loop->quit();
}

QByteArray PageDownload::decode(QByteArray body, const QByteArray &contentType)
{
    Charset charset = charsetOfBody(body, contentType);
    if (charset.other)
        return utf8Of(QString(charset.other->decode(body)));
    makeValidUtf8(body);
    return body;
}
