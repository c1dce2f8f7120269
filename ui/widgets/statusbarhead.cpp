#include "statusbarhead.h"
#include "ui_statusbarhead.h"

#include "Extract.h"
#include "programfonts.h"

#include <QEvent>
#include <QLabel>
#include <cmath>
#include <cstring>

namespace {

QString signedOffset(int delta)
{
    return (delta > 0 ? QStringLiteral("+") : QString()) + QString::number(delta);
}

// Audio songs change their tempo by a percentage; MIDI songs (and a record
// without a format) by beats per minute.
bool tempoInPercent(const QString &format)
{
    static const QStringList midi{"MIDI", "MF3", "MF4", "MF5"};
    return !format.isEmpty() && !midi.contains(format.toUpper());
}

} // namespace

statusBarHead::statusBarHead(QWidget *parent)
    : QWidget(parent), ui(new Ui::statusBarHead)
{
    ui->setupUi(this);
    ProgramFonts::addApplicationFont(QStringLiteral(":/fonts/lcddot.ttf"));
    const QFont lcd(QStringLiteral("LCDDot"), 10);
    for (QLabel *label : ui->frame->findChildren<QLabel *>())
        label->setFont(lcd);
    clearSongInfo();
}

statusBarHead::~statusBarHead()
{
    delete ui;
}

void statusBarHead::showSongInfo(const SongInfo &info)
{
    song = info;
    lastSecondShown = -1;
    ui->titleLabel->setText(song.title);
    ui->authorLabel->setText(song.artist);
    ui->timeNumberLabel->setText(QStringLiteral("0:00"));
    showTempo(deltaBpm());
    showKey(deltaKey());
    ui->formatValueLabel->setText(song.format);
}

void statusBarHead::clearSongInfo()
{
    lastSecondShown = -1;
    for (QLabel *label : {ui->titleLabel, ui->authorLabel, ui->timeNumberLabel, ui->BPMNumberLabel,
                          ui->barNumberLabel, ui->keyValueLabel, ui->formatValueLabel})
        label->clear();
}

void statusBarHead::setChordLang(int notation)
{
    chordNotation = notation;
    showKey(deltaKey());
}

void statusBarHead::on_songBpm_changed(int bpm, int delta)
{
    song.bpm = bpm;
    showTempo(delta);
}

void statusBarHead::on_deltaKey_changed(int delta)
{
    showKey(delta);
}

void statusBarHead::on_mSecOfPlaying_changed(uint milliseconds, uint)
{
    const qint64 seconds = milliseconds / 1000;
    if (seconds == lastSecondShown)
        return;
    ui->timeNumberLabel->setText(elapsedText(seconds));
    lastSecondShown = seconds;
}

void statusBarHead::on_barBeatOfPlaying_changed(uint bar, uint beat)
{
    ui->barNumberLabel->setText(QStringLiteral("%1.%2").arg(qint64(bar) + 1).arg(qint64(beat) + 1));
}

QString statusBarHead::elapsedText(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void statusBarHead::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}

void statusBarHead::showTempo(int delta)
{
    // An audio song's offset is a percentage: show the tempo it gives.
    if (tempoInPercent(song.format)) {
        const long tempo = std::lround(song.bpm * (100.0 + delta) / 100.0);
        ui->BPMNumberLabel->setText(QStringLiteral("%1 [%2%]").arg(tempo).arg(signedOffset(delta)));
    } else {
        ui->BPMNumberLabel->setText(QStringLiteral("%1 [%2]").arg(song.bpm + delta).arg(signedOffset(delta)));
    }
}

void statusBarHead::showKey(int delta)
{
    // The key comes from song files and the store: only as much of it as
    // the chord speller takes, in its zero-filled buffer.
    char key[EXTRACT_CHORD_BUFFER_SIZE] = {};
    const QByteArray latin1 = song.keySign.toLatin1().left(EXTRACT_CHORD_MAX_CHARS);
    std::memcpy(key, latin1.constData(), size_t(latin1.size()));
    Extract::TransposeAndTraslateChord(key, delta, chordNotation);
    ui->keyValueLabel->setText(QString::fromLatin1(key) + QStringLiteral(" [") + signedOffset(delta)
                               + QLatin1Char(']'));
}
