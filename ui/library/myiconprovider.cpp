#include "myiconprovider.h"

#include <QFileInfo>

myIconProvider::myIconProvider()
    : folderIcon(QStringLiteral(":/icon2x/folder-sad.png")),
      driveIcon(QStringLiteral(":/icon2x/hddIcon.png")),
      fileIcon(QStringLiteral(":/icon2x/File - Generic.png")),
      mp3Icon(QStringLiteral(":/icon2x/mp3_icon.png")),
      midiIcon(QStringLiteral(":/icon2x/midi_icon.png"))
{
}

QIcon myIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return driveIcon;
    if (info.isDir())
        return folderIcon;
    const QString suffix = info.suffix();
    if (suffix.compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0)
        return mp3Icon;
    if (suffix.compare(QLatin1String("mid"), Qt::CaseInsensitive) == 0)
        return midiIcon;
    return fileIcon;
}
