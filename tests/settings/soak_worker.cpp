#include "CheckRun.h"
#include "Layout.h"
#include "RunFakes.h"
#include "ScriptedPrompts.h"
#include "Store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextStream>

// One side of the store soak, hammering the current user's store until the
// given number of seconds has passed.
//
// soak_worker editor <seconds> <seed>: the editor's operations (append,
// rename, remove), checking after each one that the whole list and every
// action's section read exactly as it expects. Prints "ops <n>" and then
// its list as "action <description> <url> <check>" lines.
//
// soak_worker checker <seconds>: complete check runs, one "day" apart, over
// whatever the list holds, checking after each that "TDate" and
// "CheckDate" hold its date. Prints "runs <n>", "downloads <n>",
// "retries <n>" and "date <last date>".
//
// Either prints "fault: ..." and ends with 1 at the first thing that is wrong.

namespace
{

QTextStream out(stdout);

int fault(const QString &what)
{
    out << "fault: " << what << Qt::endl;
    return 1;
}

class Editor
{
public:
    explicit Editor(quint32 seed) : random(seed) {}

    // Appends, renames or removes one action; false when the store refused.
    bool step()
    {
        const int count = int(list.size());
        const int choice = count < 3 ? 0 : int(random.bounded(10));
        if (choice < 4 && count < 40)
            return append();
        if (choice < 7)
            return rename(int(random.bounded(count)));
        return remove(int(random.bounded(count)));
    }

    // What the store holds against what it should hold; empty when alike.
    QString difference(const Store &store) const
    {
        const QStringList stored = layout::actions(store);
        if (stored != list)
            return QStringLiteral("list %1, expected %2").arg(stored.join(u'|'), list.join(u'|'));
        for (int i = 0; i < list.size(); ++i) {
            const QString &d = list.at(i);
            const QString url = store.read(d, layout::Url);
            const QString check = store.read(d, layout::Check);
            const QString nr = store.read(d, layout::Nr);
            if (url != actions[d].url || check != actions[d].check || nr != QString::number(i + 1))
                return QStringLiteral("section %1: %2 %3 %4").arg(d, url, check, nr);
        }
        return {};
    }

    QStringList list;
    QHash<QString, Action> actions;
    Store store;

private:
    // A new description each time, some of them with the characters the
    // store escapes in section names.
    QString newDescription()
    {
        ++made;
        if (made % 5 == 0)
            return QStringLiteral("page %1/a %25 b").arg(made);
        return QStringLiteral("page %1").arg(made);
    }

    bool append()
    {
        const QString d = newDescription();
        const Action action{d, QStringLiteral("http://h/%1").arg(made),
                            QStringLiteral("v%1").arg(made)};
        if (!layout::append(store, action))
            return false;
        list.append(d);
        actions.insert(d, action);
        return true;
    }

    bool rename(int index)
    {
        const QString old = list.at(index);
        const QString d = newDescription();
        Action action = actions.take(old);
        action.description = d;
        if (!layout::rename(store, int(list.size()), old, action))
            return false;
        list[index] = d;
        actions.insert(d, action);
        return true;
    }

    bool remove(int index)
    {
        const QString d = list.at(index);
        if (!layout::remove(store, d))
            return false;
        list[index] = list.last();
        list.removeLast();
        actions.remove(d);
        return true;
    }

    QRandomGenerator random;
    int made = 0;
};

int runEditor(qint64 ms, quint32 seed)
{
    Editor editor(seed);
    QElapsedTimer clock;
    clock.start();
    int ops = 0;
    while (clock.elapsed() < ms) {
        if (!editor.step())
            return fault(QStringLiteral("operation %1 refused").arg(ops));
        ++ops;
        const QString difference = editor.difference(editor.store);
        if (!difference.isEmpty())
            return fault(QStringLiteral("after operation %1: %2").arg(ops).arg(difference));
    }
    out << "ops " << ops << Qt::endl;
    for (const QString &d : editor.list)
        out << "action " << d << '\t' << editor.actions[d].url << '\t' << editor.actions[d].check
            << Qt::endl;
    return 0;
}

// The page of "http://h/<n>" holds the check string "v<n>" of that action.
class PageOfEachAction : public PageFetcher
{
public:
    QByteArray fetch(const QString &url) override
    {
        static const QRegularExpression form(QStringLiteral("^http://h/(\\d+)$"));
        ++downloads;
        const QRegularExpressionMatch match = form.match(url);
        if (!match.hasMatch()) {
            // Read between two writes of the editor: not there yet, or torn.
            if (!url.isEmpty())
                torn.append(url);
            return {};
        }
        return QStringLiteral("<p>v%1</p>").arg(match.captured(1)).toUtf8();
    }
    void cancel() override {}

    int downloads = 0;
    QStringList torn;
};

int runChecker(qint64 ms)
{
    Store store;
    PageOfEachAction fetcher;
    FakeConnection connection;
    RecordingBrowser browser;
    RecordingStatus status;
    FixedClock clock;
    clock.date = QDate(2000, 1, 1);
    ScriptedPrompts script;
    // A retry prompt means an action read while the editor was half-way
    // through it; skip it. Any other box is a fault.
    script.whileShown = [&](const ScriptedPrompts::Box &) { script.answer(Answer::No); };
    CheckRun run(store, fetcher, connection, browser, script, status, clock);
    run.state.alwaysMode = true;

    QElapsedTimer elapsed;
    elapsed.start();
    int runs = 0;
    while (elapsed.elapsed() < ms) {
        clock.date = clock.date.addDays(1);
        run.request();
        ++runs;
        const QString today = clock.todayText();
        const QString tDate = store.read(layout::Settings, layout::TDate);
        const QString checkDate = store.read(layout::Settings, layout::CheckDate);
        if (tDate != today || checkDate != today)
            return fault(QStringLiteral("run %1 on %2: TDate %3, CheckDate %4")
                             .arg(runs)
                             .arg(today, tDate, checkDate));
        if (!fetcher.torn.isEmpty())
            return fault(QStringLiteral("torn URL %1").arg(fetcher.torn.first()));
        for (const ScriptedPrompts::Box &box : std::as_const(script.boxes)) {
            if (box.title != QLatin1String("Quorlin Error:"))
                return fault(QStringLiteral("box %1 %2").arg(box.title, box.text));
        }
    }
    out << "runs " << runs << Qt::endl;
    out << "downloads " << fetcher.downloads << Qt::endl;
    out << "retries " << script.boxes.size() << Qt::endl;
    out << "date " << clock.todayText() << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const qint64 ms = args.at(2).toLongLong() * 1000;
    if (args.at(1) == QLatin1String("editor") && args.size() == 4)
        return runEditor(ms, args.at(3).toUInt());
    if (args.at(1) == QLatin1String("checker"))
        return runChecker(ms);
    return 2;
}
