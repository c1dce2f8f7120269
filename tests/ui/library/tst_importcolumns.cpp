// The import dialog's list of files over a real folder: every column whole at
// the size the dialog opens with, sizes and dates written as the language
// chosen writes them (from the start and after a switch while it shows).
#include "importcolumns.h"
#include "language.h"
#include "testutil.h"
#include "widgettexts.h"

#include <QFileDialog>
#include <QFileIconProvider>
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
        dialog->setNameFilters({"All songs files (*.mp3 *.mid *.midi *.kar *.mf3 *.mf4 *.mf5)"});
        dialog->open();
        return dialog;
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
        };
        check(code);
        // Another language chosen while the dialog shows.
        const int other = code == 0 ? 2 : 0;
        speak(other);
        // The kinds come again from the model's own thread, then the columns fit.
        const auto settled = [&] {
            cut.clear();
            return rows(dialog.get(), cut).value(2).value(3) == localeOf(other).toString(modified, QLocale::ShortFormat)
                   && cut.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        check(other);
    }
};

VELMAR_TEST(TestImportColumns)
#include "tst_importcolumns.moc"
