#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// The reliability suites report what they tried and what came of it as rows of
// Markdown tables: one file per table in the folder named by $QUORLIN_FIGURES,
// when it is set. scripts/reliability.sh gathers them into docs/reliability.md.
namespace figures
{

inline void add(const QString &table, const QStringList &cells)
{
    const QString folder = qEnvironmentVariable("QUORLIN_FIGURES");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + table + QStringLiteral(".md"));
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    QStringList escaped;
    for (QString cell : cells)
        escaped.append(cell.replace(QLatin1Char('|'), QStringLiteral("\\|")));
    file.write(QStringLiteral("| %1 |\n").arg(escaped.join(QStringLiteral(" | "))).toUtf8());
}

} // namespace figures
