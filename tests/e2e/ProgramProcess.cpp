#include "ProgramProcess.h"

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

} // namespace

ProgramProcess::ProgramProcess(const Options& options)
    : log_path(options.log_path)
{
    // Everything the child needs is made before the fork: between fork and exec only
    // async-signal-safe calls are allowed in a process that has threads.
    std::vector<std::string> arguments{options.path};
    std::vector<std::string> environment = environment_with(options.environment);
    std::vector<char*> argv = pointers_to(arguments);
    std::vector<char*> envp = pointers_to(environment);
    const int log = open(options.log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0) {
        throw std::runtime_error("cannot write " + options.log_path + ": " + std::strerror(errno));
    }
    const pid_t parent = getpid();
    child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the line above took effect.
        if (getppid() != parent) {
            _exit(127);
        }
        const int null_input = open("/dev/null", O_RDONLY);
        if (null_input < 0 || dup2(null_input, 0) < 0 || dup2(log, 1) < 0 || dup2(log, 2) < 0 ||
            chdir(options.working_directory.c_str()) != 0) {
            _exit(127);
        }
        execve(options.path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    const int fork_error = errno;
    close(log);
    if (child < 0) {
        throw std::runtime_error(std::string("cannot start a process: ") + std::strerror(fork_error));
    }
}

ProgramProcess::~ProgramProcess()
{
    stop();
}

bool ProgramProcess::running()
{
    return child > 0 && !reap(WNOHANG);
}

void ProgramProcess::stop(std::chrono::milliseconds grace)
{
    if (child <= 0) {
        return;
    }
    kill(child, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!reap(WNOHANG)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            reap(0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string ProgramProcess::log() const
{
    std::ifstream in(log_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ProgramProcess::reap(int flags)
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
