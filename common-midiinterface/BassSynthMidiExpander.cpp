#include "BassSynthMidiExpander.h"

#include "logmsg.h"

#include <QFile>

int BassSynthMidiExpander::numPorts = 0;

BassSynthMidiExpander::BassSynthMidiExpander(std::unique_ptr<SynthAudioSink> sink)
    : m_synth(std::move(sink))
{
}

BassSynthMidiExpander::~BassSynthMidiExpander()
{
    deinit();
}

int BassSynthMidiExpander::init(const QString &soundFontPath, int device)
{
    if (numPorts > 0)
        return -1;
    m_soundFont = 0;
    // The bank loads before the audio starts: a load holds FluidSynth's lock
    // for as long as it reads the file, and no callback may wait for it.
    int result = m_synth.open(device);
    if (result != SOFTSYNTH_OK) {
        logMsg(2, __FILE__, __LINE__, "synthesizer on audio device %d: error %d", device, result);
        return result;
    }
    result = loadSoundFont(soundFontPath);
    if (result == 0) {
        result = m_synth.startAudio();
        if (result != SOFTSYNTH_OK)
            logMsg(2, __FILE__, __LINE__, "synthesizer audio on device %d: error %d", device, result);
    }
    if (result != 0) {
        m_soundFont = 0;
        m_synth.stop();
        return result;
    }
    m_minBufferMs = m_synth.bufferMs();
    ++numPorts;
    return 0;
}

int BassSynthMidiExpander::loadSoundFont(const QString &path)
{
    auto *file = new QFile(path);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        return 1;
    }
    m_soundFontFile = file;
    int error = SOFTSYNTH_OK;
    const int handle = m_synth.loadFont(file, &error);
    m_soundFontFile = nullptr;
    if (handle == 0) {
        logMsg(2, __FILE__, __LINE__, "sound bank not loaded (error %d)", error);
        return error;
    }
    if (m_soundFont)
        m_synth.freeFont(m_soundFont);
    m_soundFont = handle;

    uint32_t preset = 0;
    if (m_synth.fontPresets(handle, &preset, 1) == 1) {
        m_singlePresetDrums = (preset >> 16) == 128;
        m_singlePresetProgram = int(preset & 0xFFFF);
        // Addressed to channel index 16, which a 16-channel synthesizer does
        // not have, so these have no effect; kept until it is decided which
        // channel a single-preset bank should play on.
        m_synth.setChannelDrums(16, m_singlePresetDrums);
        m_synth.programChange(16, m_singlePresetProgram);
    }
    return 0;
}

int BassSynthMidiExpander::freeSoundFont()
{
    if (!m_soundFont)
        return 0;
    return m_synth.freeFont(m_soundFont) ? 1 : 0;
}

int BassSynthMidiExpander::midiOut(const unsigned char *data, int length)
{
    return m_synth.streamEvents(data, length);
}

void BassSynthMidiExpander::deinit()
{
    // The count is shared; only the instance that runs gives its place back.
    if (numPorts > 0 && m_synth.isRunning()) {
        // Stopping frees the bank with the synthesizer; freeing it first
        // would only make every channel look for a preset in vain.
        m_soundFont = 0;
        m_synth.stop();
        --numPorts;
    }
}
