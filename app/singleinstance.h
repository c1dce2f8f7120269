// One player per user and library. The first start of the program takes a
// lock named after its library folder and listens on a local socket of the
// same name; a second start finds the lock, hands the running program the
// song named on its own command line (which it starts as a double-click
// would) and asks it to bring its window forward, then ends. Two players on
// one library would sound at once, mixed, and each keep its own lists.
//
// The lock and the socket live in the user's runtime folder, which only the
// user can enter; a lock left by a program that ended without letting go is
// taken over (QLockFile finds its process gone).
//
// GUI thread only.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

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

signals:
    // A later start asked for the window; `song` is empty or an absolute path.
    void broughtForward(const QString &song);

private:
    void serve();

    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
