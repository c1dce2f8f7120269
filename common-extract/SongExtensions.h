// Suffixes of the song files the program plays (upper case).
#pragma once

#include <QStringList>

// Internal linkage on purpose: each including module holds its own copy.
static const QStringList SONG_EXTENSIONS_MIDI = {"MIDI", "MID", "KAR", "MF3", "MF4", "MF5"};
static const QStringList SONG_EXTENSIONS_MP3 = {"MP3"};
