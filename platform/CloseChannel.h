#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The close-request channel between config and running checkers. Each checker
// listens on a local socket named "<title>.<pid>" in each of the channel's
// folders it can use: $XDG_RUNTIME_DIR/QL/ and a private folder beside the
// store. A request looks in both, writes the line "close" and waits for
// "closed". So a program started where the runtime folder cannot be used
// (after su, over ssh -X) still meets one of the desktop session, through the
// folder beside the store they share.

// The checker's side.
class CloseListener : public QObject
{
    Q_OBJECT

public:
    explicit CloseListener(const QString &title, QObject *parent = nullptr);
    ~CloseListener() override;

    // Starts listening as "<title>.<pid>" in each folder of the channel that
    // can be used. False when no entry could be made anywhere.
    bool listen();
    // Answers "closed" to the pending request (call once the icon is gone).
    void reply();

signals:
    // A "close" line arrived.
    void closeRequested();

private:
    void socketReadyRead(QLocalSocket *socket);
    void listenIn(const QString &folder);

    QString title;
    QList<QLocalServer *> servers;
    // Every connection that asked to close; each gets the "closed" line.
    QList<QPointer<QLocalSocket>> requesters;
};

// One running copy of a program per user. The first start holds a lock in each
// of the channel's folders it can use and listens beside it ("<name>-lock",
// "<name>-window": no dot, so no close request ever picks them); a later start
// finds a lock taken and asks the running copy to come forward there instead
// of running itself.
class SoleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SoleInstance(const QString &name, QObject *parent = nullptr);
    ~SoleInstance() override;

    // False when another copy runs. Otherwise this copy holds the locks until
    // it ends and answers later starts; also when no folder can be used,
    // since then nothing can tell whether another copy runs.
    bool claim();
    // Asks the running copy to come forward; true when it answered that its
    // window did.
    bool askToComeForward();
    // What the running copy does when asked: brings its window forward and
    // says whether the desktop let it.
    void setComeForward(std::function<bool()> handler);

private:
    void socketReadyRead(QLocalSocket *socket);
    QString entry(const QString &folder, const QString &suffix) const;
    void release();

    QString name;
    QList<int> lockFds;
    QList<QLocalServer *> servers;
    // Where the running copy was found.
    QString runningIn;
    std::function<bool()> comeForward;
};

namespace closechannel
{

// The folders that hold the entries, first choice first: $XDG_RUNTIME_DIR/QL
// while the runtime folder is the user's own (not another user's, not
// missing), then the private folder beside the store, never one under /tmp.
QStringList folders();
// The first of them.
QString folder();
// The one beside the store: $XDG_CONFIG_HOME/QL/channel.
QString fallbackFolder();

// Sends "close" to every listener, in any of the folders, whose title (the entry name up to its
// last dot) contains `text`, case-sensitively, anywhere; waits at most 10 s for each one's
// "closed"; removes entries that nobody listens on. Returns the number of listeners that confirmed,
// each counted once.
int closeWindowsByTitle(const QString &text);

} // namespace closechannel
