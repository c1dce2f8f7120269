// The MIDI output and the audio device of the settings page: reconnecting
// the ones chosen last at start-up, with fallbacks, and the user's choice.
//
// Devices are remembered by name. Outputs of one name are offered once: the
// audio library lists two sound-server outputs of one description as one
// device, so a choice between them could not be kept (the sound goes to the
// server's default where it is one of them, see PulseTwins). Start-up warnings wait
// their turn and go away once their road has connected after all; one names
// a device chosen last that did not open, once.
#include "settingsview.h"

#include "SoundEngine.h"
#include "ThreadPriority.h"
#include "devicesource.h"
#include "ui_settingsview.h"

#include <QDebug>
#include <QDir>
#include <QLabel>
#include <QMessageBox>

namespace {

const QString kSoundCardName = QStringLiteral("SoundCard/Name");
const QString kAudioDeviceName = QStringLiteral("AudioDevice/Name");
// Written by earlier versions beside the name; no longer meant anything.
const QString kAudioDeviceOccurrence = QStringLiteral("AudioDevice/Occurrence");
const QString kSynthesizer = QStringLiteral("Timbra MIDI Module");

struct DeviceRow {
    QString name;
    int id;
};
using DeviceList = QList<DeviceRow>;

DeviceList midiOutputs(DeviceSource &devices)
{
    DeviceList list;
    const QMap<QString, int> cards = devices.listSoundCards();
    for (auto it = cards.cbegin(); it != cards.cend(); ++it)
        list.append({it.key(), it.value()});
    return list;
}

// Each name once, the first device of that name.
DeviceList audioDevices(DeviceSource &devices)
{
    DeviceList list;
    const QMap<int, QString> found = devices.listAudioDevices();
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (std::none_of(list.cbegin(), list.cend(), [&](const DeviceRow &d) { return d.name == it.value(); }))
            list.append({it.value(), it.key()});
    }
    return list;
}

void fillCombo(QComboBox *combo, const DeviceList &list)
{
    combo->clear();
    for (const DeviceRow &d : list)
        combo->addItem(d.name, d.id);
}

} // namespace

QString SettingsView::midiFailure(const QStringList &tried, const QString &audioDevice, const QString &soundBank)
{
    // The synthesizer failed for want of its audio device or its sound bank:
    // that is what to say.
    if (!audioDevice.isEmpty())
        return audioFailure(audioDevice);
    if (!soundBank.isEmpty())
        return tr("The sound bank of the software synthesizer is missing or cannot be read: %1")
            .arg(QDir::toNativeSeparators(soundBank));
    const QString names = tried.isEmpty() ? QString() : QStringLiteral(": ") + tried.join(QStringLiteral(", "));
    return tr("Cannot connect to the MIDI Device") + names + QLatin1Char('\n') +
           tr("It may be in use from another software, close the software and connect the device from the Options "
              "menu");
}

QString SettingsView::audioFailure(const QString &name)
{
    return tr("Cannot connect to the audio device") + QStringLiteral(": ") + name;
}

int SettingsView::connectStored(QComboBox *combo, const QString &stored, const std::function<bool(int)> &connectRow,
                                int *failed)
{
    for (int row = 0; row < combo->count(); ++row) {
        if (combo->itemText(row) != stored)
            continue;
        if (connectRow(row)) {
            qDebug().noquote() << "Stored device connected:" << stored << combo->itemData(row).toInt();
            combo->setCurrentIndex(row);
            return row;
        }
        qDebug() << "The stored device does not connect";
        *failed = row;
    }
    combo->setCurrentIndex(-1);
    return -1;
}

bool SettingsView::connectFallback(QComboBox *combo, QList<int> rows, int failed,
                                   const std::function<bool(int)> &connectRow)
{
    rows.removeAll(failed);
    for (int row : rows) {
        qDebug().noquote() << "SettingsView: the stored device is not there, trying"
                           << combo->itemText(row);
        if (connectRow(row)) {
            combo->setCurrentIndex(row);
            return true;
        }
    }
    qDebug() << "SettingsView: no device connects, the user is told";
    combo->setCurrentIndex(-1);
    return false;
}

