// The Options page: language, double-click action, MIDI output and audio
// device, chord notation, fast run, the karaoke looks, the lyric time
// offset, and a key shift and tempo change for the song in play that are
// never saved into its file.
//
// Every choice is written to the program's settings (`appSettings`) the
// moment it is made and read back once, when the page is built. The page
// reports through its signals, which the window that holds it connects.
//
// The MIDI output and the audio device are connected by connectAudioDevice()
// and then connectSoundCard(), which the main window calls once it is shown:
// the audio device chosen last (by name), else the system's default output,
// else the first one; the MIDI output chosen last (by name), else the
// software synthesizer, else the first MIDI output. Devices are listed by
// name, each name once: outputs that share one cannot be told apart. Their
// start-up warnings come one at a time (isWarning, warningsDone) and go once
// their device has connected after all; a synthesizer without its sound bank
// is left to the main window, which offers the bank (missingSoundBank).
//
// GUI thread only.
#pragma once

#include "appsettings.h"

#include <QPointer>
#include <QSettings>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

#include "Song.h"
#include "SoundEngine.h"

class DeviceSource;
class SoundEngine;
class QComboBox;
class QLabel;
class QShowEvent;

namespace Ui {
class SettingsView;
}

class SettingsView : public QWidget
{
    Q_OBJECT

public:
    SettingsView(QWidget *parent, SoundEngine *engine);
    // The devices come from `devices` instead of the engine.
    SettingsView(QWidget *parent, SoundEngine *engine, std::unique_ptr<DeviceSource> devices);
    ~SettingsView() override;

    void loadSettings();

    // Read once by the main window to set up the karaoke and chord views.
    int getChordMode() const { return chordMode; }
    // Empty for an index outside the list.
    QString getFont() const;
    int getFontSize() const { return fontPixelSize; }
    // Centred (0x84), left (0x81), or 0 for an unknown index.
    Qt::Alignment getTextAlign() const;
    QString getKarBackImage() const;
    // Only with a stored image path.
    bool isKarBackImageEnabled() const;
    // "#000000" for a stored index outside the list.
    QString getKarBackColor() const;
    QString getKarTextColor() const;
    QString getKarHlColor() const;
    int getLyricsTimeOffset() const;
    // 0: a double-clicked song starts playing; otherwise it is only loaded.
    int getPlayAction() const;

    void setFstRun(bool on);
    bool getFstRun() const { return fastRun; }
    void setChordMode(int mode) { chordMode = mode; }
    void setFont(int index) { fontIndex = index; }
    void setFontSize(int index);
    void setTextAlign(int index) { alignIndex = index; }
    void resetSpinBoxTempoKey();

    void connectSoundCard();
    void connectAudioDevice();
    // No device listed (no sound server yet): the device chosen last, by
    // its name, opened once the server is there; nothing said.
    void connectAudioDeviceWhenThere();
    void refreshDeviceList();
    // A start-up warning is shown or waits its turn.
    bool isWarning() const;
    // The sound bank the synthesizer could not load when connectSoundCard
    // found no MIDI output; empty otherwise.
    QString missingSoundBank() const { return m_missingSoundBank; }

signals:
    void fontSizeChanged(int pixelSize);
    void fontFamilyChanged(QString family);
    void fontAlignmentChanged(Qt::Alignment alignment);
    void chordChanged(int mode);
    void colorKaraokeBackgroundChanged(QString color);
    void colorKaraokeTextChanged(QString color);
    void colorKaraokeHighlightChanged(QString color);
    void imageKaraokeBackgroundChanged(QString path);
    void lyricsOffsetChanged(int ms);
    void runtimeTempoChanged(int delta);
    void runtimeKeyChanged(int delta);
    void resizeWindows();
    void rebuildDatabaseRequest();
    // The last start-up warning is gone.
    void warningsDone();

public slots:
    // The song on the transport was loaded or unloaded: the runtime key and
    // tempo go back to 0.
    void on_loadSongChange(Song::LoadSongState state);
    // The output boxes take a choice while no song sounds.
    void followPlayState(SoundEngine::PlayingState state);
    // While the sound server is away the outputs are chosen all the same:
    // the page says they wait for it.
    void followOutputLost(bool lost);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

