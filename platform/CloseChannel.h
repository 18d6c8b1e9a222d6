#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The close-request channel between config and running checkers. Each checker
// listens on a local socket in $XDG_RUNTIME_DIR/QL/ (or /tmp/QL-<uid>/), named
// "<title>.<pid>"; a request writes the line "close" and waits for "closed".

// The checker's side.
class CloseListener : public QObject
{
    Q_OBJECT

public:
    explicit CloseListener(const QString &title, QObject *parent = nullptr);
    ~CloseListener() override;

    // Starts listening as "<title>.<pid>". False when the entry cannot be made.
    bool listen();
    // Answers "closed" to the pending request (call once the icon is gone).
    void reply();

signals:
    // A "close" line arrived.
    void closeRequested();

private:
    void serverNewConnection();
    void socketReadyRead(QLocalSocket *socket);

    QString title;
    QLocalServer *server = nullptr;
    // Every connection that asked to close; each gets the "closed" line.
    QList<QPointer<QLocalSocket>> requesters;
};

// One running copy of a program per user. The first start holds a lock in the
// channel's folder and listens beside it ("<name>-lock", "<name>-window": no
// dot, so no close request ever picks them); a later start finds the lock
// taken and asks the running copy to come forward instead of running itself.
class SoleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SoleInstance(const QString &name, QObject *parent = nullptr);
    ~SoleInstance() override;

    // False when another copy runs. Otherwise this copy holds the lock until
    // it ends and answers later starts; also when the folder cannot be used,
    // since then nothing can tell whether another copy runs.
    bool claim();
    // Asks the running copy to come forward; true when it answered that its
    // window did.
    bool askToComeForward();
    // What the running copy does when asked: brings its window forward and
    // says whether the desktop let it.
    void setComeForward(std::function<bool()> handler);

private:
    void serverNewConnection();
    void socketReadyRead(QLocalSocket *socket);
    QString entry(const QString &suffix) const;

    QString name;
    int lockFd = -1;
    QLocalServer *server = nullptr;
    std::function<bool()> comeForward;
};

namespace closechannel
{

// The per-user folder that holds the listeners' entries.
QString folder();

// Sends "close" to every listener whose title (the entry name up to its last
// dot) contains `text`, case-sensitively, anywhere; waits at most 10 s for each
// one's "closed"; removes entries that nobody listens on. Returns the number of
// listeners that confirmed.
int closeWindowsByTitle(const QString &text);

} // namespace closechannel
