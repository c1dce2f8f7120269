#include "PulseTwins.h"

#include "logmsg.h"

#include <RtAudio.h>
#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kMostWait = std::chrono::milliseconds(500);

struct Output {
    uint32_t index;
    std::string description;
};

struct Stream {
    uint32_t index;
    uint32_t output;
};

// What the server tells, filled by its callbacks.
struct Answers {
    std::string defaultName;
    uint32_t defaultIndex = PA_INVALID_INDEX;
    std::string defaultDescription;
    std::vector<Output> outputs;
    std::vector<Stream> ours;
};

// A blocking conversation with the server, each wait bounded by one deadline.
class Server
{
public:
    Server() : m_until(Clock::now() + kMostWait)
    {
        m_loop = pa_mainloop_new();
        if (!m_loop)
            return;
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "VelmarPC outputs");
        if (m_context && pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    ~Server()
    {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
    }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    bool ready()
    {
        return m_context && runUntil([this] {
                   const pa_context_state_t s = pa_context_get_state(m_context);
                   return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
               }) && pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }
    // Waits for the operation (taking it); false when it did not finish.
    bool wait(pa_operation *op)
    {
        if (!op)
            return false;
        const bool done = runUntil([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
        pa_operation_unref(op);
        return done;
    }
    pa_context *context() const { return m_context; }

private:
    template <typename Done>
    bool runUntil(Done done)
    {
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(m_until - Clock::now());
            if (left.count() <= 0 || pa_mainloop_prepare(m_loop, int(left.count())) < 0
                || pa_mainloop_poll(m_loop) < 0 || pa_mainloop_dispatch(m_loop) < 0)
                return false;
        }
        return true;
    }

    Clock::time_point m_until;
    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
};

std::string descriptionOf(pa_proplist *props)
{
    const char *d = pa_proplist_gets(props, PA_PROP_DEVICE_DESCRIPTION);
    return d ? d : "";
}

void onServer(pa_context *, const pa_server_info *info, void *data)
{
    if (info && info->default_sink_name)
        static_cast<Answers *>(data)->defaultName = info->default_sink_name;
}

void onOutput(pa_context *, const pa_sink_info *info, int eol, void *data)
{
    auto *a = static_cast<Answers *>(data);
    if (eol || !info)
        return;
    a->outputs.push_back({info->index, descriptionOf(info->proplist)});
    if (info->name && a->defaultName == info->name) {
        a->defaultIndex = info->index;
        a->defaultDescription = a->outputs.back().description;
    }
}

void onStream(pa_context *, const pa_sink_input_info *info, int eol, void *data)
{
    if (eol || !info)
        return;
    const char *pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (pid && std::to_string(::getpid()) == pid)
        static_cast<Answers *>(data)->ours.push_back({info->index, info->sink});
}

void onMoved(pa_context *, int, void *) {}

} // namespace

namespace PulseTwins {

void keepOnDefault(RtAudio &audio, unsigned device)
{
    std::string description;
    try {
        if (audio.getCurrentApi() != RtAudio::LINUX_PULSE)
            return;
        description = audio.getDeviceInfo(device).name;
    } catch (const RtAudioError &) {
        return;
    }
    Server server;
    Answers a;
    if (!server.ready() || !server.wait(pa_context_get_server_info(server.context(), onServer, &a))
        || !server.wait(pa_context_get_sink_info_list(server.context(), onOutput, &a)))
        return;
    if (a.defaultIndex == PA_INVALID_INDEX || a.defaultDescription != description)
        return;
    std::vector<uint32_t> twins;
    for (const Output &o : a.outputs) {
        if (o.description == description && o.index != a.defaultIndex)
            twins.push_back(o.index);
    }
    if (twins.empty() || !server.wait(pa_context_get_sink_input_info_list(server.context(), onStream, &a)))
        return;
    for (const Stream &s : a.ours) {
        for (uint32_t twin : twins) {
            if (s.output != twin)
                continue;
            const bool moved = server.wait(
                pa_context_move_sink_input_by_index(server.context(), s.index, a.defaultIndex, onMoved, nullptr));
            logMsg(moved ? 3 : 2, __FILE__, __LINE__,
                   "stream %u %s from output %u to the default output %u of the same description \"%s\"", s.index,
                   moved ? "moved" : "could not be moved", twin, a.defaultIndex, description.c_str());
        }
    }
}

} // namespace PulseTwins
