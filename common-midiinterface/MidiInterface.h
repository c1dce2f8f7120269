// The one object between the engine and the MIDI devices: six outputs with
// their port mutexes, send queues for outputs 1, 2, 4, 5 and 6, the
// master-volume rewrite on outputs 1 and 2, and three MIDI inputs.
#pragma once

#include "IMidiInput.h"
#include "IMidiOutput.h"
#include "MessageRing.h"
#include "midioutput.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Sound {

class MidiInterface : public QObject
{
    Q_OBJECT
public:
    // Sets MidiInterface_static to the new object.
    MidiInterface();
    // Clears MidiInterface_static. Deletes no device: whoever bound them owns them.
    ~MidiInterface() override;

    // Output n (1..6) = ports[n-1] when the list is long enough, else unbound;
    // opens and closes nothing. Always true.
    bool initMidiOutPortsSound(const QList<IMidiOutput *> &ports);
    // Opens the bound outputs with the given device numbers (-1 leaves that
    // output alone) and sends the reset sequence on outputs 1 and 2 once they
    // are handled. False at the first unbound output asked to open, or at the
    // first failed open, which unbinds that output (without deleting it).
    bool openMidiBaseOutPorts(int p1, int p2, int p3, int p4, int p5, int p6);
    // closePort on every bound output, 1 to 6; they stay bound.
    void closeMidiBaseOutPorts();

    // GM reset, then GS reset when enabled, on output port (1..4).
    void send_RESET(int port);
    void config_GS_RESET(int on);

    // Writes one message to output 1..6 under its port mutex; dropped when the
    // output is unbound. The master-volume rewrite applies to a copy.
    // "midiOutN error" is logged at the first of a run of failed sends.
    void sendMidiEventWrapper1(std::vector<unsigned char> *message);
    void sendMidiEventWrapper2(std::vector<unsigned char> *message);
    void sendMidiEventWrapper4(std::vector<unsigned char> *message);
    void sendMidiEventWrapper6(std::vector<unsigned char> *message);
    // The same for output n; anything outside 1..6 is dropped.
    void sendMidiEventWrapper(int output, std::vector<unsigned char> *message);

    // Cuts a byte string into messages and writes them to output n, the
    // whole string under one hold of the port mutex, so strings never
    // interleave. On a real-time thread that finds the port busy, or from
    // another thread while a real-time writer runs, the string waits in a
    // preallocated ring for flushDeferred or the next write.
    void sendString(int output, const unsigned char *data, int len);
    // Appends a byte string, whole, to the send queue of output 1, 2, 4, 5 or
    // 6 (lock-free, no allocation). When the queue is full a real-time thread
    // drops the string; another thread waits up to 200 ms for room first.
    void queueString(int output, const unsigned char *data, int len);
    // Drain step, one consumer thread at a time: writes the next message of
    // the send queue of output 1, 2, 4, 5 or 6. False when the queue was
    // empty, the output has no queue, or (real-time thread) the port was busy.
    bool sendFirstQueued(int output);
    // Messages waiting in the send queue of output n (0 when it has none).
    int queuedCount(int output) const;
    // Writes what the real-time thread had to leave for later, on the outputs
    // whose port is free now; the sequencer calls it every pass.
    void flushDeferred();
    // While on, the real-time loop calls flushDeferred every millisecond and
    // strings from other threads go through it instead of to the device.
    void setRealTimeWriter(bool on) { m_realTimeWriter.store(on, std::memory_order_release); }

    // The master-volume rewrite for engine port 0 or 1; always 1.
    int MidiFilters(std::vector<unsigned char> *message, int port);
    // High byte of the last Master Volume that passed the output, as it was
    // before the rewrite (127 until one has passed).
    int GetLastGMVolumeSent(MidiOutput output) const;
    void SetMidiVolumeCorrection(MidiOutput output, int value);
    int GetMidiVolumeCorrection(MidiOutput output) const;

    // 0 nothing, 1 echo input to output 3, 2 emit midiInMessageReceived;
    // other values are ignored.
    void SetMidiInMode(int mode);
    int GetMidiInMode() const;
    void dbgForceVolUpdate() {}
    static int maxSize() { return 150000; }

