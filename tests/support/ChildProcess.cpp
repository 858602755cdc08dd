#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

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

std::vector<char*> pointers_to(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

void close_all(std::initializer_list<int> descriptors)
{
    for (int descriptor : descriptors) {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
}

} // namespace

ChildProcess::ChildProcess(const Options& options)
    : log_path(options.log_path)
{
    // Everything the child needs is made before the fork: between fork and exec only
    // async-signal-safe calls are allowed in a process that has threads.
    std::vector<std::string> arguments =
        options.arguments.empty() ? std::vector<std::string>{options.path} : options.arguments;
    std::vector<std::string> environment = environment_with(options.environment);
    std::vector<char*> argv = pointers_to(arguments);
    std::vector<char*> envp = pointers_to(environment);
    int stdin_pipe[2] = {-1, -1};
    int stdout_pipe[2] = {-1, -1};
    if (options.piped && (pipe2(stdin_pipe, O_CLOEXEC) != 0 || pipe2(stdout_pipe, O_CLOEXEC) != 0)) {
        close_all({stdin_pipe[0], stdin_pipe[1]});
        throw std::runtime_error("no pipe");
    }
    const std::string log_name = log_path.empty() ? "/dev/null" : log_path;
    const int log = open(log_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || null_input < 0) {
        const int open_error = errno;
        close_all({stdin_pipe[0], stdin_pipe[1], stdout_pipe[0], stdout_pipe[1], log, null_input});
        throw std::runtime_error("cannot open " + log_name + ": " + std::strerror(open_error));
    }
    const int child_input = options.piped ? stdin_pipe[0] : null_input;
    const int child_output = options.piped ? stdout_pipe[1] : log;

    const pid_t parent = getpid();
    child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the line above took effect.
        if (getppid() != parent) {
            _exit(127);
        }
        // The standard descriptors first: any of their sources may be descriptor 3.
        if (dup2(child_input, 0) < 0 || dup2(child_output, 1) < 0 || dup2(log, 2) < 0) {
            _exit(127);
        }
        if (options.descriptor_3 == 3) {
            fcntl(3, F_SETFD, 0);
        } else if (options.descriptor_3 >= 0 && dup2(options.descriptor_3, 3) < 0) {
            _exit(127);
        }
        if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0) {
            _exit(127);
        }
        execve(options.path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    const int fork_error = errno;
    close_all({stdin_pipe[0], stdout_pipe[1], log, null_input});
    to_child = stdin_pipe[1];
    from_child = stdout_pipe[0];
    if (child < 0) {
        close_pipes();
        throw std::runtime_error("cannot start " + options.path + ": " + std::strerror(fork_error));
    }
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::running()
{
    return child > 0 && !reap(WNOHANG);
}

void ChildProcess::wait_for_exit(std::chrono::milliseconds grace)
{
    close_pipes();
    end_within(grace);
}

void ChildProcess::stop(std::chrono::milliseconds grace)
{
    close_pipes();
    if (child > 0) {
        kill(child, SIGTERM);
    }
    end_within(grace);
}

std::string ChildProcess::log() const
{
    std::ifstream in(log_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ChildProcess::close_pipes()
{
    for (int* descriptor : {&to_child, &from_child}) {
        if (*descriptor >= 0) {
            close(*descriptor);
            *descriptor = -1;
        }
    }
}

void ChildProcess::end_within(std::chrono::milliseconds grace)
{
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (child > 0 && !reap(WNOHANG)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            reap(0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool ChildProcess::reap(int flags)
{
    int status = 0;
    const pid_t done = waitpid(child, &status, flags);
    if (done != child) {
        return false;
    }
    child = -1;
    if (WIFEXITED(status)) {
        ended = "exited with " + std::to_string(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        ended = "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return true;
}
