#pragma once

#include <QByteArray>
#include <QString>
#include <sys/resource.h>

// A full disk under a folder, for as long as the object lives. Where the test
// may mount (it runs as root), a 64 KiB tmpfs goes over the folder, in a mount
// namespace of the test's own thread so that nothing outside the test sees it;
// it holds a copy of the folder's files and a filler that takes the rest of the
// room, so writes fail with "no space left on device". Elsewhere a file-size
// limit of zero for the whole process stands in: every write to a file fails
// with "file too large". Either way the folder's real files stay as they were.
class FullDisk
{
public:
    explicit FullDisk(const QString &folder);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // False when neither way could be set up.
    bool isFull() const { return mounted || limited; }
    // How the disk was filled, for the test's figures.
    QString how() const;

private:
    bool mountFull();
    bool limitFileSize();

    QByteArray folder;
    bool mounted = false;
    bool limited = false;
    struct rlimit oldLimit {
    };
    void (*oldHandler)(int) = nullptr;
};
