// The import dialog's list of files over a real folder: every column whole at
// the size the dialog opens with, sizes and dates written as the language
// chosen writes them (from the start and after a switch while it shows).
#include "importcolumns.h"
#include "language.h"
#include "testutil.h"
#include "widgettexts.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QCompleter>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QAbstractItemView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

class TestImportColumns : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    QDateTime modified;

    // The dialog as the main window opens it.
    static std::unique_ptr<QFileDialog> openOn(const QString &path)
    {
        static QFileIconProvider kinds;
        auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), path);
        dialog->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setIconProvider(&kinds);
        ImportColumns::apply(dialog.get());
        nameFilters(dialog.get());
        dialog->open();
        return dialog;
    }
    // The kinds of files in the language chosen, as the main window gives them.
    static void nameFilters(QFileDialog *dialog)
    {
        dialog->setNameFilters({QCoreApplication::translate("MainWindow", "All songs files")
                                    + " (*.mp3 *.mid *.midi *.kar *.mf3 *.mf4 *.mf5)",
                                QCoreApplication::translate("MainWindow", "MIDI files")
                                    + " (*.mid *.midi *.kar *.mf3 *.mf4 *.mf5)"});
    }

    // The rows shown, each as its cells' texts; every cut cell named.
    static QList<QStringList> rows(QFileDialog *dialog, QStringList &cut)
    {
        QMap<int, QList<WidgetTexts::Entry>> byRow;
        for (const WidgetTexts::Entry &e : WidgetTexts::collect(dialog)) {
            if (e.kind == "item" && e.path.endsWith("treeView")) {
                byRow[e.at.y()] << e;
                if (e.cut())
                    cut << QStringLiteral("%1 (%2 of %3 px)").arg(e.text).arg(e.have).arg(e.need);
            }
        }
        QList<QStringList> out;
        for (QList<WidgetTexts::Entry> cells : std::as_const(byRow)) {
            std::sort(cells.begin(), cells.end(), [](auto &a, auto &b) { return a.at.x() < b.at.x(); });
            QStringList texts;
            for (const auto &c : cells)
                texts << c.text;
            out << texts;
        }
        return out;
    }

    // The language as the program installs it; -1: none, the tests' own.
    static void speak(int code)
    {
        static const QLocale first;
        for (QTranslator **t : {&translator, &systemTranslator}) {
            QCoreApplication::removeTranslator(*t);
            delete std::exchange(*t, nullptr);
        }
        if (code >= 0)
            installTranslators(code);
        else
            QLocale::setDefault(first);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    }

