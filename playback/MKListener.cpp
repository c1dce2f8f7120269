#include "MKListener.h"

#include "MasterKeyboard.h"
#include "cinterface.h"

#include <algorithm>

namespace {
constexpr int MAX_SYSTEM_MESSAGE = 12;
constexpr unsigned char RELEASE_VELOCITY = 0x40;

bool needsThreeBytes(int kind)
{
    return kind == 0x80 || kind == 0x90 || kind == 0xA0 || kind == 0xB0 || kind == 0xE0;
}
} // namespace

MKListener::MKListener(MasterKeyboard *keyboard) : m_keyboard(keyboard)
{
    m_thread.setObjectName(QStringLiteral("mkThread"));
}

MKListener::~MKListener()
{
    m_thread.quit();
    m_thread.wait();
}

void MKListener::start()
{
    if (m_thread.isRunning())
        return;
    moveToThread(&m_thread);
    m_thread.start(QThread::TimeCriticalPriority);
}

void MKListener::onMidiInMessageReceived(QByteArray message)
{
    const std::shared_ptr<const MKRouting> routing = m_keyboard ? m_keyboard->routing() : nullptr;
    processInputMasterKey(routing.get(), message);
}

void MKListener::Out::add(unsigned char a, unsigned char b, unsigned char c)
{
    if (len + 3 > OUT_MAX)
        return;
    bytes[len++] = a;
    bytes[len++] = b;
    bytes[len++] = c;
}

void MKListener::release(HeldKey &key, unsigned char offStatus, unsigned char velocity, Out &out)
{
    for (int i = 0; i < key.count; ++i)
        out.add(static_cast<unsigned char>(offStatus | key.channel[i]), key.note[i], velocity);
    key.count = 0;
}

int MKListener::processInputMasterKey(const MKRouting *routing, const QByteArray &message)
{
    if (!m_keyboard || message.size() < 2)
        return 1;
    const auto *m = reinterpret_cast<const unsigned char *>(message.constData());
    const int size = int(message.size());
    const unsigned char status = m[0];
    const int kind = status & 0xF0;
    const bool channelMessage = status >= 0x80 && status < 0xF0;
    if (channelMessage) {
        if (needsThreeBytes(kind) && size < 3)
            return 0;
        if (m[1] >= 0x80 || (needsThreeBytes(kind) && m[2] >= 0x80))
            return 0;
    }
    const int channel = status & 0x0F;
    Out out;
    // Most keyboards send a note-off as a note-on with velocity 0.
    const bool noteOff = kind == 0x80 || (kind == 0x90 && m[2] == 0);
    if (noteOff && m_held[channel][m[1]].count) {
        release(m_held[channel][m[1]], static_cast<unsigned char>(kind), m[2], out);
        CINTERFACE_SendMidiEvent3(out.bytes, out.len);
        return 0;
    }

    const bool anyActive =
        routing && std::any_of(std::begin(routing->layers), std::end(routing->layers),
                               [](const S_MKLayer &l) { return l.active != 0; });
    if (!anyActive)
        return 0;

    if (!channelMessage) {
        if (size <= MAX_SYSTEM_MESSAGE)
            CINTERFACE_SendMidiEvent3(m, size);
        return 0;
    }
    switch (kind) {
    case 0x80:
    case 0x90: {
        HeldKey &held = m_held[channel][m[1]];
        if (!noteOff && held.count)
            release(held, 0x80, RELEASE_VELOCITY, out);
        for (const S_MKLayer &l : routing->layers) {
            if (!l.active || !MasterKeyboard::isCorrectSrcChannel(status, l.srcChannel) ||
                !MasterKeyboard::IsInRange(&l, m[1], m[2], noteOff ? 0x80 : status))
                continue;
            int note = m[1] + l.transpose + routing->transpose;
            if (note < 0 || note > 127)
                note = m[1];
            const uint8_t dest = l.destChannel & 15;
            out.add(static_cast<unsigned char>(kind | dest), static_cast<unsigned char>(note), m[2]);
            if (!noteOff) {
                held.channel[held.count] = dest;
                held.note[held.count] = uint8_t(note);
                ++held.count;
            }
        }
        break;
    }
    case 0xB0:
    case 0xE0:
        for (const S_MKLayer &l : routing->layers) {
            if (!l.active || !MasterKeyboard::isCorrectSrcChannel(status, l.srcChannel) ||
                (kind == 0xE0 && !l.pitchBend))
                continue;
            out.add(static_cast<unsigned char>(kind | (l.destChannel & 15)), m[1], m[2]);
        }
        break;
    case 0xA0:
        out.add(m[0], m[1], m[2]);
        break;
    default: // 0xC0, 0xD0
        CINTERFACE_SendMidiEvent3(m, 2);
        return 0;
    }
    if (out.len)
        CINTERFACE_SendMidiEvent3(out.bytes, out.len);
    return 0;
}
