// Every resource name the code uses loads, and the looks' font families
// resolve to their stand-ins.
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
};

VELMAR_TEST(TestResources)
#include "tst_resources.moc"
