#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

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

// One running copy of a program per store. The first start holds a lock in
// each of the channel's folders it can use and listens beside it
// ("<name>-lock", "<name>-window": no dot, so no close request ever picks
// them); a later start finds a lock taken and hands its request to the
// running copy there instead of running itself. A request is one short line
// that names what to do, and carries nothing else; the running copy answers
// with one line.
class SoleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SoleInstance(const QString &name, QObject *parent = nullptr);
    ~SoleInstance() override;

    // False when another copy runs. Otherwise this copy holds the locks until
    // it ends (or lets go) and answers later starts; also when no folder can
    // be used, since then nothing can tell whether another copy runs.
    bool claim();
    // Lets go of the locks and stops answering, so that a copy started now
    // can run.
    void release();

    enum class Reached {
        // Nobody listens: no copy runs.
        Nobody,
        // A copy took the connection and did not answer in time.
        Silent,
        Answered,
    };
    struct Answer {
        Reached reached;
        QByteArray line;
    };
    // After claim() has found another copy: hands it `request` and waits (at
    // most 10 s in all) for its answer, also while it is still starting.
    Answer ask(const QByteArray &request) const;
    // Without claiming anything: hands `request` to a copy that listens in
    // one of the folders, if one does.
    Answer askRunning(const QByteArray &request) const;

    // What the running copy does with a request: the line to answer, none
    // for a request it does not know.
    using RequestHandler = std::function<QByteArray(const QByteArray &request)>;
    void setRequestHandler(RequestHandler handler);

private:
    void socketReadyRead(QLocalSocket *socket);
    QString entry(const QString &folder, const QString &suffix) const;

    QString name;
    QList<int> lockFds;
    QList<QLocalServer *> servers;
    // Where the running copy was found.
    QString runningIn;
    RequestHandler handleRequest;
};

namespace closechannel
{

// The folders that hold the entries of this store's programs, first choice
// first: $XDG_RUNTIME_DIR/QL/<store> while the runtime folder is the user's
// own (not another user's, not missing), then the private folder beside the
// store, never one under /tmp.
QStringList folders();
// The store's name among the user's stores in the runtime folder: a hash of
// the store file's path.
QString storeIdentity();
// The first of them.
QString folder();
// The one beside the store: $XDG_CONFIG_HOME/QL/channel.
QString fallbackFolder();

// Sends "close" to every listener, in any of the folders, whose title (the entry name up to its
// last dot) contains `text`, case-sensitively, anywhere; waits at most 10 s for each one's
// "closed"; removes entries that nobody listens on. A listener that took the request and did not
// confirm in time is ended (see PeerProcess), when it is this user's process of the program the
// title names. Returns the number of listeners that confirmed, each counted once.
int closeWindowsByTitle(const QString &text);

} // namespace closechannel
