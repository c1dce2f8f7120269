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
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/socket.h>
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

QString fixedFolder()
{
    return QStringLiteral("/tmp/VelmarPC-") + QString::number(::getuid());
}

// The user's folders of unforeseeable names, by the same rule as the fixed
// one: another user's of a like name are passed over.
QStringList unforeseenFolders()
{
    const QString fixed = fixedFolder();
    const QDir tmp(QStringLiteral("/tmp"));
    QStringList own;
    for (const QString &name : tmp.entryList({QFileInfo(fixed).fileName() + QStringLiteral("-??????")},
                                             QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name)) {
        if (SingleInstance::isOwnFolder(tmp.filePath(name)))
            own << tmp.filePath(name);
    }
    return own;
}

// The program at the other end of a connection runs as this user. (Our own
// socket lets no other user connect: QLocalServer::UserAccessOption.)
bool peerIsUser(const QLocalSocket &socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
           && peer.uid == ::getuid();
}

} // namespace

bool SingleInstance::isOwnFolder(const QString &path)
{
    // Made by another user, a link, or opened to others: a socket there
    // could be taken or answered by someone else.
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
           && (st.st_mode & 077) == 0;
}

QString SingleInstance::privateFolder()
{
    // Not TMPDIR: every start of the user must come to the same folder.
    const QString fixed = fixedFolder();
    ::mkdir(QFile::encodeName(fixed).constData(), 0700);
    if (isOwnFolder(fixed))
        return fixed;
    qWarning().noquote() << "Not the user's own folder, left alone:" << fixed;
    // Taken by another user: one of a name nobody can take beforehand. One
    // made before is used again, so that they do not pile up; none is
    // removed, as another program of the user may be about to listen there.
    if (const QStringList made = unforeseenFolders(); !made.isEmpty())
        return made.first();
    QByteArray pattern = QFile::encodeName(fixed) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        qWarning().noquote() << "No folder of the user's own can be made in /tmp:" << std::strerror(errno);
        return QString();
    }
    return QFile::decodeName(pattern);
}

SingleInstance::SingleInstance(const QString &libraryFolder, QObject *parent)
    : QObject(parent),
      m_name(nameFor(libraryFolder)),
      m_lock(inFolder(libraryFolder, QStringLiteral(".VelmarPC.lock")))
{
    // The lock is made before the library is: the folder first.
    QDir().mkpath(libraryFolder);
    // Held for as long as the program runs, however long that is; a lock
    // whose program has gone is still taken over.
    m_lock.setStaleLockTime(0);
    const QString beside = inFolder(libraryFolder, QStringLiteral(".VelmarPC.socket"));
    if (QFile::encodeName(beside).size() <= kMostSocketPath)
        m_beside = beside;
}

SingleInstance::~SingleInstance() = default;

QStringList SingleInstance::socketNames() const
{
    QStringList names;
    if (!m_beside.isEmpty())
        names << m_beside;
    // Also where the library's folder takes no socket (a FAT drive). A
    // later start only looks: it makes no folder.
    if (const QString fixed = fixedFolder(); isOwnFolder(fixed))
        names << inFolder(fixed, m_name);
    for (const QString &folder : unforeseenFolders())
        names << inFolder(folder, m_name);
    return names;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
    QStringList names;
    if (!m_beside.isEmpty())
        names << m_beside;
    const QString own = privateFolder();
    if (!own.isEmpty())
        names << inFolder(own, m_name);
    for (const QString &name : std::as_const(names)) {
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
        for (const QString &name : socketNames()) {
            QLocalSocket socket;
            socket.connectToServer(name);
            if (!socket.waitForConnected(left()))
                continue;
            // Another user's program there would take the song, or keep
            // the start waiting.
            if (!peerIsUser(socket)) {
                qWarning().noquote() << "Another user's program listens at" << name << ": left alone";
                continue;
            }
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
                         << socketNames().join(QStringLiteral(", "));
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
