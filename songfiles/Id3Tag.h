// An MP3 file's ID3v2 tag held in memory for editing: the 10-byte header and
// the body, byte for byte as in the file.
//
// Frames are found by walking them from the first frame (after an extended
// header) by their sizes, never by a byte search; the walk stops at padding,
// at one of the own text blocks (Mp3TextBlocks.h) that stand behind the
// frames, or at the tag end. Sizes are read and written the way the header's
// version says (2.3 plain 32-bit, 2.4 syncsafe). Tags of older writers that
// put syncsafe sizes into a 2.3 tag (or plain ones into 2.4) are recognised
// because only the other reading walks cleanly to the end; their size fields
// are rewritten the right way at load, so frames of 128 bytes or more read
// the same everywhere. Frames this class does not edit are kept byte for byte.
//
// Version 2.2 tags, unsynchronised tags and tags with a checksum are read as
// far as they go but never edited: every change is refused, so a save cannot
// corrupt them.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class Id3Tag
{
public:
    static constexpr int HEADER_SIZE = 10;
    static constexpr int FRAME_HEADER_SIZE = 10;

    // Takes the tag at the start of data (the file's first bytes); data that
    // does not begin with "ID3" gets a fresh empty version 2.3 tag. False when
    // the tag does not fit in data.
    bool load(const QByteArray &data);

    bool hadTag() const { return m_fileTagLength > 0; }
    // Bytes the tag took at the start of the file (a 2.4 footer included).
    int fileTagLength() const { return m_fileTagLength; }
    const QByteArray &bytes() const { return m_tag; }
    uint32_t bodySize() const { return uint32_t(m_tag.size() - HEADER_SIZE); }
    int version() const { return m_tag.size() > 3 ? uint8_t(m_tag[3]) : 0; }
    bool editable() const { return m_editable; }

    // Where the frames begin and where their walk stopped. The walk is made
    // at load and its end kept up to date by the edits, so a broken frame
    // whose size ran past the old tag end never swallows what is added later.
    int framesStart() const { return m_framesStart; }
    int framesEnd() const { return m_framesEnd; }

    // Position of the frame's header, -1 when the walk does not meet it.
    int findFrame(const char *id) const;
    // Size of the frame at pos (after its 10-byte header).
    uint32_t frameSize(int pos) const;
    // The frame's content (after its header); false when the frame is missing,
    // empty, or compressed, encrypted or unsynchronised.
    bool frameContent(const char *id, QByteArray &out) const;
    // Removes the frame; the bytes removed, 0 when none or not editable.
    int removeFrame(const char *id);
    // Inserts a frame holding content at pos (-1: the first frame); the bytes
    // inserted, 0 when content is empty, pos lies outside the frames or the
    // tag is not editable.
    int insertFrame(const char *id, const QByteArray &content, int pos = -1);

    // Raw edits of the body (the own text blocks); they keep the size in the
    // header right. 0 when refused.
    int insertBytes(int pos, const QByteArray &bytes);
    int removeBytes(int pos, int count);

    // Content of a text frame: the encoding byte and the text, Latin-1 when
    // that reads back as the same text, else UTF-16 with a byte-order mark.
    static QByteArray encodeText(const QString &text);
    // The text of a text frame's content, whatever its encoding; trimmed.
    static QString decodeText(const QByteArray &content);

private:
    struct Walk {
        int end = 0;
        bool clean = false;      // ended at padding, a text block or the tag end
    };
    Walk walk(bool syncsafeSizes) const;
    int insertAt(int pos, const QByteArray &bytes, bool frame);
    void setBodySize(uint32_t size);
    void rewriteFrameSizes(bool syncsafeSizes);

    QByteArray m_tag;
    int m_fileTagLength = 0;
    int m_framesStart = HEADER_SIZE;
    int m_framesEnd = HEADER_SIZE;
    bool m_syncsafeSizes = false;
    bool m_editable = true;
};
