#pragma once

#include "Browser.h"
#include "CheckRun.h"
#include "ConnectionTest.h"
#include "DateText.h"
#include "PageDownload.h"
#include "Utf8.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <functional>

// Downloads answered from a script: each URL has a queue of pages, handed out
// as UTF-8; the last one repeats. A URL without pages fails (empty).
class ScriptedFetcher : public PageFetcher
{
public:
    QHash<QString, QStringList> pages;
    QStringList fetched;
    int cancels = 0;
    // Runs while the download "is under way", before it answers.
    std::function<void(const QString &url)> during;

    QByteArray fetch(const QString &url) override
    {
        fetched.append(url);
        if (during)
            during(url);
        if (cancelled) {
            cancelled = false;
            return {};
        }
        QStringList &queue = pages[url];
        if (queue.isEmpty())
            return {};
        return utf8Of(queue.size() > 1 ? queue.takeFirst() : queue.first());
    }

    void cancel() override
    {
        ++cancels;
        cancelled = true;
    }

private:
    bool cancelled = false;
};

class FakeConnection : public ConnectionTest
{
public:
    bool up = true;
    mutable int asked = 0;
    bool connected() const override
    {
        ++asked;
        return up;
    }
};

class RecordingBrowser : public Browser
{
public:
    QStringList opened;
    void open(const QString &url) override { opened.append(url); }
};

class RecordingStatus : public StatusDisplay
{
public:
    QString label1 = QStringLiteral("Processing:");
    QString label2 = QStringLiteral("Connection Retry:");
    QString label4 = QStringLiteral("Checks Since Start:");
    QString label5 = QStringLiteral("Last Check Date:");
    QString text1;
    QStringList label2History;
    int writes = 0;

    void setProcessing(const QString &text) override { record(label1, text); }
    void setConnectionRetry(const QString &text) override
    {
        record(label2, text);
        label2History.append(text);
    }
    void setChecksSinceStart(const QString &text) override { record(label4, text); }
    void setLastCheckDate(const QString &text) override { record(label5, text); }
    void setPageText(const QByteArray &text) override { record(text1, textOfUtf8(text)); }

private:
    void record(QString &control, const QString &text)
    {
        ++writes;
        control = text;
    }
};

// A clock that stands still on the day the test sets.
class FixedClock : public Clock
{
public:
    explicit FixedClock(QDate date = QDate(2024, 3, 7)) : date(date) {}
    QDate date;
    QDate today() const override { return date; }
};
