#pragma once

#include "EmPlayerPlatform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The running processes as /proc shows them. The executable name is taken from the command line
// rather than from the kernel's name of the binary, since that is where programs running under
// Wine show their Windows executable ("C:\Program Files\KuGou\KuGou.exe").
class EmProcProcessList
{
public:
    // root: the /proc folder, or a tree laid out like it.
    explicit EmProcProcessList(std::string root);

    // Every process in ascending id order; nothing when the folder cannot be read. A process
    // that ends during the walk is left out.
    std::optional<std::vector<EmPlayerPlatform::Process>> list() const;

    // The last path component of a program path, split at '/' and at '\'.
    static std::string file_name_of(const std::string& path);

private:
    static std::optional<std::string> exe_name(const std::string& process_folder);

    const std::string root;
};
