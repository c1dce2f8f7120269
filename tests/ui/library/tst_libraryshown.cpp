// What the library page shows in each language: hint bubbles whole, the
// texts of the entry shown following a language change, an unknown artist
// in the language chosen, the filters over any entry, every control of the
// side list in sight, and the news logo on the highlight.
#include "contrast.h"
#include "libraryfixture.h"
#include "listitem.h"
#include "popupform.h"
#include "testlanguage.h"
#include "widgettexts.h"

#include <QScrollBar>
#include <QSqlQuery>
#include <QStyledItemDelegate>

namespace {

// The library's empty playlist, below the caption and "Live".
constexpr int kEmptyPlaylist = 6;
constexpr int kNews = 3;

QString translated(const char *text)
{
    return QCoreApplication::translate("libraryView", text);
}

// Texts of `widget`'s window that need more room than they have, and
// controls seen only in part.
QStringList cutTexts(const QWidget *window)
{
    QStringList cut;
    for (const WidgetTexts::Entry &e : WidgetTexts::collect(window)) {
        if (e.cut() && (e.kind == "label" || e.kind == "button" || e.kind == "control"))
            cut << QStringLiteral("%1 %2 (%3 of %4)").arg(e.path, e.text).arg(e.have).arg(e.need);
    }
    return cut;
}

} // namespace

class TestLibraryShown : public QObject, LibraryFixture
{
    Q_OBJECT

    QStringList boxes;

    QString shown(int row, int column)
    {
        const QModelIndex index = table()->model()->index(row, column);
        const auto *painter = qobject_cast<QStyledItemDelegate *>(table()->itemDelegateForIndex(index));
        return painter->displayText(index.data(), QLocale());
    }

private slots:
    void initTestCase() { QVERIFY(store.start()); }

    void init()
    {
        open();
        addSong("Dawn", "Queen", "Rock");
        addSong("Nameless", "<UNKNOWN>", "<UNKNOWN>");
        db->insertPlaylist("Live");
        db->insertPlaylist("Empty");
        QVERIFY(db->insertSongInPlayList(1, 5));
        boxes.clear();
        Prompter::setScript([this](const QString &, const QString &text, QMessageBox::StandardButtons) {
            return boxes << text, QMessageBox::Ok;
        });
        makePage();
    }
    void cleanup() { close(); }

