#include "EmToolArguments.h"

std::vector<std::string> em_tool_arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}
