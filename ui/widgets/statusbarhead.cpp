#include "statusbarhead.h"
#include "ui_statusbarhead.h"

#include "Extract.h"
#include "programfonts.h"
#include "songtexts.h"

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
    fitLabels();
    clearSongInfo();
}

void statusBarHead::fitLabels()
{
    const QFontMetrics metrics(ui->keyValueLabel->font());
    const std::pair<QLabel *, QStringList> widest[] = {
        {ui->timeNumberLabel, {QStringLiteral("999:59")}},
        {ui->barNumberLabel, {QStringLiteral("999.9")}},
        {ui->BPMNumberLabel, {QStringLiteral("999 [+100%]")}},
        {ui->keyValueLabel, {QStringLiteral("- - - [-12]"), QStringLiteral("Sol#m [-12]"), QStringLiteral("C#m [-12]")}},
        {ui->formatValueLabel, {QStringLiteral("MIDI"), QStringLiteral("MP3"), QStringLiteral("MF5")}}};
    for (const auto &[label, texts] : widest) {
        int width = 0;
        for (const QString &text : texts)
            width = qMax(width, metrics.horizontalAdvance(text));
        label->setFixedWidth(width + 2 * label->margin() + 2);
    }
    for (QLabel *name : {ui->titleLabel, ui->authorLabel}) {
        name->setSizePolicy(QSizePolicy::Ignored, name->sizePolicy().verticalPolicy());
        name->setMinimumWidth(metrics.horizontalAdvance(SongTexts::shown(QStringLiteral("<UNKNOWN>"))));
    }
    ui->gridLayout->setColumnStretch(0, 1);
}

int statusBarHead::roomForNames(int characters) const
{
    // As many letters as a name cut short shows, and its ellipsis.
    const QLabel *title = ui->titleLabel;
    const QString shown = QString(characters, QLatin1Char('n')) + QChar(0x2026);
    return qMax(0, title->fontMetrics().horizontalAdvance(shown) + title->contentsMargins().left()
                       + title->contentsMargins().right() - title->minimumWidth());
}

// The header's own minimum for this display is a floor, not a limit: the
// display keeps the room its captions need in the language shown.
void statusBarHead::keepRoom()
{
    if (floorWidth < 0)
        floorWidth = minimumWidth();
    const int needed = qMax(floorWidth, ui->frame->minimumSizeHint().width());
    ui->frame->setMinimumWidth(needed);
    setMinimumWidth(needed);
}

bool statusBarHead::event(QEvent *event)
{
    if (event->type() == QEvent::Polish)
        keepRoom();
    return QWidget::event(event);
}

void statusBarHead::showNames()
{
    const QString artist = outputLost            ? tr("No sound server")
                           : !standingIn.isEmpty() ? standingIn
                                                   : SongTexts::shown(song.artist);
    for (const auto &[label, text] : {std::pair{ui->titleLabel, song.title}, std::pair{ui->authorLabel, artist}}) {
        label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->contentsRect().width()));
        label->setToolTip(label->text() == text ? QString() : text);
    }
    if (outputLost)
        ui->authorLabel->setToolTip(tr("The sound server is gone: the song waits, paused, until it is back"));
}

void statusBarHead::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showNames();
}

statusBarHead::~statusBarHead()
{
    delete ui;
}

void statusBarHead::showSongInfo(const SongInfo &info)
{
    song = info;
    standingIn.clear();
    lastSecondShown = -1;
    showNames();
    ui->timeNumberLabel->setText(QStringLiteral("0:00"));
    showTempo(deltaBpm());
    showKey(deltaKey());
    ui->formatValueLabel->setText(song.format);
}

void statusBarHead::clearSongInfo()
{
    lastSecondShown = -1;
    song.title.clear();
    song.artist.clear();
    for (QLabel *name : {ui->titleLabel, ui->authorLabel})
        name->setToolTip(QString());
    for (QLabel *label : {ui->titleLabel, ui->authorLabel, ui->timeNumberLabel, ui->BPMNumberLabel,
                          ui->barNumberLabel, ui->keyValueLabel, ui->formatValueLabel})
        label->clear();
    if (outputLost || !standingIn.isEmpty())
        showNames();
}

void statusBarHead::showOutputLost(bool lost)
{
    outputLost = lost;
    showNames();
}

void statusBarHead::showOutputStandingIn(const QString &chosen)
{
    standingIn = chosen.isEmpty() ? QString()
                                  : tr("%1 is not connected: the sound goes to the default output").arg(chosen);
    showNames();
}

void statusBarHead::setChordLang(int notation)
{
    chordNotation = notation;
    showKey(deltaKey());
}

void statusBarHead::showSongBpm(int bpm, int delta)
{
    song.bpm = bpm;
    showTempo(delta);
}

void statusBarHead::showDeltaKey(int delta)
{
    showKey(delta);
}

void statusBarHead::followTime(uint milliseconds, uint)
{
    const qint64 seconds = milliseconds / 1000;
    if (seconds == lastSecondShown)
        return;
    ui->timeNumberLabel->setText(elapsedText(seconds));
    lastSecondShown = seconds;
}

void statusBarHead::followBarBeat(uint bar, uint beat)
{
    ui->barNumberLabel->setText(QStringLiteral("%1.%2").arg(qint64(bar) + 1).arg(qint64(beat) + 1));
}

QString statusBarHead::elapsedText(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void statusBarHead::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        // An unknown artist's name has another width in this language.
        fitLabels();
        keepRoom();
        if (layout())
            layout()->activate();
        showNames();
    }
    QWidget::changeEvent(event);
}

void statusBarHead::showTempo(int delta)
{
    // A song without a tempo (an MP3 whose tag has none) shows none.
    if (song.bpm <= 0) {
        ui->BPMNumberLabel->setText(QStringLiteral("--"));
        return;
    }
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
    Extract::TransposeAndTranslateChord(key, delta, chordNotation);
    ui->keyValueLabel->setText(QString::fromLatin1(key) + QStringLiteral(" [") + signedOffset(delta)
                               + QLatin1Char(']'));
}
