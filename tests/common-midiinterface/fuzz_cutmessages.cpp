// Any byte string handed to the entry points is cut into messages that,
// joined, give back the string; a message never comes out empty and a SysEx
// inside a string is never split.
// The corpus's seed_* files are the channel messages of the songs of
// common-sound/sequencer/gen_songs.py back to back, at most 4096 bytes.
#include "MidiInterface.h"
#include "RecordingMidiOutput.h"
#include "cinterface.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Sound::MidiInterface mi;
    static RecordingMidiOutput out[MIDI_OUTPUT_COUNT];
    static bool bound = [] {
        QList<IMidiOutput *> list;
        for (auto &o : out)
            list << &o;
        return mi.initMidiOutPortsSound(list);
    }();
    (void)bound;
    for (auto &o : out)
        o.clear();
    if (size > 4096)
        return 0;
    const int len = int(size);

    CINTERFACE_SendMidiEvent1(data, len); // through the master-volume rewrite
    CINTERFACE_SendMidiEvent3(data, len);
    CINTERFACE_QueueMidiEvent4(data, len);
    while (mi.sendFirstQueued(4)) {
    }

    for (int o : {2, 3}) {
        std::vector<unsigned char> joined;
        const auto msgs = out[o].messageBytes();
        for (size_t i = 0; i < msgs.size(); ++i) {
            const auto &m = msgs[i];
            if (m.empty())
                abort();
            // Only the first message, or one right after an embedded SysEx,
            // may start with a data byte.
            if (i > 0 && m[0] < 0x80 && !(msgs[i - 1][0] == 0xF0 && msgs[i - 1].back() == 0xF7))
                abort();
            // An embedded SysEx runs to its F7 or to the end of the string.
            if (i > 0 && m[0] == 0xF0 && i + 1 != msgs.size() && m.back() != 0xF7)
                abort();
            joined.insert(joined.end(), m.begin(), m.end());
        }
        if (joined.size() != size || (size && !std::equal(joined.begin(), joined.end(), data)))
            abort();
        if (size && data[0] == 0xF0 && msgs.size() != 1)
            abort();
    }
    if (out[0].messageCount() != out[2].messageCount())
        abort();
    return 0;
}
