// Song files for the editor tests, made by mido or by the container encoder.
#pragma once

#include "LzhufTestEncoder.h"
#include "testutil.h"

#include <QDir>

namespace SongFixtures {

// A four-bar song of SMF format 0 or 1 (tests/songfiles/song_tool.py).
inline QString makeMidi(const QString &folder, const QString &name, int format = 1)
{
    const QString path = QDir(folder).filePath(name);
    TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"),
                        {QStringLiteral("make"), path, QString::number(format)});
    return path;
}

// magic "_MF3", "_MF4" or "_MF5" with zero fields over a compressed MIDI song.
inline QString makeMfx(const QString &folder, const QString &name, const QByteArray &magic)
{
    const QByteArray midi = TestUtil::readFile(makeMidi(folder, QStringLiteral("payload.mid"), 0));
    const QString path = QDir(folder).filePath(name);
    TestUtil::writeFile(path, LzhufTestEncoder::container(magic.constData(), midi));
    QFile::remove(QDir(folder).filePath(QStringLiteral("payload.mid")));
    return path;
}

} // namespace SongFixtures
