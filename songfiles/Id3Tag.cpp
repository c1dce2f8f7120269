#include "Id3Tag.h"

#include "ByteReader.h"
#include "Extract.h"
#include "Mp3TextBlocks.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

constexpr uint8_t FLAG_UNSYNCHRONISED = 0x80;
constexpr uint8_t FLAG_EXTENDED_HEADER = 0x40;
constexpr uint8_t FLAG_FOOTER = 0x10;
constexpr int FOOTER_SIZE = 10;
constexpr uint32_t SYNCSAFE_LIMIT = 1u << 28;

// Frame flags that leave the content unreadable as it stands.
constexpr uint16_t V3_PACKED = 0x00C0;   // compressed, encrypted
constexpr uint16_t V4_PACKED = 0x000F;   // compressed, encrypted, unsynchronised, length indicator

enum Encoding : uint8_t { LATIN1 = 0, UTF16 = 1, UTF16BE = 2 };

uint32_t readSize(const QByteArray &b, int pos, bool syncsafe)
{
    const auto *p = reinterpret_cast<const uint8_t *>(b.constData() + pos);
    return syncsafe ? readSyncsafe32(p) : readU32be(p);
}

void writeSize(QByteArray &b, int pos, uint32_t size, bool syncsafe)
{
    const int shift = syncsafe ? 7 : 8;
    const uint32_t mask = syncsafe ? 0x7F : 0xFF;
    for (int i = 0; i < 4; ++i)
        b[pos + i] = char((size >> (shift * (3 - i))) & mask);
}

bool validFrameId(const char *id)
{
    for (int i = 0; i < 4; ++i)
        if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9')))
            return false;
    return true;
}

QString utf16Text(const QByteArray &bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decode(encoding, QStringConverter::Flag::Stateless);
    QString text = decode(bytes);
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

} // namespace

bool Id3Tag::load(const QByteArray &data)
{
    m_tag.clear();
    m_fileTagLength = 0;
    m_framesStart = m_framesEnd = HEADER_SIZE;
    m_syncsafeSizes = false;
    m_editable = true;
    if (data.size() < HEADER_SIZE)
        return false;
    if (!data.startsWith("ID3")) {
        m_tag = QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00", HEADER_SIZE);
        return true;
    }
    const uint32_t size = readSize(data, 6, true);
    const uint8_t major = uint8_t(data[3]);
    const uint8_t flags = uint8_t(data[5]);
    if (size > uint32_t(data.size() - HEADER_SIZE))
        return false;
    m_tag = data.left(HEADER_SIZE + int(size));
    m_fileTagLength = m_tag.size();
    if (major == 4 && (flags & FLAG_FOOTER)) {
        // The copy at the end only helps readers that scan backwards; the
        // rewritten tag goes without it.
        m_fileTagLength += FOOTER_SIZE;
        m_tag[5] = char(flags & ~FLAG_FOOTER);
    }
    if ((major != 3 && major != 4) || (flags & FLAG_UNSYNCHRONISED)) {
        m_editable = false;
        if (major != 3 && major != 4) {
            m_framesStart = m_framesEnd = m_tag.size();
            return true;
        }
    }
    m_syncsafeSizes = major == 4;
    if (flags & FLAG_EXTENDED_HEADER) {
        const uint32_t ext = size < 4 ? UINT32_MAX
                           : major == 4 ? readSize(m_tag, HEADER_SIZE, true)
                                        : readSize(m_tag, HEADER_SIZE, false) + 4;
        if (ext > size || ext < 6) {
            m_editable = false;
            m_framesStart = m_framesEnd = m_tag.size();
            return true;
        }
        // A checksum over the frames would be wrong after any edit.
        const uint8_t extFlags = uint8_t(m_tag[HEADER_SIZE + (major == 4 ? 5 : 4)]);
        if (extFlags & (major == 4 ? 0x20 : 0x80))
            m_editable = false;
        m_framesStart = HEADER_SIZE + int(ext);
    }
    if (!walk(m_syncsafeSizes).clean && walk(!m_syncsafeSizes).clean) {
        if (m_editable)
            rewriteFrameSizes(!m_syncsafeSizes);
        else
            m_syncsafeSizes = !m_syncsafeSizes;
    }
    m_framesEnd = walk(m_syncsafeSizes).end;
    return true;
}

Id3Tag::Walk Id3Tag::walk(bool syncsafeSizes) const
{
    const int end = m_tag.size();
    int pos = m_framesStart;
    while (true) {
        if (pos >= end || m_tag[pos] == 0 || Mp3TextBlocks::beginsAt(m_tag, pos))
            return {pos, true};
        if (end - pos < FRAME_HEADER_SIZE || !validFrameId(m_tag.constData() + pos))
            return {pos, false};
        const uint32_t size = readSize(m_tag, pos + 4, syncsafeSizes);
        if (size > uint32_t(end - pos - FRAME_HEADER_SIZE))
            return {pos, false};
        pos += FRAME_HEADER_SIZE + int(size);
    }
}

