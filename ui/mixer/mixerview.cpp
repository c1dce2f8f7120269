#include "mixerview.h"

#include "MidiEdit.h"
#include "tabbablegroup.h"
#include "ui_mixerview.h"

#include <QEvent>
#include <QFormLayout>
#include <QLabel>

namespace {

QPixmap ledPicture(const char *name)
{
    return QPixmap(QString::fromLatin1(name)).scaled(50, 50, Qt::KeepAspectRatio, Qt::FastTransformation);
}

} // namespace

mixerView::mixerView(QWidget *parent, SoundEngine *engine, const Song &song)
    : QWidget(parent), ui(new Ui::mixerView), m_engine(engine), m_song(song), m_ledOn(ledPicture(":/icon2x/led_ON")),
      m_ledOff(ledPicture(":/icon2x/led_OFF"))
{
    // The labels wait hidden under the page until a song places them, so
    // none ever shows at the page's corner.
    for (Strip &s : m_strips) {
        s.name = new QLabel(this);
        s.name->setStyleSheet(QStringLiteral("color:white; width: 80px; font: 10px;"));
        s.name->setProperty("labelInstrPlaying", QStringLiteral("Name"));
        s.name->setContentsMargins(5, 0, 0, 0);
        s.name->hide();
        s.led = new QLabel(this);
        s.led->setProperty("labelInstrPlaying", QStringLiteral("Led"));
        s.led->setStyleSheet(QStringLiteral("margin-top: 3px;"));
        s.led->setPixmap(m_ledOff);
        s.led->setFixedSize(40, 40);
        s.led->hide();
    }
    ui->setupUi(this);
    // The page's own texture, not the window's ground, shows between its
    // two strips.
    setAttribute(Qt::WA_StyledBackground);
    connect(ui->drumsVolume, &QSlider::valueChanged, this, &mixerView::setDrumsVolume);
    connect(ui->bassVolume, &QSlider::valueChanged, this, &mixerView::setBassVolume);
    connect(ui->guitarVolume, &QSlider::valueChanged, this, &mixerView::setGuitarVolume);
    connect(ui->keyboardsVolume, &QSlider::valueChanged, this, &mixerView::setKeyboardsVolume);
    connect(ui->OrchestraVolume, &QSlider::valueChanged, this, &mixerView::setOrchestraVolume);
    connect(ui->windsVolume, &QSlider::valueChanged, this, &mixerView::setWindsVolume);
    connect(ui->soloButtonDrums, &QPushButton::clicked, this, &mixerView::soloDrums);
    connect(ui->soloButtonBass, &QPushButton::clicked, this, &mixerView::soloBass);
    connect(ui->soloButtonGuitar, &QPushButton::clicked, this, &mixerView::soloGuitar);
    connect(ui->soloButtonKeyboards, &QPushButton::clicked, this, &mixerView::soloKeyboards);
    connect(ui->soloButtonOrchestra, &QPushButton::clicked, this, &mixerView::soloOrchestra);
    connect(ui->soloButtonWinds, &QPushButton::clicked, this, &mixerView::soloWinds);
    connect(ui->muteButtonDrums, &QPushButton::clicked, this, &mixerView::muteDrums);
    connect(ui->muteButtonBass, &QPushButton::clicked, this, &mixerView::muteBass);
    connect(ui->muteButtonGuitar, &QPushButton::clicked, this, &mixerView::muteGuitar);
    connect(ui->muteButtonKeyboards, &QPushButton::clicked, this, &mixerView::muteKeyboards);
    connect(ui->muteButtonOrchestra, &QPushButton::clicked, this, &mixerView::muteOrchestra);
    connect(ui->muteButtonWinds, &QPushButton::clicked, this, &mixerView::muteWinds);
    m_groups = {{{ui->drumsVolume, ui->soloButtonDrums, ui->muteButtonDrums, ui->frameDrums},
                 {ui->bassVolume, ui->soloButtonBass, ui->muteButtonBass, ui->frameBass},
                 {ui->guitarVolume, ui->soloButtonGuitar, ui->muteButtonGuitar, ui->frameGuitar},
                 {ui->keyboardsVolume, ui->soloButtonKeyboards, ui->muteButtonKeyboards, ui->frameKeyboards},
                 {ui->OrchestraVolume, ui->soloButtonOrchestra, ui->muteButtonOrchestra, ui->frameOrchestra},
                 {ui->windsVolume, ui->soloButtonWinds, ui->muteButtonWinds, ui->frameWinds}}};
    for (Group &g : m_groups)
        g.fader->setValue(127);
    for (QButtonGroup *pair : {ui->buttonGroup0, ui->buttonGroup1, ui->buttonGroup2, ui->buttonGroup3,
                               ui->buttonGroup4, ui->buttonGroup5})
        TabbableGroup::keepEveryButton(pair);
    nameButtons();
    showDetails(false);
    connect(engine, &SoundEngine::isPlayingTrack, this, &mixerView::isPlaying);
    connect(&m_song, &Song::loadSongChange, this, &mixerView::on_loadSongChange);
    connect(engine, &SoundEngine::trackStopped, this, &mixerView::resetLeds);
    connect(engine, &SoundEngine::refreshInstr, this, &mixerView::refreshInstruments);
}

