#pragma once

#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "ListTextViewDelegate.h"
#include "LyricsModel.h"
#include "SongObjects.h"
#include "ViewParameter.h"
#include "chordsView.h"
#include "editview.h"
#include "constants.h"
#include "contrast.h"
#include "controltracksmall.h"
#include "dialogcopyfiles.h"
#include "language.h"
#include "librarytabledelegate.h"
#include "libraryview.h"
#include "SynthAudioSink.h"
#include "adbanner.h"
#include "soundenginerig.h"
#include "mainwindow.h"
#include "newwidgetwindow.h"
#include "prompter.h"
#include "seektrackslider.h"
#include "settingsview.h"
#include "singleinstance.h"
#include "statusbarhead.h"
#include "teststore.h"
#include "volumepopup.h"
#include "widgettexts.h"
#include "testutil.h"

#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QtTest>
#include <QtWidgets>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

inline double rms(const std::vector<float> &s)
{
    double sum = 0;
    for (float v : s)
        sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

} // namespace

// The real window on the real engine (its synthesizer rendering into a buffer nobody pulls) over
// a library of mido-made KAR songs, as each of the window's test classes has it: the fixtures
// below and the helpers they share.
// Two laptop screens side by side, 1280x800 and 1366x768, when nothing else
// is asked for.
inline const int defaultScreens =
    TestUtil::setDefaultPlatform("offscreen:configfile=" VELMAR_TEST_SOURCE_DIR "/screens.json");

class MainWindowRig : public QObject
{
    Q_OBJECT
protected:
    QTemporaryDir m_songs;
    std::unique_ptr<DatabaseHelper> m_db;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_boxes; // "title|text" of each message box, closed at once
    bool m_windowOpenAtBox = false; // the window still shown when the last box came
    QStringList m_prompts; // "title|text" of each prompt, answered Yes
    QTemporaryDir m_files, m_home; // the library lives in a home of the test's own
    QByteArray m_oldHome;
    TestStore m_store;
    QTimer m_boxCloser;
    // Answers the next message box with the button of that text; unset: OK.
    std::function<QString()> m_boxAnswer;
    // While it says so, a message box stays open.
    std::function<bool()> m_boxHeld;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
    // The devices of the next window: the synthesizer's list (numbered from
    // 1) and the audio path's (by id), the same devices in the same order.
    std::vector<AudioDeviceEntry> m_synthList;
    std::vector<Sound::AudioSink::Device> m_audioList;
    QString m_bank;
    OfflineAudioSink *m_synthSink = nullptr;
    Sound::PullAudioSink *m_audioSink = nullptr;

