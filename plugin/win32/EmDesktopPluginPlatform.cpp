#include "EmDesktopPluginPlatform.h"

#include "EmWin32PluginPlatform.h"

std::shared_ptr<EmPluginPlatform> make_desktop_plugin_platform()
{
    return std::make_shared<EmWin32PluginPlatform>();
}
