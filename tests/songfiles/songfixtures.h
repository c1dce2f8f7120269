// Song files for the editor tests, made by mido or by the container encoder.
#pragma once

#include <QByteArray>
#include <QString>

namespace SongFixtures {

// A four-bar song of SMF format 0 or 1 (tests/songfiles/song_tool.py).
QString makeMidi(const QString &folder, const QString &name, int format = 1);

// A container song: magic "_MF3", "_MF4" or "_MF5" over a compressed copy of
// a MIDI song; its header fields stay zero.
QString makeMfx(const QString &folder, const QString &name, const char *magic);

} // namespace SongFixtures
