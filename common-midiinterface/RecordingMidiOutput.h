// An IMidiOutput that keeps every message with the time it arrived, for tests
// and measuring tools. Safe to share between threads.
#pragma once

#include "IMidiOutput.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class RecordingMidiOutput : public IMidiOutput
{
public:
    struct Message
    {
        std::vector<unsigned char> bytes;
        double timeMs; // from the clock, see setClock
    };
    // Milliseconds; the default is the monotonic clock of getTimeStampMilliSec
    // with its fraction, so times compare with the engine's tick count.
    using Clock = std::function<double()>;

    RecordingMidiOutput();

    int openPort(int port) override;
    void closePort() override;
    int sendMessage(const std::vector<unsigned char> *message) override;

    // A test driving a simulated clock hands in its own.
    void setClock(Clock clock);
    // Results the next calls return; a failed send records nothing.
    void setOpenResult(int result);
    void setSendResult(int result);

    std::vector<Message> messages() const;
    std::vector<std::vector<unsigned char>> messageBytes() const;
    size_t messageCount() const;
    void clear();

    bool isOpen() const;
    int openCount() const;
    int closeCount() const;
    int lastOpenedPort() const;
    int sendCalls() const; // every sendMessage, failed ones included
    // Times openPort, closePort or sendMessage was entered while a
    // sendMessage on this object was still running: non-zero means the
    // caller's port lock let two through.
    int overlappingCalls() const;

private:
    mutable std::mutex m_mutex;
    Clock m_clock;
    std::vector<Message> m_messages;
    int m_openResult = 0;
    int m_sendResult = 0;
    bool m_open = false;
    int m_openCount = 0;
    int m_closeCount = 0;
    int m_lastOpenedPort = -1;
    int m_sendCalls = 0;
    int m_inSend = 0;
    int m_overlapping = 0;
};
