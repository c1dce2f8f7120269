#include "mainwindowrig.h"

// What every page and pop-up says and how it looks: controls reaching their
// targets, Tab, contrast, the four languages and the notation of keys.
class TestMainWindowPages : public MainWindowRig
{
    Q_OBJECT
private slots:
    // The header's pop-ups and the options page reach what they set, each
    // pressed where it is drawn: the volume slider the sound, the melody
    // channel list the engine and the settings, the karaoke looks the
    // lyrics view.
    void popupsAndOptionsReachTheirTargets()
    {
        QVERIFY(window()->onStartSongPath(song("song"), 0));
        // The loudest 100 ms of the synthesizer's next half second, once
        // the change has had 300 ms to arrive.
        const auto loudest = [this] {
            double peak = 0;
            for (int i = 0; i < 8; ++i) {
                QTest::qWait(100);
                const double level = rms(m_synthSink->pull(4410));
                if (i >= 3)
                    peak = std::max(peak, level);
            }
            return peak;
        };
        QTest::mouseClick(find<QPushButton>("volumeButton"), Qt::LeftButton);
        auto *slider = window()->findChild<volumePopup *>()->findChild<QSlider *>("masterVolumeSlider");
        QTRY_VERIFY(slider->isVisible());
        QTest::keyClick(slider, Qt::Key_Home);
        QVERIFY2(loudest() < 0.001, "volume 0 still heard");
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(slider->value(), 127);
        QVERIFY2(loudest() > 0.003, "volume 127 not heard");
        slider->window()->close();

        QTest::mouseClick(find<QPushButton>("melodyChButton"), Qt::LeftButton);
        auto *channels = window()->findChild<QListView *>("channelsView");
        QTRY_VERIFY(channels->isVisible());
        const QRect tenth = channels->visualRect(channels->model()->index(9, 0));
        QTest::mouseClick(channels->viewport(), Qt::LeftButton, {}, tenth.center());
        QCOMPARE(appSettings->value("MidiSettings/MelodyTrack").toInt(), 9);
        channels->window()->close();

        QTest::mouseClick(find<QPushButton>("optionsButton"), Qt::LeftButton);
        SettingsView *page = window()->settingsView();
        QTRY_VERIFY(page->isVisible());
        // Opens the box's list and clicks the row's entry in it.
        const auto pick = [page](const char *name, int row) {
            auto *box = page->findChild<QComboBox *>(name);
            page->findChild<QScrollArea *>()->ensureWidgetVisible(box);
            QTest::mouseClick(box, Qt::LeftButton);
            QAbstractItemView *list = box->view();
            QTRY_VERIFY(list->isVisible());
            QTest::qWait(QApplication::doubleClickInterval() + 50); // a release this soon only opened it
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 0)).center());
            QTRY_VERIFY(!list->isVisible());
            QCOMPARE(box->currentIndex(), row);
        };
        const ViewParameter *looks = karaoke()->viewParameter();
        pick("textSizeCombo", 2);
        QCOMPARE(looks->fontSize, 58);
        pick("textFontCombo", 1);
        QCOMPARE(looks->fontFamily, QString("Marker Felt"));
        pick("textAlignCombo", 1);
        QCOMPARE(looks->textAlignment, Qt::AlignLeft | Qt::AlignVCenter);
        pick("chordCombo", 0);
        QCOMPARE(window()->findChild<chordsView *>()->getChordInterNotation(), 0);
    }

    // Where no web browser opens (none here), "Report an Error" says so and
    // gives the page's address.
    void reportWithoutBrowser()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("openUrl"));
        QTest::mouseClick(find<QPushButton>("FeedbackButton"), Qt::LeftButton);
        QTRY_COMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), QString("Report an Error|No web browser could be opened. The page to report an "
                                          "error is:\nhttps://www.melodrome.com/en/report-a-problem"));
    }

    // Every button that shows only a picture, on every page, says what it does
    // in a tooltip and an accessible name, in the language shown; Tab
    // reaches it. A playlist of the user's shows its rename and delete.
    void iconButtonsSayWhatTheyDo()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        QWidget *stage = nullptr;
        for (int row = 0; row < lists->count(); ++row) {
            QWidget *w = lists->itemWidget(lists->item(row));
            const auto *title = w ? w->findChild<QLabel *>("titleLabel") : nullptr;
            stage = title && title->text() == "Stage" ? w : stage;
        }
        QVERIFY(stage);
        lists->scrollToBottom();
        const auto silent = [&] {
            QStringList out;
            for (const char *tab : {"LibraryButton", "EditButton", "MixerButton", "ChordsButton", "KaraokeButton"}) {
                QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
                for (QAbstractButton *b : window()->findChildren<QAbstractButton *>()) {
                    // The logo, the tab bar's corner and the search box's
                    // magnifier are pictures that do nothing.
                    if (!b->isVisible() || !b->text().trimmed().isEmpty()
                        || QStringList{"storeButton", "OtherButton", "searchLibraryButton"}.contains(b->objectName()))
                        continue;
                    if (b->toolTip().isEmpty() || b->accessibleName().isEmpty() || !(b->focusPolicy() & Qt::TabFocus))
                        out << QStringLiteral("%1 on %2: \"%3\" \"%4\" %5")
                                   .arg(b->objectName(), tab, b->toolTip(), b->accessibleName())
                                   .arg(b->focusPolicy());
                }
            }
            out.removeDuplicates();
            return out;
        };
        QCOMPARE(silent(), QStringList());
        QCOMPARE(find<QPushButton>("rewButton")->toolTip(), QString("Stop"));
        auto *combo = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(silent(), QStringList());
        QCOMPARE(find<QPushButton>("playButton")->toolTip(), QString("Riproduci"));
        QCOMPARE(find<QPushButton>("fwdButton")->accessibleName(), QString("Vai a un punto del brano"));
        QCOMPARE(stage->findChild<QPushButton *>("deleteButton")->toolTip(), QString("Elimina la playlist"));
    }

    // On each laptop screen the mixer unpinned from the window of a first
    // start, a song playing, opens whole on the screen; so does the edit
    // page's instrument chooser opened from its last channel.
    // Tab alone walks every page round: it leaves the song list (a table
    // would keep it moving from cell to cell) and stops on each of the page
    // tabs, the library's two lists and three filters and the chords'
    // two modes, not only on the one chosen.
    void tabWalksEveryPage()
    {
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        QSet<QString> reached;
        const auto noted = connect(qApp, &QApplication::focusChanged, this, [&reached](QWidget *, QWidget *now) {
            if (now)
                reached << now->objectName();
        });
        auto forget = qScopeGuard([noted] { disconnect(noted); });
        for (const char *tab : {"LibraryButton", "ChordsButton"}) {
            QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
            find(tab)->setFocus(Qt::MouseFocusReason);
            for (int i = 0; i < 120 && QApplication::focusWidget(); ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QStringList missing;
        for (const char *name : {"KaraokeButton", "LibraryButton", "EditButton", "MixerButton", "ChordsButton",
                                 "repertoireButton", "browsePcButton", "titleButton", "artistButton", "genreButton",
                                 "songsListview", "newPlaylistButton", "TextButton", "GuitarButton"}) {
            if (!reached.contains(name))
                missing << name;
        }
        QCOMPARE(missing, QStringList());
    }

    // Every text of every page and of the options and account pop-ups, and
    // the icons of a playlist row, stand out from their ground by at least
    // 4.5:1.
    void textsStandOut()
    {
        appSettings->setValue("User/user_id", 42);
        appSettings->setValue("User/name", "Anna");
        appSettings->setValue("User/surname", "Rossi");
        appSettings->setValue("User/email", "anna@example.org");
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        QStringList faint;
        for (const char *tab : {"LibraryButton", "EditButton", "MixerButton", "ChordsButton", "KaraokeButton"}) {
            QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
            for (const QString &f : Contrast::faint(window()))
                faint << QStringLiteral("%1: %2").arg(tab, f);
        }
        for (const char *button : {"optionsButton", "userButton", "melodyChButton"}) {
            QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
            QWidget *popup = QApplication::activePopupWidget();
            QVERIFY2(popup, button);
            for (const QString &f : Contrast::faint(popup))
                faint << QStringLiteral("%1: %2").arg(button, f);
            popup->close();
        }
        // The library page's icons: each on its button's plate, in the
        // middle of the button.
        QTest::mouseClick(find<QPushButton>("LibraryButton"), Qt::LeftButton);
        const QImage page = window()->grab().toImage();
        for (const char *icon : {"unpinButton", "showHideLeftFrame", "MDSwitch", "searchLibraryButton"}) {
            QWidget *w = find(icon);
            QRect at(w->mapTo(window(), QPoint()), w->size());
            at.adjust(at.width() / 5, at.height() / 5, -at.width() / 5, -at.height() / 5);
            const QImage drawn = page.copy(at & page.rect());
            const QColor under = Contrast::ground(drawn);
            double r = 1;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    r = std::max(r, Contrast::ratio(drawn.pixelColor(x, y), under));
            if (r < 4.5)
                faint << QStringLiteral("%1 %2").arg(icon).arg(r, 0, 'f', 2);
        }
        // The icons of a playlist of the user's, on its row and on its row chosen.
        auto *lists = find<QListWidget>("playlistListWidget");
        for (int row = 0; row < lists->count(); ++row) {
            QWidget *w = lists->itemWidget(lists->item(row));
            const auto *title = w ? w->findChild<QLabel *>("titleLabel") : nullptr;
            if (!title || title->text() != "Stage")
                continue;
            lists->scrollToItem(lists->item(row));
            for (bool chosen : {false, true}) {
                lists->setCurrentRow(chosen ? row : 0);
                const QImage shown = window()->grab().toImage();
                for (const char *icon : {"infoButton", "deleteButton"}) {
                    const double r = Contrast::standsOut(w->findChild<QWidget *>(icon), shown);
                    if (r < 4.5)
                        faint << QStringLiteral("%1%2 %3").arg(icon, chosen ? " chosen" : "").arg(r, 0, 'f', 2);
                }
            }
        }
        faint.removeDuplicates();
        QCOMPARE(faint, QStringList());
    }

    // Icons stand out 3:1 from the plate they are drawn on: the playlist
    // page's Add Song and Info buttons, a song row's clock and the store's
    // mark on a chosen row; a disabled Auto Play does not look switched on;
    // the Report an Error text under the pointer reads 4.5:1 on the tab bar.
    void iconsStandOut()
    {
        // The colour of an icon: its most opaque pixel's.
        const auto ink = [](const QImage &icon) {
            QColor best(Qt::transparent);
            for (int y = 0; y < icon.height(); ++y)
                for (int x = 0; x < icon.width(); ++x)
                    if (icon.pixelColor(x, y).alpha() > best.alpha())
                        best = icon.pixelColor(x, y);
            return best;
        };
        QStringList faint;
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(5)).center());
        for (const char *name : {"AddToPlayListButton", "infoButton"}) {
            auto *button = find<QPushButton>(name);
            QTRY_VERIFY2(button->isVisible() && button->isEnabled(), name);
            const double r = Contrast::ratio(ink(button->icon().pixmap(button->iconSize()).toImage()),
                                             Contrast::ground(button->grab().toImage()));
            if (r < 3)
                faint << QStringLiteral("%1 %2").arg(name).arg(r, 0, 'f', 2);
        }
        for (const char *icon : {"clock.png", "library_icon_sel_melodrome.png"}) {
            for (const QColor &row : {QColor(Qt::white), QColor(255, 204, 0)}) {
                const double r = Contrast::ratio(ink(QImage(QStringLiteral(":/icon2x/") + icon)), row);
                if (r < 3)
                    faint << QStringLiteral("%1 on %2 %3").arg(icon, row.name()).arg(r, 0, 'f', 2);
            }
        }
        QCOMPARE(faint, QStringList());
        // Recent songs: Auto Play shown but not to be used.
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(1)).center());
        auto *autoPlay = find<QPushButton>("autoPlayButton");
        QTRY_VERIFY(autoPlay->isVisible() && !autoPlay->isEnabled() && autoPlay->isChecked());
        QCOMPARE_NE(Contrast::ground(autoPlay->grab().toImage()), QColor("#c6dffa"));
        const QString sheet = find("centralWidget")->styleSheet();
        const QColor hover = Contrast::colour(Contrast::property(
            sheet, "QWidget[styleClass=\"tabBar\"] QPushButton[styleClass=\"feedback\"]:hover", "color"));
        QVERIFY2(Contrast::ratio(hover, QColor(66, 66, 66)) >= 4.5,
                 qPrintable(QString::number(Contrast::ratio(hover, QColor(66, 66, 66)))));
    }

    // A language chosen on the settings page re-labels the window at once,
    // Qt's own texts with it; the English translation mends the source's
    // spelling.
    void language()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        auto *combo = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        const QModelIndex title = firstSongRow(2);
        const auto shown = [&] {
            return QStringList{find<QPushButton>("LibraryButton")->text(),
                               window()->settingsView()->findChild<QLabel *>("TitleLabel")->text(),
                               title.model()->headerData(2, Qt::Horizontal).toString(),
                               find<QPushButton>("melodyMuteButton")->text(),
                               find<QLabel>("titlegroupBoxDrums")->text(),
                               QCoreApplication::translate("QPlatformTheme", "Cancel"),
                               songInformation().section('\n', 2, 2).section(':', 0, 0)};
        };
        for (int row : {0, 1}) {
            combo->setCurrentIndex(row);
            emit combo->activated(row);
            QCoreApplication::sendPostedEvents();
            QCOMPARE(appSettings->value("System/Lang").toInt(), row);
            QCOMPARE(shown(), row == 0 ? QStringList({"Libreria", "<b>Opzioni</b>", "Titolo", "Melodia ON",
                                                      "BATTERIA", "Annulla", "Durata"})
                                       : QStringList({"Library", "<b>Options</b>", "Title", "Melody ON", "DRUMS",
                                                      "Cancel", "Length"}));
        }
    }

    // Qt's own words follow the language chosen, in all four: the import
    // dialog's kind of a folder and of an MP3, the months, Qt's buttons.
    void qtsOwnWords_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("Italian") << 0 << QStringList{"Cartella", "Audio MP3", "gennaio", "Annulla"};
        QTest::newRow("English") << 1 << QStringList{"Folder", "MP3 audio", "January", "Cancel"};
        QTest::newRow("German") << 2 << QStringList{"Ordner", "MP3-Audio", "Januar", "Abbrechen"};
        QTest::newRow("Chinese") << 3 << QStringList{"文件夹", "MP3 音频", "一月", "取消"};
    }
    void qtsOwnWords()
    {
        QFETCH(int, row);
        QFETCH(QStringList, shown);
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
            QLocale::setDefault(QLocale::c());
        });
        window();
        installTranslators(row);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        const QString folder = m_home.filePath("Songs folder");
        const QString mp3 = m_home.filePath("tune.mp3");
        QVERIFY(QDir().mkpath(folder) && TestUtil::writeFile(mp3, QByteArray("ID3")));
        window()->findChild<QAction *>("actionImport")->trigger();
        auto *dialog = window()->findChild<QFileDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *files = dialog->findChild<QFileSystemModel *>();
        QVERIFY(files);
        const auto kind = [&](const QString &path) { return files->index(path, 2).data().toString(); };
        QTRY_VERIFY(!kind(folder).isEmpty() && !kind(mp3).isEmpty());
        QCOMPARE((QStringList{kind(folder), kind(mp3), QLocale().standaloneMonthName(1, QLocale::LongFormat),
                              QCoreApplication::translate("QPlatformTheme", "Cancel")}),
                 shown);
        dialog->reject();
    }

    // What shows while the language changes follows it at once: the import
    // dialog kept from the last import, the import's progress, an unknown
    // artist in the header, the edit page's buttons and a view's own window.
    void languageLive()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        SongInfo playing = info(song("a"));
        playing.artist = QStringLiteral("<UNKNOWN>");
        QVERIFY(window()->startSongPlaylist(playing, 0, -1, QString(), -1));
        find<QPushButton>("EditButton")->click();
        QWidget *edit = find("editView");
        auto *strip = edit->findChild<ControlTrackSmall *>();
        QVERIFY(strip);
        window()->findChild<QAction *>("actionImport")->trigger();
        auto *dialog = window()->findChild<QFileDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *progress = window()->findChild<DialogCopyFiles *>();
        progress->setTotalFiles(3);
        progress->refreshCopyingLabel(2);
        find<QPushButton>("unpinButton")->click();
        QPointer<NewWidgetWindow> detached = qobject_cast<NewWidgetWindow *>(edit->window());
        QVERIFY(detached);
        const auto shown = [&] {
            return QStringList{dialog->windowTitle(), dialog->nameFilters().value(0).section(" (", 0, 0),
                               progress->findChild<QLabel *>("labelImporting")->text(),
                               find<QLabel>("authorLabel")->text(),
                               strip->findChild<QPushButton *>("muteButton")->toolTip(),
                               edit->findChild<QPushButton *>("globalUndoButton")->toolTip(), detached->windowTitle()};
        };
        for (int row : {0, 1}) {
            combo("languageCombo")->setCurrentIndex(row);
            emit combo("languageCombo")->activated(row);
            QCoreApplication::sendPostedEvents();
            QCOMPARE(shown(), row == 0 ? QStringList({"Importa", "Tutti i file di brani", "Copia 2 di 3", "<SCONOSCIUTO>",
                                                      "Silenzia questo canale",
                                                      "Annulla ogni modifica fatta a questo brano da quando è partito",
                                                      "Modifica"})
                                       : QStringList({"Import", "All song files", "Copying 2 of 3", "<UNKNOWN>",
                                                      "Mute this channel",
                                                      "Undo every change made to this song since it started", "Editing"}));
        }
        dialog->reject();
        QVERIFY(detached->close());
        QTRY_VERIFY(detached.isNull());
    }

    // A store message on screen is told again in a language chosen while it
    // shows: the news page's, the account pop-up's and a failed download's.
    void storeMessagesFollowTheLanguage()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        const auto chooseLanguage = [this](int row) {
            combo("languageCombo")->setCurrentIndex(row);
            emit combo("languageCombo")->activated(row);
            QCoreApplication::sendPostedEvents();
        };
        const QString error = "the server answered with error 500";
        const QString serverError = "il server ha risposto con l'errore 500";
        m_store.setFault("/service/songlist_news.php", "http500");
        m_store.setFault("/service/login.php", "http500");
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(3)).center());
        auto *page = find<QLabel>("storeMessage");
        QTest::mouseClick(find<QPushButton>("userButton"), Qt::LeftButton);
        QWidget *account = QApplication::activePopupWidget();
        QVERIFY(account);
        QTest::keyClicks(account->findChild<QLineEdit *>("lineMail"), "anna@example.org");
        QTest::keyClicks(account->findChild<QLineEdit *>("lineUsername"), "secret");
        QTest::mouseClick(account->findChild<QPushButton *>("logButton"), Qt::LeftButton);
        auto *login = account->findChild<QLabel *>("loginStatusMsg");
        QTRY_VERIFY_WITH_TIMEOUT(login->text().contains("500"), 30000);
        const auto shown = [&] {
            return QStringList{page->text().section('\n', 0, 0), login->text().section('\n', 0, 0)};
        };
        QCOMPARE(shown(), QStringList({"The news of the week could not be fetched: " + error + ".",
                                       "You are not logged in: " + error + "."}));
        chooseLanguage(0);
        QCOMPARE(shown(), QStringList({"Impossibile scaricare le novità della settimana: " + serverError + ".",
                                       "Accesso non riuscito: " + serverError + "."}));
        chooseLanguage(1);
        QCOMPARE(shown(), QStringList({"The news of the week could not be fetched: " + error + ".",
                                       "You are not logged in: " + error + "."}));
        account->close();

        // A store song of the news whose address the store does not give
        // (none the library has from an earlier test).
        m_store.reset();
        appSettings->setValue("User/user_id", 42);
        restart();
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        SongInfo news;
        news.ProductId = 5099;
        news.isFromSub = 2;
        news.format = "MIDI";
        news.title = "Evening %2";
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(news));
        m_store.setFault("/service/song_info.php", "http500");
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(3)).center());
        songTable()->setCurrentIndex(songTable()->model()->index(0, 2));
        emit songTable()->doubleClicked(songTable()->currentIndex());
        page = find<QLabel>("storeMessage");
        QTRY_VERIFY_WITH_TIMEOUT(page->text().contains("500"), 30000);
        // A server's error is no matter of the internet connection.
        QCOMPARE(page->text(), "\"Evening %2\" could not be downloaded: " + error + ".");
        chooseLanguage(0);
        QCOMPARE(page->text(), "Impossibile scaricare \"Evening %2\": " + serverError + ".");
        QVERIFY(page->isVisible());
    }

    void keyNotation_data()
    {
        QTest::addColumn<QVariant>("stored"); // "MidiSettings/Chord"; invalid: none
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("other");   // once the other notation is chosen
        QTest::newRow("no setting") << QVariant() << "G" << "Sol";
        QTest::newRow("international") << QVariant(1) << "G" << "Sol";
        QTest::newRow("italian") << QVariant(0) << "Sol" << "G";
    }
    // Keys are named in the notation of the settings page wherever they
    // show, from the start and after a change: the library's key column and
    // song information, the header and the edit page.
    void keyNotation()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        QFETCH(QString, other);
        if (stored.isValid())
            appSettings->setValue("MidiSettings/Chord", stored);
        SongInfo playing = info(song("a"));
        playing.keySign = QStringLiteral("G");
        QVERIFY(window()->startSongPlaylist(playing, 1, -1, QString(), -1));
        const QModelIndex key = firstSongRow(7);
        // The table's painter against one painting each notation.
        const auto painted = [&key](QAbstractItemDelegate *delegate) {
            QImage image(80, 30, QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            QStyleOptionViewItem option;
            option.rect = image.rect();
            option.state = QStyle::State_Enabled;
            delegate->paint(&painter, option, key);
            return image;
        };
        const auto keys = [&] {
            QString cell = "?";
            for (int notation : {0, 1}) {
                libraryTableDelegate reference;
                reference.setChordLang(notation);
                if (painted(find<QTableView>("songsListview")->itemDelegate()) == painted(&reference))
                    cell = notation ? "G" : "Sol";
            }
            return QStringList{cell, songInformation().section("KEY: ", 1).section('\n', 0, 0),
                               find<QLabel>("keyValueLabel")->text().section(' ', 0, 0),
                               window()->editor()->findChild<QLabel *>("labelKey")->text().section(' ', 0, 0)};
        };
        QCOMPARE(keys(), QStringList(4, shown));
        auto *chords = window()->settingsView()->findChild<QComboBox *>("chordCombo");
        const int row = other == "G" ? 1 : 0;
        chords->setCurrentIndex(row);
        emit chords->activated(row);
        QCOMPARE(keys(), QStringList(4, other));
    }
};

VELMAR_TEST(TestMainWindowPages)
#include "tst_mainwindow_pages.moc"
