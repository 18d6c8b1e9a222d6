#include "Unprivileged.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>
#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace unprivileged
{

namespace
{

const char *const UserName = "quorlin-desk";
const char *const CopiesVariable = "QUORLIN_UNPRIVILEGED_COPIES";

// Gives `path` to the user, readable and runnable by it alone.
bool handOver(const QString &path, const passwd &user, bool program)
{
    const QByteArray name = QFile::encodeName(path);
    return ::chown(name.constData(), user.pw_uid, user.pw_gid) == 0 &&
           QFile::setPermissions(path,
                                 program ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadGroup | QFile::ExeGroup |
                                               QFile::ReadOther | QFile::ExeOther
                                         : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The sanitizers' options name suppression files that may lie out of the
// user's reach: those go into `folder` too.
QByteArray movedSuppressions(const QByteArray &options, const QString &folder, const passwd &user)
{
    QList<QByteArray> parts = options.split(':');
    for (QByteArray &part : parts) {
        if (!part.startsWith("suppressions="))
            continue;
        const QString from = QFile::decodeName(part.mid(int(qstrlen("suppressions="))));
        const QString to =
            folder + QLatin1Char('/') + QFileInfo(from).fileName() + QString::number(qHash(from));
        if (QFile::copy(from, to) && handOver(to, user, false))
            part = "suppressions=" + QFile::encodeName(to);
    }
    return parts.join(':');
}

// The environment of the copy run as the user: its own home, settings and
// runtime folders, its copies, and the sanitizers' files. Its figures are
// reported by the test that runs it.
QList<QByteArray> userEnvironment(const QString &folder, const passwd &user)
{
    QList<QByteArray> entries;
    for (char **entry = environ; *entry; ++entry) {
        const QByteArray text(*entry);
        const QByteArray name = text.left(text.indexOf('='));
        if (name == "HOME" || name == "XDG_CONFIG_HOME" || name == "XDG_RUNTIME_DIR" ||
            name == CopiesVariable || name == "QUORLIN_FIGURES")
            continue;
        if (name.endsWith("SAN_OPTIONS"))
            entries.append(name + '=' + movedSuppressions(text.mid(name.size() + 1), folder, user));
        else
            entries.append(text);
    }
    const QByteArray base = QFile::encodeName(folder);
    entries.append("HOME=" + base);
    entries.append("XDG_CONFIG_HOME=" + base + "/config");
    entries.append("XDG_RUNTIME_DIR=" + base + "/run");
    entries.append(QByteArray(CopiesVariable) + '=' + base);
    return entries;
}

} // namespace

int runCopy(const QStringList &arguments, const QStringList &programs)
{
    if (::getuid() != 0)
        return -1;
    if (!::getpwnam(UserName)) {
        const QByteArray make = QByteArray("useradd --system --no-create-home --shell "
                                           "/usr/sbin/nologin ") +
                                UserName;
        if (std::system(make.constData()) != 0)
            return 125;
    }
    const passwd *found = ::getpwnam(UserName);
    if (!found)
        return 125;
    const passwd user = *found;

    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quorlin-user-XXXXXX"));
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString copy = folder.path() + QLatin1Char('/') + QFileInfo(self).fileName();
    bool ready = folder.isValid() && handOver(folder.path(), user, false) &&
                 QFile::copy(self, copy) && handOver(copy, user, true);
    for (const QString &program : programs) {
        const QString to = folder.path() + QLatin1Char('/') + QFileInfo(program).fileName();
        ready = ready && QFile::copy(program, to) && handOver(to, user, true);
    }
    for (const QString &sub : {QStringLiteral("config"), QStringLiteral("run")}) {
        ready = ready && QDir(folder.path()).mkdir(sub) &&
                handOver(folder.path() + QLatin1Char('/') + sub, user, false);
    }
    if (!ready)
        return 125;

    QList<QByteArray> environment = userEnvironment(folder.path(), user);
    std::vector<char *> envp;
    for (QByteArray &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    QByteArray path = QFile::encodeName(copy);
    QList<QByteArray> argumentTexts;
    for (const QString &argument : arguments)
        argumentTexts.append(argument.toLocal8Bit());
    std::vector<char *> args{path.data()};
    for (QByteArray &argument : argumentTexts)
        args.push_back(argument.data());
    args.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::setgroups(0, nullptr) != 0 || ::setgid(user.pw_gid) != 0 ||
            ::setuid(user.pw_uid) != 0)
            ::_exit(125);
        ::execve(path.constData(), args.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return 125;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QString copiesFolder()
{
    return qEnvironmentVariable(CopiesVariable);
}

} // namespace unprivileged
