#include "EmProcProcessList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <utility>

namespace {

std::optional<std::uint32_t> process_id_of(const std::string& name)
{
    if (name.empty() || name.size() > 10 ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const unsigned long long id = std::stoull(name);
    if (id == 0 || id > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(id);
}

} // namespace

EmProcProcessList::EmProcProcessList(std::string root)
    : root(std::move(root))
{
}

std::optional<std::vector<EmPlayerPlatform::Process>> EmProcProcessList::list() const
{
    std::error_code error;
    std::filesystem::directory_iterator entries(root, error);
    if (error) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> ids;
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (const std::optional<std::uint32_t> id = process_id_of(entries->path().filename().string())) {
            ids.push_back(*id);
        }
    }
    if (error) {
        return std::nullopt;
    }
    std::sort(ids.begin(), ids.end());

    std::vector<EmPlayerPlatform::Process> processes;
    processes.reserve(ids.size());
    for (std::uint32_t id : ids) {
        if (std::optional<std::string> name = exe_name(root + "/" + std::to_string(id))) {
            processes.push_back({std::move(*name), id});
        }
    }
    return processes;
}

std::string EmProcProcessList::file_name_of(const std::string& path)
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::optional<std::string> EmProcProcessList::exe_name(const std::string& process_folder)
{
    std::ifstream cmdline(process_folder + "/cmdline", std::ios::binary);
    if (!cmdline) {
        return std::nullopt;
    }
    std::string program;
    std::getline(cmdline, program, '\0');
    if (!program.empty()) {
        return file_name_of(program);
    }
    // Kernel threads and processes that are ending have no command line; their name is all
    // there is.
    std::ifstream comm(process_folder + "/comm", std::ios::binary);
    std::string name;
    if (!comm || !std::getline(comm, name)) {
        return std::nullopt;
    }
    return name;
}