private slots:
    void initTestCase()
    {
        speak(-1);
        QDir(folder.path()).mkdir("Documents");
        QVERIFY(TestUtil::writeFile(folder.filePath("song.kar"), QByteArray(2700, 'x')));
        QFile big(folder.filePath("a long evening at the city blues club.mp3"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(1500LL << 20));
        big.close();
        QVERIFY(TestUtil::writeFile(folder.filePath("notes.txt"), "x"));
        modified = QDateTime(QDate(2026, 12, 28), QTime(22, 58));
        QFile song(folder.filePath("song.kar"));
        QVERIFY(song.open(QIODevice::ReadWrite) && song.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    void cleanupTestCase() { speak(-1); }

    void columnsWholeInTheLanguage_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("Italian") << 0;
        QTest::newRow("English") << 1;
        QTest::newRow("German") << 2;
        QTest::newRow("Chinese") << 3;
    }
    void columnsWholeInTheLanguage()
    {
        QFETCH(int, code);
        speak(code);
        auto dialog = openOn(folder.path());
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QStringList cut;
        // A folder and two songs; the text file is not a song.
        QTRY_COMPARE(rows(dialog.get(), cut).size(), 3);
        const auto check = [&](int language) {
            cut.clear();
            const QList<QStringList> shown = rows(dialog.get(), cut);
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
            const QLocale locale = localeOf(language);
            const QStringList song = shown.value(2);
            QCOMPARE(song.value(0), QString("song.kar"));
            QCOMPARE(song.value(1), locale.formattedDataSize(2700));
            QCOMPARE(song.value(3), locale.toString(modified, QLocale::ShortFormat));
            QCOMPARE(shown.value(1).value(1), locale.formattedDataSize(1500LL << 20));
            // The box of kinds of files and the side panel's places whole,
            // the places named in the language shown.
            QStringList places;
            for (const WidgetTexts::Entry &e : WidgetTexts::collect(dialog.get())) {
                if (e.path.contains("sidebar") && e.kind == "item")
                    places << e.text;
                if ((e.path.contains("fileTypeCombo") || e.path.contains("sidebar")) && (e.cut() || e.visible.width() < e.at.width()))
                    cut << QStringLiteral("%1 (%2 of %3 px)").arg(e.text).arg(e.have).arg(e.need);
            }
            QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
            QVERIFY2(places.contains(QFileSystemModel().myComputer().toString()), qPrintable(places.join(", ")));
        };
        check(code);
        // Another language chosen while the dialog shows.
        const int other = code == 0 ? 2 : 0;
        speak(other);
        nameFilters(dialog.get());
        // The kinds come again from the model's own thread, then the columns fit.
        const auto settled = [&] {
            cut.clear();
            return rows(dialog.get(), cut).value(2).value(3) == localeOf(other).toString(modified, QLocale::ShortFormat)
                   && cut.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        check(other);
    }

    // The dialog kept between imports, as the main window keeps it: a path
    // typed into its name field and Return on the list of names the field
    // offers choose that file every time, and the list goes. A folder's
    // name typed, or chosen on the list, and Return enter the folder, the
    // list gone, nothing else said (a Return on names left over from the
    // folder before said "File not found"); the list goes with the dialog
    // however it closes. A file written after the dialog first listed its
    // folder shows its real size.
    void typedPathsEveryTime()
    {
        speak(-1);
        QTemporaryDir songs;
        const QStringList names{"a-first.mid", "b-fifth.mid", "b-fourth.mid", "c-last.mid"};
        for (const QString &name : names.mid(0, 3))
            QVERIFY(TestUtil::writeFile(songs.filePath(name), QByteArray(1000, 'x')));
        QVERIFY(QDir(songs.path()).mkpath("more/deeper"));
        QVERIFY(TestUtil::writeFile(songs.filePath("more/d-inside.mid"), QByteArray(1000, 'x')));
        auto dialog = openOn(songs.path());
        QStringList chosen;
        connect(dialog.get(), &QFileDialog::filesSelected, this, [&](const QStringList &files) { chosen << files; });
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto *field = dialog->findChild<QLineEdit *>("fileNameEdit");
        QVERIFY(field);
        QAbstractItemView *list = field->completer()->popup();
        // Any box the dialog opens is told and closed.
        QStringList said;
        QTimer boxes;
        connect(&boxes, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                said << box->text();
                box->reject();
            }
        });
        boxes.start(50);
        // Typed into the dialog (opened when hidden), the list of names the
        // field shows for it up.
        const auto typed = [&](const QString &text) {
            if (!dialog->isVisible())
                dialog->open();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            dialog->activateWindow();
            QTRY_VERIFY(QApplication::activeWindow() == dialog.get());
            field->setFocus();
            field->clear();
            QTest::keyClicks(field, text);
            QTRY_VERIFY2(list->isVisible(), qPrintable(text));
        };
        // Then Return on that list.
        const auto typeAndReturn = [&](const QString &text, bool down = false) {
            typed(text);
            if (down)
                QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);
        };
        QStringList cut;
        // The folder and three songs.
        QTRY_COMPARE(rows(dialog.get(), cut).size(), 4);
        // Begun while the dialog lists the folder, written after: 1.5 MB.
        QVERIFY(TestUtil::writeFile(songs.filePath("c-last.mid"), QByteArray()));
        QTRY_COMPARE(rows(dialog.get(), cut).size(), 5);
        QVERIFY(TestUtil::writeFile(songs.filePath("c-last.mid"), QByteArray(1500000, 'x')));
        for (const QString &name : {names[0], names[1], names[3], names[2]}) {
            typeAndReturn(songs.filePath(name));
            QTRY_VERIFY2(!chosen.isEmpty() && chosen.last() == songs.filePath(name), qPrintable(name));
            QTRY_VERIFY(!dialog->isVisible());
            QVERIFY(!list->isVisible());
            if (name == names[3]) {
                dialog->open();
                QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
                const auto size = [&] {
                    cut.clear();
                    for (const QStringList &row : rows(dialog.get(), cut))
                        if (row.value(0) == "c-last.mid")
                            return row.value(1);
                    return QString();
                };
                QTRY_COMPARE(size(), QLocale().formattedDataSize(1500000));
                QTest::keyClick(dialog.get(), Qt::Key_Escape);
                QTRY_VERIFY(!dialog->isVisible());
            }
        }
        // A folder typed, then one chosen on the list, each entered at once,
        // and a Return more there takes nothing; then a song in it.
        const auto entered = [&](const QString &folder) {
            QTRY_COMPARE(dialog->directory().absolutePath(), QDir(folder).absolutePath());
            QTest::qWait(200);
            QVERIFY(dialog->isVisible() && !list->isVisible() && field->text().isEmpty());
        };
        const int before = int(chosen.size());
        typeAndReturn(songs.filePath("more"));
        entered(songs.filePath("more"));
        typeAndReturn("dee", true);
        entered(songs.filePath("more/deeper"));
        QTest::keyClick(field, Qt::Key_Return);
        QTest::qWait(300);
        typeAndReturn(songs.filePath("more/d-inside.mid"));
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(chosen.mid(before), QStringList{songs.filePath("more/d-inside.mid")});
        QVERIFY2(said.isEmpty(), qPrintable(said.join(" | ")));
        // Ended while it lists names (a Cancel, or the program quitting).
        typed(songs.filePath("b-f"));
        dialog->reject();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!list->isVisible());
    }
};

VELMAR_TEST(TestImportColumns)
#include "tst_importcolumns.moc"
