#include "Mp3RW.h"
#include "SongRWFactory.h"

SongRW *newMp3RW()
{
    return new Mp3RW;
}
