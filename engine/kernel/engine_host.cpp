#include "engine_host.h"

namespace {
EngineHost* g_host = nullptr;
}

EngineHost* engine_host() { return g_host; }
void engine_set_host(EngineHost* host) { g_host = host; }

void engine_trace(const std::string& line)
{
    if (g_host)
        g_host->Trace(line);
}
