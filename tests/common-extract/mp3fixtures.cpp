#include "mp3fixtures.h"

#include "testutil.h"

namespace Mp3Fixtures {

QByteArray stamp(int hundredths)
{
    const int ms = hundredths * 10;
    return QStringLiteral("[%1:%2.%3]")
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg(ms % 60000 / 1000, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000 / 10, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

QByteArray ownBlock(const char *name, const QByteArray &data)
{
    const QByteArray n(name);
    return n + "BEGININD0000211LYR" + QByteArray::number(data.size()).rightJustified(5, '0') +
           "\r\n" + data + QByteArray::number(data.size() + 50).rightJustified(5, '0') + n +
           "200\r\n";
}

QByteArray lyrics3Block(const QByteArray &lyrics)
{
    const QByteArray fields = "IND00002" "11" "LYR" +
                              QByteArray::number(lyrics.size()).rightJustified(5, '0') + lyrics;
    const QByteArray body = "LYRICSBEGIN" + fields;
    return body + QByteArray::number(body.size()).rightJustified(6, '0') + "LYRICS200";
}

QByteArray id3Tag(const QByteArray &body, int major)
{
    QByteArray h("ID3");
    h.append(char(major)).append('\0').append('\0');
    const int n = body.size();
    for (int shift : {21, 14, 7, 0})
        h.append(char((n >> shift) & 0x7F));
    return h + body;
}

QByteArray id3v1Tag()
{
    QByteArray t = "TAG" + QByteArray("Title").leftJustified(30, '\0') +
                   QByteArray("Artist").leftJustified(30, '\0') + QByteArray(30, '\0') +
                   "2020" + QByteArray(30, '\0');
    t.append(char(12));
    return t;
}

QByteArray makeAudio(const QString &dir, int sampleRate, int kbps, double seconds)
{
    const QString wav = QStringLiteral("%1/tone%2.wav").arg(dir).arg(sampleRate);
    if (TestUtil::runProgram(QStringLiteral("sox"),
                             {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(sampleRate),
                              QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                              QStringLiteral("16"), wav, QStringLiteral("synth"),
                              QString::number(seconds), QStringLiteral("sine"),
                              QStringLiteral("440")}) != 0)
        return {};
    if (kbps == 0)
        return TestUtil::readFile(wav);
    const QString mp3 = QStringLiteral("%1/tone%2_%3.mp3").arg(dir).arg(sampleRate).arg(kbps);
    if (TestUtil::runProgram(QStringLiteral("lame"),
                             {QStringLiteral("--quiet"), QStringLiteral("-b"), QString::number(kbps),
                              wav, mp3}) != 0)
        return {};
    return TestUtil::readFile(mp3);
}

} // namespace Mp3Fixtures
