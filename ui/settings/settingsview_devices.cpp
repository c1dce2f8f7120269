// The MIDI output and the audio device of the settings page: reconnecting
// the ones chosen last at start-up, with fallbacks, and the user's choice.
#include "settingsview.h"

#include "devicesource.h"
#include "ui_settingsview.h"

#include <QDebug>

namespace {

const QString kSoundCardName = QStringLiteral("SoundCard/Name");
const QString kAudioDeviceName = QStringLiteral("AudioDevice/Name");
const QString kSynthesizer = QStringLiteral("Timbra MIDI Module");

} // namespace

void SettingsView::connectFallback(QComboBox *combo, const QList<int> &rows,
                                   const std::function<bool(int)> &connectRow, const QString &failure)
{
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
    const QString stored = settings.value(kSoundCardName).toString();
    QComboBox *combo = ui->comboSoundCard;
    combo->clear();
    const QMap<QString, int> cards = devices->listSoundCards();
    int selected = -1;
    int failed = -1;
    for (auto it = cards.cbegin(); it != cards.cend(); ++it) {
        const int row = combo->count();
        if (it.key() == stored) {
            if (devices->connectToSoundCardByIdx(it.value())) {
                qDebug().noquote() << "Mi sono collegato a : " << it.key() << it.value();
                selected = row;
            } else {
                qDebug() << "Non ho potuto collegarmi alla scheda salvata.";
                failed = row;
            }
        }
        combo->addItem(it.key(), it.value());
    }
    if (selected >= 0) {
        combo->setCurrentIndex(selected);
        return;
    }
    // The synthesizer before any port: the port first by name can be a
    // virtual one that makes no sound.
    QList<int> rows;
    const int synth = combo->findText(kSynthesizer);
    if (synth >= 0)
        rows << synth;
    if (combo->count() > 0 && synth != 0)
        rows << 0;
    rows.removeAll(failed);
    connectFallback(
        combo, rows, [&](int row) { return devices->connectToSoundCardByIdx(combo->itemData(row).toInt()); },
        tr("Cannot connect to the MIDI Device") + QLatin1Char('\n') +
            tr("It may be in use from another software, close the software and connect the device from the "
               "Options menu"));
}

void SettingsView::connectAudioDevice()
{
    const QString stored = settings.value(kAudioDeviceName).toString();
    QComboBox *combo = ui->comboAudioDevices;
    combo->clear();
    const QMap<int, QString> list = devices->listAudioDevices();
    int selected = -1;
    int failed = -1;
    for (auto it = list.cbegin(); it != list.cend(); ++it) {
        const int row = combo->count();
        if (it.value() == stored) {
            if (devices->connectAudioDeviceById(it.key(), it.value())) {
                qDebug().noquote() << "Mi sono collegato a : " << it.value() << it.key();
                selected = row;
            } else {
                qDebug() << "Non ho potuto collegarmi alla scheda salvata.";
                failed = row;
            }
        }
        combo->addItem(it.value(), it.key());
    }
    if (selected >= 0) {
        combo->setCurrentIndex(selected);
        return;
    }
    if (list.isEmpty()) {
        qDebug() << "Nessun dispositivo audio, non posso connettere nulla";
        warn(tr("It seems you've no audio device in your PC, please plug a device and retry"));
        combo->setCurrentIndex(-1);
        return;
    }
    const int defaultRow = combo->findData(devices->getDefaultOutputAudioDevice());
    QList<int> rows{defaultRow >= 0 ? defaultRow : 0};
    rows.removeAll(failed);
    connectFallback(
        combo, rows,
        [&](int row) { return devices->connectAudioDeviceById(combo->itemData(row).toInt(), combo->itemText(row)); },
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

void SettingsView::refreshDeviceList()
{
    ui->comboSoundCard->clear();
    qDebug() << "MIDI";
    const QMap<QString, int> cards = devices->listSoundCards();
    for (auto it = cards.cbegin(); it != cards.cend(); ++it) {
        qDebug().noquote() << it.key() << it.value();
        ui->comboSoundCard->addItem(it.key(), it.value());
    }
    ui->comboAudioDevices->clear();
    qDebug() << "Audio";
    const QMap<int, QString> list = devices->listAudioDevices();
    for (auto it = list.cbegin(); it != list.cend(); ++it) {
        qDebug().noquote() << it.key() << it.value();
        ui->comboAudioDevices->addItem(it.value(), it.key());
    }
    ui->comboSoundCard->setCurrentIndex(-1);
    ui->comboAudioDevices->setCurrentIndex(-1);
}
