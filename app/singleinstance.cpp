#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A later start's request, the running program's answer and the start's go:
// a line each.
const QByteArray kRequest = "raise ";
const QByteArray kAnswer = "raised\n";
const QByteArray kGo = "go\n";
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

QString inFolder(const QString &folder, const QString &name)
{
    return QDir::cleanPath(folder) + QLatin1Char('/') + name;
}

} // namespace

QString SingleInstance::privateFolder()
{
    // Not TMPDIR: every start of the user must come to the same folder.
    const QByteArray path = "/tmp/VelmarPC-" + QByteArray::number(::getuid());
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    // Made by another user beforehand, or opened to others: a socket there
    // could be taken or answered by someone else.
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 077) != 0) {
        qWarning().noquote() << "Not the user's own folder, left alone:" << path;
        return QString();
    }
    return QString::fromLocal8Bit(path);
}

SingleInstance::SingleInstance(const QString &libraryFolder, QObject *parent)
    : QObject(parent),
      m_lock(inFolder(libraryFolder, QStringLiteral(".VelmarPC.lock")))
{
    // The lock is made before the library is: the folder first.
    QDir().mkpath(libraryFolder);
    // Held for as long as the program runs, however long that is; a lock
    // whose program has gone is still taken over.
    m_lock.setStaleLockTime(0);
    const QString beside = inFolder(libraryFolder, QStringLiteral(".VelmarPC.socket"));
    if (QFile::encodeName(beside).size() <= kMostSocketPath)
        m_names << beside;
    // Also where the library's folder takes no socket (a FAT drive).
    if (const QString own = privateFolder(); !own.isEmpty())
        m_names << inFolder(own, nameFor(libraryFolder));
}

SingleInstance::~SingleInstance() = default;

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
    for (const QString &name : std::as_const(m_names)) {
        // A socket left by a start that ended without removing it.
        QLocalServer::removeServer(name);
        if (m_server->listen(name))
            return;
        qWarning().noquote() << "A second start cannot reach this one at" << name << ":" << m_server->errorString();
    }
}

SingleInstance::Start SingleInstance::claim(const QString &song, int answerMs)
{
    const QByteArray request = kRequest + QUrl::toPercentEncoding(song) + '\n';
    const QDeadlineTimer deadline(answerMs);
    const auto left = [&deadline] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    bool asked = false;
    do {
        if (m_lock.tryLock(0)) {
            listen();
            return Start::First;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            // No lock can be had here: better two players than none.
            qWarning().noquote() << "No lock against a second start:" << m_lock.fileName();
            return Start::First;
        }
        // The one running may be starting (not listening yet) or quitting
        // (its lock still held): it is asked again until the time is up.
        for (const QString &name : std::as_const(m_names)) {
            QLocalSocket socket;
            socket.connectToServer(name);
            if (!socket.waitForConnected(left()))
                continue;
            asked = true;
            socket.write(request);
            while (!socket.canReadLine() && socket.waitForReadyRead(left())) {
            }
            if (socket.canReadLine() && socket.readLine() == kAnswer) {
                // Only now may it act: a start that gave up has said so.
                socket.write(kGo);
                socket.waitForBytesWritten(left());
                return Start::HandedOver;
            }
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    qWarning().noquote() << "The running program" << (asked ? "did not answer" : "cannot be reached") << "at"
                         << m_names.join(QStringLiteral(", "));
    return Start::AlreadyRunning;
}

void SingleInstance::serve()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kQuietMs, socket, &QLocalSocket::abort);
        auto song = std::make_shared<std::optional<QString>>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, song] {
            while (socket->canReadLine()) {
                QByteArray line = socket->readLine(kMostRequest);
                if (!song->has_value() && line.endsWith('\n') && line.startsWith(kRequest)) {
                    line.chop(1);
                    *song = QUrl::fromPercentEncoding(line.mid(kRequest.size()));
                    // Answered before the window acts: a box the song may
                    // bring would keep the later start waiting.
                    socket->write(kAnswer);
                    socket->flush();
                } else if (song->has_value() && line == kGo) {
                    // A box the song brings may outlive this socket.
                    const QString asked = **song;
                    socket->disconnectFromServer();
                    emit broughtForward(asked);
                    return;
                } else {
                    socket->abort();
                    return;
                }
            }
            if (socket->bytesAvailable() > kMostRequest)
                socket->abort();
        });
    }
}
