// A library page on a real library file in a home of its own, songs
// registered through the database helper, the store's replies from the local
// test store.
#pragma once

#include "DatabaseHelper.h"
#include "libraryview.h"
#include "prompter.h"
#include "teststore.h"
#include "testutil.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

struct LibraryFixture
{
    TestStore store;
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<DatabaseHelper> db;
    std::unique_ptr<libraryView> page;

    void open()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toUtf8());
        db = std::make_unique<DatabaseHelper>();
        QVERIFY(db->initDb() && db->connect());
        store.reset();
    }
    void close()
    {
        Prompter::setScript({});
        libraryView::setTextPrompt({});
        page.reset();
        db.reset();
    }
    // A song file `title`.mid in the song folder, registered.
    void addSong(const QString &title, const QString &artist, const QString &genre = {}, int fromSub = 0)
    {
        SongInfo s;
        s.title = title;
        s.artist = artist;
        s.genre = genre;
        s.format = "MIDI";
        s.isFromSub = fromSub;
        const QString path = db->getLibraryFolder() + title + ".mid";
        QVERIFY(TestUtil::writeFile(path, "x") && db->checkSong(s, path));
    }
    void makePage(MelodromeManager *storeManager = nullptr)
    {
        page = std::make_unique<libraryView>(db.get(), nullptr, storeManager);
        page->resize(1200, 700);
        page->show();
    }

    QTableView *table() const { return page->findChild<QTableView *>("songsListview"); }
    QPushButton *button(const char *name) const { return page->findChild<QPushButton *>(name); }
    QLineEdit *search() const { return page->findChild<QLineEdit *>("searchText"); }
    QLabel *gif() const { return page->findChild<QLabel *>("loadingGifLabel"); }
    // What the page says about the store.
    QString said() const { return page->findChild<QLabel *>("storeMessage")->text(); }
    QString cell(int row, int column = 2) const { return table()->model()->index(row, column).data().toString(); }
    int rows() const { return table()->model()->rowCount(); }
    // The titles in the order they are drawn, top to bottom.
    QStringList shown() const
    {
        QHeaderView *grips = table()->verticalHeader();
        QStringList titles;
        for (int place = 0; place < rows(); ++place)
            titles << cell(grips->logicalIndex(place));
        return titles;
    }
    QPoint grip(int place) const
    {
        QHeaderView *grips = table()->verticalHeader();
        const int row = grips->logicalIndex(place);
        return QPoint(grips->width() / 2, grips->sectionViewportPosition(row) + grips->sectionSize(row) / 2);
    }
    // Drags the grip drawn at `from` a little past the middle of the row
    // drawn at `to`.
    void drag(int from, int to) const
    {
        QHeaderView *grips = table()->verticalHeader();
        QTRY_VERIFY(grips->isVisible() && grips->width() > 0);
        QWidget *area = grips->viewport();
        const QPoint past(0, to > from ? 6 : -6);
        QTest::mousePress(area, Qt::LeftButton, {}, grip(from));
        QTest::mouseMove(area, grip(from) + past * 2);
        QTest::mouseMove(area, grip(to) + past / 2);
        QTest::mouseMove(area, grip(to) + past);
        QTest::mouseRelease(area, Qt::LeftButton, {}, grip(to) + past);
    }
    // A click on an entry of the side list.
    void side(int row) const
    {
        auto *list = page->findChild<QListWidget *>("playlistListWidget");
        list->setCurrentRow(row);
        emit list->clicked(list->model()->index(row, 0));
    }
};
