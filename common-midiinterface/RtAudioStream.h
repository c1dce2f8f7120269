// One output stream through RtAudio, for the synthesizer's sink and the song
// player's alike: the one place that knows how RtAudio's threads behave.
//
// - RtAudio's calls that can wait (start, stop, drain, close) are made by a
//   keeper thread of the stream's own, never by the owning thread: a stop
//   returns once no render call can come any more, whether or not the device
//   still pulls.
// - RtAudio's own thread never stops its stream itself (its exceptions
//   there would end the program): a render that ends makes the callback
//   hand over silence until the owner stops.
// - The callback never spins: a stream whose writes fail at once (the sound
//   server has gone) asks for sound at the device's pace, and no faster than
//   twice that in any case.
// - The sound server may go and come back: the stream says it is lost, the
//   render goes on at the device's pace (the music plays on, unheard), and
//   the keeper opens a new stream on the same device once a server is
//   there again; generation() counts the new streams.
// - The keeper owns the stream's being open, and the owning thread never
//   waits on the sound server: open() names the output, and the keeper opens
//   it (by name: the numbers change with the server) whenever a server is
//   there, whatever closed it or made its opening fail; one whose queue is
//   to change (reshape) too. An output that is not there (unplugged, a sink
//   gone) gives way to the server's default until it is back
//   (standingIn()). While no stream plays and the server is away, the
//   keeper itself renders at the device's pace (the music plays on,
//   unheard, and what it sends is taken in).
// - A server that no longer answers (stopped, hung) holds RtAudio's calls:
//   the stream counts as lost() once a call or the device's next request is
//   a second late, and says so once.
// - A stream opened in the place of one that was lost (an output chosen
//   while the server is away or hangs) is lost too until its first opening
//   tells otherwise: the outage goes on, said once.
// - start() asks the keeper and returns: the stream plays once it can.
// - While the keeper stops the stream, the callback waits, asleep: RtAudio's
//   thread would otherwise take and drop the stream's lock in a loop until
//   the stop has it (on a busy machine, real-time, until the kernel ends
//   the program for its CPU time).
//
// Threads: every call but the render belongs to one owning thread. After
// stop() or close() return, no render call runs.
#pragma once

#include "ThreadPriority.h"

#include <memory>
#include <mutex>
#include <string>

class RtAudio;

class RtAudioStream
{
public:
    // Fills `frames` interleaved frames; returns 0 to go on, 1 once what it
    // plays has ended (the stream hands over silence from then on).
    using Render = int (*)(void *out, unsigned frames, void *user);

    struct Format {
        bool floatSamples = false; // 32-bit float, else 16-bit integer
        unsigned channels = 2;
        unsigned rate = 44100;
        unsigned frames = 256; // asked for (1024 where the device refuses
                               // them); bufferFrames() tells what came
        unsigned buffers = 8;  // the device's queue, in buffers
        bool minimizeLatency = false;
        ThreadPriority::Role role = ThreadPriority::Role::AudioPlayer;
    };

    RtAudioStream();
    ~RtAudioStream();
    RtAudioStream(const RtAudioStream &) = delete;
    RtAudioStream &operator=(const RtAudioStream &) = delete;

    // A stream on the output named `device` (as RtAudio names it; empty: the
    // sound server's default), not started: the keeper opens it at once, or
    // once a server is there (lost() meanwhile). `what` names it in the log.
    void open(const std::string &device, const Format &format, Render render, void *user, const char *what);
    // The render is called once the stream plays (or at the device's pace
    // while the server is away); false only with nothing open.
    bool start();
    // A new stream with a queue of `buffers` on the same device, swapped in
    // by the keeper as a server's return is (a new generation); while the
    // server is away the stream it opens then has that queue.
    void reshape(unsigned buffers);
    // The keeper has not yet carried out all it was asked.
    bool pending() const;
    // No render call comes once it returns; the keeper stops the device
    // after it, letting the queued buffers play out (drain) or dropping them.
    void stop(bool drain);
    void close();

    bool isOpen() const;
    // Started, not stopped since, and the render has not ended.
    bool isRunning() const;
    bool ended() const;
    unsigned bufferFrames() const;
    // The queue of the stream that plays, in buffers.
    unsigned buffers() const;
    unsigned rate() const;
    // What RtAudio tells the device holds (frames; 0 when it does not tell).
    unsigned reportedLatency() const;
    // The sound server has gone (or does not answer) and no new stream is
    // open yet.
    bool lost() const;
    // The output named is not there: the stream plays on the server's
    // default until it is.
    bool standingIn() const;
    // Streams opened since open(): one more each time a server came back.
    unsigned generation() const;

    // RtAudio's PulseAudio device list is one for the whole process: every
    // RtAudio object made, and every device listed or opened, holds this
    // (never the callbacks).
    static std::unique_lock<std::mutex> lockLibrary();
    // An RtAudio object on the first audio API (in RtAudio's order) that
    // lists a device, or on `api`; null when none does. Its warnings and
    // ALSA's go to no terminal: the stream logs what it makes of them.
    static std::unique_ptr<RtAudio> quietAudio(int api = 0);

    struct Core;

private:
    std::shared_ptr<Core> m_core;
    bool m_started = false;
    // How the stream closed last stood: the next one opened goes on from it.
    bool m_closedLost = false;
    bool m_closedHangSaid = false;
    double m_closedHangFromMs = 0;
};
