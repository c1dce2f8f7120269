// Hostile song heads through the MIDI and container editors: reading never
// leaves the image, and after a round of edits the first track still lies
// inside the file, its length field is right, and what was set reads back,
// through the editor and through the player's reader alike.
#include "MfxRW.h"
#include "MidiRW.h"
#include "SongSettings.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    MidiRW midi;
    if (midi.loadHeader(bytes)) {
        SongInfoRW info;
        midi.getSongInfo(info);
        midi.setTitle(QStringLiteral("Title"));
        midi.setArtist(QStringLiteral("Artist"));
        midi.setUserKey(QStringLiteral("Eb-"));
        midi.setDeltaKey(-3);
        midi.setTrackParameter(size % 32, size % 4, MidiTrackParam{0, 1, 2, true, -200});
        midi.setTrackParameterAdv(3, 0, MidiTrackParamAdv{1, 2, 3, 4, 5, 6});
        MidiRW again;
        if (!again.loadHeader(midi.image()) || again.getTitle() != QLatin1String("Title") ||
            again.getArtist() != QLatin1String("Artist") || again.getUserKey() != QLatin1String("Eb-") ||
            again.getDeltaKey() != -3)
            std::abort();
        auto db = std::make_unique<Db>();
        initDBSTRUCT(db.get());
        loadSongSettings_MID(reinterpret_cast<const uint8_t *>(midi.image().constData()),
                             uint32_t(midi.image().size()), db.get());
        // The player takes what the editor wrote, whatever else the song holds.
        const DbLayer &l = db->layers[size % 32][size % 4];
        const int16_t *cc = db->ccOffsets[3][0];
        if (db->transpose != -3 || l.program != 1 || l.bank != 2 || l.volume != -127 ||
            !(l.flags & DB_FLAG_PROGRAM_OVERRIDE) || cc[DB_CC75] != 1 || cc[DB_CC66] != 6)
            std::abort();
    }
    MfxRW mfx;
    if (mfx.loadHeader(bytes)) {
        SongInfoRW info;
        mfx.getSongInfo(info);
        mfx.setTitle(QStringLiteral("A title longer than the thirty-two bytes of its field"));
        mfx.setTrackParameter(int(size % 40), 0, MidiTrackParam{0, 127, 127, true, 300});
        mfx.setTrackParameterAdv(int(size % 20), 0, MidiTrackParamAdv{-300});
        auto db = std::make_unique<Db>();
        initDBSTRUCT(db.get());
        loadSongSettings_MFx(reinterpret_cast<const uint8_t *>(mfx.headerBytes().constData()), db.get());
    }
    return 0;
}
