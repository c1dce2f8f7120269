// Cell painters rendered into images, the side list's rows and the file
// icons.
#include "librarytabledelegate.h"
#include "listitem.h"
#include "myiconprovider.h"
#include "testutil.h"

#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// One cell of a one-row model painted by the delegate onto white.
QImage paintCell(QStyledItemDelegate &delegate, const QStringList &row, int column, QSize size,
                 bool selected = false)
{
    QStandardItemModel model(1, row.size());
    for (int c = 0; c < row.size(); ++c)
        model.setItem(0, c, new QStandardItem(row.at(c)));
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    if (selected)
        option.state |= QStyle::State_Selected;
    option.palette.setColor(QPalette::Highlight, QColor(255, 204, 0));
    delegate.paint(&painter, option, model.index(0, column));
    return image;
}

// The resource picture (or the part `source` of it) drawn into `target`.
// A shrunk picture is drawn smoothly.
QImage expected(const QString &icon, QSize size, QRect target, bool selected = false, QRect source = {},
                bool smooth = false)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(selected ? QColor(255, 204, 0) : QColor(Qt::white));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    const QPixmap pixmap(":/icon2x/" + icon);
    painter.drawPixmap(target, pixmap, source.isNull() ? pixmap.rect() : source);
    return image;
}

bool darkPixelIn(const QImage &image, QRect area)
{
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

} // namespace

