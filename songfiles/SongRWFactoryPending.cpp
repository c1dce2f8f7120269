#include "SongRWFactory.h"

SongRW *newMidiRW()
{
    return nullptr;
}

SongRW *newMfxRW()
{
    return nullptr;
}
