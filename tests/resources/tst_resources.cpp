// Every resource name the code uses loads, the looks' font families resolve
// to their stand-ins, and every text of the program is translated.
#include "programfonts.h"
#include "testutil.h"

#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImageReader>
#include <QMovie>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

QStringList listedNames()
{
    QStringList names;
    const auto lines = TestUtil::readFile(TestUtil::testsDir() + "/resources/resource_names.txt").split('\n');
    for (const QByteArray &line : lines)
        if (line.startsWith(":/"))
            names << QString::fromUtf8(line.trimmed());
    return names;
}

// Resource names written in the program's sources and forms.
QStringList namesInSources()
{
    static const QRegularExpression name(QStringLiteral(":/(icon2x|fonts|db|Language)/[^\"<)\\n;]*"));
    QStringList found;
    for (const char *folder : {"app", "ui", "karaoke", "library", "store", "playback", "resources"}) {
        QDirIterator it(QStringLiteral(VELMAR_SOURCE_DIR "/") + folder, {"*.cpp", "*.h", "*.ui"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString text = QString::fromUtf8(TestUtil::readFile(it.next()));
            for (const auto &m : name.globalMatch(text)) {
                const QString n = m.captured().trimmed();
                if (!n.endsWith('/') && !found.contains(n))
                    found << n;
            }
        }
    }
    return found;
}

QString loadFailure(const QString &name)
{
    if (name.startsWith(":/fonts/"))
        return ProgramFonts::addApplicationFont(name) >= 0 ? QString() : "not a font";
    if (name.startsWith(":/Language/"))
        return QTranslator().load(name) ? QString() : "not a translation";
    if (name.startsWith(":/db/")) {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) && f.read(15) == "SQLite format 3" ? QString() : "not a database";
    }
    if (name.endsWith(".gif")) {
        QMovie movie(name);
        return movie.isValid() && movie.frameCount() > 1 ? QString() : "not an animation";
    }
    QImageReader reader(name);
    return reader.read().isNull() ? reader.errorString() : QString();
}

// What is wrong with the entries of a .ts file, one line each: entries not
// translated or marked unfinished (a text new to the file), kept though no
// source uses them (vanished, obsolete), or whose translation does not hold
// the placeholders of its source.
QStringList faultsOfTranslation(const QString &path)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\d+)"));
    const auto placeholders = [](const QString &text) {
        QStringList found;
        for (const auto &m : placeholder.globalMatch(text))
            found << m.captured();
        found.sort();
        return found;
    };
    QStringList faults;
    QXmlStreamReader xml(TestUtil::readFile(path));
    QString context, source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
            ++messages;
        } else if (xml.name() == u"translation") {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString text = xml.readElementText();
            const QString where = context + " \"" + source + "\": ";
            if (!type.isEmpty())
                faults << where + type;
            else if (text.isEmpty())
                faults << where + "empty";
            else if (placeholders(text) != placeholders(source))
                faults << where + "placeholders differ in \"" + text + "\"";
        }
    }
    if (xml.hasError() || messages == 0)
        faults << path + ": " + (xml.hasError() ? xml.errorString() : QStringLiteral("no messages"));
    return faults;
}

// The invokeMethod calls whose method is not a pointer to a member or a
// lambda: a name, written there or kept in a constant.
QStringList invokedByName(const QString &text)
{
    static const QRegularExpression call(QStringLiteral("invokeMethod\\s*\\("));
    QStringList found;
    for (const auto &m : call.globalMatch(text)) {
        // Past the first argument, brackets of every kind balanced.
        qsizetype at = m.capturedEnd();
        for (int depth = 0; at < text.size(); ++at) {
            const QChar c = text.at(at);
            if (c == u'(' || c == u'[' || c == u'{')
                ++depth;
            else if ((c == u')' || c == u']' || c == u'}') && depth-- == 0)
                break;
            else if (c == u',' && depth == 0)
                break;
        }
        if (at >= text.size() || text.at(at) != u',')
            continue;
        const QString method = text.mid(at + 1, 80).trimmed().section(u'\n', 0, 0);
        // A callable handed on (a lambda or a functor) is as checked as one.
        if (!method.startsWith(u'&') && !method.startsWith(u'[') && !method.startsWith(u"std::forward<"))
            found << QStringLiteral("invokeMethod(..., ") + method;
    }
    return found;
}

