#include "SystemMounts.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

namespace {

// The names in a mount table escape blanks and backslashes as three octal
// digits after a backslash.
QString unescaped(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field.at(i);
    }
    return QFile::decodeName(out);
}

} // namespace

bool SystemMounts::isPseudo(const QString &type, const QString &mountPoint)
{
    static const QStringList kernel{"proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2",
                                    "mqueue", "debugfs", "tracefs", "securityfs", "pstore", "bpf",
                                    "autofs", "hugetlbfs", "fusectl", "configfs", "binfmt_misc",
                                    "nsfs", "efivarfs", "rpc_pipefs", "selinuxfs", "fuse.gvfsd-fuse",
                                    "fuse.portal"};
    if (kernel.contains(type))
        return true;
    if (type != QLatin1String("tmpfs") && type != QLatin1String("ramfs"))
        return false;
    static const QStringList system{"/dev", "/run", "/sys", "/proc"};
    for (const QString &s : system) {
        if (mountPoint == s || mountPoint.startsWith(s + QLatin1Char('/')))
            return true;
    }
    return false;
}

QStringList SystemMounts::pseudoMountPoints(const QString &mountTable)
{
    QStringList points;
    QFile table(mountTable);
    if (table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // The kernel's tables report a size of 0, so atEnd() holds before the
        // first line: read until a read gives nothing.
        for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 3)
                continue;
            const QString point = QDir::cleanPath(unescaped(fields.at(1)));
            if (isPseudo(QString::fromLatin1(fields.at(2)), point) && !points.contains(point))
                points << point;
        }
        return points;
    }
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString point = QDir::cleanPath(volume.rootPath());
        if (isPseudo(QString::fromLatin1(volume.fileSystemType()), point) && !points.contains(point))
            points << point;
    }
    return points;
}
