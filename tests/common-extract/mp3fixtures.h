// MP3 test files: audio from sox and lame, text blocks built here from their
// published layout.
#pragma once

#include <QByteArray>
#include <QString>

namespace Mp3Fixtures {

// "[mm:ss.hh]" of a time in hundredths of a second.
QByteArray stamp(int hundredths);
// An own text block: NAME + "BEGININD0000211LYR", 5 length digits, CR LF, the
// data, the length + 50 in 5 digits, NAME + "200", CR LF.
QByteArray ownBlock(const char *name, const QByteArray &data);
// A Lyrics3 v2 block with an IND and a LYR field and its 6-digit trailer.
QByteArray lyrics3Block(const QByteArray &lyrics);
// An ID3v2 header of the given major version around body.
QByteArray id3Tag(const QByteArray &body, int major = 3);
// 128 bytes of an ID3v1 tag.
QByteArray id3v1Tag();

// Runs sox and lame in dir: a one-second tone at the sample rate and bitrate
// given (bitrate 0: the WAV file). Empty when a tool failed.
QByteArray makeAudio(const QString &dir, int sampleRate, int kbps, double seconds = 1.0);

} // namespace Mp3Fixtures
