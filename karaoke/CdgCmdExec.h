// CD+G decoder: runs the graphics packets of a song's CD+G companion file
// (24-byte subcode packets, 300 a second) into a 300 x 216 indexed picture,
// border included, as the play position advances.
//
// The song's bytes are held as a shared QByteArray, so an unload or reload
// of the song never leaves the decoder reading freed memory. Scrolls follow
// the published format: the low bits of the scroll bytes set a display offset
// (0-5 pixels across, 0-11 down) that moves the picture by its change and
// places later tiles; the 6 or 12-pixel steps move it on top of that.
// Every index read from a packet is masked, so no packet writes outside the
// picture.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QVector>
#include <cstdint>

class CdgCmdExec : public QObject
{
    Q_OBJECT
public:
    static constexpr int WIDTH = 300;
    static constexpr int HEIGHT = 216;
    static constexpr int PACKET_SIZE = 24;

    explicit CdgCmdExec(QObject *parent = nullptr);

    // Clears the picture to black and starts the song's packets from the
    // first; bytes past the last whole packet are ignored.
    void setBufferCdgCmd(const QByteArray &bytes);
    // The picture after every packet up to mSec (300 packets a second). A
    // position that did not advance by a whole packet replays from the start.
    // changed, when given, tells whether the picture may differ from the last
    // one returned.
    const QImage &getImageAtMilliSec(uint mSec, bool *changed = nullptr);

    uint packetCount() const { return m_packetCount; }
    int transparentColour() const { return m_transparent; }

private:
    void clear();
    bool execute(const uint8_t *packet);
    void preset(int colour, bool borderOnly);
    void tile(const uint8_t *d, bool xorMode);
    bool scroll(const uint8_t *d, bool copy);
    void loadColours(const uint8_t *d, int first);

    QImage m_picture;
    QImage m_scrollCopy;
    double m_packetsPerMs = 0.3;
    QByteArray m_buffer;
    uint m_packetCount = 0;
    uint m_nextPacket = 0;
    QVector<QRgb> m_colours;
    int m_transparent = -1;
    int m_hOffset = 0;
    int m_vOffset = 0;
};
