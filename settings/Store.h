#pragma once

#include "StoreFile.h"
#include "StoreReading.h"

#include <QList>
#include <QString>
#include <functional>

struct stat;

// The per-user settings store that both programs share: section -> key -> text,
// kept in $XDG_CONFIG_HOME/QL/QL.ini. Every operation is one locked step on the
// file, so the other program sees it at its next read. A change either replaces
// the file whole or leaves no trace in any later read, of either program; a
// writer waits a few seconds at most for another writer's lock, then fails.
class Store : public StoreReading
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
    QString read(const QString &section, const QString &key,
                 const QString &fallback = {}) const override;
    // The store as the file at its path holds it now, looked at once: reads
    // through it all come from that one version, as long as nothing is read
    // or written through the store itself meanwhile. Empty when the file
    // cannot be read. Each look, as each read() above, finds the file by its
    // path anew: a caller that reads many keys reads them through one look.
    const StoreReading &current() const;
    // Stores the value, creating section and key as needed. False when the
    // file could not be written.
    bool write(const QString &section, const QString &key, const QString &value);
    // Several writes and removals saved as one change of the file, in the order
    // given: the other program reads the store before or after all of them.
    // Removing what is not there changes nothing; a change that changes
    // nothing succeeds without rewriting the file.
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
        // Makes the steps in `contents`; true when that changed anything.
        bool makeIn(storefile::Contents &contents) const;
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
    // A change made from the store as the file holds it under the writers'
    // lock: `plan` reads it through `now` and fills `change`, or returns false
    // to write nothing. False, the file left as it was, when the plan refused
    // or the change could not be saved.
    using Plan = std::function<bool(const StoreReading &now, Change &change)>;
    bool update(const Plan &plan);
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
    // A section name as QSettings takes it, which reads '/' as a group separator.
    static QString escapeSection(const QString &section)
    {
        return storefile::escapeSection(section);
    }
    static QString unescapeSection(const QString &escaped)
    {
        return storefile::unescapeSection(escaped);
    }

private:
    // Identity of one version of the file. Every save puts a new file in
    // place with a later modification time, so no two versions look alike.
    struct Stamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const struct stat &info);
    // What an edit of the contents did.
    enum class Edit { Refused, Unchanged, Changed };

    // Brings the cached contents up to the version of the file now at the
    // store's path: the path is looked up anew each time, so that a folder or
    // a link on the way that was moved or pointed elsewhere since the last
    // look is seen. False when something is there but cannot be read as the
    // store: a file the user may not read, or no plain file at all (a named
    // pipe, a device, a folder).
    bool refresh() const;
    // Opens the version of the file now in place, without waiting for
    // anything, and keeps it as the one the contents stand for. False when
    // it cannot be opened or is no plain file.
    bool keepCurrentVersion() const;
    // One change of the file under the writers' lock: `change` edits its
    // contents, and the file is rewritten whole when they changed.
    bool edit(const std::function<Edit(storefile::Contents &)> &change);
    bool save(const QString &target, const QByteArray &text) const;

    // Drops the cached contents and closes the version they were read from.
    void forget() const;

    QString path;
    QByteArray encodedPath;
    // The open version of the file the contents were read from. Kept open,
    // it keeps its inode number from going to a file made after it, so that
    // a file at the path with the same stamp is this very version.
    mutable int kept = -1;
    mutable storefile::Contents contents;
    mutable Stamp stamp;
    mutable bool loaded = false;
};
