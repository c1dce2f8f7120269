#include "cinterface.h"

#include "MidiInterface.h"

#include <QThread>
#include <atomic>

namespace {

// Master-volume correction per output (by its index): written by the GUI
// thread and the engine, read by the rewrite on the sending thread.
std::atomic<int> correction_value_midi[4];

struct SleepHook
{
    CINTERFACE_SleepFunction function;
    void *userData;
};
std::atomic<SleepHook *> g_sleepHook{nullptr};
SleepHook g_sleepHookStore;

} // namespace

extern "C" {

void CINTERFACE_SendMidiEvent(int output, const unsigned char *data, int len)
{
    if (MidiInterface_static)
        MidiInterface_static->sendString(output, data, len);
}

void CINTERFACE_SendMidiEvent1(const unsigned char *data, int len) { CINTERFACE_SendMidiEvent(1, data, len); }
void CINTERFACE_SendMidiEvent2(const unsigned char *data, int len) { CINTERFACE_SendMidiEvent(2, data, len); }
void CINTERFACE_SendMidiEvent3(const unsigned char *data, int len) { CINTERFACE_SendMidiEvent(3, data, len); }
void CINTERFACE_SendMidiEvent4(const unsigned char *data, int len) { CINTERFACE_SendMidiEvent(4, data, len); }
void CINTERFACE_SendMidiEvent5(const unsigned char *data, int len) { CINTERFACE_SendMidiEvent(5, data, len); }
void CINTERFACE_SendMidiEvent6(const unsigned char *data, int len) { CINTERFACE_SendMidiEvent(6, data, len); }

void CINTERFACE_QueueMidiEvent(int output, const unsigned char *data, int len)
{
    if (MidiInterface_static)
        MidiInterface_static->queueString(output, data, len);
}

void CINTERFACE_QueueMidiEvent1(const unsigned char *data, int len) { CINTERFACE_QueueMidiEvent(1, data, len); }
void CINTERFACE_QueueMidiEvent2(const unsigned char *data, int len) { CINTERFACE_QueueMidiEvent(2, data, len); }
void CINTERFACE_QueueMidiEvent4(const unsigned char *data, int len) { CINTERFACE_QueueMidiEvent(4, data, len); }
void CINTERFACE_QueueMidiEvent5(const unsigned char *data, int len) { CINTERFACE_QueueMidiEvent(5, data, len); }
void CINTERFACE_QueueMidiEvent6(const unsigned char *data, int len) { CINTERFACE_QueueMidiEvent(6, data, len); }

void CINTERFACE_SleepMillisec(unsigned long ms)
{
    if (SleepHook *hook = g_sleepHook.load()) {
        hook->function(ms, hook->userData);
        return;
    }
    QThread::msleep(ms);
}

void CINTERFACE_SetSleepFunction(CINTERFACE_SleepFunction function, void *userData)
{
    // Installed before the engine runs and removed after it stopped; the
    // store is only read through the pointer published here.
    g_sleepHook.store(nullptr);
    if (!function)
        return;
    g_sleepHookStore = {function, userData};
    g_sleepHook.store(&g_sleepHookStore);
}

} // extern "C"

void CINTERFACE_SendMidiString(MidiOutput output, const unsigned char *data, int len)
{
    Sound::MidiInterface *mi = MidiInterface_static;
    if (!mi || !data || len <= 0)
        return;
    emit mi->sendMidiStringStarting();
    if (output.number() <= 3)
        mi->sendString(output.number(), data, len);
    emit mi->sendMidiStringFinished();
}

void CINTERFACE_SetMidiVolumeCorrection(MidiOutput output, int value)
{
    correction_value_midi[output.index()].store(value, std::memory_order_relaxed);
}

int CINTERFACE_GetMidiVolumeCorrection(MidiOutput output)
{
    return correction_value_midi[output.index()].load(std::memory_order_relaxed);
}
