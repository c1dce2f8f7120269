#include "storereplies.h"

#include <QDebug>
#include <QUrl>
#include <QXmlStreamReader>

namespace StoreReplies {

namespace {

// Fills one song field from an element; a name that is no field is left.
void setSongField(SongInfo &song, QStringView name, const QString &text)
{
    if (name == u"songid")
        song.idSong = text.toUInt();
    else if (name == u"productid")
        song.ProductId = text.toInt();
    else if (name == u"title")
        song.title = text;
    else if (name == u"authors")
        song.author = text;
    else if (name == u"interpreters")
        song.artist = text;
    else if (name == u"genre")
        song.genre = text;
    else if (name == u"format")
        song.format = text;
    else if (name == u"lenght")
        song.length = text.trimmed().toInt();
    else if (name == u"bpm")
        song.bpm = text.trimmed().toInt();
    else if (name == u"key")
        song.keySign = text;
}

constexpr int kStoreSong = 2;

// Elements whose text is a song field (reading the text of any other element
// could stop at a container's children).
bool isSongField(QStringView name)
{
    static const char16_t *const names[] = {u"songid", u"productid", u"title", u"authors",
                                            u"interpreters", u"genre", u"format", u"lenght",
                                            u"bpm", u"key"};
    for (const char16_t *n : names) {
        if (name == QStringView(n))
            return true;
    }
    return false;
}

} // namespace

void readListing(const QByteArray &body, const QString &openElement, const QString &idElement,
                 const TakeListing &take)
{
    QXmlStreamReader xml(body);
    Genres record;
    bool open = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == openElement) {
            record.clear();
            record.setNumsongs(0);
            open = true;
        } else if (!open) {
            continue;
        } else if (name == idElement) {
            record.setId(xml.readElementText().toInt());
        } else if (name == u"name") {
            record.setName(xml.readElementText());
        } else if (name == u"num_songs") {
            record.setNumsongs(xml.readElementText().toInt());
            open = false;
            if (!xml.hasError() && !take(record))
                return;
        }
    }
}

void readSearchSongs(const QByteArray &body, const TakeSong &take)
{
    QXmlStreamReader xml(body);
    SongInfo song;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == u"download") {
            song.isFromSub = kStoreSong;
            if (!take(song))
                return;
            song.clear();
        } else if (isSongField(name)) {
            const QString field = name.toString();
            const QString text = xml.readElementText();
            if (!xml.hasError())
                setSongField(song, field, text);
        }
    }
}

// Read as it streams in, with what a whole document would give: the text of
// each child element of a song, its own children's text included.
void readListSongs(const QByteArray &body, const TakeSong &take)
{
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || xml.name() != u"melodrome_message")
        return;
    if (!xml.readNextStartElement() || xml.name() != u"list")
        return;
    int depth = 0; // below the list
    int found = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (depth-- == 0)
                break;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() != u"song") {
            ++depth;
            continue;
        }
        SongInfo song;
        while (xml.readNextStartElement()) {
            const QString name = xml.name().toString();
            if (name == QLatin1String("download")) {
                song.isFromSub = kStoreSong;
                xml.skipCurrentElement();
            } else {
                setSongField(song, name, xml.readElementText(QXmlStreamReader::IncludeChildElements));
            }
        }
        if (xml.hasError())
            break;
        ++found;
        if (!take(song))
            return;
    }
    qDebug() << "songs in the list:" << found;
}

SongInfo readSongInfo(const QByteArray &body)
{
    SongInfo song;
    QXmlStreamReader xml(body);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("download")) {
            song.isFromSub = xml.readElementText().toUInt();
        } else if (isSongField(name)) {
            setSongField(song, name, xml.readElementText());
        }
    }
    return song;
}

QString lengthText(int seconds)
{
    return QStringLiteral("%1\u2032%2\u2033")
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QByteArray formBody(const QList<QPair<QString, QString>> &fields)
{
    QByteArray body;
    for (const auto &field : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(field.first) + '=' + QUrl::toPercentEncoding(field.second);
    }
    return body;
}

} // namespace StoreReplies
