#include "SongInfo.h"

#include "SongInfoRW.h"

SongInfo::SongInfo(const SongInfoRW &rw)
    : title(rw.title),
      artist(rw.artist),
      genre(rw.genre),
      author(rw.author),
      length(rw.length),
      bpm(rw.userBpm),
      keySign(rw.userKey),
      format(rw.format)
{
}

void SongInfo::clear()
{
    *this = SongInfo();
}

bool SongInfo::operator==(const SongInfo &o) const
{
    return title == o.title && artist == o.artist && genre == o.genre && author == o.author
        && length == o.length && bpm == o.bpm && keySign == o.keySign && format == o.format
        && isFromSub == o.isFromSub && idSong == o.idSong && innerPath == o.innerPath
        && ProductId == o.ProductId;
}

void SongInfo::registerMetaType()
{
    qRegisterMetaType<SongInfo>("SongInfo");
}
