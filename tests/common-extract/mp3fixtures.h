// MP3 test files: audio from sox and lame, text blocks built here from their
// published layout.
#pragma once

#include "testutil.h"

#include <QByteArray>
#include <QString>

namespace Mp3Fixtures {

// "[mm:ss.hh]" of a time in hundredths of a second.
inline QByteArray stamp(int hundredths)
{
    const int ms = hundredths * 10;
    return QStringLiteral("[%1:%2.%3]")
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg(ms % 60000 / 1000, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000 / 10, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

// An own text block: NAME + "BEGININD0000211LYR", 5 length digits, CR LF, the
// data, the length + 50 in 5 digits, NAME + "200", CR LF.
inline QByteArray ownBlock(const char *name, const QByteArray &data)
{
    const QByteArray n(name);
    return n + "BEGININD0000211LYR" + QByteArray::number(data.size()).rightJustified(5, '0') + "\r\n" + data +
           QByteArray::number(data.size() + 50).rightJustified(5, '0') + n + "200\r\n";
}

// A Lyrics3 v2 block with an IND and a LYR field and its 6-digit trailer.
inline QByteArray lyrics3Block(const QByteArray &lyrics)
{
    const QByteArray body = "LYRICSBEGIN" "IND00002" "11" "LYR" +
                            QByteArray::number(lyrics.size()).rightJustified(5, '0') + lyrics;
    return body + QByteArray::number(body.size()).rightJustified(6, '0') + "LYRICS200";
}

// An ID3v2.3 header around body.
inline QByteArray id3Tag(const QByteArray &body)
{
    QByteArray h("ID3\3\0\0", 6);
    for (int shift : {21, 14, 7, 0})
        h.append(char((body.size() >> shift) & 0x7F));
    return h + body;
}

// 128 bytes of an ID3v1 tag.
inline QByteArray id3v1Tag()
{
    return "TAG" + QByteArray("Title").leftJustified(30, '\0') + QByteArray("Artist").leftJustified(30, '\0') +
           QByteArray(30, '\0') + "2020" + QByteArray(30, '\0') + char(12);
}

// A one-second tone from sox and lame in dir at the sample rate and bitrate
// given (bitrate 0: the WAV file). Empty when a tool failed.
inline QByteArray makeAudio(const QString &dir, int sampleRate, int kbps)
{
    const QString wav = QStringLiteral("%1/tone%2.wav").arg(dir).arg(sampleRate);
    const QString mp3 = QStringLiteral("%1/tone%2_%3.mp3").arg(dir).arg(sampleRate).arg(kbps);
    if (TestUtil::runProgram("sox", {"-n", "-r", QString::number(sampleRate), "-c", "2", "-b", "16", wav, "synth",
                                     "1", "sine", "440"}) != 0)
        return {};
    if (kbps == 0)
        return TestUtil::readFile(wav);
    if (TestUtil::runProgram("lame", {"--quiet", "-b", QString::number(kbps), wav, mp3}) != 0)
        return {};
    return TestUtil::readFile(mp3);
}

} // namespace Mp3Fixtures
