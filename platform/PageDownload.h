#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// Downloads a page and hands back its body as UTF-8; empty on any failure.
class PageFetcher
{
public:
    virtual ~PageFetcher() = default;
    virtual QByteArray fetch(const QString &url) = 0;
    // The same into `page`, whose memory a fetcher may write the next page
    // into instead of taking new memory for every page. Whatever `page` held
    // is gone, also when the download fails.
    virtual void fetchInto(const QString &url, QByteArray &page) { page = fetch(url); }
    // Stops a download under way at once (it then comes back empty).
    virtual void cancel() = 0;
};

// Page downloads over HTTP and HTTPS with libcurl, which is set up by the
// first download. One connection cache lives from then on as long as the
// object, so a page fetched again reuses its connection. The
// calling thread waits for each download in a local event loop, which also
// drives the download: timers, menus and message boxes of that thread are
// still served.
//
// The body of whatever response arrives is the result, error statuses
// included (a "404 Not Found" page comes back as its UTF-8). Everything else is a
// failure and comes back empty: no response, a bad or non-HTTP
// address, a TLS certificate that does not verify, more than 10 redirects, a
// redirect to another scheme or from HTTPS to HTTP, a body past 32 MiB as
// decoded, the deadline passing, a cancel.
class PageDownload : public PageFetcher
{
public:
    static constexpr qsizetype MaxBodySize = 32 * 1024 * 1024;
    static constexpr int MaxRedirects = 10;

    // The time allowed from the request to the last byte.
    static constexpr int DeadlineSeconds = 60;

    // `timeoutSeconds`: the deadline, shorter in tests.
    explicit PageDownload(int timeoutSeconds = DeadlineSeconds);
    ~PageDownload() override;
    PageDownload(const PageDownload &) = delete;
    PageDownload &operator=(const PageDownload &) = delete;

    // Sends every request through the HTTP proxy "host:port" (an "http://"
    // before the host is allowed). An empty text means no proxy at all, the
    // proxy variables of the environment included. A text that does not name
    // a host and a port from 1 to 65535 makes every download fail rather than
    // go out directly.
    void setProxy(const QString &hostPort);
    // Trusts the certificates in this PEM file instead of the system's.
    void setCaFile(const QString &path);

    QByteArray fetch(const QString &url) override;
    // Downloads into the memory `page` holds when `page` is not shared and that
    // memory is not larger than a kept page would need.
    void fetchInto(const QString &url, QByteArray &page) override;
    void cancel() override;

    // A body as UTF-8. Its charset is told by its byte-order mark, else by the
    // charset of the Content-Type header, else by the charset the page
    // declares in a <meta> of its head, else it is UTF-8. A UTF-8 body is
    // handed back in its own memory, checked and, only where it is not valid,
    // mended as Qt's UTF-8 decoder reads it; any other is turned into UTF-8.
    static QByteArray decode(QByteArray body, const QByteArray &contentType);

    // The most memory a page keeps from one download to the next; a larger
    // page's memory is given back.
    static constexpr qsizetype KeptCapacity = 256 * 1024;

    struct Transfer;

private:
    bool start();
    void prepare(const QByteArray &url);
    void configure();
    bool download(const QString &url, QByteArray &body);

    void *curl = nullptr;
    int timeoutSeconds;
    QByteArray proxy;
    bool proxyUsable = true;
    QByteArray caFile;
    // Whether curl holds the options for the proxy and certificate file above.
    bool configured = false;
    std::unique_ptr<Transfer> transfer;
    bool busy = false;
};
