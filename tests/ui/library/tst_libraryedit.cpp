// The library page's double click, playlist editing and search on a real
// library file, with the local test store answering the store's requests.
#include "libraryfixture.h"

#include "listitem.h"

#include <QHeaderView>
#include <QLabel>

class TestLibraryEdit : public QObject, LibraryFixture
{
    Q_OBJECT

    QStringList asked;

    void dclick(int row) { emit table()->doubleClicked(table()->model()->index(row, 2)); }
    QString stored() // playlist 5 in play order
    {
        QStringList titles;
        for (const SongInfo &s : db->getPlaylistSongs(5))
            titles << s.title;
        return titles.join(',');
    }
    // A user playlist's button in the side list, pressed where it is drawn.
    void pressOnPlaylistRow(int id, const char *name)
    {
        auto *list = page->findChild<QListWidget *>("playlistListWidget");
        for (int r = 0; r < list->count(); ++r) {
            auto *row = qobject_cast<listItem *>(list->itemWidget(list->item(r)));
            if (row && row->getPlaylist().getId() == id) {
                list->scrollToItem(list->item(r));
                auto *pressed = row->findChild<QPushButton *>(name);
                QTRY_VERIFY(pressed->isVisible());
                QTest::mouseClick(pressed, Qt::LeftButton);
                return;
            }
        }
        QFAIL("no row of that playlist");
    }
    QStringList userPlaylists() const
    {
        QStringList names;
        for (const Playlist &p : db->selectPlaylists())
            if (p.getId() >= 5)
                names << p.getName();
        return names;
    }

private slots:
    void initTestCase() { QVERIFY(store.start()); }

    void init()
    {
        open();
        for (const char *entry : {"abc Queen", "abd Queen", "bcd Abba", "cde Abba", "xyz Zed"})
            addSong(QString(entry).section(' ', 0, 0), QString(entry).section(' ', 1));
        db->insertPlaylist("Live");
        asked.clear();
        Prompter::setScript([this](const QString &title, const QString &text, QMessageBox::StandardButtons) {
            asked << title + "|" + text;
            return QMessageBox::Yes;
        });
        makePage();
    }
    void cleanup() { close(); }

    // A library row plays once with its song; a deleted file only says so.
    void activateLibraryRow()
    {
        QFile::remove(db->getLibraryFolder() + "cde.mid");
        QSignalSpy play(page.get(), &libraryView::startSongInfo);
        dclick(2);
        dclick(3);
        QCOMPARE(asked, QStringList{"Cannot play file|Cannot play:\nThis file seems deleted"});
        QCOMPARE(play.size(), 1);
        QCOMPARE(play.first().at(0).value<SongInfo>().title, QString("bcd"));
        QCOMPARE(play.first().at(1).toInt(), -1);
        // The play button takes the current row's file.
        table()->setCurrentIndex(table()->model()->index(2, 2));
        QCOMPARE(page->getSelectedPath(), db->getLibraryFolder() + "bcd.mid");
    }

    // An artist of the listing opens its songs; back returns to the listing,
    // captioned "Songs" even when the artists were chosen on the news.
    void openArtist()
    {
        // Chosen on the news, the listing comes under "Songs" from All Songs.
        side(3);
        button("artistButton")->click();
        side(0);
        QCOMPARE(page->findChild<QLabel *>("labelSongs")->text(), QString("Songs"));
        table()->setCurrentIndex(table()->model()->index(0, 1));
        QCOMPARE(page->getSelectedPath(), QString());
        dclick(cell(0, 1) == "Abba" ? 0 : 1);
        QCOMPARE(page->getHeaderStatus(), int(libraryView::SongsOfListing));
        QVERIFY(button("backButton")->isVisible());
        QCOMPARE(cell(0, 3) + cell(1, 3) + cell(2, 3), QString("AbbaAbba"));
        button("backButton")->click();
        QCOMPARE(page->getHeaderStatus(), int(libraryView::Listing));
        QCOMPARE(table()->model()->rowCount(), 3);
        // Another entry of the side list goes back to titles.
        side(2);
        QVERIFY(button("titleButton")->isChecked());
    }

