#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class Browser;
class Clock;
class ConnectionTest;
class PageFetcher;
class Prompts;
class Store;
class StoreReading;

// The status window's controls as the check run writes them. Writing must work
// whether or not the window is shown.
class StatusDisplay
{
public:
    virtual ~StatusDisplay() = default;
    virtual void setProcessing(const QString &text) = 0;       // "Processing: ..."
    virtual void setConnectionRetry(const QString &text) = 0;  // "Connection Retry: ..."
    virtual void setChecksSinceStart(const QString &text) = 0; // "Checks Since Start: ..."
    virtual void setLastCheckDate(const QString &text) = 0;    // "Last Check Date: ..."
    // The last page text, as UTF-8: a display turns it into text only when it
    // shows it.
    virtual void setPageText(const QByteArray &text) = 0;
};

// Checker-wide state shared by the run, the schedules and the status window.
struct RunState {
    bool inProgress = false;
    bool connectionServed = false;
    bool alwaysMode = false;
    bool overrideFlag = false;
    // The stored "Limit" as a 16-bit number: 1 allows one run a day.
    qint16 dailyLimit = 1;
    // Stops at 32767.
    qint16 checksSinceStart = 0;
};

// One pass over the whole action list: download each page, strip the markup,
// look for the check string, retry failures, and ask when a page has changed.
class CheckRun
{
public:
    CheckRun(Store &store, PageFetcher &fetcher, ConnectionTest &connection, Browser &browser,
             Prompts &prompts, StatusDisplay &status, const Clock &clock);

    // Applies the admission rule, then runs the whole list. Returns when the
    // run has ended, was refused, or was abandoned.
    void request();

    // The program is ending: a run that waits in a download or a message box
    // stops there and does nothing more (no browser, no date, no download).
    void abandon();

    RunState state;

private:
    // What to do after one download of the current action.
    enum class Next { SameAction, NextAction, Stop };

    bool admitted();
    void start();
    void processList();
    Next download(const StoreReading &now, const QString &description);
    Next failedDownload(const QString &url);
    Next decide(const QByteArray &text, const QString &description, const QString &url,
                const QString &check);
    void noConnection();
    void finish();

    Store &store;
    PageFetcher &fetcher;
    ConnectionTest &connection;
    Browser &browser;
    Prompts &prompts;
    StatusDisplay &status;
    const Clock &clock;
    bool abandoned = false;
    // True from the start of a run to its end; a run is never entered twice.
    bool running = false;

    // The state of one run.
    qint16 position = 1;
    qint16 retryCount = 0;
    // The page text of the first download that missed the check string.
    QByteArray rememberedText;
    // The page being checked, as UTF-8, turned into its page text in place,
    // and the memory of the page before it: used in turns from one page to
    // the next.
    QByteArray page;
    QByteArray spare;
};
