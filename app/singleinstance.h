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
// socket's, else in a folder of the user's own under /tmp, which is refused
// unless only the user can enter it. A lock left by a program that ended
// without letting go is taken over (QLockFile finds its process gone), and
// the socket it left is removed.
//
// The hand-over is a request, an answer and a go: the running program
// answers before it acts (a song that opens a box keeps no start waiting)
// and acts only once the start has taken the answer, so a start that gave
// up and said so leaves nothing to be played later.
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
    Start claim(const QString &song, int answerMs = 10000);

    // Where a start looks for the running program, in order.
    const QStringList &socketNames() const { return m_names; }
    // The folder of the user's own under /tmp (made when missing); empty
    // when it is not the user's alone.
    static QString privateFolder();

signals:
    // A later start asked for the window; `song` is empty or an absolute path.
    void broughtForward(const QString &song);

private:
    void serve();
    void listen();

    QStringList m_names;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
