#pragma once

#include "KeyServerConfig.h"

#include <string>

// What one start of kestrune-keyd is asked to do.
struct KeydInvocation
{
    enum class Mode
    {
        serve,
        import,
        export_csv,
        waiting,
        promote,
        help,
        invalid
    };

    Mode mode = Mode::serve;
    KeyServerConfig server;
    std::string data_dir;
    // A PostgreSQL URI; empty for the SQLite file in data_dir.
    std::string database;
    std::string session_secret_file;
    std::string csv_path;
    std::string curator_token_file;
    // For Mode::invalid.
    std::string error;
};

class KeydCommandLine
{
public:
    static KeydInvocation parse(int argc, const char* const* argv);
    static std::string usage();

private:
    static std::string default_data_dir();
};