    MainWindow *window()
    {
        if (!m_window) {
            auto synth = m_synthList.empty() ? std::make_unique<OfflineAudioSink>()
                                             : std::make_unique<OfflineAudioSink>(44100, m_synthList);
            auto audio = m_audioList.empty() ? std::make_unique<Sound::PullAudioSink>()
                                             : std::make_unique<Sound::PullAudioSink>(m_audioList);
            m_synthSink = synth.get();
            m_audioSink = audio.get();
            SoundEngine::Devices devices{std::move(synth), std::move(audio), m_bank};
            m_window = std::make_unique<MainWindow>(m_db.get(), nullptr, std::move(devices));
            // With devices of its own, a test connects them as the start-up does.
            if (m_synthList.empty())
                m_window->engine()->connectToSoundCardByIdx(SoundEngine::kSynthIndex);
            m_window->findChild<QStackedWidget *>("stackedWidget")->setCurrentIndex(0);
            m_window->show();
        }
        return m_window.get();
    }
    // The prompts answered by m_answer, their title and text kept.
    void scriptPrompts()
    {
        Prompter::setScript([this](const QString &title, const QString &text, auto) {
            return m_prompts << title + "|" + text, m_answer;
        });
    }
    // The start-up's work after the first show, as each start does it.
    void startUp() { QVERIFY(QMetaObject::invokeMethod(window(), "startDelayedFunc")); }
    QComboBox *combo(const char *name) { return window()->settingsView()->findChild<QComboBox *>(name); }
    void choose(const char *name, const QString &text)
    {
        QComboBox *box = combo(name);
        box->setCurrentIndex(box->findText(text));
        QVERIFY(box->currentIndex() >= 0);
        emit box->activated(box->currentIndex());
    }
    // The device warning shown on the screen, if any.
    QMessageBox *warningShown()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                return box;
        }
        return nullptr;
    }
    int updateOffers() const { return int(m_prompts.filter(QRegularExpression("^Update available\\|An update")).size()); }
    QTableView *songTable() { return find<QTableView>("songsListview"); }
    // The rows drawn lit as the song in play's: the mark at their left.
    QList<int> litRows()
    {
        QTableView *table = songTable();
        const QImage image = table->viewport()->grab().toImage();
        QList<int> rows;
        for (int r = 0; r < table->model()->rowCount(); ++r) {
            const QRect cell = table->visualRect(table->model()->index(r, 1));
            const QPoint mark(cell.left() + 1, cell.center().y());
            if (image.rect().contains(mark) && QColor(image.pixel(mark)) == libraryTableDelegate::litMark)
                rows << r;
        }
        return rows;
    }
    // Makes the library row of `path` the current one (no row for an empty path).
    void select(const QString &path)
    {
        auto *model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        songTable()->setCurrentIndex(QModelIndex());
        for (int row = 0; !path.isEmpty() && row < model->rowCount(); ++row) {
            if (model->record(row).value("innerPath").toString() == path)
                songTable()->setCurrentIndex(model->index(row, 2));
        }
        QCOMPARE(songTable()->currentIndex().isValid(), !path.isEmpty());
    }
    QString song(const char *name) const { return m_songs.filePath(QLatin1String(name) + ".kar"); }
    SongInfo info(const QString &path) const
    {
        SongInfo i;
        i.innerPath = path;
        return i;
    }
    // A playlist named name of the songs at paths, each listed in the
    // library: its id, and the songs' ids in ids.
    int makePlaylist(const QString &name, const QStringList &paths, QList<int> &ids)
    {
        m_db->insertPlaylist(name);
        const int list = m_db->selectPlaylists().last().getId();
        for (const QString &path : paths) {
            if (!m_db->insertDataSongs(info(path), path, m_db->checkInsertArtist("Artist"),
                                       m_db->checkInsertGenre("Genre"), m_db->checkInsertAuthor("Author")))
                return -1;
            ids << int(m_db->selectSongByPath(path).idSong);
            if (!m_db->insertSongInPlayList(ids.last(), list))
                return -1;
        }
        return list;
    }
    SoundEngine::PlayingState state() { return window()->engine()->getPlayingState(); }
    // The window closes (storing the positions) and the next one starts.
    void restart()
    {
        QVERIFY(window()->close());
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The next window's engine starts without the song loaded.
        currSong->unloadSongFile();
        window();
    }
    template <class T = QWidget> T *find(const char *name) { return window()->findChild<T *>(name); }
    // A view docked or in the window that carries its name.
    QWidget *view(const QString &key)
    {
        QWidget *found = find(key.toLatin1());
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!found && w != window() && w->objectName() == key)
                found = w->findChild<QWidget *>(key);
        }
        return found;
    }
    // Songs "imp-FROM.kar" up to TO (excluded) in `folder`.
    QList<QUrl> make(const QString &folder, int from, int to)
    {
        QStringList args{folder, "1"};
        QList<QUrl> urls;
        for (int i = from; i < to; ++i) {
            args << QStringLiteral("imp-%1").arg(i);
            urls << QUrl::fromLocalFile(folder + "/" + args.last() + ".kar");
        }
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), args);
        return urls;
    }
    // As the window system drops: enter over `over`, drop on the widget that took the drag.
    void drop(QWidget *target, QWidget *over, const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = over->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QDropEvent event(over->mapTo(target, at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(over, &enter) && QApplication::sendEvent(target, &event);
    }
    KaraokeTextWidget *karaoke() { return window()->karaokeView(); }
    // The boxes that told of files in `folder`, whatever their words: each
    // as its sections, a heading and under it one line per file, "FILE
    // (WHY)" where it says why.
    using Section = QPair<QString, QStringList>;
    QList<QList<Section>> reportsOn(const QString &folder) const
    {
        QList<QList<Section>> reports;
        for (const QString &prompt : m_prompts) {
            if (!prompt.contains(folder))
                continue;
            const QStringList parts = prompt.section('|', 1).split(QStringLiteral("\n\n"));
            QList<Section> sections;
            for (int i = 0; i + 1 < parts.size(); i += 2)
                sections << Section{parts.at(i), parts.at(i + 1).split('\n', Qt::SkipEmptyParts)};
            reports << sections;
        }
        return reports;
    }
    static QString fileOf(const QString &line) { return line.section(QStringLiteral(" ("), 0, 0); }
    static QString whyOf(const QString &line) { return line.section(QStringLiteral(" ("), 1).chopped(1); }
    // A song imported and started by a double click on its row in the library.
    void startFromLibrary(const QString &path)
    {
        // Logged in: the first page, when it comes, is the main one.
        QVERIFY(!m_window);
        appSettings->setValue("User/user_id", 42);
        QSignalSpy done(window(), &MainWindow::doneImporting);
        window()->importFiles({QUrl::fromLocalFile(path)});
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        auto *table = songTable();
        const QModelIndexList rows = table->model()->match(table->model()->index(0, 8), Qt::DisplayRole,
                                                           QFileInfo(path).fileName(), 1, Qt::MatchEndsWith);
        QVERIFY(!rows.isEmpty());
        const QModelIndex cell = table->model()->index(rows.first().row(), 2);
        table->scrollTo(cell);
        // The row chosen, then double-clicked.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
        QTRY_VERIFY(currSong->isLoaded() && state() == SoundEngine::ePsPlaying);
    }
    // Posted events (a language change, layout requests) dealt with.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
    static void removeTranslators()
    {
        for (QTranslator **t : {&translator, &systemTranslator}) {
            QCoreApplication::removeTranslator(*t);
            delete *t;
            *t = nullptr;
        }
        QLocale::setDefault(QLocale::c());
    }
    // The library's first song row, selected, on the main page.
    QModelIndex firstSongRow(int column)
    {
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *table = find<QTableView>("songsListview");
        table->selectRow(0);
        return table->model()->index(0, column);
    }
    // The text of the library's song information on its first row.
    QString songInformation()
    {
        firstSongRow(0);
        QTest::mouseClick(find<QPushButton>("infoButton"), Qt::LeftButton);
        return m_prompts.isEmpty() ? QString() : m_prompts.last();
    }

private slots:
    void initTestCase()
    {
        m_oldHome = qgetenv("HOME");
        // As ctest runs it, or with QT_QPA_PLATFORM unset, it has the two
        // laptop screens of screens.json.
        QVERIFY2(QGuiApplication::screens().size() >= 2,
                 "The window's tests need two screens: QT_QPA_PLATFORM=offscreen:configfile=" VELMAR_TEST_SOURCE_DIR
                 "/screens.json, or QT_QPA_PLATFORM unset");
        qputenv("HOME", m_home.path().toUtf8());
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        // The sound bank where the program keeps it, as after a first start.
        const QString bank = SoundEngine::getSoundfontFilePath();
        QFile::remove(bank);
        QVERIFY(QDir().mkpath(QFileInfo(bank).path()) && QFile::link("/usr/share/sounds/sf2/TimGM6mb.sf2", bank));
        QVERIFY(m_store.start(m_files.path()));
        scriptPrompts();
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.path(), QStringLiteral("2"), "a", "b", "c"});
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_songs.path(), QStringLiteral("20"), "song"});
        m_db = std::make_unique<DatabaseHelper>();
        QVERIFY(m_db->initDb() && m_db->connect());
        m_db->insertPlaylist(QStringLiteral("Stage"));
        for (const char *name : {"a", "b", "c"}) {
            SongInfo row = info(song(name));
            row.keySign = QStringLiteral("G");
            QVERIFY(m_db->insertDataSongs(row, song(name), m_db->checkInsertArtist("Artist"),
                                          m_db->checkInsertGenre("Genre"), m_db->checkInsertAuthor("Author")));
            const int id = int(m_db->selectSongs().last().idSong);
            QVERIFY(m_db->insertSongInPlayList(id, m_db->selectPlaylists().last().getId()));
        }
        connect(&m_boxCloser, &QTimer::timeout, this, [this] {
            if (m_boxHeld && m_boxHeld())
                return;
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_boxes << box->windowTitle() + "|" + box->text();
                m_windowOpenAtBox = m_window && m_window->isVisible();
                const QString answer = m_boxAnswer ? std::exchange(m_boxAnswer, nullptr)() : QString();
                for (QAbstractButton *b : box->buttons()) {
                    if (!answer.isEmpty() && b->text() == answer) {
                        b->click();
                        return;
                    }
                }
                box->done(QMessageBox::Ok);
            }
        });
        m_boxCloser.start(20);
        // The process's first window alone gets the start-up's delayed work,
        // three seconds after it shows (its prompts and boxes would close a
        // test's pop-up): shown and closed here, so that it falls into no
        // test whatever runs first; a test that wants it calls startUp().
        window();
        m_window.reset();
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect|connectSlotsByName")));
        appSettings->clear();
        // A language chosen in an earlier test, of this class or another,
        // leaves its translators and number format.
        removeTranslators();
        m_boxes.clear();
        m_prompts.clear();
        m_answer = QMessageBox::Yes;
        m_synthList.clear();
        m_audioList.clear();
        m_bank = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
        m_store.reset(); // and its faults
    }
    void cleanup()
    {
        m_window.reset();
        currSong->unloadSongFile();
    }
    void cleanupTestCase()
    {
        Prompter::setScript({});
        m_db.reset();
        delete appSettings;
        appSettings = nullptr;
        qputenv("HOME", m_oldHome);
    }

};
