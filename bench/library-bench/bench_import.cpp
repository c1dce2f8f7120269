// Speed of the library's two worker threads, one run each:
//   - the drive indexer scanning a generated tree into the drive index,
//     beside find listing the same song files;
//   - the import of song files into the song folder, each registered in the
//     library as the main window does, beside cp copying the same files.
//
// Usage: bench_import [tree files] [imported files]   (default 100000 1000)
#include "DatabaseHelper.h"
#include "fileCopyThread.h"
#include "indexDriveThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QByteArray kMidi = QByteArray::fromHex("4d546864000000060000000101e04d54726b00000013"
                                             "00ff0304546f6e6500ff510307a12000ff2f00");

// Stands in for the main window and the library view.
class Receiver : public QObject
{
    Q_OBJECT
public:
    explicit Receiver(DatabaseHelper &db) : db(db) {}
    QEventLoop loop;
    int registered = 0;
public slots:
    void onSongImported(SongInfo song, QString path) { registered += db.checkSong(song, path); }
    void importingDone(ImportReport) { loop.quit(); }
    void hideIndexingAnim() { loop.quit(); }

private:
    DatabaseHelper &db;
};

double shellMs(const QString &command)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int treeFiles = app.arguments().value(1, QStringLiteral("100000")).toInt();
    const int imported = app.arguments().value(2, QStringLiteral("1000")).toInt();
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    DatabaseHelper db;
    db.initDb();
    db.connect();
    Receiver receiver(db);

    const QString tree = home.path() + QStringLiteral("/drive");
    const char *names[] = {"mid", "MP3", "kar", "mf5", "txt", "jpg", "Mid", "mp3", "doc", "mf3"};
    for (int i = 0; i < treeFiles; ++i) {
        const QString dir = tree + QStringLiteral("/a%1/b%2/").arg(i / 10000).arg(i / 200);
        if (i % 200 == 0)
            QDir().mkpath(dir);
        QFile(dir + QStringLiteral("f%1.%2").arg(i).arg(QLatin1String(names[i % 10])))
            .open(QIODevice::WriteOnly);
    }
    QElapsedTimer t;
    {
        indexDriveThread indexer(&receiver, &db);
        QObject::connect(&indexer, &indexDriveThread::indexingDone, &receiver, &Receiver::hideIndexingAnim);
        t.start();
        indexer.setPath(tree);
        receiver.loop.exec();
    }
    const double scanMs = t.nsecsElapsed() / 1e6;
    QSqlQuery q(db.driveIdxDb);
    q.exec(QStringLiteral("SELECT count(*) FROM indexes"));
    const int found = q.next() ? q.value(0).toInt() : 0;
    const double findMs = shellMs(QStringLiteral("find '%1' -type f \\( -iname '*.mid' -o -iname "
                                                 "'*.mp3' -o -iname '*.kar' -o -iname '*.mf[345]' "
                                                 "\\) > /dev/null").arg(tree));
    std::printf("Drive index of a tree of %d files (%d songs)\n", treeFiles, found);
    std::printf("  indexer, rows in the index %12.0f files/s   find %12.0f files/s\n",
                found / scanMs * 1000, found / findMs * 1000);

    const QString source = home.path() + QStringLiteral("/drop/");
    QDir().mkpath(source);
    QList<QUrl> urls;
    for (int i = 0; i < imported; ++i) {
        const QString path = source + QStringLiteral("song %1.mid").arg(i);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(kMidi);
        urls << QUrl::fromLocalFile(path);
    }
    fileCopyThread importer(&receiver, db.getLibraryFolder());
    QObject::connect(&importer, &fileCopyThread::songImported, &receiver, &Receiver::onSongImported);
    QObject::connect(&importer, &fileCopyThread::endImpoting, &receiver, &Receiver::importingDone);
    importer.setFileList(urls);
    t.restart();
    importer.start(QThread::LowPriority);
    receiver.loop.exec();
    const double importMs = t.nsecsElapsed() / 1e6;
    const QString copies = home.path() + QStringLiteral("/cp/");
    QDir().mkpath(copies);
    const double cpMs = shellMs(QStringLiteral("cp -n '%1'* '%2' && sync").arg(source, copies));
    std::printf("Import of %d MIDI files (%d registered)\n", imported, receiver.registered);
    std::printf("  copied and registered      %12.0f files/s   cp + sync %8.0f files/s\n",
                imported / importMs * 1000, imported / cpMs * 1000);
    return 0;
}

#include "bench_import.moc"
