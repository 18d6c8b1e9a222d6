#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh, empty home for one test: $XDG_CONFIG_HOME (the settings store) and
// $XDG_RUNTIME_DIR (the close-request channel) point into a temporary folder
// for as long as the object lives. Processes started meanwhile inherit both.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    QString configDir() const;
    QString runtimeDir() const;
    // $XDG_CONFIG_HOME/QL/QL.ini
    QString storeFile() const;

private:
    QTemporaryDir dir;
    QByteArray oldConfig;
    QByteArray oldRuntime;
};

// For as long as it lives, this process is a program of the store under
// `configDir` ($XDG_CONFIG_HOME points there): for the channel, the store of
// another home.
class OtherStore
{
public:
    explicit OtherStore(const QString &configDir);
    ~OtherStore();
    OtherStore(const OtherStore &) = delete;
    OtherStore &operator=(const OtherStore &) = delete;

private:
    QByteArray oldConfig;
};
