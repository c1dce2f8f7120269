#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

namespace {

// The one request a later start sends, and its answer: a line each.
const QByteArray kRequest = "raise ";
const QByteArray kAnswer = "raised\n";
// A path, percent-encoded, with room to spare; anything longer is no request.
constexpr qint64 kMostRequest = 64 * 1024;
// A connection that says nothing is dropped after this.
constexpr int kQuietMs = 5000;
// A socket's path must fit a sockaddr_un.
constexpr int kMostSocketPath = 100;

QString nameFor(const QString &libraryFolder)
{
    const QFileInfo folder(libraryFolder);
    const QString path = folder.exists() ? folder.canonicalFilePath() : QDir::cleanPath(folder.absoluteFilePath());
    return QStringLiteral("VelmarPC-")
           + QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

// The user's runtime folder; the temporary folder where there is none that
// is the user's own (Qt then says why).
QString runtimeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

} // namespace

SingleInstance::SingleInstance(const QString &libraryFolder, QObject *parent)
    : QObject(parent),
      m_name(runtimeFolder() + QLatin1Char('/') + nameFor(libraryFolder)),
      m_lock(m_name + QStringLiteral(".lock"))
{
    // Held for as long as the program runs, however long that is; a lock
    // whose program has gone is still taken over.
    m_lock.setStaleLockTime(0);
    // A long runtime folder: the socket goes to the temporary folder, under
    // a name of the user's own.
    if (QFile::encodeName(m_name).size() > kMostSocketPath)
        m_name = QStringLiteral("%1-%2").arg(nameFor(libraryFolder)).arg(::getuid());
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Start SingleInstance::claim(const QString &song, int answerMs)
{
    const QByteArray request = kRequest + QUrl::toPercentEncoding(song) + '\n';
    const QDeadlineTimer deadline(answerMs);
    bool asked = false;
    do {
        if (m_lock.tryLock(0)) {
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            // A socket left by a start that ended without removing it.
            QLocalServer::removeServer(m_name);
            if (!m_server->listen(m_name))
                qWarning().noquote() << "A second start cannot reach this one:" << m_server->errorString();
            connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
            return Start::First;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            // No lock can be had here: better two players than none.
            qWarning().noquote() << "No lock against a second start:" << m_lock.fileName();
            return Start::First;
        }
        // The one running may be starting (not listening yet) or quitting
        // (its lock still held): it is asked again until the time is up.
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (socket.waitForConnected(int(std::max<qint64>(0, deadline.remainingTime())))) {
            asked = true;
            socket.write(request);
            while (!socket.canReadLine()
                   && socket.waitForReadyRead(int(std::max<qint64>(0, deadline.remainingTime())))) {
            }
            if (socket.canReadLine() && socket.readLine() == kAnswer)
                return Start::HandedOver;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    qWarning().noquote() << "The running program" << (asked ? "did not answer" : "cannot be reached") << "at"
                         << m_name;
    return Start::AlreadyRunning;
}

void SingleInstance::serve()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kQuietMs, socket, &QLocalSocket::abort);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMostRequest)
                    socket->abort();
                return;
            }
            QByteArray line = socket->readLine(kMostRequest);
            if (!line.endsWith('\n') || !line.startsWith(kRequest)) {
                socket->abort();
                return;
            }
            line.chop(1);
            // Answered before the window acts: a box the song may bring
            // would keep the later start waiting.
            socket->write(kAnswer);
            socket->flush();
            socket->disconnectFromServer();
            emit broughtForward(QUrl::fromPercentEncoding(line.mid(kRequest.size())));
        });
    }
}
