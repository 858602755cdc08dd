#pragma once

#include <string>
#include <vector>

// The command line's arguments after the program's name, as UTF-8, the encoding the sound-file
// library takes paths in on every system. Windows hands main() its arguments in the ANSI code
// page, which cannot hold every file name, so there they are read again from the wide command line.
std::vector<std::string> em_tool_arguments(int argc, char** argv);
