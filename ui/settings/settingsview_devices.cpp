// The MIDI output and the audio device of the settings page: reconnecting
// the ones chosen last at start-up, with fallbacks, and the user's choice.
#include "settingsview.h"

#include "ThreadPriority.h"
#include "devicesource.h"
#include "ui_settingsview.h"

#include <QDebug>
#include <QLabel>

namespace {

const QString kSoundCardName = QStringLiteral("SoundCard/Name");
const QString kAudioDeviceName = QStringLiteral("AudioDevice/Name");
const QString kSynthesizer = QStringLiteral("Timbra MIDI Module");

using DeviceList = QList<QPair<QString, int>>;

DeviceList midiOutputs(DeviceSource &devices)
{
    DeviceList list;
    const QMap<QString, int> cards = devices.listSoundCards();
    for (auto it = cards.cbegin(); it != cards.cend(); ++it)
        list.append({it.key(), it.value()});
    return list;
}

DeviceList audioDevices(DeviceSource &devices)
{
    DeviceList list;
    const QMap<int, QString> found = devices.listAudioDevices();
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        list.append({it.value(), it.key()});
    return list;
}

} // namespace

int SettingsView::connectStored(QComboBox *combo, const QList<QPair<QString, int>> &list, const QString &stored,
                                const std::function<bool(int)> &connectRow, int *failed)
{
    combo->clear();
    int selected = -1;
    for (const auto &[name, id] : list) {
        const int row = combo->count();
        combo->addItem(name, id);
        if (name != stored)
            continue;
        if (connectRow(row)) {
            qDebug().noquote() << "Mi sono collegato a : " << name << id;
            selected = row;
        } else {
            qDebug() << "Non ho potuto collegarmi alla scheda salvata.";
            *failed = row;
        }
    }
    combo->setCurrentIndex(selected);
    return selected;
}

void SettingsView::connectFallback(QComboBox *combo, QList<int> rows, int failed,
                                   const std::function<bool(int)> &connectRow, const QString &failure)
{
    rows.removeAll(failed);
    for (int row : rows) {
        qDebug().noquote() << "SettingsView::loadSettings >> Non ho trovato la porta di default: Uso "
                           << combo->itemText(row);
        if (connectRow(row)) {
            combo->setCurrentIndex(row);
            return;
        }
    }
    warn(failure);
    qDebug() << "Anche la porta di default non funziona, notifico l'utente";
    combo->setCurrentIndex(-1);
}

void SettingsView::connectSoundCard()
{
    QComboBox *combo = ui->comboSoundCard;
    const auto connectRow = [&](int row) { return devices->connectToSoundCardByIdx(combo->itemData(row).toInt()); };
    int failed = -1;
    if (connectStored(combo, midiOutputs(*devices), settings.value(kSoundCardName).toString(), connectRow, &failed) >= 0)
        return;
    // The synthesizer before any port: the port first by name can be a
    // virtual one that makes no sound.
    QList<int> rows;
    const int synth = combo->findText(kSynthesizer);
    if (synth >= 0)
        rows << synth;
    if (combo->count() > 0 && synth != 0)
        rows << 0;
    connectFallback(combo, rows, failed, connectRow,
                    tr("Cannot connect to the MIDI Device") + QLatin1Char('\n') +
                        tr("It may be in use from another software, close the software and connect the device "
                           "from the Options menu"));
}

void SettingsView::connectAudioDevice()
{
    QComboBox *combo = ui->comboAudioDevices;
    const auto connectRow = [&](int row) {
        return devices->connectAudioDeviceById(combo->itemData(row).toInt(), combo->itemText(row));
    };
    const DeviceList list = audioDevices(*devices);
    // The box itself says why it is empty, long after the warning is gone.
    combo->setPlaceholderText(list.isEmpty() ? tr("No audio device") : QString());
    int failed = -1;
    if (connectStored(combo, list, settings.value(kAudioDeviceName).toString(), connectRow, &failed) >= 0)
        return;
    if (list.isEmpty()) {
        qDebug() << "Nessun dispositivo audio, non posso connettere nulla";
        warn(tr("It seems you've no audio device in your PC, please plug a device and retry"));
        return;
    }
    const int defaultRow = combo->findData(devices->getDefaultOutputAudioDevice());
    connectFallback(combo, {defaultRow >= 0 ? defaultRow : 0}, failed, connectRow,
                    tr("Cannot connect to the audio device"));
}

void SettingsView::on_comboSoundCard_activated(int)
{
    QComboBox *combo = ui->comboSoundCard;
    if (devices->getIsMidiPortConnected()) {
        if (devices->isPlaying()) {
            warn(tr("Cannot disconnect the device while playing"));
            return;
        }
        qDebug() << "Disconnesso dalle porte ";
        devices->closeMidiPort();
        settings.remove(QStringLiteral("SoundCard"));
    }
    if (combo->currentText().isEmpty()) {
        warn(tr("Please select the device"));
        return;
    }
    if (!devices->connectToSoundCardByIdx(combo->currentData().toInt())) {
        warn(tr("Cannot connect to the MIDI Device"));
        return;
    }
    settings.setValue(kSoundCardName, combo->currentText());
}

void SettingsView::on_comboAudioDevices_activated(int)
{
    QComboBox *combo = ui->comboAudioDevices;
    if (devices->isPlaying()) {
        warn(tr("Cannot disconnect the device while playing"));
        return;
    }
    if (combo->currentText().isEmpty()) {
        warn(tr("Please select the device"));
        return;
    }
    if (devices->connectAudioDeviceById(combo->currentData().toInt(), combo->currentText()))
        settings.setValue(kAudioDeviceName, combo->currentText());
    else
        warn(tr("Cannot connect to the audio Device"));
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
    scheduling->setText(refused ? tr("No real-time priority: the music keeps time with a little more delay")
                                : tr("Real-time priority: granted"));
    scheduling->setToolTip(QString::fromStdString(ThreadPriority::report()));
}

void SettingsView::refreshDeviceList()
{
    const std::pair<QComboBox *, DeviceList> lists[] = {{ui->comboSoundCard, midiOutputs(*devices)},
                                                        {ui->comboAudioDevices, audioDevices(*devices)}};
    for (const auto &[combo, list] : lists) {
        qDebug() << (combo == ui->comboSoundCard ? "MIDI" : "Audio");
        combo->clear();
        for (const auto &[name, id] : list) {
            qDebug().noquote() << name << id;
            combo->addItem(name, id);
        }
        combo->setCurrentIndex(-1);
    }
}