void Id3Tag::rewriteFrameSizes(bool syncsafeSizes)
{
    const int end = walk(syncsafeSizes).end;
    for (int pos = m_framesStart; pos < end;) {
        const uint32_t size = readSize(m_tag, pos + 4, syncsafeSizes);
        writeSize(m_tag, pos + 4, size, m_syncsafeSizes);
        pos += FRAME_HEADER_SIZE + int(size);
    }
}

int Id3Tag::findFrame(const char *id) const
{
    for (int pos = m_framesStart; m_framesEnd - pos >= FRAME_HEADER_SIZE;
         pos += FRAME_HEADER_SIZE + int(frameSize(pos)))
        if (m_tag.mid(pos, 4) == QByteArray(id, 4))
            return pos;
    return -1;
}

uint32_t Id3Tag::frameSize(int pos) const
{
    return readSize(m_tag, pos + 4, m_syncsafeSizes);
}

bool Id3Tag::frameContent(const char *id, QByteArray &out) const
{
    out.clear();
    const int pos = findFrame(id);
    if (pos < 0)
        return false;
    const uint16_t flags = uint16_t(uint8_t(m_tag[pos + 8]) << 8 | uint8_t(m_tag[pos + 9]));
    if (frameSize(pos) == 0 || (flags & (version() == 4 ? V4_PACKED : V3_PACKED)))
        return false;
    out = m_tag.mid(pos + FRAME_HEADER_SIZE, int(frameSize(pos)));
    if (uint8_t(m_tag[5]) & FLAG_UNSYNCHRONISED)
        out.replace(QByteArray("\xFF\x00", 2), QByteArray("\xFF", 1));
    return true;
}

int Id3Tag::removeFrame(const char *id)
{
    const int pos = m_editable ? findFrame(id) : -1;
    return pos < 0 ? 0 : removeBytes(pos, FRAME_HEADER_SIZE + int(frameSize(pos)));
}

int Id3Tag::insertFrame(const char *id, const QByteArray &content, int pos)
{
    if (content.isEmpty())
        return 0;
    QByteArray frame = QByteArray(id, 4) + QByteArray(6, '\0') + content;
    writeSize(frame, 4, uint32_t(content.size()), m_syncsafeSizes);
    pos = pos < 0 ? m_framesStart : pos;
    return pos <= m_framesEnd ? insertAt(pos, frame, true) : 0;
}

int Id3Tag::insertBytes(int pos, const QByteArray &bytes)
{
    return insertAt(pos, bytes, false);
}

int Id3Tag::insertAt(int pos, const QByteArray &bytes, bool frame)
{
    if (!m_editable || bytes.isEmpty() || pos < m_framesStart || pos > m_tag.size() ||
        bodySize() + uint32_t(bytes.size()) >= SYNCSAFE_LIMIT)
        return 0;
    m_tag.insert(pos, bytes);
    setBodySize(bodySize());
    if (pos < m_framesEnd || (frame && pos == m_framesEnd))
        m_framesEnd += int(bytes.size());
    return int(bytes.size());
}

int Id3Tag::removeBytes(int pos, int count)
{
    if (!m_editable || count <= 0 || pos < m_framesStart || count > m_tag.size() - pos)
        return 0;
    m_tag.remove(pos, count);
    setBodySize(bodySize());
    if (pos < m_framesEnd)
        m_framesEnd = std::max(pos, m_framesEnd - count);
    return count;
}

void Id3Tag::setBodySize(uint32_t size)
{
    writeSize(m_tag, 6, size, true);
}

QByteArray Id3Tag::encodeText(const QString &text)
{
    const QByteArray latin1 = text.toLatin1();
    if (Extract::decodeChars(latin1.constData(), int(latin1.size())) == text)
        return char(LATIN1) + latin1;
    QByteArray out("\x01\xFF\xFE", 3);
    for (const QChar c : text)
        out.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return out;
}

QString Id3Tag::decodeText(const QByteArray &content)
{
    if (content.isEmpty())
        return QString();
    const uint8_t encoding = uint8_t(content[0]);
    const QByteArray body = content.mid(1);
    const bool bom = body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF");
    if (encoding == UTF16BE || (encoding == UTF16 && !bom))
        return utf16Text(body, QStringConverter::Utf16BE).trimmed();
    return Extract::decodeChars(body.constData(), int(body.size())).trimmed();
}
