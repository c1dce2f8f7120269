#include "MidiInterface.h"

#include "cinterface.h"
#include "midi_controls.h"

#include <QDebug>
#include <QMutexLocker>
#include <cmath>

Sound::MidiInterface *MidiInterface_static = nullptr;

namespace {

// Cuts a byte string into messages (see cinterface.h) and hands each one to
// deliver(begin, length).
template <typename Emit>
void cutMessages(const unsigned char *data, int len, Emit deliver)
{
    if (data[0] == 0xF0) {
        deliver(data, len);
        return;
    }
    int start = 0;
    bool inSysEx = false;
    for (int i = 1; i < len; ++i) {
        const unsigned char b = data[i];
        if (inSysEx) {
            // A SysEx embedded in a string stays whole up to its F7.
            if (b == 0xF7) {
                deliver(data + start, i + 1 - start);
                start = i + 1;
                inSysEx = false;
            }
            continue;
        }
        if (b >= 0x80) {
            if (i > start)
                deliver(data + start, i - start);
            start = i;
            inSysEx = (b == 0xF0);
        }
    }
    if (start < len)
        deliver(data + start, len - start);
}

// Per-thread message buffer for writes at once: after the first messages it
// has the capacity it needs and the send path allocates nothing.
std::vector<unsigned char> &scratchMessage()
{
    thread_local std::vector<unsigned char> scratch = [] {
        std::vector<unsigned char> v;
        v.reserve(256);
        return v;
    }();
    return scratch;
}

const char *const kWarnings[MIDI_OUTPUT_COUNT] = {
    "Out1:   Message len > 3 and not sysex !!!",
    "   Out2: Message len > 3 and not sysex !!!",
    "   Out3: Message len > 3 and not sysex !!!",
    "   Out4: Message len > 3 and not sysex !!!",
    "   Out5: Message len > 3 and not sysex !!!",
    "   Out6: Message len > 3 and not sysex !!!",
};
const char *const kDumpPrefixes[MIDI_OUTPUT_COUNT] = {
    "Out1:   [", "   Out2: [", "   Out3: [", "   Out4: [", "   Out5: [", "   Out6: [",
};

} // namespace

namespace Sound {

MidiInterface::MidiInterface() : QObject(nullptr)
{
    for (auto &v : m_lastMasterVolume)
        v.store(127, std::memory_order_relaxed);
    MidiInterface_static = this;
}

MidiInterface::~MidiInterface()
{
    if (MidiInterface_static == this)
        MidiInterface_static = nullptr;
}

int MidiInterface::queueIndex(int output)
{
    switch (output) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 5: return 3;
    case 6: return 4;
    default: return -1;
    }
}

bool MidiInterface::initMidiOutPortsSound(const QList<IMidiOutput *> &ports)
{
    for (int n = 0; n < MIDI_OUTPUT_COUNT; ++n) {
        // Under the port mutex so that no send is using the old device.
        QMutexLocker lock(&m_portMutex[n]);
        m_outputs[n] = n < ports.size() ? ports[n] : nullptr;
        m_sendFailing[n] = false;
    }
    return true;
}

bool MidiInterface::openMidiBaseOutPorts(int p1, int p2, int p3, int p4, int p5, int p6)
{
    const int device[MIDI_OUTPUT_COUNT] = {p1, p2, p3, p4, p5, p6};
    for (int n = 0; n < MIDI_OUTPUT_COUNT; ++n) {
        if (device[n] != -1) {
            QMutexLocker lock(&m_portMutex[n]);
            if (!m_outputs[n])
                return false;
            if (m_outputs[n]->openPort(device[n]) != 0) {
                m_outputs[n] = nullptr;
                return false;
            }
            m_sendFailing[n] = false;
        }
        // The reset takes queue mutex 2 and the port mutex itself: never
        // send it while holding the port mutex.
        if (n < 2)
            MIDI_CONTROLS_Push_Reset(n + 1);
    }
    return true;
}

void MidiInterface::closeMidiBaseOutPorts()
{
    for (int n = 0; n < MIDI_OUTPUT_COUNT; ++n) {
        QMutexLocker lock(&m_portMutex[n]);
        if (m_outputs[n])
            m_outputs[n]->closePort();
    }
}

void MidiInterface::send_RESET(int port)
{
    MIDI_CONTROLS_Push_Reset(port);
}

void MidiInterface::config_GS_RESET(int on)
{
    MIDI_CONTROLS_Config_GS_Reset(on);
}

void MidiInterface::sendMidiEventWrapper1(std::vector<unsigned char> *m) { sendMidiEventWrapper(1, m); }
void MidiInterface::sendMidiEventWrapper2(std::vector<unsigned char> *m) { sendMidiEventWrapper(2, m); }
void MidiInterface::sendMidiEventWrapper3(std::vector<unsigned char> *m) { sendMidiEventWrapper(3, m); }
void MidiInterface::sendMidiEventWrapper4(std::vector<unsigned char> *m) { sendMidiEventWrapper(4, m); }
void MidiInterface::sendMidiEventWrapper5(std::vector<unsigned char> *m) { sendMidiEventWrapper(5, m); }
void MidiInterface::sendMidiEventWrapper6(std::vector<unsigned char> *m) { sendMidiEventWrapper(6, m); }