void SettingsView::connectSoundCard()
{
    QComboBox *combo = ui->comboSoundCard;
    QStringList tried;
    QString audioDevice, soundBank;
    const auto connectRow = [&](int row) {
        tried << combo->itemText(row);
        const bool ok = devices->connectToSoundCardByIdx(combo->itemData(row).toInt());
        if (!ok && audioDevice.isEmpty())
            audioDevice = devices->failedAudioDevice();
        if (!ok && soundBank.isEmpty())
            soundBank = devices->failedSoundBank();
        return ok;
    };
    fillCombo(combo, midiOutputs(*devices));
    m_missingSoundBank.clear();
    int failed = -1;
    const QString stored = settings().value(kSoundCardName).toString();
    if (connectStored(combo, stored, connectRow, &failed) >= 0) {
        withdrawWarning(MidiRoad);
        return;
    }
    const bool outputFailed = audioDevice.isEmpty() && soundBank.isEmpty();
    const QString storedFailure = midiFailure({stored}, audioDevice, soundBank);
    // The synthesizer before any port: the port first by name can be a
    // virtual one that makes no sound.
    QList<int> rows;
    const int synth = combo->findText(kSynthesizer);
    if (synth >= 0)
        rows << synth;
    if (combo->count() > 0 && synth != 0)
        rows << 0;
    if (connectFallback(combo, rows, failed, connectRow)) {
        withdrawWarning(MidiRoad);
        // The output chosen last is there but did not open: said once, not
        // stored, so that it is taken again once it opens.
        if (failed >= 0)
            tell(MidiRoad, outputFailed
                               ? tr("The MIDI output %1 could not be opened: MIDI songs play on %2.")
                                     .arg(stored, combo->currentText())
                               : storedFailure + QLatin1Char('\n')
                                     + tr("MIDI songs play on %1.").arg(combo->currentText()));
    } else if (!soundBank.isEmpty()) {
        // Said by the main window, which offers the bank's download.
        m_missingSoundBank = soundBank;
    } else {
        tell(MidiRoad, midiFailure(tried, audioDevice, soundBank));
    }
}

void SettingsView::connectAudioDevice()
{
    QComboBox *combo = ui->comboAudioDevices;
    const auto connectRow = [&](int row) {
        return devices->connectAudioDeviceById(combo->itemData(row).toInt(), combo->itemText(row));
    };
    const DeviceList list = audioDevices(*devices);
    fillCombo(combo, list);
    // The box itself says why it is empty, long after the warning is gone.
    showNoAudioDevice();
    const QString stored = settings().value(kAudioDeviceName).toString();
    int failed = -1;
    if (connectStored(combo, stored, connectRow, &failed) >= 0) {
        audioConnected();
        return;
    }
    if (list.isEmpty()) {
        qDebug() << "No audio device to connect";
        tell(AudioRoad, tr("It seems you've no audio device in your PC, please plug a device and retry"));
        return;
    }
    const int defaultRow = combo->findData(devices->getDefaultOutputAudioDevice());
    const int row = defaultRow >= 0 ? defaultRow : 0;
    if (!connectFallback(combo, {row}, failed, connectRow)) {
        QStringList names{combo->itemText(row)};
        if (failed >= 0 && failed != row)
            names.prepend(combo->itemText(failed));
        tell(AudioRoad, audioFailure(names.join(QStringLiteral(", "))));
        return;
    }
    audioConnected();
    // The device chosen last is gone (unplugged), or there but did not open:
    // said once, not stored, so that it is taken again once it is back.
    if (!stored.isEmpty() && failed < 0)
        tell(AudioRoad, tr("The audio device %1 is not connected: the sound goes to %2.")
                            .arg(stored, combo->currentText()));
    else if (failed >= 0)
        tell(AudioRoad, tr("The audio device %1 could not be opened: the sound goes to %2.")
                            .arg(stored, combo->currentText()));
}

