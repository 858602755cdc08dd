#pragma once

#include "EmPlayerPlatform.h"

// The players' processes and windows as Windows reports them: the Tool Help process snapshot
// and the top-level window list.
class EmWin32PlayerPlatform : public EmPlayerPlatform
{
public:
    std::optional<std::vector<Process>> list_processes() override;
    std::vector<Window> list_top_level_windows() override;
};
