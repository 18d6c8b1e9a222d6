#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

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