void SettingsView::connectAudioDeviceWhenThere()
{
    const QString stored = settings().value(kAudioDeviceName).toString();
    if (!stored.isEmpty())
        devices->connectAudioDeviceById(-1, stored);
}

void SettingsView::fillEmptyAudioBox()
{
    QComboBox *combo = ui->comboAudioDevices;
    if (combo->count() > 0)
        return;
    fillCombo(combo, audioDevices(*devices));
    const QString stored = settings().value(kAudioDeviceName).toString();
    combo->setCurrentIndex(stored.isEmpty() ? combo->findData(devices->getDefaultOutputAudioDevice())
                                            : combo->findText(stored));
    showNoAudioDevice();
}

void SettingsView::audioConnected()
{
    withdrawWarning(AudioRoad);
    // The synthesizer moved along, and opened there if it could not before.
    if (!devices->getIsMidiPortConnected())
        return;
    withdrawWarning(MidiRoad);
    const int row = ui->comboSoundCard->findData(devices->midiOutputIndex());
    if (row >= 0)
        ui->comboSoundCard->setCurrentIndex(row);
}

void SettingsView::chooseMidiOutput(int)
{
    QComboBox *combo = ui->comboSoundCard;
    if (devices->getIsMidiPortConnected()) {
        if (devices->isPlaying()) {
            warn(tr("Cannot disconnect the device while playing"));
            return;
        }
        qDebug() << "Disconnected from the MIDI ports";
        devices->closeMidiPort();
        settings().remove(QStringLiteral("SoundCard"));
    }
    if (combo->currentText().isEmpty()) {
        warn(tr("Please select the device"));
        return;
    }
    if (!devices->connectToSoundCardByIdx(combo->currentData().toInt())) {
        warn(midiFailure({combo->currentText()}, devices->failedAudioDevice(), devices->failedSoundBank())
                 .section(QLatin1Char('\n'), 0, 0));
        return;
    }
    withdrawWarning(MidiRoad);
    settings().setValue(kSoundCardName, combo->currentText());
}

void SettingsView::chooseAudioDevice(int)
{
    QComboBox *combo = ui->comboAudioDevices;
    if (devices->isPlaying()) {
        warn(tr("Cannot disconnect the device while playing"));
        return;
    }
    const int row = combo->currentIndex();
    if (combo->currentText().isEmpty()) {
        warn(tr("Please select the device"));
        return;
    }
    if (!devices->connectAudioDeviceById(combo->currentData().toInt(), combo->itemText(row))) {
        warn(tr("Cannot connect to the audio Device") + QStringLiteral(": ") + combo->currentText());
        return;
    }
    settings().setValue(kAudioDeviceName, combo->itemText(row));
    settings().remove(kAudioDeviceOccurrence);
    audioConnected();
}

// The box itself says why it is empty, long after the warning is gone.
void SettingsView::showNoAudioDevice()
{
    QComboBox *combo = ui->comboAudioDevices;
    combo->setPlaceholderText(combo->count() == 0 ? tr("No audio device") : QString());
}

// The outputs change between songs: a song playing or paused holds notes on
// the output in use, so the boxes wait until it stops (Stop, or its end) and
// say so; a song loaded and stopped follows to the output chosen.
void SettingsView::followPlayState(SoundEngine::PlayingState state)
{
    const bool free = state != SoundEngine::ePsPlaying && state != SoundEngine::ePsPaused;
    ui->comboSoundCard->setEnabled(free);
    ui->comboAudioDevices->setEnabled(free);
    outputsNote(outputsWait, "outputsWait", tr("Press Stop to change the outputs."))->setVisible(!free);
}

void SettingsView::followOutputLost(bool lost)
{
    outputsNote(outputsAway, "outputsAway", tr("No sound server: the outputs chosen are used once it is back."))
        ->setVisible(lost);
}

