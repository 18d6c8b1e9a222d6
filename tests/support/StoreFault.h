#pragma once

#include "FullDisk.h"

#include <QProcess>
#include <QString>
#include <memory>

// One way for every write to the current user's store to fail, set up for as
// long as the object lives; afterwards the store is as it was.
class StoreFault
{
public:
    enum Kind {
        // The store's folder moved aside and a plain file put in its place.
        FolderReplaced,
        // No room left on the store's file system.
        DiskFull,
        // The store's folder takes no new file and no new link.
        NoNewNames,
        // The store file may grow by `room` bytes at most: one key written
        // alone still fits, a whole action does not.
        LittleRoom,
        // Another process holds the writers' lock and does not let go.
        LockHeld,
        // The store file made read-only (mode 0444); only root writes it then.
        ReadOnlyFile,
        // The store file moved aside, and in its place something that is no
        // plain file: a named pipe that no process writes,
        NamedPipe,
        // a symbolic link to /dev/zero, which never ends,
        LinkToZero,
        // a symbolic link to /dev/null,
        LinkToNull,
        // or an empty folder.
        FolderInPlace,
    };

    explicit StoreFault(Kind kind, qint64 room = 0);
    ~StoreFault();
    StoreFault(const StoreFault &) = delete;
    StoreFault &operator=(const StoreFault &) = delete;

    // False when this machine cannot make the fault.
    bool isSet() const { return set; }
    // How the fault was made, for the test's figures.
    QString how() const;

private:
    bool replaceFolder();
    bool replaceFile();
    bool holdLock();

    QString folder;
    Kind kind;
    bool set = false;
    // The store file was there and is moved aside; something else is in its place.
    bool fileMoved = false;
    bool fileReplaced = false;
    std::unique_ptr<FullDisk> disk;
    std::unique_ptr<FileSizeCap> cap;
    std::unique_ptr<QProcess> holder;
};
