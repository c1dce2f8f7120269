#include "storeanswer.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

namespace StoreAnswer {

QString problem(const QByteArray &body)
{
    QXmlStreamReader xml(body);
    bool rootSeen = false;
    while (!xml.atEnd() && !xml.hasError()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        const bool root = token == QXmlStreamReader::StartElement && !rootSeen;
        if ((token == QXmlStreamReader::DTD && xml.dtdName().compare(u"html", Qt::CaseInsensitive) == 0)
            || (root && xml.name().compare(u"html", Qt::CaseInsensitive) == 0))
            return QCoreApplication::translate(
                "StoreAnswer", "a web page came instead of the store's answer (the network may want you to "
                               "sign in through a web browser first, or the store is under maintenance)");
        rootSeen = rootSeen || root;
    }
    if (rootSeen && !xml.hasError())
        return {};
    return QCoreApplication::translate("StoreAnswer", "the store's answer cannot be read");
}

} // namespace StoreAnswer
