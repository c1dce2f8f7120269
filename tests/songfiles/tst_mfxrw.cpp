// The MF3/MF4/MF5 header editor against the decoder's header readers; the
// compressed payload must come through a save unchanged.
#include "Extract.h"
#include "MfxHeader.h"
#include "MfxRW.h"
#include "SongSettings.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestMfxRW : public QObject
{
    Q_OBJECT

private slots:
    void editAndReadBack_data()
    {
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("MF3") << QByteArray("_MF3");
        QTest::newRow("MF4") << QByteArray("_MF4");
        QTest::newRow("MF5") << QByteArray("_MF5");
    }
    void editAndReadBack()
    {
        QFETCH(QByteArray, magic);
        const bool mf5 = magic == "_MF5";
        const int headerSize = mf5 ? MFX5_HEADER_SIZE : MFX_HEADER_SIZE;
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMfx(dir.path(), QStringLiteral("Base name.mf3"), magic);
        const QByteArray original = TestUtil::readFile(path);
        std::unique_ptr<MfxRW> editor(static_cast<MfxRW *>(SongRW::createFromFile(path, false)));
        QVERIFY(editor);
        SongInfoRW info;
        editor->getSongInfo(info);
        QCOMPARE(QStringList({info.title, info.artist, info.genre, info.author, info.userKey}),
                 QStringList({"Base name", "<UNKNOWN>", "<UNKNOWN>", "", ""}));
        editor->setReverbEffect(4, 90);
        QCOMPARE(editor->headerBytes().mid(MFX_OFS_EXTRAS_MARKER, 2), QByteArray(2, '\0'));
        const QByteArray before = editor->headerBytes();
        editor->setTrackParameter(3, 1, MidiTrackParam{1, 5});
        editor->setTrackParameter(mf5 ? 32 : 20, 0, MidiTrackParam{1, 5});
        editor->setTrackParameterAdv(16, 0, MidiTrackParamAdv{1});
        QCOMPARE(editor->headerBytes(), before);

        editor->setTitle(QString(40, QLatin1Char('t')));
        editor->setArtist(QStringLiteral("Duo"));
        editor->setGenre(QStringLiteral("Polka"));
        editor->setAuthor(QStringLiteral("Müller"));
        editor->setDeltaBpm(-20);
        editor->setDeltaKey(5);
        editor->setChorusEffect(2, 30);
        const int tracks = mf5 ? 32 : 16;
        for (int t = 0; t < tracks; ++t) {
            editor->setTrackParameter(t, 0, MidiTrackParam{uint8_t(t % 3), uint8_t(t), uint8_t(t / 2), t % 2 == 1,
                                                           -t, t, 1 - t, t + 2, uint8_t(t % 5), t - 8});
            editor->setTrackParameterAdv(t, 0, MidiTrackParamAdv{t, -t, 3, -4, 5, t - 6});
        }
        QVERIFY(editor->saveToFile(path));
        const QByteArray saved = TestUtil::readFile(path);
        QCOMPARE(saved.mid(headerSize), original.mid(headerSize));
        QCOMPARE(saved.mid(MFX_OFS_DELTA_BPM, 2), QByteArray("\xEC\xFF"));

        editor.reset(static_cast<MfxRW *>(SongRW::createFromFile(path, false)));
        editor->getSongInfo(info);
        QCOMPARE(QStringList({info.title, info.artist, info.genre, info.author}),
                 QStringList({QString(32, QLatin1Char('t')), "Duo", "Polka", "Müller"}));
        SONG_INFO head{};
        QVERIFY(Extract::GetSongInfoFromFile(&head, path));
        QCOMPARE(QStringList({QString::fromUtf8(head.artist), head.composer}), QStringList({"Duo", "Müller"}));

        auto db = std::make_unique<Db>();
        initDBSTRUCT(db.get());
        loadSongSettings_MFx(reinterpret_cast<const uint8_t *>(saved.constData()), db.get());
        QCOMPARE(QList<int>({db->tempoDelta, db->transpose, db->reverbMacro, db->reverbLevel,
                             db->chorusMacro, db->chorusLevel}),
                 QList<int>({-20, 5, 4, 90, 2, 30}));
        for (int t = 0; t < tracks; ++t) {
            const DbLayer &l = db->layers[t][0];
            QCOMPARE(QList<int>({l.muteSolo, l.program, l.bank, l.volume, l.pan, l.reverb, l.chorus,
                                 l.velocityCurve, l.transpose}),
                     QList<int>({t % 3, t, t / 2, -t, t, 1 - t, t + 2, t % 5, t - 8}));
            if (t >= MFX_TRACKS_PER_BLOCK)
                continue;
            QCOMPARE(bool(l.flags & DB_FLAG_PROGRAM_OVERRIDE), t % 2 == 1);
            const int16_t *cc = db->ccOffsets[t][0];
            QCOMPARE(QList<int>({cc[DB_CC75], cc[DB_CC73], cc[DB_CC72], cc[DB_CC71], cc[DB_CC74], cc[DB_CC66]}),
                     QList<int>({t, -t, 3, -4, 5, t - 6}));
        }
    }
};

VELMAR_TEST(TestMfxRW)
#include "tst_mfxrw.moc"