// The folders of sources: every folder of the source tree but the hidden
// ones and build trees (which hold what the build made of the sources).
QStringList sourceFolders()
{
    QStringList folders;
    const QDir root(QStringLiteral(VELMAR_SOURCE_DIR));
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (!QFile::exists(root.filePath(name + "/CMakeCache.txt")))
            folders << name;
    return folders;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void everyNameLoads()
    {
        const QStringList listed = listedNames();
        QVERIFY(listed.size() > 100);
        for (const QString &n : namesInSources())
            QVERIFY2(listed.contains(n), qPrintable(n + " is used but not listed in resource_names.txt"));
        for (const QString &n : listed) {
            const QString failure = loadFailure(n);
            QVERIFY2(failure.isEmpty(), qPrintable(n + ": " + failure));
        }
    }

    // The files as kept and as the build's lupdate left them from the
    // sources of today: a text added, changed or dropped since the files
    // were translated shows in the second.
    void translations_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *lang : {"it", "en", "de", "zh"}) {
            const QString name = QStringLiteral("lang_%1.ts").arg(QLatin1String(lang));
            QTest::newRow(qPrintable(name + " as kept"))
                << QStringLiteral(VELMAR_SOURCE_DIR "/resources/translations/") + name;
            QTest::newRow(qPrintable(name + " after lupdate")) << QStringLiteral(VELMAR_TS_BUILD_DIR "/") + name;
        }
    }
    void translations()
    {
        QFETCH(QString, path);
        const QStringList faults = faultsOfTranslation(path);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    // Nothing of the program is found by a name the compiler never checks:
    // a slot named on_OBJECT_SIGNAL would be wired by connectSlotsByName and
    // stop working without a word when the control or the slot is renamed;
    // a method called or connected by its name likewise (a string, or a
    // constant holding one: anything but a pointer to a member or a lambda);
    // a style sheet that picks a widget by its object name (a "#name"
    // selector, or an attribute selector on the property) loses its looks
    // without a word when the widget is renamed (style sheets pick a class
    // by the dynamic property styleClass, or a type); and an accessible name
    // picked by a style sheet is what a screen reader says. Every folder of
    // sources is read, tools, benchmarks and tests too: a folder added later
    // is read without being named here.
    void nothingFoundByName()
    {
        static const QRegularExpression byName(QStringLiteral("\\bvoid\\s+on_\\w+_\\w+\\s*\\("));
        static const QRegularExpression macros(QStringLiteral("\\b(SIGNAL|SLOT)\\s*\\("));
        // "#name" followed by the rest of a selector up to its block, which
        // may go on in the next string literal.
        static const QRegularExpression selector(QStringLiteral(
            "(?<!&)#(?!(include|define|undef|if|ifdef|ifndef|elif|else|endif|pragma|error)\\b)[A-Za-z_]\\w*"
            "(?=(?:[^;{}()\"<>\\n]|\"\\s*\")*\\{)"));
        static const QRegularExpression byProperty(QStringLiteral("\\[\\s*objectName\\s*[~|^$*]?="));
        static const QRegularExpression styled(QStringLiteral("\\[\\s*accessibleName\\s*[~|^$*]?="));
        QStringList found;
        const QStringList folders = sourceFolders();
        QVERIFY(folders.contains("app") && folders.contains("tools") && folders.contains("tests"));
        for (const QString &folder : folders) {
            QDirIterator it(QStringLiteral(VELMAR_SOURCE_DIR "/") + folder, {"*.cpp", "*.h", "*.ui", "*.qss"},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                const QString where = path.mid(int(strlen(VELMAR_SOURCE_DIR)) + 1) + ": ";
                const QString text = QString::fromUtf8(TestUtil::readFile(path));
                for (const QRegularExpression *e : {&byName, &macros, &selector, &byProperty, &styled})
                    for (const auto &m : e->globalMatch(text))
                        found << where + m.captured();
                // The tests may call a private slot of what they test by name.
                if (folder != u"tests")
                    for (const QString &call : invokedByName(text))
                        found << where + call;
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
    }

    // The scripts and tools find the program's controls by name in the list
    // it writes of them: a name renamed in the program and not in a script
    // must fail, not read as "not shown" and let a check fall back to
    // something else. The checker is the scripts' own widget-list reader;
    // it must also catch a name that was renamed away.
    void scriptsNameWidgetsThatExist()
    {
        const QString checker = QStringLiteral(VELMAR_SOURCE_DIR "/scripts/e2e/widgetlist.py");
        QByteArray out, err;
        QCOMPARE(TestUtil::runProgram("/usr/bin/python3", {checker, "--check"}, &out, &err), 0);
        QVERIFY2(out.trimmed().isEmpty() && err.isEmpty(), out + err);

        QTemporaryDir dir;
        QFile py(dir.filePath("drive.py")), sh(dir.filePath("scene.sh"));
        QVERIFY(py.open(QIODevice::WriteOnly) && sh.open(QIODevice::WriteOnly));
        py.write("import re\nm = re.match(r'\\D*(\\d+)', w.text('SeekTrackSlider/durataLabel'))\n"
                 "w.press('playButton' if m else 'pauseButton')\n");
        sh.write("at=$(e2e_at control rewButton) && text_of label 'lcdFrame/frame/titelLabel'\n");
        py.close(), sh.close();
        QCOMPARE(TestUtil::runProgram("/usr/bin/python3", {checker, "--check", py.fileName(), sh.fileName()}, &out),
                 1);
        const QList<QByteArray> faults = out.trimmed().split('\n');
        QCOMPARE(faults.size(), 2);
        QVERIFY2(faults[0].endsWith("named durataLabel (in 'SeekTrackSlider/durataLabel')"), faults[0]);
        QVERIFY2(faults[1].endsWith("named titelLabel (in 'lcdFrame/frame/titelLabel')"), faults[1]);
    }

    void fontFamilies_data()
    {
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QString>("shown");
        QTest::newRow("dot-matrix display") << "LCDDot" << "DotGothic16";
        QTest::newRow("chord lettering") << "Marker Felt" << "Comic Neue";
        QTest::newRow("lyrics") << "TitilliumWeb" << "Open Sans";
        QTest::newRow("tables") << "Verdana" << "DejaVu Sans";
        QTest::newRow("typewriter") << "Courier" << "Liberation Mono";
        QTest::newRow("geometric") << "Futura" << "Beteckna";
    }

    void fontFamilies()
    {
        QFETCH(QString, looks);
        QFETCH(QString, shown);
        ProgramFonts::install();
        ProgramFonts::install();
        QCOMPARE(QFontInfo(QFont(looks, 12)).family(), shown);
    }

    // The loaded songs have one owner below the pages (StartedSong): a page
    // or the main window that reached the song objects themselves, or the
    // song file, would load, unload or write past it.
    void loadedSongsHaveOneOwner()
    {
        static const QRegularExpression reach(
            QStringLiteral("\\b(currSong|nextSong)\\b|#include\\s+\"(SongObjects|SongRW)\\.h\"|\\bSongRW::"));
        QStringList found;
        for (const char *folder : {"app", "ui"}) {
            QDirIterator it(QStringLiteral(VELMAR_SOURCE_DIR "/") + folder, {"*.cpp", "*.h"}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                const QString text = QString::fromUtf8(TestUtil::readFile(path));
                for (const auto &m : reach.globalMatch(text))
                    found << path.mid(int(strlen(VELMAR_SOURCE_DIR)) + 1) + ": " + m.captured();
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
    }
};

VELMAR_TEST(TestResources)
#include "tst_resources.moc"
