#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program the test runs as its child: a window client, Xvfb, a window manager or the program
// under test. It is started with an argv[0] of the test's choosing (which is how a test process
// poses as "KuGou.exe"), killed when the test process dies, even by a signal, so that a test
// killed at its time limit leaves nothing behind, and ended by SIGTERM, then SIGKILL when it has
// not gone within a grace time, so that stopping it never hangs. One thread uses it.
class ChildProcess
{
public:
    static constexpr std::chrono::milliseconds default_grace{5000};

    struct Options
    {
        std::string path;
        // argv[0] first; just the path when empty.
        std::vector<std::string> arguments;
        // "NAME=value" entries that replace or add to the test's environment.
        std::vector<std::string> environment;
        // The test's own when empty.
        std::string working_directory;
        // Standard input and output as pipes to the test. Otherwise standard input is /dev/null
        // and standard output goes to log_path, or to /dev/null when that is empty.
        bool piped = false;
        // Also takes standard error; /dev/null when empty.
        std::string log_path;
        // A descriptor of the test's that the child gets as descriptor 3.
        int descriptor_3 = -1;
    };

    explicit ChildProcess(const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return child; }
    // The pipes' ends in the test, -1 when not piped.
    int input() const { return to_child; }
    int output() const { return from_child; }

    // False once the program has ended; how it ended is then in exit_description().
    bool running();
    std::string exit_description() const { return ended; }
    // Closes the child's standard input and gives it the grace time to end by itself.
    void wait_for_exit(std::chrono::milliseconds grace = default_grace);
    void stop(std::chrono::milliseconds grace = default_grace);
    // What the program has written to its log so far.
    std::string log() const;

private:
    void close_pipes();
    // Waits up to the grace time, then kills it.
    void end_within(std::chrono::milliseconds grace);
    bool reap(int flags);

    pid_t child = -1;
    int to_child = -1;
    int from_child = -1;
    std::string log_path;
    std::string ended;
};
