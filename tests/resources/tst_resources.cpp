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
        if (!method.startsWith(u'&') && !method.startsWith(u'['))
            found << QStringLiteral("invokeMethod(..., ") + method;
    }
    return found;
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
    // a style sheet that picks a widget by its object name loses its looks
    // without a word when the widget is renamed (style sheets pick a class
    // by the dynamic property styleClass, or a type); and an accessible name
    // picked by a style sheet is what a screen reader says.
    void nothingFoundByName()
    {
        static const QRegularExpression byName(QStringLiteral("\\bvoid\\s+on_\\w+_\\w+\\s*\\("));
        static const QRegularExpression macros(QStringLiteral("\\b(SIGNAL|SLOT)\\s*\\("));
        // "#name" followed by the rest of a selector up to its block.
        static const QRegularExpression selector(QStringLiteral(
            "(?<!&)#(?!(include|define|undef|if|ifdef|ifndef|elif|else|endif|pragma|error)\\b)[A-Za-z_]\\w*"
            "(?=[^;{}()\"<>]*\\{)"));
        static const QRegularExpression styled(QStringLiteral("\\[accessibleName="));
        QStringList found;
        for (const char *folder : {"app", "ui", "karaoke", "library", "store", "playback", "songfiles"}) {
            QDirIterator it(QStringLiteral(VELMAR_SOURCE_DIR "/") + folder, {"*.cpp", "*.h", "*.ui"}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                const QString where = path.mid(int(strlen(VELMAR_SOURCE_DIR)) + 1) + ": ";
                const QString text = QString::fromUtf8(TestUtil::readFile(path));
                for (const QRegularExpression *e : {&byName, &macros, &selector, &styled})
                    for (const auto &m : e->globalMatch(text))
                        found << where + m.captured();
                for (const QString &call : invokedByName(text))
                    found << where + call;
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
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
