#include "EmDesktopPlayerPlatform.h"

#include "EmWin32PlayerPlatform.h"

std::shared_ptr<EmPlayerPlatform> make_desktop_player_platform()
{
    return std::make_shared<EmWin32PlayerPlatform>();
}
