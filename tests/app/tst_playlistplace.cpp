// Auto Play's place in a playlist followed through the edits made while a
// song plays: every move of one row to every other place, for every row
// playing, in a list that holds songs more than once; rows taken out, the
// playing one among them; rows added.
#include "playlistplace.h"
#include "testutil.h"

#include <QTest>

namespace {

// Song ids in play order: 7 and 3 are there twice, so that only the place
// tells the rows apart.
const QList<uint> kList{7, 3, 9, 7, 5, 3, 8};

} // namespace

class TestPlaylistPlace : public QObject
{
    Q_OBJECT

private slots:
    // The row playing stays the one playing wherever a row is moved, and
    // the one after it is the row the list shows after it.
    void rowMoved()
    {
        const int count = int(kList.size());
        for (int playing = 0; playing < count; ++playing) {
            for (int from = 0; from < count; ++from) {
                for (int to = 0; to < count; ++to) {
                    // The rows by who they are, moved as the list moves them.
                    QList<int> rows(count);
                    for (int i = 0; i < count; ++i)
                        rows[i] = i;
                    rows.move(from, to);
                    QList<uint> now;
                    for (int r : rows)
                        now << kList.at(r);
                    PlaylistPlace place;
                    place.start(4, kList, playing);
                    place.follow(now, from, to);
                    const QString what =
                        QStringLiteral("row %1 playing, row %2 moved to %3").arg(playing).arg(from).arg(to);
                    QCOMPARE_GE(place.index(), 0);
                    QVERIFY2(rows.at(place.index()) == playing, qPrintable(what));
                    const int after = int(rows.indexOf(playing)) + 1;
                    QVERIFY2(place.next() == (after < count ? after : -1), qPrintable(what));
                    QCOMPARE(place.playlistId(), 4);
                }
            }
        }
    }

    // Two moves in turn, the second across the row playing the other way.
    void movedTwice()
    {
        PlaylistPlace place;
        place.start(1, kList, 3); // the second 7
        QList<uint> now = kList;
        now.move(0, 5); // the first 7 to after the second 3: 3 9 7 5 3 7 8
        place.follow(now, 0, 5);
        QCOMPARE(place.index(), 2);
        now.move(6, 1); // 8 to the second row: 3 8 9 7 5 3 7
        place.follow(now, 6, 1);
        QCOMPARE(place.index(), 3);
        QCOMPARE(now.at(place.next()), 5u);
    }

    // Rows taken out: the playing one stays while it is there; once it is
    // gone, the row that followed it plays next, and a song added at the
    // end comes after the last.
    void rowsTakenOutAndAdded()
    {
        PlaylistPlace place;
        place.start(2, kList, 3);
        place.follow({7, 9, 7, 5, 3, 8}); // the first 3 out
        QCOMPARE(place.index(), 2);
        QCOMPARE(place.next(), 3);
        place.follow({7, 9, 5, 3, 8}); // the playing 7 out
        QCOMPARE(place.index(), -1);
        QCOMPARE(place.next(), 2);     // 5, which followed it
        place.follow({7, 9, 3, 8});    // and 5 too
        QCOMPARE(place.next(), 2);     // 3
        place.follow({7, 9});          // everything after it
        QCOMPARE(place.next(), -1);
        place.follow({7, 9, 6});       // a song added at the end
        QCOMPARE(place.next(), 2);

        place.start(2, kList, 6); // the last row
        QCOMPARE(place.next(), -1);
        place.follow(kList + QList<uint>{7});
        QCOMPARE(place.index(), 6);
        QCOMPARE(place.next(), 7);
        // The last row playing taken out, then a song added: it plays next.
        place.start(2, kList, 6);
        place.follow(kList.first(6));
        QCOMPARE(place.next(), -1);
        place.follow(kList.first(6) + QList<uint>{4});
        QCOMPARE(place.next(), 6);
        // The whole list emptied, then songs added: the first plays next.
        place.start(2, kList, 2);
        place.follow({});
        QCOMPARE(place.next(), -1);
        place.follow({4, 6});
        QCOMPARE(place.next(), 0);

        place.clear();
        QVERIFY(!place.active());
        place.follow(kList, 0, 3);
        QCOMPARE(place.next(), -1);
    }
};

VELMAR_TEST(TestPlaylistPlace)
#include "tst_playlistplace.moc"
