#include "storeanswer.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

namespace StoreAnswer {

namespace {

Phrase webPage()
{
    return Phrase("StoreAnswer",
                  QT_TRANSLATE_NOOP("StoreAnswer", "a web page came instead of the store's answer (the network may "
                                                   "want you to sign in through a web browser first, or the store is "
                                                   "under maintenance)"));
}

// A page that is no XML at all ("<!doctype html>", HTML 4.01's doctype
// without a system address) still starts like one, after any comments (a
// portal's "<!-- ... -->" before its doctype).
bool looksLikeWebPage(const QByteArray &body, const QByteArray &contentType)
{
    QByteArray head = body.left(4096).trimmed().toLower();
    if (head.startsWith("\xef\xbb\xbf"))
        head = head.mid(3).trimmed();
    while (head.startsWith("<!--")) {
        const qsizetype end = head.indexOf("-->", 4);
        if (end < 0)
            break;
        head = head.mid(end + 3).trimmed();
    }
    if (head.startsWith("<!doctype html") || head.startsWith("<html"))
        return true;
    // Servers often call their XML a page: the type counts only for a body
    // that does not begin as XML.
    return contentType.trimmed().toLower().startsWith("text/html") && !head.startsWith("<?xml")
           && !head.startsWith("<melodrome_message");
}

} // namespace

Phrase reason(const QByteArray &body, const QByteArray &contentType)
{
    QXmlStreamReader xml(body);
    bool rootSeen = false;
    bool ours = false;
    while (!xml.atEnd() && !xml.hasError()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        const bool root = token == QXmlStreamReader::StartElement && !rootSeen;
        if ((token == QXmlStreamReader::DTD && xml.dtdName().compare(u"html", Qt::CaseInsensitive) == 0)
            || (root && xml.name().compare(u"html", Qt::CaseInsensitive) == 0))
            return webPage();
        if (root)
            ours = xml.name() == QLatin1String("melodrome_message");
        rootSeen = rootSeen || root;
    }
    if (rootSeen && ours && !xml.hasError())
        return {};
    if (looksLikeWebPage(body, contentType))
        return webPage();
    return Phrase("StoreAnswer", QT_TRANSLATE_NOOP("StoreAnswer", "the store's answer cannot be read"));
}

QString problem(const QByteArray &body, const QByteArray &contentType)
{
    return reason(body, contentType).text();
}

} // namespace StoreAnswer
