#include "TestHome.h"

#include <QDir>
#include <QFile>

TestHome::TestHome() : oldConfig(qgetenv("XDG_CONFIG_HOME")), oldRuntime(qgetenv("XDG_RUNTIME_DIR"))
{
    QDir(dir.path()).mkpath(QStringLiteral("config"));
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", configDir().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toLocal8Bit());
}

TestHome::~TestHome()
{
    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

QString TestHome::configDir() const
{
    return dir.path() + QStringLiteral("/config");
}

QString TestHome::runtimeDir() const
{
    return dir.path() + QStringLiteral("/run");
}

QString TestHome::storeFile() const
{
    return configDir() + QStringLiteral("/QL/QL.ini");
}

OtherStore::OtherStore(const QString &configDir) : oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir));
}

OtherStore::~OtherStore()
{
    qputenv("XDG_CONFIG_HOME", oldConfig);
}
