#include "viewframe.h"

#include <map>

namespace {
CViewFrame* g_frame = nullptr;

std::map<int, ScreenFactory>& Registry()
{
    static std::map<int, ScreenFactory> registry;
    return registry;
}
}  // namespace

CViewFrame* GetViewFrame() { return g_frame; }
void SetViewFrame(CViewFrame* frame) { g_frame = frame; }

void RegisterScreen(int screen, ScreenFactory factory)
{
    if (factory)
        Registry()[screen] = std::move(factory);
    else
        Registry().erase(screen);
}

void UnregisterScreen(int screen) { Registry().erase(screen); }

bool IsScreenRegistered(int screen) { return Registry().count(screen) != 0; }

CMainView* CreateScreen(int screen, QWidget* parent, int argument)
{
    auto it = Registry().find(screen);
    if (it == Registry().end())
        return nullptr;
    return it->second(parent, argument);
}
