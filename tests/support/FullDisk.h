#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <sys/resource.h>

// Files of the whole process may grow to `bytes` at most while the object
// lives: a write past that fails with "file too large".
class FileSizeCap
{
public:
    explicit FileSizeCap(qint64 bytes);
    ~FileSizeCap();
    FileSizeCap(const FileSizeCap &) = delete;
    FileSizeCap &operator=(const FileSizeCap &) = delete;

    bool isSet() const { return set; }

private:
    bool set = false;
    struct rlimit oldLimit {
    };
    void (*oldHandler)(int) = nullptr;
};

// A full disk under a folder, for as long as the object lives. Where the test
// may mount (it runs as root), a small tmpfs goes over the folder, in a mount
// namespace of the test's own thread so that nothing outside the test sees it;
// it holds a copy of the folder's files and fillers that take the rest of the
// room, so writes fail with "no space left on device". Room runs out either
// for data (Space) or for new files (Names: every inode in use, so that the
// folder takes neither a new file nor a new link to an old one). Elsewhere, for
// Space only, a file-size limit of zero for the whole process stands in: every
// write to a file fails with "file too large". Either way the folder's real
// files stay as they were.
class FullDisk
{
public:
    enum Exhausted { Space, Names };

    explicit FullDisk(const QString &folder, Exhausted what = Space);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // False when neither way could be set up.
    bool isFull() const { return mounted || (capped && capped->isSet()); }
    // How the disk was filled, for the test's figures.
    QString how() const;

private:
    bool mountFull();

    QByteArray folder;
    Exhausted what;
    bool mounted = false;
    std::unique_ptr<FileSizeCap> capped;
};
