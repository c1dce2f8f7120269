#include "inserts.h"

#include "logmsg.h"
#include "RealTime.h"

#include <atomic>
#include <cstring>

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/inserts";

// Nine fields for each of the two blocks, field f of block b at 2f + b.
constexpr int POOL_WORDS = INSERT_CONFIG_WORDS;
constexpr int FIELD_USED = 0;
constexpr int FIELD_PENDING = 7;
uint16_t g_pool[POOL_WORDS];

std::atomic<int> g_enabled{0};
std::atomic<int> g_autoAssign{0};

bool enabled()
{
    return g_enabled.load(std::memory_order_relaxed) != 0;
}
} // namespace

void INSERTS_Init(void)
{
    std::memset(g_pool, 0, sizeof g_pool);
}

int INSERTS_IsEnabled(void)
{
    return enabled() ? 1 : 0;
}

void INSERTS_SetAutoAssign(int on)
{
    g_autoAssign.store(on, std::memory_order_relaxed);
}

int INSERTS_GetAutoAssignFlag(void)
{
    return g_autoAssign.load(std::memory_order_relaxed);
}

int INSERTS_LoadAllFromDb(Db *db, int port, uint8_t *buffer, int *length)
{
    if (length)
        *length = 0;
    if (!db) {
        rtLogMsg(2, LOG_SRC, __LINE__, "INTERNAL WARNING: Insert con DB nullo");
        return 0;
    }
    if (!enabled()) {
        INSERTS_Init();
        return 0;
    }
    return 1;
}

int INSERTS_ActivateAll(void)
{
    return 0;
}

int INSERT_MustSend(void)
{
    return (g_pool[2 * FIELD_PENDING] || g_pool[2 * FIELD_PENDING + 1]) &&
                   (g_pool[2 * FIELD_USED] || g_pool[2 * FIELD_USED + 1])
               ? 1
               : 0;
}

void INSERTS_GetConfig(uint16_t *config)
{
    if (enabled() && config)
        std::memcpy(config, g_pool, sizeof g_pool);
}

void INSERTS_SetConfig(const uint16_t *config)
{
    if (enabled() && config)
        std::memcpy(g_pool, config, sizeof g_pool);
}

void INSERTS_SwitchBank(int sourcePort)
{
    (void)sourcePort;
}

void INSERTS_Reset(int port)
{
    (void)port;
}

void INSERTS_deactivateAll(int port, uint8_t *buffer, int *length)
{
    (void)port;
    (void)buffer;
    if (length)
        *length = 0;
}
