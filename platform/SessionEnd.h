#pragma once

#include <QObject>

class QSocketNotifier;

// The end of the desktop session as the program sees it: at log-off the
// session sends SIGTERM (a terminal SIGHUP or SIGINT), and an X11 session
// manager asks the application to quit. Each of these is reported once, on
// the event loop, as ending(), so that the program can unload as its own Exit
// does instead of dying with its icon and channel entry left behind.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd &) = delete;
    SessionEnd &operator=(const SessionEnd &) = delete;

signals:
    void ending();

private:
    void signalArrived();

    QSocketNotifier *notifier = nullptr;
};
