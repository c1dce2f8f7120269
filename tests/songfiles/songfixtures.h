// Song files for the editor tests, made by mido or by the container encoder.
#pragma once

#include "LzhufTestEncoder.h"
#include "testutil.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace SongFixtures {

// A four-bar song of SMF format 0 or 1 (tests/songfiles/song_tool.py); a
// shift other than 0 makes another song, its keys that much higher.
inline QString makeMidi(const QString &folder, const QString &name, int format = 1, int shift = 0)
{
    const QString path = QDir(folder).filePath(name);
    TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"),
                        {QStringLiteral("make"), path, QString::number(format), QString::number(shift)});
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

// mido's strict reading of edited against original: its tracks, head metas
// and whether its notes are original's (tests/songfiles/song_tool.py check).
inline QJsonObject mido(const QString &original, const QString &edited)
{
    return QJsonDocument::fromJson(TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"),
                                                       {QStringLiteral("check"), original, edited}))
        .object();
}

// Per track, how many settings records of each command mido finds, as JSON.
inline QString settingsRecords(const QString &path)
{
    return QString::fromLatin1(
        TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"), {QStringLiteral("records"), path}));
}

} // namespace SongFixtures
