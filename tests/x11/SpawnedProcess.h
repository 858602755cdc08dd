#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A child process for the tests, started with an argv[0] of the test's choosing (which is how a
// test process poses as "KuGou.exe"), ended by SIGTERM when it is dropped.
class SpawnedProcess
{
public:
    struct Options
    {
        std::string path;
        // argv[0] first.
        std::vector<std::string> arguments;
        // "NAME=value" entries that replace or add to the test's environment.
        std::vector<std::string> environment;
        // Standard input and output as pipes to the test; otherwise they and standard error go
        // to /dev/null.
        bool piped = false;
        // A descriptor of the test's that the child gets as descriptor 3.
        int descriptor_3 = -1;
    };

    explicit SpawnedProcess(const Options& options);
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    pid_t pid() const { return child; }
    // The pipes' ends in the test, -1 when not piped.
    int input() const { return to_child; }
    int output() const { return from_child; }

    // Closes the child's standard input and waits until it ends by itself.
    void wait_for_exit();
    void terminate();

private:
    void close_pipes();

    pid_t child = -1;
    int to_child = -1;
    int from_child = -1;
};
