#include "RecordingMidiOutput.h"

#include <ctime>
#include <thread>

namespace {
double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}
} // namespace

RecordingMidiOutput::RecordingMidiOutput() : m_clock(monotonicMs)
{
    m_messages.reserve(1024);
}

int RecordingMidiOutput::openPort(int port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_inSend > 0)
        ++m_overlapping;
    ++m_openCount;
    m_lastOpenedPort = port;
    if (m_openResult == 0)
        m_open = true;
    return m_openResult;
}

void RecordingMidiOutput::closePort()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_inSend > 0)
        ++m_overlapping;
    ++m_closeCount;
    m_open = false;
}

int RecordingMidiOutput::sendMessage(const std::vector<unsigned char> *message)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_sendCalls;
        if (m_inSend++ > 0)
            ++m_overlapping;
    }
    // Widen the window in which a second, unlocked writer would be caught.
    std::this_thread::yield();
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_inSend;
    if (!message)
        return 1;
    if (m_sendResult != 0)
        return m_sendResult;
    m_messages.push_back({*message, m_clock()});
    return 0;
}

void RecordingMidiOutput::setClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = clock ? std::move(clock) : Clock(monotonicMs);
}

void RecordingMidiOutput::setOpenResult(int result)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openResult = result;
}

void RecordingMidiOutput::setSendResult(int result)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sendResult = result;
}

std::vector<RecordingMidiOutput::Message> RecordingMidiOutput::messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<std::vector<unsigned char>> RecordingMidiOutput::messageBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::vector<unsigned char>> out;
    out.reserve(m_messages.size());
    for (const Message &m : m_messages)
        out.push_back(m.bytes);
    return out;
}

size_t RecordingMidiOutput::messageCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
}

void RecordingMidiOutput::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
    m_sendCalls = 0;
    m_overlapping = 0;
}

bool RecordingMidiOutput::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

int RecordingMidiOutput::openCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_openCount;
}

int RecordingMidiOutput::closeCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closeCount;
}

int RecordingMidiOutput::lastOpenedPort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastOpenedPort;
}

int RecordingMidiOutput::sendCalls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sendCalls;
}

int RecordingMidiOutput::overlappingCalls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_overlapping;
}
