// The input half of Sound::MidiInterface: binding the inputs, their
// callbacks, and decoding received messages into the interface's signals.
#include "MidiInterface.h"

#include "cinterface.h"

#include <QByteArray>

#include <algorithm>

namespace {

// Shared by every input and never reset; only the input threads write it.
struct InputState {
    int16_t noteLevel[16];
    int16_t drumHit;
    int bank;
    int reverbType;
    int chorusType;
};
InputState g_in = {};

constexpr int16_t kMaxLevel = 32767;

bool isMakerSysEx(const std::vector<unsigned char> &m)
{
    return m.size() >= 7 && m[0] == 0xF0 && m[1] == 0x00 && m[2] == 0x20 && m[3] == 0x24 &&
           m[4] == 0x00 && (m[5] == 0x3F || m[5] == 0x33) && m.back() == 0xF7;
}

void noteOff(Sound::MidiInterface *mi, int ch, int note)
{
    int16_t &level = g_in.noteLevel[ch];
    if (level - note >= 0) {
        if (note != 0) {
            level = int16_t(level - note);
            emit mi->midiInNoteReceived(ch, level);
        }
    } else if (level != 0) {
        level = 0;
        emit mi->midiInNoteReceived(ch, 0);
    }
}

bool bindInput(Sound::MidiInterface *mi, IMidiInput *&slot, IMidiInput *input, int port,
               MidiInputCallback callback)
{
    if (slot)
        return false;
    if (!input)
        return true;
    slot = input;
    input->setCallback(callback, mi);
    input->ignoreTypes(false, false, false);
    if (input->openPort(port) != 0) {
        slot = nullptr;
        return false;
    }
    return true;
}

bool unbindInput(IMidiInput *&slot)
{
    if (slot) {
        slot->closePort();
        delete slot;
        slot = nullptr;
    }
    return true;
}

} // namespace

