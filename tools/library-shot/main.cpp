// Shows the library page on a fresh library of N registered songs (with a
// few store news) and saves a picture of the screen once it has painted.
//
//   library-shot OUT.png [SONGS=1000] [WIDTH=1280] [HEIGHT=800]
//
// The library lives in a temporary home; under Xvfb run it with
// QT_QPA_PLATFORM=xcb so the picture is the real screen.
#include "DatabaseHelper.h"
#include "LibrarySql.h"
#include "libraryview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

const char *const kArtists[] = {"Queen", "Mina", "Lucio Battisti", "ABBA", "Adele",
                                "Бетховен", "周杰伦", "Eros Ramazzotti", "Laura Pausini", "Elvis"};
const char *const kGenres[] = {"Pop", "Rock", "Classica", "Liscio", "Jazz", "Dance"};
const char *const kFormats[] = {"MIDI", "KAR", "MP3", "MF3", "MF5"};
const char *const kKeys[] = {"C", "Am", "F#", "Bbm", "G", "Ebm", "0"};
const char *const kWords[] = {"Amore", "Notte", "Sole", "Don't Stop", "Volare", "Mare",
                              "Dancing", "Cuore", "Estate", "Hello", "Yesterday", "Vita"};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: library-shot OUT.png [SONGS] [WIDTH] [HEIGHT]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int songs = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    const int width = argc > 3 ? QByteArray(argv[3]).toInt() : 1280;
    const int height = argc > 4 ? QByteArray(argv[4]).toInt() : 800;

    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    DatabaseHelper db;
    if (!db.initDb() || !db.connect()) {
        std::fprintf(stderr, "the library did not open\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    {
        LibrarySql::Savepoint work(QSqlDatabase::database(), "shot");
        for (int i = 0; i < songs; ++i) {
            SongInfo s;
            s.title = QStringLiteral("%1 %2 %3")
                          .arg(QLatin1String(kWords[i % 12]), QLatin1String(kWords[(i / 12) % 12]))
                          .arg(i + 1);
            s.artist = QString::fromUtf8(kArtists[i % 10]);
            s.genre = QLatin1String(kGenres[i % 6]);
            s.author = QStringLiteral("Autore %1").arg(i % 40);
            s.format = QLatin1String(kFormats[i % 5]);
            s.length = 95 + (i * 37) % 300;
            s.bpm = i % 9 == 0 ? 0 : 70 + i % 90;
            s.keySign = QLatin1String(kKeys[i % 7]);
            s.isFromSub = i % 25 == 0 ? 1 : 0;
            const QString path = db.getLibraryFolder() + QStringLiteral("song%1.mid").arg(i);
            QFile(path).open(QIODevice::WriteOnly);
            db.checkSong(s, path);
        }
        work.release();
    }
    std::printf("%d songs registered in %lld ms\n", songs, static_cast<long long>(clock.elapsed()));
    db.insertPlaylist(QStringLiteral("Serata al Lago"));

    libraryView page(&db, nullptr, nullptr);
    page.setHasUnseenNews(true);
    page.refreshPlaylistsView();
    page.resize(width, height);
    page.move(0, 0);
    page.show();
    QTimer::singleShot(1500, &app, [&] {
        QPixmap shot = page.screen()->grabWindow(0, 0, 0, width, height);
        if (shot.isNull())
            shot = page.grab();
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