QLabel *SettingsView::outputsNote(QLabel *&note, const char *name, const QString &text)
{
    if (!note) {
        note = new QLabel(this);
        note->setObjectName(QLatin1String(name));
        note->setWordWrap(true);
        note->setText(text);
        ui->groupDevicesLayout->insertRow(2, note);
    }
    return note;
}

void SettingsView::retranslateDevices()
{
    if (outputsWait)
        outputsWait->setText(tr("Press Stop to change the outputs."));
    if (outputsAway)
        outputsAway->setText(tr("No sound server: the outputs chosen are used once it is back."));
    if (!ui->comboAudioDevices->placeholderText().isEmpty())
        showNoAudioDevice();
    if (scheduling)
        showScheduling();
}

void SettingsView::showScheduling()
{
    const bool refused = ThreadPriority::refused();
    if (!refused && ThreadPriority::grant(ThreadPriority::Role::Sequencer) != ThreadPriority::Grant::Granted)
        return;
    if (!scheduling) {
        scheduling = new QLabel(this);
        scheduling->setWordWrap(true);
        ui->groupDevicesLayout->addRow(scheduling);
    }
    // No figure: what a click costs depends on the window and the machine
    // as much as on the synthesizer, and a figure it cannot stand by would
    // mislead.
    if (!refused)
        scheduling->setText(tr("Real-time priority: granted"));
    else
        scheduling->setText(tr("No real-time priority: the music keeps time with a little more delay"));
    // Per thread what it got, in the user's language (the log keeps report()).
    const QString names[ThreadPriority::kRoles] = {tr("sequencer"), tr("synthesizer audio"), tr("song player audio")};
    QStringList threads;
    for (int r = 0; r < ThreadPriority::kRoles; ++r) {
        const ThreadPriority::Grant g = ThreadPriority::grant(ThreadPriority::Role(r));
        if (g != ThreadPriority::Grant::NotAsked)
            threads << tr("%1: %2").arg(names[r], g == ThreadPriority::Grant::Granted ? tr("real-time priority")
                                                                                     : tr("normal priority"));
    }
    scheduling->setToolTip(threads.join(QStringLiteral(", ")));
}

void SettingsView::refreshDeviceList()
{
    const std::pair<QComboBox *, DeviceList> lists[] = {{ui->comboSoundCard, midiOutputs(*devices)},
                                                        {ui->comboAudioDevices, audioDevices(*devices)}};
    for (const auto &[combo, list] : lists) {
        qDebug() << (combo == ui->comboSoundCard ? "MIDI" : "Audio");
        fillCombo(combo, list);
        for (const DeviceRow &d : list)
            qDebug().noquote() << d.name << d.id;
        combo->setCurrentIndex(-1);
    }
}

// ---- start-up warnings

void SettingsView::tell(Road road, const QString &text)
{
    const bool known = (m_shownWarning && m_shownText == text)
                       || std::any_of(m_pendingWarnings.cbegin(), m_pendingWarnings.cend(),
                                      [&](const auto &p) { return p.second == text; });
    if (!known)
        m_pendingWarnings.append({road, text});
    showNextWarning();
}

void SettingsView::withdrawWarning(Road road)
{
    m_pendingWarnings.removeIf([road](const auto &p) { return p.first == road; });
    if (m_shownWarning && m_shownRoad == road)
        m_shownWarning->close();
}

bool SettingsView::isWarning() const
{
    return m_shownWarning || !m_pendingWarnings.isEmpty();
}

void SettingsView::showNextWarning()
{
    while (!m_shownWarning && !m_pendingWarnings.isEmpty()) {
        const auto [road, text] = m_pendingWarnings.takeFirst();
        QWidget *box = warn(text);
        if (!box)
            continue;
        m_shownWarning = box;
        m_shownRoad = road;
        m_shownText = text;
        // Queued: the box is gone by then, also when it went by close().
        connect(box, &QObject::destroyed, this, &SettingsView::showNextWarning, Qt::QueuedConnection);
    }
    if (!isWarning())
        emit warningsDone();
}
