// A playlist reordered by its grips and emptied with the delete button, on a
// real library file: what is shown is what is stored, and the song removed
// is the one chosen on the screen.
#include "libraryfixture.h"

#include "listitem.h"

#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTimer>

#include <functional>

class TestPlaylistOrder : public QObject, LibraryFixture
{
    Q_OBJECT

    QStringList stored()
    {
        QStringList titles;
        for (const SongInfo &s : db->getPlaylistSongs(5))
            titles << s.title;
        return titles;
    }
    int placeOf(const QString &title)
    {
        return int(shown().indexOf(title));
    }
    // Runs `act` and presses `answer` on the message box it opens; returns
    // the box's text.
    QString answering(QMessageBox::StandardButton answer, const std::function<void()> &act)
    {
        QString text;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            watch.stop();
            text = box->text();
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
        });
        watch.start();
        act();
        return text;
    }
    // What a question is about, not its wording: each of `facts` is in it
    // (a name, a count, what goes), none of `unsaid`.
    static bool about(const QString &question, const QStringList &facts, const QStringList &unsaid = {})
    {
        for (const QString &fact : facts)
            if (!question.contains(fact, Qt::CaseInsensitive))
                return false;
        for (const QString &word : unsaid)
            if (question.contains(word, Qt::CaseInsensitive))
                return false;
        return true;
    }
    // Clicks the song where it is drawn, then the delete button, and says Yes.
    QString removeShown(const QString &title)
    {
        const int place = placeOf(title);
        if (place < 0)
            return QString("not shown: ") + title;
        const QModelIndex at = table()->model()->index(table()->verticalHeader()->logicalIndex(place), 2);
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, table()->visualRect(at).center());
        return answering(QMessageBox::Yes, [this] { QTest::mouseClick(button("deleteButton"), Qt::LeftButton); });
    }
    void pressOnPlaylistRow(int id, const char *name)
    {
        auto *list = page->findChild<QListWidget *>("playlistListWidget");
        for (int r = 0; r < list->count(); ++r) {
            auto *row = qobject_cast<listItem *>(list->itemWidget(list->item(r)));
            if (row && row->getPlaylist().getId() == id) {
                auto *pressed = row->findChild<QPushButton *>(name);
                QTRY_VERIFY(pressed->isVisible());
                QTest::mouseClick(pressed, Qt::LeftButton);
                return;
            }
        }
        QFAIL("no row of that playlist");
    }
    void addToPlaylist(const QStringList &titles)
    {
        for (const QString &title : titles) {
            QSqlQuery q;
            q.prepare("SELECT IdSong FROM Songs WHERE Titolo=?");
            q.addBindValue(title);
            QVERIFY(q.exec() && q.next());
            QVERIFY(db->insertSongInPlayList(q.value(0).toInt(), 5));
        }
    }