void mixerView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        nameButtons();
    }
    QWidget::changeEvent(event);
}

// The solo and mute buttons show pictures only: their tooltips and names
// say which group they act on.
void mixerView::nameButtons()
{
    const QLabel *names[] = {ui->titlegroupBoxDrums, ui->titlegroupBox_2Bass, ui->titlegroupBox_3Guitar,
                             ui->titlegroupBox_4Keyb, ui->titlegroupBox_5Orch, ui->titlegroupBox_6Winds};
    for (int g = 0; g < int(m_groups.size()); ++g) {
        const QString group = names[g]->text();
        const QString solo = tr("Play %1 alone").arg(group);
        const QString mute = tr("Mute %1").arg(group);
        m_groups[g].solo->setToolTip(solo);
        m_groups[g].solo->setAccessibleName(solo);
        m_groups[g].mute->setToolTip(mute);
        m_groups[g].mute->setAccessibleName(mute);
        m_groups[g].frame->setAccessibleName(tr("%1 channels").arg(group));
    }
}

mixerView::~mixerView()
{
    delete ui;
}

bool mixerView::isLit(int channel) const
{
    return channel >= 1 && channel <= NUM_SLOTS && m_strips[channel - 1].lit;
}

QFrame *mixerView::frameOf(int channel) const
{
    return channel >= 1 && channel <= NUM_SLOTS ? m_strips[channel - 1].frame : nullptr;
}

void mixerView::showDetails(bool show)
{
    for (Group &g : m_groups)
        g.frame->setVisible(show);
    // Without its rows the strip under the faders is an empty band.
    ui->frame2->setVisible(show);
}

void mixerView::ledOn(Strip &s)
{
    if (!s.lit) {
        s.lit = true;
        s.led->setPixmap(m_ledOn);
    }
}

void mixerView::ledOff(Strip &s)
{
    if (s.lit) {
        s.lit = false;
        s.led->setPixmap(m_ledOff);
    }
}

void mixerView::isPlaying(int channel, int on)
{
    if (channel < 1 || channel > NUM_SLOTS)
        return;
    Strip &s = m_strips[channel - 1];
    if (on)
        ledOn(s);
    else
        ledOff(s);
}

void mixerView::resetLeds()
{
    for (Strip &s : m_strips)
        ledOff(s);
}

void mixerView::on_loadSongChange(Song::LoadSongState state)
{
    if (state == Song::eLsUnloaded)
        resetFrames();
}

void mixerView::resetFrames()
{
    for (Group &g : m_groups) {
        auto *form = static_cast<QFormLayout *>(g.frame->layout());
        while (form->rowCount() > 0) {
            const QFormLayout::TakeRowResult row = form->takeRow(form->rowCount() - 1);
            delete row.labelItem;
            delete row.fieldItem;
        }
    }
    for (Strip &s : m_strips) {
        s.frame = nullptr;
        for (QLabel *l : {s.led, s.name}) {
            l->hide();
            l->setParent(this);
        }
    }
}