class TestLibraryCells : public QObject
{
    Q_OBJECT

private slots:
    void cellTexts_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("lengthShown");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("keyShown");
        QTest::newRow("no values") << "0" << "--" << "" << 0 << "--";
        QTest::newRow("185 s, Italian") << "185" << "03\u203205\u2033" << "A#m" << 0 << "La#m";
        QTest::newRow("over an hour, letters") << "3725" << "02\u203205\u2033" << "A#m" << 1 << "A#m";
        QTest::newRow("overlong key") << "59" << "00\u203259\u2033" << QString(60, 'G') << 0
                                      << QString();
    }

    void cellTexts()
    {
        QFETCH(QString, length);
        QFETCH(QString, lengthShown);
        QFETCH(QString, key);
        QFETCH(int, lang);
        QFETCH(QString, keyShown);
        QCOMPARE(LibraryCells::lengthText(length), lengthShown);
        const QString shown = LibraryCells::keyText(key, lang);
        if (!keyShown.isNull())
            QCOMPARE(shown, keyShown);
        QVERIFY(shown.size() < 50);
    }

    // Status and format columns show the picture the state or type names.
    void cellIcons_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("icon");
        QTest::newRow("local song") << 1 << "0" << false << "genre_icon.png";
        QTest::newRow("store song") << 1 << "2" << false << "library_icon_sel_melodrome.png";
        // The same dark logo on the chosen row's yellow: the grey one stood out 1.9:1.
        QTest::newRow("store song, selected") << 1 << "2" << true << "library_icon_sel_melodrome.png";
        QTest::newRow("downloading") << 1 << "3" << false << "downloadingIcon.png";
        QTest::newRow("failed") << 1 << "5" << false << "downloadError.png";
        QTest::newRow("mid") << 5 << "mid" << false << "midi_icon.png";
        QTest::newRow("MP3") << 5 << "MP3" << false << "mp3_icon.png";
        QTest::newRow("WAV") << 5 << "WAV" << false << "genre_icon.png";
    }

    void cellIcons()
    {
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(bool, selected);
        QFETCH(QString, icon);
        libraryTableDelegate delegate;
        QStringList row(9, "1");
        row[column] = value;
        const QSize size(column == 1 ? 30 : 60, 40);
        QImage cell = paintCell(delegate, row, column, size, selected);
        // The grid line is the painter's own; compare above it. A status
        // picture is shrunk into the 24-pixel square centred in its narrow
        // cell; the store's wide logo shows its square mark at the left.
        const QRect above(0, 0, size.width(), size.height() - 1);
        const bool logo = icon.startsWith("library_icon");
        const QRect source = logo ? QRect(0, 0, 34, 34) : QRect();
        QCOMPARE(cell.copy(above),
                 expected(icon, size, column == 1 ? QRect(3, 8, 24, 24) : QRect(QPoint(), size), selected, source,
                          column == 1)
                     .copy(above));
        // The mark alone, whole and in the middle: no sliver of the logo's
        // bars standing before the title.
        if (logo) {
            QRect ink;
            for (int y = 0; y < above.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    if (qGray(cell.pixel(x, y)) < 128)
                        ink |= QRect(x, y, 1, 1);
            const int left = ink.left(), right = size.width() - 1 - ink.right();
            QVERIFY2(ink.width() >= 8 && ink.height() >= 12 && qAbs(left - right) <= 3,
                     qPrintable(QStringLiteral("ink %1x%2, %3 px from the left, %4 from the right")
                                    .arg(ink.width()).arg(ink.height()).arg(left).arg(right)));
        }
    }

    // Listings are indented text; search-table suffixes get a format icon.
    void listingAndSearchCells()
    {
        libraryTableDelegate delegate;
        const QImage text = paintCell(delegate, {"1", "Queen", "12"}, 1, QSize(200, 40));
        QVERIFY(!darkPixelIn(text, QRect(0, 0, 20, 38)));
        QVERIFY(darkPixelIn(text, QRect(20, 0, 180, 38)));
        searchTableDelegate search;
        QCOMPARE(paintCell(search, {"KAR", "x.kar", "/"}, 0, QSize(60, 40)),
                 expected("midi_icon.png", QSize(60, 40), QRect(0, 0, 60, 40)));
    }

    void playlistRows_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("kind");
        QTest::newRow("recent") << "Recenti" << "Recent" << 4;
        QTest::newRow("user's Recent") << "Recent" << "Recent" << 1;
        QTest::newRow("all songs") << "All Songs" << "All Songs" << 0;
        QTest::newRow("downloaded") << "Downloaded" << "Downloaded" << 5;
        QTest::newRow("lower case") << "downloaded" << "downloaded" << 1;
    }

    // Fixed playlists are shown by their translated names with their own
    // icons; the rename button hands on the row's title and id.
    void playlistRows()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(int, kind);
        Playlist playlist;
        playlist.setName(stored);
        playlist.setId(7);
        listItem row(nullptr, nullptr, 0, listItem::PlaylistType, 18);
        row.setPlaylist(playlist);
        row.showRightIcons();
        QCOMPARE(row.titleText(), shown);
        QCOMPARE(row.getLeftIcon(), kind);
        QSignalSpy rename(&row, &listItem::renamePlaylist);
        row.findChild<QPushButton *>("infoButton")->click();
        QCOMPARE(rename.size(), 1);
        QCOMPARE(rename.first(), QVariantList({shown, 7}));
    }

    // Unseen news paint the red dot; seen news do not.
    void newsDot()
    {
        listItem row(nullptr, nullptr, 3, listItem::PlaylistType, 18);
        row.resize(234, 38);
        row.setLeftIcon(listItem::IconNewsUnseen);
        QCOMPARE(row.grab().toImage().pixelColor(row.width() - 10, 9), QColor("#ff4d4d"));
        row.setLeftIcon(listItem::IconNews);
        QVERIFY(row.grab().toImage().pixelColor(row.width() - 10, 9) != QColor("#ff4d4d"));
    }

    void fileIcons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("icon");
        QTest::newRow("SONG.MP3") << "SONG.MP3" << "mp3_icon.png";
        QTest::newRow("song.Mid") << "song.Mid" << "midi_icon.png";
        QTest::newRow("song.kar") << "song.kar" << "File - Generic.png";
        QTest::newRow("folder") << "folder/" << "folder-sad.png";
        QTest::newRow("root") << "/" << "hddIcon.png";
    }

    void fileIcons()
    {
        QFETCH(QString, name);
        QFETCH(QString, icon);
        QTemporaryDir dir;
        QString path = name == "/" ? name : dir.filePath(name);
        if (name.endsWith('/'))
            QDir().mkpath(path);
        else if (name != "/")
            TestUtil::writeFile(path, "x");
        const QImage want(":/icon2x/" + icon);
        const QIcon got = myIconProvider().icon(QFileInfo(path));
        QCOMPARE(got.pixmap(want.size()).toImage().convertToFormat(want.format()), want);
    }
};

VELMAR_TEST(TestLibraryCells)
#include "tst_librarycells.moc"