    // Both hints, in every language, stand whole in their bubble under the
    // add button.
    void hintBubbles_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("adding");
        for (const char *language : {"it", "en", "de", "zh"}) {
            QTest::addRow("%s, empty playlist", language) << QString(language) << false;
            QTest::addRow("%s, adding", language) << QString(language) << true;
        }
    }

    void hintBubbles()
    {
        QFETCH(QString, language);
        QFETCH(bool, adding);
        TestLanguage shownIn(language);
        side(kEmptyPlaylist);
        auto *hint = page->findChild<PopupForm *>();
        if (adding) {
            hint->close();
            button("AddToPlayListButton")->click();
        }
        QVERIFY(hint->isVisible());
        const QString text = adding ? translated("Double click on a row to add the song to the playlist, press "
                                                 "\"End\" when finished")
                                    : translated("Press \"Add Songs\" to select songs from your repertory and "
                                                 "make the playlist");
        QCOMPARE(hint->findChild<QLabel *>()->text(), text);
        QCOMPARE(cutTexts(hint), QStringList());
        QPushButton *add = button("AddToPlayListButton");
        QCOMPARE(hint->y(), add->mapToGlobal(QPoint(0, add->height())).y());
    }

    // The hint bubble takes no click: the first press on "Add Song" while
    // it shows starts adding, and the bubble goes with the click.
    void hintTakesNoClick()
    {
        side(kEmptyPlaylist);
        auto *hint = page->findChild<PopupForm *>();
        QVERIFY(hint->isVisible());
        QPushButton *add = button("AddToPlayListButton");
        // Through the window, as the window system delivers it.
        QTest::mouseClick(add->window()->windowHandle(), Qt::LeftButton, {},
                          add->mapTo(add->window(), add->rect().center()));
        QCOMPARE(add->text(), QString("End"));
        QTRY_VERIFY(!hint->isVisible() || hint->findChild<QLabel *>()->text().startsWith("Double click"));
    }

    // The texts the page set for the entry shown are set again in the
    // language chosen, not the form's first ones.
    void languageChange_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("text");
        QTest::newRow("news") << "news" << "labelSongs" << "News of the week";
        QTest::newRow("adding") << "adding" << "AddToPlayListButton" << "End";
        QTest::newRow("playlist") << "playlist" << "AddToPlayListButton" << "Add Song";
        QTest::newRow("all songs") << "all" << "labelSongs" << "Songs";
    }

    void languageChange()
    {
        QFETCH(QString, state);
        QFETCH(QString, widget);
        QFETCH(QString, text);
        side(state == "news" ? kNews : state == "all" ? 0 : kEmptyPlaylist);
        if (state == "adding")
            button("AddToPlayListButton")->click();
        for (const char *language : {"it", "de", "en"}) {
            TestLanguage shownIn(language);
            auto *shownWidget = page->findChild<QWidget *>(widget);
            const QString now = qobject_cast<QLabel *>(shownWidget) ? qobject_cast<QLabel *>(shownWidget)->text()
                                                                     : qobject_cast<QPushButton *>(shownWidget)->text();
            QCOMPARE(now, translated(text.toUtf8().constData()));
        }
    }

    // The artist and genre filters list the whole library from whatever
    // entry they are pressed on, and their rows open their songs.
    void filtersFromAnyEntry_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<bool>("artists");
        for (const auto &[name, entry] : {std::pair{"news", kNews}, std::pair{"recent", 1}, std::pair{"playlist", 5}}) {
            QTest::addRow("%s, artist", name) << entry << true;
            QTest::addRow("%s, genre", name) << entry << false;
        }
    }

    void filtersFromAnyEntry()
    {
        QFETCH(int, entry);
        QFETCH(bool, artists);
        side(entry);
        button(artists ? "artistButton" : "genreButton")->click();
        QCOMPARE(page->findChild<QListWidget *>("playlistListWidget")->currentRow(), 0);
        QCOMPARE(page->getHeaderStatus(), int(libraryView::Listing));
        QCOMPARE(page->findChild<QLabel *>("labelSongs")->text(), QString("Songs"));
        QCOMPARE(rows(), 2);
        const QString name = cell(0, 1);
        emit table()->doubleClicked(table()->model()->index(0, 1));
        QCOMPARE(page->getHeaderStatus(), int(libraryView::SongsOfListing));
        QVERIFY(!button("backButton")->isHidden());
        QCOMPARE(rows(), 1);
        if (artists)
            QCOMPARE(cell(0, 3), name);
    }

    // Files and the library keep "<UNKNOWN>"; the table, the listings and
    // the song's information say it in the language shown.
    void unknownArtist()
    {
        TestLanguage shownIn("it");
        const QString unknown = QCoreApplication::translate("SongTexts", "<UNKNOWN>");
        QCOMPARE(unknown, QString("<SCONOSCIUTO>"));
        QSqlQuery stored;
        QVERIFY(stored.exec("SELECT NomeArtista FROM Artisti WHERE NumBrani > 0 ORDER BY NomeArtista") && stored.next());
        QCOMPARE(stored.value(0).toString(), QString("<UNKNOWN>"));
        int row = cell(0) == "Nameless" ? 0 : 1;
        QCOMPARE(cell(row, 3), QString("<UNKNOWN>"));
        QCOMPARE(shown(row, 3), unknown);
        QCOMPARE(shown(1 - row, 3), QString("Queen"));
        table()->selectRow(row);
        button("infoButton")->click();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().contains(unknown) && !boxes.first().contains("<UNKNOWN>"), qPrintable(boxes.first()));
        for (const char *filter : {"artistButton", "genreButton"}) {
            button(filter)->click();
            row = cell(0, 1) == "<UNKNOWN>" ? 0 : 1;
            QCOMPARE(shown(row, 1), unknown);
        }
    }

    // Each playlist row shows its rename and delete icons whole, also when
    // the side list is short enough to scroll or a name is long, in every
    // language; every row and the heading as wide as the list shows.
    void sideListRowsWhole_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("height");
        for (const char *language : {"it", "en"}) {
            QTest::addRow("%s, tall", language) << QString(language) << 700;
            QTest::addRow("%s, scrolling", language) << QString(language) << 330;
        }
    }

    void sideListRowsWhole()
    {
        QFETCH(QString, language);
        QFETCH(int, height);
        const QString longName = "Songs for the wedding on Saturday, first and second set";
        for (const QString &name : {QString("Rehearsal"), QString("Wedding"), longName})
            db->insertPlaylist(name);
        page->refreshPlaylistsView();
        TestLanguage shownIn(language);
        page->resize(1280, height);
        QCoreApplication::processEvents();
        auto *list = page->findChild<QListWidget *>("playlistListWidget");
        QCOMPARE(list->verticalScrollBar()->isVisible(), height < 500);
        int icons = 0;
        for (int r = 0; r < list->count(); ++r) {
            list->scrollToItem(list->item(r));
            QCoreApplication::processEvents();
            const QStringList cut = cutTexts(page.get());
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
            // As wide as the list shows, beside its scroll bar.
            const QWidget *shown = list->itemWidget(list->item(r));
            QVERIFY2(shown->x() >= 0 && shown->geometry().right() < list->viewport()->width(),
                     qPrintable(QStringLiteral("row %1 at %2..%3 of %4").arg(r).arg(shown->x())
                                    .arg(shown->geometry().right()).arg(list->viewport()->width())));
            if (auto *row = qobject_cast<listItem *>(list->itemWidget(list->item(r)))) {
                QCOMPARE(row->height(), 38);
                icons += !row->findChild<QPushButton *>("deleteButton")->isHidden();
                // A name longer than the row ends in an ellipsis, whole in its tooltip.
                if (row->titleText() == longName) {
                    auto *title = row->findChild<QLabel *>("titleLabel");
                    QVERIFY(title->text().endsWith(QChar(0x2026)));
                    QCOMPARE(title->toolTip(), longName);
                }
            }
        }
        QCOMPARE(icons, 5);
    }

    // The heading stands clear of the page tabs.
    void headingClearOfTabs()
    {
        auto *heading = page->findChild<QLabel *>("labelSongs");
        const QWidget *tabs = page->findChild<QWidget *>("hFrameTabs");
        const int text = heading->mapTo(page.get(), heading->contentsRect().topLeft()).x();
        QVERIFY2(text - tabs->mapTo(page.get(), QPoint(tabs->width(), 0)).x() >= 8, qPrintable(QString::number(text)));
    }

    // The news entry's yellow logo stays seen when its row is selected,
    // on the yellow highlight.
    void newsLogoOnHighlight()
    {
        side(kNews);
        auto *list = page->findChild<QListWidget *>("playlistListWidget");
        QVERIFY(list->item(kNews)->isSelected());
        const QWidget *logo = list->itemWidget(list->item(kNews))->findChild<QWidget *>("leftIcon");
        const QRect at(logo->mapTo(list->viewport(), QPoint(0, 0)), logo->size());
        const QImage picture = list->viewport()->grab(at).toImage();
        const QColor yellow(255, 204, 0);
        int logoPixels = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                logoPixels += picture.pixelColor(x, y) == yellow;
        QVERIFY(logoPixels > 100);
        const QColor ground = picture.pixelColor(0, picture.height() / 2);
        QVERIFY2(Contrast::ratio(ground, yellow) >= 3, qPrintable(ground.name()));
        // Another entry chosen, also by a filter: the plate goes with the highlight.
        button("artistButton")->click();
        QVERIFY(!list->item(kNews)->isSelected());
        QVERIFY(list->viewport()->grab(at).toImage().pixelColor(0, picture.height() / 2).lightness() > 200);
    }
};

VELMAR_TEST(TestLibraryShown)
#include "tst_libraryshown.moc"
