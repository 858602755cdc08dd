#include "EmDesktopPlayerPlatform.h"

#include "EmX11PlayerPlatform.h"

std::shared_ptr<EmPlayerPlatform> make_desktop_player_platform()
{
    return std::make_shared<EmX11PlayerPlatform>("/proc", "");
}
