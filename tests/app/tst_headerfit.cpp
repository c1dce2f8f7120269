// The header's folding rules on a bar laid out as the header is (the song
// display, labelled buttons, a transport button, the logo), narrowed a
// pixel at a time: the logo goes first, then the labels fold; the bar's
// parts always fit while they can; a button keeps its width through its
// texts; a text folds at its middle.
#include "headerfit.h"
#include "testutil.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestHeaderFit : public QObject
{
    Q_OBJECT

    struct Bar {
        QWidget bar;
        QLabel *names = new QLabel(QStringLiteral("Title"));
        QLabel *logo = new QLabel(QStringLiteral("Maker"));
        QPushButton *melody = new QPushButton(QStringLiteral("Melody ON"));
        QPushButton *volume = new QPushButton(QStringLiteral("Music volume"));
        QPushButton *play = new QPushButton(QStringLiteral(">"));
        int room = 150;
        HeaderFit *fit = nullptr;

        Bar()
        {
            auto *layout = new QHBoxLayout(&bar);
            names->setMinimumWidth(100);
            logo->setFixedWidth(140);
            play->setFixedWidth(40);
            for (QWidget *w : std::initializer_list<QWidget *>{names, melody, volume, play, logo})
                layout->addWidget(w);
            fit = new HeaderFit(&bar, logo, {melody, volume}, [this] { return room; });
            fit->setTexts(melody, QStringLiteral("Melody ON"),
                          {QStringLiteral("Melody ON"), QStringLiteral("Melody OFF"), QStringLiteral("Melody SEMI")});
            fit->setTexts(volume, QStringLiteral("Music volume"));
            bar.show();
        }
        // The bar at `width`, laid out as a window does on a resize.
        void resize(int width)
        {
            bar.resize(width, 60);
            QApplication::processEvents();
            bar.layout()->activate();
        }
        bool folded() const { return melody->text().contains('\n') && volume->text().contains('\n'); }
        bool whole() const { return !melody->text().contains('\n') && !volume->text().contains('\n'); }
        int needs() const { return bar.layout()->minimumSize().width(); }
    };

private slots:
    // From wide to narrow: everything, then without the logo, then the
    // labels folded, in that order and never back; at every width what
    // the bar holds fits it (with the song display's room) while folding
    // can make it fit.
    void narrowed()
    {
        Bar b;
        b.resize(1400);
        QVERIFY(b.logo->isVisibleTo(&b.bar) && b.whole());
        int stage = 0; // 0 all, 1 no logo, 2 folded
        int logoWent = -1, foldedAt = -1;
        const int least = [&] {
            b.resize(100);
            return b.needs();
        }();
        QVERIFY(b.folded() && !b.logo->isVisibleTo(&b.bar));
        for (int width = 1400; width >= 100; --width) {
            b.resize(width);
            const bool logo = b.logo->isVisibleTo(&b.bar);
            const QString at = QStringLiteral("at %1 px").arg(width);
            const int now = logo && b.whole() ? 0 : !logo && b.whole() ? 1 : !logo && b.folded() ? 2 : -1;
            QVERIFY2(now >= stage, qPrintable(at + ": the logo back or the labels half folded"));
            if (now == 1 && stage == 0)
                logoWent = width;
            if (now == 2 && stage < 2)
                foldedAt = width;
            stage = now;
            if (width - b.room >= least)
                QVERIFY2(b.needs() + b.room <= width, qPrintable(at + QStringLiteral(": needs %1 + %2")
                                                                          .arg(b.needs()).arg(b.room)));
        }
        // The logo went first, some way before the labels folded, and
        // each when it had to, not sooner.
        QVERIFY(logoWent > 0 && foldedAt > 0 && foldedAt < logoWent);
        b.resize(logoWent + 1);
        QVERIFY(b.logo->isVisibleTo(&b.bar));
        QCOMPARE(b.needs() + b.room, logoWent + 1);
        b.resize(foldedAt + 1);
        QVERIFY(b.whole());
        QCOMPARE(b.needs() + b.room, foldedAt + 1);

        // More room wanted for the names: the logo goes at a wider bar.
        b.room = 300;
        b.resize(logoWent + 1);
        QVERIFY(!b.logo->isVisibleTo(&b.bar));
    }

    // A button is as wide as its widest text, folded or not, so that a
    // press that changes its text moves nothing.
    void pressMovesNothing()
    {
        Bar b;
        int narrow = 1400;
        for (b.resize(narrow); !b.folded() && narrow > 100; b.resize(--narrow)) {
        }
        // Wide, at the least width whole (each button at its least) and folded.
        for (int width : {1400, narrow + 1, narrow}) {
            b.resize(width);
            const bool folded = width == narrow;
            QCOMPARE(b.folded(), folded);
            const int melodyWidth = b.melody->width(), volumeX = b.volume->x();
            for (const char *text : {"Melody SEMI", "Melody OFF", "Melody ON"}) {
                b.fit->setTexts(b.melody, QLatin1String(text),
                                {QStringLiteral("Melody ON"), QStringLiteral("Melody OFF"),
                                 QStringLiteral("Melody SEMI")});
                b.resize(width);
                QCOMPARE(b.melody->text(), folded ? HeaderFit::folded(QLatin1String(text)) : QLatin1String(text));
                QCOMPARE(b.melody->width(), melodyWidth);
                QCOMPARE(b.volume->x(), volumeX);
                const QFontMetrics metrics(b.melody->font());
                for (const QString &line : b.melody->text().split('\n'))
                    QVERIFY(metrics.horizontalAdvance(line) < b.melody->width());
            }
        }
    }

    void folded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("at the blank") << "Melody ON" << "Melody\nON";
        QTest::newRow("the blank nearest the middle") << "Canale della melodia" << "Canale della\nmelodia";
        QTest::newRow("a hyphen stays above") << "Melodie-Kanal" << "Melodie-\nKanal";
        QTest::newRow("blank or hyphen, the nearer") << "Ton-Lautstärke ab" << "Ton-\nLautstärke ab";
        QTest::newRow("nothing to fold at") << "Lautstärke" << "Lautstärke";
        QTest::newRow("not at an end") << " Volume-" << " Volume-";
        QTest::newRow("one letter") << "V" << "V";
    }
    void folded()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(HeaderFit::folded(text), shown);
    }
};

VELMAR_TEST(TestHeaderFit)
#include "tst_headerfit.moc"
