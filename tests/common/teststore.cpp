#include "teststore.h"

#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

TestStore::~TestStore()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

bool TestStore::launch(const QStringList &options)
{
    const QStringList args = QStringList{QStringLiteral(VELMAR_SOURCE_DIR "/store-service/store.py"),
                                         QStringLiteral("--control"), QStringLiteral("--host"), m_address}
                             + options;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(30000))
        return false;
    QByteArray line;
    while (!line.endsWith('\n') && m_process.waitForReadyRead(30000))
        line += m_process.readLine();
    if (!line.startsWith("PORT "))
        return false;
    m_port = quint16(line.mid(5).trimmed().toUInt());
    return m_port != 0;
}

bool TestStore::start(const QString &filesDir)
{
    if (!launch(filesDir.isEmpty() ? QStringList() : QStringList{QStringLiteral("--files"), filesDir}))
        return false;
    qputenv("VELMAR_STORE_URL", base().toUtf8());
    qputenv("VELMAR_CHECK_URL", base().toUtf8());
    qputenv("no_proxy", "127.0.0.1,127.0.0.2");
    return true;
}

bool TestStore::startElsewhere(const QString &address)
{
    m_address = address;
    return launch({});
}

QString TestStore::base() const
{
    return QStringLiteral("http://%1:%2").arg(m_address).arg(m_port);
}

QByteArray TestStore::control(const QString &pathAndQuery, const QByteArray &body) const
{
    QTcpSocket socket;
    socket.connectToHost(m_address, m_port);
    if (!socket.waitForConnected(30000)) {
        qWarning() << "test store unreachable";
        return {};
    }
    QByteArray request = (body.isNull() ? "GET " : "POST ") + QUrl::toPercentEncoding(pathAndQuery, "/?&=:")
                         + " HTTP/1.1\r\nHost: " + m_address.toLatin1() + "\r\nConnection: close\r\nContent-Length: "
                         + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    socket.write(request);
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(30000))
        reply += socket.readAll();
    reply += socket.readAll();
    const int split = reply.indexOf("\r\n\r\n");
    return split < 0 ? QByteArray() : reply.mid(split + 4);
}

QList<TestStore::Request> TestStore::requests() const
{
    QList<Request> out;
    const QJsonArray list = QJsonDocument::fromJson(control(QStringLiteral("/_control/requests"))).array();
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        Request r;
        r.method = o.value("method").toString();
        r.path = o.value("path").toString();
        r.query = o.value("query").toString();
        const QJsonObject h = o.value("headers").toObject();
        for (auto it = h.begin(); it != h.end(); ++it)
            r.headers.insert(it.key(), it.value().toString());
        r.body = QByteArray::fromBase64(o.value("body").toString().toLatin1());
        out << r;
    }
    return out;
}

QList<TestStore::Request> TestStore::requests(const QString &path) const
{
    QList<Request> out;
    for (const Request &r : requests())
        if (r.path == path)
            out << r;
    return out;
}

QMap<QString, QString> TestStore::Request::form() const
{
    QMap<QString, QString> out;
    QByteArray text = body;
    text.replace('+', ' ');
    for (const QByteArray &pair : text.split('&')) {
        const int eq = pair.indexOf('=');
        if (eq > 0)
            out.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(pair.left(eq))),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1))));
    }
    return out;
}

void TestStore::reset() const
{
    control(QStringLiteral("/_control/reset"));
}

void TestStore::setFault(const QString &path, const QString &mode, int times, const QString &extra) const
{
    QString q = QStringLiteral("/_control/fault?path=%1&mode=%2").arg(path, mode);
    if (times > 0)
        q += QStringLiteral("&times=%1").arg(times);
    if (!extra.isEmpty())
        q += QLatin1Char('&') + extra;
    control(q);
}

void TestStore::release(const QString &path, int count) const
{
    control(QStringLiteral("/_control/release?path=%1&count=%2").arg(path).arg(count));
}

void TestStore::setReply(const QString &path, const QByteArray &body) const
{
    control(QStringLiteral("/_control/reply?path=%1").arg(path), body);
}

void TestStore::setAccount(const QByteArray &form) const
{
    control(QStringLiteral("/_control/account"), form);
}

QByteArray TestStore::patternBytes(qint64 size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        out[i] = char(i % 251);
    return out;
}
