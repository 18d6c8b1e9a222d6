#include "CheckRun.h"

#include "Browser.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "Layout.h"
#include "PageDownload.h"
#include "PageText.h"
#include "Prompts.h"
#include "Store.h"
#include "Utf8.h"

#include <limits>
#include <utility>

namespace
{

const QString LineBreak = QStringLiteral("\r\n");
const QString ErrorTitle = QStringLiteral("Quorlin Error:");
const QString UpdatedTitle = QStringLiteral("Site Updated:");

// A page that fails three times in a row brings up the retry prompt.
constexpr qint16 PromptingRetry = 3;

QString processingText(const QString &description)
{
    return QStringLiteral("Processing: ") + description;
}

QString retryText(const QString &count)
{
    return QStringLiteral("Connection Retry: ") + count;
}

QString updatePrompt(const QString &description, const QString &check, const QString &url)
{
    return QStringLiteral("Action: ") + description + LineBreak + LineBreak +
           QStringLiteral("Data: ") + check + LineBreak + QStringLiteral("At URL: ") + url +
           LineBreak + LineBreak +
           QStringLiteral("HTML document appears to have been updated. Go There?");
}

QString retryPrompt(const QString &url)
{
    return QStringLiteral("Couldn't retrive '") + url + QStringLiteral("'. Retry?");
}

} // namespace

CheckRun::CheckRun(Store &store, PageFetcher &fetcher, ConnectionTest &connection, Browser &browser,
                   Prompts &prompts, StatusDisplay &status, const Clock &clock)
    : store(store), fetcher(fetcher), connection(connection), browser(browser), prompts(prompts),
      status(status), clock(clock)
{
}

void CheckRun::request()
{
    // A run that waits in a download or a message box is still on the stack:
    // whatever flags a caller set, it is never entered a second time.
    if (running || abandoned || !admitted())
        return;
    running = true;
    start();
    processList();
    running = false;
    // The pages' memory lasts as long as the run, so the idle checker holds none.
    page = QByteArray();
    spare = QByteArray();
    if (abandoned)
        state.inProgress = false;
}

void CheckRun::abandon()
{
    abandoned = true;
    if (running)
        fetcher.cancel();
}

bool CheckRun::admitted()
{
    if (state.overrideFlag)
        return true;
    if (!state.alwaysMode) {
        if (state.inProgress || state.connectionServed)
            return false;
    }
    if (state.dailyLimit == 1) {
        // A date that cannot be saved is not read back: the store still holds
        // an older one, which may equal an older "CheckDate" and would hold
        // back every run for as long as the store stays unwritable.
        QString today = clock.todayText();
        if (store.write(layout::Settings, layout::TDate, today))
            today = store.read(layout::Settings, layout::TDate);
        const QString checkDate = store.read(layout::Settings, layout::CheckDate);
        if (today == checkDate)
            return false;
    }
    return true;
}

void CheckRun::start()
{
    state.overrideFlag = false;
    state.inProgress = true;
    state.connectionServed = true;
    // A 16-bit counter: it stops at its largest value instead of wrapping.
    if (state.checksSinceStart < std::numeric_limits<qint16>::max())
        ++state.checksSinceStart;
    status.setChecksSinceStart(QStringLiteral("Checks Since Start: ") +
                               QString::number(state.checksSinceStart));
    position = 1;
    retryCount = 0;
    rememberedText.clear();
}

void CheckRun::processList()
{
    for (;;) {
        // One look at the file per download: the position's description, its
        // URL and its check string come from the same version of it.
        const StoreReading &now = store.current();
        const QString description = now.read(layout::ActionList, QString::number(position));
        if (description.isEmpty()) {
            finish();
            return;
        }
        switch (download(now, description)) {
        case Next::Stop:
            return;
        case Next::SameAction:
            break;
        case Next::NextAction:
            // The list cannot go on past the largest 16-bit position.
            if (position == layout::MaxPosition) {
                finish();
                return;
            }
            ++position;
            retryCount = 0;
            rememberedText.clear();
            break;
        }
    }
}

CheckRun::Next CheckRun::download(const StoreReading &now, const QString &description)
{
    status.setProcessing(processingText(description));
    status.setConnectionRetry(retryText(QString::number(retryCount)));
    // Read afresh before every download: a retry sees the current values.
    const QString url = now.read(description, layout::Url);
    const QString check = now.read(description, layout::Check);
    fetcher.fetchInto(url, page);
    if (abandoned)
        return Next::Stop;
    if (page.isEmpty()) {
        if (!connection.connected()) {
            noConnection();
            return Next::Stop;
        }
        return failedDownload(url);
    }
    if (stripPage(page)) {
        // Straight to the retry prompt.
        retryCount = PromptingRetry - 1;
        return failedDownload(url);
    }
    const Next next = decide(page, description, url, check);
    // The status window holds on to this page text (and the remembered text
    // may): the next page goes into the other memory, which by then nothing
    // else holds, instead of into new memory.
    std::swap(page, spare);
    return next;
}

CheckRun::Next CheckRun::failedDownload(const QString &url)
{
    ++retryCount;
    if (retryCount != PromptingRetry)
        return Next::SameAction;
    const Answer answer = prompts.ask({PromptKind::YesNoError, ErrorTitle, retryPrompt(url)});
    if (abandoned)
        return Next::Stop;
    if (answer == Answer::No)
        return Next::NextAction;
    retryCount = 0;
    return Next::SameAction;
}

CheckRun::Next CheckRun::decide(const QByteArray &text, const QString &description,
                                const QString &url, const QString &check)
{
    status.setPageText(text);
    // Looked for in the page text's own UTF-8.
    if (containsText(text, utf8Of(check)))
        return Next::NextAction;
    if (rememberedText.isEmpty()) {
        // Missing once: download the page again before saying anything.
        rememberedText = text;
        retryCount = 0;
        return Next::SameAction;
    }
    if (text != rememberedText)
        return Next::NextAction; // the page moves on its own; nothing to report
    rememberedText.clear();
    const Answer answer = prompts.ask(
        {PromptKind::YesNoInformation, UpdatedTitle, updatePrompt(description, check, url)});
    if (abandoned)
        return Next::Stop;
    if (answer != Answer::No)
        browser.open(url);
    return Next::NextAction;
}

void CheckRun::noConnection()
{
    prompts.ask({PromptKind::Error, ErrorTitle,
                 QStringLiteral("Couldn't Proceed. Possibly disconnected?")});
    state.inProgress = false;
}

void CheckRun::finish()
{
    const QString today = clock.todayText();
    store.write(layout::Settings, layout::CheckDate, today);
    status.setLastCheckDate(QStringLiteral("Last Check Date: ") + today);
    state.inProgress = false;
    status.setProcessing(processingText(QString()));
    status.setConnectionRetry(retryText(QString()));
}