void MidiInterface::sendMidiEventWrapper(int output, std::vector<unsigned char> *message)
{
    if (output < 1 || output > MIDI_OUTPUT_COUNT || !message || message->empty())
        return;
    const int n = output - 1;
    QMutexLocker lock(&m_portMutex[n]);
    IMidiOutput *out = m_outputs[n];
    if (!out)
        return;
    if (output <= 2)
        rewriteMasterVolume(*message, n);
    if (m_dbgPrintLevel.load(std::memory_order_relaxed) > 0)
        logSend(output, *message);
    if (out->sendMessage(message) != 0) {
        // A device gone mid-song fails every message of every tick; one line
        // per run of failures keeps file writes out of the engine's loop.
        if (!m_sendFailing[n])
            qDebug("midiOut%d error", output);
        m_sendFailing[n] = true;
    } else {
        m_sendFailing[n] = false;
        if (output == 1)
            MIDI_CONTROLS_NoteSentOnOutput1(message->data(), int(message->size()));
    }
}

void MidiInterface::rewriteMasterVolume(std::vector<unsigned char> &m, int index)
{
    if (m.size() < 7 || m[0] != 0xF0 || m[1] != 0x7F || m[2] != 0x7F || m[3] != 0x04
        || m[4] != 0x01 || m[5] != 0x00)
        return;
    const uint32_t mm = m[6];
    m_lastMasterVolume[index].store(uint8_t(mm), std::memory_order_relaxed);
    const int corr = CINTERFACE_GetMidiVolumeCorrection(index);
    // The correction trims by up to 38/64 of its value; the volume is scaled
    // by 0.7 (367003 / 2^19). The sum wraps to 7 bits.
    const int trim = int(std::trunc(double(corr) * 38.0 / 64));
    const uint32_t scaled = (mm * 367003u) >> 19;
    m[6] = static_cast<unsigned char>((uint32_t(trim) + scaled) & 127u);
}

void MidiInterface::logSend(int output, const std::vector<unsigned char> &m) const
{
    const int level = m_dbgPrintLevel.load(std::memory_order_relaxed);
    const int n = output - 1;
    if (m.size() >= 4 && m[0] != 0xF0)
        qWarning("%s", kWarnings[n]);
    const int dumpLevel = output <= 4 ? 5 : 6;
    bool dump = false;
    switch (output) {
    case 1: dump = m[0] >= 0xF0; break;
    case 2:
    case 3: dump = m[0] == 0xFF; break;
    default: dump = true; break;
    }
    if (level < dumpLevel || !dump)
        return;
    QByteArray text(kDumpPrefixes[n]);
    text += QByteArray::number(qulonglong(m.size()));
    text += "]   ";
    for (unsigned char b : m) {
        text += b < 16 ? " 0x0" : " 0x";
        text += QByteArray::number(b, 16).toUpper();
    }
    qDebug("%s", text.constData());
}

void MidiInterface::sendString(int output, const unsigned char *data, int len)
{
    if (!data || len <= 0 || output < 1 || output > MIDI_OUTPUT_COUNT)
        return;
    auto write = [this, output](const unsigned char *begin, int n) {
        std::vector<unsigned char> &msg = scratchMessage();
        msg.assign(begin, begin + n);
        sendMidiEventWrapper(output, &msg);
    };
    if (output == 1) {
        QMutexLocker lock(&m_queueMutex[queueIndex(2)]);
        cutMessages(data, len, write);
    } else {
        cutMessages(data, len, write);
    }
}

void MidiInterface::queueString(int output, const unsigned char *data, int len)
{
    const int q = queueIndex(output);
    if (!data || len <= 0 || q < 0)
        return;
    QMutexLocker lock(&m_queueMutex[q]);
    cutMessages(data, len, [this, q](const unsigned char *begin, int n) {
        m_queue[q].append(std::vector<unsigned char>(begin, begin + n));
    });
}

bool MidiInterface::sendFirstQueued(int output)
{
    const int q = queueIndex(output);
    if (q < 0)
        return false;
    QMutexLocker lock(&m_queueMutex[q]);
    if (m_queue[q].isEmpty())
        return false;
    std::vector<unsigned char> message = m_queue[q].takeFirst();
    sendMidiEventWrapper(output, &message);
    return true;
}

int MidiInterface::queuedCount(int output) const
{
    const int q = queueIndex(output);
    if (q < 0)
        return 0;
    QMutexLocker lock(&m_queueMutex[q]);
    return int(m_queue[q].size());
}

int MidiInterface::MidiFilters(std::vector<unsigned char> *message, int port)
{
    if (message && (port == 0 || port == 1))
        rewriteMasterVolume(*message, port);
    return 1;
}

int MidiInterface::GetLastGMVolumeSent(int port) const
{
    if (port < 0 || port > 3)
        return 0;
    return m_lastMasterVolume[port].load(std::memory_order_relaxed);
}

void MidiInterface::SetMidiVolumeCorrection(int port, int value)
{
    CINTERFACE_SetMidiVolumeCorrection(port, value);
}

int MidiInterface::GetMidiVolumeCorrection(int port) const
{
    return CINTERFACE_GetMidiVolumeCorrection(port);
}

void MidiInterface::SetMidiInMode(int mode)
{
    if (mode >= 0 && mode <= 2)
        m_midiInMode.store(mode);
}

int MidiInterface::GetMidiInMode() const
{
    return m_midiInMode.load();
}

void MidiInterface::setDbgPrintLevel(int level)
{
    m_dbgPrintLevel.store(level);
}

} // namespace Sound
