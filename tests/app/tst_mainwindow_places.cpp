#include "mainwindowrig.h"

// Where the window and the views' own windows open, are kept and come back on
// the two laptop screens, and what fits in them.
class TestMainWindowPlaces : public MainWindowRig
{
    Q_OBJECT
private slots:
    void windowsOnScreen_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("1280x800") << 1280;
        QTest::newRow("1366x768") << 1366;
    }
    void windowsOnScreen()
    {
        QFETCH(int, width);
        QRect area;
        for (QScreen *screen : QGuiApplication::screens())
            area = screen->geometry().width() == width ? screen->availableGeometry() : area;
        QVERIFY(area.isValid());
        window()->move(area.topLeft());
        window()->resize(window()->width(), area.height() - (window()->frameGeometry().height() - window()->height()));
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QTest::mouseClick(find<QPushButton>("MixerButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
        QWidget *mixer = view("mixerView")->window();
        QVERIFY(mixer != window());
        QCoreApplication::processEvents();
        QVERIFY2(area.contains(mixer->frameGeometry()),
                 qPrintable(QStringLiteral("mixer %1,%2 %3x%4 on %5x%6")
                                .arg(mixer->frameGeometry().x()).arg(mixer->frameGeometry().y())
                                .arg(mixer->frameGeometry().width()).arg(mixer->frameGeometry().height())
                                .arg(area.width()).arg(area.height())));
        QVERIFY(mixer->close());

        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        auto strips = view("editView")->findChildren<ControlTrackSmall *>();
        QVERIFY(!strips.isEmpty());
        QWidget *name = strips.last()->findChild<QLabel *>("instrLabel");
        QTest::mousePress(strips.last(), Qt::LeftButton, {}, name->mapTo(strips.last(), name->rect().center()));
        QWidget *chooser = QApplication::activePopupWidget();
        QVERIFY(chooser);
        QVERIFY(area.contains(chooser->frameGeometry()));
        chooser->close();
    }

    // On the 1366x768 screen the instrument chooser opens upward over the
    // karaoke view. A double-click on an instrument, as a hand used to lists
    // gives it, chooses the instrument and closes the chooser with its first
    // click; its second lands where the chooser was, on the lyrics, and does
    // nothing there: the karaoke view stays in the window. A click on the
    // view afterwards still reaches it.
    void chooserDoubleClick()
    {
        QRect area;
        for (QScreen *screen : QGuiApplication::screens())
            area = screen->geometry().width() == 1366 ? screen->availableGeometry() : area;
        window()->setGeometry(area);
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        settle();
        ControlTrackSmall *strip = view("editView")->findChildren<ControlTrackSmall *>().first();
        QWidget *name = strip->findChild<QLabel *>("instrLabel");
        QTest::mousePress(strip, Qt::LeftButton, {}, name->mapTo(strip, name->rect().center()));
        QWidget *chooser = QApplication::activePopupWidget();
        QVERIFY(chooser);
        auto *families = chooser->findChild<QListView *>("listViewFamiliy");
        QTest::mousePress(families->viewport(), Qt::LeftButton, {},
                          families->visualRect(families->model()->index(8, 0)).center());
        auto *items = chooser->findChild<QListView *>("listViewInstr");
        const QModelIndexList sax = items->model()->match(items->model()->index(0, 0), Qt::DisplayRole, "Soprano Sax");
        QVERIFY(!sax.isEmpty());
        const QPoint at = items->viewport()->mapToGlobal(items->visualRect(sax.first()).center());

        // Both clicks from the window system, within a double-click's time,
        // each to the window under the pointer then.
        const auto click = [&](int time) {
            QWindow *under = QGuiApplication::topLevelAt(at);
            QVERIFY(under);
            const QPointF local = under->mapFromGlobal(at);
            qt_handleMouseEvent(under, local, at, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, {}, time);
            qt_handleMouseEvent(under, local, at, {}, Qt::LeftButton, QEvent::MouseButtonRelease, {}, time + 30);
            QCoreApplication::processEvents();
        };
        QTest::lastMouseTimestamp += QTest::mouseDoubleClickInterval;
        const int first = QTest::lastMouseTimestamp;
        click(first);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        QCOMPARE(name->property("text").toString(), QString("Soprano Sax"));
        QVERIFY(karaoke()->isAncestorOf(QApplication::widgetAt(at)));
        click(first + 120);
        settle();
        QCOMPARE(karaoke()->window(), window());
        QCOMPARE(name->property("text").toString(), QString("Soprano Sax"));

        // Later, a double-click on the lyrics is the view's own again.
        QTest::lastMouseTimestamp = first + 120 + 2 * QTest::mouseDoubleClickInterval;
        click(QTest::lastMouseTimestamp);
        click(QTest::lastMouseTimestamp + 120);
        QTRY_VERIFY(karaoke()->window() != window());
        QTest::lastMouseTimestamp += 120 + QTest::mouseDoubleClickInterval;
    }

    // On the 1280-pixel screen, in the window of a first start, the header
    // shows at least 24 characters of the title and of the artist.
    // A first start in each language on the screen the window opens on,
    // nothing resized: the window takes the screen's free area, the header
    // shows at least 24 characters of a long title and of a long artist, the
    // library's side list shows its "Playlists" heading whole.
    void firstWindow_data()
    {
        QTest::addColumn<int>("language"); // "System/Lang"
        QTest::newRow("Italian") << 0;
        QTest::newRow("English") << 1;
        QTest::newRow("German") << 2;
        QTest::newRow("Chinese") << 3;
    }
    void firstWindow()
    {
        QFETCH(int, language);
        auto restore = qScopeGuard(&removeTranslators);
        // As a start does: the language before the window.
        installTranslators(language);
        const QString title = QStringLiteral("Evening Lights over the Harbour Wall");
        const QString artist = QStringLiteral("The Practice Room Collective Band");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("first"), "20", "long", "--title", title, "--artist", artist});
        startFromLibrary(m_songs.filePath("first/long.kar"));
        QTRY_COMPARE(window()->frameGeometry(), window()->screen()->availableGeometry());
        const QRect first = window()->geometry();
        for (const auto &[name, full] : {std::pair{"titleLabel", title}, std::pair{"authorLabel", artist}}) {
            const QString shown = find<QLabel>(name)->text();
            const QString whole = shown.endsWith(QChar(0x2026)) ? shown.chopped(1) : shown;
            QVERIFY2(full.startsWith(whole) && whole.size() >= 24,
                     qPrintable(QStringLiteral("%1: \"%2\" in %3 px").arg(name, shown).arg(find<QLabel>(name)->width())));
        }
        auto *side = find<QListWidget>("playlistListWidget");
        auto *heading = qobject_cast<QLabel *>(side->itemWidget(side->item(4)));
        QVERIFY(heading && !heading->text().isEmpty());
        QVERIFY2(side->viewport()->rect().contains(side->visualItemRect(side->item(4))),
                 qPrintable(QStringLiteral("%1 of %2 px shown").arg(side->viewport()->height() - heading->y())
                                .arg(heading->height())));
        QCOMPARE(window()->geometry(), first);
    }

    // A language chosen while the program runs leaves the window as it is:
    // at the size of a first start and at its narrowest.
    void languageKeepsTheWindowSize()
    {
        auto restore = qScopeGuard(&removeTranslators);
        QTRY_COMPARE(window()->frameGeometry(), window()->screen()->availableGeometry());
        const QSize first = window()->size();
        combo("languageCombo")->setCurrentIndex(0);
        emit combo("languageCombo")->activated(0);
        settle();
        QCOMPARE(window()->size(), first);
        window()->resize(window()->minimumWidth(), window()->height());
        settle();
        const QSize narrow = window()->size();
        // German and Chinese come from "System/Lang" only, as at a start.
        for (int language : {1, 2, 3, 0, 1}) {
            removeTranslators();
            installTranslators(language);
            settle();
            QCOMPARE(window()->size(), narrow);
        }
    }

    // The window as narrow as half a 1920-pixel screen, in each language
    // chosen while it is that narrow: on every page no text is
    // cut, no button hidden and nothing squeezed below its least; the
    // transport buttons work where they are drawn; the title and artist
    // are shown, cut to fit, in German about as long as in English.
    // Widened again, the header is as designed.
    void narrowWindow()
    {
        auto restore = qScopeGuard(&removeTranslators);
        const QString title = QStringLiteral("Evening Lights over the Harbour Wall");
        const QString artist = QStringLiteral("The Practice Room Collective Band");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("narrow"), "20", "narrow", "--title", title, "--artist", artist});
        startFromLibrary(m_songs.filePath("narrow/narrow.kar"));
        const QSize wide = window()->size();
        const int half = 1920 / 2;
        window()->resize(half, wide.height());
        settle();
        QCOMPARE(window()->width(), half);
        const auto press = [this](const char *name, SoundEngine::PlayingState then) {
            auto *button = find<QPushButton>(name);
            const QPoint at = button->mapTo(window(), button->rect().center());
            QCOMPARE(window()->childAt(at), button);
            QTest::mouseClick(button, Qt::LeftButton);
            QTRY_COMPARE(state(), then);
        };
        QStringList faults;
        QHash<int, qsizetype> shownCharacters;
        for (int language : {0, 2, 3, 1}) {
            removeTranslators();
            installTranslators(language);
            settle();
            QCOMPARE(window()->width(), half);
            for (const char *tab : {"LibraryButton", "KaraokeButton", "EditButton", "MixerButton", "ChordsButton"}) {
                QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
                settle();
                const QString where = QStringLiteral("%1 %2: ").arg(language).arg(tab);
                if (window()->centralWidget()->minimumSizeHint().width() > window()->width())
                    faults << where + "squeezed";
                for (const WidgetTexts::Entry &e : WidgetTexts::collect(window())) {
                    if (e.cut() && (e.kind == "label" || e.kind == "button" || e.kind == "control"))
                        faults << where + QStringLiteral("%1 %2 \"%3\" needs %4 px, has %5")
                                              .arg(e.kind, e.path.section('/', -1), e.text).arg(e.need).arg(e.have);
                }
            }
            for (const auto &[name, full] : {std::pair{"titleLabel", title}, std::pair{"authorLabel", artist}}) {
                const QString shown = find<QLabel>(name)->text();
                shownCharacters[language] = shown.size();
                QVERIFY2(full.startsWith(shown.chopped(1)) && shown.size() > 10, qPrintable(shown));
            }
            press("pauseButton", SoundEngine::ePsPaused);
            press("playButton", SoundEngine::ePsPlaying);
            press("rewButton", SoundEngine::ePsReady);
            press("playButton", SoundEngine::ePsPlaying);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
        // German's longer labels fold as English ones do: the names keep
        // about the length they have in English.
        QVERIFY2(shownCharacters.value(2) + 2 >= shownCharacters.value(1),
                 qPrintable(QStringLiteral("%1 against %2").arg(shownCharacters.value(2)).arg(shownCharacters.value(1))));
        window()->resize(wide);
        settle();
        QVERIFY(find<QWidget>("storeButton")->isVisible());
        for (const char *name : {"volumeButton", "melodyChButton", "melodyMuteButton"})
            QVERIFY2(!find<QPushButton>(name)->text().contains('\n'), name);
    }

    // Ordinary lyric rows sung on the karaoke page of a first window: none is
    // split in two, and the row being sung is whole on the screen at every
    // report. Paused by its button, the song keeps its rows at their size.
    void lyricsAtTheFirstWindow()
    {
        const QStringList rows{"When the evening lights came on", "I will sing the song we knew",
                               "Every road is open tonight", "Hold the line and carry on now",
                               "Open road beneath a silver sky", "Till the end of the song we sing"};
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("sung"), "1", "sung", "--lyrics", rows.join('|'), "--bpm", "240"});
        startFromLibrary(m_songs.filePath("sung/sung.kar"));
        QTest::mouseClick(find<QPushButton>("KaraokeButton"), Qt::LeftButton);
        QListView *list = karaoke()->lyricList();
        ViewParameter *view = karaoke()->viewParameter();
        LyricsModel *model = karaoke()->lyricsModel();
        // Laid out for the page: the rows are those of the list's height.
        QTRY_VERIFY(list->height() > 500 && view->textAreaSize == list->viewport()->size()
                    && list->visualRect(list->model()->index(0, 0)).height() == view->textRowVerticalSpace);
        QStringList shown;
        for (const LyricRow &row : model->rows())
            shown << row.text;
        QCOMPARE(shown, rows);
        // A row is whole when its top and bottom lie in the list's height.
        const auto whole = [list](int row) {
            const QRect r = list->visualRect(list->model()->index(row, 0));
            return r.top() >= 0 && r.bottom() < list->viewport()->height();
        };
        QStringList cut;
        int sung = -1;
        // After the view has taken each report.
        connect(window()->engine(), &SoundEngine::mSecOfPlaying, this, [&] {
            sung = model->playState.playRow;
            const QRect r = list->visualRect(list->model()->index(sung, 0));
            if (sung >= 0 && !whole(sung))
                cut << QStringLiteral("row %1 at %2..%3 of %4").arg(sung).arg(r.top()).arg(r.bottom())
                           .arg(list->viewport()->height());
        });
        QTRY_VERIFY_WITH_TIMEOUT(sung >= 2, 30000);
        const auto sizes = [&] {
            return QVector<int>{view->textRowVerticalSpace, view->textFont.pixelSize(), list->viewport()->height(),
                                list->visualRect(list->model()->index(sung, 0)).height()};
        };
        const QVector<int> playing = sizes();
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPaused);
        // Longer than a relayout takes.
        QTest::qWait(4 * KaraokeTextWidget::RESIZE_SETTLE_MS);
        QCOMPARE(sizes(), playing);
        QVERIFY(!karaoke()->getAdBanner()->isVisible());
        QVERIFY(whole(sung));
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
        QTRY_VERIFY_WITH_TIMEOUT(sung == int(rows.size()) - 1 || !currSong->isLoaded(), 30000);
        QCOMPARE(cut, QStringList());
    }

    // Text Size acts on the full karaoke page as on the short view: Small,
    // Medium and Large give three row heights and three letter sizes, every
    // row whole in the width (split where the letters ask it) and the rows
    // shown filling the page. No row is ever drawn in part, standing or
    // played to its end: a row the song wraps onto a second line (or the view
    // splits) shows whole or not at all, even its accents and tallest letters.
    void textSizeOnTheKaraokePage()
    {
        const QStringList rows{"When the evening lights came on", "I will sing the song we knew",
                               "Every road is open tonight", "Hold the line and carry on now",
                               "Èlan of the night, the lights of the harbour glow by the bay",
                               "Ölbaum by the old stone bridge", "Àll the way home we keep singing the song of the highway",
                               "Hold the light", "Éternal skies and the glory of the highlands bright and high",
                               "Till the end", "Ùltimo ballo, the lights glow high above the quay tonight"};
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("sizes"), "1", "sizes", "--lyrics", rows.join('|'), "--bpm", "240"});
        startFromLibrary(m_songs.filePath("sizes/sizes.kar"));
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPaused);
        QTest::mouseClick(find<QPushButton>("KaraokeButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("optionsButton"), Qt::LeftButton);
        QListView *list = karaoke()->lyricList();
        ViewParameter *view = karaoke()->viewParameter();
        LyricsModel *model = karaoke()->lyricsModel();
        auto *scroll = karaoke()->findChild<QPropertyAnimation *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(scroll);
        // The rows whose letters show while they do not lie whole in the
        // list, with the scroll at rest; "none drawn" when no row shows.
        const auto drawnInPart = [&] {
            QStringList cut;
            const QImage image = list->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            const auto inked = [&image](const QRect &r) {
                const QRect part = r.intersected(image.rect());
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    for (int x = part.left(); x <= part.right(); ++x) {
                        if (qAlpha(image.pixel(x, y)) > 64 && qGray(image.pixel(x, y)) > 100)
                            return true;
                    }
                }
                return false;
            };
            bool drawn = false;
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                const QRect r = list->visualRect(list->model()->index(row, 0));
                if (r.top() >= 0 && r.bottom() < image.height())
                    drawn = drawn || inked(r);
                else if (inked(r))
                    cut << QStringLiteral("row %1 at %2..%3 of %4, scroll %5").arg(row).arg(r.top()).arg(r.bottom())
                               .arg(image.height()).arg(list->verticalScrollBar()->value());
            }
            return drawn ? cut : cut << QStringLiteral("none drawn");
        };
        QVector<int> pitches, letters;
        for (int size = 0; size < 3; ++size) {
            QComboBox *box = combo("textSizeCombo");
            box->setCurrentIndex(size);
            emit box->activated(size);
            QTRY_VERIFY(list->height() > 500 && view->textAreaSize == list->viewport()->size()
                        && list->visualRect(list->model()->index(0, 0)).height() == view->textRowVerticalSpace);
            pitches << view->textRowVerticalSpace;
            letters << view->textFont.pixelSize();
            const QFontMetrics m(view->textFont);
            for (const LyricRow &row : model->rows())
                QVERIFY2(m.horizontalAdvance(row.text) <= list->viewport()->width(), qPrintable(row.text));
            QVERIFY(view->textRowsCount * view->textRowVerticalSpace <= list->viewport()->height());
            QVERIFY((view->textRowsCount + 1) * view->textRowVerticalSpace > list->viewport()->height());
            QTRY_COMPARE(scroll->state(), QAbstractAnimation::Stopped);
            QCOMPARE(drawnInPart().join(QLatin1Char(';')), QString());
        }
        QVERIFY2(pitches[0] < pitches[1] && pitches[1] < pitches[2] && letters[0] < letters[1] && letters[1] < letters[2],
                 qPrintable(QStringLiteral("rows %1 %2 %3, letters %4 %5 %6").arg(pitches[0]).arg(pitches[1])
                                .arg(pitches[2]).arg(letters[0]).arg(letters[1]).arg(letters[2])));

        // Small, the song going on to its last row: at every report the view
        // takes with its rows at rest, and paused there.
        choose("textSizeCombo", tr("Small"));
        QTRY_COMPARE(view->textRowVerticalSpace, pitches[0]);
        QStringList cut;
        int sung = -1;
        connect(window()->engine(), &SoundEngine::mSecOfPlaying, this, [&] {
            sung = model->playState.playRow;
            if (scroll->state() == QAbstractAnimation::Stopped)
                cut << drawnInPart();
        });
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sung == int(model->rows().size()) - 1 || !currSong->isLoaded(), 60000);
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPaused);
        QTRY_COMPARE(scroll->state(), QAbstractAnimation::Stopped);
        QVERIFY(list->verticalScrollBar()->value() > 0);
        cut << drawnInPart();
        // Still paused there, the other sizes.
        for (int size : {1, 2}) {
            emit combo("textSizeCombo")->activated(size);
            QTRY_COMPARE(view->textRowVerticalSpace, pitches[size]);
            // Once laid out again.
            QTRY_VERIFY(!drawnInPart().contains(QStringLiteral("none drawn")));
            cut << drawnInPart();
        }
        QCOMPARE(cut.join(QLatin1Char(';')), QString());
    }

    // On each laptop screen, in English and in Italian, with the window in
    // either corner and a song from the library playing a key up: every page keeps the window on the
    // screen (back to its size after), each page's farthest control and
    // every pop-up lie on it, the options scroll to their last row, every
    // text fits its label or button (the font's width within the widget's)
    // and the lyrics' fonts have their stand-ins.
    void reach_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("language"); // a row of the settings' list
        QTest::newRow("1280x800, English") << 0 << 1;
        QTest::newRow("1366x768, Italian") << 1 << 0;
    }
    void reach()
    {
        QFETCH(int, screen);
        QFETCH(int, language);
        auto *languages = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        emit languages->activated(language);
        const QString folder = m_songs.filePath("fit");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {folder, QStringLiteral("20"), QStringLiteral("fit")});
        QSignalSpy done(window(), &MainWindow::doneImporting);
        window()->importFiles({QUrl::fromLocalFile(folder + "/fit.kar")});
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        auto *table = find<QTableView>("songsListview");
        const QModelIndexList row = table->model()->match(table->model()->index(0, 2), Qt::DisplayRole, "fit");
        QVERIFY(!row.isEmpty());
        emit table->doubleClicked(row.first());
        QTRY_VERIFY(currSong->isLoaded() && state() == SoundEngine::ePsPlaying);
        window()->engine()->changeKey(2);

        const QRect area = QGuiApplication::screens().at(screen)->availableGeometry();
        const auto onScreen = [&area](QWidget *w) {
            const QRect shown(w->mapToGlobal(QPoint(0, 0)), w->size());
            return area.contains(shown) && w->window()->frameGeometry().contains(shown);
        };
        QStringList clipped;
        const auto fits = [&clipped](QWidget *top) {
            for (QWidget *w : top->findChildren<QWidget *>()) {
                auto *label = qobject_cast<QLabel *>(w);
                auto *button = qobject_cast<QAbstractButton *>(w);
                const QString text = label ? label->text() : button ? button->text() : QString();
                if (!w->isVisible() || text.isEmpty() || (label && (label->wordWrap() || Qt::mightBeRichText(text))))
                    continue;
                const int needed = label ? label->fontMetrics().horizontalAdvance(text) : button->sizeHint().width();
                const int room = label ? label->contentsRect().width() - 2 * label->margin() - qMax(0, label->indent())
                                       : button->width();
                if (needed > room)
                    clipped << QStringLiteral("%1 \"%2\" %3 > %4").arg(w->objectName(), text).arg(needed).arg(room);
            }
        };
        // A first window fills the screen it opened on, which may be the
        // other one: here it is no larger than this screen.
        const QSize chrome = window()->frameGeometry().size() - window()->size();
        window()->resize(window()->size().boundedTo(area.size() - chrome));
        for (const bool bottomRight : {false, true}) {
            const QRect frame = window()->frameGeometry();
            window()->move(bottomRight ? area.bottomRight() - QPoint(frame.width() - 1, frame.height() - 1)
                                       : area.topLeft());
            const QSize home = window()->size();
            const std::pair<const char *, const char *> pages[] = {
                {"KaraokeButton", "pb_fullscreen"}, {"EditButton", "undoButton"},
                {"MixerButton", "muteButtonWinds"}, {"ChordsButton", "TextButton"}, {"LibraryButton", "FeedbackButton"}};
            for (const auto &[tab, farthest] : pages) {
                QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
                QCoreApplication::processEvents();
                QVERIFY2(area.contains(window()->frameGeometry()), tab);
                QList<QWidget *> found = window()->findChildren<QWidget *>(farthest);
                QVERIFY2(!found.isEmpty() && onScreen(found.last()), farthest);
                fits(window());
            }
            QCOMPARE(window()->size(), home);
            for (const char *button : {"optionsButton", "userButton", "volumeButton", "melodyChButton", "fwdButton"}) {
                QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
                QWidget *popup = QApplication::activePopupWidget();
                QVERIFY2(popup && area.contains(popup->frameGeometry()), button);
                if (auto *scroll = popup->findChild<QScrollArea *>("scrollArea")) {
                    auto *last = popup->findChild<QPushButton *>("rebuildDatabaseButton");
                    scroll->ensureWidgetVisible(last);
                    QVERIFY(onScreen(last) && onScreen(popup->findChild<QWidget *>("aboutQtButton")));
                }
                fits(popup);
                popup->close();
            }
        }
        emit languages->activated(1);
        clipped.removeDuplicates();
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
        // Lyrics in "Marker Felt" are drawn in the lettering standing in for it.
        emit window()->settingsView()->fontFamilyChanged(QStringLiteral("Marker Felt"));
        QCOMPARE(QFontInfo(karaoke()->viewParameter()->textFont).family(), QStringLiteral("Comic Neue"));
    }

    void detachAndDock_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("how");    // "pin", "close" or "escape"
        QTest::addColumn<bool>("tabFirst");  // its tab clicked (raising the window) before
        QTest::newRow("library, pinned") << "LibraryButton" << "libraryView" << "pin" << false;
        QTest::newRow("edit, closed") << "EditButton" << "editView" << "close" << false;
        QTest::newRow("edit, tab, escape") << "EditButton" << "editView" << "escape" << true;
        QTest::newRow("mixer, tab, pinned") << "MixerButton" << "mixerView" << "pin" << true;
        QTest::newRow("karaoke, closed") << "KaraokeButton" << "KaraokeTextWidget" << "close" << false;
    }
    // Detached, moved and resized, stored on close as it is, reopened there
    // at the next start, and docked back.
    void detachAndDock()
    {
        QFETCH(QString, tab);
        QFETCH(QString, key);
        QFETCH(QString, how);
        QFETCH(bool, tabFirst);
        const bool byClose = how != "pin";
        const bool isKaraoke = key == "KaraokeTextWidget";
        QWidget *view = this->view(key);
        QSignalSpy dragged(window(), &MainWindow::barDragged);
        if (isKaraoke) {
            QTest::mouseClick(view->findChild<QPushButton *>("pb_to_new_window"), Qt::LeftButton);
        } else {
            QTest::mouseClick(find<QPushButton>(tab.toLatin1()), Qt::LeftButton);
            QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
            QVERIFY(find<QPushButton>("KaraokeButton")->isChecked());
        }
        QCOMPARE(dragged.size(), key == "mixerView" ? 1 : 0);
        auto *own = qobject_cast<NewWidgetWindow *>(view->window());
        QVERIFY(own && own->isVisible() && view->isVisible());
        QCOMPARE(find("screenWidget")->isVisible(), !isKaraoke);
        if (isKaraoke) {
            // A song let go over the lyrics in their own window plays.
            QCOMPARE(int(state()), 0);
            drop(own, view->findChild<QAbstractScrollArea *>("lV_Text")->viewport(), {QUrl::fromLocalFile(song("b"))});
            QCOMPARE(int(state()), 1);
            QCOMPARE(currSong->path(), song("b"));
        }
        own->setGeometry(140, 90, own->width() + 20, own->height() - 10);
        const QRect rect = own->geometry();
        QCOMPARE(rect.topLeft(), QPoint(140, 90));

        restart();
        QCOMPARE(appSettings->value("WindowsPosition/" + key).toRect(), rect);
        QVERIFY(appSettings->value("WindowsPosition/MainWindow").toRect().isValid());
        view = this->view(key);
        QVERIFY(view && view->window() != window());
        QCOMPARE(view->window()->geometry(), rect);
        QVERIFY(find<QPushButton>("KaraokeButton")->isChecked());
        QCOMPARE(find("screenWidget")->isHidden(), isKaraoke);
        QWidget *unpin = karaoke()->findChild<QWidget *>("pb_to_new_window");
        QCOMPARE(unpin->isHidden(), isKaraoke);

        // A pinned bar view comes back shown on its own tab, a closed one
        // hidden unless its tab is the one highlighted; the karaoke view
        // always shown. The highlighted tab's page is the page shown.
        if (tabFirst)
            QTest::mouseClick(find<QPushButton>(tab.toLatin1()), Qt::LeftButton);
        QPointer<QWidget> detached(view->window());
        if (how == "escape")
            QTest::keyClick(detached, Qt::Key_Escape);
        else if (byClose)
            QVERIFY(detached->close());
        else
            qobject_cast<NewWidgetWindow *>(detached.data())->on_clickPinObject(false);
        QTRY_VERIFY(detached.isNull());
        QCOMPARE(view->window(), window());
        const bool shown = isKaraoke || !byClose || tabFirst;
        QCOMPARE(view->isVisible(), shown);
        if (!isKaraoke)
            QCOMPARE(find<QPushButton>(tab.toLatin1())->isChecked(), shown);
        const int checked = find<QButtonGroup>("buttonGroup")->checkedId();
        QStringList pages;
        for (QWidget *page : find("barWidget")->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (page->isVisible())
                pages << page->objectName();
        }
        const QStringList names{"libraryView", "editView", "mixerView", "chordsView"};
        QCOMPARE(pages, checked == MainWindow::Karaoke ? QStringList() : QStringList{names.at(-checked - 3)});
        QVERIFY(find("screenWidget")->isVisible() && !unpin->isHidden());
        restart();
        QVERIFY(!appSettings->contains("WindowsPosition/" + key));
    }

    // The main window is kept and placed by its frame, the title bar
    // counted in: moved and resized by the user, it reopens at the next
    // start with its frame exactly where it was left, title bar and all.
    void mainWindowKeptByItsFrame()
    {
        QTRY_VERIFY(window()->frameGeometry() != window()->geometry());
        const QRect free = window()->screen()->availableGeometry();
        window()->resize(1000, 600);
        window()->move(free.topLeft() + QPoint(30, 40));
        QTRY_COMPARE(window()->frameGeometry().topLeft(), free.topLeft() + QPoint(30, 40));
        const QRect left = window()->frameGeometry();
        restart();
        QCOMPARE(appSettings->value("WindowsPosition/MainWindow").toRect(), left);
        QTRY_COMPARE(window()->frameGeometry(), left);
    }

    void offScreen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<bool>("kept");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTest::newRow("main window taller than the screen") << "MainWindow" << QRect(screen.left() + 10, 0, 1200, 9000) << true;
        QTest::newRow("edit page wider than the screen") << "editView" << QRect(screen.left(), 10, 2500, 300) << true;
        QTest::newRow("library above the screen") << "libraryView" << QRect(10, -2000, 800, 300) << false;
        QTest::newRow("main window on a screen gone") << "MainWindow" << QRect(screen.right() + 900, 40, 900, 560) << false;
        QTest::newRow("karaoke at the edge") << "KaraokeTextWidget" << QRect(screen.right() - 100, 10, 500, 300) << true;
        QTest::newRow("karaoke a sliver in") << "KaraokeTextWidget" << QRect(screen.right() - 10, 10, 500, 300) << false;
        QTest::newRow("karaoke's title bar off the bottom") << "KaraokeTextWidget"
                                                            << QRect(screen.left() + 100, screen.bottom() - 10, 900, 700)
                                                            << false;
        QTest::newRow("karaoke's title bar at the bottom") << "KaraokeTextWidget"
                                                           << QRect(screen.left() + 100, screen.bottom() - 30, 900, 700)
                                                           << true;
    }
    // A stored rectangle no screen shows: the main window opens at the
    // screen's corner; a view's window where it covers neither the header
    // (with the transport buttons) nor the tabs. One larger than the screen
    // is cut to it.
    void offScreen()
    {
        QFETCH(QString, key);
        QFETCH(QRect, stored);
        QFETCH(bool, kept);
        appSettings->setValue("WindowsPosition/" + key, stored);
        QWidget *w = key == "MainWindow" ? window() : view(key)->window();
        QVERIFY(w != (key == "MainWindow" ? nullptr : window()));
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        if (key != "MainWindow" && !kept) {
            const auto onScreen = [this](const char *name) {
                QWidget *part = find(name);
                return QRect(part->mapToGlobal(QPoint(0, 0)), part->size());
            };
            const QRect free = window()->screen()->availableGeometry();
            QTRY_VERIFY2(free.contains(w->geometry()) && !w->geometry().intersects(onScreen("headerBar"))
                             && !w->geometry().intersects(onScreen("tabBar")),
                         qPrintable(QStringLiteral("%1,%2 %3x%4").arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())));
            return;
        }
        // Placed by its frame, the title bar counted in.
        QTRY_COMPARE(w->frameGeometry().topLeft(), kept ? stored.topLeft() : home.topLeft());
        // No larger than the screen, the main window no narrower than it can be.
        QCOMPARE(w->frameGeometry().height(), qMin(stored.height(), home.height()));
        if (key != "MainWindow")
            QCOMPARE(w->width(), qMin(stored.width(), home.width()));
    }

    // Two windows stored where no screen shows them both move onto it,
    // clear of each other and of one that opens where it was left.
    void offScreenWindowsApart()
    {
        appSettings->setValue("WindowsPosition/libraryView", QRect(10, -2000, 500, 250));
        appSettings->setValue("WindowsPosition/mixerView", QRect(10, -2000, 500, 250));
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect kept(home.left() + 10, home.top() + 200, 200, 100);
        appSettings->setValue("WindowsPosition/editView", kept);
        appSettings->setValue("WindowsPosition/MainWindow", home);
        window();
        QList<QWidget *> windows;
        for (const char *key : {"libraryView", "mixerView", "editView"}) {
            windows << view(key)->window();
            QVERIFY(windows.last() != window());
        }
        const QRect free = window()->screen()->availableGeometry();
        // What is wrong, empty when nothing.
        const auto fault = [&]() -> QString {
            if (windows.last()->geometry().topLeft() != kept.topLeft())
                return "the window left on the screen moved";
            for (int i = 0; i < windows.size(); ++i) {
                const QRect at = windows.at(i)->geometry();
                const QString where = QStringLiteral("%1 at %2,%3 %4x%5").arg(i).arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height());
                if (!free.contains(at))
                    return where + " off the screen";
                for (int j = 0; j < i; ++j) {
                    if (at.intersects(windows.at(j)->geometry()))
                        return where + QStringLiteral(" covers %1").arg(j);
                }
            }
            return QString();
        };
        QTRY_COMPARE(fault(), QString());
    }

    // What a drag allows, a restart keeps: the mixer dragged by its title
    // bar down past the screen's bottom keeps the bar on the screen, and the
    // next start opens it there.
    void draggedWindowReopensThere()
    {
        QTest::mouseClick(find<QPushButton>("MixerButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
        QWidget *own = view("mixerView")->window();
        QVERIFY(own != window());
        auto *bar = own->findChild<QWidget *>("TitleBarWindow");
        QPoint grab(1, bar->height() / 2);
        while (bar->childAt(grab) && grab.x() < bar->width())
            ++grab.rx();
        QVERIFY(!bar->childAt(grab));
        QTest::mousePress(bar, Qt::LeftButton, {}, grab);
        for (int down : {40, 400, 2000})
            QTest::mouseMove(bar, grab + QPoint(0, down));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, grab + QPoint(0, 2000));
        const QRect free = own->screen()->availableGeometry();
        const QRect left = own->geometry();
        QCOMPARE(bar->mapToGlobal(QPoint(0, bar->height() - 1)).y(), free.bottom());
        QVERIFY(left.bottom() > free.bottom() + 100);
        restart();
        QCOMPARE(view("mixerView")->window()->geometry(), left);
    }

    // A view's window stored at the bottom of a taller screen (a first
    // window fills its screen, the mixer unpinned lies at its bottom) opens
    // whole on a shorter one: moved up, its size and its left edge kept.
    void viewBelowAShorterScreen()
    {
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect stored(home.left() + 20, home.bottom() + 1 - 403, 900, 435);
        appSettings->setValue("WindowsPosition/mixerView", stored);
        QWidget *w = view("mixerView")->window();
        QVERIFY(w != window());
        QCOMPARE(w->geometry(), stored.translated(0, -32));
    }

    void extraWindows_data()
    {
        QTest::addColumn<QString>("background");   // a colour, else a picture's file name
        QTest::addColumn<QColor>("expected");
        QTest::newRow("colour") << "#2359bd" << QColor("#2359bd");
        QTest::newRow("picture, awkward name") << R"(sky "blue") {x}.png)" << QColor(Qt::red);
        QTest::newRow("picture not readable") << "missing.png" << QColor(28, 28, 28);
    }
    // Two extra windows take the looks and follow the playing song's rows;
    // each goes with its widget when closed and none is stored on close.
    void extraWindows()
    {
        QFETCH(QString, background);
        QFETCH(QColor, expected);
        SettingsView *settings = window()->settingsView();
        if (background.startsWith('#')) {
            emit settings->colorKaraokeBackgroundChanged(background);
        } else {
            QImage red(50, 50, QImage::Format_RGB32);
            red.fill(Qt::red);
            if (background != "missing.png")
                QVERIFY(red.save(m_songs.filePath(background), "PNG"));
            emit settings->imageKaraokeBackgroundChanged(m_songs.filePath(background));
        }
        emit settings->colorKaraokeHighlightChanged("#0fa00b");
        QVERIFY(window()->onStartSongPath(m_songs.filePath("song.kar"), 0));
        auto *add = karaoke()->findChild<QPushButton *>("pb_add_new_window");
        QTest::mouseClick(add, Qt::LeftButton);
        QTest::mouseClick(add, Qt::LeftButton);
        const QList<KaraokeTextWidget *> copies = karaoke()->copies();
        QCOMPARE(copies.size(), 2);
        // They open over the lyrics, clear of the header's controls.
        QWidget *header = find("headerBar");
        const QRect controls(header->mapToGlobal(QPoint(0, 0)), header->size());
        for (KaraokeTextWidget *w : copies)
            QVERIFY(!w->window()->frameGeometry().intersects(controls));
        for (KaraokeTextWidget *w : {karaoke(), copies[0], copies[1]}) {
            QCOMPARE(w->grab().toImage().pixelColor(3, 3), expected);
            QCOMPARE(w->viewParameter()->sungFillColor, QColor("#0fa00b"));
        }
        // Rows of 2 s (split where a narrow window needs it): the copies
        // light the song's second row, then its third, with the main view.
        auto row = [](KaraokeTextWidget *w) {
            const int r = w->findChild<ListTextViewDelegate *>()->playRow;
            return r < 0 ? -1 : int(w->lyricsModel()->rows()[r].tick);
        };
        for (int bar : {1, 2}) {
            QTRY_VERIFY_WITH_TIMEOUT(row(karaoke()) == bar * 1920, 15000);
            QTRY_VERIFY(row(copies[0]) == bar * 1920 && row(copies[1]) == bar * 1920);
        }

        QPointer<KaraokeTextWidget> first(copies[0]);
        QPointer<QWidget> firstWindow(first->window());
        QVERIFY(firstWindow->close());
        QTRY_VERIFY(!first && !firstWindow);
        QCOMPARE(karaoke()->copies().size(), 1);
        QCOMPARE(karaoke()->window(), window());
        restart();
        QVERIFY(!appSettings->contains("WindowsPosition/KaraokeTextWidget"));
        QCOMPARE(karaoke()->window(), window());
    }
};

VELMAR_TEST(TestMainWindowPlaces)
#include "tst_mainwindow_places.moc"
