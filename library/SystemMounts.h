// File systems that hold no songs: the kernel's and memory's own (proc,
// sysfs, devtmpfs, cgroup and the like) and the system's tmpfs under /dev,
// /run, /sys and /proc. Walking them never ends (/proc holds a folder per
// process) or fills the log with folders nobody may read, so neither the
// drive list nor the drive index ever enters them.
#pragma once

#include <QString>
#include <QStringList>

namespace SystemMounts {

// True for a file system of `type` mounted at `mountPoint` that is one of
// the above.
bool isPseudo(const QString &type, const QString &mountPoint);

// The mount points of such file systems, read from a table in the format of
// /proc/self/mounts ("device mount-point type options 0 0", spaces in names
// written as \040); where there is no such table, from the mounted volumes.
QStringList pseudoMountPoints(const QString &mountTable = QStringLiteral("/proc/self/mounts"));

} // namespace SystemMounts
