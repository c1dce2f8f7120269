// Real songs made with mido, normalised by the decoder and played on the
// simulated clock: notes at mido's time, jumps, loops and fades with the
// chased channel state, and the synthesizer's render against the fluidsynth
// program's.
#include "Fading.h"
#include "play_ex.h"
#include "rig.h"
#include "sequencer_goto.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

namespace {
const char *const kBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr int kRate = 44100;
// Seconds this far below the loudest one count as the release tail.
constexpr double kTailDb = 30.0;

// Notes still sounding on an output: note-ons without their note-off or a
// stop-sound of their channel after them.
int heldNotes(const std::vector<TimedMessage> &msgs)
{
    std::multiset<std::pair<int, int>> on;
    for (const TimedMessage &m : msgs) {
        if (m.bytes.size() < 3)
            continue;
        const int kind = m.bytes[0] & 0xF0, ch = m.bytes[0] & 15;
        if (kind == 0x90 && m.bytes[2] > 0)
            on.insert({ch, m.bytes[1]});
        else if (kind == 0x80 || kind == 0x90) {
            auto it = on.find({ch, m.bytes[1]});
            if (it != on.end())
                on.erase(it);
        } else if (kind == 0xB0 && (m.bytes[1] == 0x7B || m.bytes[1] == 0x78)) {
            for (auto it = on.begin(); it != on.end();)
                it = it->first == ch ? on.erase(it) : std::next(it);
        }
    }
    return int(on.size());
}

// Channel state an output was given before time t: program, bank, each
// controller and the pitch bend, by channel.
std::map<int, std::map<QString, int>> stateBefore(const std::vector<TimedMessage> &msgs, uint64_t t)
{
    std::map<int, std::map<QString, int>> s;
    for (const TimedMessage &m : msgs) {
        if (m.ms >= t || m.bytes.size() < 2)
            continue;
        const int kind = m.bytes[0] & 0xF0, ch = m.bytes[0] & 15;
        if (kind == 0xC0)
            s[ch][QStringLiteral("program")] = m.bytes[1];
        else if (kind == 0xB0 && m.bytes.size() >= 3)
            s[ch][m.bytes[1] == 0 ? QStringLiteral("bank") : QString::number(m.bytes[1])] = m.bytes[2];
        else if (kind == 0xE0 && m.bytes.size() >= 3)
            s[ch][QStringLiteral("bend")] = m.bytes[1] | (m.bytes[2] << 7);
    }
    return s;
}

// Master Volume values (MSB) an output was given, with their times.
std::vector<std::pair<uint64_t, int>> masterVolumes(const std::vector<TimedMessage> &msgs)
{
    std::vector<std::pair<uint64_t, int>> r;
    for (const TimedMessage &m : msgs)
        if (m.bytes.size() == 8 && m.bytes[0] == 0xF0 && m.bytes[1] == 0x7F && m.bytes[3] == 0x04 &&
            m.bytes[4] == 0x01)
            r.push_back({m.ms, m.bytes[6]});
    return r;
}

// Walks a chase list to its end marker: the events, each as its bytes.
// Only the first list starts without a delta.
std::vector<std::vector<uint8_t>> chaseEvents(const uint8_t *p, const uint8_t *end, bool first)
{
    std::vector<std::vector<uint8_t>> r;
    for (; p < end; first = false) {
        if (!first)
            ++p;   // the one-byte delta
        const int n = *p == 0xFF ? 3 + p[2] : *p == 0xF0 ? 2 + p[1] : (*p & 0xF0) == 0xC0 ? 2 : 3;
        r.emplace_back(p, p + n);
        if (p[0] == 0xFF && p[1] == 0x2F)
            break;
        p += n;
    }
    return r;
}
// Level in dB of each whole or partial second of a 16-bit stereo WAV.
QVector<double> secondLevels(const QString &path)
{
    const QByteArray wav = TestUtil::readFile(path);
    const int data = wav.indexOf("data");
    if (!wav.startsWith("RIFF") || data < 0 || data + 8 > wav.size())
        return {};
    const auto *pcm = reinterpret_cast<const int16_t *>(wav.constData() + data + 8);
    const qsizetype samples = (wav.size() - data - 8) / 2;
    QVector<double> levels;
    for (qsizetype from = 0; from < samples; from += 2 * kRate) {
        const qsizetype to = std::min(samples, from + 2 * kRate);
        double sum = 0;
        for (qsizetype i = from; i < to; ++i)
            sum += double(pcm[i]) * pcm[i];
        levels << 20 * std::log10(std::sqrt(sum / double(to - from)) / 32768.0 + 1e-9);
    }
    return levels;
}

// Seconds up to the last one above the release tail.
int audibleSeconds(const QVector<double> &levels)
{
    const double loudest = *std::max_element(levels.begin(), levels.end());
    int n = int(levels.size());
    while (n > 0 && levels[n - 1] < loudest - kTailDb)
        --n;
    return n;
}
struct Note {
    double ms;
    int channel;
    int key;
    int tick;   // the song's tick; of a note sent, the millisecond it was sent
    bool operator<(const Note &o) const { return std::tie(ms, channel, key) < std::tie(o.ms, o.channel, o.key); }
};
} // namespace

