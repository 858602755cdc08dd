#pragma once

#include "EmPluginPlatform.h"

#include <memory>

// The window tree, input and screen of the desktop the program runs on, for the plugin
// controller. Each desktop's backend implements it; the build picks the one for its platform.
std::shared_ptr<EmPluginPlatform> make_desktop_plugin_platform();
