#include "songtexts.h"

#include <QCoreApplication>

QString SongTexts::shown(const QString &stored)
{
    return stored == QLatin1String("<UNKNOWN>") ? QCoreApplication::translate("SongTexts", "<UNKNOWN>") : stored;
}
