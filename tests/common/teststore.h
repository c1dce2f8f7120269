// The project's store service (store-service/store.py) with its control
// paths, from a C++ test: started on a free port of 127.0.0.1, both store
// roles pointed at it through VELMAR_STORE_URL and VELMAR_CHECK_URL, stopped
// when the object goes. Control calls are plain
// blocking socket calls, so they work from inside any nested event loop.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>

class TestStore
{
public:
    struct Request
    {
        QString method;
        QString path;
        QString query;
        QMap<QString, QString> headers; // lower-case names
        QByteArray body;
        // The body as a decoded form ("+" is a space, %XX decoded).
        QMap<QString, QString> form() const;
    };

    TestStore() = default;
    ~TestStore();
    TestStore(const TestStore &) = delete;
    TestStore &operator=(const TestStore &) = delete;

    // Starts the server (files from `filesDir` under /files/) and moves both
    // roles to it; false when it did not come up.
    bool start(const QString &filesDir = {});
    // Starts a server on another loopback address ("127.0.0.2"), standing
    // for another host; no role moves to it.
    bool startElsewhere(const QString &address);
    QString base() const;

    QList<Request> requests() const;
    // The recorded requests of one path.
    QList<Request> requests(const QString &path) const;
    // Forgets requests, faults, replies and holds, and the account's changes.
    void reset() const;
    // Misbehave on `path` ("*": every path): http404, http500, empty,
    // truncated, trickle, silent, hold, html, malformed, foreign, doctype,
    // html401, commented, oversized, songs or redirect; `times` 0 means until reset. `extra` goes into the control
    // query as it stands ("chunk=64&gap=20", "to=http://127.0.0.2:80/x").
    void setFault(const QString &path, const QString &mode, int times = 0,
                  const QString &extra = {}) const;
    // Lets `count` held replies of `path` go.
    void release(const QString &path, int count = 1) const;
    // Serves `body` on `path` from now on.
    void setReply(const QString &path, const QByteArray &body) const;
    // Changes the one account: form text "psw=x&user_id=7".
    void setAccount(const QByteArray &form) const;

    // The bytes /files/bytes/<size> serves.
    static QByteArray patternBytes(qint64 size);

private:
    QByteArray control(const QString &pathAndQuery, const QByteArray &body = {}) const;
    bool launch(const QStringList &options);

    QProcess m_process;
    QString m_address = QStringLiteral("127.0.0.1");
    quint16 m_port = 0;
};