    // What the page asks of the user; tests answer in place of the boxes.
    // warn returns the box while it stays open, null when none stays.
    virtual QWidget *warn(const QString &text);
    virtual bool confirm(const QString &title, const QString &text);
    virtual QString chooseImageFile();

private slots:
    void switchLanguage(int row);
    void chooseDoubleClickAction(int row);
    void chooseChordNotation(int row);
    void switchFastRun(bool checked);
    void chooseTextFont(int row);
    void chooseTextSize(int row);
    void chooseTextAlignment(int row);
    void chooseTextColor(int row);
    void chooseHighlightColor(int row);
    void chooseBackgroundColor(int row);
    void chooseBackgroundImage();
    void useBackgroundImage(bool checked);
    void useBackgroundColor(bool checked);
    void setLyricsOffset(int value);
    void sendRuntimeKey(int value);
    void sendRuntimeTempo(int value);
    void restoreLayout();
    void askToRebuildDatabase();
    void showAboutQt();
    void chooseMidiOutput(int row);
    void chooseAudioDevice(int row);

private:
    // A program started before its sound server lists the devices later.
    void fillEmptyAudioBox();
    // A line under the output boxes, made the first time it is asked for.
    QLabel *outputsNote(QLabel *&note, const char *name, const QString &text);
    void fillLists();
    void fitWidth();
    void retranslate();
    void showImageName(const QString &path);
    QString colorAt(const QStringList &colors, const char *key, int fallback) const;
    // The roads a start-up warning is about: it goes once its road connects.
    enum Road { MidiRoad, AudioRoad };
    // Connects the row of `combo` named `stored` and shows it; returns that
    // row, or -1 with a row that refused in `failed`.
    int connectStored(QComboBox *combo, const QString &stored, const std::function<bool(int)> &connectRow,
                      int *failed);
    // Connects the first of `rows` (except `failed`) that opens and shows
    // it; false, and no row shown, when none does.
    bool connectFallback(QComboBox *combo, QList<int> rows, int failed, const std::function<bool(int)> &connectRow);
    void audioConnected();
    // The failures, naming the outputs, the device or the sound bank that
    // did not open.
    QString midiFailure(const QStringList &tried, const QString &audioDevice, const QString &soundBank);
    QString audioFailure(const QString &name);
    // Start-up warnings: one box at a time, in order; the same text once.
    void tell(Road road, const QString &text);
    void withdrawWarning(Road road);
    void showNextWarning();
    // Under the devices: whether the music's threads run real-time.
    void showScheduling();
    void showNoAudioDevice();
    // The device area's own texts again, in the language just chosen.
    void retranslateDevices();

    Ui::SettingsView *ui;
    static QSettings &settings() { return programSettings(); }
    std::unique_ptr<DeviceSource> devices;

    QStringList chordNotations;
    const QStringList fontFamilies;
    QStringList textSizes;
    QStringList alignments;
    const QStringList textColors;
    const QStringList highlightColors;
    const QStringList backgroundColors;
    QStringList doubleClickActions;
    const QStringList languages;

    int chordMode = 1;
    int fontIndex = 0;
    int sizeIndex = 1;
    int fontPixelSize = 0;
    int alignIndex = 0;
    bool fastRun = true;
    SoundEngine *engine;
    QLabel *scheduling = nullptr;
    // Under the output boxes while a song holds them.
    QLabel *outputsWait = nullptr;
    QLabel *outputsAway = nullptr;

    QList<QPair<Road, QString>> m_pendingWarnings;
    QPointer<QWidget> m_shownWarning;
    Road m_shownRoad = MidiRoad;
    QString m_shownText;
    QString m_missingSoundBank;
};