private slots:
    void init()
    {
        open();
        for (const char *title : {"Alpha", "Bravo", "Charlie", "Delta"})
            addSong(title, "Band");
        db->insertPlaylist("Live");
        makePage();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    }
    void cleanup() { close(); }

    // Each step is checked on the screen and in the library file.
    void dragAndRemove()
    {
        addToPlaylist({"Delta", "Bravo", "Alpha", "Charlie"});
        side(5);
        QCOMPARE(shown(), stored());
        drag(0, 2);
        const QStringList moved{"Bravo", "Alpha", "Delta", "Charlie"};
        QCOMPARE(stored(), moved);
        QCOMPARE(shown(), moved);
        side(0);
        QCOMPARE(shown(), (QStringList{"Alpha", "Bravo", "Charlie", "Delta"}));
        side(5);
        QCOMPARE(shown(), moved);
        // Taken off the playlist only: no file goes.
        const QString asked = removeShown("Delta");
        QVERIFY2(about(asked, {"playlist"}, {"file"}), qPrintable(asked));
        QCOMPARE(stored(), (QStringList{"Bravo", "Alpha", "Charlie"}));
        QCOMPARE(shown(), stored());
        removeShown("Bravo");
        QCOMPARE(stored(), (QStringList{"Alpha", "Charlie"}));
        QCOMPARE(shown(), stored());

        // A second move with a song twice in the list: a row plays and goes
        // as the entry it shows.
        addToPlaylist({"Delta", "Alpha"});
        side(0);
        side(5);
        drag(3, 1);
        QCOMPARE(stored(), (QStringList{"Alpha", "Alpha", "Charlie", "Delta"}));
        side(0);
        side(5);
        QCOMPARE(shown(), stored());
        table()->setCurrentIndex(table()->model()->index(table()->verticalHeader()->logicalIndex(3), 2));
        QCOMPARE(page->getPlaylistStartIndex(), 3);
        removeShown("Charlie");
        removeShown("Alpha");
        QCOMPARE(stored(), (QStringList{"Alpha", "Delta"}));
        QCOMPARE(shown(), stored());
        // A search's rows are library songs: they start no playlist.
        QTest::keyClicks(search(), "Cha");
        QTRY_COMPARE(shown(), QStringList{"Charlie"});
        table()->setCurrentIndex(table()->model()->index(0, 2));
        QCOMPARE(page->getPlaylistStartIndex(), -1);
        // The songs themselves stay in the library, listed by title.
        side(0);
        QCOMPARE(shown(), (QStringList{"Alpha", "Bravo", "Charlie", "Delta"}));
    }

    // The questions say what will go: a song's file, the playlist by name.
    void questionsSayWhat()
    {
        side(0);
        QString asked = removeShown("Charlie");
        QVERIFY2(about(asked, {"\"Charlie\"", "library", "file"}), qPrintable(asked));
        QVERIFY(!QFile::exists(db->getLibraryFolder() + "Charlie.mid"));
        QCOMPARE(shown(), (QStringList{"Alpha", "Bravo", "Delta"}));
        table()->selectAll();
        asked = answering(QMessageBox::No, [this] { QTest::mouseClick(button("deleteButton"), Qt::LeftButton); });
        QVERIFY2(about(asked, {"3", "library", "files"}), qPrintable(asked));
        QCOMPARE(rows(), 3);
        asked = answering(QMessageBox::Yes, [this] { pressOnPlaylistRow(5, "deleteButton"); });
        QVERIFY2(about(asked, {"\"Live\"", "playlist"}, {"file"}), qPrintable(asked));
        QCOMPARE(db->selectPlaylists().size(), 4);
    }

    // The rename dialog has room for its title; the playlist's table all its
    // columns without a horizontal scroll bar.
    void roomToShow()
    {
        QString title;
        int width = 0, room = 0;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            watch.stop();
            title = dialog->windowTitle();
            width = dialog->width();
            room = dialog->fontMetrics().horizontalAdvance(title) + 150;
            auto *field = dialog->findChild<QLineEdit *>();
            field->selectAll();
            QTest::keyClicks(field, "Tonight");
            QTest::keyClick(field, Qt::Key_Return);
        });
        watch.start();
        pressOnPlaylistRow(5, "infoButton");
        QCOMPARE(title, QString("Rename Playlist"));
        QVERIFY2(width >= room, qPrintable(QString("%1 < %2").arg(width).arg(room)));
        QCOMPARE(db->selectPlaylists().last().getName(), QString("Tonight"));

        // From four songs to twenty, with grips and a scroll bar, and back.
        for (int i = 0; i < 5; ++i)
            addToPlaylist({"Alpha", "Bravo", "Charlie", "Delta"});
        for (int entry : {5, 0}) {
            side(entry);
            QApplication::processEvents();
            int columns = 0;
            for (int c = 0; c < table()->model()->columnCount(); ++c)
                columns += table()->isColumnHidden(c) ? 0 : table()->columnWidth(c);
            const int room = table()->viewport()->width();
            QVERIFY2(columns <= room && columns >= room - 2, qPrintable(QString("%1 for %2").arg(columns).arg(room)));
            QTRY_VERIFY(!table()->horizontalScrollBar()->isVisible());
        }
    }
};

VELMAR_TEST(TestPlaylistOrder)
#include "tst_playlistorder.moc"
