#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QSettings;

// The per-user settings store that both programs share: section -> key -> text,
// kept in $XDG_CONFIG_HOME/QL/QL.ini. Every operation is one locked step on the
// file, so the other program sees it at its next read. A change either replaces
// the file whole or leaves no trace in any later read, of either program; a
// writer waits a few seconds at most for another writer's lock, then fails.
class Store
{
public:
    // The store of the current user, under the application name "QL".
    Store();
    // A store kept in the given file (benchmarks and tools; tests use the default).
    explicit Store(const QString &filePath);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // The stored text; `fallback` when the key or its section is absent.
    // A stored empty value reads as the empty string. Never creates anything.
    QString read(const QString &section, const QString &key, const QString &fallback = {}) const;
    // Stores the value, creating section and key as needed. False when the
    // file could not be written.
    bool write(const QString &section, const QString &key, const QString &value);
    // Several writes and removals saved as one change of the file, in the order
    // given: the other program reads the store before or after all of them.
    // Removing what is not there changes nothing.
    class Change
    {
    public:
        void write(const QString &section, const QString &key, const QString &value)
        {
            steps.append({Kind::Write, section, key, value});
        }
        void removeKey(const QString &section, const QString &key)
        {
            steps.append({Kind::RemoveKey, section, key, {}});
        }
        void removeSection(const QString &section)
        {
            steps.append({Kind::RemoveSection, section, {}, {}});
        }

    private:
        friend class Store;
        enum class Kind { Write, RemoveKey, RemoveSection };
        struct Step {
            Kind kind;
            QString section;
            QString key;
            QString value;
        };
        QList<Step> steps;
    };
    // Saves the whole change. False, the file left as it was, when it could
    // not be saved.
    bool apply(const Change &change);
    // Removes one key. False when it does not exist or the file could not be written.
    bool removeKey(const QString &section, const QString &key);
    // Removes a section with all its keys. False when it holds no key or the
    // file could not be written.
    bool removeSection(const QString &section);

    QString filePath() const { return path; }
    // Makes the store's folder (0700) when it is missing. False when it cannot.
    bool prepareFolder() const;

    // The file of the current user's store: $XDG_CONFIG_HOME/QL/QL.ini.
    static QString defaultFilePath();
    // A section name as handed to QSettings, which takes '/' as a group separator.
    static QString escapeSection(const QString &section);
    static QString unescapeSection(const QString &escaped);

private:
    // Identity of the file's current version: a write by either program
    // replaces the file, which changes at least one of these.
    struct Stamp {
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const Stamp &) const = default;
    };

    // Whether the file holds lines damaged by hand, and their removal; the
    // latter only while the writers' lock is held.
    bool hasRunawayLines() const;
    bool repairLocked() const;
    // One change of the file: made and saved while no other writer runs.
    bool edit(const std::function<bool(QSettings &)> &change);
    Stamp currentStamp() const;
    // The settings as the file holds them now; the file is parsed again only
    // when it has changed since the last read.
    const QSettings &current() const;

    QString path;
    mutable std::unique_ptr<QSettings> reader;
    mutable Stamp readerStamp;
};
