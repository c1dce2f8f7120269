// The file browser: the drives beside the chosen folder's song files, and the
// drive index that a drive click fills in the background.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "indexDriveThread.h"
#include "SystemMounts.h"
#include "myiconprovider.h"

#include <QDebug>
#include <QDir>
#include <QFileSystemModel>
#include <QMenu>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStorageInfo>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

// Kernel and memory file systems hold no songs, and walking them never
// ends; nor do memory disks and system images.
bool isSongVolume(const QStorageInfo &volume)
{
    const QString root = volume.rootPath();
    if (!volume.isValid() || !volume.isReady() || !QFileInfo(root).isDir())
        return false;
    const QString type = QString::fromLatin1(volume.fileSystemType());
    if (SystemMounts::isPseudo(type, root) || type == QLatin1String("tmpfs")
        || type == QLatin1String("ramfs") || type == QLatin1String("squashfs"))
        return false;
    return root != QLatin1String("/snap") && !root.startsWith(QLatin1String("/snap/"));
}

} // namespace

QString libraryView::desktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

void libraryView::setDrivesRoot(const QString &folder)
{
    drivesModel->clear();
    QList<QPair<QString, QString>> drives; // name, path
    if (!folder.isEmpty()) {
        const QDir root(folder);
        for (const QFileInfo &info : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            drives.append({info.fileName(), info.absoluteFilePath()});
    } else {
        for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
            if (!isSongVolume(volume))
                continue;
            const QString label = volume.name().isEmpty()
                                      ? QFileInfo(volume.rootPath()).fileName()
                                      : volume.name();
            drives.append({volume.isRoot() ? volume.rootPath() : label, volume.rootPath()});
        }
    }
    for (const auto &drive : drives) {
        auto *item = new QStandardItem(iconProvider->icon(QFileIconProvider::Drive), drive.first);
        item->setData(drive.second, kPathRole);
        item->setToolTip(drive.second);
        item->setEditable(false);
        drivesModel->appendRow(item);
    }
    // None is chosen until the page is first shown or a drive is clicked.
    ui->drivesLV->setCurrentIndex(QModelIndex());
}

void libraryView::showCurrentDrive()
{
    QModelIndex current = ui->drivesLV->currentIndex();
    if (!current.isValid()) {
        // The first visit indexes the whole disk where it is listed, else the
        // first drive: the search finds what the list offers without a click.
        const QModelIndexList root = drivesModel->match(drivesModel->index(0, 0), kPathRole, QDir::rootPath(), 1,
                                                        Qt::MatchExactly);
        current = root.isEmpty() ? drivesModel->index(0, 0) : root.first();
        ui->drivesLV->setCurrentIndex(current);
    }
    if (current.isValid())
        openDrive(current);
    else
        showFolder(folderModel->rootPath());
}

void libraryView::openDrive(const QModelIndex &index)
{
    const QString path = index.data(kPathRole).toString();
    if (path.isEmpty())
        return;
    qDebug().noquote() << path;
    indexedDrive = index.data(Qt::DisplayRole).toString();
    // The same drive again is not indexed again.
    if (indexThread->setPath(path)) {
        indexing = true;
        indexedSongs = 0;
        updateLoading();
    }
    ui->searchText->clear();
    // The whole system disk is no place to browse from: its index is kept,
    // the user starts from the desktop.
    showFolder(path == QDir::rootPath() ? desktopFolder() : path);
}

void libraryView::showFolder(const QString &folder)
{
    ui->filesLV->setRootIndex(folderModel->setRootPath(folder));
    updatePath();
}

void libraryView::openFileEntry(const QModelIndex &index)
{
    const QFileInfo info = folderModel->fileInfo(index);
    const QString path = info.canonicalFilePath();
    qDebug().noquote() << path;
    if (path.isEmpty())
        return;
    if (info.isDir())
        showFolder(path);
    else
        emit startSongPath(path, -1);
}

void libraryView::folderUp()
{
    QDir folder = folderModel->rootDirectory();
    folder.cdUp();
    showFolder(folder.absolutePath());
}

void libraryView::updatePath()
{
    if (!folderModel)
        return;
    const QString full = folderModel->rootPath();
    const int width = ui->PlayListHead->width() - ui->path->x() - 10;
    ui->path->setText(QFontMetrics(ui->path->font()).elidedText(full, Qt::ElideLeft, width));
    ui->path->setToolTip(full);
}

void libraryView::showFilesMenu(const QPoint &pos)
{
    QMenu menu(this);
    menu.addAction(ui->actionRemove);
    menu.exec(ui->filesLV->viewport()->mapToGlobal(pos));
}

void libraryView::playFoundFile(const QModelIndex &index)
{
    const QSqlRecord row = indexModel->record(index.row());
    const QString path = row.value(QStringLiteral("path")).toString() +
                         row.value(QStringLiteral("file")).toString();
    if (!path.isEmpty())
        emit startSongPath(path, -1);
}
