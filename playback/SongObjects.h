// The two song objects: the song on the transport and the next song of a
// playlist, loaded ahead. Only the sound engine, their owner (StartedSong),
// the tools and the tests reach them here; the pages and the main window go
// through StartedSong, so that a load, an unload and the song file's reads
// and writes have one way.
#pragma once

#include "Song.h"

extern Song *currSong;
extern Song *nextSong;
