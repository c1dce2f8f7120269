// Creators of the concrete editors, one per file so each editor links on its own.
#pragma once

class SongRW;

SongRW *newMidiRW();
SongRW *newMfxRW();
SongRW *newMp3RW();   // null until the MP3 editor is built in