    // Input half: binding, callbacks and decoding of received messages.
    bool OpenMidiBaseInPorts(IMidiInput *input, int port);
    bool CloseMidiBaseInPorts();
    bool OpenExtMidiBaseInPorts(IMidiInput *input, int port);
    bool CloseExtMidiBaseInPorts();
    bool OpenExpanderMidiBaseInPorts(IMidiInput *input, int port);
    static void SystemMidiInCallback(double deltatime, std::vector<unsigned char> *message,
                                     void *userData);
    static void UartMidiInCallback(double deltatime, std::vector<unsigned char> *message,
                                   void *userData);
    static void ProcessInput(unsigned char *message, int length);
    static void SendReceivedNote(int ch, int vol);
    static void SendReceivedPrgChg(int ch, int a, int b, bool isDrum);
    static void SendReceivedCtrChg(int ch, int type, int val);
    static void SendReceivedReverb(int revType, int revSend);
    static void SendReceivedChorus(int choType, int choSend);
    static void SendReceivedReset();
    static void SendReceivedData();
    void sendKeyEvent(bool pressed, Qt::Key key);

public slots:
    void setDbgPrintLevel(int level);

signals:
    void midiInPrgChgReceived(int ch, int prg, int bnk, bool isDrum);
    void midiInNoteReceived(int ch, int vol);
    void midiInCtrChgReceived(int ch, int type, int val);
    void midiInReverbReceived(int revType, int revSend);
    void midiInChorusReceived(int choType, int choSend);
    void midiInDataReceived();
    void midiInResetReceived();
    void midiInMessageReceived(QByteArray message);
    void midiControlReceived(Qt::Key key);
    // The vector lives only for the callback: connect directly, never queued.
    void midiInSysExReceived(double deltatime, std::vector<unsigned char> *msg, void *userData);
    void sendMidiStringStarting();
    void sendMidiStringFinished();

private:
    static constexpr int kQueues = 5; // outputs 1, 2, 4, 5, 6
    static int queueIndex(int output);
    // Takes the port mutex of output n + 1; on a real-time thread only when
    // it is free at once (false otherwise).
    bool lockPort(int n);
    // With the port mutex held.
    void writeLocked(int n, const unsigned char *data, int len);
    void writeStringLocked(int n, const unsigned char *data, int len);
    void flushDeferredLocked(int n);
    void rewriteMasterVolume(std::vector<unsigned char> &message, MidiOutput output);
    void logSend(int output, const std::vector<unsigned char> &message) const;

    std::unique_ptr<MessageRing> m_queue[kQueues];
    int m_queueCursor[kQueues] = {}; // bytes of the front string already sent
    std::atomic<int> m_queuedMessages[kQueues] = {};
    // Strings the real-time thread could not write because another thread
    // held the port; written, in order, before anything else goes out.
    std::unique_ptr<MessageRing> m_deferred[MIDI_OUTPUT_COUNT];
    std::atomic<bool> m_realTimeWriter{false};
    // The device gets a vector; one per output, sized once, under the port mutex.
    std::vector<unsigned char> m_scratch[MIDI_OUTPUT_COUNT];
    std::atomic<uint8_t> m_lastMasterVolume[4];
    std::atomic<int> m_dbgPrintLevel{0};
    QMutex m_portMutex[MIDI_OUTPUT_COUNT];
    IMidiOutput *m_outputs[MIDI_OUTPUT_COUNT] = {};
    // Under the port mutex: the last send to the output failed.
    bool m_sendFailing[MIDI_OUTPUT_COUNT] = {};
    IMidiInput *m_baseInput = nullptr;
    IMidiInput *m_extInput = nullptr;
    IMidiInput *m_expanderInput = nullptr;
    std::atomic<int> m_midiInMode{0};
};

} // namespace Sound

// The one interface of the program, null while none exists; the C entry
// points and the input callbacks reach it through this pointer.
extern Sound::MidiInterface *MidiInterface_static;
