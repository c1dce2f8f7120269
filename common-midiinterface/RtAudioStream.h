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
// - The keeper owns the stream's being open: a stream opened with no sound
//   server there (openWhenThere), one whose server went, and one whose queue
//   is to change (reshape) are opened by it whenever a server is there,
//   whatever closed them or made their opening fail. While no stream plays,
//   the keeper itself renders at the device's pace (the music plays on,
//   unheard, and what it sends is taken in).
// - start() answers once the keeper has carried it out: true only when
//   render calls come (from the device, or at its pace while the server is
//   away); isRunning() says the same.
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
        unsigned frames = 256; // asked for; bufferFrames() tells what came
        unsigned buffers = 8;  // the device's queue, in buffers
        bool minimizeLatency = false;
        ThreadPriority::Role role = ThreadPriority::Role::AudioPlayer;
    };

    RtAudioStream();
    ~RtAudioStream();
    RtAudioStream(const RtAudioStream &) = delete;
    RtAudioStream &operator=(const RtAudioStream &) = delete;

    // Opens a stream on RtAudio's device number `device`, not started; false
    // (and the reason logged) when refused. `what` names it in the log.
    bool open(unsigned device, const Format &format, Render render, void *user, const char *what);
    // A stream on the default output of the sound server to come: lost()
    // until the keeper opens it.
    void openWhenThere(const Format &format, Render render, void *user, const char *what);
    // True once render calls come; false (and nothing renders) when the
    // device refused, or the keeper did not answer in time.
    bool start();
    // A new stream with a queue of `buffers` on the same device, swapped in
    // by the keeper as a server's return is; true when it is in. While the
    // server is away the stream it opens then has that queue.
    bool reshape(unsigned buffers);
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
    // The sound server has gone and no new stream is open yet.
    bool lost() const;
    // Streams opened since open(): one more each time a server came back.
    unsigned generation() const;

    // RtAudio's PulseAudio device list is one for the whole process: every
    // RtAudio object made, and every device listed or opened, holds this
    // (never the callbacks).
    static std::unique_lock<std::mutex> lockLibrary();

    struct Core;

private:
    std::shared_ptr<Core> m_core;
};
