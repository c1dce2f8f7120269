#include "SongRWFactory.h"

SongRW *newMp3RW()
{
    return nullptr;
}
