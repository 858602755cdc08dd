#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program under test run as a child process: its standard output and error go to a log file
// for the failure report, it is killed when the test process dies (even by a signal, so that a
// test killed at its time limit leaves nothing behind), and it is ended by SIGTERM, then SIGKILL
// if it has not gone within the grace time.
class ProgramProcess
{
public:
    struct Options
    {
        std::string path;
        // "NAME=value" entries that replace or add to the test's environment.
        std::vector<std::string> environment;
        std::string working_directory;
        std::string log_path;
    };

    explicit ProgramProcess(const Options& options);
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    pid_t pid() const { return child; }
    // False once the program has ended; its exit status is then in exit_description().
    bool running();
    std::string exit_description() const { return ended; }
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    // What the program has written so far.
    std::string log() const;

private:
    bool reap(int flags);

    pid_t child = -1;
    std::string log_path;
    std::string ended;
};
