#include "MidiInterface.h"

#include "cinterface.h"
#include "midi_controls.h"

#include <QMutexLocker>
#include <QThread>
#include <cmath>
#include <cstdio>

Sound::MidiInterface *MidiInterface_static = nullptr;

namespace {

// End of the message that starts at `start` of a byte string cut as
// cinterface.h describes.
int nextCut(const unsigned char *data, int len, int start)
{
    if (start == 0 && data[0] == 0xF0)
        return len;
    // A SysEx embedded in a string stays whole up to its F7.
    const bool inSysEx = start > 0 && data[start] == 0xF0;
    for (int i = start + 1; i < len; ++i) {
        if (inSysEx) {
            if (data[i] == 0xF7)
                return i + 1;
        } else if (data[i] >= 0x80) {
            return i;
        }
    }
    return len;
}

template <typename Emit>
void cutMessages(const unsigned char *data, int len, Emit deliver)
{
    for (int start = 0; start < len;) {
        const int end = nextCut(data, len, start);
        deliver(data + start, end - start);
        start = end;
    }
}

// Sized for the engine's messages and strings; a non-real-time writer waits
// this long for room before it drops a queued string.
constexpr size_t kQueueSlots = 1024;
constexpr size_t kDeferredSlots = 512;
constexpr int kLargeBlocks = 8;
constexpr int kFullQueueWaitMs = 200;

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
    for (auto &q : m_queue)
        q = std::make_unique<MessageRing>(kQueueSlots, kLargeBlocks, maxSize());
    for (int n = 0; n < MIDI_OUTPUT_COUNT; ++n) {
        m_deferred[n] = std::make_unique<MessageRing>(kDeferredSlots, kLargeBlocks, maxSize());
        m_scratch[n].reserve(size_t(maxSize()));
    }
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
void MidiInterface::sendMidiEventWrapper4(std::vector<unsigned char> *m) { sendMidiEventWrapper(4, m); }
void MidiInterface::sendMidiEventWrapper6(std::vector<unsigned char> *m) { sendMidiEventWrapper(6, m); }

void MidiInterface::sendMidiEventWrapper(int output, std::vector<unsigned char> *message)
{
    if (!message || message->empty())
        return;
    sendString(output, message->data(), int(message->size()));
}

bool MidiInterface::lockPort(int n)
{
    if (!RealTime::isRealTimeThread()) {
        m_portMutex[n].lock();
        return true;
    }
    // A GUI-thread writer or an open in progress holds it: the real-time
    // thread leaves its messages for the next pass instead of waiting.
    return m_portMutex[n].tryLock();
}

void MidiInterface::writeLocked(int n, const unsigned char *data, int len)
{
    IMidiOutput *out = m_outputs[n];
    if (!out)
        return;
    const int output = n + 1;
    std::vector<unsigned char> &message = m_scratch[n];
    message.assign(data, data + len);
    if (output <= 2)
        rewriteMasterVolume(message, kVolumeOutputs[n]);
    if (m_dbgPrintLevel.load(std::memory_order_relaxed) > 0)
        logSend(output, message);
    if (out->sendMessage(&message) != 0) {
        // A device gone mid-song fails every message of every tick; one line
        // per run of failures.
        if (!m_sendFailing[n])
            rtLogMsg(4, nullptr, 0, "midiOut%d error", output);
        m_sendFailing[n] = true;
    } else {
        m_sendFailing[n] = false;
        if (output == 1)
            MIDI_CONTROLS_NoteSentOnOutput1(message.data(), int(message.size()));
    }
}

void MidiInterface::writeStringLocked(int n, const unsigned char *data, int len)
{
    cutMessages(data, len, [this, n](const unsigned char *begin, int count) {
        writeLocked(n, begin, count);
    });
}

void MidiInterface::flushDeferredLocked(int n)
{
    MessageRing &ring = *m_deferred[n];
    while (MessageRing::Entry *e = ring.front()) {
        // Stamped when it was sent, not when the port was free.
        const RealTime::MessageTime at(e->ms, e->atOnce);
        writeStringLocked(n, ring.data(*e), e->length);
        ring.pop();
    }
}

void MidiInterface::flushDeferred()
{
    for (int n = 0; n < MIDI_OUTPUT_COUNT; ++n) {
        if (m_deferred[n]->empty() || !lockPort(n))
            continue;
        flushDeferredLocked(n);
        m_portMutex[n].unlock();
    }
}

void MidiInterface::rewriteMasterVolume(std::vector<unsigned char> &m, MidiOutput output)
{
    if (m.size() < 7 || m[0] != 0xF0 || m[1] != 0x7F || m[2] != 0x7F || m[3] != 0x04
        || m[4] != 0x01 || m[5] != 0x00)
        return;
    const uint32_t mm = m[6];
    m_lastMasterVolume[output.index()].store(uint8_t(mm), std::memory_order_relaxed);
    const int corr = CINTERFACE_GetMidiVolumeCorrection(output);
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
        rtLogMsg(2, nullptr, 0, "%s", kWarnings[n]);
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
    // A log line holds the first bytes of a long SysEx.
    char text[200];
    int used = std::snprintf(text, sizeof text, "%s%zu]   ", kDumpPrefixes[n], m.size());
    for (size_t i = 0; i < m.size() && used + 6 < int(sizeof text); ++i)
        used += std::snprintf(text + used, sizeof text - size_t(used), " 0x%02X", m[i]);
    rtLogMsg(4, nullptr, 0, "%s", text);
}

void MidiInterface::sendString(int output, const unsigned char *data, int len)
{
    if (!data || len <= 0 || output < 1 || output > MIDI_OUTPUT_COUNT)
        return;
    const int n = output - 1;
    const bool realTime = RealTime::isRealTimeThread();
    if (!realTime && m_realTimeWriter.load(std::memory_order_acquire)) {
        // The real-time loop is the only writer while it runs: another
        // thread holding the port (and preempted while it holds it) would
        // hold up the music. The loop writes this within a millisecond.
        const double ms = RealTime::messageTimeMs();
        for (int waited = 0; waited <= kFullQueueWaitMs; ++waited) {
            if (m_deferred[n]->push(data, len, ms, RealTime::messageAtOnce()))
                return;
            QThread::msleep(1);
        }
    }
    if (!lockPort(n)) {
        if (!m_deferred[n]->push(data, len, RealTime::messageTimeMs(), RealTime::messageAtOnce()))
            rtLogMsg(2, "MidiInterface", __LINE__, "output %d: deferred messages full, dropped",
                     output);
        return;
    }
    // The whole string under one hold of the port: strings never interleave.
    flushDeferredLocked(n);
    writeStringLocked(n, data, len);
    m_portMutex[n].unlock();
}

void MidiInterface::queueString(int output, const unsigned char *data, int len)
{
    const int q = queueIndex(output);
    if (!data || len <= 0 || q < 0)
        return;
    // The string goes in whole, so strings from several threads never mix.
    const double ms = RealTime::messageTimeMs();
    int messages = 0;
    cutMessages(data, len, [&messages](const unsigned char *, int) { ++messages; });
    // Counted first: the drain may send the string before push returns.
    m_queuedMessages[q].fetch_add(messages);
    if (m_queue[q]->push(data, len, ms))
        return;
    if (!RealTime::isRealTimeThread() && len <= m_queue[q]->largeBytes()) {
        for (int waited = 0; waited < kFullQueueWaitMs; ++waited) {
            QThread::msleep(1);
            if (m_queue[q]->push(data, len, ms))
                return;
        }
    }
    m_queuedMessages[q].fetch_sub(messages);
    rtLogMsg(2, "MidiInterface", __LINE__, "output %d: send queue full, string dropped", output);
}

bool MidiInterface::sendFirstQueued(int output)
{
    const int q = queueIndex(output);
    if (q < 0)
        return false;
    MessageRing &ring = *m_queue[q];
    MessageRing::Entry *e = ring.front();
    if (!e)
        return false;
    const int n = output - 1;
    if (!lockPort(n))
        return false;
    flushDeferredLocked(n);
    const unsigned char *data = ring.data(*e);
    int &cursor = m_queueCursor[q];
    const int end = nextCut(data, e->length, cursor);
    writeLocked(n, data + cursor, end - cursor);
    cursor = end;
    m_queuedMessages[q].fetch_sub(1);
    if (cursor >= e->length) {
        ring.pop();
        cursor = 0;
    }
    m_portMutex[n].unlock();
    return true;
}

int MidiInterface::queuedCount(int output) const
{
    const int q = queueIndex(output);
    if (q < 0)
        return 0;
    return m_queuedMessages[q].load();
}

int MidiInterface::MidiFilters(std::vector<unsigned char> *message, int port)
{
    if (message && (port == 0 || port == 1))
        rewriteMasterVolume(*message, ownOutput(port));
    return 1;
}

int MidiInterface::GetLastGMVolumeSent(MidiOutput output) const
{
    return m_lastMasterVolume[output.index()].load(std::memory_order_relaxed);
}

void MidiInterface::SetMidiVolumeCorrection(MidiOutput output, int value)
{
    CINTERFACE_SetMidiVolumeCorrection(output, value);
}

int MidiInterface::GetMidiVolumeCorrection(MidiOutput output) const
{
    return CINTERFACE_GetMidiVolumeCorrection(output);
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
