#include "CdgCmdExec.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int COLOURS = 16;
constexpr int TILE_WIDTH = 6;
constexpr int TILE_HEIGHT = 12;
constexpr int BORDER_WIDTH = 6;
constexpr int BORDER_HEIGHT = 12;
constexpr int GRAPHICS_COMMAND = 9;
constexpr int DATA_OFFSET = 4;
constexpr int DATA_BYTES = 16;

enum Instruction {
    MEMORY_PRESET = 1,
    BORDER_PRESET = 2,
    TILE_NORMAL = 6,
    SCROLL_PRESET = 20,
    SCROLL_COPY = 24,
    DEFINE_TRANSPARENT = 28,
    COLOURS_LOW = 30,
    COLOURS_HIGH = 31,
    TILE_XOR = 38,
};

int shiftOf(int command, int step)
{
    return command == 2 ? step : command == 1 ? -step : 0;
}

} // namespace

CdgCmdExec::CdgCmdExec(QObject *parent)
    : QObject(parent)
    , m_picture(WIDTH, HEIGHT, QImage::Format_Indexed8)
{
    for (int i = 0; i < COLOURS; ++i)
        m_colours.append(qRgb(16 * i, 16 * i, 16 * i));
    m_picture.setColorTable(m_colours);
}

void CdgCmdExec::setBufferCdgCmd(const QByteArray &bytes)
{
    m_buffer = bytes;
    m_packetCount = uint(bytes.size() / PACKET_SIZE);
    m_transparent = -1;
    m_nextPacket = 0;
    clear();
}

// The colour table stays as the packets left it: a replay loads it again.
void CdgCmdExec::clear()
{
    int black = 0;
    for (int i = 0; i < m_colours.size(); ++i) {
        if ((m_colours[i] & 0xFFFFFF) == 0) {
            black = i;
            break;
        }
    }
    m_picture.fill(uint(black));
    m_hOffset = 0;
    m_vOffset = 0;
}

const QImage &CdgCmdExec::getImageAtMilliSec(uint mSec, bool *changed)
{
    const uint target = uint(mSec * m_packetsPerMs);
    bool dirty = false;
    if (target == 0 || target < m_nextPacket) {
        m_nextPacket = 0;
        clear();
        dirty = true;
    }
    const auto *bytes = reinterpret_cast<const uint8_t *>(m_buffer.constData());
    for (uint i = m_nextPacket; i <= target && i < m_packetCount; ++i)
        dirty |= execute(bytes + size_t(i) * PACKET_SIZE);
    m_nextPacket = target + 1;
    if (changed)
        *changed = dirty;
    return m_picture;
}

bool CdgCmdExec::execute(const uint8_t *packet)
{
    if ((packet[0] & 0x3F) != GRAPHICS_COMMAND)
        return false;
    uint8_t d[DATA_BYTES];
    for (int i = 0; i < DATA_BYTES; ++i)
        d[i] = packet[DATA_OFFSET + i] & 0x3F;
    switch (packet[1] & 0x3F) {
    case MEMORY_PRESET:
        if ((d[1] & 15) != 0)
            return false;   // repeats of a preset already done
        preset(d[0] & 15, false);
        return true;
    case BORDER_PRESET:
        preset(d[0] & 15, true);
        return true;
    case TILE_NORMAL:
    case TILE_XOR:
        tile(d, (packet[1] & 0x3F) == TILE_XOR);
        return true;
    case SCROLL_PRESET:
    case SCROLL_COPY:
        return scroll(d, (packet[1] & 0x3F) == SCROLL_COPY);
    case DEFINE_TRANSPARENT:
        m_transparent = d[0] & 15;
        return false;
    case COLOURS_LOW:
    case COLOURS_HIGH:
        loadColours(d, (packet[1] & 0x3F) == COLOURS_LOW ? 0 : 8);
        return true;
    default:
        return false;
    }
}

void CdgCmdExec::preset(int colour, bool borderOnly)
{
    if (!borderOnly) {
        m_picture.fill(uint(colour));
        return;
    }
    const qsizetype stride = m_picture.bytesPerLine();
    uchar *bits = m_picture.bits();
    for (int y = 0; y < HEIGHT; ++y) {
        uchar *line = bits + y * stride;
        if (y < BORDER_HEIGHT || y >= HEIGHT - BORDER_HEIGHT) {
            std::memset(line, colour, WIDTH);
        } else {
            std::memset(line, colour, BORDER_WIDTH);
            std::memset(line + WIDTH - BORDER_WIDTH, colour, BORDER_WIDTH);
        }
    }
}

void CdgCmdExec::tile(const uint8_t *d, bool xorMode)
{
    const int colour0 = d[0] & 15;
    const int colour1 = d[1] & 15;
    const int top = (d[2] & 31) * TILE_HEIGHT + m_vOffset;
    const int left = (d[3] & 63) * TILE_WIDTH + m_hOffset;
    if (top > HEIGHT - TILE_HEIGHT || left > WIDTH - TILE_WIDTH)
        return;
    const qsizetype stride = m_picture.bytesPerLine();
    uchar *bits = m_picture.bits();
    for (int r = 0; r < TILE_HEIGHT; ++r) {
        uchar *p = bits + (top + r) * stride + left;
        const int row = d[4 + r];
        for (int c = 0; c < TILE_WIDTH; ++c) {
            const uchar colour = uchar((row & (0x20 >> c)) ? colour1 : colour0);
            p[c] = xorMode ? uchar((p[c] ^ colour) & 15) : colour;
        }
    }
}

bool CdgCmdExec::scroll(const uint8_t *d, bool copy)
{
    const int colour = d[0] & 15;
    const int hOffset = std::min(d[1] & 7, BORDER_WIDTH - 1);
    const int vOffset = std::min(d[2] & 15, BORDER_HEIGHT - 1);
    // New pixel (x, y) takes old pixel (x + dx, y + dy): a larger offset moves
    // the picture right or down, command 2 moves it left or up by a tile.
    const int dx = m_hOffset - hOffset + shiftOf((d[1] >> 4) & 3, TILE_WIDTH);
    const int dy = m_vOffset - vOffset + shiftOf((d[2] >> 4) & 3, TILE_HEIGHT);
    m_hOffset = hOffset;
    m_vOffset = vOffset;
    if (dx == 0 && dy == 0)
        return false;
    m_scrollCopy = m_picture.copy();
    const qsizetype stride = m_picture.bytesPerLine();
    const uchar *from = m_scrollCopy.constBits();
    uchar *to = m_picture.bits();
    for (int y = 0; y < HEIGHT; ++y) {
        int sy = y + dy;
        const bool rowOutside = sy < 0 || sy >= HEIGHT;
        sy = (sy % HEIGHT + HEIGHT) % HEIGHT;
        uchar *out = to + y * stride;
        const uchar *in = from + sy * stride;
        for (int x = 0; x < WIDTH; ++x) {
            int sx = x + dx;
            const bool outside = rowOutside || sx < 0 || sx >= WIDTH;
            sx = (sx % WIDTH + WIDTH) % WIDTH;
            out[x] = outside && !copy ? uchar(colour) : in[sx];
        }
    }
    return true;
}

void CdgCmdExec::loadColours(const uint8_t *d, int first)
{
    for (int k = 0; k < 8; ++k) {
        const int a = d[2 * k];
        const int b = d[2 * k + 1];
        const int red = (a >> 2) & 15;
        const int green = ((a & 3) << 2) | ((b >> 4) & 3);
        const int blue = b & 15;
        m_colours[first + k] = qRgb(16 * red, 16 * green, 16 * blue);
    }
    m_picture.setColorTable(m_colours);
}
