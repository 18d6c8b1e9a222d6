#pragma once

#include "Browser.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "HttpTestServer.h"
#include "Layout.h"
#include "PageDownload.h"
#include "RunFakes.h"
#include "ScriptedPrompts.h"
#include "Store.h"
#include "TrayController.h"

#include <QDir>
#include <QStringList>
#include <unistd.h>

// Stores `count` actions "Page 1", "Page 2", ... whose pages lie on `server`
// at "/page1", "/page2", ... and whose check string is "version 2.25".
inline void storeActions(Store &store, const HttpTestServer &server, int count = 1)
{
    for (int i = 1; i <= count; ++i) {
        const QString description = QStringLiteral("Page %1").arg(i);
        layout::append(store, description, server.url(QStringLiteral("/page%1").arg(i)),
                       QStringLiteral("version 2.25"));
    }
}

inline QByteArray pageWith(const QByteArray &text)
{
    return "<html><body><p>" + text + "</p></body></html>";
}

// The checker's main window over a real store and a real page download, with
// the connection, the browser, the prompts and the clock under the test's
// control. Make it after the test's TestHome, so that the store is the test's
// own.
class CheckerBench
{
public:
    // The tray's prompts are answered by `prompts`, or go to `shown` (the real
    // message boxes of a desktop test) when given.
    explicit CheckerBench(Prompts *shown = nullptr)
        : tray{CheckerParts{store, pageDownload,
                            [this](const QString &proxy) { proxies.append(proxy); }, connection,
                            browser, shown ? *shown : prompts, clock}}
    {
    }

    Store store;
    PageDownload pageDownload{10};
    FakeConnection connection;
    RecordingBrowser browser;
    ScriptedPrompts prompts;
    FixedClock clock{QDate(2026, 3, 14)};
    QStringList proxies;
    TrayController tray;

    // This process's entry in the close-request channel.
    static QString channelEntry()
    {
        return closechannel::folder() + QStringLiteral("/Quorlin.") + QString::number(::getpid());
    }
};
