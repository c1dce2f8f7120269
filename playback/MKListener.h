// Plays a master keyboard through the layers of the selected patch: each
// incoming message is matched against every layer's keyboard channel, key and
// velocity range, moved to the layer's channel, transposed, and all layers'
// output goes in one write to MIDI output 3.
//
// Threads: after start() the listener lives on its own thread "mkThread"
// (time-critical), where queued messages reach onMidiInMessageReceived. It
// reads only MasterKeyboard::routing(), an immutable snapshot, so the GUI
// thread may select, edit, delete or rescan patches meanwhile. A note-off
// always reaches the channels and notes its note-on sounded, whatever
// changed in between. The MasterKeyboard must outlive the listener;
// destroying the listener stops and joins its thread.
#pragma once

#include "MKPatch.h"

#include <QByteArray>
#include <QObject>
#include <QThread>

class MasterKeyboard;
struct MKRouting;

class MKListener : public QObject
{
    Q_OBJECT
public:
    explicit MKListener(MasterKeyboard *keyboard);
    ~MKListener() override;

    // Moves the listener to "mkThread" and starts that thread.
    void start();
    // Routes one message through routing (null: nothing selected); 1 without
    // a keyboard or for fewer than 2 bytes, else 0. Runs on one thread at a
    // time: it keeps the notes each held key sounded.
    int processInputMasterKey(const MKRouting *routing, const QByteArray &message);

public slots:
    void onMidiInMessageReceived(QByteArray message);

private:
    // Where one held key's note-on went: one (channel, note) per layer.
    struct HeldKey {
        uint8_t count;
        uint8_t channel[MK_LAYERS];
        uint8_t note[MK_LAYERS];
    };
    static constexpr int OUT_MAX = 64;
    struct Out {
        unsigned char bytes[OUT_MAX];
        int len = 0;
        void add(unsigned char a, unsigned char b, unsigned char c);
    };
    // Sends the note-offs of a held key (status 0x80 or 0x90 with velocity 0).
    void release(HeldKey &key, unsigned char offStatus, unsigned char velocity, Out &out);

    QThread m_thread;
    MasterKeyboard *m_keyboard;
    HeldKey m_held[16][128] = {}; // by keyboard channel and key
};
