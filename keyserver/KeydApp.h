#pragma once

#include "KeydCommandLine.h"

#include <ostream>

// The kestrune-keyd program: serving, or looking after the catalogue from a shell. Exit codes:
// 0 done, 1 an import left rows out, 2 nothing done (bad arguments, unusable files).
class KeydApp
{
public:
    KeydApp(std::ostream& out, std::ostream& err);

    int run(int argc, const char* const* argv);

private:
    int serve(const KeydInvocation& invocation);
    int import(const KeydInvocation& invocation);
    int export_csv(const KeydInvocation& invocation);
    int list_waiting(const KeydInvocation& invocation);
    int promote(const KeydInvocation& invocation);

    std::ostream& out;
    std::ostream& err;
};
