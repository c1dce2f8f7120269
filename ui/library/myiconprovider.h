// Icons of the file browser's drive and file views: drives, folders, MP3 and
// MIDI files, anything else.
#pragma once

#include <QFileIconProvider>
#include <QIcon>

class myIconProvider : public QFileIconProvider
{
public:
    myIconProvider();
    QIcon icon(const QFileInfo &info) const override;
    using QFileIconProvider::icon;

private:
    QIcon folderIcon;
    QIcon driveIcon;
    QIcon fileIcon;
    QIcon mp3Icon;
    QIcon midiIcon;
};
