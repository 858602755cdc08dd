#include "EmToolArguments.h"

#include "EmWideText.h"

#include <windows.h>

#include <shellapi.h>

std::vector<std::string> em_tool_arguments(int, char**)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int index = 1; wide && index < count; ++index) {
        arguments.push_back(EmWideText::to_utf8(wide[index]));
    }
    LocalFree(wide);
    return arguments;
}
