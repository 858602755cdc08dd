#pragma once

#include "EmPlayerPlatform.h"

#include <memory>

// The processes and windows of the desktop the program runs on, for the player watcher. Each
// desktop's backend implements it; the build picks the one for its platform.
std::shared_ptr<EmPlayerPlatform> make_desktop_player_platform();