    // Filling, dragging and emptying a playlist; a new page shows the order
    // stored; a row plays the playlist from the entry it shows.
    void editPlaylist()
    {
        side(5);
        QPushButton *add = button("AddToPlayListButton");
        add->click();
        QCOMPARE(add->text(), QString("End"));
        for (int row : {0, 1, 2, 2})
            dclick(row);
        QCOMPARE(add->text(), QString("Added"));
        QTRY_COMPARE_WITH_TIMEOUT(add->text(), QString("End"), 10000);
        add->click();
        QCOMPARE(stored(), QString("abc,abd,bcd,bcd"));
        table()->verticalHeader()->moveSection(0, 3);
        QCOMPARE(stored(), QString("abd,bcd,bcd,abc"));
        // The rows are read again in the order stored.
        table()->setCurrentIndex(table()->model()->index(3, 2));
        QCOMPARE(cell(3), QString("abc"));
        QCOMPARE(page->getPlaylistStartIndex(), 3);
        for (int row : {2, 3})
            table()->selectionModel()->select(table()->model()->index(row, 2), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        page->removeSelectedFromPlaylist();
        QCOMPARE(stored(), QString("abd,bcd"));
        makePage();
        side(5);
        QCOMPARE(cell(0) + cell(1), QString("abdbcd"));
        // Import while adding ends adding as its own button does: the
        // playlist is shown again and plays from the entry chosen; on the
        // library page Import asks for the file dialog (an empty list).
        add = button("AddToPlayListButton");
        add->click();
        QSignalSpy imports(page.get(), &libraryView::importRequest);
        button("importButton")->click();
        QCOMPARE(imports.size(), 1);
        QVERIFY(imports.first().at(0).value<QList<QUrl>>().isEmpty());
        QCOMPARE(add->text(), QString("Add Song"));
        QCOMPARE(cell(0) + cell(1) + QString::number(rows()), QString("abdbcd2"));
        table()->setCurrentIndex(table()->model()->index(1, 2));
        QCOMPARE(page->getPlaylistStartIndex(), 1);
    }

    // The search box shows what filters the list: a search typed while
    // adding songs to a playlist goes with the adding, and one typed over a
    // playlist deleted goes with that playlist's list.
    void searchBoxSaysTheFilter()
    {
        side(5);
        QPushButton *add = button("AddToPlayListButton");
        add->click();
        QTest::keyClicks(search(), "xy");
        QCOMPARE(cell(0) + QString::number(rows()), QString("xyz1"));
        dclick(0);
        QTRY_COMPARE_WITH_TIMEOUT(add->text(), QString("End"), 10000);
        add->click();
        QCOMPARE(page->getHeaderStatus(), int(libraryView::PlaylistSongs));
        QCOMPARE(cell(0) + QString::number(rows()) + "|" + search()->text(), QString("xyz1|"));
        QTest::keyClicks(search(), "ab");
        QCOMPARE(rows(), 2);
        pressOnPlaylistRow(5, "deleteButton");
        QCOMPARE(page->getHeaderStatus(), int(libraryView::AllSongs));
        QCOMPARE(QString::number(rows()) + "|" + search()->text(), QString("5|"));
    }

    // Names are asked for new and renamed playlists; Cancel makes none. A
    // playlist's row renames it and deletes it once that is confirmed.
    void namePlaylists()
    {
        QStringList prompts, answers{"", "   "};
        libraryView::setTextPrompt([&](const QString &title, const QString &, const QString &text) {
            prompts << title + "|" + text;
            return answers.takeFirst();
        });
        button("newPlaylistButton")->click();
        pressOnPlaylistRow(5, "infoButton");
        QCOMPARE(prompts, (QStringList{"New Playlist|", "Rename Playlist|Live"}));
        QCOMPARE(userPlaylists(), QStringList{"   "});
        pressOnPlaylistRow(5, "deleteButton");
        QCOMPARE(asked, QStringList{"Attention|Do you really want to delete the playlist \"   \"?"});
        QCOMPARE(userPlaylists(), QStringList());
    }

    // A new playlist is shown and chosen, its row in sight of a short side
    // list, its songs (none yet) listed.
    void newPlaylistShown()
    {
        for (int i = 0; i < 8; ++i)
            db->insertPlaylist(QStringLiteral("Old %1").arg(i));
        makePage();
        page->resize(1200, 420);
        libraryView::setTextPrompt([](const QString &, const QString &, const QString &) { return QString("Tonight"); });
        button("newPlaylistButton")->click();
        auto *list = page->findChild<QListWidget *>("playlistListWidget");
        QListWidgetItem *current = list->currentItem();
        QVERIFY(current);
        QCOMPARE(list->itemWidget(current)->findChild<QLabel *>("titleLabel")->text(), QString("Tonight"));
        const QRect at = list->visualItemRect(current);
        QVERIFY(at.top() >= 0 && at.bottom() <= list->viewport()->rect().bottom());
        QCOMPARE(page->getPlaylistName(), QString("Tonight"));
        QCOMPARE(rows(), 0);
    }

    // The drive index: short texts match the start of a name, longer ones
    // any part; quotes and wildcards are plain characters; an empty field
    // goes back to the folder.
    void driveIndexSearch_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found");
        QTest::newRow("start") << "ab" << "abc.mp3,abx.mid";
        QTest::newRow("inside") << "bc." << "abc.mp3";
        QTest::newRow("quote") << "a\"b" << "a\"b.mid";
        QTest::newRow("wildcard") << "a_" << "a_b.mid";
        QTest::newRow("emptied") << "" << "";
    }
    void driveIndexSearch()
    {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        // One drive holding the songs, indexed on the page's first visit.
        const QString drive = home->path() + "/drives/D/";
        QVERIFY(QDir().mkpath(drive));
        for (const char *name : {"abx.mid", "xab.mid", "abc.mp3", "a\"b.mid", "a_b.mid", "axb.mid"})
            QVERIFY(TestUtil::writeFile(drive + name, "x"));
        page->setDrivesRoot(home->path() + "/drives");
        button("browsePcButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(page->findChild<QLabel *>("loadingLabel")->isHidden(), 30000);
        QTest::keyClicks(search(), typed.isEmpty() ? "x" : typed);
        auto *results = page->findChild<QTableView *>("searchLV");
        QTRY_VERIFY_WITH_TIMEOUT(results->isVisible(), 10000);
        if (typed.isEmpty())
            search()->clear();
        QTRY_COMPARE_WITH_TIMEOUT(page->findChild<QWidget *>("filesLV")->isVisible(), typed.isEmpty(), 10000);
        QStringList names;
        for (int r = 0; !typed.isEmpty() && r < results->model()->rowCount(); ++r)
            names << results->model()->index(r, 1).data().toString();
        names.sort();
        QCOMPARE(names.join(','), found);
    }
};

VELMAR_TEST(TestLibraryEdit)
#include "tst_libraryedit.moc"
