#include "EmDesktopPluginPlatform.h"

#include "EmX11PluginPlatform.h"

std::shared_ptr<EmPluginPlatform> make_desktop_plugin_platform()
{
    return std::make_shared<EmX11PluginPlatform>("");
}
