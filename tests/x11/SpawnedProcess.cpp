#include "SpawnedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

std::vector<char*> pointers_to(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> environment_with(const std::vector<std::string>& overrides)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& override : overrides) {
            const std::string name = override.substr(0, override.find('=') + 1);
            replaced = replaced || text.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            environment.push_back(text);
        }
    }
    environment.insert(environment.end(), overrides.begin(), overrides.end());
    return environment;
}

} // namespace

SpawnedProcess::SpawnedProcess(const Options& options)
{
    int stdin_pipe[2] = {-1, -1};
    int stdout_pipe[2] = {-1, -1};
    if (options.piped && (pipe2(stdin_pipe, O_CLOEXEC) != 0 || pipe2(stdout_pipe, O_CLOEXEC) != 0)) {
        throw std::runtime_error("no pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.piped) {
        posix_spawn_file_actions_adddup2(&actions, stdin_pipe[0], 0);
        posix_spawn_file_actions_adddup2(&actions, stdout_pipe[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (options.descriptor_3 >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.descriptor_3, 3);
    }

    std::vector<std::string> arguments = options.arguments;
    std::vector<std::string> environment = environment_with(options.environment);
    const int failed = posix_spawn(&child, options.path.c_str(), &actions, nullptr,
                                   pointers_to(arguments).data(), pointers_to(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (options.piped) {
        close(stdin_pipe[0]);
        close(stdout_pipe[1]);
        to_child = stdin_pipe[1];
        from_child = stdout_pipe[0];
    }
    if (failed) {
        close_pipes();
        throw std::runtime_error("cannot start " + options.path + ": " + std::strerror(failed));
    }
}

SpawnedProcess::~SpawnedProcess()
{
    terminate();
}

void SpawnedProcess::wait_for_exit()
{
    close_pipes();
    if (child > 0) {
        waitpid(child, nullptr, 0);
        child = -1;
    }
}

void SpawnedProcess::terminate()
{
    if (child > 0) {
        kill(child, SIGTERM);
    }
    wait_for_exit();
}

void SpawnedProcess::close_pipes()
{
    for (int* descriptor : {&to_child, &from_child}) {
        if (*descriptor >= 0) {
            close(*descriptor);
            *descriptor = -1;
        }
    }
}