namespace Sound {

bool MidiInterface::OpenMidiBaseInPorts(IMidiInput *input, int port)
{
    return bindInput(this, m_baseInput, input, port, &MidiInterface::SystemMidiInCallback);
}

bool MidiInterface::CloseMidiBaseInPorts()
{
    return unbindInput(m_baseInput);
}

bool MidiInterface::OpenExtMidiBaseInPorts(IMidiInput *input, int port)
{
    return bindInput(this, m_extInput, input, port, &MidiInterface::UartMidiInCallback);
}

bool MidiInterface::CloseExtMidiBaseInPorts()
{
    return unbindInput(m_extInput);
}

bool MidiInterface::OpenExpanderMidiBaseInPorts(IMidiInput *input, int port)
{
    return bindInput(this, m_expanderInput, input, port, &MidiInterface::UartMidiInCallback);
}

void MidiInterface::SystemMidiInCallback(double deltatime, std::vector<unsigned char> *message,
                                         void *userData)
{
    MidiInterface *mi = MidiInterface_static;
    if (!mi || !message || message->empty())
        return;
    if (isMakerSysEx(*message)) {
        emit mi->midiInSysExReceived(deltatime, message, userData);
        return;
    }
    if (mi->GetMidiInMode() == 0)
        return;
    UartMidiInCallback(deltatime, message, userData);
}

void MidiInterface::UartMidiInCallback(double, std::vector<unsigned char> *message, void *)
{
    MidiInterface *mi = MidiInterface_static;
    // One-byte messages (clock, active sensing ...) mean nothing here.
    if (!mi || !message || message->size() <= 1)
        return;
    QByteArray bytes(reinterpret_cast<const char *>(message->data()), int(message->size()));
    ProcessInput(reinterpret_cast<unsigned char *>(bytes.data()), int(bytes.size()));
    switch (mi->GetMidiInMode()) {
    case 1:
        CINTERFACE_SendMidiEvent3(reinterpret_cast<const unsigned char *>(bytes.constData()),
                                  int(bytes.size()));
        break;
    case 2: emit mi->midiInMessageReceived(bytes); break;
    default: break;
    }
}

void MidiInterface::ProcessInput(unsigned char *m, int length)
{
    MidiInterface *mi = MidiInterface_static;
    if (!mi || !m || length <= 0)
        return;
    const int status = m[0];
    const int ch = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        if (length >= 2)
            noteOff(mi, ch, m[1]);
        break;
    case 0x90:
        if (length < 2)
            break;
        // A note-on with velocity 0 is the usual key release; counting it as
        // a press would only ever raise the level.
        if (length >= 3 && m[2] == 0) {
            noteOff(mi, ch, m[1]);
        } else if (ch == 9) {
            if (g_in.drumHit == 1) {
                g_in.drumHit = 0;
                emit mi->midiInDataReceived();
                return;
            }
            g_in.drumHit = 1;
            emit mi->midiInNoteReceived(9, 1);
        } else if (m[1] != 0) {
            int16_t &level = g_in.noteLevel[ch];
            level = int16_t(level > kMaxLevel - m[1] ? kMaxLevel : level + m[1]);
            emit mi->midiInNoteReceived(ch, level);
        }
        break;
    case 0xB0:
        if (length < 3)
            break;
        if (m[1] == 0)
            g_in.bank = m[2];
        if (m[2] != 0) {
            if (m[1] == 117)
                emit mi->midiControlReceived(Qt::Key_F11);
            else if (m[1] == 118)
                emit mi->midiControlReceived(Qt::Key_0);
            else if (m[1] == 119)
                emit mi->midiControlReceived(Qt::Key_Space);
        }
        emit mi->midiInCtrChgReceived(ch, m[1], m[2]);
        break;
    case 0xC0:
        if (length >= 2)
            emit mi->midiInPrgChgReceived(ch, m[1], g_in.bank, ch == 9);
        break;
    case 0xF0: {
        static const unsigned char gmOn[6] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
        if (length >= 6 && std::equal(gmOn, gmOn + 6, m)) {
            emit mi->midiInResetReceived();
        } else if (length >= 9) {
            switch (m[7]) {
            case 0x30: g_in.reverbType = m[8]; break;
            case 0x33: emit mi->midiInReverbReceived(g_in.reverbType, m[8]); break;
            case 0x38: g_in.chorusType = m[8]; break;
            case 0x3A: emit mi->midiInChorusReceived(g_in.chorusType, m[8]); break;
            default: break;
            }
        }
        break;
    }
    default: break;
    }
    if (g_in.drumHit > 0) {
        --g_in.drumHit;
    } else if (g_in.drumHit < 0) {
        g_in.drumHit = 0;
        emit mi->midiInNoteReceived(9, 0);
    }
    emit mi->midiInDataReceived();
}

void MidiInterface::SendReceivedNote(int ch, int vol)
{
    MidiInterface *mi = MidiInterface_static;
    if (!mi || ch < 0 || ch > 15)
        return;
    if (g_in.noteLevel[ch] != vol) {
        g_in.noteLevel[ch] = int16_t(vol);
        emit mi->midiInNoteReceived(ch, vol);
    }
}

void MidiInterface::SendReceivedPrgChg(int ch, int a, int b, bool isDrum)
{
    if (MidiInterface *mi = MidiInterface_static)
        emit mi->midiInPrgChgReceived(ch, b, a, isDrum);
}

void MidiInterface::SendReceivedCtrChg(int ch, int type, int val)
{
    if (MidiInterface *mi = MidiInterface_static)
        emit mi->midiInCtrChgReceived(ch, type, val);
}

void MidiInterface::SendReceivedReverb(int revType, int revSend)
{
    if (MidiInterface *mi = MidiInterface_static)
        emit mi->midiInReverbReceived(revType, revSend);
}

void MidiInterface::SendReceivedChorus(int choType, int choSend)
{
    if (MidiInterface *mi = MidiInterface_static)
        emit mi->midiInChorusReceived(choType, choSend);
}

void MidiInterface::SendReceivedReset()
{
    if (MidiInterface *mi = MidiInterface_static)
        emit mi->midiInResetReceived();
}

void MidiInterface::SendReceivedData()
{
    if (MidiInterface *mi = MidiInterface_static)
        emit mi->midiInDataReceived();
}

void MidiInterface::sendKeyEvent(bool pressed, Qt::Key key)
{
    if (pressed)
        emit midiControlReceived(key);
}

} // namespace Sound