void mixerView::refreshInstruments()
{
    resetFrames();
    if (!m_song.isLoaded() || m_song.baseType() != SONG_FORMAT_MIDI)
        return;
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const MIDI_SETTING_DATA &data = m_engine->midiEdit()->editedData();
    for (int c = 0; c < NUM_SLOTS; ++c) {
        const MidiEditTrack &t = data.tracks[c][0];
        const bool drum = t.flags & DB_FLAG_DRUM;
        const char *name = getInstrumentOrDrumKitName(tables, t.program, t.bank, t.insertId, drum);
        if (qstrcmp(name, NO_INSTRUMENT_NAME) == 0 || m_song.db().layers[c][0].program == NO_PROGRAM)
            continue;
        Strip &s = m_strips[c];
        s.name->setText(QString::fromLatin1(name));
        s.frame = m_groups[drum ? int(SoundEngine::eSlDrums) : int(sliderGroupInstrMap[t.program & 0x7F])].frame;
        static_cast<QFormLayout *>(s.frame->layout())->addRow(s.led, s.name);
        s.led->show();
        s.name->show();
    }
}

void mixerView::setVolume(SoundEngine::eSliders g, int volume)
{
    m_engine->setSlidersVol(g, volume);
}

void mixerView::mute(SoundEngine::eSliders g)
{
    Group &group = m_groups[g];
    group.solo->setChecked(false);
    setVolume(g, group.mute->isChecked() ? 0 : group.fader->value());
}

void mixerView::solo(SoundEngine::eSliders g)
{
    Group &group = m_groups[g];
    group.mute->setChecked(false);
    if (!group.solo->isChecked()) {
        setVolume(g, group.fader->value());
        restoreVolumes();
    } else {
        handleMuteSolo(g, 2);
    }
}

void mixerView::handleMuteSolo(SoundEngine::eSliders g, int mode)
{
    if (mode == 1) {
        setVolume(g, 0);
        return;
    }
    setVolume(g, m_groups[g].fader->value());
    if (mode != 2)
        return;
    for (int h = SoundEngine::eSlDrums; h <= SoundEngine::eSlWinds; ++h) {
        if (h == g)
            continue;
        m_groups[h].mute->setChecked(true);
        m_groups[h].solo->setChecked(false);
        setVolume(SoundEngine::eSliders(h), 0);
    }
}

void mixerView::restoreVolumes()
{
    for (SoundEngine::eSliders g : {SoundEngine::eSlBass, SoundEngine::eSlDrums, SoundEngine::eSlGuitars,
                                    SoundEngine::eSlKeyboards, SoundEngine::eSlOrchestra, SoundEngine::eSlWinds}) {
        m_groups[g].mute->setChecked(false);
        setVolume(g, m_groups[g].fader->value());
    }
}

// A muted group's fader is still heard at once: the fader always wins.
void mixerView::setDrumsVolume(int value) { setVolume(SoundEngine::eSlDrums, value); }
void mixerView::setBassVolume(int value) { setVolume(SoundEngine::eSlBass, value); }
void mixerView::setGuitarVolume(int value) { setVolume(SoundEngine::eSlGuitars, value); }
void mixerView::setKeyboardsVolume(int value) { setVolume(SoundEngine::eSlKeyboards, value); }
void mixerView::setOrchestraVolume(int value) { setVolume(SoundEngine::eSlOrchestra, value); }
void mixerView::setWindsVolume(int value) { setVolume(SoundEngine::eSlWinds, value); }
void mixerView::soloDrums() { solo(SoundEngine::eSlDrums); }
void mixerView::soloBass() { solo(SoundEngine::eSlBass); }
void mixerView::soloGuitar() { solo(SoundEngine::eSlGuitars); }
void mixerView::soloKeyboards() { solo(SoundEngine::eSlKeyboards); }
void mixerView::soloOrchestra() { solo(SoundEngine::eSlOrchestra); }
void mixerView::soloWinds() { solo(SoundEngine::eSlWinds); }
void mixerView::muteDrums() { mute(SoundEngine::eSlDrums); }
void mixerView::muteBass() { mute(SoundEngine::eSlBass); }
void mixerView::muteGuitar() { mute(SoundEngine::eSlGuitars); }
void mixerView::muteKeyboards() { mute(SoundEngine::eSlKeyboards); }
void mixerView::muteOrchestra() { mute(SoundEngine::eSlOrchestra); }
void mixerView::muteWinds() { mute(SoundEngine::eSlWinds); }
