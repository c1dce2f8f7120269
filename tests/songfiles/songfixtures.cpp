#include "songfixtures.h"

#include "LzhufTestEncoder.h"
#include "testutil.h"

#include <QDir>

namespace SongFixtures {

QString makeMidi(const QString &folder, const QString &name, int format)
{
    const QString path = QDir(folder).filePath(name);
    TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"),
                        {QStringLiteral("make"), path, QString::number(format)});
    return path;
}

QString makeMfx(const QString &folder, const QString &name, const char *magic)
{
    const QByteArray midi = TestUtil::readFile(makeMidi(folder, QStringLiteral("payload.mid"), 0));
    const QString path = QDir(folder).filePath(name);
    TestUtil::writeFile(path, LzhufTestEncoder::container(magic, midi));
    return path;
}

} // namespace SongFixtures
