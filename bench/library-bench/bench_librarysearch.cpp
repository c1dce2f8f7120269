// The library page's search field as the user types, on a synthetic library:
// time from a keystroke to the table refilled (query, model and columns),
// for the title filter and the artist listing, and for emptying the field.
// Runs on the offscreen platform; target: the slowest keystroke under 30 ms.
//
// Usage: bench_librarysearch [songs]   (default 100000)
#include "DatabaseHelper.h"
#include "LibrarySql.h"
#include "libraryview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *const kWords[] = {"Amore", "Notte", "Sole", "Cuore", "Mare", "Luna", "Vento",
                              "Strada", "Cielo", "Fuoco", "Terra", "Stella", "Sogno"};
constexpr int kWordCount = int(sizeof kWords / sizeof *kWords);

void fill(DatabaseHelper &db, int songs)
{
    LibrarySql::Savepoint work(QSqlDatabase::database(), "bench_fill");
    std::vector<int> artists, genres;
    for (int i = 0; i < 500; ++i)
        artists.push_back(db.checkInsertArtist(QStringLiteral("Artist %1 %2").arg(kWords[i % kWordCount]).arg(i)));
    for (int i = 0; i < 40; ++i)
        genres.push_back(db.checkInsertGenere(QStringLiteral("Genre %1").arg(i)));
    const int author = db.checkInsertAuthor(QStringLiteral("Author"));
    for (int i = 0; i < songs; ++i) {
        SongInfo s;
        s.title = QStringLiteral("%1 %2 %3").arg(kWords[i % kWordCount], kWords[(i / 7) % kWordCount]).arg(i);
        s.format = QStringLiteral("MIDI");
        db.insertDataSongs(s, QStringLiteral("/songs/%1.mid").arg(i), artists[i % artists.size()],
                           genres[i % genres.size()], author);
    }
    work.release();
}

void typeInto(QLineEdit *field, const QString &text, const char *what)
{
    field->clear();
    std::vector<double> times;
    for (const QChar c : text) {
        QElapsedTimer t;
        t.start();
        field->insert(QString(c));
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    QElapsedTimer t;
    t.start();
    field->clear();
    const double cleared = t.nsecsElapsed() / 1e6;
    std::sort(times.begin(), times.end());
    std::printf("  %-30s typing \"%s\": median %.1f ms, slowest %.1f ms; emptied %.1f ms\n", what,
                qPrintable(text), times[times.size() / 2], times.back(), cleared);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    const int songs = app.arguments().value(1, QStringLiteral("100000")).toInt();
    DatabaseHelper db;
    if (!db.initDb() || !db.connect())
        return 1;
    fill(db, songs);
    libraryView page(&db, nullptr, nullptr);
    page.resize(1200, 700);
    page.show();
    auto *field = page.findChild<QLineEdit *>(QStringLiteral("searchText"));
    std::printf("Library page search, %d songs, per keystroke (target: slowest under 30 ms)\n", songs);
    typeInto(field, QStringLiteral("cuore 7"), "titles");
    page.findChild<QPushButton *>(QStringLiteral("artistButton"))->click();
    typeInto(field, QStringLiteral("artist mare"), "artists");
    return 0;
}