class TestSongFiles : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QJsonObject m_times;
    QJsonObject m_expected;
    QByteArray m_file;

    void loadSong(LoadedSong &song)
    {
        QVERIFY(song.normalise(m_file) > 0);
        song.info.bpm = 120;
    }
    // Plays the song from its start up to bar 2.
    void startSong(EngineRig &rig, LoadedSong &song)
    {
        loadSong(song);
        QCOMPARE(PLAY_EX_PlayProcedure(0, &song.sd), 1);
        SEQUENCER_EX_SetMelodyMode(0);
        SEQUENCER_EX_ActionResume();
        QVERIFY(rig.driver.runUntil([] { return SEQUENCER_EX_GetCurrentBar() >= 2; }, 10000));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_times = QJsonDocument::fromJson(TestUtil::runPython(QStringLiteral("common-sound/sequencer/gen_songs.py"),
                                                              {m_dir.path()})).object();
        QVERIFY(!m_times.isEmpty());
        m_expected = QJsonDocument::fromJson(TestUtil::runPython(QStringLiteral("common-sound/sequencer/gen_jumpsong.py"),
                                                                 {m_dir.path()})).object();
        QVERIFY(!m_expected.isEmpty());
        m_file = TestUtil::readFile(m_dir.filePath(QStringLiteral("jumpsong.mid")));
        QVERIFY(!m_file.isEmpty());
        QVERIFY(QFile::exists(QString::fromLatin1(kBank)));
    }
    void playsAtMidoTime_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("tempo and time-signature changes") << "tempo_meter.mid";
        QTest::newRow("16 channels") << "sixteen_channels.mid";
        QTest::newRow("running status, division 96") << "running_status.mid";
        QTest::newRow("41 tracks") << "forty_tracks.mid";
        QTest::newRow("730 KB") << "dense.mid";
    }
    void playsAtMidoTime()
    {
        QFETCH(QString, file);
        LoadedSong song;
        QVERIFY2(song.normalise(TestUtil::readFile(m_dir.filePath(file))) > 0,
                 qPrintable(QStringLiteral("error %1").arg(getLoadingError())));
        EngineRig rig;
        QCOMPARE(PLAY_EX_PlayProcedure(0, &song.sd), 1);
        SEQUENCER_EX_SetMelodyMode(0);
        // The position the views are given after each pass.
        std::map<uint64_t, int64_t> position;
        SEQUENCER_EX_ActionResume();
        QVERIFY(rig.driver.runUntil([&] {
            position[rig.driver.now()] = SEQUENCER_EX_GetCurrentTick();
            return rig.songEnded();
        }, 600000));

        std::vector<Note> expected, got;
        for (const QJsonValue &v : m_times.value(file).toArray()) {
            const QJsonArray a = v.toArray();
            expected.push_back({a[0].toDouble(), a[1].toInt(), a[2].toInt(), a[3].toInt()});
        }
        const std::vector<TimedMessage> ons = rig.noteOns(1);
        for (const TimedMessage &m : ons)
            got.push_back({double(m.ms - ons[0].ms), m.bytes[0] & 15, m.bytes[1], int(m.ms)});
        QCOMPARE(got.size(), expected.size());
        // Sent order is song order: times never go back.
        QVERIFY(std::is_sorted(ons.begin(), ons.end(), [](const TimedMessage &a, const TimedMessage &b) { return a.ms < b.ms; }));
        std::stable_sort(got.begin(), got.end());
        std::stable_sort(expected.begin(), expected.end());
        for (size_t i = 0; i < got.size(); ++i) {
            const QString where = QStringLiteral("%1 note %2: got %3 ms ch %4 key %5, mido %6 ms ch %7 key %8")
                                      .arg(file).arg(i).arg(got[i].ms).arg(got[i].channel).arg(got[i].key)
                                      .arg(expected[i].ms).arg(expected[i].channel).arg(expected[i].key);
            QVERIFY2(got[i].channel == expected[i].channel && got[i].key == expected[i].key, qPrintable(where));
            QVERIFY2(std::fabs(got[i].ms - expected[i].ms) <= 1.0, qPrintable(where));
            // The position is the note's own as it is sent (within the clock's
            // millisecond), never one read ahead of it.
            const int64_t sent = got[i].tick;
            QVERIFY2(position[sent] >= expected[i].tick && position[sent] <= expected[i].tick + 2 &&
                         (expected[i].tick == 0 || position[sent - 1] < expected[i].tick),
                     qPrintable(where + QStringLiteral(", position %1 then %2, tick %3")
                                            .arg(position[sent - 1]).arg(position[sent]).arg(expected[i].tick)));
        }
    }

    void jumpLandsWithChasedState_data()
    {
        QTest::addColumn<bool>("sameSong");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("atBar");
        QTest::newRow("goto forward") << true << 10 << 4;
        QTest::newRow("goto back") << true << 2 << 6;
        QTest::newRow("other song, at once") << false << 12 << 3;
    }
    void jumpLandsWithChasedState()
    {
        QFETCH(bool, sameSong);
        QFETCH(int, target);
        QFETCH(int, atBar);
        EngineRig rig;
        LoadedSong song, other;
        startSong(rig, song);
        if (sameSong) {
            QCOMPARE(SEQUENCER_EX_ActionJumpImmediateSameSong(target, atBar), 1);
            // One jump at a time.
            QCOMPARE(SEQUENCER_EX_ActionJumpImmediateSameSong(target, atBar), 0);
        } else {
            loadSong(other);
            QCOMPARE(SEQUENCER_EX_ActionJumpImmediateDifferentSong(&other.sd, target, atBar), 1);
        }
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count("jumpDone") > 0; }, 20000));
        const uint64_t jumpAt = rig.sigs.named("jumpDone")[0].ms;
        QCOMPARE(rig.sigs.named("bar").back().a, target);
        QCOMPARE(rig.sigs.count("jumpSwapSong"), 1);
        rig.driver.advance(3000);

        // The song left its output at its arming bar; the jump plays on the other.
        for (const TimedMessage &m : rig.noteOns(1))
            QVERIFY(m.ms <= jumpAt);
        const std::vector<TimedMessage> notes = rig.noteOns(2);
        QVERIFY(!notes.empty());
        QVERIFY(notes.front().ms >= jumpAt && notes.front().ms - jumpAt <= 1);
        QCOMPARE(int(notes.front().bytes[1]), 40 + (target % 12));
        QCOMPARE(int(SEQUENCER_EX_GetCurrentBPM()), target >= 9 ? 100 : 120);

        const auto state = stateBefore(rig.messages(2), notes.front().ms);
        const QJsonObject chans = m_expected.value(QString::number(target)).toObject();
        for (const QString &ch : chans.keys()) {
            const QJsonObject want = chans.value(ch).toObject();
            const auto got = state.find(ch.toInt());
            QVERIFY(got != state.end());
            for (const QString &what : want.keys())
                QCOMPARE(got->second.count(what) ? got->second.at(what) : -1, want.value(what).toInt());
        }
        SEQUENCER_EX_ActionStop();
        QCOMPARE(heldNotes(rig.messages(1)), 0);
        QCOMPARE(heldNotes(rig.messages(2)), 0);
    }

    // A cross-fade ends with the old slot silent and released and the new
    // one at full level; a fade-out ends the song or hands over to a jump.
    void fadesEndClean_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("cross-fade to the other song") << 0;
        QTest::newRow("fade out and stop") << 1;
        QTest::newRow("fade out for a jump") << 2;
    }
    void fadesEndClean()
    {
        QFETCH(int, kind);
        EngineRig rig;
        LoadedSong song, other;
        startSong(rig, song);
        const int fullLevel = masterVolumes(rig.messages(1)).back().second;
        if (kind == 0) {
            loadSong(other);
            SEQUENCER_EX_SetCrossFadeCurve(1);
            QCOMPARE(SEQUENCER_EX_ActionJumpFadingDifferentSong(&other.sd, 8, 6), 1);
        } else {
            QCOMPARE(SEQUENCER_EX_ActionJumpFadeOutMidiInPlay(3, kind == 1 ? 1 : 0), 1);
            QCOMPARE(SEQUENCER_EX_ActionJumpFadeOutMidiInPlay(3, 0), 0);
        }
        const char *end = kind == 1 ? "songEnded" : "jumpDone";
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count(end) > 0; }, 30000));
        const uint64_t endAt = rig.sigs.named(end)[0].ms;
        QCOMPARE(jumpStatus.load(), 0);
        rig.driver.advance(2000);

        // The song that left: faded, closed, its port free, nothing after the end.
        const std::vector<std::pair<uint64_t, int>> leftLevels = masterVolumes(rig.messages(1));
        QVERIFY(std::any_of(leftLevels.begin(), leftLevels.end(),
                            [&](const auto &v) { return v.second > 0 && v.second < fullLevel / 2; }));
        for (const TimedMessage &m : rig.noteOns(1))
            QVERIFY(m.ms <= endAt);
        QCOMPARE(int(SEQUENCER_EX_GetMidiStream1()->slotByte), 0);
        QCOMPARE(int(midiPortUsed[0].load()), 0);
        QCOMPARE(heldNotes(rig.messages(1)), 0);
        if (kind == 0) {
            QCOMPARE(rig.sigs.count("jumpStart"), 1);
            QCOMPARE(rig.sigs.count("jumpSwapSong"), 1);
            QVERIFY(rig.sigs.named("jumpSwapSong")[0].ms < endAt);
            QCOMPARE(jumpFadeFactor2, 100);
            // The song that came rose on its output to the full level.
            const std::vector<std::pair<uint64_t, int>> cameLevels = masterVolumes(rig.messages(2));
            QVERIFY(std::any_of(cameLevels.begin(), cameLevels.end(),
                                [&](const auto &v) { return v.second < fullLevel / 2; }));
            QCOMPARE(cameLevels.back().second, fullLevel);
            QVERIFY(!rig.noteOns(2).empty() && rig.noteOns(2).back().ms > endAt);
        } else {
            if (kind == 1)
                QCOMPARE(SEQUENCER_EX_GetStopReason(), STOPCHI_FADE_STOP);
            QCOMPARE(rig.sigs.count("songEnded"), kind == 1 ? 1 : 0);
            QVERIFY(rig.noteOns(2).empty());
            // About 4.1 s of fading from its bar (2 s each at 120 BPM).
            QVERIFY(endAt > 3 * 2000 + 4100 && endAt < 3 * 2000 + 5000);
        }
        SEQUENCER_EX_ActionStop();
        QCOMPARE(heldNotes(rig.messages(2)), 0);
    }

    // The chase writer stays inside its 4096 bytes whatever the song holds:
    // what does not fit (SysEx first) is left out, never the programs.
    void chaseStaysInItsBuffer_data()
    {
        QTest::addColumn<int>("sysexLength");
        QTest::addColumn<int>("tempoBar");
        QTest::addColumn<int>("tempoBpm");
        QTest::addColumn<int>("chasedUs");
        QTest::addColumn<bool>("allSysex");
        QTest::newRow("full tables, tempo from before the bar") << 98 << 1 << 90 << 666666 << false;
        QTest::newRow("length bytes past the entry, tempo after the bar") << 250 << 9 << 150 << 400000 << false;
        QTest::newRow("short SysEx, tempo of 0 BPM") << 10 << 0 << 0 << 500000 << true;
    }
    void chaseStaysInItsBuffer()
    {
        QFETCH(int, sysexLength);
        QFETCH(int, tempoBar);
        QFETCH(int, tempoBpm);
        QFETCH(int, chasedUs);
        QFETCH(bool, allSysex);
        std::unique_ptr<MidiInfos> infos(new MidiInfos());
        infos->tempoCount = 1;
        infos->tempoTable[0] = {uint16_t(tempoBar), uint16_t(tempoBpm)};
        infos->sysexCount = MAX_SYSEX_ENTRIES;
        for (SYSEX_ENTRY &e : infos->sysexTable) {
            e.bar = 1;
            e.port = UNSET_WORD;
            e.message[0] = 0xF0;
            e.message[1] = uint8_t(sysexLength);
            std::memset(e.message + 2, 0x11, SYSEX_ENTRY_SIZE - 3);
            e.message[SYSEX_ENTRY_SIZE - 1] = 0xF7;
        }
        for (SETUP_LIST &l : infos->setupList) {
            l.count = SETUP_LIST_SIZE;
            for (int i = 0; i < SETUP_LIST_SIZE; i += 4)
                std::memcpy(l.data + i, "\x03\xB0\x5B\x28", 4);
        }
        infos->barInfoCount = NUM_SLOTS;
        for (int c = 0; c < NUM_SLOTS; ++c) {
            std::memset(&infos->barInfo[c], 20, sizeof(BAR_INFO));
            infos->barInfo[c].slot = uint8_t(c);
            infos->barInfo[c].bar = 1;
        }
        MidiStream stream{};
        stClear(ST_JUMP_PREPARED);
        QCOMPARE(SEQUENCER_EX_BuildChaseEvents(4, 1, infos.get(), &stream), 1);
        QCOMPARE(int(stream.songBpm), 60000000 / chasedUs);
        const uint8_t *end = MidiAuxBuffer + MIDI_AUX_BUFFER_SIZE;
        QVERIFY(ptrMF5AuxBuffer > MidiAuxBuffer && ptrMF5AuxBuffer < end);
        for (const uint8_t *list : {(const uint8_t *)MidiAuxBuffer, (const uint8_t *)ptrMF5AuxBuffer}) {
            const auto events = chaseEvents(list, end, list == MidiAuxBuffer);
            QVERIFY(!events.empty());
            QCOMPARE(hex(events.back()), QByteArray("ff 2f 01 00"));
            int programs = 0, sysex = 0;
            for (const auto &e : events) {
                programs += (e[0] & 0xF0) == 0xC0 ? 1 : 0;
                if (e[0] == 0xF0 && e[2] == 0x11)
                    QVERIFY(++sysex && e[1] <= SYSEX_ENTRY_SIZE - 2);
            }
            QCOMPARE(programs, 16);
            if (list == MidiAuxBuffer) {
                QCOMPARE(hex(events[0]).left(9), QByteArray("ff 51 03 "));
                QCOMPARE(events[0][3] << 16 | events[0][4] << 8 | events[0][5], chasedUs);
                QVERIFY(allSysex ? sysex == MAX_SYSEX_ENTRIES : sysex > 0 && sysex < MAX_SYSEX_ENTRIES);
            }
        }
    }

    void loudAsFluidsynth_data()
    {
        QTest::addColumn<QString>("song");
        QTest::newRow("tempo and time-signature changes") << "tempo_meter.mid";
        QTest::newRow("16 channels") << "sixteen_channels.mid";
    }
    void loudAsFluidsynth()
    {
        QFETCH(QString, song);
        const QString mid = m_dir.filePath(song);
        const QString ours = m_dir.filePath(song + QStringLiteral(".ours.wav"));
        const QString peer = m_dir.filePath(song + QStringLiteral(".peer.wav"));
        QByteArray out, err;
        QCOMPARE(TestUtil::runProgram(TestUtil::binDir() + QStringLiteral("/velmar-render"),
                                      {mid, ours, QStringLiteral("--soundfont"), QString::fromLatin1(kBank)},
                                      &out, &err),
                 0);
        QCOMPARE(TestUtil::runProgram(QStringLiteral("fluidsynth"),
                                      {QStringLiteral("-ni"), QStringLiteral("-F"), peer, QStringLiteral("-r"),
                                       QString::number(kRate), QStringLiteral("-T"), QStringLiteral("wav"),
                                       QString::fromLatin1(kBank), mid},
                                      &out, &err),
                 0);
        const QVector<double> a = secondLevels(ours);
        const QVector<double> b = secondLevels(peer);
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        const int length = audibleSeconds(b);
        QVERIFY2(std::abs(audibleSeconds(a) - length) <= 1,
                 qPrintable(QStringLiteral("%1 s against %2 s").arg(audibleSeconds(a)).arg(length)));
        for (int s = 0; s < length - 1; ++s)
            QVERIFY2(std::fabs(a[s] - b[s]) <= 3.0,
                     qPrintable(QStringLiteral("second %1: %2 dB against %3 dB").arg(s).arg(a[s]).arg(b[s])));
    }
};

VELMAR_TEST(TestSongFiles)
#include "tst_songfiles.moc"
