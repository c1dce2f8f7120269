// One player per library. The first start of the program takes a lock kept
// in its library folder and listens on a local socket named after that
// folder; a second start finds the lock, hands the running program the song
// named on its own command line (which it starts as a double-click would)
// and asks it to bring its window forward, then ends. Two players on one
// library would sound at once, mixed, and each keep its own lists.
//
// Both live where any start of the user finds them whatever its
// environment (cron, su and ssh have no runtime folder or another one): the
// lock beside the library, the socket there too when its path fits a
// socket's, else in a folder of the user's own under /tmp. That folder is
// used only when the user made it, it is no link and only the user can
// enter it; where another user took its name first, the program listens in
// one of a name nobody can foresee ("/tmp/VelmarPC-UID-XXXXXX"), which a
// later start finds by the same rule. A start talks to no program of
// another user, and the socket lets no other user in. A lock left by a program that ended without letting go is
// taken over (QLockFile finds its process gone), and the socket it left is
// removed.
//
// The hand-over is a request, an answer and a go: the running program
// answers before it acts (a song that opens a box keeps no start waiting)
// and acts only once the start has taken the answer, so a start that gave
// up and said so leaves nothing to be played later. A start gives up soon
// enough to say so in a window within two seconds.
//
// GUI thread only.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &libraryFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Start {
        First,          // this process plays: it listens for later starts
        HandedOver,     // the running one took the request
        AlreadyRunning, // one runs but did not answer in time
    };
    // `song` (empty for none) goes to the running program as an absolute
    // path. Waits at most `answerMs` for its answer.
    static constexpr int kAnswerMs = 1200;
    Start claim(const QString &song, int answerMs = kAnswerMs);

    // Where a start looks for the running program, in order: beside the
    // library, then in the user's own folders under /tmp.
    QStringList socketNames() const;
    // The folder of the user's own under /tmp that the program listens in:
    // "/tmp/VelmarPC-UID", or where that is not the user's alone one of a
    // name nobody can foresee (made when missing); empty when none can be
    // made.
    static QString privateFolder();
    // Whether `path` may hold the user's socket: a folder (not a link to
    // one) the user made, closed to everyone else.
    static bool isOwnFolder(const QString &path);

signals:
    // A later start asked for the window; `song` is empty or an absolute path.
    void broughtForward(const QString &song);

private:
    void serve();
    void listen();

    // Empty where the socket's path would be too long.
    QString m_beside;
    // The socket's name in a private folder.
    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
